// Animation through the "Time slot" scale: one slot per step of the "animation-step-ms" setting.
#pragma once

#include <gtk/gtk.h>

// Starts the step timer (1 s by default) unless it runs; no step is taken at once.
void CanvAnimPlay(GtkWidget* widget, gpointer data);
// Stops the animation and removes its timer at once.
void CanvAnimStop(GtkWidget* widget, gpointer data);
// Scale to the first slot.
void CanvAnimRewind(GtkWidget* widget, gpointer data);
// Scale to the last slot.
void CanvAnimForward(GtkWidget* widget, gpointer data);
// Timer tick: the next slot, the first after the last. FALSE (timer ends) when stopped.
gboolean CanvAnimStep(gpointer data);
// The slot index after v of n slots: v + 1, or 0 past the last.
int CanvAnimNext(int v, int n);
