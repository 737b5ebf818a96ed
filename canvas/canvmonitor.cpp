// The working-directory monitor on the main loop: the switch, the timer that starts a tick's
// worker, and the hand-over of the worker's layers into the slot list.
#include "canvas/canvmonitor.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "app/app.h"
#include "canvas/canv.h"
#include "canvas/canvfci.h"
#include "canvas/canvmonitorjob.h"
#include "data/gholder.h"
#include "data/supltsan.h"
#include "settings/conf.h"

namespace {

constexpr const char* WATCH_DIR = "import/mnt";
constexpr const char* TARGET_DIR = "import/SEVIRI_data";
constexpr guint STEP_SECONDS = 3;
constexpr guint RETRY_MS = 200;  // a result waits this long while the start-up loader runs

std::string Join(const std::string& a, const char* b) {
  GStr p(g_build_filename(a.c_str(), b, nullptr));
  return p.get();
}

int RangeIndex(const Canv& c) {
  return c.range ? int(std::floor(gtk_range_get_value(GTK_RANGE(c.range)))) : 0;
}

std::string Joined(const std::vector<std::string>& messages) {
  std::string out;
  for (const std::string& m : messages) out += (out.empty() ? "" : "; ") + m;
  return out;
}

// Puts the job's layers into their slots. The user stays in charge of what is shown: one who
// looks at the newest slot follows the arrivals with the same layer, one who looks at an older
// slot stays there; only when nothing is shown yet does the last layer loaded appear.
void Show(CanvMonitorJob* job, Canv* c, Conf* conf) {
  const guint before = g_list_length(conf->slots);
  const bool following = before == 0 || RangeIndex(*c) >= int(before) - 1;
  Slot* current = static_cast<Slot*>(g_list_nth_data(conf->slots, guint(std::max(RangeIndex(*c), 0))));
  const int shown = CanvTreeGetId();
  Slot* newest = nullptr;
  bool current_changed = false;
  int last_id = 0;
  for (auto& layer : job->layers) {
    last_id = layer->id;
    GList* link = nullptr;
    InfoSlotInsert(&conf->slots, layer.release(), &link);
    if (!link) continue;
    auto* slot = static_cast<Slot*>(link->data);
    current_changed = current_changed || slot == current;
    if (!newest || InfoSlotCompare(slot, newest) > 0) newest = slot;
  }
  job->layers.clear();
  const bool move = following && newest && newest != current &&
                    (!current || InfoSlotCompare(newest, current) > 0);
  Slot* keep = move ? newest : current;
  InfoSlotTrim(&conf->slots, guint(CanvMonitorMaxSlots(*conf)), keep);
  // The range grows first, so the value is not clamped to the old one.
  CanvScaleMarkup();
  const gint index = keep ? g_list_index(conf->slots, keep) : -1;
  if (index >= 0 && c->range) gtk_range_set_value(GTK_RANGE(c->range), index);
  if (move || current_changed) {
    if (shown <= 0 && last_id > 0) CanvTreeSelectId(last_id);
    CanvSlotChanged(nullptr, nullptr);
  }
  CanvSensitive();
}

}  // namespace

void CanvMonitorJobFree::operator()(CanvMonitorJob* job) const { std::default_delete<CanvMonitorJob>()(job); }

int CanvMonitorMaxSlots(const Conf& conf) {
  if (conf.max_slots > 0) return conf.max_slots;
  return 24 * 60 / SatSlotMinutes(conf.satellite);
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
  CanvMonitorState& s = c->monitor_state;
  // The start-up loader owns the slot list for now; a tick still at work is not doubled.
  if (conf->loader || s.job) return G_SOURCE_CONTINUE;
  s.job.reset(std::make_unique<CanvMonitorJob>().release());
  CanvMonitorJob* job = s.job.get();
  job->watch = Join(App_get->home, WATCH_DIR);
  job->target = Join(App_get->home, TARGET_DIR);
  job->sat = conf->satellite;
  job->window[0] = conf->rect_x;
  job->window[1] = conf->rect_y;
  job->window[2] = conf->rect_width;
  job->window[3] = conf->rect_height;
  job->east = conf->hrv_east;
  if (job->sat.service == SatService::Fci) job->fci_ids = CanvFciWanted(CanvTreeGetId());
  job->book = std::move(s.book);
  s.book = {};
  SuplTsanRelease(job);
  job->thread = g_thread_new("Nubicorn", CanvMonitorWork, job);
  return G_SOURCE_CONTINUE;
}

gboolean CanvMonitorDeliver(gpointer data) {
  auto* job = static_cast<CanvMonitorJob*>(data);
  SuplTsanAcquire(job);
  Canv* c = Canv_get;
  Conf* conf = Conf_get;
  if (!c || !conf || c->monitor_state.job.get() != job) return G_SOURCE_REMOVE;
  if (conf->loader) {
    // The start-up loader holds the slot list: try again shortly, without spinning.
    g_timeout_add(RETRY_MS, CanvMonitorDeliver, job);
    return G_SOURCE_REMOVE;
  }
  g_thread_join(job->thread);
  job->thread = nullptr;
  std::unique_ptr<CanvMonitorJob, CanvMonitorJobFree> owned = std::move(c->monitor_state.job);
  c->monitor_state.book = std::move(job->book);
  const bool loaded = !job->layers.empty();
  if (loaded) Show(job, c, conf);
  if (job->load_failed) job->messages.push_back("Input data error");
  if (!job->messages.empty())
    CanvStatus(Joined(job->messages).c_str());
  else if (loaded)
    CanvStatus("");
  return G_SOURCE_REMOVE;
}

bool CanvMonitorBusy() { return Canv_get && Canv_get->monitor_state.job; }

void CanvMonitorShutdown() {
  Canv* c = Canv_get;
  if (!c) return;
  c->monitor = 0;
  CanvMonitorState& s = c->monitor_state;
  if (s.source) g_source_remove(s.source);
  s.source = 0;
  if (CanvMonitorJob* job = s.job.get()) {
    // The worker stops between two files; its layers go with the job.
    job->cancel = true;
    if (job->thread) g_thread_join(job->thread);
    job->thread = nullptr;
    while (g_source_remove_by_user_data(job)) {
    }
    s.job.reset();
  }
}
