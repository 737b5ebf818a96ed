// The Settings dialog frame and its Interface page, driven through the real widgets.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>

#include "data/geo.h"
#include "dialogs/dlgrect.h"
#include "dialogs/places.h"
#include "tests/support/logcapture.h"
#include "tests/ui/test_dlg_support.h"

namespace {

using namespace dlgtest;

constexpr const char* PLACES =
    "Moscow,2756,494\n"
    "\n"
    "NoFields\n"
    "Half,12\n"
    ",,Lead,100abc,200\r\n"
    "Bad,x,y\n"
    "Edge,10,10\n";

class InterfacePage : public Dialog {
 protected:
  void WithPlaces(const std::string& text = PLACES) { uitest::TempHome::Write(home / "import/Shp/places.csv", text); }
  ConfRect Next() const { return conf.rect_next.value_or(ConfRect{-1, -1, -1, -1}); }
  GtkTreeModel* PlaceModel() {
    GtkEntryCompletion* c = gtk_entry_get_completion(GTK_ENTRY(Interface()->places));
    return c ? gtk_entry_completion_get_model(c) : nullptr;
  }
  // Chooses row n of the place list as the completion popup does.
  void ChoosePlace(int n) {
    GtkEntryCompletion* c = gtk_entry_get_completion(GTK_ENTRY(Interface()->places));
    GtkTreeIter it;
    ASSERT_TRUE(gtk_tree_model_iter_nth_child(PlaceModel(), &it, nullptr, n));
    gboolean handled = FALSE;
    g_signal_emit_by_name(c, "match-selected", PlaceModel(), &it, &handled);
    uitest::Drain();
  }
};

// Close and a deleted window end the dialog's loop; nothing is written.
TEST_F(InterfacePage, CloseWritesNothing) {
  Start();
  Open(0);
  EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(dialog)), GTK_WINDOW(app.window));
  const auto before = uitest::Snapshot(home.path());
  EXPECT_FALSE(DlgSettingsRespond(dialog, GTK_RESPONSE_CLOSE));
  EXPECT_FALSE(DlgSettingsRespond(dialog, GTK_RESPONSE_DELETE_EVENT));
  EXPECT_EQ(uitest::Snapshot(home.path()), before);
}

TEST_F(InterfacePage, ControlsShowTheSettings) {
  Start("[Interface]\nrect-x=2710\nrect-y=464\nrect-width=92\nrect-height=60\nselected-range=25\ncharset=1\n"
        "field-name=NAME_EN\ncanvas-font=Sans 9\n");
  Open();
  DlgInterface* s = Interface();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SpinValue(s->width), 92);
  EXPECT_EQ(SpinValue(s->height), 60);
  EXPECT_EQ(LabelText(s->x_label), "2710");
  EXPECT_EQ(LabelText(s->y_label), "464");
  EXPECT_EQ(SpinValue(s->range), 25);
  EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(s->charset)), 1);
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(s->field)), "NAME_EN");
  gchar* font = gtk_font_chooser_get_font(GTK_FONT_CHOOSER(s->font));
  EXPECT_STREQ(font, "Sans 9");
  g_free(font);
  // The centre spin buttons show the degrees of the centre pixel (column 956, line 3218).
  double lat = 0, lon = 0;
  ASSERT_EQ(GeoPixelToLatLon(956, 3218, &lat, &lon), 0);
  EXPECT_NEAR(SpinValue(s->east), lon, 1e-9);
  EXPECT_NEAR(SpinValue(s->north), lat, 1e-9);
  // The initial view labels: the canvas zoom step less 7 (default x7 is step 17).
  EXPECT_EQ(LabelText(s->view_labels[0]), "zoom=10");
  EXPECT_EQ(LabelText(s->view_labels[1]), "horiz scroll=0");
  EXPECT_EQ(LabelText(s->view_labels[2]), "vert scroll=0");
  // Without import/Shp/places.csv there is no place box, and the status bar says why.
  EXPECT_EQ(s->places, nullptr);
  EXPECT_EQ(Status(), "File \"places.csv\" not found in \"import/Shp\"");
  EXPECT_FALSE(conf.places);
}

TEST_F(InterfacePage, SizeChangesKeepTheCentreAndAreOnlyPending) {
  Start();
  Open();
  DlgInterface* s = Interface();
  SetSpin(s->width, 100);  // (92 - 100) / 2 = -4
  EXPECT_EQ(Next().x, 2706);
  EXPECT_EQ(Next().width, 100);
  EXPECT_EQ(LabelText(s->x_label), "2706");
  SetSpin(s->width, 101);  // (100 - 101) / 2 truncates to 0
  EXPECT_EQ(Next().x, 2706);
  SetSpin(s->height, 50);  // (60 - 50) / 2 = 5
  EXPECT_EQ(Next().y, 469);
  EXPECT_EQ(Next().height, 50);
  // The running program keeps the rectangle it was started with.
  EXPECT_EQ(conf.rect_x, 2710);
  EXPECT_EQ(conf.rect_y, 464);
  EXPECT_EQ(conf.rect_width, 92);
  EXPECT_EQ(conf.rect_height, 60);
  // Opening the dialog again shows the pending rectangle, not the running one.
  Open();
  EXPECT_EQ(SpinValue(Interface()->width), 101);
  EXPECT_EQ(LabelText(Interface()->x_label), "2706");
}

TEST_F(InterfacePage, WindowThatDoesNotFitIsRefused) {
  Start();
  Open();
  DlgInterface* s = Interface();
  EXPECT_FALSE(conf.rect_next) << "after open";
  SetSpin(s->height, 2000);  // centred on y 494 it would start at -506
  EXPECT_EQ(SpinValue(s->height), 60);
  EXPECT_FALSE(conf.rect_next);
  EXPECT_NE(Status().find("leave the disk"), std::string::npos) << Status();
  SetSpin(s->width, 0);
  EXPECT_EQ(SpinValue(s->width), 92);
  EXPECT_FALSE(conf.rect_next);
  SetSpin(s->width, 2000);  // centred on x 2756 it would end at 3756
  EXPECT_EQ(SpinValue(s->width), 92);
  SetSpin(s->width, 1800);  // 1856 to 3656 fits
  EXPECT_EQ(Next().x, 1856);
  SetSpin(s->width, 3712);  // 900 to 4612 does not
  EXPECT_EQ(SpinValue(s->width), 1800);
  EXPECT_EQ(Next().width, 1800);
}

TEST_F(InterfacePage, CentreInDegreesMovesTheWindow) {
  Start();
  Open();
  DlgInterface* s = Interface();
  // One degree further east: the centre column is that of the new point.
  const double lat = SpinValue(s->north), lon = SpinValue(s->east) + 1;
  double column = 0, line = 0;
  ASSERT_EQ(GeoLatLonToPixel(lat, lon, &column, &line, 0), 0);
  SetSpin(s->east, lon);
  EXPECT_EQ(Next().x, -(92 / 2) - int(std::trunc(column - 3712)));
  EXPECT_EQ(Next().y, 464);
  EXPECT_EQ(LabelText(s->x_label), std::to_string(Next().x));
  EXPECT_GT(Next().x, 2710);  // image x grows toward the east
  const int x = Next().x;
  SetSpin(s->north, lat + 1);
  ASSERT_EQ(GeoLatLonToPixel(lat + 1, lon, &column, &line, 0), 0);
  EXPECT_EQ(Next().y, -(60 / 2) - int(std::trunc(line - 3712)));
  EXPECT_LT(Next().y, 464);  // image y grows toward the south
  EXPECT_EQ(Next().x, x);
  EXPECT_EQ(conf.rect_x, 2710);  // still pending
}

TEST_F(InterfacePage, CentreOffTheDiskIsRefusedTheSouthIsTaken) {
  Start();
  Open();
  DlgInterface* s = Interface();
  const double lat = SpinValue(s->north);
  SetSpin(s->north, 85);  // beyond the limb seen from the satellite
  EXPECT_NE(Status().find("off the Earth"), std::string::npos) << Status();
  EXPECT_DOUBLE_EQ(SpinValue(s->north), lat);
  EXPECT_FALSE(conf.rect_next);
  // The east spin button after a refusal still works from the kept centre.
  SetSpin(s->east, SpinValue(s->east) - 0.5);
  ASSERT_TRUE(conf.rect_next);
  EXPECT_LT(Next().x, 2710);
  SetSpin(s->north, 20);  // south of the old northern strip: taken
  EXPECT_GT(Next().y, 928);
}

TEST_F(InterfacePage, PlacesAreReadOnceAndChoosingOneCentresTheWindow) {
  Start();
  WithPlaces();
  LogCapture log;
  Open();
  DlgInterface* s = Interface();
  ASSERT_NE(s->places, nullptr);
  ASSERT_TRUE(conf.places);
  ASSERT_EQ(conf.places->len, 3u);  // Moscow, Lead, Edge
  EXPECT_NE(Status().find("3 line(s) skipped"), std::string::npos) << Status();
  EXPECT_EQ(log.count(), 3u);
  EXPECT_EQ(gtk_tree_model_iter_n_children(PlaceModel(), nullptr), 3);

  ChoosePlace(0);
  double lat = 0, lon = 0;
  ASSERT_EQ(GeoPixelToLatLon(3712 - 2756, 3712 - 494, &lat, &lon), 0);
  EXPECT_NEAR(SpinValue(s->east), lon, 1e-9);
  EXPECT_NEAR(SpinValue(s->north), lat, 1e-9);
  // Back from degrees to pixels may be one off, never more.
  EXPECT_LE(std::abs(Next().x - 2710), 1);
  EXPECT_LE(std::abs(Next().y - 464), 1);

  // A place whose window would leave the grid changes nothing.
  const ConfRect before = Next();
  ChoosePlace(2);
  EXPECT_EQ(Next().x, before.x);
  EXPECT_EQ(Next().y, before.y);
  EXPECT_NE(Status().find("leave the disk"), std::string::npos);

  // Typed letters anywhere in a name offer it ("EA" finds "Lead"), whatever their case.
  GtkEntryCompletion* completion = gtk_entry_get_completion(GTK_ENTRY(s->places));
  gtk_entry_set_text(GTK_ENTRY(s->places), "EA");
  gtk_entry_completion_complete(completion);
  gchar* offered = gtk_entry_completion_compute_prefix(completion, "Le");
  EXPECT_STREQ(offered, "Lead");
  g_free(offered);
  // Enter on a typed name chooses that place (case aside); an unknown name says so.
  SetSpin(s->width, 80);
  SetSpin(s->east, SpinValue(s->east) - 1.0);  // away from the place first
  ASSERT_GT(std::abs(Next().x - (2756 - 40)), 5);
  gtk_entry_set_text(GTK_ENTRY(s->places), "moscow");
  g_signal_emit_by_name(s->places, "activate");
  uitest::Drain();
  EXPECT_LE(std::abs(Next().x - (2756 - 40)), 1);
  gtk_entry_set_text(GTK_ENTRY(s->places), "Atlantis");
  g_signal_emit_by_name(s->places, "activate");
  EXPECT_NE(Status().find("No place of that name"), std::string::npos) << Status();

  // The file is read once per run: a changed file is not read again.
  WithPlaces("Other,1000,400\n");
  Open();
  EXPECT_EQ(conf.places->len, 3u);
}

// A hundred thousand places make one list, all of them offered; the time it takes is measured
// in bench/bench_dlg.
TEST_F(InterfacePage, LongPlaceListIsOfferedWhole) {
  constexpr int N = 100000;
  std::string text;
  text.reserve(size_t(N) * 24);
  for (int i = 0; i < N; i++)
    text += "Place " + std::to_string(i) + "," + std::to_string(100 + i % 3500) + "," + std::to_string(100 + i % 700) +
            "\n";
  Start();
  WithPlaces(text);
  Watchdog guard(50, "building the Interface page with 100,000 places");
  Open();
  ASSERT_NE(Interface()->places, nullptr);
  ASSERT_EQ(conf.places->len, guint(N));
  EXPECT_EQ(gtk_tree_model_iter_n_children(PlaceModel(), nullptr), N);
  ChoosePlace(N - 1);  // "Place 99999" at 2099, 699: its window lies on the disk
  const Place* last = static_cast<const Place*>(g_ptr_array_index(conf.places.get(), N - 1));
  EXPECT_EQ(last->name, "Place 99999");
  EXPECT_LE(std::abs(Next().x - (last->x - 46)), 1);
}

// A FIFO named places.csv (no writer) does not hold the dialog; the status bar says why.
TEST_F(InterfacePage, FifoNamedPlacesDoesNotBlockTheDialog) {
  Start();
  fs::create_directories(home / "import/Shp");
  ASSERT_EQ(mkfifo((home / "import/Shp/places.csv").c_str(), 0600), 0);
  Watchdog guard(20, "opening the Settings dialog with a FIFO named places.csv");
  Open();
  EXPECT_EQ(Interface()->places, nullptr);
  EXPECT_EQ(Status(), "File \"places.csv\" in \"import/Shp\" is not read: it is not a regular file");
  EXPECT_FALSE(conf.places);
}

TEST_F(InterfacePage, SelectionFontCharsetAndFieldGoIntoTheSettings) {
  Start();
  Open();
  DlgInterface* s = Interface();
  const GdkRGBA green{0, 1, 0, 1};
  gtk_color_chooser_set_rgba(GTK_COLOR_CHOOSER(s->color), &green);
  g_signal_emit_by_name(s->color, "color-set");
  EXPECT_EQ(conf.selected_color.red, 0);
  EXPECT_EQ(conf.selected_color.green, 65535);
  EXPECT_NEAR(SpinValue(canv.sel_hue), 120, 0.5);  // the main window follows

  SetSpin(s->range, 33);
  EXPECT_EQ(conf.selected_range, 33);
  EXPECT_EQ(SpinValue(canv.sel_range), 33);
  SetSpin(s->range, 180);
  EXPECT_EQ(conf.selected_range, 180);
  EXPECT_EQ(SpinValue(canv.sel_range), 90);  // the toolbar's own limit

  gtk_combo_box_set_active(GTK_COMBO_BOX(s->charset), 2);
  EXPECT_EQ(conf.charset, 2u);

  gtk_font_chooser_set_font(GTK_FONT_CHOOSER(s->font), "Serif 12");
  g_signal_emit_by_name(s->font, "font-set");
  EXPECT_EQ(conf.canvas_font, "Serif 12");

  // Typing without Enter changes nothing; Enter takes a valid name; a bad one is refused.
  gtk_entry_set_text(GTK_ENTRY(s->field), "NAME_RU");
  EXPECT_EQ(conf.field_name, "name");
  g_signal_emit_by_name(s->field, "activate");
  EXPECT_EQ(conf.field_name, "NAME_RU");
  gtk_entry_set_text(GTK_ENTRY(s->field), "ELEVENCHARS");
  g_signal_emit_by_name(s->field, "activate");
  EXPECT_EQ(conf.field_name, "NAME_RU");
  EXPECT_NE(Status().find("field name"), std::string::npos) << Status();
  gtk_entry_set_text(GTK_ENTRY(s->field), "");
  g_signal_emit_by_name(s->field, "activate");
  EXPECT_EQ(conf.field_name, "NAME_RU");
}

TEST_F(InterfacePage, SaveWritesThePageAndKeepsOtherGroups) {
  Start("# mine\n[Mine]\nfoo=bar\n[Interface]\nmy-key=7\n[Rgb composite]\nrgb-name-00=Keep\n"
        "rgb-channels-00=1;0;2;0;3;0\nrgb-params-00=0;1;1;0;1;1;0;1;1\n");
  CanvZoomIn(nullptr, nullptr);  // step 18: "zoom" 11 is recorded when the page is built
  Open();
  DlgInterface* s = Interface();
  SetSpin(s->width, 100);
  gtk_combo_box_set_active(GTK_COMBO_BOX(s->charset), 1);
  Save(1);
  EXPECT_EQ(Status(), "Save operation succeeded");
  Stored f(home.ini());
  ASSERT_TRUE(f.loaded);
  EXPECT_EQ(f.Int("rect-x"), 2706);
  EXPECT_EQ(f.Int("rect-width"), 100);
  EXPECT_EQ(f.Int("rect-y"), 464);
  EXPECT_EQ(f.Int("zoom"), 11);
  EXPECT_EQ(f.Int("charset"), 1);
  EXPECT_EQ(f.Int("my-key"), 7);
  EXPECT_EQ(f.Str("foo", "Mine"), "bar");
  EXPECT_EQ(f.Str("rgb-name-00", "Rgb composite"), "Keep");  // another page's group is not rewritten
  EXPECT_FALSE(f.Has("Rgb composite", "rgb-name-01"));
  EXPECT_EQ(conf.rect_width, 92);  // this run keeps its window
}

TEST_F(InterfacePage, SavedSettingsSurviveARestart) {
  Start();
  Open();
  SetSpin(Interface()->height, 40);
  SetSpin(Interface()->range, 42);
  Save(1);
  Restart();
  EXPECT_EQ(conf.rect_height, 40);
  EXPECT_EQ(conf.rect_y, 474);
  EXPECT_EQ(conf.selected_range, 42);
  Open();
  EXPECT_EQ(SpinValue(Interface()->height), 40);
}

TEST_F(InterfacePage, UnwritableFileReportsFailureAndWritesNothing) {
  Start();
  Open();
  SetSpin(Interface()->width, 100);
  const std::string before = uitest::ReadFile(home.ini());
  // Its folder is a file: nothing can be written there.
  uitest::TempHome::Write(home / "config/blocked", "a file");
  conf.ini_path = home / "config/blocked/nubicorn.ini";
  LogCapture log;
  Save(1);
  EXPECT_EQ(Status(), "Operation failed");
  EXPECT_GE(log.count(), 1u);
  EXPECT_EQ(uitest::ReadFile(home / "config/blocked"), "a file");
  EXPECT_EQ(uitest::ReadFile(home.ini()), before);
}

TEST_F(InterfacePage, SavingTheRgbPageAsksForARestartFirst) {
  Start();
  Open(2);
  Answer answer;
  Save(2);
  EXPECT_EQ(answer.count, 1);
  EXPECT_EQ(answer.text, "Restart the program, please");
  EXPECT_NE(answer.status_then, "Save operation succeeded");
  EXPECT_EQ(Status(), "Save operation succeeded");
  // The other pages save without a message box.
  Answer none;
  Save(1);
  Save(0);
  EXPECT_EQ(none.count, 0);
}

TEST_F(InterfacePage, ClearAsksAndWritesThePresetsOnlyOnYes) {
  Start("[Mine]\nfoo=bar\n[Interface]\nrect-x=100\nrect-y=100\nrect-width=50\nrect-height=50\nzoom=3\n"
        "[Startup files]\nimage-file-00=x\n");
  Open();
  const auto before = uitest::Snapshot(home.path());
  {
    Answer no(GTK_RESPONSE_NO);
    EXPECT_TRUE(DlgSettingsRespond(dialog, GTK_RESPONSE_HELP));
    EXPECT_EQ(no.text, "Clear ALL the settings? Are you SURE?");
    EXPECT_EQ(no.count, 1);
  }
  EXPECT_EQ(uitest::Snapshot(home.path()), before);
  conf.unsaved |= CONF_SAVE_RGB;  // an edit of the recipes, not saved before the clear
  {
    Answer yes(GTK_RESPONSE_YES);
    EXPECT_TRUE(DlgSettingsRespond(dialog, GTK_RESPONSE_HELP));
    EXPECT_EQ(yes.count, 2);
    EXPECT_EQ(yes.text, "Restart program, please");
  }
  EXPECT_EQ(conf.unsaved, 0u);  // a later Save writes no pre-clear edit over the defaults
  Stored f(home.ini());
  EXPECT_EQ(f.Int("rect-x"), 2710);
  EXPECT_EQ(f.Int("rect-width"), 92);
  EXPECT_EQ(f.Int("zoom"), 10);
  EXPECT_EQ(f.Str("rgb-name-00", "Rgb composite"), "MPhys(Air)");
  EXPECT_FALSE(g_key_file_has_group(f.kf, "Startup files"));
  EXPECT_EQ(f.Str("foo", "Mine"), "bar");
  EXPECT_EQ(conf.rect_x, 100);  // memory keeps its values until the restart
  Restart();
  EXPECT_EQ(conf.rect_x, 2710);
  EXPECT_EQ(conf.zoom, 10);
  EXPECT_EQ(conf.recipes.size(), 7u);
}

TEST_F(InterfacePage, ClearThatCannotWriteSaysSo) {
  Start();
  Open();
  uitest::TempHome::Write(home / "config/blocked", "a file");
  conf.ini_path = home / "config/blocked/nubicorn.ini";
  Answer yes(GTK_RESPONSE_YES);
  LogCapture log;
  EXPECT_TRUE(DlgSettingsRespond(dialog, GTK_RESPONSE_HELP));
  EXPECT_EQ(yes.text, "Operation failed");
}

TEST_F(InterfacePage, MenuItemAndToolbarButtonOpenTheDialog) {
  Start();
  // The handler runs the dialog; a timer finds it and closes it.
  int seen = 0;
  auto close = +[](gpointer p) -> gboolean {
    GList* tops = gtk_window_list_toplevels();
    for (GList* l = tops; l; l = l->next)
      if (GTK_IS_DIALOG(l->data) && gtk_widget_get_visible(GTK_WIDGET(l->data)) &&
          g_strcmp0(gtk_window_get_title(GTK_WINDOW(l->data)), "Settings") == 0) {
        (*static_cast<int*>(p))++;
        gtk_dialog_response(GTK_DIALOG(l->data), GTK_RESPONSE_CLOSE);
      }
    g_list_free(tops);
    return G_SOURCE_CONTINUE;
  };
  guint source = g_timeout_add(50, close, &seen);
  g_signal_emit_by_name(canv.btn_settings, "clicked");
  EXPECT_EQ(seen, 1);
  GtkWidget* preferences = uitest::MenuItem(app.window, "Preferences");
  ASSERT_NE(preferences, nullptr);
  gtk_menu_item_activate(GTK_MENU_ITEM(preferences));
  EXPECT_EQ(seen, 2);
  g_source_remove(source);
}

}  // namespace
