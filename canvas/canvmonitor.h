// The working-directory monitor: complete repeat cycles arriving in import/mnt are moved into
// import/SEVIRI_data and their channels loaded and shown.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "data/satellite.h"

struct Layer;

// Ticks a cycle whose epilogue has arrived may wait, with no new file of it appearing, before
// it is handled with the files it has.
inline constexpr int MONITOR_SETTLE_TICKS = 2;

// The files of slot time t (YYYYMMDDhhmm) that a complete cycle of sat has, in the order they
// are moved: segments SatFirstSegment..8 of channels 1..11 (7 and 8 full disk, 6 to 8 rapid
// scan), HRV segments 19..24, the prologue, the epilogue. Without sat: MSG3's full disk.
std::vector<std::string> CanvMonitorCycleFiles(const Sat& sat, const std::string& t);
std::vector<std::string> CanvMonitorCycleFiles(const std::string& t);
// Moves from to to without ever replacing to; across file systems it copies, syncs, and only
// then removes from. FALSE (both files as they were, errno set) on failure.
bool CanvMonitorMove(const std::string& from, const std::string& to);
// The copy half of a move across file systems (also used when rename reports EXDEV).
bool CanvMonitorCopyMove(const std::string& from, const std::string& to);

// Menu item and btn_monitor: switches the monitor on (timer, spinner) or off (timer removed).
void CanvMonitorToggle(GtkWidget* widget, gpointer data);
// One look into import/mnt: moves and loads the cycles that are complete. FALSE (timer ends)
// when the monitor is off.
gboolean CanvMonitorStep(gpointer data);
// Thread body: parses and loads the channel layer (a Layer*) under Conf.mutex; returns the
// loaded layer, or NULL after freeing it with the warning "%s:%d".
gpointer CanvMonitorLoad(gpointer layer);
// Idle on the main thread: inserts a loaded layer into its slot and shows it. FALSE.
gboolean CanvMonitorShow(gpointer data);
// Sort order of the names to load.
gint CanvNameCompare(gconstpointer a, gconstpointer b);
// Monitor off and its timer and pending displays removed (the window is going away).
void CanvMonitorShutdown();
