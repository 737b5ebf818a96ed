// Prologue reader: fields at their offsets, the HRV window handed over, and every header and
// truncation failure.
#include <gtest/gtest.h>

#include <memory>

#include "data/prologue.h"
#include "tests/support/logcapture.h"
#include "tests/support/tempdir.h"
#include "tests/support/xrit_builder.h"

namespace {

const char* const SEGMENT = "H-000-MSG3__-MSG3________-HRV______-000019___-201607041200-C_";
const char* const PROLOGUE = "H-000-MSG3__-MSG3________-_________-PRO______-201607041200-__";

struct Closer {
  void operator()(FILE* f) const { std::fclose(f); }
};

int ReadBytes(const xb::Bytes& b, Prologue* rec) {
  // fmemopen refuses a zero-size buffer; a one-byte buffer read as empty stands in.
  static uint8_t none = 0;
  FILE* f = b.empty() ? fmemopen(&none, 1, "rb") : fmemopen(const_cast<uint8_t*>(b.data()), b.size(), "rb");
  if (b.empty() && f) std::fseek(f, 1, SEEK_SET);
  std::unique_ptr<FILE, Closer> hold(f);
  return PrologueRead(f, rec);
}

}  // namespace

TEST(Prologue, FieldsAtTheirOffsets) {
  Prologue rec;
  ASSERT_EQ(ReadBytes(xb::PrologueFile({}), &rec), 0);
  EXPECT_EQ(rec.file_type, 128);
  EXPECT_EQ(rec.total_header_length, 16u + 64 + 10);
  EXPECT_EQ(uint64_t(rec.data_length_hi) << 32 | rec.data_length_lo, 425461u * 8);
  EXPECT_EQ(rec.satellite_id, 323);
  ASSERT_EQ(rec.orbit.size(), 39612u);
  EXPECT_EQ(rec.orbit[1], 7);
  EXPECT_EQ(rec.orbit[39611], uint8_t(39611 * 7));
  EXPECT_EQ(rec.attitude.size(), 20420u);
  EXPECT_DOUBLE_EQ(rec.spin_rate, 99.974);
  EXPECT_EQ(rec.acquisition[0].day, 21369);
  EXPECT_EQ(rec.acquisition[2].ms, 43200000u + 1200000);
  EXPECT_EQ(rec.acquisition[1].us, 11);
  EXPECT_EQ(rec.acquisition[1].ns, 21);
  EXPECT_EQ(rec.projection_type, 1);
  EXPECT_EQ(rec.grid_visir.lines, 3712);
  EXPECT_FLOAT_EQ(rec.grid_visir.line_step, 3.0004032f);
  EXPECT_EQ(rec.grid_visir.origin, 2);
  EXPECT_EQ(rec.grid_hrv.columns, 11136);
  EXPECT_FLOAT_EQ(rec.grid_hrv.column_step, 1.0001343f);
  EXPECT_EQ(rec.coverage_visir[1], 3712);
  EXPECT_EQ(rec.coverage_hrv[2], 8994);
  EXPECT_EQ(rec.coverage_hrv[6], 1947);
  EXPECT_EQ(rec.processing_direction, 1);
  EXPECT_EQ(rec.channel_processing[11], 1);
  EXPECT_DOUBLE_EQ(rec.calibration[0][0], 0.01);
  EXPECT_DOUBLE_EQ(rec.calibration[11][1], -6.0);
}

// Header tests and a file cut anywhere before the last field read: refused.
TEST(Prologue, BadHeadersAndTruncationsFail) {
  Prologue rec;
  xb::Prologue epilogue, image_first, long_annotation;
  epilogue.file_type = 129;
  image_first.second_type = 1;  // image structure before the annotation
  long_annotation.annotation_length = 65;
  std::vector<xb::Bytes> bad;
  for (const xb::Prologue& p : {epilogue, image_first, long_annotation}) bad.push_back(xb::PrologueFile(p));
  const xb::Bytes full = xb::PrologueFile({});
  for (auto [at, v, n] : {std::tuple{0, 1, 1}, {2, 15, 1}, {4, 0x7FFFFFF0, 4}}) {  // last: field past the end
    bad.push_back(full);
    xb::PutAt(bad.back(), size_t(at), uint64_t(v), n);
  }
  for (size_t n : {size_t(0), size_t(5), size_t(16), size_t(40), size_t(80), size_t(90),
                   size_t(90 + 386971), size_t(90 + PROLOGUE_READ_SIZE - 1)})
    bad.push_back(xb::Bytes(full.begin(), full.begin() + long(n)));
  for (size_t i = 0; i < bad.size(); i++) EXPECT_EQ(ReadBytes(bad[i], &rec), 3) << i;
  EXPECT_EQ(PrologueRead(nullptr, &rec), 3);
  EXPECT_EQ(ReadBytes(xb::Bytes(full.begin(), full.begin() + 90 + PROLOGUE_READ_SIZE), &rec), 0);
}

class PrologueWindow : public ::testing::Test {
 protected:
  TestTempDir dir;
};

// The upper window of the slot's prologue in the segment's own folder, for any segment of the
// slot; a prologue in another folder is not the segment's.
TEST_F(PrologueWindow, HandsOverTheUpperWindow) {
  xb::Prologue p;
  const int32_t hrv[8] = {1, 8064, 8994, 3427, 8065, 11136, 2345, 7912};
  std::copy(hrv, hrv + 8, p.hrv);
  g_mkdir(dir.file("sub").c_str(), 0755);
  ASSERT_TRUE(xb::Write(dir.file("sub/" + std::string(PROLOGUE)), xb::PrologueFile(p)));
  int32_t out[4] = {0, 0, 0, 0};
  LogCapture log;
  ASSERT_TRUE(LayerPrologueWindow(dir.file("sub/" + std::string(SEGMENT)).c_str(), out));
  EXPECT_EQ(out[0], 7912);   // upper west column
  EXPECT_EQ(out[1], 11136);  // upper north line
  EXPECT_EQ(out[2], 2345);   // upper east column
  EXPECT_EQ(out[3], 8065);   // upper south line
  const std::string ir = dir.file("sub/H-000-MSG3__-MSG3________-IR_108___-000008___-201607041200-C_");
  ASSERT_TRUE(LayerPrologueWindow(ir.c_str(), out));
  EXPECT_EQ(out[2], 2345);
  EXPECT_EQ(log.count(), 0u);
  EXPECT_FALSE(LayerPrologueWindow(dir.file(SEGMENT).c_str(), out));  // not in this folder
  EXPECT_EQ(log.count(), 1u);
}

TEST_F(PrologueWindow, FailuresWarnOnceWithTheProloguePath) {
  const std::string seg = dir.file(SEGMENT);
  struct Case {
    const char* what;
    xb::Bytes bytes;  // empty: no prologue at all
    bool write;
  };
  xb::Prologue epi;
  epi.file_type = 129;
  const xb::Bytes full = xb::PrologueFile({});
  const std::vector<Case> cases = {
      {"missing", {}, false},
      {"empty", {}, true},
      {"epilogue", xb::PrologueFile(epi), true},
      {"mid-prologue", xb::Bytes(full.begin(), full.begin() + 200000), true},
      {"in the header", xb::Bytes(full.begin(), full.begin() + 30), true},
  };
  for (const Case& c : cases) {
    g_remove(dir.file(PROLOGUE).c_str());
    if (c.write) {
      ASSERT_TRUE(xb::Write(dir.file(PROLOGUE), c.bytes));
    }
    int32_t out[4] = {-5, -5, -5, -5};
    LogCapture log;
    EXPECT_FALSE(LayerPrologueWindow(seg.c_str(), out)) << c.what;
    // One warning, naming the prologue file that failed.
    const std::vector<std::string> m = log.messages();
    ASSERT_EQ(m.size(), 1u) << c.what;
    EXPECT_EQ(m[0].rfind(dir.file(PROLOGUE) + "(input: ", 0), 0u) << m[0];
    EXPECT_EQ(out[2], -5) << c.what;
  }
  LogCapture log;
  int32_t out[4] = {};
  EXPECT_FALSE(LayerPrologueWindow("short/name", out));
  EXPECT_EQ(log.messages(), std::vector<std::string>{"short/name"});
  EXPECT_FALSE(LayerPrologueWindow(nullptr, out));
  EXPECT_EQ(log.count(), 2u);
}
