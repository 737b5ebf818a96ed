// The "Load DateTime slots" dialog: a span of slots (every 15 minutes, every 5 for the Rapid
// Scan Service) and the channels to load.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "data/fileinfo.h"

// More slots than a week of repeat cycles are refused: each holds up to 12 channel images.
inline constexpr long DLG_DATETIME_MAX_SLOTS = 7 * 96;

struct DlgDateTime {
  GtkWidget* cal_from = nullptr;
  GtkWidget* cal_to = nullptr;
  GtkWidget* hour_from = nullptr;
  GtkWidget* hour_to = nullptr;
  GtkWidget* min_from = nullptr;
  GtkWidget* min_to = nullptr;
  GtkWidget* unused = nullptr;
  GtkWidget* channel_buttons[CHANNEL_COUNT] = {};  // MSG's channels, or NULL when fci
  GtkWidget* fci_buttons[FCI_LAYER_COUNT] = {};     // FCI's channels when fci
  bool fci = false;  // the satellite configured when the dialog was made is FCI
  int step = 15;  // minutes between slots, of the satellite configured when the dialog was made
};

// The dialog (modal, over the main window), its record kept as its "record" data and freed with
// it. NULL when there is no main window.
GtkWidget* DlgDateTimeNew();
// The record of a dialog made by DlgDateTimeNew.
DlgDateTime* DlgDateTimeGet(GtkWidget* dialog);
// OK: makes a slot for every step of the span and loads the toggled channels into it,
// then sorts the slots and shows the last one. A span ending before its start, longer than
// DLG_DATETIME_MAX_SLOTS, or whose counts would not fit in the available memory is refused
// with a status message before anything is made. Slots of another satellite service go first.
void DlgDateTimeLoad(GtkWidget* button, gpointer record);

// The date and time both ends of the span start at: the stored last date, else the shown slot,
// else the newest slot of the configured service in import/SEVIRI_data. False when none is
// known (the calendars then show today and no hour is chosen).
bool DlgDateTimeDefault(SlotTime* t);

// Bytes one slot holds with the channels toggled (entry c - 1 for channel c) for a view window of
// width x height pixels: their counts, HRV's on its grid three times finer, and the records.
size_t DlgDateTimeSlotBytes(const bool channels[CHANNEL_COUNT], int width, int height);
// The same for FCI channels (entry i for FciChannels[i]) on a 2 km window of width x height:
// counts (2 bytes) and values (4 bytes) of each, the 1 km channels four times as many.
size_t DlgDateTimeFciSlotBytes(const bool channels[FCI_LAYER_COUNT], int width, int height);
// The layer ids whose channel buttons are down, in the order of the buttons.
std::vector<int> DlgDateTimeChosen(const DlgDateTime* d);
// MemAvailable of a /proc/meminfo text in bytes; -1 when the text has none.
long long DlgDateTimeMemAvailable(const std::string& meminfo);

// Slots of `step` minutes (a divisor of 60) from `from` to `to` inclusive (0 when `to` is
// earlier). Fields as in SlotTime.
long DlgDateTimeCount(const SlotTime& from, const SlotTime& to, int step = 15);
// Moves t `step` minutes on, across hours, days, months (Gregorian lengths) and years.
void DlgDateTimeNext(SlotTime* t, int step = 15);
