// The generated files as another reader of the standard sees them: names, header records in
// order with their lengths and values, and the prologue and epilogue fields at their offsets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "tests/tools/test_synth_support.h"

using namespace synthtest;

namespace {

constexpr const char* SLOT = "201607041200";
constexpr uint32_t DAYS_20160704 = 21369;  // days from 1958-01-01

const char* const FIELDS[12] = {"VIS006___", "VIS008___", "IR_016___", "IR_039___",
                                "WV_062___", "WV_073___", "IR_087___", "IR_097___",
                                "IR_108___", "IR_120___", "IR_134___", "HRV______"};

std::string Dir() { return Cycles(SLOT, 1, 0.5); }

// The files of one slot in a folder (the cache may hold other slots too; another test process
// may be writing the same cycle: its temporaries are skipped).
std::set<std::string> Listing(const std::string& dir, const std::string& slot) {
  std::set<std::string> names;
  GDir* d = g_dir_open(dir.c_str(), 0, nullptr);
  while (const char* n = d ? g_dir_read_name(d) : nullptr)
    if (n[0] != '.' && std::string(n).find(slot) != std::string::npos) names.insert(n);
  if (d) g_dir_close(d);
  return names;
}

}  // namespace

TEST(SynthFiles, OneCycleHasExactlyTheDisseminatedNames) {
  std::set<std::string> want;
  for (int ch = 0; ch < 11; ch++)
    for (int seg : {7, 8})
      want.insert(std::string("H-000-MSG3__-MSG3________-") + FIELDS[ch] + "-0000" + char('0' + seg / 10) +
                  char('0' + seg % 10) + "___-201607041200-C_");
  for (int seg = 19; seg <= 24; seg++)
    want.insert("H-000-MSG3__-MSG3________-HRV______-0000" + std::to_string(seg) + "___-201607041200-C_");
  want.insert("H-000-MSG3__-MSG3________-_________-PRO______-201607041200-__");
  want.insert("H-000-MSG3__-MSG3________-_________-EPI______-201607041200-__");
  EXPECT_EQ(Listing(Dir(), SLOT), want);  // nothing more
  for (const std::string& n : want) EXPECT_EQ(n.size(), 61u) << n;
}

TEST(SynthFiles, SegmentHeadersAreTheRecordsOfRealFiles) {
  struct Case {
    int ch;  // 0-based index in FIELDS
    int seg;
    int nc;
    int32_t cfac, coff, loff;
    int planned_end;
  };
  const Case cases[] = {
      {8, 7, 3712, -13642337, 1856, 1856 - 464 * 6, 8},
      {0, 8, 3712, -13642337, 1856, 1856 - 464 * 7, 8},
      {11, 19, 5568, -40927014, 5566 - 2014 + 1, 5566 - 464 * 18, 24},
      {11, 24, 5568, -40927014, 5566 - 2014 + 1, 5566 - 464 * 23, 24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(FIELDS[c.ch]) + " segment " + std::to_string(c.seg));
    std::string path = Segment(Dir(), FIELDS[c.ch], c.seg, SLOT);
    std::vector<uint8_t> d = ReadAll(path);
    ASSERT_GT(d.size(), 6198u);
    auto recs = Records(d);
    std::vector<int> types, lengths;
    for (auto& r : recs) types.push_back(r.type), lengths.push_back(int(r.length));
    EXPECT_EQ(types, (std::vector<int>{0, 1, 2, 4, 5, 128, 129}));
    EXPECT_EQ(lengths, (std::vector<int>{16, 9, 51, 64, 10, 13, 6035}));

    // Primary: image data, total header length 6198, data field length in bits.
    EXPECT_EQ(d[3], 0);
    EXPECT_EQ(Be32(d, 4), 6198u);
    EXPECT_EQ(Be64(d, 8), uint64_t(c.nc) * 464 * 10);
    EXPECT_EQ(d.size(), 6198u + size_t(c.nc) * 580);
    // Image structure.
    EXPECT_EQ(d[19], 10);
    EXPECT_EQ(Be16(d, 20), uint32_t(c.nc));
    EXPECT_EQ(Be16(d, 22), 464u);
    EXPECT_EQ(d[24], 0);
    // Navigation.
    std::string proj(reinterpret_cast<const char*>(&d[28]), 32);
    EXPECT_EQ(proj, "GEOS(+000.0)                    ");
    EXPECT_EQ(BeI32(d, 60), c.cfac);
    EXPECT_EQ(BeI32(d, 64), c.cfac);
    EXPECT_EQ(BeI32(d, 68), c.coff);
    EXPECT_EQ(BeI32(d, 72), c.loff);
    // Annotation: the file's own name.
    std::string ann(reinterpret_cast<const char*>(&d[79]), 61);
    EXPECT_EQ(ann, path.substr(path.size() - 61));
    // Time stamp: CDS of the slot's day, within the repeat cycle.
    EXPECT_EQ(d[143], 0x40);
    EXPECT_EQ(Be16(d, 144), DAYS_20160704);
    uint32_t ms = Be32(d, 146);
    EXPECT_GE(ms, 12u * 3600000);
    EXPECT_LT(ms, 12u * 3600000 + 900000);
    // Segment identification.
    EXPECT_EQ(Be16(d, 153), 323u);
    EXPECT_EQ(d[155], c.ch + 1);
    EXPECT_EQ(Be16(d, 156), uint32_t(c.seg));
    EXPECT_EQ(Be16(d, 158), 1u);
    EXPECT_EQ(Be16(d, 160), uint32_t(c.planned_end));
    EXPECT_EQ(d[162], 0);
    // Line quality: 464 lines of the grid in order, acquired in time order, all valid.
    uint32_t prev_ms = 0;
    for (int l = 0; l < 464; l++) {
      size_t e = 166 + 13 * size_t(l);
      EXPECT_EQ(BeI32(d, e), 464 * (c.seg - 1) + l + 1);
      EXPECT_EQ(Be16(d, e + 4), DAYS_20160704);
      uint32_t t = Be32(d, e + 6);
      EXPECT_GE(t, prev_ms);
      prev_ms = t;
      EXPECT_EQ(d[e + 10], 1);
      if (HasFailure()) break;
    }
  }
}

TEST(SynthFiles, PrologueCarriesTheLevel15HeaderAtItsOffsets) {
  std::vector<uint8_t> d = ReadAll(Dir() + "/H-000-MSG3__-MSG3________-_________-PRO______-201607041200-__");
  ASSERT_GT(d.size(), 100u);
  // Primary header type 0, length 16, file type 128; then the annotation, 64 bytes.
  EXPECT_EQ(d[0], 0);
  EXPECT_EQ(Be16(d, 1), 16u);
  EXPECT_EQ(d[3], 128);
  EXPECT_EQ(d[16], 4);
  EXPECT_EQ(Be16(d, 17), 64u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&d[19]), 61),
            "H-000-MSG3__-MSG3________-_________-PRO______-201607041200-__");
  size_t hl = Be32(d, 4);
  size_t sum = 0;
  for (auto& r : Records(d)) sum += r.length;
  EXPECT_EQ(sum, hl);
  EXPECT_EQ(Be64(d, 8), 425461u * 8);
  ASSERT_EQ(d.size(), hl + 425461);

  auto at = [&](size_t off) { return hl + off; };
  EXPECT_EQ(Be16(d, at(0)), 323u);                  // satellite id
  EXPECT_EQ(BeF32(d, at(2)), 0.0f);                 // nominal longitude
  EXPECT_EQ(Be16(d, at(60134)), DAYS_20160704);     // true repeat cycle start
  EXPECT_EQ(Be32(d, at(60136)), 12u * 3600000);
  EXPECT_EQ(Be32(d, at(60146)), 12u * 3600000 + 762000);  // planned forward scan end
  EXPECT_EQ(Be32(d, at(60156)), 12u * 3600000 + 900000);  // planned repeat cycle end
  EXPECT_EQ(d[at(386892)], 1);                      // type of projection
  EXPECT_EQ(BeI32(d, at(386897)), 3712);            // VIS/IR reference grid lines, columns
  EXPECT_EQ(BeI32(d, at(386901)), 3712);
  EXPECT_NEAR(BeF32(d, at(386905)), 3.0004, 1e-3);
  EXPECT_EQ(BeI32(d, at(386914)), 11136);           // HRV grid
  EXPECT_EQ(BeI32(d, at(386918)), 11136);
  EXPECT_EQ(BeI32(d, at(386931)), 1);               // planned VIS/IR coverage
  EXPECT_EQ(BeI32(d, at(386935)), 3712);
  EXPECT_EQ(BeI32(d, at(386939)), 1);
  EXPECT_EQ(BeI32(d, at(386943)), 3712);
  // HRV planned coverage: lower S, N, E, W, upper S, N, E, W.
  const int32_t hrv[8] = {1, 8192, 1, 5568, 8193, 11136, 2014, 7581};
  for (int i = 0; i < 8; i++) EXPECT_EQ(BeI32(d, at(386947 + 4 * i)), hrv[i]) << i;
  EXPECT_EQ(BeI32(d, at(386971)), 2014);            // the upper east column
  EXPECT_EQ(BeI32(d, at(386971)) + 5567, BeI32(d, at(386975)));
  EXPECT_EQ(d[at(386979)], 1);                      // image processing direction: south to north
  // Calibration slope and offset of each channel.
  const double slope[12] = {0.02295, 0.02922, 0.02328, 0.00366, 0.0083, 0.03862,
                            0.12674, 0.10396, 0.20503, 0.22231, 0.15761, 0};
  const double offset[12] = {-1.17046, -1.49001, -1.18724, -0.18659, -0.42422, -1.96972,
                             -6.46392, -5.30202, -10.45676, -11.33788, -8.03795, 0};
  for (int ch = 0; ch < 12; ch++) {
    EXPECT_EQ(BeF64(d, at(387065 + 16 * ch)), slope[ch]) << ch + 1;
    EXPECT_EQ(BeF64(d, at(387065 + 16 * ch + 8)), offset[ch]) << ch + 1;
  }
  // Geometric processing follows the radiometric processing (which ends at 407808): 336 bytes
  // of focal-plane distances, then the Earth model.
  EXPECT_EQ(d[at(407808 + 336)], 2);
  EXPECT_EQ(BeF64(d, at(407808 + 337)), 6378.169);
  EXPECT_EQ(BeF64(d, at(407808 + 345)), 6356.5838);
  EXPECT_EQ(BeF64(d, at(407808 + 353)), 6356.5838);
}

TEST(SynthFiles, EpilogueCarriesTheActualHrvCoverage) {
  std::vector<uint8_t> e = ReadAll(Dir() + "/H-000-MSG3__-MSG3________-_________-EPI______-201607041200-__");
  std::vector<uint8_t> p = ReadAll(Dir() + "/H-000-MSG3__-MSG3________-_________-PRO______-201607041200-__");
  ASSERT_GT(e.size(), 100u);
  ASSERT_GT(p.size(), 100u);
  EXPECT_EQ(e[3], 129);
  EXPECT_EQ(e[16], 4);
  EXPECT_EQ(Be16(e, 17), 64u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&e[19]), 61),
            "H-000-MSG3__-MSG3________-_________-EPI______-201607041200-__");
  size_t hl = Be32(e, 4), phl = Be32(p, 4);
  EXPECT_EQ(e.size(), hl + Be64(e, 8) / 8);
  // Trailer: version, satellite id, scanning summary (14), radiometer behaviour (12), reception
  // statistics (4 x 12 x 4), image validity (12 x 6), VIS/IR coverage (16), HRV coverage (32).
  EXPECT_EQ(Be16(e, hl + 1), 323u);
  size_t visir = hl + 1 + 2 + 14 + 12 + 192 + 72, hrv = visir + 16;
  EXPECT_EQ(BeI32(e, visir + 4), 3712);
  for (int i = 0; i < 8; i++)
    EXPECT_EQ(BeI32(e, hrv + 4 * i), BeI32(p, phl + 386947 + 4 * i)) << i;
  EXPECT_EQ(BeI32(e, hrv + 24), 2014);
}
