// The "Load DateTime slots" dialog.
#include "canvas/dlgdatetime.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/app.h"
#include "canvas/canv.h"
#include "data/gholder.h"
#include "canvas/canvfci.h"
#include "data/fci_view.h"
#include "data/layer.h"
#include "data/supl.h"
#include "settings/conf.h"
#include "settings/confwindow.h"

namespace {

constexpr const char* RECORD_KEY = "record";

GtkWidget* Combo(int count, int step) {
  GtkWidget* combo = gtk_combo_box_text_new();
  for (int i = 0; i < count; i++) {
    char text[8];
    g_snprintf(text, sizeof text, "%02d", i * step);
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(combo), text);
  }
  return combo;
}

void Attach(GtkWidget* grid, GtkWidget* w, int col, int row, int width = 1, int height = 1) {
  gtk_grid_attach(GTK_GRID(grid), w, col, row, width, height);
}

// Reads one end of the span; FALSE when a combo has no choice or the calendar no day.
bool ReadEnd(GtkWidget* cal, GtkWidget* hour, GtkWidget* min, int step, SlotTime* t) {
  guint y = 0, mo = 0, d = 0;
  gtk_calendar_get_date(GTK_CALENDAR(cal), &y, &mo, &d);
  const int h = gtk_combo_box_get_active(GTK_COMBO_BOX(hour));
  const int m = gtk_combo_box_get_active(GTK_COMBO_BOX(min));
  *t = SlotTime{};
  t->tm_year = int(y);
  t->tm_mon = int(mo);
  t->tm_mday = int(d);
  t->tm_hour = h;
  t->tm_min = step * m;
  return h >= 0 && h <= 23 && m >= 0 && m < 60 / step && y != 0 && d != 0;
}

// Days since a fixed origin of a Gregorian date (month 0-based).
long DayNumber(int year, int month, int day) {
  long n = 0;
  for (int y = 1970; y < year; y++) n += 365 + (SuplDaysInMonth(y, 1) == 29);
  for (int y = year; y < 1970; y++) n -= 365 + (SuplDaysInMonth(y, 1) == 29);
  for (int m = 0; m < month; m++) n += SuplDaysInMonth(year, m);
  return n + day - 1;
}

// Sorting, the scale and the view: after every load, also a refused or failed one, so that the
// slots already made can be reached.
void Refresh() {
  Conf* conf = Conf_get;
  conf->slots = g_list_sort(conf->slots, InfoSlotCompare);
  CanvScaleMarkup();  // widen first: a value above the old range would be clamped
  const guint n = g_list_length(conf->slots);
  if (n > 0) gtk_range_set_value(GTK_RANGE(Canv_get->range), n - 1);
  CanvSlotChanged(nullptr, nullptr);
  CanvSensitive();
}

// The slot text of the newest file in the input folder of the service's first segment that the
// view window needs, or "".
std::string NewestInput(const Sat& sat, const ConfRect& window) {
  if (!App_get) return {};
  GStr dir(g_build_filename(App_get->home.c_str(), "import", "SEVIRI_data", nullptr));
  GDir* d = g_dir_open(dir.get(), 0, nullptr);
  if (!d) return {};
  if (sat.service == SatService::Fci) {
    g_dir_close(d);
    return CanvFciNewest(dir.get());
  }
  const int segment = std::max(ConfWindowSegments(sat, window, false).first, 1);
  const std::string glob = SatNamePrefix(sat) + "??????___-0000" + (segment < 10 ? "0" : "") + std::to_string(segment) +
                           "___-????????????-C_";
  std::string newest;
  // HRIT names are fixed-width: the slot digits sit at the same place in every one.
  const size_t at = size_t(NAME_LENGTH) - 15;
  while (const char* name = g_dir_read_name(d)) {
    if (!g_pattern_match_simple(glob.c_str(), name) || std::strlen(name) != size_t(NAME_LENGTH)) continue;
    const std::string slot(name + at, 12);
    SlotTime t{};
    if (SuplParseDate(slot.c_str(), &t) && slot > newest) newest = slot;
  }
  g_dir_close(d);
  return newest;
}

// The refusal of a span whose counts cannot fit in the memory the system has available, or "".
// Each slot holds the counts of its channels; one display image is made for the shown layer
// and one while a channel loads.
std::string TooBig(const DlgDateTime* d, long count) {
  const Conf* conf = Conf_get;
  double need = 0;
  if (d->fci) {
    bool channels[FCI_LAYER_COUNT];
    for (int c = 0; c < FCI_LAYER_COUNT; c++)
      channels[c] = gtk_toggle_tool_button_get_active(GTK_TOGGLE_TOOL_BUTTON(d->fci_buttons[c]));
    int32_t window[4];
    CanvFciWindow(window);
    const int w = std::min(window[2], FCI_GRID_2KM - window[0]), h = std::min(window[3], FCI_GRID_2KM - window[1]);
    // One display image of 1 km pixels (4 a window pixel, 3 bytes each, and its copy).
    need = double(count) * double(DlgDateTimeFciSlotBytes(channels, w, h)) +
           2.0 * 12.0 * std::max(w, 0) * std::max(h, 0);
  } else {
    bool channels[CHANNEL_COUNT];
    for (int c = 0; c < CHANNEL_COUNT; c++)
      channels[c] = gtk_toggle_tool_button_get_active(GTK_TOGGLE_TOOL_BUTTON(d->channel_buttons[c]));
    // The window as the loader shrinks it to the disk.
    const int w = std::min(conf->rect_width, CONF_GRID - conf->rect_x);
    const int h = std::min(conf->rect_height, CONF_GRID - conf->rect_y);
    need = double(count) * double(DlgDateTimeSlotBytes(channels, w, h)) +
                        2.0 * 27.0 * std::max(w, 0) * std::max(h, 0);
  }
  gchar* text = nullptr;
  if (!g_file_get_contents("/proc/meminfo", &text, nullptr, nullptr)) return {};
  const long long available = DlgDateTimeMemAvailable(text);
  g_free(text);
  if (available < 0 || need <= double(available)) return {};
  GStr a(g_format_size(guint64(need)));
  GStr b(g_format_size(guint64(available)));
  GStr msg(
      g_strdup_printf("Not enough memory for %ld time slots of these channels: about %s needed, %s available", count,
                      a.get(), b.get()));
  return msg.get();
}

// "IR 10.8 of 2016-07-04 12:00 needs segments 3 to 4: NAME not in import/SEVIRI_data" for
// the first segment the view window needs of channel c and slot t that is missing, or "".
std::string Missing(int c, const std::string& t) {
  const Conf* conf = Conf_get;
  if (!App_get) return {};
  const ConfRect window{conf->rect_x, conf->rect_y, conf->rect_width, conf->rect_height};
  const std::vector<std::string> files = ConfWindowFiles(conf->satellite, window, c, t);
  for (const std::string& f : files) {
    GStr path(g_build_filename(App_get->home.c_str(), "import", "SEVIRI_data", f.c_str(), nullptr));
    if (g_file_test(path.get(), G_FILE_TEST_IS_REGULAR)) continue;
    const std::string when = t.substr(0, 4) + "-" + t.substr(4, 2) + "-" + t.substr(6, 2) + " " + t.substr(8, 2) + ":" +
                             t.substr(10, 2);
    return std::string(InfoChannelLabel[c]) + " of " + when + " needs " +
           ConfSegmentText(ConfWindowSegments(conf->satellite, window, c == HRV_ID)) + ": " + f +
           " not in import/SEVIRI_data";
  }
  return {};
}

}  // namespace

size_t DlgDateTimeSlotBytes(const bool channels[CHANNEL_COUNT], int width, int height) {
  const size_t pixels = size_t(std::max(width, 0)) * size_t(std::max(height, 0));
  size_t bytes = sizeof(Layer) + SLOT_SIZE * sizeof(Layer*);
  for (int c = 1; c <= CHANNEL_COUNT; c++)
    if (channels[c - 1]) bytes += sizeof(Layer) + 2 * pixels * (c == HRV_ID ? 9 : 1);
  return bytes;
}

size_t DlgDateTimeFciSlotBytes(const bool channels[FCI_LAYER_COUNT], int width, int height) {
  const size_t pixels = size_t(std::max(width, 0)) * size_t(std::max(height, 0));
  size_t bytes = sizeof(Layer) + SLOT_SIZE * sizeof(Layer*);
  for (int c = 0; c < FCI_LAYER_COUNT; c++)
    if (channels[c]) bytes += sizeof(Layer) + 6 * pixels * (FciChannels[c].grid == FCI_GRID_1KM ? 4 : 1);
  return bytes;
}

std::vector<int> DlgDateTimeChosen(const DlgDateTime* d) {
  std::vector<int> ids;
  for (int c = 0; d->fci && c < FCI_LAYER_COUNT; c++)
    if (gtk_toggle_tool_button_get_active(GTK_TOGGLE_TOOL_BUTTON(d->fci_buttons[c]))) ids.push_back(FCI_LAYER_FIRST + c);
  for (int c = 1; !d->fci && c <= CHANNEL_COUNT; c++)
    if (gtk_toggle_tool_button_get_active(GTK_TOGGLE_TOOL_BUTTON(d->channel_buttons[c - 1]))) ids.push_back(c);
  return ids;
}

long long DlgDateTimeMemAvailable(const std::string& meminfo) {
  const size_t at = meminfo.find("MemAvailable:");
  if (at == std::string::npos) return -1;
  char* end = nullptr;
  const long long kb = std::strtoll(meminfo.c_str() + at + 13, &end, 10);
  if (end == meminfo.c_str() + at + 13 || kb < 0) return -1;
  return kb * 1024;
}

bool DlgDateTimeDefault(SlotTime* t) {
  const Conf* conf = Conf_get;
  if (!conf) return false;
  if (conf->last_date.tm_mday != 0) {
    *t = conf->last_date;
    return true;
  }
  // While the start-up loader fills the list it is not read without the lock; the input
  // folder still tells.
  if (const Slot* slot = conf->loader ? nullptr : CanvCurrentSlot())
    for (int i = SLOT_SIZE - 1; i >= 0; i--)
      if (slot[i]) {
        *t = slot[i]->time;
        return true;
      }
  const std::string newest =
      NewestInput(conf->satellite, ConfRect{conf->rect_x, conf->rect_y, conf->rect_width, conf->rect_height});
  return !newest.empty() && SuplParseDate(newest.c_str(), t);
}

long DlgDateTimeCount(const SlotTime& from, const SlotTime& to, int step) {
  const int per_hour = 60 / step;
  auto index = [&](const SlotTime& t) {
    return (DayNumber(t.tm_year, t.tm_mon, t.tm_mday) * 24 + t.tm_hour) * per_hour + t.tm_min / step;
  };
  const long n = index(to) - index(from) + 1;
  return n > 0 ? n : 0;
}

void DlgDateTimeNext(SlotTime* t, int step) {
  t->tm_min += step;
  if (t->tm_min < 60) return;
  t->tm_min -= 60;
  if (++t->tm_hour < 24) return;
  t->tm_hour = 0;
  if (++t->tm_mday <= SuplDaysInMonth(t->tm_year, t->tm_mon)) return;
  t->tm_mday = 1;
  if (++t->tm_mon < 12) return;
  t->tm_mon = 0;
  t->tm_year++;
}

DlgDateTime* DlgDateTimeGet(GtkWidget* dialog) {
  return dialog ? static_cast<DlgDateTime*>(g_object_get_data(G_OBJECT(dialog), RECORD_KEY)) : nullptr;
}

GtkWidget* DlgDateTimeNew() {
  if (!App_get || !App_get->window || !Conf_get) return nullptr;
  auto* d = new DlgDateTime{};
  d->step = SatSlotMinutes(Conf_get->satellite);
  GtkWidget* grid = gtk_grid_new();
  gtk_grid_set_column_spacing(GTK_GRID(grid), 4);
  gtk_grid_set_row_spacing(GTK_GRID(grid), 4);
  d->cal_from = gtk_calendar_new();
  d->cal_to = gtk_calendar_new();
  for (GtkWidget* cal : {d->cal_from, d->cal_to})
    gtk_calendar_set_display_options(GTK_CALENDAR(cal), GTK_CALENDAR_SHOW_HEADING);
  Attach(grid, d->cal_from, 0, 0, 4, 4);
  Attach(grid, d->cal_to, 4, 0, 4, 4);

  d->hour_from = Combo(24, 1);
  d->hour_to = Combo(24, 1);
  d->min_from = Combo(60 / d->step, d->step);
  d->min_to = Combo(60 / d->step, d->step);
  GtkWidget* row[8] = {gtk_label_new("hour:"), d->hour_from, gtk_label_new("min:"), d->min_from,
                       gtk_label_new("hour:"), d->hour_to,   gtk_label_new("min:"), d->min_to};
  for (int i = 0; i < 8; i++) Attach(grid, row[i], i, 4);

  d->fci = Conf_get->satellite.service == SatService::Fci;
  // FCI's 16 channels in two rows of eight: the 1 km and the 2 km ones.
  const int buttons = d->fci ? FCI_LAYER_COUNT : CHANNEL_COUNT, per_row = d->fci ? 8 : CHANNEL_COUNT;
  GtkWidget* toolbar = nullptr;
  for (int i = 0; i < buttons; i++) {
    if (i % per_row == 0) {
      toolbar = gtk_toolbar_new();
      gtk_toolbar_set_style(GTK_TOOLBAR(toolbar), GTK_TOOLBAR_TEXT);
      Attach(grid, toolbar, 0, 5 + i / per_row, 8, 1);
    }
    GtkToolItem* b = gtk_toggle_tool_button_new();
    gtk_tool_button_set_label(GTK_TOOL_BUTTON(b), d->fci ? InfoFciLabel[i] : InfoChannelLabel[i + 1]);
    gtk_tool_item_set_homogeneous(b, FALSE);
    gtk_toolbar_insert(GTK_TOOLBAR(toolbar), b, -1);
    (d->fci ? d->fci_buttons : d->channel_buttons)[i] = GTK_WIDGET(b);
  }

  SlotTime last{};
  if (DlgDateTimeDefault(&last)) {
    for (GtkWidget* cal : {d->cal_from, d->cal_to}) {
      gtk_calendar_select_month(GTK_CALENDAR(cal), guint(last.tm_mon), guint(last.tm_year));
      gtk_calendar_select_day(GTK_CALENDAR(cal), guint(last.tm_mday));
    }
    for (GtkWidget* h : {d->hour_from, d->hour_to}) gtk_combo_box_set_active(GTK_COMBO_BOX(h), last.tm_hour);
    for (GtkWidget* m : {d->min_from, d->min_to}) gtk_combo_box_set_active(GTK_COMBO_BOX(m), last.tm_min / d->step);
  }

  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  GtkWidget* dialog = gtk_dialog_new_with_buttons("Load DateTime slots", GTK_WINDOW(App_get->window),
                                                  GTK_DIALOG_MODAL, "gtk-ok", GTK_RESPONSE_OK, "gtk-cancel",
                                                  GTK_RESPONSE_CANCEL, nullptr);
  G_GNUC_END_IGNORE_DEPRECATIONS
  if (App_get->icon) gtk_window_set_icon(GTK_WINDOW(dialog), App_get->icon.get());
  g_object_set_data_full(G_OBJECT(dialog), RECORD_KEY, d, [](gpointer p) { delete static_cast<DlgDateTime*>(p); });
  GtkWidget* area = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
  gtk_box_pack_start(GTK_BOX(area), grid, TRUE, TRUE, 20);
  GtkWidget* ok = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  g_signal_connect(ok, "clicked", G_CALLBACK(DlgDateTimeLoad), d);
  gtk_widget_show_all(grid);
  return dialog;
}

void DlgDateTimeLoad(GtkWidget*, gpointer record) {
  auto* d = static_cast<DlgDateTime*>(record);
  Conf* conf = Conf_get;
  if (!d || !conf) return;
  CanvCommand command;
  CanvGuard guard;  // the start-up loader fills the same list
  if (!guard.ok()) return;
  SlotTime from{}, to{};
  const bool valid_from = ReadEnd(d->cal_from, d->hour_from, d->min_from, d->step, &from);
  const bool valid_to = ReadEnd(d->cal_to, d->hour_to, d->min_to, d->step, &to);
  CanvBusy(true);
  const long count = valid_from && valid_to ? DlgDateTimeCount(from, to, d->step) : 0;
  bool succeeded = false;
  if (valid_from && valid_to && count == 0) {
    CanvFailure("The end of the span is before its start");
  } else if (count > DLG_DATETIME_MAX_SLOTS) {
    GStr text(g_strdup_printf("Too many time slots: %ld (at most %ld)", count, DLG_DATETIME_MAX_SLOTS));
    CanvFailure(text.get());
  } else if (const std::string need = TooBig(d, count); !need.empty()) {
    CanvFailure(need.c_str());
  } else {
    if (count > 0) CanvSlotsKeepService(conf->satellite);
    SlotTime t = from;
    bool failed = false;
    for (long i = 0; i < count && !failed; i++, DlgDateTimeNext(&t, d->step)) {
      const std::string text = InfoSlotText(t);
      // The header alone makes the slot, so an empty one still shows on the scale.
      auto header = std::make_unique<Layer>();
      if (!SuplParseDate(text.c_str(), &header->time)) header->time = t;
      header->slot = InfoSlotText(header->time);
      header->name = SatNamePrefix(conf->satellite);  // names the service of a slot left empty
      if (!g_list_find_custom(conf->slots, header.get(), InfoSlotFindTime)) {
        Slot* slot = InfoSlotNew();
        slot[0] = header.release();
        conf->slots = g_list_append(conf->slots, slot);
      }
      for (int c : DlgDateTimeChosen(d)) {
        Layer* info = InfoNew(c, text.c_str(), nullptr, &conf->satellite);
        if (!CanvOpen(&info)) {
          g_log(nullptr, G_LOG_LEVEL_WARNING, "dlgdatetime: %s of %s cannot be opened", InfoChannelText[c],
                text.c_str());
          if (const std::string missing = Missing(c, text); !missing.empty()) CanvFailure(missing.c_str());
          CanvFailure("Operation failed");
          failed = true;
          break;
        }
        // The counts stay; the display image is made again when the layer is shown.
        CanvLayerDrop(info);
        InfoSlotInsert(&conf->slots, info);
      }
    }
    succeeded = !failed && count > 0;
  }
  Refresh();
  if (succeeded) CanvSucceeded();
  CanvBusy(false);
}
