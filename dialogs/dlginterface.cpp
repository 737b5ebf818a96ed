// The "Interface" page: the view window for the next start, the selection colour and range,
// the contour font, character set and label field, and the view to restore at start.
//
// The rectangle edited here is a pending copy (Conf.rect_next): channel loading, export and
// contours of this run keep reading the rectangle the program started with, so a size
// changed without a restart can never mix images of two sizes.
//
// The centre in degrees is that seen from the chosen satellite's service: 0° for the full
// disk, 9.5° E for the Rapid Scan Service, 45.5° E for the Indian Ocean service. The choice
// itself acts at once (names of files opened from now on, the monitor, open by date) and is
// saved with the page. The window may lie anywhere on the disk the service sends: a window
// the rapid scan service cannot fill, and that service with such a window, are refused here.
#include <cmath>
#include <memory>
#include <string>

#include "app/app.h"
#include "canvas/canvmonitor.h"
#include "data/gholder.h"
#include "dialogs/dlg.h"
#include "dialogs/dlgrect.h"
#include "dialogs/places.h"
#include "data/geo.h"
#include "settings/confrules.h"
#include "settings/confwindow.h"

namespace {

// The character sets of shapefile attribute tables, in "charset" order.
constexpr const char* CHARSETS[] = {"windows-1251", "UTF-8", "ISO-8859-1"};

// Sub-satellite longitude of the chosen service.
double Longitude() { return SatNominalLongitude(Conf_get->satellite); }

ConfRect Pending() {
  const Conf* c = Conf_get;
  return c->rect_next.value_or(ConfRect{c->rect_x, c->rect_y, c->rect_width, c->rect_height});
}

void SetLabel(GtkWidget* label, const char* format, int value) {
  GStr text(g_strdup_printf(format, value));
  gtk_label_set_text(GTK_LABEL(label), text.get());
}

void ShowRect(DlgInterface* s, const ConfRect& r) {
  SetLabel(s->x_label, "%d", r.x);
  SetLabel(s->y_label, "%d", r.y);
}

// Puts a spin button back to a value without running the page's reaction.
void Restore(DlgInterface* s, GtkWidget* spin, double value) {
  s->restoring = true;
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(spin), value);
  s->restoring = false;
}

void StatusFault(DlgRectFault f) {
  if (f == DlgRectFault::kOffDisk) {
    AppStatus("The centre is off the Earth's disk: the window is left as it was");
    return;
  }
  GStr text(g_strdup_printf("The window would leave the disk (x 0 to %d, y 0 to %d): it is left as it was",
                            CONF_AREA_COLUMNS, CONF_AREA_LINES));
  AppStatus(text.get());
}

// TRUE when r, found with fault f, can be the next window; else the status bar says why.
bool Usable(DlgRectFault f, const ConfRect& r) {
  if (f == DlgRectFault::kNone) f = DlgRectCheck(r);
  if (f != DlgRectFault::kNone) {
    StatusFault(f);
    return false;
  }
  const std::string fault = ConfWindowFault(Conf_get->satellite, r);
  if (!fault.empty()) AppStatus(fault.c_str());
  return fault.empty();
}

// An edit the next Save of the dialog writes, whichever page is shown then.
void Edited() { Conf_get->unsaved |= CONF_SAVE_INTERFACE; }

void OnColorSet(GtkColorButton* button, gpointer) {
  GdkRGBA rgba{};
  gtk_color_chooser_get_rgba(GTK_COLOR_CHOOSER(button), &rgba);
  GdkColor& c = Conf_get->selected_color;
  c.red = guint16(std::lround(rgba.red * 65535));
  c.green = guint16(std::lround(rgba.green * 65535));
  c.blue = guint16(std::lround(rgba.blue * 65535));
  // The main window's selection tools follow: its colour button and the hue in degrees.
  if (Canv_get && Canv_get->sel_color) gtk_color_chooser_set_rgba(GTK_COLOR_CHOOSER(Canv_get->sel_color), &rgba);
  if (Canv_get && Canv_get->sel_hue) {
    double h = 0, sat = 0, v = 0;
    gtk_rgb_to_hsv(c.red / 65536.0, c.green / 65536.0, c.blue / 65536.0, &h, &sat, &v);
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(Canv_get->sel_hue), h * 360);
  }
  Edited();
}

void OnRange(GtkSpinButton* spin, gpointer) {
  const gint32 range = gint32(gtk_spin_button_get_value(spin));
  // The toolbar's spin button stops at 90 and its own handler stores what it shows; the
  // page's value (up to 180) is stored after it, so the setting is the one typed here.
  if (Canv_get && Canv_get->sel_range)
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(Canv_get->sel_range), range);
  Conf_get->selected_range = range;
  Edited();
}

void OnFont(GtkFontButton* button, gpointer) {
  GStr font(gtk_font_chooser_get_font(GTK_FONT_CHOOSER(button)));
  if (font) Conf_get->canvas_font = font.get();
  Edited();
}

void OnCharset(GtkComboBox* combo, gpointer) {
  const int i = gtk_combo_box_get_active(combo);
  if (i >= 0) Conf_get->charset = guint32(i);
  Edited();
}

constexpr const char* FIELD_FAULT = "a field name has 1 to 10 characters of one byte each";

void OnField(GtkEntry* entry, gpointer) {
  const char* text = gtk_entry_get_text(entry);
  if (!ConfFieldValid(text)) {
    GStr message(g_strdup_printf("%c%s: it is left as it was", g_ascii_toupper(FIELD_FAULT[0]), FIELD_FAULT + 1));
    AppStatus(message.get());
    return;
  }
  if (Conf_get->field_name == text) return;
  Conf_get->field_name = text;
  Edited();
}

void OnEast(GtkSpinButton* spin, gpointer data) {
  auto* s = static_cast<DlgInterface*>(data);
  if (s->restoring) return;
  const double lon = gtk_spin_button_get_value(spin);
  if (lon == s->lon) return;  // a refused value put back
  ConfRect moved;
  const DlgRectFault f = DlgRectAtCentre(Pending(), s->lat, lon, true, &moved, Longitude());
  if (!Usable(f, moved)) {
    Restore(s, s->east, s->lon);
    return;
  }
  s->lon = lon;
  Conf_get->rect_next = moved;
  ShowRect(s, moved);
  Edited();
}

void OnNorth(GtkSpinButton* spin, gpointer data) {
  auto* s = static_cast<DlgInterface*>(data);
  if (s->restoring) return;
  const double lat = gtk_spin_button_get_value(spin);
  if (lat == s->lat) return;
  ConfRect moved;
  const DlgRectFault f = DlgRectAtCentre(Pending(), lat, s->lon, false, &moved, Longitude());
  if (!Usable(f, moved)) {
    Restore(s, s->north, s->lat);
    return;
  }
  s->lat = lat;
  Conf_get->rect_next = moved;
  ShowRect(s, moved);
  Edited();
}

void Resize(DlgInterface* s, GtkSpinButton* spin, bool horizontal) {
  if (s->restoring) return;
  const ConfRect r = Pending();
  const gint32 size = gint32(gtk_spin_button_get_value(spin));
  if (size == (horizontal ? r.width : r.height)) return;
  const ConfRect sized = DlgRectResize(r, size, horizontal);
  if (!Usable(DlgRectFault::kNone, sized)) {
    Restore(s, GTK_WIDGET(spin), horizontal ? r.width : r.height);
    return;
  }
  Conf_get->rect_next = sized;
  ShowRect(s, sized);  // the position moved with the size: the labels follow
  Edited();
}

void OnWidth(GtkSpinButton* spin, gpointer data) { Resize(static_cast<DlgInterface*>(data), spin, true); }
void OnHeight(GtkSpinButton* spin, gpointer data) { Resize(static_cast<DlgInterface*>(data), spin, false); }

// Centres the window on place i of Conf.places; the centre spin buttons follow. The places
// are positions of the view from 0°: seen from another service they move with the Earth.
void ChoosePlace(DlgInterface* s, gint i) {
  GPtrArray* places = Conf_get->places.get();
  if (i < 0 || !places || guint(i) >= places->len) return;
  const Place* p = static_cast<const Place*>(g_ptr_array_index(places, i));
  gint32 px = p->x, py = p->y;
  if (Longitude() != 0.0 && !DlgRectPlaceSeen(p->x, p->y, Longitude(), &px, &py)) {
    GStr text(g_strdup_printf("%s is not seen from %.1f° E: the window is left as it was", p->name.c_str(), Longitude()));
    AppStatus(text.get());
    return;
  }
  const ConfRect moved = DlgRectAtPlace(Pending(), px, py);
  double lat = 0, lon = 0;
  const bool seen = GeoPixelToLatLon(CONF_GRID - double(px), CONF_GRID - double(py), &lat, &lon, Longitude()) == 0;
  DlgRectFault f = DlgRectCheck(moved);
  if (f == DlgRectFault::kNone && !seen) f = DlgRectFault::kOffDisk;
  if (!Usable(f, moved)) return;
  Conf_get->rect_next = moved;
  ShowRect(s, moved);
  s->lat = lat;
  s->lon = lon;
  Edited();
  // The spin buttons' own reactions recompute the position from the degrees shown.
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(s->east), lon);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(s->north), lat);
}

// The east spin button spans the disk seen from the service's longitude (its limb is 81.3°
// away; a centre beyond it is refused as off the Earth).
void EastRange(DlgInterface* s) {
  const double lon0 = Longitude();
  gtk_spin_button_set_range(GTK_SPIN_BUTTON(s->east), lon0 - 85, lon0 + 85);
}

void OnSatellite(GtkComboBox* combo, gpointer data) {
  auto* s = static_cast<DlgInterface*>(data);
  Sat sat;
  if (s->restoring || !SatParse(gtk_combo_box_get_active_id(combo), &sat)) return;
  // A service that cannot fill the window is refused: the window moves first.
  if (const std::string fault = ConfWindowFault(sat, Pending()); !fault.empty()) {
    AppStatus(fault.c_str());
    s->restoring = true;
    gtk_combo_box_set_active_id(combo, SatText(Conf_get->satellite).c_str());
    s->restoring = false;
    return;
  }
  const bool fci_before = Conf_get->satellite.service == SatService::Fci;
  Conf_get->satellite = sat;
  Edited();
  // FCI has other channels and the true colour: the layer tree follows at once.
  if (fci_before != (sat.service == SatService::Fci)) CanvTreeFill(Canv_get, Conf_get);
  // The same window seen from another longitude: the degrees shown follow, the pixels stay.
  DlgRectCentre(Pending(), &s->lat, &s->lon, Longitude());
  s->restoring = true;
  EastRange(s);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(s->east), s->lon);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(s->north), s->lat);
  s->restoring = false;
}

// The monitor's cap on the slots it keeps; what is shown at first is the day of the service.
void OnMaxSlots(GtkSpinButton* spin, gpointer) { Conf_get->max_slots = gint32(gtk_spin_button_get_value(spin)); }

GtkWidget* SatelliteCombo(DlgInterface* s) {
  GtkWidget* combo = gtk_combo_box_text_new();
  for (int n = SAT_SPACECRAFT_MIN; n <= SAT_SPACECRAFT_MAX; n++)
    for (SatService service : {SatService::Full, SatService::Rapid, SatService::Iodc}) {
      const Sat sat{n, service};
      GStr label(g_strdup_printf("MSG%d %s (%s)", n, SatServiceName(service),
                                 service == SatService::Full ? "0°" : service == SatService::Rapid ? "9.5° E" : "45.5° E"));
      gtk_combo_box_text_append(GTK_COMBO_BOX_TEXT(combo), SatText(sat).c_str(), label.get());
    }
  // Today's prime satellite at 0°: Meteosat-12's Flexible Combined Imager.
  gtk_combo_box_text_append(GTK_COMBO_BOX_TEXT(combo), SatText(Sat{1, SatService::Fci}).c_str(), "MTG-I1 FCI (0°)");
  gtk_combo_box_set_active_id(GTK_COMBO_BOX(combo), SatText(Conf_get->satellite).c_str());
  g_signal_connect(combo, "changed", G_CALLBACK(OnSatellite), s);
  return combo;
}

GtkWidget* Spin(double value, double lower, double upper, double step, double page, double page_size,
                double climb, guint digits) {
  GtkAdjustment* adj = gtk_adjustment_new(value, lower, upper, step, page, page_size);
  GtkWidget* spin = gtk_spin_button_new(adj, climb, digits);
  gtk_spin_button_set_numeric(GTK_SPIN_BUTTON(spin), TRUE);
  return spin;
}

GtkWidget* Framed(const char* title, GtkWidget* child) {
  GtkWidget* frame = gtk_frame_new(title);
  gtk_container_add(GTK_CONTAINER(frame), child);
  return frame;
}

GtkWidget* Row(GtkWidget* box, const char* title, GtkWidget* child, guint padding) {
  GtkWidget* frame = Framed(title, child);
  gtk_box_pack_start(GTK_BOX(box), frame, FALSE, FALSE, padding);
  return frame;
}

// Conf.places on first use; the status bar tells when the file is missing or had bad lines.
GPtrArray* Places() {
  Conf* conf = Conf_get;
  if (conf->places) return conf->places.get();
  if (!App_get) return nullptr;
  int skipped = 0;
  std::string error;
  conf->places.reset(PlacesRead(App_get->home + "/import/Shp/places.csv", &skipped, &error));
  if (!conf->places) {
    GStr text(error == "not found" ? g_strdup("File \"places.csv\" not found in \"import/Shp\"")
                                   : g_strdup_printf("File \"places.csv\" in \"import/Shp\" is not read: %s", error.c_str()));
    AppStatus(text.get());
    return nullptr;
  }
  if (skipped > 0) {
    GStr text(g_strdup_printf("\"places.csv\": %d line(s) skipped, see the log", skipped));
    AppStatus(text.get());
  }
  return conf->places.get();
}

void StateFree(gpointer p) { delete static_cast<DlgInterface*>(p); }

}  // namespace

DlgInterface* DlgInterfaceOf(GtkWidget* page) {
  return page ? static_cast<DlgInterface*>(g_object_get_data(G_OBJECT(page), "dlg-interface")) : nullptr;
}

GtkWidget* DlgInterfaceNew() {
  Conf* conf = Conf_get;
  auto* s = new DlgInterface;
  GtkWidget* page = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  g_object_set_data_full(G_OBJECT(page), "dlg-interface", s, StateFree);

  const GdkRGBA rgba{conf->selected_color.red / 65535.0, conf->selected_color.green / 65535.0,
                     conf->selected_color.blue / 65535.0, 1.0};
  s->color = gtk_color_button_new_with_rgba(&rgba);
  g_signal_connect(s->color, "color-set", G_CALLBACK(OnColorSet), nullptr);

  s->range = Spin(conf->selected_range, 1, 180, 1, 1, 0, 1, 0);
  g_signal_connect(s->range, "value-changed", G_CALLBACK(OnRange), nullptr);

  s->font = conf->canvas_font.empty() ? gtk_font_button_new() : gtk_font_button_new_with_font(conf->canvas_font.c_str());
  gtk_font_button_set_title(GTK_FONT_BUTTON(s->font), "Font");
  g_signal_connect(s->font, "font-set", G_CALLBACK(OnFont), nullptr);

  s->charset = gtk_combo_box_text_new();
  for (const char* name : CHARSETS) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(s->charset), name);
  gtk_combo_box_set_active(GTK_COMBO_BOX(s->charset), conf->charset < G_N_ELEMENTS(CHARSETS) ? gint(conf->charset) : -1);
  g_signal_connect(s->charset, "changed", G_CALLBACK(OnCharset), nullptr);

  s->field = gtk_entry_new();
  if (!conf->field_name.empty()) gtk_entry_set_text(GTK_ENTRY(s->field), conf->field_name.c_str());
  g_signal_connect(s->field, "activate", G_CALLBACK(OnField), nullptr);

  // The view of this moment is what a save of this page records for the next start.
  const Canv* canv = Canv_get;
  conf->zoom = canv ? canv->zoom - 7 : conf->zoom;
  if (canv && canv->scroll) {
    GtkScrolledWindow* sw = GTK_SCROLLED_WINDOW(canv->scroll);
    conf->scroll_x = gint32(gtk_adjustment_get_value(gtk_scrolled_window_get_hadjustment(sw)));
    conf->scroll_y = gint32(gtk_adjustment_get_value(gtk_scrolled_window_get_vadjustment(sw)));
  }
  const char* formats[] = {"zoom=%d", "horiz scroll=%d", "vert scroll=%d"};
  const int values[] = {conf->zoom, conf->scroll_x, conf->scroll_y};
  for (int i = 0; i < 3; i++) {
    s->view_labels[i] = gtk_label_new(nullptr);
    SetLabel(s->view_labels[i], formats[i], values[i]);
  }

  const ConfRect r = Pending();
  s->width = Spin(r.width, 0, CONF_GRID, 1, 10, 0, 1, 0);
  s->height = Spin(r.height, 0, CONF_GRID, 1, 10, 0, 1, 0);
  DlgRectCentre(r, &s->lat, &s->lon, Longitude());
  s->east = Spin(s->lon, -85, 80, 0.1, 1, 1, 0, 2);
  EastRange(s);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(s->east), s->lon);
  s->satellite = SatelliteCombo(s);
  s->north = Spin(s->lat, -85, 85, 0.1, 1, 1, 0, 2);
  s->x_label = gtk_label_new(nullptr);
  s->y_label = gtk_label_new(nullptr);
  ShowRect(s, r);

  if (GPtrArray* places = Places())
    s->places = DlgPlaceEntry(places, [](gint i, gpointer data) { ChoosePlace(static_cast<DlgInterface*>(data), i); }, s);
  g_signal_connect(s->east, "value-changed", G_CALLBACK(OnEast), s);
  g_signal_connect(s->north, "value-changed", G_CALLBACK(OnNorth), s);
  g_signal_connect(s->width, "value-changed", G_CALLBACK(OnWidth), s);
  g_signal_connect(s->height, "value-changed", G_CALLBACK(OnHeight), s);

  GtkWidget* reference = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
  if (s->places) Row(reference, "Places", s->places, 2);
  Row(reference, "East centre °", s->east, 2);
  Row(reference, "X(pix)", s->x_label, 2);
  Row(reference, "North centre °", s->north, 2);
  Row(reference, "Y(pix)", s->y_label, 2);
  Row(reference, "Width", s->width, 2);
  Row(reference, "Height", s->height, 2);

  GtkWidget* color = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
  Row(color, "Select by color", s->color, 10);
  Row(color, "Color range", s->range, 10);

  GtkWidget* contours = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
  Row(contours, "Font", s->font, 5);
  Row(contours, "Char set", s->charset, 5);
  Row(contours, "Field name", s->field, 5);

  GtkWidget* view = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
  for (GtkWidget* label : s->view_labels) gtk_box_pack_start(GTK_BOX(view), label, FALSE, FALSE, 10);

  GtkWidget* satellite = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
  Row(satellite, "Satellite", s->satellite, 2);
  s->max_slots = Spin(CanvMonitorMaxSlots(*conf), 1, CONF_MAX_SLOTS_MAX, 1, 24, 0, 1, 0);
  g_signal_connect(s->max_slots, "value-changed", G_CALLBACK(OnMaxSlots), nullptr);
  Row(satellite, "Slots kept while monitoring", s->max_slots, 2);

  Row(page, "Reference", reference, 3);
  Row(page, "Color", color, 3);
  Row(page, "Contours", contours, 3);
  Row(page, "Initial scrolling position and zoom level", view, 3);
  Row(page, "Satellite", satellite, 3);
  Row(page, "Animation, video and grid", DlgAidsNew(), 3);
  return page;
}
