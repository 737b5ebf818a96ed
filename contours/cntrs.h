// Contour layers: the contour file entry of the settings and its loaded layer.
#pragma once

#include <glib.h>
#include <goocanvas.h>

#include <string>

// One loaded contour layer: the canvas items of one shapefile.
struct Cntrs {
  GooCanvasItem* group = nullptr;  // child of the canvas's contour group; owns the items below
  GPtrArray* polylines = nullptr;  // GooCanvasItem*, not owned (the group holds them)
  GPtrArray* lines = nullptr;      // owning: one float (x, y) vertex array per polyline
  GPtrArray* texts = nullptr;      // GooCanvasItem* label items, not owned; NULL without labels
  GPtrArray* labels = nullptr;     // owned UTF-8 strings, one per line; NULL without labels
  gint32 color = 0;                // index into the colour table
};

// One entry of the contour file list (Conf.contours), which owns it.
struct CntrsFile {
  gint32 channel = -1;      // always negative: the settings save writes only such entries
  std::string file;         // base name of the .shp file in import/Shp
  Cntrs* cntrs = nullptr;   // the loaded layer, or NULL
  std::string field;        // label field name, empty for none
  std::string color;        // colour name, empty for none
};

// Removes the layer's group from the canvas and frees the layer; accepts NULL.
void CntrsDel(Cntrs* cntrs);
// Frees the entry held by the link (its layer too) and sets link->data to NULL.
// A NULL link, or a link holding no entry, is left alone.
void InfoCntrsDel(GList* link);
// Frees one entry and its layer: the element destructor of the whole list at exit.
void InfoCntrsFileDel(gpointer entry);
