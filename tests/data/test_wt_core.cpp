// WT building blocks: sizes, adaptive models, the S+P transform, the stream header, packing.
#include <gtest/gtest.h>

#include <random>

#include "data/wt.h"
#include "data/wt_core.h"

namespace {

TEST(WtCore, CsizeCountsSignificantBits) {
  const std::pair<int64_t, int> cases[] = {{0, 0}, {1, 1}, {-1, 1}, {2, 2}, {3, 2}, {-3, 2}, {4, 3},
                                           {7, 3}, {8, 4}, {1023, 10}, {1024, 11}, {-1024, 11}};
  for (auto [x, bits] : cases) EXPECT_EQ(WtCsize(x), bits) << x;
}

// Expected arrays: f[1..n], c[0..n], sym[1..n].
void ExpectModel(const WtModel& m, std::vector<int> f, std::vector<int> c, std::vector<int> sym) {
  for (size_t i = 0; i < f.size(); i++) EXPECT_EQ(m.f[i + 1], f[i]) << "f[" << i + 1 << "]";
  for (size_t i = 0; i < c.size(); i++) EXPECT_EQ(m.c[i], c[i]) << "c[" << i << "]";
  for (size_t i = 0; i < sym.size(); i++) {
    EXPECT_EQ(m.sym[i + 1], sym[i]) << "sym[" << i + 1 << "]";
    EXPECT_EQ(m.pos[sym[i]], i + 1) << "pos of " << sym[i];
  }
}

TEST(WtCore, ModelStartsUniform) {
  WtModel m;
  WtModelInit(&m, 4);
  ExpectModel(m, {1, 1, 1, 1}, {4, 3, 2, 1, 0}, {0, 1, 2, 3});
  EXPECT_EQ(m.threshold, 128);
}

TEST(WtCore, ModelMovesAFrequentSymbolToTheFront) {
  WtModel m;
  WtModelInit(&m, 3);
  // Symbol 2 at index 3 ties with index 1: it swaps to index 1, which is incremented.
  WtModelUpdate(&m, 3);
  ExpectModel(m, {2, 1, 1}, {4, 2, 1, 0}, {2, 1, 0});
  // Index 1 only gains a count.
  WtModelUpdate(&m, 1);
  ExpectModel(m, {3, 1, 1}, {5, 2, 1, 0}, {2, 1, 0});
  // Index 3 ties with index 2 (not with 1): swaps with 2.
  WtModelUpdate(&m, 3);
  ExpectModel(m, {3, 2, 1}, {6, 3, 1, 0}, {2, 0, 1});
  // No tie at index 2 (2 vs 3): stays, counts above it grow.
  WtModelUpdate(&m, 2);
  ExpectModel(m, {3, 3, 1}, {7, 4, 1, 0}, {2, 0, 1});
}

TEST(WtCore, ModelHalvesCountsAtTheThreshold) {
  WtModel m;
  WtModelInit(&m, 2);  // threshold 64
  for (int i = 0; i < 62; i++) WtModelUpdate(&m, 1);
  ExpectModel(m, {63, 1}, {64, 1, 0}, {0, 1});
  // Total 64 reaches the threshold: halved (rounding up) before the update.
  WtModelUpdate(&m, 1);
  ExpectModel(m, {33, 1}, {34, 1, 0}, {0, 1});
}

TEST(WtCore, ModelSetsAreFreshAfterReset) {
  auto sets = std::make_unique<WtModelSets>();
  WtModel* g3 = sets->Set(3);
  EXPECT_EQ(g3[0].n, 5);
  EXPECT_EQ(g3[4].n, 5);  // contexts 0..4
  WtModelUpdate(&g3[2], 4);
  EXPECT_EQ(sets->Set(3)[2].c[0], 6);  // kept within a run
  sets->Reset();
  EXPECT_EQ(sets->Set(3)[2].c[0], 5);
  EXPECT_EQ(sets->Set(30)[31].n, 32);
}

TEST(WtCore, TransformOfOnePairIsTheSTransform) {
  // 2 x 2 region, one level: rows then columns; x = [[7, 3], [4, 1]].
  int32_t a[4] = {7, 3, 4, 1};
  int32_t tmp[16];
  WtForward(a, 2, 2, 2, 1, 3, tmp);
  // Rows: (7,3) -> l 5, h 4; (4,1) -> l 2, h 3. Columns: (5,2) -> 3, 3; (4,3) -> 3, 1.
  EXPECT_EQ(a[0], 3);
  EXPECT_EQ(a[1], 3);
  EXPECT_EQ(a[2], 3);
  EXPECT_EQ(a[3], 1);
  WtInverse(a, 2, 2, 2, 1, 3, tmp);
  EXPECT_EQ(a[0], 7);
  EXPECT_EQ(a[1], 3);
  EXPECT_EQ(a[2], 4);
  EXPECT_EQ(a[3], 1);
}

TEST(WtCore, PredictorsOnFourValues) {
  // One row of 4 (n = 2) on a 4 x 2 region; the second row repeats it so columns give h = 0.
  // x = 10, 2, 6, 6: l = 6, 6; h = 8, 0. n = 2: P[0] = P[1] = (l0 - l1 + 2) >> 2 = 0.
  // x = 20, 0, 4, 4: l = 10, 4; h = 20, 0. P = (6 + 2) >> 2 = 2: hp = 18, -2.
  for (int pred = 1; pred <= 3; pred++) {
    int32_t a[8] = {20, 0, 4, 4, 20, 0, 4, 4};
    int32_t tmp[64];
    WtForward(a, 4, 4, 2, 1, pred, tmp);
    EXPECT_EQ(a[0], 10) << pred;
    EXPECT_EQ(a[1], 4) << pred;
    EXPECT_EQ(a[2], 18) << pred;
    EXPECT_EQ(a[3], -2) << pred;
    for (int i = 4; i < 8; i++) EXPECT_EQ(a[i], 0);
  }
}

TEST(WtCore, PredictorCMiddleTerm) {
  // One row of 8 (n = 4) in an 8 x 2 region with equal rows. x = 0,0, 8,8, 8,8, 0,4:
  // l = 0, 8, 8, 2; h = 0, 0, 0, -4.
  // P[3] = (l2 - l3 + 2) >> 2 = 2; P[2] = (-(l0-l1) + 4(l1-l2) + 8(l2-l3) - 6 h3 + 8) >> 4
  //      = (8 + 0 + 48 + 24 + 8) >> 4 = 5; P[1] = (2 (l0 - l2 - h2) + (l1 - l2) + 4) >> 3 = -12 >> 3
  //      = -2; P[0] = (l0 - l1 + 2) >> 2 = -6 >> 2 = -2.
  int32_t a[16] = {0, 0, 8, 8, 8, 8, 0, 4, 0, 0, 8, 8, 8, 8, 0, 4};
  int32_t tmp[64];
  WtForward(a, 8, 8, 2, 1, 3, tmp);
  const int32_t want[8] = {0, 8, 8, 2, 0 - -2, 0 - -2, 0 - 5, -4 - 2};
  for (int i = 0; i < 8; i++) EXPECT_EQ(a[i], want[i]) << i;
}

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

TEST(WtCore, HeaderOfTheReceivedSegments) {
  const uint8_t f[] = {0xFF, 0x01, 0xA0, 0xE8, 0x00, 0x1D, 0x07, 0x00, 0x3A, 0x00, 0xFF, 0x02, 0, 0xFF, 0x03};
  WtParams p;
  std::string err;
  ASSERT_TRUE(WtParseHeader(f, &p, &err)) << err;
  EXPECT_EQ(p.bpp, 10);
  EXPECT_EQ(p.width, 3712);
  EXPECT_EQ(p.height, 464);
  EXPECT_EQ(p.levels, 4);
  EXPECT_EQ(p.predictor, 3);
  EXPECT_EQ(p.block_mode, 0);
  EXPECT_EQ(p.restart, 232);
  EXPECT_EQ(p.lossy, 0);
  const WtParams def = WtDefaultParams(WtImage{10, 3712, 464});
  EXPECT_EQ(def.restart, 232);
  EXPECT_EQ(WtDefaultParams(WtImage{10, 5568, 464}).restart, 348);
}

TEST(WtCore, HeaderRejectsMissingMarkers) {
  std::vector<uint8_t> f = {0xFF, 0x01, 0xA0, 0xE8, 0x00, 0x1D, 0x07, 0x00, 0x3A, 0x00, 0xFF, 0x02, 0, 0xFF};
  WtParams p;
  std::string err;
  EXPECT_FALSE(WtParseHeader(std::span<const uint8_t>(f).first(10), &p, &err));
  EXPECT_FALSE(err.empty());
  f[1] = 0x02;
  EXPECT_FALSE(WtParseHeader(f, &p, &err));
  f[1] = 0x01;
  f[11] = 0x03;
  EXPECT_FALSE(WtParseHeader(f, &p, &err));
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

TEST(WtCore, LossyShiftsOnlyTheFinestQuadrantsForOnePlane) {
  // Q = 1: one plane; only the finest HH (coding index 3L) loses its lowest bit.
  for (int qi = 0; qi < 13; qi++) {
    const WtQuadShift s = WtQuadrantShift(1, 4, qi);
    EXPECT_EQ(s.shift, qi == 12 ? 1 : 0) << qi;
    EXPECT_EQ(s.mask, 0u);
  }
  // Q = 5: three planes, D = 0. Finest HH (e = 0, q = 0): shift 3; finest HL (e = 1, q = 2 > 0):
  // shift 3 - 1 - 1 = 1 and mask 2^(3 - 1 - 2) - 1 = 0; HH one step up (e = 1, q = 3): 1.
  EXPECT_EQ(WtQuadrantShift(5, 4, 12).shift, 3);
  EXPECT_EQ(WtQuadrantShift(5, 4, 12).mask, 3u);  // P > e + 1: 2^(3 - 0 - 1) - 1
  EXPECT_EQ(WtQuadrantShift(5, 4, 10).shift, 1);
  EXPECT_EQ(WtQuadrantShift(5, 4, 9).shift, 1);
  EXPECT_EQ(WtQuadrantShift(0, 4, 12).shift, 0);
}

}  // namespace
