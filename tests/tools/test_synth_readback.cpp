// The generated cycle through the program's own readers: segment reader (plain and
// WT-compressed) and prologue reader. Decoding must give exactly the counts that were written.
#include <gtest/gtest.h>

#include <cstdio>

#include "data/prologue.h"
#include "data/supl.h"
#include "data/xrit.h"
#include "tests/support/logcapture.h"
#include "tests/tools/test_synth_support.h"

using namespace synthtest;

namespace {

constexpr const char* SLOT = "201607041200";

std::string Compressed() { return Cycles(SLOT, 1, 0.5, 1, true); }

std::vector<uint16_t> ReadCounts(const std::string& path, int nc) {
  SuplBytes packed = XritSegmentRead(path.c_str());
  if (packed.size() < size_t(nc) * 580) return {};
  std::vector<uint16_t> counts(size_t(nc) * 464);
  SuplUnpack10Bit(packed.data(), counts.data(), nc);
  return counts;
}

}  // namespace

TEST(SynthReadback, SegmentReaderGivesExactlyTheWrittenCounts) {
  LogCapture log;
  const std::string plain = Cycles(SLOT, 1, 0.5);
  for (auto [field, seg, nc] : {std::tuple{"VIS006___", 7, 3712}, {"IR_108___", 8, 3712},
                                {"IR_039___", 7, 3712}, {"HRV______", 19, 5568}, {"HRV______", 24, 5568}}) {
    SCOPED_TRACE(std::string(field) + " " + std::to_string(seg));
    std::vector<uint16_t> written = SegmentCounts(Segment(plain, field, seg, SLOT), nc);
    ASSERT_EQ(written.size(), size_t(nc) * 464);
    EXPECT_EQ(ReadCounts(Segment(plain, field, seg, SLOT), nc), written);
    EXPECT_EQ(ReadCounts(Segment(Compressed(), field, seg, SLOT), nc), written);
  }
  EXPECT_EQ(log.count(), 0u);
  // The compressed cycle is much smaller than the plain one.
  auto size = [](const std::string& p) { return ReadAll(p).size(); };
  EXPECT_LT(size(Segment(Compressed(), "IR_108___", 7, SLOT)) * 2, size(Segment(plain, "IR_108___", 7, SLOT)));
}

TEST(SynthReadback, PrologueReaderFindsTheHrvWindowAsWritten) {
  LogCapture log;
  for (const std::string& dir : {Cycles(SLOT, 1, 0.5), Compressed()}) {
    int32_t out[4] = {0, 0, 0, 0};
    std::string seg = Segment(dir, "HRV______", 19, SLOT);
    ASSERT_TRUE(LayerPrologueWindow(seg.c_str(), out));
    EXPECT_EQ(out[0], 7581);   // upper west column
    EXPECT_EQ(out[1], 11136);  // upper north line
    EXPECT_EQ(out[2], 2014);   // upper east column
    EXPECT_EQ(out[3], 8193);   // upper south line
  }
  EXPECT_EQ(log.count(), 0u);
  FILE* f = std::fopen((Cycles(SLOT, 1, 0.5) + "/H-000-MSG3__-MSG3________-_________-PRO______-201607041200-__").c_str(), "rb");
  ASSERT_NE(f, nullptr);
  Prologue p;
  EXPECT_EQ(PrologueRead(f, &p), 0);
  std::fclose(f);
  EXPECT_EQ(p.satellite_id, 323);
  EXPECT_EQ(p.grid_visir.lines, 3712);
  EXPECT_EQ(p.grid_hrv.columns, 11136);
  EXPECT_EQ(p.processing_direction, 1);
  EXPECT_EQ(p.calibration[8][0], 0.20503);
  EXPECT_EQ(p.calibration[8][1], -10.45676);
  EXPECT_EQ(p.coverage_hrv[6], 2014);
}
