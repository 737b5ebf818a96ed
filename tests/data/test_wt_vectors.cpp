// Decoding the WT vectors: every good one bit-exact, the damaged ones as the reference does.
#include <gtest/gtest.h>

#include <filesystem>

#include "data/wt.h"
#include "tests/data/test_wt_util.h"

namespace {

const std::string kShared = std::string(NUBICORN_SHARED) + "/wt/vectors/";
const std::string kTree = std::string(NUBICORN_TESTDATA) + "/wt/";

const char* const kGood[] = {
    "nc3712_zero",     "nc3712_full",     "nc3712_hramp",    "nc3712_vramp",   "nc3712_noise",
    "nc3712_cloud",    "nc3712_disk",     "nc3712_checker1", "nc3712_checker8", "nc5568_zero",
    "nc5568_full",     "nc5568_hramp",    "nc5568_vramp",    "nc5568_noise",   "nc5568_cloud",
    "nc5568_disk",     "nc5568_checker1", "nc5568_checker8", "var_pred_none",  "var_pred_a",
    "var_pred_b",      "var_b32_l5",      "var_b64_l6",      "var_full_l3",    "var_full_l5",
    "var_r0",          "var_r7",          "var_lossy1",      "var_odd_1001x77"};

// Decodes dir/name.hrit with the given thread count and compares with name.expected.gz.
void ExpectGood(const std::string& dir, const std::string& name, int threads) {
  SCOPED_TRACE(name + " threads " + std::to_string(threads));
  const WtTestSegment seg = WtTestLoad(dir + name + ".hrit");
  ASSERT_TRUE(seg.ok);
  const std::vector<uint8_t> expected = WtTestGunzip(dir + name + ".expected.gz");
  ASSERT_EQ(expected.size(), (size_t(seg.img.nc) * seg.img.nl * 10 + 7) / 8);
  WtResult res;
  std::string err;
  ASSERT_TRUE(WtDecode(seg.field(), seg.img, WtOptions{threads}, &res, &err)) << err;
  ASSERT_EQ(res.packed.size(), expected.size());
  EXPECT_TRUE(res.packed == expected) << "decoded stream differs";
  ASSERT_EQ(res.quality.size(), size_t(seg.img.nl));
  for (int y = 0; y < seg.img.nl; y++) {
    ASSERT_EQ(res.quality[size_t(y)], seg.img.nc) << "line " << y;
    ASSERT_EQ(res.line_ok[size_t(y)], 1) << "line " << y;
  }
}

// The vectors in the tree (a few), and all of them where the shared set sits beside the checkout.
TEST(WtVectors, GoodDecodeBitExact) {
  int found = 0;
  for (const std::string& dir : {kTree, kShared})
    for (const char* name : kGood) {
      if (!std::filesystem::exists(dir + name + ".hrit")) continue;
      found++;
      ExpectGood(dir, name, 1);
      ExpectGood(dir, name, dir == kTree ? 2 : 0);
    }
  EXPECT_GE(found, 3);
}

}  // namespace

namespace {

const std::string kTruncatedName = "bad_truncated";

struct Damaged {
  const char* name;
  std::vector<std::pair<int, int32_t>> quality;  // (first line, quality) runs up to the next entry
};

// Quality per line as MANIFEST.md records the reference's.
std::vector<int32_t> Expand(const Damaged& d, int nl) {
  std::vector<int32_t> q(static_cast<size_t>(nl));
  for (size_t i = 0; i < d.quality.size(); i++) {
    const int end = i + 1 < d.quality.size() ? d.quality[i + 1].first : nl;
    for (int y = d.quality[i].first; y < end; y++) q[size_t(y)] = d.quality[i].second;
  }
  return q;
}

// Zeroes pixels [x0, x1) of lines [y0, y1) in a packed 10-bit stream.
void ZeroPacked(std::vector<uint8_t>& packed, int nc, int y0, int y1, int x0, int x1) {
  std::vector<uint16_t> px = WtUnpack(packed, packed.size() * 8 / 10, 10);
  for (int y = y0; y < y1; y++)
    for (int x = x0; x < x1; x++) px[size_t(y) * nc + x] = 0;
  packed = WtPack(px.data(), px.size(), 10);
}

void ExpectDamaged(const std::string& dir, const Damaged& d, int threads) {
  SCOPED_TRACE(std::string(d.name) + " threads " + std::to_string(threads));
  const WtTestSegment seg = WtTestLoad(dir + d.name + ".hrit");
  ASSERT_TRUE(seg.ok);
  std::vector<uint8_t> expected = WtTestGunzip(dir + d.name + ".expected.gz");
  if (d.name == kTruncatedName) ZeroPacked(expected, seg.img.nc, 160, 176, 2656, 2672);
  WtResult res;
  std::string err;
  ASSERT_TRUE(WtDecode(seg.field(), seg.img, WtOptions{threads}, &res, &err)) << err;
  EXPECT_TRUE(res.packed == expected) << "decoded stream differs";
  const std::vector<int32_t> q = Expand(d, seg.img.nl);
  for (int y = 0; y < seg.img.nl; y++) {
    ASSERT_EQ(res.quality[size_t(y)], q[size_t(y)]) << "line " << y;
    ASSERT_EQ(res.line_ok[size_t(y)], q[size_t(y)] == seg.img.nc ? 1 : 0);
  }
}

const Damaged kFlipped{"bad_flipped",
                       {{0, 3712}, {16, -480}, {32, 3712}, {112, -2944}, {128, 3712}, {288, -2288},
                        {304, 3712}}};
// The reference keeps block 166 of strip 10 (pixels 2656..2671), decoded partly from the zeros
// past the end of the cut field, and calls it good although most of its pixels are wrong. We
// count a block that decided on bits the field does not hold as lost.
const Damaged kTruncated{"bad_truncated", {{0, 3712}, {160, -2656}, {176, 0}}};

TEST(WtVectors, InTreeFlippedBytesLoseOnlyTheirRuns) {
  ExpectDamaged(kTree, kFlipped, 1);
  ExpectDamaged(kTree, kFlipped, 2);
}

TEST(WtVectors, SharedDamagedAsReference) {
  if (!std::filesystem::exists(kShared + "MANIFEST.md")) GTEST_SKIP() << "no shared vectors";
  ExpectDamaged(kShared, kFlipped, 1);
  ExpectDamaged(kShared, kTruncated, 1);
  ExpectDamaged(kShared, kTruncated, 2);
}

// The data field is complete; only the HRIT length claims 10000 bytes more. The bytes that are
// there decode to the clean image.
TEST(WtVectors, SharedOverlongLengthDecodesPresentBytes) {
  if (!std::filesystem::exists(kShared + "MANIFEST.md")) GTEST_SKIP() << "no shared vectors";
  const WtTestSegment seg = WtTestLoad(kShared + "bad_length.hrit");
  ASSERT_TRUE(seg.ok);
  EXPECT_EQ(seg.field_bytes, 392060u + 10000u);
  EXPECT_EQ(seg.field().size(), 392060u);
  WtResult res;
  std::string err;
  ASSERT_TRUE(WtDecode(seg.field(), seg.img, &res, &err)) << err;
  EXPECT_TRUE(res.packed == WtTestGunzip(kShared + "nc3712_cloud.expected.gz"));
}

}  // namespace
