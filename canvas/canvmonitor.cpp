// The working-directory monitor.
#include "canvas/canvmonitor.h"

#include <errno.h>
#include <fcntl.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "app/app.h"
#include "app/platform.h"
#include "canvas/canv.h"
#include "data/fileinfo.h"
#include "data/supltsan.h"
#include "settings/conf.h"

namespace {

constexpr const char* WATCH_DIR = "import/mnt";
constexpr const char* TARGET_DIR = "import/SEVIRI_data";
constexpr guint STEP_SECONDS = 3;

// The names the monitor looks for are those of the configured satellite.
Sat Chosen() { return Conf_get ? Conf_get->satellite : Sat{}; }

std::string Segment(int channel, int segment, const std::string& t) {
  return SatSegmentName(Chosen(), InfoChannelText[channel], segment, t);
}
std::string Epilogue(const std::string& t) { return SatEpilogueName(Chosen(), t); }

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

std::string Join(const std::string& a, const char* b, const std::string& c) {
  std::unique_ptr<gchar, decltype(&g_free)> p(g_build_filename(a.c_str(), b, c.c_str(), nullptr), g_free);
  return p.get();
}

// The slot time of an epilogue name, or empty for any other entry.
std::string EpilogueTime(const char* name) {
  if (std::strlen(name) != size_t(NAME_LENGTH) || name[36] != 'E') return {};
  std::string t(name + 46, 12);
  if (!std::all_of(t.begin(), t.end(), [](char ch) { return ch >= '0' && ch <= '9'; })) return {};
  return Epilogue(t) == name ? t : std::string();
}

struct ShowData {
  Layer* layer;
  guint source;
};

void ShowDataFree(gpointer data) {
  auto* d = static_cast<ShowData*>(data);
  InfoDel(&d->layer);
  delete d;
}

bool WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    const ssize_t w = write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= size_t(w);
  }
  return true;
}

bool Contains(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

// Moves one file of a cycle; a failure is logged once and the file remembered as left behind.
bool MoveOne(const std::string& f, const std::string& watch, const std::string& target, CanvMonitorState* s) {
  if (CanvMonitorMove(watch + "/" + f, target + "/" + f)) return true;
  g_log(nullptr, G_LOG_LEVEL_WARNING, "%s left in %s: %s", f.c_str(), WATCH_DIR, std::strerror(errno));
  s->left.push_back(f);
  return false;
}

// The channel id of a segment name, 0 for any other name.
int ChannelOf(const std::string& name) {
  if (name.size() != size_t(NAME_LENGTH)) return 0;
  for (int ch = 1; ch <= CHANNEL_COUNT; ch++)
    if (name.compare(26, 6, InfoChannelText[ch]) == 0) return ch;
  return 0;
}

// Moves the files of cycle t and returns the names to load; failures are logged.
void HandleCycle(const std::string& t, const std::string& watch, const std::string& target,
                 CanvMonitorState* s, std::vector<std::string>* names) {
  std::vector<std::string> files = CanvMonitorCycleFiles(Chosen(), t);
  // Segments 7 and 8 of HRV are not needed for the picture but belong to the cycle.
  files.insert(files.end() - 2, {Segment(HRV_ID, 7, t), Segment(HRV_ID, 8, t)});
  for (const std::string& f : files)
    if (Exists(watch + "/" + f)) MoveOne(f, watch, target, s);
  for (int ch = 1; ch <= CHANNEL_COUNT; ch++) names->push_back(Segment(ch, ch == HRV_ID ? 19 : 7, t));
}

}  // namespace

std::vector<std::string> CanvMonitorCycleFiles(const std::string& t) { return CanvMonitorCycleFiles(Sat{}, t); }

std::vector<std::string> CanvMonitorCycleFiles(const Sat& sat, const std::string& t) {
  std::vector<std::string> out;
  for (int ch = 1; ch < HRV_ID; ch++)
    for (int seg = SatFirstSegment(sat); seg <= 8; seg++) out.push_back(SatSegmentName(sat, InfoChannelText[ch], seg, t));
  for (int seg = 19; seg <= 24; seg++) out.push_back(SatSegmentName(sat, InfoChannelText[HRV_ID], seg, t));
  out.push_back(SatPrologueName(sat, t));
  out.push_back(SatEpilogueName(sat, t));
  return out;
}

bool CanvMonitorCopyMove(const std::string& from, const std::string& to) {
  const int in = g_open(from.c_str(), O_RDONLY, 0);
  if (in < 0) return false;
  std::string tmp = to + ".XXXXXX";
  const int out = g_mkstemp_full(tmp.data(), O_WRONLY, 0644);
  if (out < 0) {
    const int e = errno;
    close(in);
    errno = e;
    return false;
  }
  bool ok = true;
  char buf[1 << 16];
  for (;;) {
    const ssize_t n = read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || (n > 0 && !WriteAll(out, buf, size_t(n)))) ok = false;
    if (n <= 0) break;
  }
  int e = errno;
  ok = ok && fsync(out) == 0;
  if (!ok) e = errno;
  if (close(out) != 0 && ok) {
    ok = false;
    e = errno;
  }
  close(in);
  // The complete copy takes the target name only when that name is free.
  if (ok && !PlatformMoveFile(tmp, to)) {
    ok = false;
    e = errno;
  }
  if (!ok) {
    g_unlink(tmp.c_str());
    errno = e;
    return false;
  }
  if (g_unlink(from.c_str()) != 0)
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s copied but not removed: %s", from.c_str(), std::strerror(errno));
  return true;
}

bool CanvMonitorMove(const std::string& from, const std::string& to) {
  if (PlatformMoveFile(from, to)) return true;
  if (errno != EXDEV) return false;
  return CanvMonitorCopyMove(from, to);
}

gint CanvNameCompare(gconstpointer a, gconstpointer b) {
  return g_utf8_collate(static_cast<const char*>(a), static_cast<const char*>(b));
}

void CanvMonitorToggle(GtkWidget* widget, gpointer) {
  Canv* c = Canv_get;
  if (!c) return;
  bool on = !c->monitor;
  if (c->btn_monitor && widget != c->btn_monitor) {
    // The menu item works through the button, so the button always shows the state.
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(c->btn_monitor), on);
    return;
  }
  if (widget && widget == c->btn_monitor) on = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget));
  CanvMonitorState& s = c->monitor_state;
  if (on) {
    c->monitor = 1;
    if (!s.source) s.source = g_timeout_add_seconds(STEP_SECONDS, CanvMonitorStep, nullptr);
    if (c->spinner) {
      gtk_widget_show(c->spinner);
      gtk_spinner_start(GTK_SPINNER(c->spinner));
    }
  } else {
    c->monitor = 0;
    if (s.source) g_source_remove(s.source);
    s.source = 0;
    if (c->spinner) {
      gtk_spinner_stop(GTK_SPINNER(c->spinner));
      gtk_widget_hide(c->spinner);
    }
  }
}

gboolean CanvMonitorStep(gpointer) {
  Canv* c = Canv_get;
  Conf* conf = Conf_get;
  if (!c || !c->monitor || !conf || !App_get) {
    if (c) c->monitor_state.source = 0;
    return G_SOURCE_REMOVE;
  }
  if (conf->loader) return G_SOURCE_CONTINUE;  // the start-up loader owns the slot list for now
  CanvMonitorState& s = c->monitor_state;
  const std::string watch = Join(App_get->home, WATCH_DIR, {});
  const std::string target = Join(App_get->home, TARGET_DIR, {});
  CanvBusy(true);

  std::vector<std::string> times, late;
  if (GDir* dir = g_dir_open(watch.c_str(), 0, nullptr)) {
    while (const char* name = g_dir_read_name(dir)) {
      if (std::string t = EpilogueTime(name); !t.empty()) {
        times.push_back(t);
        continue;
      }
      // A file of a cycle already handled that arrived afterwards.
      const std::string n = name;
      if (n.size() == size_t(NAME_LENGTH) && Contains(s.done, n.substr(46, 12)) && !Contains(s.left, n) &&
          Contains(CanvMonitorCycleFiles(Chosen(), n.substr(46, 12)), n))
        late.push_back(n);
    }
    g_dir_close(dir);
  }
  std::sort(times.begin(), times.end());
  std::sort(late.begin(), late.end());

  std::vector<std::string> names;
  for (const std::string& f : late) {
    if (!MoveOne(f, watch, target, &s)) continue;
    const int ch = ChannelOf(f);
    const std::string t = f.substr(46, 12);
    if (ch == 0) continue;
    const std::string ref = Segment(ch, ch == HRV_ID ? 19 : 7, t);
    if (!Contains(names, ref)) names.push_back(ref);
  }
  for (const std::string& t : times) {
    if (Contains(s.done, t)) continue;
    const std::vector<std::string> files = CanvMonitorCycleFiles(Chosen(), t);
    const int present = int(std::count_if(files.begin(), files.end(),
                                          [&](const std::string& f) { return Exists(watch + "/" + f); }));
    if (present < int(files.size())) {
      // The epilogue came early: wait while the other files keep arriving.
      auto [it, fresh] = s.waiting.try_emplace(t, present, 0);
      if (!fresh) {
        if (it->second.first == present)
          it->second.second++;
        else
          it->second = {present, 0};
      }
      if (it->second.second < MONITOR_SETTLE_TICKS) continue;
      g_log(nullptr, G_LOG_LEVEL_WARNING, "Cycle %s incomplete: %d of %d files", t.c_str(), present,
            int(files.size()));
    }
    s.waiting.erase(t);
    s.done.push_back(t);
    HandleCycle(t, watch, target, &s, &names);
  }

  if (!names.empty()) {
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return CanvNameCompare(a.c_str(), b.c_str()) < 0; });
    names.erase(std::unique(names.begin(), names.end()), names.end());
    for (const std::string& name : names) {
      auto* info = new Layer{};
      info->name = name;
      GThread* thread = g_thread_new("Nubicorn", CanvMonitorLoad, info);
      if (Layer* loaded = static_cast<Layer*>(g_thread_join(thread))) {
        auto* d = new ShowData{loaded, 0};
        d->source = g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, CanvMonitorShow, d, ShowDataFree);
        s.idles.push_back(d->source);
      }
    }
    CanvStatus("");
  }
  CanvBusy(false);
  return G_SOURCE_CONTINUE;
}

gpointer CanvMonitorLoad(gpointer data) {
  Layer* info = static_cast<Layer*>(data);
  Conf* conf = Conf_get;
  g_mutex_lock(&conf->mutex);
  SuplTsanAcquire(&conf->mutex);
  const bool ok = InfoParseName(info) && CanvOpen(&info);
  if (!ok) {
    InfoDel(&info);
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s:%d", "canvmonitor", __LINE__);
  }
  SuplTsanRelease(&conf->mutex);
  g_mutex_unlock(&conf->mutex);
  return info;
}

gboolean CanvMonitorShow(gpointer data) {
  auto* d = static_cast<ShowData*>(data);
  Canv* c = Canv_get;
  Conf* conf = Conf_get;
  if (!c || !conf) return G_SOURCE_REMOVE;
  CanvGuard guard;
  if (!guard.ok()) return G_SOURCE_CONTINUE;
  auto& idles = c->monitor_state.idles;
  idles.erase(std::remove(idles.begin(), idles.end(), d->source), idles.end());
  Layer* layer = d->layer;
  d->layer = nullptr;
  const int id = layer->id;
  if (!layer->name.empty())
    CanvStatus(layer->name.c_str());
  else
    AppStatus(nullptr);
  InfoSlotInsert(&conf->slots, layer);
  // The range grows first, so the last slot's value is not clamped to the old one.
  CanvScaleMarkup();
  if (c->range) gtk_range_set_value(GTK_RANGE(c->range), double(g_list_length(conf->slots)) - 1);
  CanvTreeSelectId(id);
  CanvSlotChanged(nullptr, nullptr);
  CanvSensitive();
  return G_SOURCE_REMOVE;
}

void CanvMonitorShutdown() {
  Canv* c = Canv_get;
  if (!c) return;
  c->monitor = 0;
  CanvMonitorState& s = c->monitor_state;
  if (s.source) g_source_remove(s.source);
  s.source = 0;
  // Removing a pending display frees its layer through the destroy notify.
  const std::vector<guint> idles = std::move(s.idles);
  s.idles.clear();
  for (guint id : idles) g_source_remove(id);
}
