// Physical values of counts: brightness temperatures and reflectances from a slot's calibration,
// taken from the prologue beside a segment, or the nominal one without it.
#include <gtest/gtest.h>

#include <cmath>

#include "data/atmrad.h"
#include "data/calib.h"
#include "tests/support/logcapture.h"
#include "tests/support/tempdir.h"
#include "tests/support/xrit_builder.h"

namespace {

const char* const SEGMENT = "H-000-MSG3__-MSG3________-IR_108___-000007___-201607041200-C_";
const char* const PROLOGUE = "H-000-MSG3__-MSG3________-_________-PRO______-201607041200-__";

CalibSlot Nominal() {
  CalibSlot c;
  c.coef[9] = {0.20503, -10.45676};  // IR 10.8
  c.coef[1] = {0.02295, -1.17046};   // VIS 0.6
  c.coef[12] = {0.0276, -1.4};       // HRV
  return c;
}

// Known counts and their values by the Planck function with the published IR 10.8 constants
// (vc 930.66 cm-1, beta 0.627 K) and by pi R / F with VIS 0.6's and HRV's band irradiance.
TEST(CalibPhysical, TableOfKnownCounts) {
  struct Case {
    int ch, count;
    CalibKind kind;
    double value;
  };
  const double pi = 3.14159265358979323846;
  auto bt = [](int count) {
    const double r = count * 0.20503 - 10.45676, vc = 930.66;
    return 1.43877 * vc / std::log(1 + 1.19104e-5 * vc * vc * vc / r) - 0.627;
  };
  const Case cases[] = {
      {9, 600, CALIB_BT, bt(600)},
      {9, 300, CALIB_BT, bt(300)},
      {9, 1023, CALIB_BT, bt(1023)},
      {9, 51, CALIB_NONE, 0},  // radiance not positive
      {9, 0, CALIB_NONE, 0},   // no data
      {1, 500, CALIB_REFLECTANCE, 100 * pi * (500 * 0.02295 - 1.17046) / 65.5148},
      {1, 40, CALIB_REFLECTANCE, 0.0},  // below the offset: clamped
      {12, 800, CALIB_REFLECTANCE, 100 * pi * (800 * 0.0276 - 1.4) / 78.9416},
      {0, 500, CALIB_NONE, 0},
      {13, 500, CALIB_NONE, 0},
  };
  const CalibSlot cal = Nominal();
  for (const Case& c : cases) {
    const CalibValue v = CalibPhysical(cal, c.ch, c.count);
    EXPECT_EQ(v.kind, c.kind) << c.ch << " " << c.count;
    if (c.kind != CALIB_NONE) {
      EXPECT_NEAR(v.value, c.value, 1e-9) << c.ch << " " << c.count;
    }
  }
  // 290 K or so for a count of 600 of IR 10.8: a sanity anchor for the table.
  EXPECT_NEAR(CalibPhysical(cal, 9, 600).value, 290, 30);
  CalibSlot none = Nominal();
  none.coef[9] = {0, 0};  // a channel without calibration has no value
  EXPECT_EQ(CalibPhysical(none, 9, 600).kind, CALIB_NONE);
}

TEST(CalibSolarIrradiance, PerSpacecraft) {
  EXPECT_DOUBLE_EQ(CalibSolarIrradiance(321, 1), 65.2296);
  EXPECT_DOUBLE_EQ(CalibSolarIrradiance(323, 2), 73.1807);
  EXPECT_DOUBLE_EQ(CalibSolarIrradiance(324, 3), 61.9416);
  EXPECT_DOUBLE_EQ(CalibSolarIrradiance(322, 12), 79.0113);
  EXPECT_DOUBLE_EQ(CalibSolarIrradiance(999, 1), 65.5148);  // unknown: MSG3's
  EXPECT_EQ(CalibSolarIrradiance(323, 9), 0.0);
}

TEST(CalibRead, TheSlotsPrologueGivesTheCoefficients) {
  TestTempDir dir;
  ASSERT_TRUE(xb::Write(dir.file(PROLOGUE), xb::PrologueFile({})));
  const CalibSlot cal = CalibRead(dir.file(SEGMENT).c_str());
  EXPECT_TRUE(cal.prologue);
  EXPECT_EQ(cal.spacecraft, 323);
  for (int ch = 1; ch <= 12; ch++) {
    EXPECT_DOUBLE_EQ(cal.coef[ch][0], 0.01 * ch) << ch;
    EXPECT_DOUBLE_EQ(cal.coef[ch][1], -0.5 * ch) << ch;
  }
}

TEST(CalibRead, WithoutAPrologueTheNominalCalibrationAndOneWarning) {
  TestTempDir dir;
  LogCapture log;
  for (const std::string& path : {dir.file(SEGMENT), dir.file("not-a-segment"), std::string()}) {
    log.clear();
    const CalibSlot cal = CalibRead(path.empty() ? nullptr : path.c_str());
    EXPECT_FALSE(cal.prologue) << path;
    for (int ch = 1; ch <= 12; ch++) {
      EXPECT_EQ(cal.coef[ch][0], AtmradCoefs[ch].slope) << ch;
      EXPECT_EQ(cal.coef[ch][1], AtmradCoefs[ch].offset) << ch;
    }
  }
  log.clear();
  CalibRead(dir.file(SEGMENT).c_str());
  EXPECT_EQ(log.count(), 1u);
  // A truncated prologue is no prologue.
  xb::Bytes b = xb::PrologueFile({});
  b.resize(b.size() / 2);
  ASSERT_TRUE(xb::Write(dir.file(PROLOGUE), b));
  EXPECT_FALSE(CalibRead(dir.file(SEGMENT).c_str()).prologue);
}

}  // namespace
