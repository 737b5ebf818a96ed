// Contour layers: the contour file entry of the settings, its loaded layer, the colour and
// character-set tables.
#pragma once

#include <glib.h>
#include <goocanvas.h>

#include <cstdint>
#include <string>
#include <vector>

#include "contours/cntrsgeom.h"

// One loaded contour layer: the canvas items of one shapefile.
struct Cntrs {
  GooCanvasItem* group = nullptr;  // child of the canvas's contour group; owns the items below
  GPtrArray* polylines = nullptr;  // GooCanvasItem*, not owned (the group holds them)
  GPtrArray* lines = nullptr;      // owning: one GArray of float (x, y) pairs per polyline
  GPtrArray* texts = nullptr;      // GooCanvasItem* label items, not owned; NULL without labels
  GPtrArray* labels = nullptr;     // owned UTF-8 strings (NULL: no label), one per line; NULL without labels
  gint32 color = 0;                // index into the colour table
  double sub_lon = 0.0;            // sub-satellite longitude the lines were projected for
  bool fci = false;                // projected onto an FCI image (CntrsView.fci)
};

// One entry of the contour file list (Conf.contours), which owns it.
struct CntrsFile {
  gint32 channel = -1;      // always negative: the settings save writes only such entries
  std::string file;         // base name of the .shp file in import/Shp
  Cntrs* cntrs = nullptr;   // the loaded layer, or NULL
  std::string field;        // label field name, empty for none
  std::string color;        // colour name, empty for none
};

// One row of the colour table.
struct SuplColor {
  const char* name;
  std::uint8_t red, green, blue;
};
inline constexpr int SUPL_COLOR_COUNT = 16;
extern const SuplColor SuplColors[SUPL_COLOR_COUNT];
// Character sets of attribute tables by the "charset" setting; index 1 (UTF-8) is not converted.
inline constexpr int SUPL_CHARSET_COUNT = 3;
extern const char* const SuplCharsets[SUPL_CHARSET_COUNT];

// Index of a colour name in SuplColors (exact, case-sensitive); -1 for NULL or an unknown name.
int SuplColorIndex(const char* name);
// RGBA (alpha 255) of colour row index mod 16; a negative index gives row 0.
guint32 SuplColorRgba(int index);

// One string field of an attribute table.
struct CntrsField {
  std::string name;
  int index;
};
// The string (non-numeric, non-logical, named) fields of the .dbf beside path, in field order;
// empty with a warning when the table cannot be opened.
std::vector<CntrsField> CntrsFieldList(const std::string& path);
// Index of the first string field called name (ASCII case ignored), or -1 (also for an empty name).
int CntrsFieldIndex(const std::string& path, const std::string& name);
// Text of one attribute value converted to UTF-8 from SuplCharsets[charset] (unchanged for 1);
// "?" for a missing value, an unknown charset or text invalid in the charset.
std::string CntrsLabel(const char* raw, guint32 charset);

// Plain result of reading a shapefile for a view: display lines, and one label per line when
// labels were asked for (empty string: no label on this piece).
struct CntrsShapes {
  CntrsPieces pieces;
  std::vector<std::string> labels;
  bool has_labels = false;
  std::size_t skipped = 0;  // shape records that could not be read or are of no drawable type
};
// Reads path (must end in ".shp") and projects it into view; false with a "%s" warning when the
// file is refused, cannot be opened, has no records or an unsupported type. field < 0: no labels.
bool CntrsReadShapes(const std::string& path, int field, const CntrsView& view, guint32 charset,
                     CntrsShapes* out);

// New layer of the lines of path inside the rectangle (x, y, width, height), colour 0; NULL when
// nothing of it is visible or the file cannot be read.
Cntrs* CntrsRead(const std::string& path, int field, int x, int y, int width, int height, guint32 charset,
                 double sub_lon = 0.0, bool fci = false);
// Creates the layer's group under parent with one polyline per line and the labels, in font and
// colour (NULL or unknown: row 0); false when no polyline was made.
gboolean CntrsDraw(Cntrs* cntrs, GooCanvasItem* parent, const char* font, const char* color, int x, int y,
                   int width, int height);
// Width of contour lines in canvas units at a canvas scale: 0.1, or one screen pixel when that
// is wider, so that lines stay visible when zoomed out.
double CntrsLineWidth(double scale);
// The canvas scale changed: every drawn layer of the contour list (empty links skipped), and the
// graticule, gets the line width of that scale (and screen-sized labels their size). CntrsDraw uses the canvas's scale of the moment.
void CntrsSetScale(const GList* contours, double scale);
// Labels of a drawn layer in font with its size divided by the canvas scale, so that they keep
// the font's size on the screen (the "label-size-screen" setting). CntrsDraw and CntrsSetScale
// apply it when the setting is on.
void CntrsLabelScale(const Cntrs* cntrs, const char* font, double scale);
// Recolours a drawn layer: strokes row index mod 16, labels the next row. FALSE for no layer.
gboolean CntrsSetColor(Cntrs* cntrs, int index);
// Removes the layer's group from the canvas and frees the layer; accepts NULL.
void CntrsDel(Cntrs* cntrs);

// Reads and draws the entry's file from <home>/import/Shp into Canv.group. On failure the entry,
// when it is in Conf.contours, is freed and its link removed. TRUE when a polyline is drawn.
// Projected for the sub-satellite longitude of the shown layer (none shown: the nominal one of
// the configured satellite).
gboolean CntrsLoad(CntrsFile* entry);
// A layer of a satellite over sub_lon is shown: every loaded layer of the contour list that was
// projected for another longitude is read and drawn again for this one.
void CntrsFollow(double sub_lon, bool fci = false);
// Loads the numbered "contour-file"/"cntrs-file-attr" entries 00..99 of "Startup files" into
// Conf.contours; main loop only.
void CntrsStartup();

// Frees the entry held by the link (its layer too) and sets link->data to NULL.
// A NULL link, or a link holding no entry, is left alone.
void InfoCntrsDel(GList* link);
// Frees one entry and its layer: the element destructor of the whole list at exit.
void InfoCntrsFileDel(gpointer entry);
