// Windows anywhere on the disk: the segments each service can give a window, the files the
// monitor waits for and moves, start-up and open by date naming what a window lacks, the
// Interface page refusing rapid scan in the south, and positions seen from 45.5° E.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>

#include "canvas/canvmonitor.h"
#include "canvas/canvreadout.h"
#include "canvas/dlgdatetime.h"
#include "dialogs/dlgrect.h"
#include "settings/confrules.h"
#include "settings/confwindow.h"
#include "tests/support/geomodel.h"
#include "tests/ui/test_monitor_support.h"
#include "tests/ui/test_dlg_support.h"

namespace {

namespace fs = std::filesystem;
using geomodel::ModelPixel;

constexpr Sat FULL{}, RAPID{3, SatService::Rapid}, IODC{2, SatService::Iodc};
constexpr const char* SLOT = "201607041200";

// Over central Africa from 0°: lines 1713..1912 of the disk, segments 4 and 5.
constexpr ConfRect AFRICA{1800, 1800, 200, 200};

std::string WindowIni(const ConfRect& r, const char* extra = "") {
  return "[Interface]\nrect-x=" + std::to_string(r.x) + "\nrect-y=" + std::to_string(r.y) +
         "\nrect-width=" + std::to_string(r.width) + "\nrect-height=" + std::to_string(r.height) + "\n" + extra;
}

struct WindowCase {
  const char* label;
  Sat sat;
  ConfRect window;
  std::pair<int, int> segments;  // of channels 1..11 the service can give
  const char* fault;             // a part of the refusal, "" when none
};

class WindowRule : public ::testing::TestWithParam<WindowCase> {};

TEST_P(WindowRule, SegmentsTheServiceGivesAndTheRefusal) {
  const WindowCase& k = GetParam();
  EXPECT_TRUE(ConfRectValid(k.window));
  EXPECT_EQ(ConfWindowSegments(k.sat, k.window, false), k.segments);
  const std::string fault = ConfWindowFault(k.sat, k.window);
  if (*k.fault == '\0') {
    EXPECT_EQ(fault, "");
  } else {
    EXPECT_NE(fault.find(k.fault), std::string::npos) << fault;
    EXPECT_NE(fault.find("segments 6 to 8 only"), std::string::npos) << fault;
  }
  // Rapid-scan HRV stops at segment 16, the south end of its segment 6.
  const auto hrv = ConfWindowSegments(k.sat, k.window, true);
  if (k.sat == RAPID && hrv.first <= hrv.second) {
    EXPECT_GE(hrv.first, 16);
  }
  // The files named are those segments of that service, south first.
  const std::vector<std::string> files = ConfWindowFiles(k.sat, k.window, 9, SLOT);
  ASSERT_EQ(int(files.size()), std::max(k.segments.second - k.segments.first + 1, 0));
  for (size_t i = 0; i < files.size(); i++)
    EXPECT_EQ(files[i], SatSegmentName(k.sat, "IR_108", k.segments.first + int(i), SLOT));
}

INSTANTIATE_TEST_SUITE_P(
    Table, WindowRule,
    ::testing::Values(WindowCase{"default", FULL, {2710, 464, 92, 60}, {7, 7}, ""},
                      WindowCase{"africa", FULL, AFRICA, {4, 5}, ""},
                      WindowCase{"whole_disk", FULL, {0, 0, 3712, 3712}, {1, 8}, ""},
                      WindowCase{"iodc_africa", IODC, AFRICA, {4, 5}, ""},
                      WindowCase{"rapid_default", RAPID, {2710, 464, 92, 60}, {7, 7}, ""},
                      WindowCase{"rapid_north_edge", RAPID, {0, 0, 3712, 1391}, {6, 8}, ""},
                      WindowCase{"rapid_africa", RAPID, AFRICA, {0, -1}, "needs segments 4 to 5"},
                      WindowCase{"rapid_straddles_5_6", RAPID, {0, 1350, 100, 100}, {6, 6}, "needs segments 5 to 6"}),
    [](const ::testing::TestParamInfo<WindowCase>& i) { return std::string(i.param.label); });

// What the monitor moves of a cycle: all the service sends, each name once, of that service.
TEST(DiskMonitorFiles, TheWholeCycleMovesTheWindowsSegmentsCompleteIt) {
  const struct {
    Sat sat;
    size_t moved;
  } rows[] = {{FULL, 11 * 8 + 24 + 2}, {IODC, 11 * 8 + 24 + 2}, {RAPID, 11 * 3 + 9 + 2}};
  for (const auto& r : rows) {
    const std::vector<std::string> all = CanvMonitorCycleFiles(r.sat, SLOT);
    EXPECT_EQ(all.size(), r.moved) << SatText(r.sat);
    EXPECT_EQ(std::set<std::string>(all.begin(), all.end()).size(), all.size());
    for (const std::string& f : all) EXPECT_EQ(f.compare(0, 26, SatNamePrefix(r.sat)), 0) << f;
    EXPECT_EQ(all.back(), SatEpilogueName(r.sat, SLOT));
    // The window's files complete the cycle; each is one the cycle moves.
    const int32_t w[4] = {AFRICA.x, AFRICA.y, AFRICA.width, AFRICA.height};
    const std::vector<std::string> need = CanvMonitorCycleFiles(r.sat, SLOT, w);
    for (const std::string& f : need) EXPECT_NE(std::find(all.begin(), all.end(), f), all.end()) << f;
    EXPECT_EQ(need.back(), SatEpilogueName(r.sat, SLOT));
    const size_t ir = r.sat == RAPID ? 0 : 11 * 2;  // segments 4 and 5, which rapid scan never sends
    const size_t hrv = size_t(std::max(0, ConfWindowSegments(r.sat, AFRICA, true).second -
                                              ConfWindowSegments(r.sat, AFRICA, true).first + 1));
    EXPECT_EQ(need.size(), ir + hrv + 2) << SatText(r.sat);
  }
}

// A place listed as seen from 0° lands where the other service sees the same spot.
TEST(DiskPlaces, PlacesOfTheViewFromZeroMoveWithTheService) {
  // Near the limb of the 0° view a whole pixel there is several seen from 45.5° E: the listed
  // position's rounding bounds what the move can give.
  const struct {
    const char* name;
    double lat, lon, pixels;
  } places[] = {{"Mumbai", 19.08, 72.88, 3.5}, {"Nairobi", -1.29, 36.82, 1.5}, {"Cairo", 30.04, 31.24, 1.5},
                {"Lagos", 6.52, 3.38, 1.5}};
  for (const auto& p : places)
    for (double sub : {9.5, 45.5}) {
      double c0 = 0, l0 = 0, c = 0, l = 0;
      ModelPixel(p.lat, p.lon, 0, &c0, &l0);
      ModelPixel(p.lat, p.lon, sub, &c, &l);
      gint32 x = 0, y = 0;
      ASSERT_TRUE(DlgRectPlaceSeen(gint32(std::lround(3712 - c0)), gint32(std::lround(3712 - l0)), sub, &x, &y));
      EXPECT_LE(std::fabs(x - (3712 - c)), p.pixels) << p.name << " from " << sub;
      EXPECT_LE(std::fabs(y - (3712 - l)), p.pixels) << p.name << " from " << sub;
    }
  gint32 x = -1, y = -1;
  double c = 0, l = 0;
  ModelPixel(-22.9, -43.2, 0, &c, &l);  // Rio de Janeiro: beyond the limb seen from 45.5° E
  EXPECT_FALSE(DlgRectPlaceSeen(gint32(3712 - c), gint32(3712 - l), 45.5, &x, &y));
  EXPECT_EQ(x, -1);
}

// The readout over India names the degrees 45.5° E sees there.
TEST(DiskIodc, ReadoutUsesTheLayersLongitude) {
  double c = 0, l = 0;
  ModelPixel(20.0, 78.0, 45.5, &c, &l);
  const int rx = int(3712 - c) - 46, ry = int(3712 - l) - 30;
  Layer layer;
  layer.id = 9;
  layer.sub_lon = 45.5;  // what the navigation record of an IODC segment gives
  layer.images[0] = cv::Mat(60, 92, CV_16UC1, cv::Scalar(500));
  layer.images[1] = cv::Mat(180, 276, CV_8UC3, cv::Scalar(1, 2, 3));
  for (const auto& [px, py] : {std::pair{0, 0}, {138, 90}, {275, 179}}) {
    char text[200];
    ASSERT_GT(CanvReadoutText(&layer, nullptr, rx, ry, px + 0.5, py + 0.5, text, sizeof text), 0u);
    double lat = 0, lon = 0;
    char ns = 0, ew = 0;
    ASSERT_EQ(std::sscanf(text, "%lf\u00b0%c %lf\u00b0%c", &lat, &ns, &lon, &ew), 4) << text;
    lat = ns == 'S' ? -lat : lat;
    lon = ew == 'W' ? -lon : lon;
    double mc = 0, ml = 0;
    ModelPixel(lat, lon, 45.5, &mc, &ml);
    // Two decimals of a degree are a fifth of a pixel here.
    EXPECT_NEAR(mc, 3712 - rx - ((px + 0.5) / 3 - 0.5), 0.3) << text;
    EXPECT_NEAR(ml, 3712 - ry - ((py + 0.5) / 3 - 0.5), 0.3) << text;
  }
}

class DiskPage : public dlgtest::Dialog {};

// Rapid scan cannot fill a window south of its segment 6: the page refuses the window with that
// service, and the service with that window.
TEST_F(DiskPage, RapidScanRefusesTheSouth) {
  Start(WindowIni({2710, 464, 92, 60}, "satellite=MSG3_RSS\n"));
  Open();
  const double lat = dlgtest::SpinValue(Interface()->north);
  dlgtest::SetSpin(Interface()->north, 5.0);
  EXPECT_NE(Status().find("Rapid scan: segments 6 to 8 only"), std::string::npos) << Status();
  EXPECT_DOUBLE_EQ(dlgtest::SpinValue(Interface()->north), lat);
  EXPECT_FALSE(conf.rect_next);
  // Full disk first, the window south, then rapid scan again: refused, the combo goes back.
  gtk_combo_box_set_active_id(GTK_COMBO_BOX(Interface()->satellite), "MSG3");
  uitest::Drain();
  dlgtest::SetSpin(Interface()->north, 5.0);
  ASSERT_TRUE(conf.rect_next);
  gtk_combo_box_set_active_id(GTK_COMBO_BOX(Interface()->satellite), "MSG3_RSS");
  uitest::Drain();
  EXPECT_EQ(conf.satellite, FULL);
  EXPECT_STREQ(gtk_combo_box_get_active_id(GTK_COMBO_BOX(Interface()->satellite)), "MSG3");
  EXPECT_NE(Status().find("move it north"), std::string::npos) << Status();
}

class DiskLoads : public canvtest::CanvasTest {};

// Start-up entries of a window whose segments are not there, or that the service cannot fill,
// say so instead of a bare "not loaded".
TEST_F(DiskLoads, StartUpNamesWhatTheWindowNeeds) {
  const struct {
    const char* extra;
    const char* said;
  } rows[] = {{"", "Start-up file not loaded (the view window needs segments 4 to 5): "},
              {"satellite=MSG3_RSS\n", "Rapid scan: segments 6 to 8 only"}};
  canvtest::Link(home, SLOT);  // the northern strip only
  for (const auto& r : rows) {
    const Sat sat = *r.extra ? RAPID : FULL;
    home.WriteIni(WindowIni(AFRICA, r.extra) + "[Startup files]\nimage-file-00=" + SatSegmentName(sat, "IR_108", 7, SLOT) +
                  "\n");
    Build();
    ASSERT_TRUE(StartupDone());
    EXPECT_EQ(SlotCount(), 0u);
    EXPECT_TRUE(std::any_of(status.begin(), status.end(),
                            [&](const std::string& s) { return s.find(r.said) != std::string::npos; }))
        << r.said;
    Close();
    app = App{};
    canv = Canv{};
    conf = Conf{};
    status.clear();
  }
}

// Open by date over Africa without its segments names the first one missing.
TEST_F(DiskLoads, OpenByDateNamesTheMissingSegment) {
  canvtest::Link(home, SLOT);
  Build(WindowIni(AFRICA));
  ASSERT_TRUE(StartupDone());
  GtkWidget* dialog = DlgDateTimeNew();
  ASSERT_NE(dialog, nullptr);
  DlgDateTime* d = DlgDateTimeGet(dialog);
  for (GtkWidget* cal : {d->cal_from, d->cal_to}) {
    gtk_calendar_select_month(GTK_CALENDAR(cal), 6, 2016);
    gtk_calendar_select_day(GTK_CALENDAR(cal), 4);
  }
  for (GtkWidget* h : {d->hour_from, d->hour_to}) gtk_combo_box_set_active(GTK_COMBO_BOX(h), 12);
  for (GtkWidget* m : {d->min_from, d->min_to}) gtk_combo_box_set_active(GTK_COMBO_BOX(m), 0);
  gtk_toggle_tool_button_set_active(GTK_TOGGLE_TOOL_BUTTON(d->channel_buttons[9 - 1]), TRUE);
  DlgDateTimeLoad(nullptr, d);
  gtk_widget_destroy(dialog);
  uitest::Drain();
  EXPECT_TRUE(StatusHas("IR 10.8 of 2016-07-04 12:00 needs segments 4 to 5: " + SatSegmentName(FULL, "IR_108", 4, SLOT) +
                        " not in import/SEVIRI_data"));
  EXPECT_TRUE(StatusHas("Operation failed"));
}

// The monitor over Africa waits for segments 4 and 5 (not for the strip), then moves the
// whole cycle.
class DiskMonitor : public montest::Monitor {
  std::string Ini() override { return WindowIni(AFRICA); }
};

TEST_F(DiskMonitor, WaitsForTheWindowsSegments) {
  Drop(SLOT);
  Arrive();
  EXPECT_TRUE(fs::is_empty(Target())) << "the strip and the epilogue alone complete nothing";
  // The southern segments arrive (each a whole file of its channel under the segment's name).
  const int32_t w[4] = {AFRICA.x, AFRICA.y, AFRICA.width, AFRICA.height};
  std::vector<std::string> arrived;
  for (const std::string& f : CanvMonitorCycleFiles(FULL, SLOT, w)) {
    if (fs::exists(Mnt() + "/" + f)) continue;
    std::string like = f;
    like.replace(36, 6, f.compare(26, 3, "HRV") == 0 ? "000019" : "000007");
    fs::copy_file(canvtest::Cycle(SLOT) + "/" + like, Mnt() + "/" + f);
    arrived.push_back(f);
  }
  ASSERT_FALSE(arrived.empty());
  Arrive();
  for (const std::string& f : arrived) EXPECT_TRUE(fs::exists(Target() + "/" + f)) << f;
  EXPECT_EQ(Count(Mnt()), 0);
}

}  // namespace
