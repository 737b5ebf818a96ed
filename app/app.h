// The application record and the main window.
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "canvas/canv.h"
#include "data/gholder.h"
#include "settings/conf.h"

using PixbufPtr = GObjectPtr<GdkPixbuf>;

struct App {
  PixbufPtr icon;                     // 32x32 application icon
  GtkWidget* window = nullptr;        // the main window
  GtkWidget* status_label = nullptr;  // empty label at the left of the status row
  GtkWidget* statusbar = nullptr;     // all messages under context id 0
  std::string home;                   // documents folder / "Nubicorn"
};

// The one application record of the run; set by AppCreate.
extern App* App_get;

// Resource paths of the pictures compiled into the program.
inline constexpr const char* APP_RES_ICON = "/org/nubicorn/nubicorn.png";
inline constexpr const char* APP_RES_GRAY = "/org/nubicorn/gray.png";
inline constexpr const char* APP_RES_VIDEO = "/org/nubicorn/video.png";
inline constexpr const char* APP_RES_INI = "/org/nubicorn/nubicorn.ini";

// Builds the window on the home folder `home` (empty: the documents folder + "Nubicorn"),
// reads the settings, shows the window. Always TRUE.
gboolean AppCreate(App* app, Canv* canv, Conf* conf, const std::string& home = {});
// Builds the canvas and the layer tree into `left`, then the menus and toolbar.
void AppCanvasNew(Canv* canv, GtkWidget* toolbar, GtkWidget* left, GtkWidget* menubar);
// Builds the five menus into `menubar` and fills `toolbar`, interleaved.
void AppMenuNew(GtkWidget* toolbar, GtkWidget* menubar);
// "delete-event" of the main window: frees Conf and the canvas state, writes nothing. FALSE.
gboolean AppOnDelete(GtkWidget* widget, GdkEvent* event, gpointer data);
// Shows the modal About box.
void AppAbout(GtkWidget* widget, gpointer data);
// "Quit" (Ctrl+Q): closes the main window as its close button does.
void AppQuit(GtkWidget* widget, gpointer data);
// Steps the "Time slot" scale by delta slots, stopping at the first and the last, and shows
// the slot at once.
void AppSlotStep(int delta);
// "Previous slot" (Page Up) and "Next slot" (Page Down).
void AppSlotPrevious(GtkWidget* widget, gpointer data);
void AppSlotNext(GtkWidget* widget, gpointer data);
// Space: plays the animation, or stops it while it plays.
void AppAnimToggle(GtkWidget* widget, gpointer data);
// Pushes text on the status bar (context 0); NULL removes every message of context 0.
void AppStatus(const char* text);
