// Start-up loading of the image files the settings list.
#include "settings/confstartup.h"

#include <cstring>
#include <memory>
#include <string>

#include "app/app.h"
#include "app/platform.h"
#include "canvas/canv.h"
#include "contours/cntrs.h"
#include "data/gholder.h"
#include "data/supl.h"
#include "data/supltsan.h"
#include "settings/confwindow.h"

namespace {

void Lock(Conf* conf) {
  g_mutex_lock(&conf->mutex);
  SuplTsanAcquire(&conf->mutex);
}

void Unlock(Conf* conf) {
  SuplTsanRelease(&conf->mutex);
  g_mutex_unlock(&conf->mutex);
}

constexpr const char* INPUT_DIR = "import/SEVIRI_data";

// What a step hands to the main loop; also the thread's result, so a closing window can find
// and drop the idle callback that carries it.
struct StartupMessage {
  int n = 0;
  bool loaded = false;
  std::string error;  // why an entry that exists was not loaded; shown when the chain ends
  // The first file of the chain so far that could not be read whole, "NAME(what)": its image
  // was shown without the lines it lacks. Handed from step to step, shown when the chain ends.
  std::string damaged;
};


// The channel field's code at positions 29..32, in id order 1..11.
constexpr const char* CHANNEL_CODES[CHANNEL_COUNT - 1] = {"006_", "008_", "016_", "039_", "062_", "073_",
                                                          "087_", "097_", "108_", "120_", "134_"};

void Start(Conf* conf, int n, std::string damaged) {
  auto* name = "Nubicorn";
  auto* message = new StartupMessage{n, false, {}, std::move(damaged)};
  SuplTsanRelease(message);
  conf->loader = g_thread_new(name, ConfStartupImage, message);
}

std::string NotLoaded(const std::string& value) { return "Start-up file not loaded: " + value; }

// Empty when a segment the view window needs of the entry's channel and slot is in the input
// folder (the loader makes an image of what it finds); else the message: why the service
// cannot fill the window (rapid scan), or the segments it needs, before the long file name.
std::string MissingSegments(const Conf* conf, const char* value, const Layer& layer) {
  const std::string home = App_get ? App_get->home : std::string();
  auto present = [&](const std::string& name) {
    GStr path(g_build_filename(home.c_str(), INPUT_DIR, name.c_str(), nullptr));
    return g_file_test(path.get(), G_FILE_TEST_IS_REGULAR) != FALSE;
  };
  Sat sat = conf->satellite;
  SatFromName(value, &sat);
  const ConfRect window{conf->rect_x, conf->rect_y, conf->rect_width, conf->rect_height};
  const std::vector<std::string> files = ConfWindowFiles(sat, window, layer.id, layer.slot);
  for (const std::string& f : files)
    if (present(f)) return {};
  // Rapid scan south of its segments: the reason leads, the status bar may cut the rest.
  if (files.empty()) return ConfWindowFault(sat, window);
  g_log(nullptr, G_LOG_LEVEL_WARNING, "confstartup: no segment the window needs of %s in %s/%s", value,
        home.c_str(), INPUT_DIR);
  // The entry names the one file the window needs: its name says it all.
  if (files.size() == 1 && files[0] == value) return NotLoaded(value);
  return "Start-up file not loaded (the view window needs " +
         ConfSegmentText(ConfWindowSegments(sat, window, layer.id == HRV_ID)) + "): " + value;
}

// What a load said about its files: a layer not made is reported by the file that failed; one
// made without some of its lines keeps the first such file for the end of the chain.
void Damage(const std::string& note, bool opened, std::string* error, std::string* damaged) {
  if (note.empty()) return;
  if (!opened) *error = NotLoaded(note);
  else if (damaged->empty()) *damaged = note;
}

// Loads image n into conf->slots; the caller holds conf->mutex. TRUE when a layer is in a slot;
// else *error tells why, unless the entry does not exist (the normal end of the list): naming
// the file that failed, which may be another segment than the entry's. *damaged receives the
// first file that could not be read whole (when it is still empty).
bool LoadImage(Conf* conf, int n, std::string* error, std::string* damaged) {
  GKeyFile* kf = conf->key_file.get();
  if (!kf) return false;
  GStr value(g_key_file_get_string(kf, CONF_GROUP_STARTUP, ConfNumberedKey("image-file", n).c_str(), nullptr));
  if (!value) return false;
  g_strchomp(value.get());
  if (!g_utf8_validate(value.get(), -1, nullptr)) {
    *error = "Start-up file not loaded: its name is not UTF-8";
    return false;
  }
  // A plain file name: a hand-edited entry must not reach outside the input folder.
  if (std::strchr(value.get(), G_DIR_SEPARATOR) || std::strchr(value.get(), '/')) {
    *error = NotLoaded(value.get());
    return false;
  }
  *error = NotLoaded(value.get());  // until it is in a slot
  auto layer = std::make_unique<Layer>();
  if (!ConfParseImageName(value.get(), layer.get())) return false;
  // The window shows FCI channels then: an MSG slot would sit under a tree that cannot select it.
  if (conf->satellite.service == SatService::Fci) {
    *error = "Start-up file not loaded (an MSG file; the satellite is MTG-I1 FCI): ";
    *error += value.get();
    return false;
  }
  // The entry names its channel and slot; the window decides which of their segments are read.
  const std::string missing = MissingSegments(conf, value.get(), *layer);
  if (!missing.empty()) {
    *error = missing;
    return false;
  }
  layer->name = value.get();
  const int id = layer->id;

  Slot* last = conf->slots ? static_cast<Slot*>(g_list_last(conf->slots)->data) : nullptr;
  if (last && last[0] && InfoSameTime(last[0]->time, layer->time)) {
    if (last[id] && last[id]->id > 0) {
      // Listed twice: the slot has it already.
      conf->loaded_id = id;
      error->clear();
      return true;
    }
    last[id] = layer.release();
    std::string note;
    const bool opened = CanvOpen(&last[id], &note);
    Damage(note, opened, error, damaged);
    if (!opened) return false;
    conf->loaded_id = id;
    for (size_t i = 0; i < conf->recipes.size() && RECIPE_FIRST_ID + i < size_t(SLOT_SIZE); i++) {
      const RgbRecipe& r = conf->recipes[i];
      const int cid = RECIPE_FIRST_ID + int(i);
      bool complete = !last[cid];
      for (int e = 0; e < 6 && complete; e++) {
        const int c = r.channels[e];
        complete = c == 0 || (c >= 1 && c <= CHANNEL_COUNT && last[c] && last[c]->id == c);
      }
      if (!complete) continue;
      Layer* rgb = InfoNew(cid, last[id]->slot.c_str(), &conf->recipes);
      if (CanvOpenRgb(&rgb, last)) {
        last[cid] = rgb;
        conf->loaded_id = cid;
      }
    }
    error->clear();
    return true;
  }

  Slot* slot = InfoSlotNew();
  auto header = std::make_unique<Layer>();
  header->slot = layer->slot;
  header->time = layer->time;
  slot[id] = layer.release();
  std::string note;
  const bool opened = CanvOpen(&slot[id], &note);
  Damage(note, opened, error, damaged);
  if (!opened) {
    // A slot without even a header would trouble every walk of the list.
    InfoSlotDel(slot);
    return false;
  }
  slot[0] = header.release();
  conf->slots = g_list_append(conf->slots, slot);
  conf->loaded_id = id;
  error->clear();
  return true;
}

// shown: the chain put layer names on the status bar, which the empty message now covers. A
// chain that showed nothing leaves the bar alone, so a warning of the window's start stays.
void End(Conf* conf, const std::string& error, const std::string& damaged, bool shown) {
  CntrsStartup();
  Canv* c = Canv_get;
  if (c && c->scroll) {
    // The bounds of the item just shown decide how far the view can scroll: bring them up to date.
    if (c->canvas) goo_canvas_update(GOO_CANVAS(c->canvas));
    gtk_adjustment_set_value(gtk_scrolled_window_get_hadjustment(GTK_SCROLLED_WINDOW(c->scroll)), conf->scroll_x);
    gtk_adjustment_set_value(gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(c->scroll)), conf->scroll_y);
  }
  if (shown) AppStatus("");
  if (!damaged.empty()) AppStatus(("Start-up file damaged: " + damaged).c_str());
  if (!error.empty()) AppStatus(error.c_str());
  if (App_get) PlatformBusyCursor(App_get->window, false);
}

}  // namespace

gboolean ConfParseImageName(const char* name, Layer* layer) {
  if (!name || !layer) return FALSE;
  const size_t len = std::strlen(name);
  if (len < 58) return FALSE;
  int id = 0;
  for (int i = 0; i < CHANNEL_COUNT - 1; i++)
    if (std::strncmp(name + 29, CHANNEL_CODES[i], 4) == 0) id = i + 1;
  if (id == 0 && std::strncmp(name + 26, "HRV_", 4) == 0) id = HRV_ID;
  if (id != 0) layer->id = id;
  if (layer->id <= 0) return FALSE;
  char date[13];
  std::memcpy(date, name + 46, 12);
  date[12] = 0;
  bool digits = true;
  for (int i = 0; i < 12; i++) digits = digits && g_ascii_isdigit(date[i]);
  if (digits && SuplParseDate(date, &layer->time)) {
    layer->slot = InfoSlotText(layer->time);
  } else {
    layer->id = 0;
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s", name);
  }
  return layer->id != 0;
}

gpointer ConfStartupImage(gpointer data) {
  Conf* conf = Conf_get;
  SuplTsanAcquire(data);
  auto* message = static_cast<StartupMessage*>(data);
  Lock(conf);
  message->loaded = LoadImage(conf, message->n, &message->error, &message->damaged);
  Unlock(conf);
  SuplTsanRelease(message);
  g_idle_add(ConfStartupStep, message);
  return message;
}

gboolean ConfStartupStep(gpointer data) {
  SuplTsanAcquire(data);
  std::unique_ptr<StartupMessage> message(static_cast<StartupMessage*>(data));
  Conf* conf = Conf_get;
  Canv* c = Canv_get;
  if (!conf || !conf->loader || !c) return G_SOURCE_REMOVE;
  // A modal dialog's OK handler may hold the mutex already (its loop runs this idle); the
  // finished worker no longer touches the list then.
  const gint32 held = c->mutex_held;
  if (!held) Lock(conf);
  c->mutex_held = 1;

  bool next = false;
  if (conf->loaded_id != 0) {
    // Conf.loader is still set: the canvas leaves the busy cursor to the chain.
    const int id = conf->loaded_id;
    const guint n = g_list_length(conf->slots);
    CanvScaleMarkup();  // widen first: a value above the old range would be clamped
    if (n > 0) gtk_range_set_value(GTK_RANGE(c->range), n - 1);
    if (CanvTreeGetId() == id)
      CanvTreeSelect(nullptr, nullptr, nullptr, FALSE, nullptr);  // the row is selected already
    else
      CanvTreeSelectId(id);
    const Slot* slot = CanvCurrentSlot();
    if (slot && slot[id] && !slot[id]->name.empty()) AppStatus(slot[id]->name.c_str());
    next = message->loaded;
  }
  CanvSensitive();  // reads the slots: before the next step may change them
  g_thread_join(conf->loader);  // it has queued this callback: it is ending
  conf->loader = nullptr;
  conf->loaded_id = 0;
  if (next) Start(conf, message->n + 1, message->damaged);
  c->mutex_held = held;
  if (!next) End(conf, message->error, message->damaged, message->n > 0 || message->loaded);
  if (!held) Unlock(conf);
  return G_SOURCE_REMOVE;
}

void ConfStartupBegin() {
  Conf* conf = Conf_get;
  if (!conf || conf->loader) return;
  Lock(conf);
  if (App_get) PlatformBusyCursor(App_get->window, true);
  Start(conf, 0, {});
  Unlock(conf);
}

void ConfStartupStop(Conf* conf) {
  if (!conf || !conf->loader) return;
  auto* message = static_cast<StartupMessage*>(g_thread_join(conf->loader));
  conf->loader = nullptr;
  g_idle_remove_by_data(message);
  delete message;
}
