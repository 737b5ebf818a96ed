// Byte-level pieces of the writer: the 10-bit stream, CDS times, fixed-offset stores, file
// writing (the records are read back from generated files in test_synth_headers.cpp).
#include <gtest/gtest.h>

#include <fstream>

#include "tests/tools/test_synth_support.h"
#include "tools/xritwrite.h"

using namespace synthtest;

TEST(SynthXritWrite, PacksTenBitCountsMostSignificantBitFirst) {
  Bytes b;
  const uint16_t four[] = {1023, 0, 1023, 1};
  XritPack10Bit(four, 4, &b);
  EXPECT_EQ(b, (Bytes{0xFF, 0xC0, 0x0F, 0xFC, 0x01}));
  // Only the low 10 bits count; a tail shorter than a group is padded with zero bits.
  b.clear();
  const uint16_t tail[] = {0xFC00 | 0x2AA, 0x155, 0x3FF};
  XritPack10Bit(tail, 3, &b);
  ASSERT_EQ(b.size(), 4u);
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

TEST(SynthXritWrite, CdsCountsDaysFrom1958) {
  XritCds t = XritCdsFromUnix(0);
  EXPECT_EQ(t.days, 4383);
  EXPECT_EQ(t.ms, 0u);
  t = XritCdsFromUnix(-4383LL * 86400);  // 1958-01-01 00:00
  EXPECT_EQ(t.days, 0);
  t = XritCdsFromUnix(1467633600 + 59, 250);  // 2016-07-04 12:00:59.250
  EXPECT_EQ(t.days, 21369);
  EXPECT_EQ(t.ms, 43259250u);
}

TEST(SynthXritWrite, FixedOffsetStoresAreBigEndianAndBounded) {
  Bytes b(16, 0);
  XritSetF64(&b, 0, 6378.169);
  XritSetF32(&b, 8, 3.0f);
  XritSetI32(&b, 12, -2);
  EXPECT_EQ(BeF64(b, 0), 6378.169);
  EXPECT_EQ(Bytes(b.begin() + 8, b.begin() + 12), (Bytes{0x40, 0x40, 0, 0}));
  EXPECT_EQ(Bytes(b.begin() + 12, b.end()), (Bytes{0xFF, 0xFF, 0xFF, 0xFE}));
  EXPECT_THROW(XritSetU32(&b, 13, 1), std::out_of_range);
}

TEST(SynthXritWrite, WritesWholeFilesOrReportsWhy) {
  TestTempDir dir;
  std::string path = dir.path() + "/H-000-MSG3__-MSG3________-IR_108___-000007___-201607041200-C_";
  std::string err;
  ASSERT_TRUE(XritWriteFile(path, Bytes{1, 2}, Bytes{3}, &err)) << err;
  EXPECT_EQ(ReadAll(path), (std::vector<uint8_t>{1, 2, 3}));
  GDir* d = g_dir_open(dir.path().c_str(), 0, nullptr);
  int n = 0;
  while (g_dir_read_name(d)) n++;
  g_dir_close(d);
  EXPECT_EQ(n, 1);  // the temporary file was renamed, not left behind
  g_remove(path.c_str());
  EXPECT_FALSE(XritWriteFile(dir.path() + "/missing/x", Bytes{1}, Bytes{}, &err));
  EXPECT_NE(err.find("missing"), std::string::npos);
}
