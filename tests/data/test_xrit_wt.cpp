// Compressed segments through XritSegmentRead: real WT files and our own encoded ones come back
// to the exact counts.
#include <gtest/gtest.h>
#include <glib.h>

#include "data/supl.h"
#include "data/xrit.h"
#include "tests/support/logcapture.h"
#include "tests/support/tempdir.h"
#include "tests/support/xrit_builder.h"

namespace {

std::vector<uint16_t> ReadCounts(const std::string& path, int nc, size_t* warnings) {
  LogCapture log;
  const SuplBytes packed = XritSegmentRead(path.c_str());
  *warnings = log.count();
  if (packed.size() < size_t(nc) * 580) return {};
  std::vector<uint16_t> counts(size_t(nc) * 464);
  SuplUnpack10Bit(packed.data(), counts.data(), nc);
  return counts;
}

}  // namespace

TEST(XritWt, RealRampSegments) {
  const std::string ir = NUBICORN_TESTDATA "/wt/nc3712_hramp.hrit";
  const std::string hrv = NUBICORN_TESTDATA "/wt/nc5568_vramp.hrit";
  if (!g_file_test(ir.c_str(), G_FILE_TEST_EXISTS) || !g_file_test(hrv.c_str(), G_FILE_TEST_EXISTS))
    GTEST_SKIP() << "WT vectors not in the tree";
  size_t warnings = 0;
  std::vector<uint16_t> c = ReadCounts(ir, 3712, &warnings);
  EXPECT_EQ(warnings, 0u);
  ASSERT_EQ(c.size(), 3712u * 464);
  size_t bad = 0;
  for (int y = 0; y < 464; y++)
    for (int x = 0; x < 3712; x++) bad += c[size_t(y) * 3712 + x] != x * 1023 / 3711;
  EXPECT_EQ(bad, 0u);
  c = ReadCounts(hrv, 5568, &warnings);
  EXPECT_EQ(warnings, 0u);
  ASSERT_EQ(c.size(), 5568u * 464);
  bad = 0;
  for (int y = 0; y < 464; y++)
    for (int x = 0; x < 5568; x++) bad += c[size_t(y) * 5568 + x] != y * 1023 / 463;
  EXPECT_EQ(bad, 0u);
}

TEST(XritWt, StreamOfAnotherWidthIsRefusedOnce) {
  const std::string ir = NUBICORN_TESTDATA "/wt/nc3712_hramp.hrit";
  gchar* data = nullptr;
  gsize size = 0;
  if (!g_file_get_contents(ir.c_str(), &data, &size, nullptr)) GTEST_SKIP() << "no WT vector";
  const xb::Bytes file(data, data + size);
  g_free(data);
  XritHeader h;
  ASSERT_TRUE(XritParseHeaders(file, &h, nullptr));
  // The 3712-column stream under HRV headers: the decoder must refuse it, not over-read.
  xb::Segment s;
  s.compression = 1;
  s.representation = XRIT_REPR_WT;
  s.nc = 5568;
  s.channel = 12;
  s.annotation = "H-000-MSG3__-MSG3________-HRV______-000019___-201607041200-C_";
  s.field.assign(file.begin() + h.header_length, file.end());
  TestTempDir dir;
  const std::string hrv = dir.file(s.annotation);
  ASSERT_TRUE(xb::Write(hrv, xb::File(s)));
  const char* saved = g_getenv("PATH");
  const std::string old = saved ? saved : "";
  g_setenv("PATH", dir.path().c_str(), TRUE);  // no external decoder either
  LogCapture log;
  EXPECT_TRUE(XritSegmentRead(hrv.c_str()).empty());
  g_setenv("PATH", old.c_str(), TRUE);
  EXPECT_EQ(log.messages(), std::vector<std::string>{hrv + "(compressed)"});
}
