// The configuration record: the settings of nubicorn.ini and the open data of the run.
#pragma once

#include <gdk/gdk.h>
#include <glib.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/fileinfo.h"
#include "data/gholder.h"
#include "data/rgbrecipe.h"

using KeyFilePtr = GHolder<GKeyFile, g_key_file_free>;
using PtrArrayPtr = GHolder<GPtrArray, g_ptr_array_unref>;

// Group and key names of the settings file.
inline constexpr const char* CONF_GROUP_STARTUP = "Startup files";
inline constexpr const char* CONF_GROUP_INTERFACE = "Interface";
inline constexpr const char* CONF_GROUP_RGB = "Rgb composite";

// Interface defaults, used when a value is missing or out of range.
inline constexpr int CONF_RECT_X = 2710;
inline constexpr int CONF_RECT_Y = 464;
inline constexpr int CONF_RECT_WIDTH = 92;
inline constexpr int CONF_RECT_HEIGHT = 60;
inline constexpr int CONF_GRID = 3712;  // non-HRV full-disk grid size
inline constexpr int CONF_HRV_EAST = 1947;
inline constexpr const char* CONF_FONT = "Sans Bold 3";
inline constexpr const char* CONF_FONT_WRITE = "Sans 6";
inline constexpr const char* CONF_FIELD = "name";
inline constexpr int CONF_ZOOM = 10;
inline constexpr int CONF_RANGE = 10;
inline constexpr int CONF_FIELD_MAX = 10;  // bytes of "field-name"
inline constexpr int CONF_CHARSET_MAX = 2;
// "satellite" key of "Interface": SatText of the choice ("MSG4", "MSG3_RSS"...). Missing means
// the default (MSG3 full disk), which is never written, so an old file stays as it was.
inline constexpr const char* CONF_KEY_SATELLITE = "satellite";
// "max-slots" of "Interface": slots the working-directory monitor keeps, 1..CONF_MAX_SLOTS_MAX.
// Missing (or out of range) means one day of the chosen service; that default is never written.
inline constexpr const char* CONF_KEY_MAX_SLOTS = "max-slots";
inline constexpr int CONF_MAX_SLOTS_MAX = 10000;
// Viewing aids of "Interface", each written only when it differs from its default, so an old
// file reads as before: milliseconds per animation step, video frames per second, and the
// latitude/longitude grid over the image (0 off, 1 on).
inline constexpr const char* CONF_KEY_ANIM_MS = "animation-step-ms";
inline constexpr const char* CONF_KEY_VIDEO_FPS = "video-fps";
inline constexpr const char* CONF_KEY_GRATICULE = "graticule";
// "label-size-screen=1": the size of "canvas-font" is kept on the screen at every zoom (points
// of the screen) instead of growing with the zoom (points of the image at x1). Missing: 0, as
// files before it were drawn. The installed settings and a reset use 1 with CONF_FONT_SCREEN.
inline constexpr const char* CONF_KEY_LABEL_SCREEN = "label-size-screen";
inline constexpr const char* CONF_FONT_SCREEN = "Sans Bold 9";
inline constexpr int CONF_ANIM_MS = 1000, CONF_ANIM_MS_MIN = 100, CONF_ANIM_MS_MAX = 10000;
inline constexpr double CONF_VIDEO_FPS = 2.0, CONF_VIDEO_FPS_MIN = 0.5, CONF_VIDEO_FPS_MAX = 30.0;
// "video-format" of "Interface": the container of "Make video", named by CONF_VIDEO_FORMATS.
// Missing (or unknown) means AVI, which is never written, so an old file stays as it was.
inline constexpr const char* CONF_KEY_VIDEO_FORMAT = "video-format";
enum class ConfVideoFormat { Avi, Mp4 };
inline constexpr const char* CONF_VIDEO_FORMATS[] = {"avi", "mp4"};  // by ConfVideoFormat

// Groups of the settings file as bits, for ConfWriteGroups and Conf.unsaved.
inline constexpr guint CONF_SAVE_STARTUP = 1u << 0;
inline constexpr guint CONF_SAVE_INTERFACE = 1u << 1;
inline constexpr guint CONF_SAVE_RGB = 1u << 2;
inline constexpr guint CONF_SAVE_ALL = CONF_SAVE_STARTUP | CONF_SAVE_INTERFACE | CONF_SAVE_RGB;
inline constexpr int CONF_STARTUP_MAX = 1000;  // "image-file" entries read (00 to 999)

// A displayed rectangle of the 3712 grid.
struct ConfRect {
  gint32 x = 0, y = 0, width = 0, height = 0;
};

struct Conf {
  std::string canvas_font;
  guint32 charset = 0;
  std::string field_name;
  GList* slots = nullptr;     // of Slot* (g_new0 arrays of SLOT_SIZE layers), owned
  GList* contours = nullptr;  // of CntrsFile*, owned
  gint32 zoom = 0;
  gint32 scroll_x = 0;
  gint32 scroll_y = 0;
  gint32 rect_x = 0;
  gint32 rect_y = 0;
  gint32 rect_width = 0;
  gint32 rect_height = 0;
  std::vector<RgbRecipe> recipes;
  GdkColor selected_color{};
  gint32 selected_range = 0;
  KeyFilePtr key_file;
  std::string ini_path;
  SlotTime last_date{};
  PtrArrayPtr places;
  GThread* loader = nullptr;
  GMutex mutex{};
  gint32 loaded_id = 0;
  gint32 hrv_east = 0;
  // The rectangle the Settings dialog edits for the next start; the rect_* fields stay what
  // this run loaded with. Empty until the dialog edits it; "Interface" saves write it.
  std::optional<ConfRect> rect_next;
  gint32 recipe_index = 0;  // the recipe the Settings dialog shows, kept for the whole run
  Sat satellite;            // names, patterns and slot step of the files the program opens
  // The start-up images the user chose (file names in import/SEVIRI_data, "image-file" order):
  // read from the file, changed only by the Startup files page, written by its group.
  std::vector<std::string> startup_images;
  guint unsaved = 0;  // CONF_SAVE_* groups edited in the Settings dialog since their last save
  gint32 max_slots = 0;     // slots the monitor keeps; 0: one day of the service
  gint32 anim_ms = CONF_ANIM_MS;         // animation step
  double video_fps = CONF_VIDEO_FPS;     // frame rate of the video
  ConfVideoFormat video_format = ConfVideoFormat::Avi;  // container (and codec) of the video
  gboolean graticule = FALSE;            // latitude/longitude lines over the image
  gboolean label_screen = FALSE;         // label size on the screen, not in image units
};

// The one configuration record of the run; set by ConfRead.
extern Conf* Conf_get;

// Loads <home>/config/nubicorn.ini (falling back to config/setup/nubicorn.ini, which is then
// stored as nubicorn.ini) and fills conf by the read rules. FALSE when no file could be loaded
// and stored: then the rectangle is 0,0,10x10, the recipe list is empty and key_file is empty.
gboolean ConfRead(Conf* conf, const std::string& home);
// Copies the groups of mode (0 all, 1 "Startup files", 2 "Interface", 3 "Rgb composite") into
// the key file and saves it atomically. FALSE, with a warning, when the file cannot be written.
gboolean ConfWrite(int mode);
// The same for any set of CONF_SAVE_* groups, each written once; the written groups leave
// Conf.unsaved. FALSE, with a warning, when the file cannot be written (nothing leaves unsaved).
gboolean ConfWriteGroups(guint groups);
// Stores the default settings in the key file and saves it; conf itself is unchanged.
// FALSE, with a warning, when the file cannot be written.
gboolean ConfReset();
// Frees everything conf owns (settings, key file, recipes, places, contours, slots, mutex).
void ConfFree(Conf* conf);

// Reads the viewing aids (CONF_KEY_ANIM_MS ...) of "Interface": a missing or out-of-range value
// gives the default, with a warning for one that is present but unusable.
void ConfReadAids(Conf* conf, GKeyFile* kf);
// Writes them into "Interface", removing each key whose value is the default.
void ConfWriteAids(const Conf* conf, GKeyFile* kf);

// Numbered key "base-NN"; caller owns the result.
std::string ConfNumberedKey(const char* base, int n);
// Decimal colour code R*1000000 + G*1000 + B to a colour (components clamped to 0..255, times 256).
GdkColor ConfColorDecode(gint64 code);
// Colour to its decimal code (components divided by 256, truncating).
gint64 ConfColorEncode(const GdkColor& color);
