// The working-directory monitor: complete repeat cycles arriving in import/mnt are moved into
// import/SEVIRI_data and their channels loaded and shown. The timer runs on the main loop; the
// looking, moving and loading of a tick run on a worker thread, whose result the main loop
// puts into the slot list.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "data/satellite.h"

struct Conf;

// Ticks a cycle whose epilogue has arrived may wait, with no file of it growing or appearing,
// before it is handled with the complete files it has.
inline constexpr int MONITOR_SETTLE_TICKS = 2;

// The files of slot time t (YYYYMMDDhhmm) a cycle of sat is complete with for the view window
// (x, y, width, height): the segments of each channel the window needs (ConfWindowSegments,
// channels 1..11 then HRV), the prologue, the epilogue.
std::vector<std::string> CanvMonitorCycleFiles(const Sat& sat, const std::string& t, const int32_t window[4]);
// Every file of the cycle that the monitor moves once the cycle is complete, in that order:
// all the segments the service sends (1..8 and HRV 1..24; rapid scan 6..8 and HRV 16..24),
// the prologue, the epilogue. The whole cycle goes to import/SEVIRI_data, so a window moved
// later finds its segments there. Without sat: MSG3's full disk.
std::vector<std::string> CanvMonitorCycleFiles(const Sat& sat, const std::string& t);
std::vector<std::string> CanvMonitorCycleFiles(const std::string& t);
// TRUE when path is a regular file at least as long as its HRIT primary header says (header
// length plus data field). Never blocks: special files are not opened for reading.
bool CanvMonitorComplete(const std::string& path);
// Moves the regular file from to to without ever replacing to; across file systems it copies
// to a temporary name beside to, syncs, checks that the copy has every byte the source has
// (and that the source did not change meanwhile), publishes it, and only then removes from.
// FALSE (from as it was, to untouched, errno set) on failure.
bool CanvMonitorMove(const std::string& from, const std::string& to);
// The copy half of a move across file systems (also used when rename reports EXDEV).
bool CanvMonitorCopyMove(const std::string& from, const std::string& to);

// Slots the monitor keeps: the "max-slots" setting, or one day of the chosen service.
int CanvMonitorMaxSlots(const Conf& conf);

// Menu item and btn_monitor: switches the monitor on (timer, spinner) or off (timer removed).
void CanvMonitorToggle(GtkWidget* widget, gpointer data);
// One tick: starts a worker that looks into import/mnt and moves and loads the cycles that are
// complete (none while the last one still works). FALSE (timer ends) when the monitor is off.
gboolean CanvMonitorStep(gpointer data);
// TRUE while a tick's worker runs or its result waits for the main loop.
bool CanvMonitorBusy();
// Sort order of the names to load.
gint CanvNameCompare(gconstpointer a, gconstpointer b);
// Monitor off, its timer removed, a running worker stopped and its result dropped (the window
// is going away).
void CanvMonitorShutdown();
