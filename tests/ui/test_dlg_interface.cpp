// The Settings dialog frame, its Interface page and its Save across pages, driven through the
// real widgets; places.csv and the view rectangle arithmetic behind the page.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>

#include "data/geo.h"
#include "dialogs/dlgrect.h"
#include "dialogs/places.h"
#include "tests/support/logcapture.h"
#include "tests/ui/test_dlg_support.h"

namespace {

using namespace dlgtest;

constexpr const char* PLACES = "Moscow,2756,494\n\nNoFields\nHalf,12\n,,Lead,100abc,200\r\nBad,x,y\nEdge,10,10\n";
const std::string SAVED = "Save operation succeeded";
const std::string RESTART = "Restart the program, please";

class InterfacePage : public Dialog {
 protected:
  void WithPlaces(const std::string& text) { uitest::TempHome::Write(home / "import/Shp/places.csv", text); }
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
  void Enter(GtkWidget* entry, const char* text) {
    gtk_entry_set_text(GTK_ENTRY(entry), text);
    g_signal_emit_by_name(entry, "activate");
    uitest::Drain();
  }
  std::vector<double> Params(const Stored& f) {
    gsize len = 0;
    gdouble* p = g_key_file_get_double_list(f.kf, "Rgb composite", "rgb-params-00", &len, nullptr);
    std::vector<double> out(p, p + len);
    g_free(p);
    return out;
  }
};

// The controls show the settings; close and a deleted window write nothing. places.csv missing
// or no regular file gives no place box and the status bar says why; once read, choosing a place
// centres the window.
TEST_F(InterfacePage, ControlsShowTheSettingsAndPlacesCentreTheWindow) {
  Start("[Interface]\nrect-x=2710\nrect-y=464\nrect-width=92\nrect-height=60\nselected-range=25\ncharset=1\n"
        "field-name=NAME_EN\ncanvas-font=Sans 9\n");
  Open();
  EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(dialog)), GTK_WINDOW(app.window));
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
  EXPECT_EQ(s->places, nullptr);
  EXPECT_EQ(Status(), "File \"places.csv\" not found in \"import/Shp\"");
  const auto before = uitest::Snapshot(home.path());
  EXPECT_FALSE(DlgSettingsRespond(dialog, GTK_RESPONSE_CLOSE));
  EXPECT_FALSE(DlgSettingsRespond(dialog, GTK_RESPONSE_DELETE_EVENT));
  EXPECT_EQ(uitest::Snapshot(home.path()), before);

  fs::create_directories(home / "import/Shp");
  ASSERT_EQ(mkfifo((home / "import/Shp/places.csv").c_str(), 0600), 0);  // no writer
  {
    Watchdog guard(20);
    Open();
  }
  EXPECT_EQ(Interface()->places, nullptr);
  EXPECT_EQ(Status(), "File \"places.csv\" in \"import/Shp\" is not read: it is not a regular file");
  EXPECT_FALSE(conf.places);

  fs::remove(home / "import/Shp/places.csv");
  WithPlaces(PLACES);
  LogCapture log;
  Open();
  s = Interface();
  ASSERT_NE(s->places, nullptr);
  ASSERT_TRUE(conf.places);
  ASSERT_EQ(conf.places->len, 3u);  // Moscow, Lead, Edge
  EXPECT_NE(Status().find("3 line(s) skipped"), std::string::npos) << Status();
  EXPECT_EQ(log.count(), 3u);
  EXPECT_EQ(gtk_tree_model_iter_n_children(PlaceModel(), nullptr), 3);
  SetSpin(s->width, 80);
  ChoosePlace(0);
  ASSERT_EQ(GeoPixelToLatLon(3712 - 2756, 3712 - 494, &lat, &lon), 0);
  EXPECT_NEAR(SpinValue(s->east), lon, 1e-9);
  EXPECT_NEAR(SpinValue(s->north), lat, 1e-9);
  // Back from degrees to pixels may be one off, never more.
  EXPECT_LE(std::abs(Next().x - (2756 - 40)), 1);
  EXPECT_LE(std::abs(Next().y - 464), 1);
  // A place whose window would leave the grid changes nothing.
  const ConfRect kept = Next();
  ChoosePlace(2);
  EXPECT_EQ(Next().x, kept.x);
  EXPECT_EQ(Next().y, kept.y);
  EXPECT_NE(Status().find("leave the disk"), std::string::npos);
  // Typed letters anywhere in a name offer it ("EA" finds "Lead"), whatever their case.
  GtkEntryCompletion* completion = gtk_entry_get_completion(GTK_ENTRY(s->places));
  gtk_entry_set_text(GTK_ENTRY(s->places), "EA");
  gtk_entry_completion_complete(completion);
  gchar* offered = gtk_entry_completion_compute_prefix(completion, "Le");
  EXPECT_STREQ(offered, "Lead");
  g_free(offered);
  // Enter on a typed name chooses that place (case aside); an unknown name says so.
  SetSpin(s->east, SpinValue(s->east) - 1.0);  // away from the place first
  ASSERT_GT(std::abs(Next().x - (2756 - 40)), 5);
  Enter(s->places, "moscow");
  EXPECT_LE(std::abs(Next().x - (2756 - 40)), 1);
  Enter(s->places, "Atlantis");
  EXPECT_NE(Status().find("No place of that name"), std::string::npos) << Status();
  // The file is read once per run: a changed file is not read again.
  WithPlaces("Other,1000,400\n");
  Open();
  EXPECT_EQ(conf.places->len, 3u);
}

// Size and centre edits keep the centre or move it, only as pending values for the next start;
// a window that would leave the disk, or a centre off the Earth, is refused.
TEST_F(InterfacePage, SizeAndCentreEditsArePendingAndRefusedOffTheDisk) {
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
  SetSpin(s->width, 100);  // (92 - 100) / 2 = -4
  EXPECT_EQ(Next().x, 2706);
  EXPECT_EQ(LabelText(s->x_label), "2706");
  SetSpin(s->width, 101);  // (100 - 101) / 2 truncates to 0
  EXPECT_EQ(Next().x, 2706);
  SetSpin(s->height, 50);  // (60 - 50) / 2 = 5
  EXPECT_EQ(Next().y, 469);
  EXPECT_EQ(Next().height, 50);
  SetSpin(s->width, 3712);  // 850 to 4562 does not fit
  EXPECT_EQ(SpinValue(s->width), 101);
  EXPECT_EQ(Next().width, 101);
  // The running program keeps the rectangle it was started with; the dialog shows the pending one.
  EXPECT_EQ(conf.rect_x, 2710);
  EXPECT_EQ(conf.rect_width, 92);
  EXPECT_EQ(conf.rect_height, 60);
  Open();
  s = Interface();
  EXPECT_EQ(SpinValue(s->width), 101);
  EXPECT_EQ(LabelText(s->x_label), "2706");

  // Image x grows toward the east, image y toward the south; each spin button moves its own axis.
  const double lat = SpinValue(s->north);
  SetSpin(s->east, SpinValue(s->east) + 1);
  EXPECT_GT(Next().x, 2706);
  EXPECT_EQ(Next().y, 469);
  EXPECT_EQ(LabelText(s->x_label), std::to_string(Next().x));
  const int x = Next().x;
  SetSpin(s->north, lat + 1);
  EXPECT_LT(Next().y, 469);
  EXPECT_EQ(Next().x, x);
  const ConfRect moved = Next();
  SetSpin(s->north, 85);  // beyond the limb seen from the satellite
  EXPECT_NE(Status().find("off the Earth"), std::string::npos) << Status();
  EXPECT_DOUBLE_EQ(SpinValue(s->north), lat + 1);
  EXPECT_EQ(Next().y, moved.y);
  SetSpin(s->north, 20);  // south of the old northern strip: taken
  EXPECT_GT(Next().y, 928);
  EXPECT_EQ(conf.rect_x, 2710);  // still pending
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
  Enter(s->field, "ELEVENCHARS");
  EXPECT_EQ(conf.field_name, "NAME_RU");
  EXPECT_NE(Status().find("field name"), std::string::npos) << Status();
  Enter(s->field, "");
  EXPECT_EQ(conf.field_name, "NAME_RU");
}

// Saving one page writes only that page: the view captured when the Interface page is built is
// no edit of the user's. Saving the Interface page writes it with that view, leaves the other
// groups and the running window as they were, and asks for no restart.
TEST_F(InterfacePage, SaveWritesOnlyThePageAndKeepsOtherGroups) {
  Start("# mine\n[Mine]\nfoo=bar\n[Interface]\nmy-key=7\nzoom=4\nscroll-x=9\n[Rgb composite]\nrgb-name-00=Keep\n"
        "rgb-channels-00=1;0;2;0;3;0\nrgb-params-00=0;1;1;0;1;1;0;1;1\n");
  CanvZoomIn(nullptr, nullptr);  // step 12: "zoom" 5 is recorded when the page is built
  Open(2);
  {
    Answer restart;
    Save(2);
  }
  EXPECT_EQ(Status(), SAVED);
  {
    Stored f(home.ini());
    EXPECT_EQ(f.Int("zoom"), 4);
    EXPECT_EQ(f.Int("scroll-x"), 9);
    EXPECT_FALSE(f.Has("Interface", "rect-x"));
  }
  Show(1);
  SetSpin(Interface()->width, 100);
  gtk_combo_box_set_active(GTK_COMBO_BOX(Interface()->charset), 1);
  Answer none;
  Save(1);
  EXPECT_EQ(none.count, 0);
  EXPECT_EQ(Status(), SAVED);
  Stored f(home.ini());
  ASSERT_TRUE(f.loaded);
  EXPECT_EQ(f.Int("rect-x"), 2706);
  EXPECT_EQ(f.Int("rect-width"), 100);
  EXPECT_EQ(f.Int("rect-y"), 464);
  EXPECT_EQ(f.Int("zoom"), 5);
  EXPECT_EQ(f.Int("charset"), 1);
  EXPECT_EQ(f.Int("my-key"), 7);
  EXPECT_EQ(f.Str("foo", "Mine"), "bar");
  EXPECT_EQ(f.Str("rgb-name-00", "Rgb composite"), "Keep");  // another page's group is not rewritten
  EXPECT_FALSE(f.Has("Rgb composite", "rgb-name-01"));
  EXPECT_FALSE(f.Has("Startup files", "image-file-00"));
  EXPECT_EQ(conf.rect_width, 92);  // this run keeps its window
}

// The user's report: Width and Height on "Interface", a gamma on "Rgb composite", Save there.
// Both are written; a restart is asked for only once the file is written; the next start reads them.
TEST_F(InterfacePage, InterfaceAndRgbEditsAreBothWritten) {
  Start("[Mine]\nkeep=1\n");
  Open(1);
  SetSpin(Interface()->width, 100);
  SetSpin(Interface()->height, 40);
  Show(2);
  SetSpin(Rgb()->params[2], 1.7);  // red gamma of the shown recipe
  SetSpin(Rgb()->params[8], 0.5);  // blue gamma
  // First the file cannot be written: nothing is, the failure is reported, every edit stays pending.
  const std::string before = uitest::ReadFile(home.ini()), ini = conf.ini_path;
  Block();
  {
    LogCapture log;
    Save(2);
    EXPECT_EQ(Status(), "Operation failed");
    EXPECT_GE(log.count(), 1u);
  }
  EXPECT_EQ(uitest::ReadFile(home / "config/blocked"), "a file");
  EXPECT_EQ(uitest::ReadFile(home.ini()), before);
  EXPECT_EQ(conf.unsaved, CONF_SAVE_INTERFACE | CONF_SAVE_RGB);
  conf.ini_path = ini;
  Answer restart;
  Save(2);
  EXPECT_EQ(restart.count, 1);
  EXPECT_EQ(restart.text, RESTART);
  EXPECT_NE(restart.status_then.rfind(SAVED, 0), 0u) << restart.status_then;
  EXPECT_EQ(Status(), SAVED + ": Interface, Rgb composite");
  EXPECT_EQ(conf.unsaved, 0u);
  Stored f(home.ini());
  ASSERT_TRUE(f.loaded);
  EXPECT_EQ(f.Int("rect-width"), 100);
  EXPECT_EQ(f.Int("rect-x"), 2706);  // the centre kept
  EXPECT_EQ(f.Int("rect-height"), 40);
  EXPECT_EQ(f.Int("rect-y"), 474);
  const std::vector<double> p = Params(f);
  ASSERT_EQ(p.size(), 9u);
  EXPECT_DOUBLE_EQ(p[2], 1.7);
  EXPECT_DOUBLE_EQ(p[8], 0.5);
  EXPECT_EQ(f.Str("keep", "Mine"), "1");
  Restart();
  EXPECT_EQ(conf.rect_width, 100);
  EXPECT_EQ(conf.rect_y, 474);
  EXPECT_DOUBLE_EQ(conf.recipes[0].params[2], 1.7);
}

TEST_F(InterfacePage, ClosingTellsWhatIsUnsavedAndALaterSaveWritesIt) {
  Start();
  Open(1);
  SetSpin(Interface()->width, 100);
  EXPECT_FALSE(DlgSettingsRespond(dialog, GTK_RESPONSE_CLOSE));
  EXPECT_EQ(Status(), "Settings not saved yet (Interface): Save writes them");
  Open(0);
  Answer none;
  Save(0);
  EXPECT_EQ(none.count, 0);
  EXPECT_EQ(Status(), SAVED + ": Startup files, Interface");
  EXPECT_EQ(Stored(home.ini()).Int("rect-width"), 100);
  EXPECT_FALSE(DlgSettingsRespond(dialog, GTK_RESPONSE_DELETE_EVENT));
  EXPECT_EQ(Status(), SAVED + ": Startup files, Interface");  // nothing left unsaved
}

// A value typed but not taken (no Enter, focus not left) is taken by Save as leaving the field
// would; when the page cannot take it nothing at all is written and the message names it.
TEST_F(InterfacePage, TypedValuesAreTakenOrStopTheWholeSave) {
  const struct {
    const char* field;  // "width", "height", "field", "gamma"
    const char* text;
    const char* message;  // empty: taken and saved
  } cases[] = {
      {"width", "5000", "Interface, Reference / Width: 5000 is outside 0 to 3712"},
      {"width", "3000", "Interface, Reference / Width: 3000 is refused"},
      {"height", "1000", "Interface, Reference / Height: 1000 is refused"},  // from y -6
      {"field", "ELEVENCHARS", "Interface, Contours / Field name: \"ELEVENCHARS\" is no field name"},
      {"gamma", "12", "Rgb composite, Red / gamma: 12 is outside 0 to 10"},
      {"width", "120", ""},
      {"field", "NAME_EN", ""},
      {"gamma", "2.5", ""},
  };
  Start();
  for (const auto& k : cases) {
    SCOPED_TRACE(::testing::Message() << k.field << "=" << k.text);
    const std::string field = k.field;
    Open(1);
    SetSpin(Interface()->height, 50);  // an edit that must not be half-saved
    GtkWidget* widget = field == "width"    ? Interface()->width
                        : field == "height" ? Interface()->height
                        : field == "field"  ? Interface()->field
                                            : Rgb()->params[2];
    gtk_entry_set_text(GTK_ENTRY(widget), k.text);
    const std::string before = uitest::ReadFile(home.ini());
    Answer box;
    Save(1);
    uitest::Drain();
    if (*k.message) {
      EXPECT_NE(box.text.find(k.message), std::string::npos) << box.text;
      EXPECT_EQ(box.text.rfind("Nothing saved: ", 0), 0u) << box.text;
      EXPECT_EQ(uitest::ReadFile(home.ini()), before);
      EXPECT_NE(conf.unsaved & CONF_SAVE_INTERFACE, 0u);
      continue;
    }
    EXPECT_EQ(box.text.find("Nothing saved"), std::string::npos) << box.text;  // a restart note at most
    Stored f(home.ini());
    EXPECT_EQ(f.Int("rect-height"), 50);
    if (field == "field") {
      EXPECT_EQ(f.Str("field-name"), k.text);
    } else {
      EXPECT_DOUBLE_EQ(field == "width" ? f.Int("rect-width") : Params(f)[2], std::atof(k.text));
    }
    EXPECT_EQ(conf.unsaved, 0u);
  }
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
  EXPECT_FALSE(g_key_file_has_group(f.kf, "Startup files"));
  EXPECT_EQ(f.Str("foo", "Mine"), "bar");
  EXPECT_EQ(conf.rect_x, 100);  // memory keeps its values until the restart
  Restart();
  EXPECT_EQ(conf.rect_x, 2710);
  EXPECT_EQ(conf.recipes.size(), 7u);
  // A clear that cannot write says so.
  Open();
  Block();
  Answer yes(GTK_RESPONSE_YES);
  LogCapture log;
  EXPECT_TRUE(DlgSettingsRespond(dialog, GTK_RESPONSE_HELP));
  EXPECT_EQ(yes.text, "Operation failed");
}

// One line of places.csv and the place it gives; name "-": refused, the place untouched.
TEST(PlaceLine, NameAndTwoNumbersOrRefused) {
  const struct {
    const char* line;
    std::string name;
    int x = -7, y = -7;
  } cases[] = {
      {"Moscow,2756,494\n", "Moscow", 2756, 494}, {"Kyiv,2901,597\r\n", "Kyiv", 2901, 597},
      {"Last,1,2", "Last", 1, 2},                         // no line end at all
      {"A,12abc, 34x\n", "A", 12, 34},                    // read like atoi
      {"B,-5,+6\n", "B", -5, 6}, {"C,99999999999999,1\n", "C", 2147483647, 1},  // saturates
      {",,Lead,,100,200\n", "Lead", 100, 200},            // empty fields skipped
      {"Name with spaces and \xc3\xbcmlaut,5,6\n", "Name with spaces and \xc3\xbcmlaut", 5, 6},
      {"", "-"}, {"\n", "-"}, {"NoComma\n", "-"}, {"Half,12\n", "-"}, {"Half,12", "-"}, {",,,\n", "-"},
      {"Bad,x,y\n", "-"}, {"Bad,1,\n", "-"}, {"Bad,,\n", "-"}, {"Bad,-,5\n", "-"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.line);
    Place p{"-", -7, -7};
    EXPECT_EQ(PlaceParseLine(k.line, &p), k.name != "-");
    EXPECT_EQ(p.name, k.name);
    EXPECT_EQ(p.x, k.x);
    EXPECT_EQ(p.y, k.y);
  }
  Place p;
  ASSERT_TRUE(PlaceParseLine("Bad\xff name,1,2\n", &p));  // an invalid name is made valid
  EXPECT_TRUE(g_utf8_validate(p.name.c_str(), -1, nullptr));
  EXPECT_EQ(p.name.substr(0, 3), "Bad");
}

TEST(PlacesFile, KeepsOrderSkipsBadAndOverLongLines) {
  uitest::TempHome home;
  const std::string longname(120, 'n');
  const std::string exact(PLACE_LINE_MAX - 4, 'e');  // "e...e,1,2" is exactly 99 characters
  uitest::TempHome::Write(home / "places.csv", "First,1,2\n" + longname + ",3,4\n\nMissing\n" + exact +
                                                   ",1,2\r\nSecond,5,6\n" + longname + longname + ",7,8\nThird,9,10");
  LogCapture log;
  int skipped = -1;
  GPtrArray* a = PlacesRead(home / "places.csv", &skipped);
  ASSERT_NE(a, nullptr);
  std::vector<std::string> names;
  for (guint i = 0; i < a->len; i++) names.push_back(static_cast<Place*>(g_ptr_array_index(a, i))->name);
  EXPECT_EQ(names, (std::vector<std::string>{"First", exact, "Second", "Third"}));
  EXPECT_EQ(static_cast<Place*>(g_ptr_array_index(a, 3))->y, 10);
  EXPECT_EQ(skipped, 3);  // two over-long lines and "Missing"; the empty line is no fault
  EXPECT_EQ(log.count(), 3u);
  EXPECT_TRUE(log.contains("places.csv:2(place)"));
  EXPECT_TRUE(log.contains("places.csv:4(place)"));
  g_ptr_array_unref(a);
}

// What may stand under the name places.csv instead of a text file: never read, never waited for.
TEST(PlacesSpecial, IsRefusedWithoutBlocking) {
  for (auto [kind, want] : {std::pair{"missing", "not found"}, {"fifo", "it is not a regular file"},
                            {"folder", "it is not a regular file"}, {"device", "it is not a regular file"},
                            {"large", "it is larger than 64 MB"}}) {
    SCOPED_TRACE(kind);
    uitest::TempHome home;
    const std::string path = home / "places.csv", k = kind;
    if (k == "fifo") {
      ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);  // no writer: a blocking open would never return
    } else if (k == "folder") {
      ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    } else if (k == "device") {
      ASSERT_EQ(symlink("/dev/zero", path.c_str()), 0);  // endless if read to its end
    } else if (k == "large") {  // one byte over the bound, sparse
      uitest::TempHome::Write(path, "");
      ASSERT_EQ(truncate(path.c_str(), PLACES_BYTES_MAX + 1), 0);
    }
    Watchdog guard(20);
    std::string error;
    int skipped = -1;
    EXPECT_EQ(PlacesRead(path, &skipped, &error), nullptr);
    EXPECT_EQ(error, want);
    EXPECT_EQ(skipped, 0);
  }
}

TEST(DlgRect, PlaceCentresTheRectangleWithTruncatingHalves) {
  const ConfRect p = DlgRectAtPlace(ConfRect{0, 0, 92, 60}, 2756, 494);
  EXPECT_EQ(p.x, 2710);
  EXPECT_EQ(p.y, 464);
  EXPECT_EQ(p.width, 92);
  const ConfRect odd = DlgRectAtPlace(ConfRect{0, 0, 93, 61}, 2756, 494);
  EXPECT_EQ(odd.x, 2756 - 46);
  EXPECT_EQ(odd.y, 494 - 30);
}

// Degrees and back move the centre by a pixel at most, one axis at a time; latitude and
// longitude 0 are the grid centre (column and line 1856); a point off the disk leaves the output alone.
TEST(DlgRect, CentreRoundTripsWithinAPixelAndOffTheDiskIsRefused) {
  const ConfRect r{2710, 464, 92, 60};
  double lat = 0, lon = 0;
  ASSERT_TRUE(DlgRectCentre(r, &lat, &lon));
  EXPECT_GT(lat, 30);  // north-east of the sub-satellite point
  EXPECT_GT(lon, 20);
  ConfRect back{};
  ASSERT_EQ(DlgRectAtCentre(r, lat, lon, true, &back), DlgRectFault::kNone);
  EXPECT_LE(std::abs(back.x - 2710), 1);
  EXPECT_EQ(back.y, 464);
  ASSERT_EQ(DlgRectAtCentre(r, lat, lon, false, &back), DlgRectFault::kNone);
  EXPECT_LE(std::abs(back.y - 464), 1);
  EXPECT_EQ(back.x, 2710);
  ConfRect out{};
  ASSERT_EQ(DlgRectAtCentre({0, 0, 100, 100}, 0, 0, true, &out), DlgRectFault::kNone);
  EXPECT_LE(std::abs(out.x - (3712 - 1856 - 50)), 1);
  ASSERT_EQ(DlgRectAtCentre({0, 0, 100, 100}, 0, 0, false, &out), DlgRectFault::kNone);
  EXPECT_LE(std::abs(out.y - (3712 - 1856 - 50)), 1);
  out = ConfRect{1, 2, 3, 4};
  EXPECT_EQ(DlgRectAtCentre(r, 85, 0, false, &out), DlgRectFault::kOffDisk);
  EXPECT_EQ(DlgRectAtCentre(r, 0, 170, true, &out), DlgRectFault::kOffDisk);
  EXPECT_EQ(out.x, 1);
  EXPECT_EQ(out.height, 4);
  lat = 99;
  EXPECT_FALSE(DlgRectCentre({-5000, -5000, 10, 10}, &lat, &lon));  // a corner of space
  EXPECT_EQ(lat, 99);
}

}  // namespace
