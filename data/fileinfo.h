// HRIT file names, channels, layers and repeat-cycle slots.
#pragma once

#include <glib.h>
#include <opencv2/core.hpp>

#include <array>
#include <ctime>
#include <string>
#include <vector>

#include "data/satellite.h"

struct RgbRecipe;

// Broken-down time of a repeat cycle: tm_year is the full year, tm_mon is 0-based.
using SlotTime = std::tm;

inline constexpr int CHANNEL_COUNT = 12;    // ids 1..12
inline constexpr int HRV_ID = 12;
inline constexpr int RECIPE_FIRST_ID = 13;  // composite id = 13 + recipe index
inline constexpr int RECIPE_MAX = 99;
// FCI layers: channel FciChannels[i] is id FCI_LAYER_FIRST + i, its true colour FCI_TRUE_COLOUR_ID.
inline constexpr int FCI_LAYER_FIRST = 112;
inline constexpr int FCI_LAYER_COUNT = 16;
inline constexpr int FCI_TRUE_COLOUR_ID = FCI_LAYER_FIRST + FCI_LAYER_COUNT;
// entry 0 header, 1..12 channels, 13..111 composites, 112..127 FCI channels, 128 FCI true colour
inline constexpr int SLOT_SIZE = 129;
// An FCI channel layer id.
inline constexpr bool InfoIsFci(int id) { return id >= FCI_LAYER_FIRST && id < FCI_TRUE_COLOUR_ID; }
// Any channel layer id (MSG or FCI): counts in images[0].
inline constexpr bool InfoIsChannel(int id) { return (id >= 1 && id <= CHANNEL_COUNT) || InfoIsFci(id); }
inline constexpr int NAME_LENGTH = 61;      // every HRIT file base name

// Indexed by channel id; entry 0 is empty.
extern const char* const InfoChannelText[CHANNEL_COUNT + 1];   // "VIS006" ... "HRV___"
extern const char* const InfoChannelLabel[CHANNEL_COUNT + 1];  // "VIS 0.6" ... "HRV"
// Indexed by FCI channel (id - FCI_LAYER_FIRST), in the order of FciChannels.
extern const char* const InfoFciText[FCI_LAYER_COUNT];   // "vis_04" ... "ir_133"
extern const char* const InfoFciLabel[FCI_LAYER_COUNT];  // "VIS 0.4" ... "IR 13.3"
// What the tree, the readout and the exports call a channel layer id (MSG or FCI); "" otherwise.
inline const char* InfoLayerLabel(int id) {
  if (id >= 1 && id <= CHANNEL_COUNT) return InfoChannelLabel[id];
  return InfoIsFci(id) ? InfoFciLabel[id - FCI_LAYER_FIRST] : "";
}
// Name patterns (printf / glob forms) of MSG3's full disk, the default choice; the patterns of
// any choice come from the Sat functions.
inline constexpr const char* INFO_NAME_FMT = "H-000-MSG3__-MSG3________-%s___-000007___-%s-C_";
inline constexpr const char* INFO_NAME_FMT_HRV = "H-000-MSG3__-MSG3________-%s___-000019___-%s-C_";
inline constexpr const char* INFO_FILTER_MSG3 = "H-000-MSG3__-MSG3________-*-0000??___-*-C_";
inline constexpr const char* INFO_GLOB_SEGMENT7 = "H-000-MSG3__-MSG3________-??????___-000007___-????????????-C_";
inline constexpr const char* INFO_GLOB_PROLOGUE = "H-000-MSG3__-MSG3________-_________-PRO______-????????????-__";
inline constexpr const char* INFO_GLOB_EPILOGUE = "H-000-MSG3__-MSG3________-_________-EPI______-????????????-__";

// One loaded image of one slot. Made by InfoNew (or zero and filled by InfoParseName),
// owned by its Slot, freed by InfoDel.
struct Layer {
  int id = 0;          // 1..12 channel, 13..111 composite, 112..128 FCI, 0 none / slot header
  std::string name;    // channel: reference-segment file name; composite: recipe name
  std::string slot;    // slot text YYYYMMDDhhmm
  SlotTime time{};
  // [0] channel counts CV_16UC1 (empty for composites), [1] display CV_8UC3 RGB,
  // [2] pristine copy of [1] kept by the selection command. Empty until loaded.
  std::array<cv::Mat, 3> images;
  // FCI channels: the physical value of each count (CV_32FC1, images[0]'s size), brightness
  // temperature (K) or reflectance (%), NaN where there is none. Empty for MSG layers.
  cv::Mat values;
  // Made from FCI data (channels and composites): its display is 1 km a pixel on the 2 km
  // window of the view rectangle (FciWindowOfRect), placed by FCI's navigation.
  bool fci = false;
  // Sub-satellite longitude of the data in degrees east, from the reference segment's image
  // navigation record when loaded (composites: that of their channels).
  double sub_lon = 0.0;
  // The selection outlined on images[1] (while images[2] holds the pristine copy): hue in
  // degrees, range and grey mode of the last selection made on this layer.
  struct Selection {
    bool made = false;
    double hue = 0.0;
    int range = 0;
    bool grey = false;
  } selection;
};

// A Slot is a g_new0 array of SLOT_SIZE Layer pointers; the open slots form a GList.
using Slot = Layer*;

// New layer of channel/composite `id` for slot text `text` (NULL or invalid: now, local time).
// Channel names are those of `sat` (NULL: MSG3 full disk); composite names are copied from
// `recipes` (entry id - 13) when given. An FCI channel is named SatNamePrefix of `sat` (MTI1
// when sat is no FCI choice) + channel name + "-" + slot text, e.g.
// "W_XX-EUMETSAT-Darmstadt,IMG+SAT,MTI1+FCI-ir_105-202501011200": no file, but it carries the
// service and the time; the true colour is named "True colour".
Layer* InfoNew(int id, const char* text, const std::vector<RgbRecipe>* recipes = nullptr,
               const Sat* sat = nullptr);
// Sets id, time and slot from layer->name, the reference-segment name of any MSG1..MSG4
// spacecraft and either service. FALSE (one warning "%s") when it is no reference name.
gboolean InfoParseName(Layer* layer);
// Frees the layer and its images; accepts NULL and a pointer to NULL; sets *pp to NULL.
void InfoDel(Layer** pp);
// Frees the compiled name pattern (at exit).
void InfoFreePattern();

Slot* InfoSlotNew();
void InfoSlotDel(gpointer slot);  // frees all 112 layers and the array (GDestroyNotify)
int InfoCompare(const Layer* a, const Layer* b);
gint InfoSlotCompare(gconstpointer sa, gconstpointer sb);    // GCompareFunc for g_list_sort
// 0 when slot holds layer's time and is of the same satellite service (when both are known):
// cycles of two services at one time are two slots.
gint InfoSlotFindTime(gconstpointer slot, gconstpointer layer);
// The satellite service of a channel layer or a slot header from its name (a header may carry
// the names' prefix, SatNamePrefix); false for composites and unnamed headers.
bool InfoLayerSat(const Layer* layer, Sat* out);
// The service of a slot: that of its first named channel, else of its header; false when unknown.
bool InfoSlotSat(const Slot* slot, Sat* out);
// Puts the layer into the slot of its time, making the slot when needed; returns *list.
// The slot takes ownership; a layer whose id is outside 1..SLOT_SIZE-1 is freed with a warning.
GList* InfoSlotInsert(GList** list, Layer* layer, GList** link = nullptr);
// Frees the oldest slots (by InfoSlotCompare) other than keep until at most max remain (keep
// stays even when max is 0); returns how many were freed.
guint InfoSlotTrim(GList** list, guint max, const Slot* keep);

// Slot text "%4d%02d%02d%02d%02d" of a time.
std::string InfoSlotText(const SlotTime& t);
bool InfoSameTime(const SlotTime& a, const SlotTime& b);
