#include "data/fileinfo.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "data/gholder.h"
#include "data/rgbrecipe.h"
#include "data/supl.h"

const char* const InfoChannelText[CHANNEL_COUNT + 1] = {
    "", "VIS006", "VIS008", "IR_016", "IR_039", "WV_062", "WV_073",
    "IR_087", "IR_097", "IR_108", "IR_120", "IR_134", "HRV___"};

const char* const InfoChannelLabel[CHANNEL_COUNT + 1] = {
    "", "VIS 0.6", "VIS 0.8", "IR 0.16", "IR 0.39", "WV 0.62", "WV 0.73",
    "IR 0.87", "IR 0.97", "IR 10.8", "IR 12.0", "IR 13.4", "HRV"};

const char* const InfoFciText[FCI_LAYER_COUNT] = {
    "vis_04", "vis_05", "vis_06", "vis_08", "vis_09", "nir_13", "nir_16", "nir_22",
    "ir_38",  "wv_63",  "wv_73",  "ir_87",  "ir_97",  "ir_105", "ir_123", "ir_133"};

const char* const InfoFciLabel[FCI_LAYER_COUNT] = {
    "VIS 0.4", "VIS 0.5", "VIS 0.6", "VIS 0.8", "VIS 0.9", "NIR 1.3", "NIR 1.6", "NIR 2.2",
    "IR 3.8",  "WV 6.3",  "WV 7.3",  "IR 8.7",  "IR 9.7",  "IR 10.5", "IR 12.3", "IR 13.3"};

namespace {

// Group 1 the spacecraft digit (named twice, the same both times), 2 the channel field, 3 the
// segment digits, 4 the slot digits.
constexpr const char* NAME_PATTERN =
    "H-000-MSG([1-4])__-MSG\\1(?:________|_RSS____|_IODC___)-(VIS006___|VIS008___|IR_016___|IR_039___|WV_062___|WV_073___|"
    "IR_087___|IR_097___|IR_108___|IR_120___|IR_134___|HRV______)-0000(07|19)___-(\\d{12})-C_";

// Compiled once; callers parse names on one thread at a time, but a once-guard costs nothing
// and keeps a second loader thread safe.
GRegex* name_regex = nullptr;
GOnce name_regex_once = G_ONCE_INIT;

gpointer CompilePattern(gpointer) {
  GError* err = nullptr;
  name_regex = g_regex_new(NAME_PATTERN, GRegexCompileFlags(0), GRegexMatchFlags(0), &err);
  if (!name_regex) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "fileinfo: the file-name pattern does not compile: %s",
          err ? err->message : "");
    g_clear_error(&err);
  }
  return name_regex;
}

int ChannelFromField(const char* field) {
  static const char* const keys[] = {"006_", "008_", "016_", "039_", "062_", "073_",
                                     "087_", "097_", "108_", "120_", "134_"};
  if (std::strlen(field) >= 7)
    for (int i = 0; i < 11; i++)
      if (!std::strncmp(field + 3, keys[i], 4)) return i + 1;
  if (!std::strncmp(field, "HRV_", 4)) return HRV_ID;
  return 0;
}

}  // namespace

std::string InfoSlotText(const SlotTime& t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%4d%02d%02d%02d%02d", t.tm_year, t.tm_mon + 1, t.tm_mday,
                t.tm_hour, t.tm_min);
  return buf;
}

bool InfoSameTime(const SlotTime& a, const SlotTime& b) {
  return a.tm_sec == b.tm_sec && a.tm_min == b.tm_min && a.tm_hour == b.tm_hour &&
         a.tm_mday == b.tm_mday && a.tm_mon == b.tm_mon && a.tm_year == b.tm_year &&
         a.tm_wday == b.tm_wday && a.tm_yday == b.tm_yday && a.tm_isdst == b.tm_isdst;
}

Layer* InfoNew(int id, const char* text, const std::vector<RgbRecipe>* recipes, const Sat* sat) {
  auto layer = std::make_unique<Layer>();
  layer->id = id;
  if (!text || !SuplParseDate(text, &layer->time)) {
    std::time_t now = std::time(nullptr);
    localtime_r(&now, &layer->time);
    layer->time.tm_year += 1900;
  }
  layer->slot = InfoSlotText(layer->time);
  if (id >= 1 && id <= CHANNEL_COUNT) {
    // The text goes in as it was passed, also when it was no slot text.
    layer->name = SatSegmentName(sat ? *sat : Sat{}, InfoChannelText[id], id == HRV_ID ? 19 : 7,
                                 text ? text : "(null)");
  } else if (InfoIsFci(id)) {
    const Sat fci = sat && sat->service == SatService::Fci ? *sat : Sat{1, SatService::Fci};
    layer->name = SatNamePrefix(fci) + InfoFciText[id - FCI_LAYER_FIRST] + "-" + layer->slot;
  } else if (id == FCI_TRUE_COLOUR_ID) {
    layer->name = "True colour";
  } else if (id >= RECIPE_FIRST_ID && id < FCI_LAYER_FIRST && recipes &&
             size_t(id - RECIPE_FIRST_ID) < recipes->size()) {
    layer->name = (*recipes)[id - RECIPE_FIRST_ID].name;
  }
  return layer.release();
}

gboolean InfoParseName(Layer* layer) {
  if (!layer) return FALSE;
  g_once(&name_regex_once, CompilePattern, nullptr);
  GMatchInfo* raw = nullptr;
  if (!name_regex ||
      !g_regex_match(name_regex, layer->name.c_str(), G_REGEX_MATCH_NOTEMPTY, &raw)) {
    g_match_info_free(raw);
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s", layer->name.c_str());
    return layer->id != 0;
  }
  GHolder<GMatchInfo, g_match_info_free> match(raw);
  GStr field(g_match_info_fetch(match.get(), 2));
  if (field && *field) {
    int id = ChannelFromField(field.get());
    if (id) layer->id = id;
  }
  if (layer->id < 1) return FALSE;
  GStr digits(g_match_info_fetch(match.get(), 4));
  if (digits && SuplParseDate(digits.get(), &layer->time)) {
    layer->slot = InfoSlotText(layer->time);
  } else {
    layer->id = 0;
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s", layer->name.c_str());
  }
  return layer->id != 0;
}

void InfoDel(Layer** pp) {
  if (!pp || !*pp) return;
  std::unique_ptr<Layer> owned(*pp);
  *pp = nullptr;
}

void InfoFreePattern() {
  // Only at exit, after every loader thread has ended.
  if (name_regex) {
    g_regex_unref(name_regex);
    name_regex = nullptr;
  }
  // A window built again in the same process (tests) parses names again: compile anew then.
  name_regex_once = G_ONCE_INIT;
}

Slot* InfoSlotNew() { return g_new0(Slot, SLOT_SIZE); }

void InfoSlotDel(gpointer p) {
  auto* slot = static_cast<Slot*>(p);
  if (!slot) return;
  for (int i = 0; i < SLOT_SIZE; i++) InfoDel(&slot[i]);
  g_free(slot);
}

int InfoCompare(const Layer* a, const Layer* b) {
  const SlotTime& ta = a->time;
  const SlotTime& tb = b->time;
  if (ta.tm_year == 0 && tb.tm_year != 0) return 1;
  if (ta.tm_year != 0 && tb.tm_year == 0) return -1;
  const int fa[] = {ta.tm_year, ta.tm_mon, ta.tm_mday, ta.tm_hour, ta.tm_min, a->id};
  const int fb[] = {tb.tm_year, tb.tm_mon, tb.tm_mday, tb.tm_hour, tb.tm_min, b->id};
  for (int i = 0; i < 6; i++)
    if (fa[i] != fb[i]) return fa[i] < fb[i] ? -1 : 1;
  return g_ascii_strcasecmp(a->name.c_str(), b->name.c_str());
}

namespace {
const Layer* LastLayer(const Slot* slot) {
  const Layer* last = nullptr;
  for (int i = 0; i < SLOT_SIZE; i++)
    if (slot[i]) last = slot[i];
  return last;
}
}  // namespace

gint InfoSlotCompare(gconstpointer sa, gconstpointer sb) {
  const Layer* a = LastLayer(static_cast<const Slot*>(sa));
  const Layer* b = LastLayer(static_cast<const Slot*>(sb));
  if (a && b) return InfoCompare(a, b);
  g_log(nullptr, G_LOG_LEVEL_WARNING, "fileinfo: a time slot without files is compared (%s, %s)",
        a ? a->name.c_str() : "empty", b ? b->name.c_str() : "empty");
  return -1;
}

bool InfoLayerSat(const Layer* layer, Sat* out) {
  return layer && ((layer->id >= 0 && layer->id <= CHANNEL_COUNT) || InfoIsFci(layer->id)) &&
         SatFromName(layer->name, out);
}

bool InfoSlotSat(const Slot* slot, Sat* out) {
  if (!slot) return false;
  for (int c = 1; c <= CHANNEL_COUNT; c++)
    if (InfoLayerSat(slot[c], out)) return true;
  for (int c = FCI_LAYER_FIRST; c < FCI_TRUE_COLOUR_ID; c++)
    if (InfoLayerSat(slot[c], out)) return true;
  return InfoLayerSat(slot[0], out);
}

gint InfoSlotFindTime(gconstpointer p, gconstpointer l) {
  const auto* slot = static_cast<const Slot*>(p);
  const auto* layer = static_cast<const Layer*>(l);
  bool same = false;
  for (int i = 0; i < SLOT_SIZE && !same; i++) same = slot[i] && InfoSameTime(slot[i]->time, layer->time);
  if (!same) return 1;
  Sat a, b;
  return InfoLayerSat(layer, &a) && InfoSlotSat(slot, &b) && !(a == b) ? 1 : 0;
}

GList* InfoSlotInsert(GList** list, Layer* layer, GList** link) {
  if (!layer || layer->id < 1 || layer->id >= SLOT_SIZE) {
    // Entry 0 is the header; anything else would write outside the array.
    g_log(nullptr, G_LOG_LEVEL_WARNING, "fileinfo: %s: channel %d has no place in a time slot",
          layer ? layer->name.c_str() : "no file", layer ? layer->id : -1);
    InfoDel(&layer);
    if (link) *link = nullptr;
    return *list;
  }
  GList* found = g_list_find_custom(*list, layer, InfoSlotFindTime);
  if (found) {
    auto* slot = static_cast<Slot*>(found->data);
    if (slot[layer->id] != layer) InfoDel(&slot[layer->id]);
    slot[layer->id] = layer;
  } else {
    Slot* slot = InfoSlotNew();
    slot[layer->id] = layer;
    auto header = std::make_unique<Layer>();
    header->slot = layer->slot;
    header->time = layer->time;
    slot[0] = header.release();
    *list = g_list_append(*list, slot);
    found = g_list_last(*list);
  }
  if (link) *link = found;
  return *list;
}

guint InfoSlotTrim(GList** list, guint max, const Slot* keep) {
  guint freed = 0;
  for (guint n = g_list_length(*list); n > max; n--) {
    GList* oldest = nullptr;
    for (GList* l = *list; l; l = l->next)
      if (l->data != keep && (!oldest || InfoSlotCompare(l->data, oldest->data) < 0)) oldest = l;
    if (!oldest) break;
    InfoSlotDel(oldest->data);
    *list = g_list_delete_link(*list, oldest);
    freed++;
  }
  return freed;
}
