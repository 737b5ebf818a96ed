// The generator's files as another reader of the standard sees them: the 10-bit packing and
// file writing of the writer, the header records in order with their lengths and values, the prologue and
// epilogue fields at their offsets, and the counts through the program's own segment reader.
#include <gtest/gtest.h>

#include "data/fileinfo.h"
#include "data/layer.h"
#include "data/prologue.h"
#include "data/supl.h"
#include "data/xrit.h"
#include "tests/tools/test_synth_support.h"
#include "tools/xritwrite.h"

using namespace synthtest;

namespace {

constexpr uint32_t DAYS_20160704 = 21369;  // days from 1958-01-01
const std::string PRO = "H-000-MSG3__-MSG3________-_________-PRO______-201607041200-__";
const std::string EPI = "H-000-MSG3__-MSG3________-_________-EPI______-201607041200-__";

}  // namespace

TEST(SynthXritWrite, PacksTenBitCountsMostSignificantBitFirst) {
  Bytes b;
  const uint16_t four[] = {1023, 0, 1023, 1};
  XritPack10Bit(four, 4, &b);
  EXPECT_EQ(b, (Bytes{0xFF, 0xC0, 0x0F, 0xFC, 0x01}));
  // Only the low 10 bits count; a tail shorter than a group is padded with zero bits.
  b.clear();
  const uint16_t tail[] = {0xFC00 | 0x2AA, 0x155, 0x3FF};
  XritPack10Bit(tail, 3, &b);
  EXPECT_EQ(b, (Bytes{0xAA, 0x95, 0x5F, 0xFC}));
  // Appends to what is there; round trip through the independent unpacker.
  std::vector<uint16_t> v(4001);
  for (size_t k = 0; k < v.size(); k++) v[k] = uint16_t((k * 7919 + 13) % 1024);
  Bytes c{0x5A};
  XritPack10Bit(v.data(), v.size(), &c);
  ASSERT_EQ(c.size(), 1 + (4001 * 10 + 7) / 8);
  EXPECT_EQ(c[0], 0x5A);
  EXPECT_EQ(Unpack(c.data() + 1, v.size()), v);
}

TEST(SynthXritWrite, WritesWholeFilesOrReportsWhy) {
  TestTempDir dir;
  std::string err;
  ASSERT_TRUE(XritWriteFile(dir.file("f"), Bytes{1, 2}, Bytes{3}, &err)) << err;
  EXPECT_EQ(ReadAll(dir.file("f")), (std::vector<uint8_t>{1, 2, 3}));
  GDir* d = g_dir_open(dir.path().c_str(), 0, nullptr);
  int n = 0;
  while (g_dir_read_name(d)) n++;
  g_dir_close(d);
  EXPECT_EQ(n, 1);  // the temporary file was renamed, not left behind
  EXPECT_FALSE(XritWriteFile(dir.path() + "/missing/x", Bytes{1}, Bytes{}, &err));
  EXPECT_NE(err.find("missing"), std::string::npos);
  // Fixed-offset stores stay inside the buffer.
  Bytes b(16, 0);
  EXPECT_THROW(XritSetU32(&b, 13, 1), std::out_of_range);
}

TEST(SynthFiles, SegmentHeadersAreTheRecordsOfRealFiles) {
  struct Case {
    int ch, seg, nc;
    int32_t cfac, coff, loff;
    int planned_end;
  };
  const Case cases[] = {
      {9, 7, 3712, -13642337, 1856, 1856 - 464 * 6, 8},
      {1, 8, 3712, -13642337, 1856, 1856 - 464 * 7, 8},
      {12, 19, 5568, -40927014, 5566 - 2014 + 1, 5566 - 464 * 18, 24},
      {12, 24, 5568, -40927014, 5566 - 2014 + 1, 5566 - 464 * 23, 24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "channel " << c.ch << " segment " << c.seg);
    const std::string path = Segment(Strip(), c.ch, c.seg);
    const std::vector<uint8_t> d = ReadAll(path);
    ASSERT_EQ(d.size(), 6198u + size_t(c.nc) * 580);
    // Records: type and length, each where the one before ends.
    const int types[] = {0, 1, 2, 4, 5, 128, 129}, lengths[] = {16, 9, 51, 64, 10, 13, 6035};
    for (size_t k = 0, at = 0; k < 7; at += lengths[k++]) {
      EXPECT_EQ(d[at], types[k]) << k;
      EXPECT_EQ(Be16(d, at + 1), uint32_t(lengths[k])) << k;
    }
    // Primary: image data, total header length, data field length in bits.
    EXPECT_EQ(d[3], 0);
    EXPECT_EQ(Be32(d, 4), 6198u);
    EXPECT_EQ(Be64(d, 8), uint64_t(c.nc) * 464 * 10);
    // Image structure: NB, NC, NL, no compression.
    EXPECT_EQ(d[19], 10);
    EXPECT_EQ(Be16(d, 20), uint32_t(c.nc));
    EXPECT_EQ(Be16(d, 22), 464u);
    EXPECT_EQ(d[24], 0);
    // Navigation.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&d[28]), 32), "GEOS(+000.0)                    ");
    EXPECT_EQ(BeI32(d, 60), c.cfac);
    EXPECT_EQ(BeI32(d, 64), c.cfac);
    EXPECT_EQ(BeI32(d, 68), c.coff);
    EXPECT_EQ(BeI32(d, 72), c.loff);
    // Annotation: the file's own name. Time stamp: CDS of the slot's day, within the cycle.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&d[79]), 61), path.substr(path.size() - 61));
    EXPECT_EQ(d[143], 0x40);
    EXPECT_EQ(Be16(d, 144), DAYS_20160704);
    EXPECT_GE(Be32(d, 146), 12u * 3600000);
    EXPECT_LT(Be32(d, 146), 12u * 3600000 + 900000);
    // Segment identification: spacecraft, channel, segment, planned start and end, plain.
    EXPECT_EQ(Be16(d, 153), 323u);
    EXPECT_EQ(d[155], c.ch);
    EXPECT_EQ(Be16(d, 156), uint32_t(c.seg));
    EXPECT_EQ(Be16(d, 158), 1u);
    EXPECT_EQ(Be16(d, 160), uint32_t(c.planned_end));
    EXPECT_EQ(d[162], 0);
    // Line quality: 464 lines of the grid in order, acquired in time order, all valid.
    uint32_t prev_ms = 0;
    for (int l = 0; l < 464 && !HasFailure(); l++) {
      const size_t e = 166 + 13 * size_t(l);
      EXPECT_EQ(BeI32(d, e), 464 * (c.seg - 1) + l + 1);
      EXPECT_EQ(Be16(d, e + 4), DAYS_20160704);
      EXPECT_GE(Be32(d, e + 6), prev_ms);
      prev_ms = Be32(d, e + 6);
      EXPECT_EQ(d[e + 10], 1);
    }
  }
}

TEST(SynthFiles, PrologueAndEpilogueCarryTheLevel15FieldsAtTheirOffsets) {
  const std::vector<uint8_t> d = ReadAll(Strip() + "/" + PRO), e = ReadAll(Strip() + "/" + EPI);
  ASSERT_GT(d.size(), 100u);
  ASSERT_GT(e.size(), 100u);
  // Primary header of length 16 and file type 128 or 129, then the annotation, 64 bytes.
  for (const auto& [f, type, name] : {std::tuple{&d, 128, PRO}, {&e, 129, EPI}}) {
    EXPECT_EQ(Be16(*f, 1), 16u);
    EXPECT_EQ((*f)[3], type);
    EXPECT_EQ((*f)[16], 4);
    EXPECT_EQ(Be16(*f, 17), 64u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&(*f)[19]), 61), name);
    EXPECT_EQ(f->size(), Be32(*f, 4) + Be64(*f, 8) / 8);
  }
  const size_t hl = Be32(d, 4);
  EXPECT_EQ(Be64(d, 8), 425461u * 8);
  auto at = [&](size_t off) { return hl + off; };
  EXPECT_EQ(Be16(d, at(0)), 323u);                        // satellite id
  EXPECT_EQ(BeF32(d, at(2)), 0.0f);                       // nominal longitude
  EXPECT_EQ(Be16(d, at(60134)), DAYS_20160704);           // true repeat cycle start
  EXPECT_EQ(Be32(d, at(60136)), 12u * 3600000);
  EXPECT_EQ(Be32(d, at(60146)), 12u * 3600000 + 762000);  // planned forward scan end
  EXPECT_EQ(Be32(d, at(60156)), 12u * 3600000 + 900000);  // planned repeat cycle end
  EXPECT_EQ(d[at(386892)], 1);                            // type of projection
  EXPECT_EQ(BeI32(d, at(386897)), 3712);                  // VIS/IR reference grid lines, columns
  EXPECT_EQ(BeI32(d, at(386901)), 3712);
  EXPECT_NEAR(BeF32(d, at(386905)), 3.0004, 1e-3);
  EXPECT_EQ(BeI32(d, at(386914)), 11136);                 // HRV grid
  EXPECT_EQ(BeI32(d, at(386918)), 11136);
  // Planned VIS/IR coverage, then HRV: lower S, N, E, W, upper S, N, E, W.
  const int32_t coverage[12] = {1, 3712, 1, 3712, 1, 8192, 1, 5568, 8193, 11136, 2014, 7581};
  for (int i = 0; i < 12; i++) EXPECT_EQ(BeI32(d, at(386931 + 4 * i)), coverage[i]) << i;
  EXPECT_EQ(d[at(386979)], 1);  // image processing direction: south to north
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
  // Epilogue trailer: version, satellite id, scanning summary (14), radiometer behaviour (12),
  // reception statistics (4 x 12 x 4), image validity (12 x 6), VIS/IR coverage (16), HRV
  // coverage (32, the actual one: as planned).
  const size_t ehl = Be32(e, 4), visir = ehl + 1 + 2 + 14 + 12 + 192 + 72;
  EXPECT_EQ(Be16(e, ehl + 1), 323u);
  for (int i = 0; i < 12; i++) EXPECT_EQ(BeI32(e, visir + 4 * i), coverage[i]) << i;
}

// The program's prologue readers find what the independent reader found.
TEST(SynthFiles, PrologueReadersFindTheFieldsAsWritten) {
  FILE* f = std::fopen((Strip() + "/" + PRO).c_str(), "rb");
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
  int32_t window[4] = {};
  ASSERT_TRUE(LayerPrologueWindow(Segment(Strip(), HRV_ID, 19).c_str(), window));
  EXPECT_EQ(std::vector<int32_t>(window, window + 4), (std::vector<int32_t>{7581, 11136, 2014, 8193}));
}

// The program's segment reader gives exactly the counts the independent reader finds, in the
// plain files and in the WT-compressed ones (which are much smaller).
TEST(SynthFiles, SegmentReaderGivesExactlyTheWrittenCounts) {
  for (auto [ch, seg, nc] : {std::tuple{1, 7, 3712}, {9, 8, 3712}, {4, 7, 3712}, {12, 19, 5568}, {12, 24, 5568}}) {
    SCOPED_TRACE(testing::Message() << "channel " << ch << " segment " << seg);
    const std::vector<uint16_t> written = SegmentCounts(Segment(Strip(), ch, seg), nc);
    ASSERT_EQ(written.size(), size_t(nc) * 464);
    for (bool compress : {false, true}) {
      const SuplBytes packed = XritSegmentRead(Segment(Strip(compress), ch, seg).c_str());
      ASSERT_GE(packed.size(), size_t(nc) * 580);
      std::vector<uint16_t> counts(size_t(nc) * 464);
      SuplUnpack10Bit(packed.data(), counts.data(), nc);
      EXPECT_EQ(counts, written) << compress;
    }
    EXPECT_LT(ReadAll(Segment(Strip(true), ch, seg)).size() * 2, ReadAll(Segment(Strip(), ch, seg)).size());
  }
}
