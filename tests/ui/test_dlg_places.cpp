// places.csv lines and files, and the view rectangle arithmetic of the Interface page.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "data/geo.h"
#include "dialogs/dlgrect.h"
#include "dialogs/places.h"
#include "tests/support/logcapture.h"
#include "tests/ui/test_dlg_support.h"
#include "tests/ui/uitest.h"

namespace {

// One line of places.csv and the place it gives; name "<untouched>": refused, the place untouched.
struct LineCase {
  const char* line;
  std::string name;
  int x, y;
};
class PlaceLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(PlaceLine, NameAndTwoNumbersOrRefused) {
  const LineCase& k = GetParam();
  Place p{"<untouched>", -7, -7};
  EXPECT_EQ(PlaceParseLine(k.line, &p), k.name != "<untouched>") << k.line;
  EXPECT_EQ(p.name, k.name) << k.line;
  EXPECT_EQ(p.x, k.x) << k.line;
  EXPECT_EQ(p.y, k.y) << k.line;
}

const std::string NONE = "<untouched>";
INSTANTIATE_TEST_SUITE_P(
    Table, PlaceLine,
    ::testing::Values(LineCase{"Moscow,2756,494\n", "Moscow", 2756, 494}, LineCase{"Kyiv,2901,597\r\n", "Kyiv", 2901, 597},
                      LineCase{"Last,1,2", "Last", 1, 2},                // no line end at all
                      LineCase{"A,12abc, 34x\n", "A", 12, 34},           // read like atoi
                      LineCase{"B,-5,+6\n", "B", -5, 6},
                      LineCase{"C,99999999999999,1\n", "C", 2147483647, 1},  // saturates
                      LineCase{",,Lead,,100,200\n", "Lead", 100, 200},   // empty fields skipped
                      LineCase{"Name with spaces and \xc3\xbcmlaut,5,6\n", "Name with spaces and \xc3\xbcmlaut", 5, 6},
                      LineCase{"", NONE, -7, -7}, LineCase{"\n", NONE, -7, -7}, LineCase{"NoComma\n", NONE, -7, -7},
                      LineCase{"Half,12\n", NONE, -7, -7}, LineCase{"Half,12", NONE, -7, -7},
                      LineCase{",,,\n", NONE, -7, -7}, LineCase{"Bad,x,y\n", NONE, -7, -7},
                      LineCase{"Bad,1,\n", NONE, -7, -7}, LineCase{"Bad,,\n", NONE, -7, -7},
                      LineCase{"Bad,-,5\n", NONE, -7, -7}));

TEST(PlaceLineUtf8, InvalidNameIsMadeValid) {
  Place p;
  ASSERT_TRUE(PlaceParseLine("Bad\xff name,1,2\n", &p));
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

TEST(PlacesFile, MissingFileIsNull) {
  int skipped = -1;
  std::string error;
  EXPECT_EQ(PlacesRead("/nonexistent/places.csv", &skipped, &error), nullptr);
  EXPECT_EQ(skipped, 0);
  EXPECT_EQ(error, "not found");
}

// What may stand under the name places.csv instead of a text file: never read, never waited for.
struct SpecialCase {
  const char* kind;
  const char* error;
};
class PlacesSpecial : public ::testing::TestWithParam<SpecialCase> {};

TEST_P(PlacesSpecial, IsRefusedWithoutBlocking) {
  uitest::TempHome home;
  const std::string path = home / "places.csv";
  const std::string kind = GetParam().kind;
  if (kind == "fifo") {
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);  // no writer: a blocking open would never return
  } else if (kind == "folder") {
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
  } else if (kind == "device") {
    ASSERT_EQ(symlink("/dev/zero", path.c_str()), 0);  // endless if read to its end
  } else {  // one byte over the bound, sparse
    uitest::TempHome::Write(path, "");
    ASSERT_EQ(truncate(path.c_str(), PLACES_BYTES_MAX + 1), 0);
  }
  dlgtest::Watchdog guard(20, "PlacesRead on a " + kind);
  std::string error;
  int skipped = -1;
  EXPECT_EQ(PlacesRead(path, &skipped, &error), nullptr);
  EXPECT_EQ(error, GetParam().error);
  EXPECT_EQ(skipped, 0);
}

INSTANTIATE_TEST_SUITE_P(Table, PlacesSpecial,
                         ::testing::Values(SpecialCase{"fifo", "it is not a regular file"},
                                           SpecialCase{"folder", "it is not a regular file"},
                                           SpecialCase{"device", "it is not a regular file"},
                                           SpecialCase{"large", "it is larger than 64 MB"}),
                         [](const auto& info) { return std::string(info.param.kind); });

TEST(DlgRect, PlaceCentresTheRectangleWithTruncatingHalves) {
  const ConfRect r{0, 0, 92, 60};
  const ConfRect p = DlgRectAtPlace(r, 2756, 494);
  EXPECT_EQ(p.x, 2710);
  EXPECT_EQ(p.y, 464);
  EXPECT_EQ(p.width, 92);
  const ConfRect odd = DlgRectAtPlace(ConfRect{0, 0, 93, 61}, 2756, 494);
  EXPECT_EQ(odd.x, 2756 - 46);
  EXPECT_EQ(odd.y, 494 - 30);
}

TEST(DlgRect, ResizeKeepsTheCentre) {
  const ConfRect r{2710, 464, 92, 60};
  EXPECT_EQ(DlgRectResize(r, 100, true).x, 2706);
  EXPECT_EQ(DlgRectResize(r, 93, true).x, 2710);  // (92 - 93) / 2 truncates to 0
  EXPECT_EQ(DlgRectResize(r, 91, true).x, 2710);
  EXPECT_EQ(DlgRectResize(r, 50, false).y, 469);
  EXPECT_EQ(DlgRectResize(r, 50, false).x, 2710);
}

TEST(DlgRect, CheckAcceptsTheWholeDisk) {
  EXPECT_EQ(DlgRectCheck({2710, 464, 92, 60}), DlgRectFault::kNone);
  EXPECT_EQ(DlgRectCheck({0, 0, 3712, 928}), DlgRectFault::kNone);
  EXPECT_EQ(DlgRectCheck({0, 2784, 3712, 928}), DlgRectFault::kNone);
  EXPECT_EQ(DlgRectCheck({1, 0, 3712, 928}), DlgRectFault::kOutside);
  EXPECT_EQ(DlgRectCheck({0, 2785, 3712, 928}), DlgRectFault::kOutside);
  EXPECT_EQ(DlgRectCheck({-1, 0, 10, 10}), DlgRectFault::kOutside);
  EXPECT_EQ(DlgRectCheck({0, -1, 10, 10}), DlgRectFault::kOutside);
  EXPECT_EQ(DlgRectCheck({5, 5, 0, 10}), DlgRectFault::kOutside);
  EXPECT_EQ(DlgRectCheck({5, 5, 10, 0}), DlgRectFault::kOutside);
  EXPECT_EQ(DlgRectCheck({2147483000, 5, 2147483000, 10}), DlgRectFault::kOutside);  // no overflow
}

TEST(DlgRect, CentreRoundTripsWithinAPixel) {
  const ConfRect r{2710, 464, 92, 60};
  double lat = 0, lon = 0;
  ASSERT_TRUE(DlgRectCentre(r, &lat, &lon));
  // The sub-satellite point is at column and line 1856: this one lies north-east of it.
  EXPECT_GT(lat, 30);
  EXPECT_GT(lon, 20);
  ConfRect back{};
  ASSERT_EQ(DlgRectAtCentre(r, lat, lon, true, &back), DlgRectFault::kNone);
  EXPECT_LE(std::abs(back.x - 2710), 1);
  EXPECT_EQ(back.y, 464);  // only x moves
  ASSERT_EQ(DlgRectAtCentre(r, lat, lon, false, &back), DlgRectFault::kNone);
  EXPECT_LE(std::abs(back.y - 464), 1);
  EXPECT_EQ(back.x, 2710);
}

TEST(DlgRect, SubSatellitePointIsTheGridCentre) {
  // Latitude 0, longitude 0 projects to column and line 1856 (half the grid, from first principles).
  ConfRect out{};
  ASSERT_EQ(DlgRectAtCentre({0, 0, 100, 100}, 0, 0, true, &out), DlgRectFault::kNone);
  EXPECT_LE(std::abs(out.x - (3712 - 1856 - 50)), 1);
  ASSERT_EQ(DlgRectAtCentre({0, 0, 100, 100}, 0, 0, false, &out), DlgRectFault::kNone);
  EXPECT_LE(std::abs(out.y - (3712 - 1856 - 50)), 1);
}

TEST(DlgRect, OffTheDiskLeavesTheOutputAlone) {
  ConfRect out{1, 2, 3, 4};
  EXPECT_EQ(DlgRectAtCentre({2710, 464, 92, 60}, 85, 0, false, &out), DlgRectFault::kOffDisk);
  EXPECT_EQ(DlgRectAtCentre({2710, 464, 92, 60}, 0, 170, true, &out), DlgRectFault::kOffDisk);
  EXPECT_EQ(out.x, 1);
  EXPECT_EQ(out.height, 4);
  double lat = 99, lon = 99;
  EXPECT_FALSE(DlgRectCentre({-5000, -5000, 10, 10}, &lat, &lon));  // a corner of space
  EXPECT_EQ(lat, 99);
}

}  // namespace
