// Animation through the "Time slot" scale.
#include "canvas/canvanim.h"

#include <algorithm>
#include <cmath>

#include "canvas/canv.h"
#include "settings/conf.h"

namespace {

int SlotCount() { return Conf_get ? int(g_list_length(Conf_get->slots)) : 0; }

void SetSlot(int v) {
  Canv* c = Canv_get;
  if (!c || !c->range) return;
  gtk_range_set_value(GTK_RANGE(c->range), v);
  // Stepping is a settled choice: show it now rather than after the scale's drag delay.
  if (c->slot_source) {
    g_source_remove(c->slot_source);
    c->slot_source = 0;
  }
  CanvSlotChanged(nullptr, nullptr);
}

}  // namespace

int CanvAnimNext(int v, int n) { return v > n - 2 ? 0 : v + 1; }

void CanvAnimPlay(GtkWidget*, gpointer) {
  Canv* c = Canv_get;
  if (!c || c->play) return;
  c->play = 1;
  const int ms = Conf_get ? Conf_get->anim_ms : CONF_ANIM_MS;
  // Whole seconds keep the coarse timer that lets the system batch wake-ups.
  c->play_source = ms % 1000 == 0 ? g_timeout_add_seconds(guint(ms / 1000), CanvAnimStep, nullptr)
                                  : g_timeout_add(guint(ms), CanvAnimStep, nullptr);
}

void CanvAnimStop(GtkWidget*, gpointer) {
  Canv* c = Canv_get;
  if (!c) return;
  c->play = 0;
  // Removed now: a Play within the next second must not find the old timer still running.
  if (c->play_source) g_source_remove(c->play_source);
  c->play_source = 0;
}

gboolean CanvAnimStep(gpointer) {
  Canv* c = Canv_get;
  if (!c || !c->play || !c->range) {
    if (c) c->play_source = 0;
    return G_SOURCE_REMOVE;
  }
  const int v = int(std::floor(gtk_range_get_value(GTK_RANGE(c->range))));
  SetSlot(CanvAnimNext(v, SlotCount()));
  return G_SOURCE_CONTINUE;
}

void CanvAnimRewind(GtkWidget*, gpointer) { SetSlot(0); }

void CanvAnimForward(GtkWidget*, gpointer) { SetSlot(std::max(0, SlotCount() - 1)); }
