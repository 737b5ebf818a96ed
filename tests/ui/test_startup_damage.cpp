// Start-up loading with damaged segments, as received files arrive: a segment cut short costs
// only its lost lines and the status names it; a layer that cannot be made names the segment
// that failed, not the entry's reference segment.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "tests/ui/test_canvas_support.h"

namespace {

using canvtest::CanvasTest;
using canvtest::Name;

constexpr const char* SLOT_A = "201607041200";
constexpr int NATURAL = RECIPE_FIRST_ID + 3;  // channels 3, 2, 1

// The default settings with the view window replaced and the names as image-file-00, -01, ...
std::string Ini(const std::vector<std::string>& names, int y, int height) {
  std::string ini = uitest::ReadFile(std::string(NUBICORN_SOURCE_DIR) + "/resources/nubicorn.ini");
  // Columns 1800..1891 stay on the disk up to its northern edge.
  for (auto [from, to] : {std::pair{std::string("rect-x=2710"), std::string("rect-x=1800")},
                          std::pair{std::string("rect-y=464"), "rect-y=" + std::to_string(y)},
                          std::pair{std::string("rect-height=60"), "rect-height=" + std::to_string(height)}})
    ini.replace(ini.find(from), from.size(), to);
  ini += "\n[Startup files]\n";
  for (size_t i = 0; i < names.size(); i++) ini += ConfNumberedKey("image-file", int(i)) + "=" + names[i] + "\n";
  return ini;
}

class StartupDamage : public CanvasTest {
 protected:
  // Replaces the linked segment by a copy of its first `keep` bytes (the link is shared with
  // the cached cycle, which must stay whole).
  void Cut(int id, int segment, double keep) {
    const std::string f = canvtest::Input(home) + "/" + SynthSegmentName(id, segment, SLOT_A);
    const std::string bytes = uitest::ReadFile(f);
    ASSERT_FALSE(bytes.empty());
    std::filesystem::remove(f);
    uitest::TempHome::Write(f, bytes.substr(0, size_t(double(bytes.size()) * keep)));
  }
};

// VIS006 segment 8 cut to half its length, a window across segments 8 and 7: VIS 0.6 and the
// Natural composite are made, the lost lines are black, and the status names segment 8.
TEST_F(StartupDamage, ACutSegmentCostsOnlyItsLinesAndIsNamed) {
  canvtest::Link(home, SLOT_A);
  Cut(1, 8, 0.5);
  Build(Ini({Name(3, SLOT_A), Name(2, SLOT_A), Name(1, SLOT_A)}, 100, 500));
  ASSERT_TRUE(StartupDone());
  uitest::Drain();
  ASSERT_EQ(SlotCount(), 1u);
  Slot* a = SlotAt(0);
  ASSERT_NE(a[1], nullptr);
  ASSERT_NE(a[NATURAL], nullptr) << "the composite of the damaged channel is made too";
  const std::string seg8 = SynthSegmentName(1, 8, SLOT_A);
  const std::string want = "Start-up file damaged: " + seg8 + "(short: ";
  ASSERT_FALSE(status.empty());
  EXPECT_EQ(status.back().rfind(want, 0), 0u) << status.back();
  int lines = -1;
  std::sscanf(status.back().c_str() + want.size(), "%d", &lines);
  ASSERT_GT(lines, 100);
  ASSERT_LT(lines, 464);
  // North-up row y is line 463 - y of segment 8 for y < 464: rows of lines a block row (16)
  // past those decoded are black, the rows of the lines decoded and of segment 7 are not.
  const cv::Mat& counts = a[1]->images[0];
  ASSERT_EQ(counts.rows, 500);
  int black = 0, lost = 0;
  for (int r = 0; r < counts.rows; r++) {
    const int raw = 463 - (100 + r);  // line of segment 8 when >= 0
    if (raw < lines + 16) continue;
    lost++;
    black += cv::countNonZero(counts.row(r)) == 0;
  }
  EXPECT_GT(lost, 50);
  EXPECT_EQ(black, lost);
  EXPECT_GT(cv::countNonZero(counts.rowRange(300, 364)), 30 * 92) << "segment 8's lines read are there";
  EXPECT_GT(cv::countNonZero(counts.rowRange(400, 500)), 90 * 92) << "segment 7 is there";
}

// Segment 8 unreadable and a window inside it: the layer cannot be made, and the message names
// segment 8 (the file that failed), not the entry's segment 7.
TEST_F(StartupDamage, ALayerNotMadeNamesTheSegmentThatFailed) {
  canvtest::Link(home, SLOT_A);
  const std::string seg8 = SynthSegmentName(1, 8, SLOT_A);
  std::filesystem::remove(canvtest::Input(home) + "/" + seg8);
  uitest::TempHome::Write(canvtest::Input(home) + "/" + seg8, "H-000 not a segment");
  Build(Ini({Name(9, SLOT_A), Name(1, SLOT_A)}, 100, 200));
  ASSERT_TRUE(StartupDone());
  uitest::Drain();
  ASSERT_EQ(SlotCount(), 1u);
  EXPECT_NE(SlotAt(0)[9], nullptr);
  EXPECT_EQ(SlotAt(0)[1], nullptr);
  EXPECT_EQ(status.back(), "Start-up file not loaded: " + seg8 + "(input: first record is not a primary header)");
}

}  // namespace
