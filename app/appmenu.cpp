// The menu bar and the toolbar, built interleaved so the zoom item is activated after its
// handler is connected. Commands that later parts provide are left unconnected (NULL).
#include "app/app.h"
#include "app/suplgtk.h"
#include "canvas/canvanim.h"
#include "canvas/canvexport.h"
#include "canvas/canvimage.h"
#include "canvas/canvmonitor.h"
#include "canvas/canvselect.h"
#include "canvas/canvvideo.h"
#include "dialogs/dlg.h"

namespace {

struct MenuEntry {
  const char* label;  // NULL: a separator
  GCallback handler;  // NULL: not connected
};

struct ToolButton {
  const char* icon;  // icon name, or resource path when is_resource
  int is_resource;
  const char* tooltip;
  GCallback handler;
  GtkWidget* Canv::*field;  // where the button is kept, or NULL
};

// The tables below are the window's layout: labels, icons and tooltips in their order.
const MenuEntry FILE_MENU[] = {
    {"Open by date", G_CALLBACK(CanvOpenDate)},
    {"Monitoring of the working dir", G_CALLBACK(CanvMonitorToggle)},
    {"Export image", G_CALLBACK(CanvExportImage)},
    {nullptr, nullptr},
    {"Close a file", G_CALLBACK(CanvFileClose)}};
const MenuEntry COLOR_MENU[] = {{"The color of selection", G_CALLBACK(CanvColorSet)},
                                  {"Select by color", G_CALLBACK(CanvSelectColor)}};
const MenuEntry ANIMATION_MENU[] = {{"Play", G_CALLBACK(CanvAnimPlay)},
                                      {"Stop", G_CALLBACK(CanvAnimStop)},
                                      {"Rewind", G_CALLBACK(CanvAnimRewind)},
                                      {"Forward", G_CALLBACK(CanvAnimForward)}};
const MenuEntry SETTINGS_MENU[] = {{"Preferences", G_CALLBACK(DlgSettings)}, {nullptr, nullptr}, {"About", G_CALLBACK(AppAbout)}};

const ToolButton ZOOM_BUTTONS[] = {
    {"zoom-in", 0, "Zoom in", G_CALLBACK(CanvZoomIn), &Canv::btn_zoom_in},
    {"zoom-out", 0, "Zoom out", G_CALLBACK(CanvZoomOut), &Canv::btn_zoom_out},
    {"zoom-fit-best", 0, "Zoom to fit", G_CALLBACK(CanvZoomFit), &Canv::btn_zoom_fit},
};
const ToolButton SELECTION_BUTTONS[] = {
    {"color-select", 0, "Select by color", G_CALLBACK(CanvSelectColor), &Canv::btn_select},
};
const ToolButton SAVE_BUTTONS[] = {
    {"document-save", 0, "Save selected", G_CALLBACK(CanvSaveSelected), &Canv::btn_save_sel},
};
const ToolButton ANIMATION_BUTTONS[] = {
    {"media-seek-backward", 0, "Rewind", G_CALLBACK(CanvAnimRewind), &Canv::btn_rewind},
    {"media-playback-start", 0, "Play", G_CALLBACK(CanvAnimPlay), &Canv::btn_play},
    {"media-playback-stop", 0, "Stop", G_CALLBACK(CanvAnimStop), &Canv::btn_stop},
    {"media-seek-forward", 0, "Forward", G_CALLBACK(CanvAnimForward), &Canv::btn_forward},
    {APP_RES_VIDEO, 1, "Make video from the RGB images", G_CALLBACK(CanvVideo), &Canv::btn_video},
};
const ToolButton SETTINGS_BUTTONS[] = {
    {"preferences-system", 0, "Settings", G_CALLBACK(DlgSettings), &Canv::btn_settings},
    {"dialog-information", 0, "About", G_CALLBACK(AppAbout), nullptr},
};
const ToolButton CLOSE_BUTTONS[] = {
    {"window-close", 0, "Close a file", G_CALLBACK(CanvFileClose), &Canv::btn_close},
};

GtkWidget* MenuNew(GtkWidget* menubar, const char* title) {
  GtkWidget* top = gtk_menu_item_new_with_label(title);
  GtkWidget* menu = gtk_menu_new();
  gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), menu);
  gtk_menu_shell_append(GTK_MENU_SHELL(menubar), top);
  return menu;
}

template <size_t N>
void MenuFill(GtkWidget* menubar, const char* title, const MenuEntry (&entries)[N]) {
  GtkWidget* menu = MenuNew(menubar, title);
  for (const MenuEntry& e : entries) {
    GtkWidget* item = e.label ? gtk_menu_item_new_with_label(e.label) : gtk_separator_menu_item_new();
    if (e.handler) g_signal_connect(item, "activate", e.handler, nullptr);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
  }
}

void ZoomMenu(GtkWidget* menubar) {
  GtkWidget* menu = MenuNew(menubar, "Zoom");
  GSList* group = nullptr;
  for (int i = 0; i < CANV_ZOOM_COUNT; i++) {
    GtkWidget* item = gtk_radio_menu_item_new_with_label(group, CanvZoomScales[i].label);
    group = gtk_radio_menu_item_get_group(GTK_RADIO_MENU_ITEM(item));
    g_signal_connect(item, "activate", G_CALLBACK(CanvZoomSet), GINT_TO_POINTER(i));
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    Canv_get->zoom_items[i] = item;
  }
  gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(Canv_get->zoom_items[Canv_get->zoom]), TRUE);
}

template <size_t N>
void ToolButtons(GtkWidget* toolbar, const ToolButton (&buttons)[N]) {
  for (const ToolButton& b : buttons) {
    GtkWidget* w = SuplAddButtonOpt(b.icon, b.is_resource, b.handler, b.tooltip);
    gtk_toolbar_insert(GTK_TOOLBAR(toolbar), GTK_TOOL_ITEM(w), -1);
    if (b.field) Canv_get->*b.field = w;
  }
}

// draw FALSE: an invisible separator that expands; TRUE: a visible one that does not.
void Separator(GtkWidget* toolbar, bool draw) {
  GtkToolItem* sep = gtk_separator_tool_item_new();
  gtk_separator_tool_item_set_draw(GTK_SEPARATOR_TOOL_ITEM(sep), draw);
  gtk_tool_item_set_expand(sep, !draw);
  gtk_toolbar_insert(GTK_TOOLBAR(toolbar), sep, -1);
}

GtkWidget* ImageToggle(GtkWidget* image) {
  GtkWidget* button = gtk_toggle_button_new();
  gtk_button_set_image(GTK_BUTTON(button), image);
  gtk_button_set_always_show_image(GTK_BUTTON(button), TRUE);
  return button;
}

// Hue in degrees of a colour: components / 65536 to HSV, hue times 360.
double HueOf(const GdkColor& c) {
  double h = 0, s = 0, v = 0;
  gtk_rgb_to_hsv(c.red / 65536.0, c.green / 65536.0, c.blue / 65536.0, &h, &s, &v);
  return h * 360;
}

void SelectionTools(GtkWidget* toolbar, const Conf* conf) {
  Canv* c = Canv_get;
  GdkRGBA rgba{conf->selected_color.red / 65535.0, conf->selected_color.green / 65535.0,
               conf->selected_color.blue / 65535.0, 1.0};
  c->sel_color = gtk_color_button_new_with_rgba(&rgba);
  SuplAddToolItem(toolbar, c->sel_color, 0, "The color of selection", FALSE);
  c->sel_hue = gtk_spin_button_new_with_range(0, 360, 1);
  gtk_entry_set_width_chars(GTK_ENTRY(c->sel_hue), 3);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(c->sel_hue), HueOf(conf->selected_color));
  SuplAddToolItem(toolbar, c->sel_hue, 0, "Select by color", FALSE);
  c->sel_range = gtk_spin_button_new_with_range(0, 90, 1);
  gtk_entry_set_width_chars(GTK_ENTRY(c->sel_range), 2);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(c->sel_range), conf->selected_range);
  SuplAddToolItem(toolbar, c->sel_range, 0, "Color range", FALSE);
  ToolButtons(toolbar, SELECTION_BUTTONS);
  GdkPixbuf* gray = gdk_pixbuf_new_from_resource(APP_RES_GRAY, nullptr);
  c->btn_gray = ImageToggle(gray ? gtk_image_new_from_pixbuf(gray) : gtk_image_new());
  if (gray) g_object_unref(gray);
  SuplAddToolItem(toolbar, c->btn_gray, 0, "Gray scale threshold", FALSE);
  ToolButtons(toolbar, SAVE_BUTTONS);
  // Connected after the start values are set, so building the window selects nothing.
  g_signal_connect(c->sel_color, "color-set", G_CALLBACK(CanvColorSet), nullptr);
  g_signal_connect(c->sel_hue, "value-changed", G_CALLBACK(CanvSelectColor), nullptr);
  g_signal_connect(c->sel_range, "value-changed", G_CALLBACK(CanvSelectColor), nullptr);
}

void TimeTools(GtkWidget* toolbar) {
  Canv* c = Canv_get;
  Separator(toolbar, false);
  ToolButtons(toolbar, ANIMATION_BUTTONS);
  Separator(toolbar, true);
  c->label = gtk_label_new("");
  gtk_widget_set_name(c->label, "nubicorn-date");
  SuplAddToolItem(toolbar, c->label, 1.0f, nullptr, FALSE);
  Separator(toolbar, true);
  c->range = gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, 0, 100, 1);
  gtk_scale_set_digits(GTK_SCALE(c->range), 0);
  gtk_scale_set_draw_value(GTK_SCALE(c->range), FALSE);
  gtk_widget_set_size_request(c->range, 300, 35);
  SuplAddToolItem(toolbar, c->range, 0, "Time slot", TRUE);
  g_signal_connect(c->range, "value-changed", G_CALLBACK(CanvRangeChanged), nullptr);
  g_signal_connect(c->range, "button-release-event", G_CALLBACK(CanvRangeReleased), nullptr);
}

// The date label is brown; GTK 3 buttons and spin buttons are wider than the toolbar was
// laid out for, so they are packed tighter to keep every item out of the overflow menu.
constexpr const char* TOOLBAR_CSS =
    "#nubicorn-date { color: brown; }\n"
    "#nubicorn-toolbar { padding: 0 2px; }\n"
    "#nubicorn-toolbar button { padding: 2px 2px; min-width: 0; min-height: 0; }\n"
    "#nubicorn-toolbar separator { margin-left: 1px; margin-right: 1px; }\n"
    "#nubicorn-toolbar spinbutton button { padding: 0 2px; min-width: 10px; }\n"
    "#nubicorn-toolbar spinbutton entry { min-width: 0; padding-left: 3px; padding-right: 0; }\n";

void ToolbarStyle(GtkWidget* toolbar) {
  gtk_widget_set_name(toolbar, "nubicorn-toolbar");
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, TOOLBAR_CSS, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(toolbar), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);
}

}  // namespace

void AppMenuNew(GtkWidget* toolbar, GtkWidget* menubar) {
  Canv* c = Canv_get;
  const Conf* conf = Conf_get;
  ToolbarStyle(toolbar);

  MenuFill(menubar, "File", FILE_MENU);
  c->btn_open_date = SuplAddButtonOpt("document-open", 0, G_CALLBACK(CanvOpenDate), "Open by date");
  gtk_toolbar_insert(GTK_TOOLBAR(toolbar), GTK_TOOL_ITEM(c->btn_open_date), -1);
  Separator(toolbar, false);
  c->spinner = gtk_spinner_new();
  GtkToolItem* spin_item = gtk_tool_button_new(c->spinner, nullptr);
  gtk_toolbar_insert(GTK_TOOLBAR(toolbar), spin_item, -1);
  // The hidden spinner's empty button would still take toolbar room: it follows the spinner.
  g_signal_connect_swapped(c->spinner, "show", G_CALLBACK(gtk_widget_show), spin_item);
  g_signal_connect_swapped(c->spinner, "hide", G_CALLBACK(gtk_widget_hide), spin_item);
  c->btn_monitor = ImageToggle(gtk_image_new_from_icon_name("network-transmit-receive", GTK_ICON_SIZE_BUTTON));
  SuplAddToolItem(toolbar, c->btn_monitor, 0, "Monitoring of the working dir", FALSE);
  g_signal_connect(c->btn_monitor, "toggled", G_CALLBACK(CanvMonitorToggle), nullptr);

  ZoomMenu(menubar);
  Separator(toolbar, false);
  ToolButtons(toolbar, ZOOM_BUTTONS);

  MenuFill(menubar, "Color", COLOR_MENU);
  Separator(toolbar, false);
  SelectionTools(toolbar, conf);

  MenuFill(menubar, "Animation", ANIMATION_MENU);
  TimeTools(toolbar);

  MenuFill(menubar, "Settings", SETTINGS_MENU);
  Separator(toolbar, false);
  ToolButtons(toolbar, SETTINGS_BUTTONS);
  Separator(toolbar, true);
  ToolButtons(toolbar, CLOSE_BUTTONS);
}
