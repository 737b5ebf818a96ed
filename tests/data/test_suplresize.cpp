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

// Odd and tiny sizes hit every border case and every vector tail; the wider ones exercise the
// vector chunks and several parallel stripes.
const std::vector<Size2> SIZES = {{1, 1},   {1, 2},   {2, 1},   {2, 2},    {3, 3},   {1, 17},
                                  {17, 1},  {5, 7},   {7, 5},   {11, 16},  {13, 31}, {33, 9},
                                  {37, 101}, {64, 64}, {97, 143}, {131, 333}, {200, 1000},
                                  // Far from the origin the float position loses bits, so
                                  // the weights can differ from one block to the next.
                                  {3, 3712}, {2784, 4}};

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

TEST(SuplCubic3Rgb, EqualsResizeThenGreyToRgbAtEverySize) {
  int cases = 0;
  for (const Size2& s : SIZES)
    for (int kind = 0; kind < 2; kind++) {
      const cv::Mat grey = Random(s.rows, s.cols, CV_8UC1, kind, 1000u * s.rows + s.cols + kind);
      cv::Mat big, expected;
      cv::resize(grey, big, cv::Size(3 * s.cols, 3 * s.rows), 0, 0, cv::INTER_CUBIC);
      cv::cvtColor(big, expected, cv::COLOR_GRAY2RGB);
      for (int64_t target : Targets()) {
        const OnTarget on(target);
        std::string where;
        EXPECT_EQ(Mismatches(SuplCubic3Rgb(grey), expected, &where), 0)
            << s.rows << "x" << s.cols << " kind " << kind << " on " << TargetName(target) << ": " << where;
        cases++;
      }
    }
  EXPECT_GE(cases, int(2 * SIZES.size()));
}

TEST(SuplCubic3Rgb, EveryRowEndRemainderOfTheVectorWidth) {
  for (int cols = 1; cols <= 40; cols++) {
    const cv::Mat grey = Random(1 + cols % 5, cols, CV_8UC1, 0, 5u + cols);
    cv::Mat big, expected;
    cv::resize(grey, big, cv::Size(3 * cols, 3 * grey.rows), 0, 0, cv::INTER_CUBIC);
    cv::cvtColor(big, expected, cv::COLOR_GRAY2RGB);
    for (int64_t target : Targets()) {
      const OnTarget on(target);
      std::string where;
      EXPECT_EQ(Mismatches(SuplCubic3Rgb(grey), expected, &where), 0)
          << cols << " columns, on " << TargetName(target) << ": " << where;
    }
  }
}

// Counts are taken as their display grey, round(count * 255 / 1024) saturated, computed here
// in double; counts past 10 bits are white.
TEST(SuplCubic3Rgb, CountsEnlargeAsTheirGrey) {
  for (const Size2& s : SIZES) {
    if (size_t(s.rows) * s.cols > 100000) continue;
    cv::Mat counts(s.rows, s.cols, CV_16UC1);
    cv::RNG(uint64_t(s.rows) * 7 + s.cols).fill(counts, cv::RNG::UNIFORM, 0, 1100);
    cv::Mat grey(counts.size(), CV_8UC1);
    for (int y = 0; y < counts.rows; y++)
      for (int x = 0; x < counts.cols; x++) {
        const int c = counts.at<uint16_t>(y, x);
        grey.at<uint8_t>(y, x) = c >= 1024 ? 255 : uint8_t(std::lround(c * 255.0 / 1024));
      }
    cv::Mat big, expected;
    cv::resize(grey, big, cv::Size(3 * s.cols, 3 * s.rows), 0, 0, cv::INTER_CUBIC);
    cv::cvtColor(big, expected, cv::COLOR_GRAY2RGB);
    for (int64_t target : Targets()) {
      const OnTarget on(target);
      std::string where;
      EXPECT_EQ(Mismatches(SuplCubic3Rgb(counts), expected, &where), 0)
          << s.rows << "x" << s.cols << " on " << TargetName(target) << ": " << where;
    }
  }
}

TEST(SuplCubic3Rgb, BlockCentresAreTheSourcePixels) {
  // An integer factor puts each source pixel on the centre of its 3 x 3 block, weight one.
  const cv::Mat grey = Random(9, 14, CV_8UC1, 0, 99);
  const cv::Mat got = SuplCubic3Rgb(grey);
  for (int y = 0; y < 9; y++)
    for (int x = 0; x < 14; x++)
      for (int c = 0; c < 3; c++)
        ASSERT_EQ(got.at<cv::Vec3b>(3 * y + 1, 3 * x + 1)[c], grey.at<uint8_t>(y, x)) << x << "," << y;
}

TEST(SuplCubic3Rgb, ReadsAViewWithItsOwnStride) {
  // A crop of a larger matrix has rows further apart than its width.
  const cv::Mat whole = Random(60, 90, CV_8UC1, 0, 7);
  const cv::Mat view = whole(cv::Rect(5, 3, 41, 29));
  cv::Mat big, expected;
  cv::resize(view.clone(), big, cv::Size(3 * 41, 3 * 29), 0, 0, cv::INTER_CUBIC);
  cv::cvtColor(big, expected, cv::COLOR_GRAY2RGB);
  std::string where;
  EXPECT_EQ(Mismatches(SuplCubic3Rgb(view), expected, &where), 0) << where;
}

TEST(SuplLinear3, EqualsResizeAtEverySize) {
  for (const Size2& s : SIZES)
    for (int kind = 0; kind < 2; kind++) {
      const cv::Mat rgb = Random(s.rows, s.cols, CV_8UC3, kind, 77u * s.rows + s.cols + kind);
      cv::Mat expected;
      cv::resize(rgb, expected, cv::Size(3 * s.cols, 3 * s.rows), 0, 0, cv::INTER_LINEAR);
      for (int64_t target : Targets()) {
        const OnTarget on(target);
        std::string where;
        EXPECT_EQ(Mismatches(SuplLinear3(rgb), expected, &where), 0)
            << s.rows << "x" << s.cols << " kind " << kind << " on " << TargetName(target) << ": " << where;
      }
    }
}

TEST(SuplLinear3, ReadsAViewWithItsOwnStride) {
  const cv::Mat whole = Random(50, 70, CV_8UC3, 0, 11);
  const cv::Mat view = whole(cv::Rect(9, 4, 37, 23));
  cv::Mat expected;
  cv::resize(view.clone(), expected, cv::Size(3 * 37, 3 * 23), 0, 0, cv::INTER_LINEAR);
  std::string where;
  EXPECT_EQ(Mismatches(SuplLinear3(view), expected, &where), 0) << where;
}

TEST(SuplResize, RejectsTheWrongTypeOrAnEmptyImage) {
  EXPECT_THROW(SuplCubic3Rgb(cv::Mat(4, 4, CV_16SC1, cv::Scalar(0))), cv::Exception);
  EXPECT_THROW(SuplCubic3Rgb(cv::Mat(4, 4, CV_8UC3, cv::Scalar(0))), cv::Exception);
  EXPECT_THROW(SuplCubic3Rgb(cv::Mat()), cv::Exception);
  EXPECT_THROW(SuplLinear3(cv::Mat(4, 4, CV_8UC1, cv::Scalar(0))), cv::Exception);
  EXPECT_THROW(SuplLinear3(cv::Mat()), cv::Exception);
}

}  // namespace
