// WT decoding of bad input: clear refusals, zero-filled lost runs, and never a wrong pixel
// reported as good when a field is cut short.
#include <gtest/gtest.h>

#include <random>

#include "data/wt.h"

namespace {

// Deterministic textured image with every value in 0..1023.
std::vector<uint16_t> Texture(int nc, int nl) {
  std::vector<uint16_t> img(size_t(nc) * nl);
  std::mt19937 rng(42);
  for (int y = 0; y < nl; y++)
    for (int x = 0; x < nc; x++)
      img[size_t(y) * nc + x] = uint16_t((x * 7 + y * 3 + (x * y) % 97 + int(rng() % 9)) % 1024);
  return img;
}

struct Coded {
  WtImage img;
  std::vector<uint16_t> counts;
  std::vector<uint8_t> field;
};

Coded Make(int nc, int nl, int block_mode = 0, int levels = 4) {
  Coded c;
  c.img = WtImage{10, nc, nl};
  c.counts = Texture(nc, nl);
  WtParams p = WtDefaultParams(c.img);
  p.block_mode = block_mode;
  p.levels = levels;
  EXPECT_TRUE(WtEncode(c.counts.data(), c.img, p, &c.field));
  return c;
}

// Every pixel inside a line's good prefix (nc when good, k for -k) equals the original.
void ExpectGoodPrefixesRight(const Coded& c, const std::vector<uint16_t>& got, const std::vector<int32_t>& q) {
  ASSERT_EQ(q.size(), size_t(c.img.nl));
  for (int y = 0; y < c.img.nl; y++) {
    const int good = q[size_t(y)] >= 0 ? q[size_t(y)] : -q[size_t(y)];
    ASSERT_LE(good, c.img.nc);
    for (int x = 0; x < good; x++)
      ASSERT_EQ(got[size_t(y) * c.img.nc + x], c.counts[size_t(y) * c.img.nc + x])
          << "line " << y << " pixel " << x << " quality " << q[size_t(y)];
  }
}

std::vector<uint8_t> FindMarker(const std::vector<uint8_t>& f, uint8_t code, size_t* at) {
  for (size_t i = 12; i + 1 < f.size(); i++)
    if (f[i] == 0xFF && f[i + 1] == code) {
      *at = i;
      return f;
    }
  *at = 0;
  return f;
}

TEST(WtDamage, RefusesHeadersThatDoNotFit) {
  const Coded c = Make(64, 32);
  WtResult res;
  std::string err;
  EXPECT_FALSE(WtDecode(c.field, WtImage{10, 64, 48}, &res, &err));
  EXPECT_NE(err.find("differs"), std::string::npos) << err;
  EXPECT_FALSE(WtDecode(c.field, WtImage{10, 65, 32}, &res, &err));
  EXPECT_FALSE(WtDecode(c.field, WtImage{16, 64, 32}, &res, &err));  // depth: not rescaled
  EXPECT_NE(err.find("bits per pixel 10"), std::string::npos) << err;
  EXPECT_FALSE(WtDecode(c.field, WtImage{0, 64, 32}, &res, &err));
  EXPECT_FALSE(WtDecode(c.field, WtImage{10, 0, 32}, &res, &err));
  // An absurd size is refused before anything is allocated for it.
  EXPECT_FALSE(WtDecode(c.field, WtImage{10, 60000, 60000}, &res, &err));
  // A marker of another kind at the start or the end of the stream header.
  for (const size_t at : {size_t(1), size_t(11)}) {
    std::vector<uint8_t> f = c.field;
    f[at] ^= 0x07;
    EXPECT_FALSE(WtDecode(f, c.img, &res, &err)) << at;
    EXPECT_FALSE(err.empty());
  }
  EXPECT_FALSE(WtDecode(std::span<const uint8_t>(c.field).first(11), c.img, &res, &err));
  EXPECT_FALSE(WtDecode({}, c.img, &res, &err));
}

TEST(WtDamage, CutFieldsNeverReportWrongPixelsAsGood) {
  const Coded c = Make(200, 64);  // 13 x 4 blocks, one run per block row
  for (size_t len = 12; len < c.field.size(); len += 37) {
    SCOPED_TRACE(len);
    std::vector<uint16_t> got;
    std::vector<int32_t> q;
    std::string err;
    const std::span<const uint8_t> cut = std::span<const uint8_t>(c.field).first(len);
    if (!WtDecodeCounts(cut, c.img, WtOptions{1}, &got, &q, &err)) {
      EXPECT_FALSE(err.empty());
      continue;
    }
    ExpectGoodPrefixesRight(c, got, q);
    EXPECT_LT(q.back(), c.img.nc) << "the last lines cannot be complete";
  }
}

TEST(WtDamage, MissingFooterKeepsTheImageButMarksTheLastRun) {
  const Coded c = Make(64, 48);
  const std::span<const uint8_t> nofooter = std::span<const uint8_t>(c.field).first(c.field.size() - 2);
  std::vector<uint16_t> got;
  std::vector<int32_t> q;
  std::string err;
  ASSERT_TRUE(WtDecodeCounts(nofooter, c.img, WtOptions{1}, &got, &q, &err)) << err;
  EXPECT_EQ(got, c.counts);
  for (int y = 0; y < 32; y++) EXPECT_EQ(q[size_t(y)], 64) << y;
  for (int y = 32; y < 48; y++) EXPECT_EQ(q[size_t(y)], -64) << y;
}

TEST(WtDamage, MisnumberedMarkerWhereARunEndsIsTakenAsExpected) {
  const Coded c = Make(256, 80);
  size_t m1 = 0;
  FindMarker(c.field, 0xE1, &m1);
  ASSERT_GT(m1, 0u);
  std::vector<uint8_t> f = c.field;
  f[m1 + 1] = 0xE3;  // the run before it ended exactly here: only the number is damaged
  for (int threads : {1, 2}) {
    std::vector<uint16_t> got;
    std::vector<int32_t> q;
    std::string err;
    ASSERT_TRUE(WtDecodeCounts(f, c.img, WtOptions{threads}, &got, &q, &err)) << err;
    EXPECT_EQ(got, c.counts);
    for (int y = 0; y < 80; y++) EXPECT_EQ(q[size_t(y)], 256) << y;
  }
}

TEST(WtDamage, AfterACorruptRunTheMarkerNumberSaysHowManyRunsWereLost) {
  const Coded c = Make(256, 80);
  size_t m0 = 0, m1 = 0, m2 = 0;
  FindMarker(c.field, 0xE0, &m0);
  FindMarker(c.field, 0xE1, &m1);
  FindMarker(c.field, 0xE2, &m2);
  ASSERT_GT(m2, 0u);
  // Cut run 1 and its marker out: the search after the damage finds marker 2, so runs 1 and
  // 2 (lines 16..47) are lost and run 3 decodes in its place.
  std::vector<uint8_t> f(c.field.begin(), c.field.begin() + long(m0) + 2);
  f.insert(f.end(), 40, 0xAA);  // not a run: decodes to garbage until checked
  f.insert(f.end(), c.field.begin() + long(m2), c.field.end());
  std::vector<uint16_t> got;
  std::vector<int32_t> q;
  std::string err;
  ASSERT_TRUE(WtDecodeCounts(f, c.img, WtOptions{1}, &got, &q, &err)) << err;
  for (int y = 0; y < 16; y++) EXPECT_EQ(q[size_t(y)], 256) << y;
  for (int y = 48; y < 80; y++) EXPECT_EQ(q[size_t(y)], 256) << y;
  for (int y = 48; y < 80; y++)
    for (int x = 0; x < 256; x++) ASSERT_EQ(got[size_t(y) * 256 + x], c.counts[size_t(y) * 256 + x]);
  for (int y = 32; y < 48; y++) EXPECT_EQ(q[size_t(y)], 0) << y;
  for (int y = 32; y < 48; y++)
    for (int x = 0; x < 256; x++) ASSERT_EQ(got[size_t(y) * 256 + x], 0);
}

TEST(WtDamage, CorruptWholeSegmentIsRefused) {
  const Coded c = Make(128, 64, 3, 4);
  std::vector<uint8_t> f = c.field;
  for (size_t i = 12; i < 40; i++) f[i] = 0xFF;  // FF FF ... : a marker where data should be
  WtResult res;
  std::string err;
  EXPECT_FALSE(WtDecode(f, c.img, &res, &err));
  EXPECT_FALSE(err.empty());
}

// Random bytes after a valid header end quietly, one and two threads alike.
TEST(WtDamage, RandomBytesAfterAValidHeaderEndQuietly) {
  const Coded c = Make(160, 48);
  std::mt19937 rng(2024);
  for (int round = 0; round < 300; round++) {
    std::vector<uint8_t> f(c.field.begin(), c.field.begin() + 12);
    const size_t n = rng() % 3000;
    for (size_t i = 0; i < n; i++) f.push_back(uint8_t(rng()));
    std::vector<uint16_t> got, two;
    std::vector<int32_t> q, q2;
    std::string err;
    const bool ok = WtDecodeCounts(f, c.img, WtOptions{1}, &got, &q, &err);
    ASSERT_EQ(WtDecodeCounts(f, c.img, WtOptions{2}, &two, &q2, &err), ok);
    if (ok) {
      ASSERT_EQ(got.size(), size_t(160 * 48));
      ASSERT_EQ(q.size(), 48u);
      for (int32_t v : q) ASSERT_TRUE(v >= -160 && v <= 160);
      ASSERT_EQ(got, two);
      ASSERT_EQ(q, q2);
    } else {
      ASSERT_FALSE(err.empty());
    }
  }
}

}  // namespace
