// The menu bar and the toolbar, built interleaved so the zoom item is activated after its
// handler is connected. Commands that later parts provide are left unconnected (NULL).
#include <algorithm>
#include <cmath>

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
  guint key = 0;      // accelerator shown beside the label, 0 none
  GdkModifierType mods = GdkModifierType(0);
};

constexpr GdkModifierType CTRL = GDK_CONTROL_MASK;

struct ToolButton {
  const char* icon;  // icon name, or resource path when is_resource
  int is_resource;
  const char* tooltip;
  GCallback handler;
  GtkWidget* Canv::*field;  // where the button is kept, or NULL
};

// The tables below are the window's layout: labels, icons and tooltips in their order.
const MenuEntry FILE_MENU[] = {
    {"Open by date", G_CALLBACK(CanvOpenDate), GDK_KEY_o, CTRL},
    {"Monitoring of the working dir", G_CALLBACK(CanvMonitorToggle)},
    {"Export image", G_CALLBACK(CanvExportImage)},
    {nullptr, nullptr},
    {"Close a file", G_CALLBACK(CanvFileClose)},
    {nullptr, nullptr},
    {"Quit", G_CALLBACK(AppQuit), GDK_KEY_q, CTRL}};
// After the 26 zoom levels.
const MenuEntry ZOOM_STEPS[] = {{nullptr, nullptr},
                                {"Zoom in", G_CALLBACK(CanvZoomIn), GDK_KEY_plus, CTRL},
                                {"Zoom out", G_CALLBACK(CanvZoomOut), GDK_KEY_minus, CTRL},
                                {"Zoom to fit", G_CALLBACK(CanvZoomFit), GDK_KEY_0, CTRL}};
const MenuEntry COLOR_MENU[] = {{"The color of selection", G_CALLBACK(CanvColorSet)},
                                  {"Select by color", G_CALLBACK(CanvSelectColor)}};
const MenuEntry ANIMATION_MENU[] = {{"Play", G_CALLBACK(CanvAnimPlay)},
                                      {"Stop", G_CALLBACK(CanvAnimStop)},
                                      {"Rewind", G_CALLBACK(CanvAnimRewind)},
                                      {"Forward", G_CALLBACK(CanvAnimForward)},
                                      {nullptr, nullptr},
                                      {"Previous slot", G_CALLBACK(AppSlotPrevious), GDK_KEY_Page_Up},
                                      {"Next slot", G_CALLBACK(AppSlotNext), GDK_KEY_Page_Down}};

// Keys that act without a menu item of their own: other spellings of the zoom keys, and Space,
// which plays or stops (shown beside "Play").
struct Accel {
  guint key;
  GdkModifierType mods;
  GCallback handler;  // void (*)(GtkWidget*, gpointer)
};
const Accel EXTRA_ACCELS[] = {
    {GDK_KEY_equal, CTRL, G_CALLBACK(CanvZoomIn)},     {GDK_KEY_KP_Add, CTRL, G_CALLBACK(CanvZoomIn)},
    {GDK_KEY_KP_Subtract, CTRL, G_CALLBACK(CanvZoomOut)}, {GDK_KEY_KP_0, CTRL, G_CALLBACK(CanvZoomFit)},
    {GDK_KEY_space, GdkModifierType(0), G_CALLBACK(AppAnimToggle)},
};
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
void MenuAppend(GtkWidget* menu, const MenuEntry (&entries)[N], GtkAccelGroup* accel) {
  for (const MenuEntry& e : entries) {
    GtkWidget* item = e.label ? gtk_menu_item_new_with_label(e.label) : gtk_separator_menu_item_new();
    if (e.handler) g_signal_connect(item, "activate", e.handler, nullptr);
    if (e.key && accel) gtk_widget_add_accelerator(item, "activate", accel, e.key, e.mods, GTK_ACCEL_VISIBLE);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
  }
}

template <size_t N>
GtkWidget* MenuFill(GtkWidget* menubar, const char* title, const MenuEntry (&entries)[N], GtkAccelGroup* accel) {
  GtkWidget* menu = MenuNew(menubar, title);
  gtk_menu_set_accel_group(GTK_MENU(menu), accel);
  MenuAppend(menu, entries, accel);
  return menu;
}

gboolean AccelActivate(GtkAccelGroup*, GObject*, guint, GdkModifierType, gpointer handler) {
  reinterpret_cast<void (*)(GtkWidget*, gpointer)>(handler)(nullptr, nullptr);
  return TRUE;
}

void ExtraAccels(GtkAccelGroup* accel, GtkWidget* animation_menu) {
  for (const Accel& a : EXTRA_ACCELS)
    gtk_accel_group_connect(accel, a.key, a.mods, GtkAccelFlags(0),
                            g_cclosure_new(G_CALLBACK(AccelActivate), reinterpret_cast<gpointer>(a.handler), nullptr));
  // "Play" shows Space, which plays or stops.
  GList* items = gtk_container_get_children(GTK_CONTAINER(animation_menu));
  if (items) {
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(items->data));
    if (GTK_IS_ACCEL_LABEL(label)) gtk_accel_label_set_accel(GTK_ACCEL_LABEL(label), GDK_KEY_space, GdkModifierType(0));
  }
  g_list_free(items);
}

void ZoomMenu(GtkWidget* menubar, GtkAccelGroup* accel) {
  GtkWidget* menu = MenuNew(menubar, "Zoom");
  gtk_menu_set_accel_group(GTK_MENU(menu), accel);
  GSList* group = nullptr;
  for (int i = 0; i < CANV_ZOOM_COUNT; i++) {
    GtkWidget* item = gtk_radio_menu_item_new_with_label(group, CanvZoomScales[i].label);
    group = gtk_radio_menu_item_get_group(GTK_RADIO_MENU_ITEM(item));
    g_signal_connect(item, "activate", G_CALLBACK(CanvZoomSet), GINT_TO_POINTER(i));
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    Canv_get->zoom_items[i] = item;
  }
  gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(Canv_get->zoom_items[Canv_get->zoom]), TRUE);
  MenuAppend(menu, ZOOM_STEPS, accel);
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
  // The scale expands into the room left; its least width leaves room for the monitor's
  // spinner, so the last buttons stay on the toolbar of the default window while monitoring.
  gtk_widget_set_size_request(c->range, 150, 35);
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

void AppQuit(GtkWidget*, gpointer) {
  if (App_get && App_get->window) gtk_window_close(GTK_WINDOW(App_get->window));
}

void AppSlotStep(int delta) {
  Canv* c = Canv_get;
  if (!c || !c->range || !Conf_get) return;
  const int n = int(g_list_length(Conf_get->slots));
  if (n < 1) return;
  const int now = int(std::floor(gtk_range_get_value(GTK_RANGE(c->range))));
  const int next = std::clamp(now + delta, 0, n - 1);
  if (next == now) return;
  gtk_range_set_value(GTK_RANGE(c->range), next);
  // A key press is a settled choice: no wait for the scale to rest.
  if (c->slot_source) {
    g_source_remove(c->slot_source);
    c->slot_source = 0;
  }
  CanvSlotChanged(nullptr, nullptr);
}

void AppSlotPrevious(GtkWidget*, gpointer) { AppSlotStep(-1); }
void AppSlotNext(GtkWidget*, gpointer) { AppSlotStep(1); }

void AppAnimToggle(GtkWidget*, gpointer) {
  if (Canv_get && Canv_get->play)
    CanvAnimStop(nullptr, nullptr);
  else
    CanvAnimPlay(nullptr, nullptr);
}

void AppMenuNew(GtkWidget* toolbar, GtkWidget* menubar) {
  Canv* c = Canv_get;
  const Conf* conf = Conf_get;
  ToolbarStyle(toolbar);
  // The window owns the accelerators; without one (a bare menu bar) the keys are not bound.
  GtkAccelGroup* accel = gtk_accel_group_new();
  if (App_get && App_get->window) gtk_window_add_accel_group(GTK_WINDOW(App_get->window), accel);

  MenuFill(menubar, "File", FILE_MENU, accel);
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

  ZoomMenu(menubar, accel);
  Separator(toolbar, false);
  ToolButtons(toolbar, ZOOM_BUTTONS);

  MenuFill(menubar, "Color", COLOR_MENU, accel);
  Separator(toolbar, false);
  SelectionTools(toolbar, conf);

  ExtraAccels(accel, MenuFill(menubar, "Animation", ANIMATION_MENU, accel));
  TimeTools(toolbar);

  MenuFill(menubar, "Settings", SETTINGS_MENU, accel);
  Separator(toolbar, false);
  ToolButtons(toolbar, SETTINGS_BUTTONS);
  Separator(toolbar, true);
  ToolButtons(toolbar, CLOSE_BUTTONS);
  g_object_unref(accel);
}
