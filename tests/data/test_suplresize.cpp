// The threefold enlargements must give exactly the bytes of cv::resize, at every size, on
// every vector unit the processor has, borders included.
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <string>
#include <vector>

#include "data/suplresize.h"
#include "tests/support/matcompare.h"

namespace {

using matcompare::OnTarget;
using matcompare::TargetName;
using matcompare::Targets;
using matcompare::Mismatches;

struct Size2 {
  int rows, cols;
};

// Odd and tiny sizes hit every border case and every vector tail (every row end remainder up
// to 40 columns); the wider ones exercise the vector chunks and several parallel stripes.
std::vector<Size2> Sizes() {
  std::vector<Size2> sizes = {{2, 1},    {17, 1},    {2, 2},     {3, 3},     {33, 9},  {64, 64},
                              {97, 143}, {131, 333}, {200, 1000},
                              // Far from the origin the float position loses bits, so the
                              // weights can differ from one block to the next.
                              {3, 3712}, {2784, 4}};
  for (int cols = 1; cols <= 40; cols++) sizes.push_back({1 + cols % 5, cols});
  return sizes;
}

// Uniform noise, plus images of only 0 and 255 which drive the cubic overshoot into saturation.
cv::Mat Random(int rows, int cols, int type, int kind, uint64_t seed) {
  cv::Mat m(rows, cols, type);
  cv::RNG rng(seed);
  if (kind == 0) {
    rng.fill(m, cv::RNG::UNIFORM, 0, 256);
  } else {
    cv::Mat bits(rows, cols * m.channels(), CV_8UC1);
    rng.fill(bits, cv::RNG::UNIFORM, 0, 2);
    bits *= 255;
    bits.reshape(m.channels(), rows).copyTo(m);
  }
  return m;
}

// SuplCubic3Rgb of `src` (grey or counts) is the bicubic enlargement of `grey` as RGB, and
// SuplLinear3 of an RGB `src` the bilinear one, on every target.
void ExpectLikeResize(const cv::Mat& src, const cv::Mat& grey, const std::string& what) {
  cv::Mat big, expected;
  const cv::Size size(3 * src.cols, 3 * src.rows);
  if (src.type() == CV_8UC3) {
    cv::resize(src, expected, size, 0, 0, cv::INTER_LINEAR);
  } else {
    cv::resize(grey, big, size, 0, 0, cv::INTER_CUBIC);
    cv::cvtColor(big, expected, cv::COLOR_GRAY2RGB);
  }
  for (int64_t target : Targets()) {
    const OnTarget on(target);
    const cv::Mat got = src.type() == CV_8UC3 ? SuplLinear3(src) : SuplCubic3Rgb(src);
    std::string where;
    EXPECT_EQ(Mismatches(got, expected, &where), 0) << what << " on " << TargetName(target) << ": " << where;
  }
}

std::string Name(const Size2& s, int kind) {
  return std::to_string(s.rows) + "x" + std::to_string(s.cols) + " kind " + std::to_string(kind);
}

TEST(SuplCubic3Rgb, EqualsResizeThenGreyToRgbAtEverySize) {
  for (const Size2& s : Sizes())
    for (int kind = 0; kind < 2; kind++) {
      const cv::Mat grey = Random(s.rows, s.cols, CV_8UC1, kind, 1000u * s.rows + s.cols + kind);
      ExpectLikeResize(grey, grey, Name(s, kind));
    }
}

// Counts are taken as their display grey, round(count * 255 / 1024) saturated, computed here
// in double; counts past 10 bits are white.
TEST(SuplCubic3Rgb, CountsEnlargeAsTheirGrey) {
  for (const Size2& s : Sizes()) {
    if (size_t(s.rows) * s.cols > 100000) continue;
    cv::Mat counts(s.rows, s.cols, CV_16UC1);
    cv::RNG(uint64_t(s.rows) * 7 + s.cols).fill(counts, cv::RNG::UNIFORM, 0, 1100);
    cv::Mat grey(counts.size(), CV_8UC1);
    for (int y = 0; y < counts.rows; y++)
      for (int x = 0; x < counts.cols; x++) {
        const int c = counts.at<uint16_t>(y, x);
        grey.at<uint8_t>(y, x) = c >= 1024 ? 255 : uint8_t(std::lround(c * 255.0 / 1024));
      }
    ExpectLikeResize(counts, grey, Name(s, 2));
  }
}

TEST(SuplLinear3, EqualsResizeAtEverySize) {
  for (const Size2& s : Sizes())
    for (int kind = 0; kind < 2; kind++) {
      const cv::Mat rgb = Random(s.rows, s.cols, CV_8UC3, kind, 77u * s.rows + s.cols + kind);
      ExpectLikeResize(rgb, cv::Mat(), Name(s, kind));
    }
}

// A crop of a larger matrix has rows further apart than its width.
TEST(SuplResize, ReadsAViewWithItsOwnStride) {
  for (const int type : {CV_8UC1, CV_8UC3}) {
    const cv::Mat view = Random(60, 90, type, 0, 7)(cv::Rect(5, 3, 41, 29));
    ExpectLikeResize(view, view.clone(), "view");
  }
}

TEST(SuplResize, RejectsTheWrongTypeOrAnEmptyImage) {
  EXPECT_THROW(SuplCubic3Rgb(cv::Mat(4, 4, CV_16SC1, cv::Scalar(0))), cv::Exception);
  EXPECT_THROW(SuplCubic3Rgb(cv::Mat(4, 4, CV_8UC3, cv::Scalar(0))), cv::Exception);
  EXPECT_THROW(SuplCubic3Rgb(cv::Mat()), cv::Exception);
  EXPECT_THROW(SuplLinear3(cv::Mat(4, 4, CV_8UC1, cv::Scalar(0))), cv::Exception);
  EXPECT_THROW(SuplLinear3(cv::Mat()), cv::Exception);
}

}  // namespace
