// The 10-bit packings of the program (the segment reader's unpacker, forward and reversed, and
// the WT codec's packer and unpacker) against known bytes and the independent packer of the
// test builder.
#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <random>

#include "data/supl.h"
#include "data/wt.h"
#include "tests/support/xrit_builder.h"

namespace {

// 1023, 0, 1023, 1 most significant bit first.
const uint8_t KNOWN[5] = {0xFF, 0xC0, 0x0F, 0xFC, 0x01};
const std::vector<uint16_t> KNOWN_COUNTS = {1023, 0, 1023, 1};

TEST(Pack10, KnownBytesBothWays) {
  EXPECT_EQ(xb::Pack10(KNOWN_COUNTS), xb::Bytes(KNOWN, KNOWN + 5));
  EXPECT_EQ(WtPack(KNOWN_COUNTS.data(), 4, 10), xb::Bytes(KNOWN, KNOWN + 5));
  EXPECT_EQ(WtUnpack(KNOWN, 4, 10), KNOWN_COUNTS);
  const uint16_t one = 1;
  EXPECT_EQ(WtPack(&one, 1, 10), (std::vector<uint8_t>{0x00, 0x40}));  // zero-padded
  // A strip of one column: 464 counts from 580 bytes, nothing written past them.
  std::vector<uint8_t> src(580, 0);
  std::copy(KNOWN, KNOWN + 5, src.begin());
  std::vector<uint16_t> dst(465, 0xBEEF);
  SuplUnpack10Bit(src.data(), dst.data(), 1);
  EXPECT_EQ(std::vector<uint16_t>(dst.begin(), dst.begin() + 5), (std::vector<uint16_t>{1023, 0, 1023, 1, 0}));
  EXPECT_EQ(dst[463], 0);
  EXPECT_EQ(dst[464], 0xBEEF);
}

TEST(Pack10, StripsOfEveryWidthMatchTheIndependentPacking) {
  for (int nc : {0, 1, 2, 3, 7, 64, 3712, 5568}) {
    const std::vector<uint16_t> counts = xb::Pattern(nc, 464, unsigned(nc + 100));
    const xb::Bytes packed = xb::Pack10(counts);
    ASSERT_EQ(packed.size(), size_t(nc) * 580);
    std::vector<uint16_t> dst(counts.size() + 16, 0xBEEF);
    SuplUnpack10Bit(packed.data(), dst.data(), nc);
    EXPECT_TRUE(std::equal(counts.begin(), counts.end(), dst.begin())) << nc;
    EXPECT_EQ(dst[counts.size()], 0xBEEF) << nc;
    if (nc) {
      EXPECT_EQ(WtUnpack(packed, counts.size(), 10), counts) << nc;
    }
  }
}

TEST(Pack10, WtOtherDepthsAndOddCountsRoundTrip) {
  std::mt19937 rng(9);
  for (int nb : {8, 10, 12, 16})
    for (size_t n : {size_t(1), size_t(7), size_t(1001), size_t(4096)}) {
      std::vector<uint16_t> v(n);
      for (uint16_t& x : v) x = uint16_t(rng() & ((1u << nb) - 1));
      const std::vector<uint8_t> p = WtPack(v.data(), n, nb);
      EXPECT_EQ(p.size(), (n * size_t(nb) + 7) / 8);
      EXPECT_EQ(WtUnpack(p, n, nb), v) << nb << " " << n;
    }
}

// Every span of a line, read back to front, is the forward unpacking reversed; the line ends
// right after the last group read (ASan flags a read past it), and nothing outside the span's
// place in dst is written.
TEST(Pack10, ReversedSpansAreTheForwardSamplesTurnedAround) {
  const int nc = 2, samples = 464 * nc;
  std::vector<unsigned char> line(size_t(580) * nc);
  cv::RNG rng(17);
  for (auto& b : line) b = uchar(rng.uniform(0, 256));
  std::vector<uint16_t> forward(samples);
  SuplUnpack10Bit(line.data(), forward.data(), nc);
  std::vector<std::pair<int, int>> spans;
  for (int lo = 0; lo < 40; lo++)
    for (int hi = lo; hi < lo + 70; hi++) spans.push_back({lo, hi});
  for (int i = 0; i < 300; i++) {
    const int a = rng.uniform(0, samples), b = rng.uniform(0, samples);
    spans.push_back({std::min(a, b), std::max(a, b)});
  }
  for (int hi = samples - 40; hi < samples; hi++) spans.push_back({0, hi}), spans.push_back({hi - 30, hi});
  for (auto [lo, hi] : spans) {
    const std::vector<unsigned char> cut(line.begin(), line.begin() + 5 * (hi / 4 + 1));
    std::vector<uint16_t> dst(size_t(hi - lo + 3), 0xBEEF);
    SuplUnpack10Reversed(cut.data(), lo, hi, dst.data() + 1);
    ASSERT_EQ(dst.front(), 0xBEEF);
    ASSERT_EQ(dst.back(), 0xBEEF) << lo << ".." << hi;
    for (int k = 0; k <= hi - lo; k++)
      ASSERT_EQ(dst[size_t(k) + 1], forward[size_t(hi - k)]) << lo << ".." << hi << " at " << k;
  }
}

}  // namespace
