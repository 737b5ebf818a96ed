// WT encoder: the received vectors' data fields reproduced byte for byte from their decoded
// images (every mode, predictor and size the vectors hold), and lossless round trips through our
// decoder of extremes and the depths the vectors lack.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>

#include "data/wt.h"
#include "data/wt_core.h"
#include "tests/data/test_wt_util.h"

namespace {

const std::string kShared = std::string(NUBICORN_SHARED) + "/wt/vectors/";
const std::string kTree = std::string(NUBICORN_TESTDATA) + "/wt/";

std::vector<uint16_t> Noise(int nc, int nl, uint32_t seed, int top = 1023) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> d(0, top);
  std::vector<uint16_t> img(size_t(nc) * nl);
  for (uint16_t& v : img) v = uint16_t(d(rng));
  return img;
}

// Encodes, decodes and checks the image comes back unchanged with full quality.
void RoundTrip(const std::vector<uint16_t>& img, const WtImage& wi, const WtParams& p, size_t* bytes = nullptr) {
  std::vector<uint8_t> field;
  ASSERT_TRUE(WtEncode(img.data(), wi, p, &field));
  WtParams got;
  std::string err;
  ASSERT_TRUE(WtParseHeader(field, &got, &err)) << err;
  EXPECT_EQ(got.width, wi.nc);
  EXPECT_EQ(got.height, wi.nl);
  EXPECT_EQ(got.levels, p.levels);
  EXPECT_EQ(got.predictor, p.predictor);
  EXPECT_EQ(got.block_mode, p.block_mode);
  EXPECT_EQ(got.restart, p.restart);
  EXPECT_EQ(field[field.size() - 2], 0xFF);
  EXPECT_EQ(field.back(), 0x03);
  std::vector<uint16_t> back;
  std::vector<int32_t> quality;
  ASSERT_TRUE(WtDecodeCounts(field, wi, WtOptions{1}, &back, &quality, &err)) << err;
  EXPECT_TRUE(back == img) << "round trip changed the image";
  for (int32_t q : quality) ASSERT_EQ(q, wi.nc);
  if (bytes) *bytes = field.size();
}

// The depths the vectors lack, flat images and a checkerboard (the worst case of every
// predictor).
TEST(WtEncode, RoundTripOtherDepthsAndACheckerboard) {
  std::vector<uint16_t> checker(64 * 48);
  for (int y = 0; y < 48; y++)
    for (int x = 0; x < 64; x++) checker[size_t(y) * 64 + x] = ((x + y) & 1) ? 1023 : 0;
  const WtImage wi{10, 64, 48}, deep{16, 64, 48}, shallow{8, 64, 48};
  RoundTrip(checker, wi, WtDefaultParams(wi));
  RoundTrip(std::vector<uint16_t>(64 * 48, 0), wi, WtDefaultParams(wi));
  RoundTrip(std::vector<uint16_t>(64 * 48, 1023), wi, WtDefaultParams(wi));
  RoundTrip(Noise(64, 48, 5, 65535), deep, WtDefaultParams(deep));
  RoundTrip(Noise(64, 48, 6, 255), shallow, WtDefaultParams(shallow));
}

TEST(WtEncode, RefusesWhatItCannotCode) {
  const WtImage wi{10, 32, 32};
  std::vector<uint16_t> img(32 * 32, 5);
  std::vector<uint8_t> field{1, 2, 3};
  WtParams p = WtDefaultParams(wi);
  p.lossy = 1;
  EXPECT_FALSE(WtEncode(img.data(), wi, p, &field));
  p = WtDefaultParams(wi);
  p.levels = 5;  // more than a 16x16 block allows
  EXPECT_FALSE(WtEncode(img.data(), wi, p, &field));
  p = WtDefaultParams(wi);
  img[100] = 1024;  // not a 10-bit count
  EXPECT_FALSE(WtEncode(img.data(), wi, p, &field));
  EXPECT_EQ(field, (std::vector<uint8_t>{1, 2, 3}));
}

// Decodes name.hrit and encodes the image again with the stream's own parameters.
void ExpectReencodedExactly(const std::string& dir, const std::string& name) {
  SCOPED_TRACE(name);
  const WtTestSegment seg = WtTestLoad(dir + name + ".hrit");
  ASSERT_TRUE(seg.ok);
  WtParams p;
  std::string err;
  ASSERT_TRUE(WtParseHeader(seg.field(), &p, &err)) << err;
  std::vector<uint16_t> counts;
  ASSERT_TRUE(WtDecodeCounts(seg.field(), seg.img, WtOptions{}, &counts, nullptr, &err)) << err;
  std::vector<uint8_t> field;
  ASSERT_TRUE(WtEncode(counts.data(), seg.img, p, &field));
  EXPECT_EQ(field.size(), seg.field().size());
  EXPECT_TRUE(std::equal(field.begin(), field.end(), seg.field().begin(), seg.field().end()))
      << "data field differs";
}

TEST(WtEncode, InTreeVectorsReencodeByteForByte) {
  for (const char* name : {"nc3712_hramp", "nc5568_vramp", "var_pred_a", "var_odd_1001x77"})
    ExpectReencodedExactly(kTree, name);
}

TEST(WtEncode, SharedLosslessVectorsReencodeByteForByte) {
  if (!std::filesystem::exists(kShared + "MANIFEST.md")) GTEST_SKIP() << "no shared vectors";
  for (const char* name :
       {"nc3712_zero", "nc3712_full", "nc3712_noise", "nc3712_cloud", "nc3712_disk", "nc3712_checker1",
        "nc3712_checker8", "nc5568_zero", "nc5568_hramp", "nc5568_noise", "nc5568_cloud", "nc5568_disk",
        "nc5568_checker8", "var_pred_none", "var_pred_b", "var_b32_l5", "var_b64_l6", "var_full_l3",
        "var_full_l5", "var_r0", "var_r7"})
    ExpectReencodedExactly(kShared, name);
}

// The building blocks at shapes and settings the vectors lack: the S+P transform of every
// predictor inverts exactly, and the block layouts of the block modes.
TEST(WtCore, TransformInvertsExactlyForEveryPredictorAndSize) {
  std::mt19937 rng(1234);
  std::uniform_int_distribution<int> d(0, 1023);
  const std::tuple<int, int, int> shapes[] = {{16, 16, 4}, {32, 32, 5}, {64, 64, 6}, {3712, 16, 4},
                                              {64, 32, 3}, {48, 80, 4}};
  for (auto [w, h, levels] : shapes)
    for (int pred = 0; pred < 4; pred++) {
      std::vector<int32_t> a(size_t(w) * h), tmp(size_t(w) * h * 2 + 2 * std::max(w, h));
      for (int32_t& v : a) v = d(rng);
      const std::vector<int32_t> orig = a;
      WtForward(a.data(), w, w, h, levels, pred, tmp.data());
      EXPECT_NE(a, orig);
      WtInverse(a.data(), w, w, h, levels, pred, tmp.data());
      EXPECT_EQ(a, orig) << w << "x" << h << " pred " << pred;
    }
}

TEST(WtCore, LayoutOfBlocksAndWholeSegments) {
  WtParams p;
  p.width = 3712;
  p.height = 464;
  p.restart = 116;
  WtLayout l;
  p.block_mode = 1;
  p.levels = 5;
  ASSERT_TRUE(WtMakeLayout(p, &l, nullptr));
  EXPECT_EQ(l.nbx, 116);
  EXPECT_EQ(l.nby, 15);
  p.block_mode = 3;
  ASSERT_TRUE(WtMakeLayout(p, &l, nullptr));
  EXPECT_EQ(l.bw, 3712);
  EXPECT_EQ(l.bh, 480);
  EXPECT_EQ(l.nblocks, 1);
  EXPECT_EQ(l.restart, 0);
  p.block_mode = 0;  // 16x16 allows at most 4 levels
  std::string err;
  EXPECT_FALSE(WtMakeLayout(p, &l, &err));
  EXPECT_FALSE(err.empty());
}

}  // namespace
