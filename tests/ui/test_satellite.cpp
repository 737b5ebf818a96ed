// The satellite choice in the running program: the settings key, the Interface page, open by
// date and the monitor on rapid-scan cycles, contours seen from 9.5° E.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "canvas/canvanim.h"
#include "canvas/canvexport.h"
#include "canvas/canvmonitor.h"
#include "canvas/dlgdatetime.h"
#include "contours/cntrsgeom.h"
#include "dialogs/dlgrect.h"
#include "tests/support/cycles.h"
#include "tests/support/geomodel.h"
#include "tests/support/logcapture.h"
#include "contours/cntrs.h"
#include "tests/ui/test_canvas_support.h"
#include "tests/ui/test_cntrs_support.h"
#include "tests/ui/test_dlg_support.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* RSS_SLOT = "202204040740";

// One rapid-scan cycle of MSG3, generated once per build tree.
std::string RapidCycle(const std::string& slot = RSS_SLOT) {
  return testcycles::Cached("test-cycles-rss", slot, 5, false, Sat{3, SatService::Rapid});
}

using geomodel::ModelPixel;

class SatelliteCanvas : public canvtest::CanvasTest {};

class SatellitePage : public dlgtest::Dialog {};

}  // namespace

TEST_F(SatelliteCanvas, OpenByDateStepsFiveMinutesForRapidScan) {
  SlotTime from{}, to{};
  from.tm_year = to.tm_year = 2022;
  from.tm_mon = to.tm_mon = 3;
  from.tm_mday = to.tm_mday = 4;
  from.tm_hour = 7;
  to.tm_hour = 7;
  to.tm_min = 55;
  EXPECT_EQ(DlgDateTimeCount(from, to, 5), 12);
  EXPECT_EQ(DlgDateTimeCount(from, to, 15), 4);
  EXPECT_EQ(DlgDateTimeCount(from, to), 4);  // unchanged for the full disk
  SlotTime t{};
  t.tm_year = 2022;
  t.tm_mon = 11;
  t.tm_mday = 31;
  t.tm_hour = 23;
  t.tm_min = 55;
  DlgDateTimeNext(&t, 5);
  EXPECT_EQ(InfoSlotText(t), "202301010000");
  DlgDateTimeNext(&t, 5);
  EXPECT_EQ(InfoSlotText(t), "202301010005");
  // The dialog offers the minutes of the configured service.
  Build("[Interface]\nsatellite=MSG3_RSS\n");
  ASSERT_TRUE(StartupDone());
  GtkWidget* dialog = DlgDateTimeNew();
  ASSERT_NE(dialog, nullptr);
  DlgDateTime* d = DlgDateTimeGet(dialog);
  EXPECT_EQ(d->step, 5);
  GtkTreeModel* minutes = gtk_combo_box_get_model(GTK_COMBO_BOX(d->min_from));
  EXPECT_EQ(gtk_tree_model_iter_n_children(minutes, nullptr), 12);
  gtk_widget_destroy(dialog);
}

TEST_F(SatelliteCanvas, OpenByDateLoadsRapidScanSlotsFiveMinutesApart) {
  Build("[Interface]\nsatellite=MSG3_RSS\n");
  ASSERT_TRUE(StartupDone());
  fs::create_directories(canvtest::Input(home));
  for (const char* slot : {RSS_SLOT, "202204040745"}) {
    const std::string src = RapidCycle(slot);
    ASSERT_FALSE(src.empty());
    for (const auto& e : fs::directory_iterator(src))
      fs::copy_file(e.path(), canvtest::Input(home) + "/" + e.path().filename().string());
  }
  GtkWidget* dialog = DlgDateTimeNew();
  ASSERT_NE(dialog, nullptr);
  DlgDateTime* d = DlgDateTimeGet(dialog);
  for (GtkWidget* cal : {d->cal_from, d->cal_to}) {
    gtk_calendar_select_month(GTK_CALENDAR(cal), 3, 2022);
    gtk_calendar_select_day(GTK_CALENDAR(cal), 4);
  }
  for (GtkWidget* h : {d->hour_from, d->hour_to}) gtk_combo_box_set_active(GTK_COMBO_BOX(h), 7);
  gtk_combo_box_set_active(GTK_COMBO_BOX(d->min_from), 8);  // 07:40
  gtk_combo_box_set_active(GTK_COMBO_BOX(d->min_to), 9);    // 07:45
  gtk_toggle_tool_button_set_active(GTK_TOGGLE_TOOL_BUTTON(d->channel_buttons[9 - 1]), TRUE);
  DlgDateTimeLoad(nullptr, d);
  gtk_widget_destroy(dialog);
  uitest::Drain();
  ASSERT_EQ(SlotCount(), 2u);
  for (guint i = 0; i < 2; i++) {
    Slot* s = SlotAt(i);
    ASSERT_TRUE(s[9]) << i;
    EXPECT_EQ(s[9]->name, SatSegmentName(Sat{3, SatService::Rapid}, "IR_108", 7, i ? "202204040745" : RSS_SLOT));
    EXPECT_FALSE(s[9]->images[0].empty());
    EXPECT_DOUBLE_EQ(s[9]->sub_lon, 9.5);  // from the navigation record
  }
  // The "Time slot" scale steps through the two 5-minute slots.
  GtkAdjustment* adj = gtk_range_get_adjustment(GTK_RANGE(canv.range));
  EXPECT_NEAR(gtk_adjustment_get_upper(adj), 1.01, 1e-9);
  Select(9);
  gtk_range_set_value(GTK_RANGE(canv.range), 0);
  CanvSlotChanged(nullptr, nullptr);
  EXPECT_NE(LabelText().find("07:40"), std::string::npos) << LabelText();
  gtk_range_set_value(GTK_RANGE(canv.range), 1);
  CanvSlotChanged(nullptr, nullptr);
  EXPECT_NE(LabelText().find("07:45"), std::string::npos) << LabelText();
}

// Cycles of two services at one time, of one service at two: which slot each layer goes to.
TEST(SatelliteSlots, ServicesAtOneTimeAreSlotsOfTheirOwn) {
  struct Row {
    Sat sat;
    int id;
    const char* slot;
    guint slots;  // in the list after the insertion
    guint into;   // the slot it went to
  } rows[] = {
      {Sat{}, 9, "201607041200", 1, 0},
      {Sat{}, 1, "201607041200", 1, 0},            // the same cycle
      {Sat{3, SatService::Rapid}, 9, "201607041200", 2, 1},     // rapid scan at the same time
      {Sat{4, SatService::Full}, 9, "201607041200", 3, 2},    // another spacecraft
      {Sat{3, SatService::Rapid}, 1, "201607041200", 3, 1},
      {Sat{}, 9, "201607041215", 4, 3},
  };
  GList* list = nullptr;
  for (const Row& r : rows) {
    Layer* layer = InfoNew(r.id, r.slot, nullptr, &r.sat);
    GList* link = nullptr;
    InfoSlotInsert(&list, layer, &link);
    EXPECT_EQ(g_list_length(list), r.slots) << SatText(r.sat) << " " << r.id;
    EXPECT_EQ(g_list_position(list, link), gint(r.into)) << SatText(r.sat) << " " << r.id;
    Sat got;
    ASSERT_TRUE(InfoSlotSat(static_cast<Slot*>(link->data), &got));
    EXPECT_EQ(got, r.sat);
  }
  // A header that names its service counts; a bare one does not.
  Slot* empty = InfoSlotNew();
  empty[0] = new Layer{};
  Sat got;
  EXPECT_FALSE(InfoSlotSat(empty, &got));
  empty[0]->name = SatNamePrefix(Sat{3, SatService::Rapid});
  ASSERT_TRUE(InfoSlotSat(empty, &got));
  EXPECT_EQ(got, (Sat{3, SatService::Rapid}));
  InfoSlotDel(empty);
  g_list_free_full(list, InfoSlotDel);
}

TEST_F(SatelliteCanvas, OpenByDateOfAnotherServiceClosesTheSlotsOfTheFirst) {
  canvtest::Link(home, "201607041200");
  canvtest::Link(home, "201607041215");
  Build();
  ASSERT_TRUE(StartupDone());
  for (const char* slot : {RSS_SLOT, "202204040745"}) {
    const std::string src = RapidCycle(slot);
    ASSERT_FALSE(src.empty());
    for (const auto& e : fs::directory_iterator(src))
      fs::copy_file(e.path(), canvtest::Input(home) + "/" + e.path().filename().string());
  }
  // Two full-disk slots shown, as a user would have them.
  AddSlot("201607041200");
  AddSlot("201607041215");
  Select(9);
  gtk_range_set_value(GTK_RANGE(canv.range), 1);
  CanvSlotChanged(nullptr, nullptr);
  ASSERT_EQ(SlotCount(), 2u);
  ASSERT_TRUE(canv.image);
  // The user chooses rapid scan and opens two of its slots.
  conf.satellite = Sat{3, SatService::Rapid};
  GtkWidget* dialog = DlgDateTimeNew();
  ASSERT_NE(dialog, nullptr);
  DlgDateTime* d = DlgDateTimeGet(dialog);
  for (GtkWidget* cal : {d->cal_from, d->cal_to}) {
    gtk_calendar_select_month(GTK_CALENDAR(cal), 3, 2022);
    gtk_calendar_select_day(GTK_CALENDAR(cal), 4);
  }
  for (GtkWidget* h : {d->hour_from, d->hour_to}) gtk_combo_box_set_active(GTK_COMBO_BOX(h), 7);
  gtk_combo_box_set_active(GTK_COMBO_BOX(d->min_from), 8);
  gtk_combo_box_set_active(GTK_COMBO_BOX(d->min_to), 9);
  gtk_toggle_tool_button_set_active(GTK_TOGGLE_TOOL_BUTTON(d->channel_buttons[9 - 1]), TRUE);
  DlgDateTimeLoad(nullptr, d);
  gtk_widget_destroy(dialog);
  uitest::Drain();
  // The scale, the animation and the video read this list: rapid scan only.
  ASSERT_EQ(SlotCount(), 2u);
  for (guint i = 0; i < SlotCount(); i++) {
    Sat sat;
    ASSERT_TRUE(InfoSlotSat(SlotAt(i), &sat)) << i;
    EXPECT_EQ(sat, (Sat{3, SatService::Rapid})) << i;
  }
  EXPECT_TRUE(StatusHas("Closed 2 time slots of another satellite service: the time scale shows MSG3 rapid scan"));
  GtkAdjustment* adj = gtk_range_get_adjustment(GTK_RANGE(canv.range));
  EXPECT_NEAR(gtk_adjustment_get_upper(adj), 1.01, 1e-9);
  // Two steps of the animation show the two rapid-scan slots and nothing else.
  canv.play = 1;
  std::vector<std::string> labels;
  for (int i = 0; i < 2; i++) {
    CanvAnimStep(nullptr);
    labels.push_back(LabelText());
  }
  canv.play = 0;
  EXPECT_EQ(labels, (std::vector<std::string>{"2022-04-04 07:40 UTC", "2022-04-04 07:45 UTC"}));
}

TEST_F(SatelliteCanvas, AShownSlotOfAnotherServiceTakesTheScale) {
  canvtest::Link(home, "201607041200");
  const std::string src = RapidCycle();
  ASSERT_FALSE(src.empty());
  Build();
  ASSERT_TRUE(StartupDone());
  for (const auto& e : fs::directory_iterator(src))
    fs::copy_file(e.path(), canvtest::Input(home) + "/" + e.path().filename().string());
  AddSlot("201607041200");
  Select(9);
  // A rapid-scan cycle arrives (the monitor and the Startup files page insert it so) and is shown.
  const Sat rss{3, SatService::Rapid};
  Layer* info = InfoNew(9, RSS_SLOT, nullptr, &rss);
  ASSERT_TRUE(CanvOpen(&info));
  GList* link = nullptr;
  InfoSlotInsert(&conf.slots, info, &link);
  CanvScaleMarkup();
  ASSERT_EQ(SlotCount(), 2u);
  gtk_range_set_value(GTK_RANGE(canv.range), g_list_position(conf.slots, link));
  CanvSlotChanged(nullptr, nullptr);
  uitest::Drain();
  ASSERT_EQ(SlotCount(), 1u);
  EXPECT_EQ(SlotAt(0)[9], info);
  EXPECT_DOUBLE_EQ(gtk_range_get_value(GTK_RANGE(canv.range)), 0);
  EXPECT_NE(LabelText().find("07:40"), std::string::npos) << LabelText();
  EXPECT_TRUE(StatusHas("Closed 1 time slot of another satellite service: the time scale shows MSG3 rapid scan"));
}

TEST_F(SatelliteCanvas, MonitorTakesACompleteRapidScanCycle) {
  const std::string src = RapidCycle();
  ASSERT_FALSE(src.empty());
  Build("[Interface]\nsatellite=MSG3_RSS\n");
  ASSERT_TRUE(StartupDone());
  const std::string mnt = home / "import/mnt";
  fs::create_directories(mnt);
  fs::create_directories(canvtest::Input(home));
  for (const auto& e : fs::directory_iterator(src)) fs::copy_file(e.path(), mnt + "/" + e.path().filename().string());
  canv.monitor = 1;
  for (int tick = 0; tick < 2; tick++) {  // files are moved once seen unchanged over a tick
    EXPECT_TRUE(CanvMonitorStep(nullptr));
    WaitFor([] { return !CanvMonitorBusy(); });
  }
  ASSERT_EQ(SlotCount(), 1u);
  Slot* s = SlotAt(0);
  int loaded = 0;
  for (int id = 1; id <= CHANNEL_COUNT; id++) loaded += s[id] && !s[id]->images[1].empty();
  EXPECT_EQ(loaded, CHANNEL_COUNT);
  EXPECT_EQ(s[0]->slot, RSS_SLOT);
  // Segment 6 went with the cycle into the data folder.
  EXPECT_TRUE(fs::exists(canvtest::Input(home) + "/" + SatSegmentName(Sat{3, SatService::Rapid}, "IR_108", 6, RSS_SLOT)));
  for (const auto& e : fs::directory_iterator(mnt)) ADD_FAILURE() << "left: " << e.path();
  canv.monitor = 0;
}

TEST_F(SatelliteCanvas, MonitorWaitsForSegmentSixOfARapidScanCycle) {
  const std::string src = RapidCycle();
  ASSERT_FALSE(src.empty());
  // A window that reaches into segment 6.
  Build("[Interface]\nsatellite=MSG3_RSS\nrect-x=1500\nrect-y=1200\nrect-width=200\nrect-height=100\n");
  ASSERT_TRUE(StartupDone());
  const std::string mnt = home / "import/mnt";
  fs::create_directories(mnt);
  fs::create_directories(canvtest::Input(home));
  for (const auto& e : fs::directory_iterator(src))
    if (e.path().filename().string().find("-000006___-") == std::string::npos)
      fs::copy_file(e.path(), mnt + "/" + e.path().filename().string());
  canv.monitor = 1;
  for (int tick = 0; tick < 2; tick++) {
    EXPECT_TRUE(CanvMonitorStep(nullptr));
    WaitFor([] { return !CanvMonitorBusy(); });
  }
  EXPECT_EQ(SlotCount(), 0u);  // the epilogue is there, segment 6 not yet
  canv.monitor = 0;
}

TEST_F(SatelliteCanvas, MsgThreeNamesOfTheMonitorAreThoseOfBefore) {
  const std::vector<std::string> files = CanvMonitorCycleFiles("201607041200");
  EXPECT_EQ(files, CanvMonitorCycleFiles(Sat{}, "201607041200"));
  ASSERT_EQ(files.size(), 11u * 8 + 24 + 2);
  EXPECT_EQ(files.front(), "H-000-MSG3__-MSG3________-VIS006___-000001___-201607041200-C_");
  EXPECT_EQ(files.back(), "H-000-MSG3__-MSG3________-_________-EPI______-201607041200-__");
}

TEST_F(SatelliteCanvas, ContoursFollowTheLongitudeOfTheShownImage) {
  const std::string src = RapidCycle();
  ASSERT_FALSE(src.empty());
  fs::create_directories(home / "import/Shp");
  // A short line over Cornwall, inside the view from 0° and from 9.5° E.
  ASSERT_TRUE(cntrstest::WriteShapes(home / "import/Shp/line.shp", SHPT_ARC,
                                     {cntrstest::Shape{{{{-3.0, 51.0}, {-2.9, 51.2}}}, "L"}}));
  Build("[Interface]\nrect-x=1500\nrect-y=250\nrect-width=300\nrect-height=160\n"
        "[Startup files]\ncontour-file-00=line.shp\n");
  ASSERT_TRUE(StartupDone());
  auto first = [this](double* x, double* y) {
    if (!conf.contours) return false;
    const auto* entry = static_cast<const CntrsFile*>(conf.contours->data);
    if (!entry || !entry->cntrs || !entry->cntrs->lines || entry->cntrs->lines->len == 0) return false;
    const GArray* a = static_cast<const GArray*>(g_ptr_array_index(entry->cntrs->lines, 0));
    *x = g_array_index(a, float, 0);
    *y = g_array_index(a, float, 1);
    return true;
  };
  double x = 0, y = 0, ex = 0, ey = 0;
  ASSERT_TRUE(WaitFor([&] { return first(&x, &y); }));
  // No image yet: the view of the configured full disk, 0°.
  cntrstest::ExpectedImageXY(51.0, -3.0, &ex, &ey);
  EXPECT_NEAR(x, ex - 1500, 0.05);
  EXPECT_NEAR(y, ey - 250, 0.05);
  // A rapid-scan image is shown: the line moves to where 9.5° E sees it.
  conf.satellite = Sat{3, SatService::Rapid};
  fs::create_directories(canvtest::Input(home));
  for (const auto& e : fs::directory_iterator(src))
    fs::copy_file(e.path(), canvtest::Input(home) + "/" + e.path().filename().string());
  AddSlot(RSS_SLOT);
  Select(9);
  ASSERT_TRUE(canv.image);
  ASSERT_TRUE(first(&x, &y));
  cntrstest::ExpectedImageXY(51.0, -3.0 - 9.5, &ex, &ey);  // the same geometry turned by 9.5°
  EXPECT_NEAR(x, ex - 1500, 0.05);
  EXPECT_NEAR(y, ey - 250, 0.05);
  EXPECT_GT(std::fabs(x - (1790.19 - 1500)), 100);
}

TEST(SatelliteExport, ExportedDegreesAreThoseOfTheShownLayersLongitude) {
  uitest::TempHome home;
  const std::string path = home / "points.txt";
  cv::Mat mask(3, 3, CV_8UC1, cv::Scalar(1));
  std::string err;
  ASSERT_TRUE(CanvExportWrite(path, mask, 1600, 300, &err, 9.5)) << err;
  std::ifstream f(path);
  std::string header, first;
  std::getline(f, header);
  std::getline(f, first);
  double lon = 0, lat = 0;
  ASSERT_EQ(std::sscanf(first.c_str(), "%lf,%lf", &lon, &lat), 2);
  // Display pixel (0, 0) is the window's first grid pixel, a third of it in: column 3712 - 1600
  // - (0.5 / 3 - 0.5), line alike. The model point of those degrees must be that pixel.
  double mc = 0, ml = 0;
  ModelPixel(lat, lon, 9.5, &mc, &ml);
  EXPECT_NEAR(mc, 3712 - 1600 - (0.5 / 3 - 0.5), 0.1);
  EXPECT_NEAR(ml, 3712 - 300 - (0.5 / 3 - 0.5), 0.1);
}

TEST(SatelliteContours, VerticesLandWhereThe9Point5EastViewSeesThem) {
  const CntrsView rss{0, 0, 3712, 3712, 9.5}, full{0, 0, 3712, 3712};
  for (const auto& p : {std::pair{48.85, 2.35}, {59.33, 18.07}, {38.72, -9.14}, {52.52, 13.40}}) {
    double x = 0, y = 0, mc = 0, ml = 0, x0 = 0, y0 = 0;
    ASSERT_TRUE(CntrsProject(p.second, p.first, rss, &x, &y));
    ModelPixel(p.first, p.second, 9.5, &mc, &ml);
    EXPECT_NEAR(x, 3712 - mc, 0.05);
    EXPECT_NEAR(y, 3712 - ml, 0.05);
    ASSERT_TRUE(CntrsProject(p.second, p.first, full, &x0, &y0));
    EXPECT_GT(std::fabs(x - x0), 100);
  }
}

TEST_F(SatellitePage, ShowsAndSavesTheChoice) {
  Start("[Interface]\nrect-x=2710\nrect-y=464\nrect-width=92\nrect-height=60\n");
  Open();
  DlgInterface* s = Interface();
  ASSERT_NE(s, nullptr);
  ASSERT_NE(s->satellite, nullptr);
  EXPECT_STREQ(gtk_combo_box_get_active_id(GTK_COMBO_BOX(s->satellite)), "MSG3");
  const double lon0 = gtk_spin_button_get_value(GTK_SPIN_BUTTON(s->east));
  const ConfRect before = conf.rect_next.value_or(ConfRect{conf.rect_x, conf.rect_y, conf.rect_width, conf.rect_height});
  gtk_combo_box_set_active_id(GTK_COMBO_BOX(s->satellite), "MSG3_RSS");
  uitest::Drain();
  EXPECT_EQ(conf.satellite, (Sat{3, SatService::Rapid}));
  // The same window seen from 9.5° E: its centre's longitude is what that view gives.
  double lat = 0, lon = 0;
  ASSERT_TRUE(DlgRectCentre(before, &lat, &lon, 9.5));
  EXPECT_NEAR(gtk_spin_button_get_value(GTK_SPIN_BUTTON(s->east)), lon, 0.006);
  EXPECT_GT(std::fabs(lon - lon0), 1);
  const ConfRect after = conf.rect_next.value_or(ConfRect{conf.rect_x, conf.rect_y, conf.rect_width, conf.rect_height});
  EXPECT_EQ(after.x, before.x);  // the pixels stay
  EXPECT_EQ(after.y, before.y);
  Save(1);
  EXPECT_NE(uitest::ReadFile(home.ini()).find("satellite=MSG3_RSS\n"), std::string::npos);
  CloseDialog();
  Open();
  EXPECT_STREQ(gtk_combo_box_get_active_id(GTK_COMBO_BOX(Interface()->satellite)), "MSG3_RSS");
}
