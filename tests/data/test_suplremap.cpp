// The 16-bit remap must give exactly the samples of cv::remap (bilinear, constant border 0)
// through fixed-point maps, on the plain and the vector path, and the grey display image of
// SuplGray2Rgb from the same pass.
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <atomic>
#include <string>
#include <vector>

#include "data/suplimage.h"
#include "data/suplremap.h"
#include "data/suplresize.h"
#include "tests/support/matcompare.h"

namespace {

using matcompare::OnTarget;
using matcompare::TargetName;
using matcompare::Targets;
using matcompare::Mismatches;

// Float maps of rows x cols output pixels into a src of sw x sh: a smooth warp like the HRV
// one (about one source pixel per output pixel, with a slow drift) that runs off every edge,
// mixed with rows of random positions and the far-off marker the loader uses off the Earth.
void Maps(int rows, int cols, int sw, int sh, uint64_t seed, cv::Mat* m1, cv::Mat* m2) {
  cv::Mat mx(rows, cols, CV_32FC1), my(rows, cols, CV_32FC1);
  cv::RNG rng(seed);
  for (int j = 0; j < rows; j++)
    for (int i = 0; i < cols; i++) {
      float x, y;
      if (j % 7 == 3) {
        x = rng.uniform(-3.f, float(sw) + 2.f);
        y = rng.uniform(-3.f, float(sh) + 2.f);
      } else {
        x = -1.7f + i * 0.997f + 0.013f * j + 0.3f * std::sin(j * 0.05f);
        y = -1.2f + j * 1.003f - 0.011f * i;
      }
      if ((i + 3 * j) % 61 == 0) x = y = -16.f;
      mx.at<float>(j, i) = x;
      my.at<float>(j, i) = y;
    }
  cv::convertMaps(mx, my, *m1, *m2, CV_16SC2);
}

cv::Mat Counts(int rows, int cols, int maxval, uint64_t seed) {
  cv::Mat m(rows, cols, CV_16UC1);
  cv::RNG(seed).fill(m, cv::RNG::UNIFORM, 0, maxval + 1);
  return m;
}

// Remaps src through (m1, m2) on every target, by the general kernel or, given its separable
// form, by that: the samples of cv::remap and the grey image of SuplGray2Rgb from the same
// pass. The general kernel also without the grey image, and into outputs of another size.
void ExpectLikeCvRemap(const cv::Mat& src, const cv::Mat& m1, const cv::Mat& m2, const std::string& what,
                       const SuplSepMap* sep = nullptr) {
  cv::Mat expected;
  cv::remap(src, expected, m1, m2, cv::INTER_LINEAR, cv::BORDER_CONSTANT, 0);
  const cv::Mat grey = SuplGray2Rgb(expected, 1);
  for (int64_t target : Targets()) {
    const OnTarget on(target);
    cv::Mat dst, rgb, alone(3, 3, CV_16UC1, cv::Scalar(7));
    if (sep) {
      SuplRemapSep(src, *sep, dst, &rgb);
    } else {
      dst.create(2, 2, CV_16UC1);
      rgb.create(2, 2, CV_8UC3);
      SuplRemapLinear16(src, m1, m2, dst, &rgb);
      SuplRemapLinear16(src, m1, m2, alone, nullptr);
    }
    std::string where;
    EXPECT_EQ(Mismatches(dst, expected, &where), 0) << what << " on " << TargetName(target) << ": " << where;
    EXPECT_EQ(Mismatches(rgb, grey, &where), 0) << what << " on " << TargetName(target) << ": " << where;
    if (!sep) {
      EXPECT_EQ(Mismatches(alone, expected, &where), 0) << what << ": " << where;
    }
  }
}

// Float maps to the fixed-point ones the loader hands over.
void Convert(const cv::Mat& mx, const cv::Mat& my, cv::Mat* m1, cv::Mat* m2) {
  cv::convertMaps(mx, my, *m1, *m2, CV_16SC2);
}

struct Case {
  int src_rows, src_cols, rows, cols;
};

// Sizes that leave every vector tail and border; the wide one spans several stripes; 10-bit
// counts and the whole range of the type; and a source that is a view into a larger matrix.
TEST(SuplRemapLinear16, EqualsCvRemapAndItsGreyImage) {
  const std::vector<Case> cases = {{1, 1, 3, 5},     {1, 9, 4, 20},    {9, 1, 20, 4},
                                   {2, 2, 7, 7},     {17, 23, 19, 25}, {64, 64, 66, 70},
                                   {97, 143, 99, 161}, {300, 520, 305, 533}};
  for (const Case& c : cases)
    for (int maxval : {1023, 65535}) {
      const cv::Mat src = Counts(c.src_rows, c.src_cols, maxval, uint64_t(c.rows * 131 + maxval));
      cv::Mat m1, m2;
      Maps(c.rows, c.cols, c.src_cols, c.src_rows, uint64_t(c.cols), &m1, &m2);
      ExpectLikeCvRemap(src, m1, m2, std::to_string(c.src_rows) + "x" + std::to_string(c.src_cols) +
                                         " -> " + std::to_string(c.rows) + "x" + std::to_string(c.cols) +
                                         " max " + std::to_string(maxval));
    }
  const cv::Mat view = Counts(80, 120, 1023, 7)(cv::Rect(13, 9, 70, 50));
  cv::Mat m1, m2;
  Maps(52, 75, view.cols, view.rows, 3, &m1, &m2);
  ExpectLikeCvRemap(view, m1, m2, "view");
}

// The separable path at every pair of fractions: column i at source column i with fraction
// i % 32, row j at source row j with fraction j % 32, over 10-bit counts with runs of the
// extremes 0 and 1023 side by side, and with one sample above 10 bits in some rows.
TEST(SuplRemapSep, EveryFractionPairOnTheSeparablePath) {
  const int rows = 70, cols = 100;
  cv::Mat src = Counts(rows + 2, cols + 20, 1023, 21);
  for (int j = 0; j < src.rows; j += 5)
    for (int i = 0; i < src.cols; i++) src.at<uint16_t>(j, i) = (i / 3) % 2 ? 1023 : 0;
  cv::Mat wide = src.clone();
  for (int j = 1; j < wide.rows; j += 9) wide.at<uint16_t>(j, (7 * j) % wide.cols) = 1024 + j;
  cv::Mat mx(rows, cols, CV_32FC1), my(rows, cols, CV_32FC1), m1, m2;
  for (int j = 0; j < rows; j++)
    for (int i = 0; i < cols; i++) {
      mx.at<float>(j, i) = float(i) + float(i % 32) / 32.f;
      my.at<float>(j, i) = float(j) + float(j % 32) / 32.f;
    }
  Convert(mx, my, &m1, &m2);
  for (const cv::Mat& s : {src, wide}) {
    const SuplSepMap sep = SuplSepFromMaps(m1, m2, s.size());
    EXPECT_TRUE(sep.others.empty());
    ExpectLikeCvRemap(s, m1, m2, "fraction pairs", &sep);
  }
}

// Maps like the HRV ones: one position per column and per row (a step of one source pixel, a
// fixed fraction), a disk outside which pixels are marked far off, a band running off each
// edge of the source, and scattered pixels a little off the pattern. The separable form keeps
// only those few apart, and remapping through it equals cv::remap.
TEST(SuplRemapSep, NearlySeparableMapsLikeHrv) {
  const int rows = 301, cols = 437;
  const cv::Mat src = Counts(290, 430, 1023, 11);
  cv::Mat mx(rows, cols, CV_32FC1), my(rows, cols, CV_32FC1), m1, m2;
  cv::RNG rng(5);
  int noisy = 0;
  for (int j = 0; j < rows; j++)
    for (int i = 0; i < cols; i++) {
      float x = -3.3f + i + 0.40625f, y = -2.2f + j + 0.15625f;
      const float dx = i - cols / 2.f, dy = j - rows / 2.f;
      if (dx * dx + dy * dy > 200.f * 200.f) x = y = -16.f;  // off the disk
      else if (rng.uniform(0, 500) == 0) {
        x += rng.uniform(-2.f, 2.f);
        y += rng.uniform(-2.f, 2.f);
        noisy++;
      }
      mx.at<float>(j, i) = x;
      my.at<float>(j, i) = y;
    }
  Convert(mx, my, &m1, &m2);
  const SuplSepMap sep = SuplSepFromMaps(m1, m2, src.size());
  // The noisy pixels and the pixels along the source's edges (with a tap off it) at most.
  EXPECT_LE(sep.others.size(), size_t(noisy + 4 * (rows + cols)));
  EXPECT_GT(sep.hi[rows / 2] - sep.lo[rows / 2], 300);
  ExpectLikeCvRemap(src, m1, m2, "hrv-like", &sep);
  // A form made for another source size is refused.
  cv::Mat dst;
  EXPECT_THROW(SuplRemapSep(src(cv::Rect(0, 0, 100, 100)).clone(), sep, dst), cv::Exception);
}

// The source handed over in stripes gives the same images, whether the maps are HRV-like
// (each stripe needs a band of rows) or scatter positions over the whole source; every request
// lies on the source, and the kernels read only the rows asked for (the buffer holds no
// others, so a stray read lands outside it).
TEST(SuplRemapSepRows, StripesOfTheSourceGiveTheWholeSourcesImage) {
  for (int kind = 0; kind < 2; kind++) {
    const cv::Mat src = Counts(290, 430, kind == 0 ? 1023 : 65535, 21 + kind);
    cv::Mat m1, m2, expected;
    if (kind == 0) {
      cv::Mat mx(301, 437, CV_32FC1), my(301, 437, CV_32FC1);
      for (int j = 0; j < mx.rows; j++)
        for (int i = 0; i < mx.cols; i++) {
          mx.at<float>(j, i) = -3.3f + i + 0.40625f + ((i * 7 + j) % 211 == 0 ? 1.7f : 0.f);
          my.at<float>(j, i) = -2.2f + j * 0.97f + ((i + j * 3) % 173 == 0 ? -2.4f : 0.f);
        }
      cv::convertMaps(mx, my, m1, m2, CV_16SC2);
    } else {
      Maps(305, 433, src.cols, src.rows, 9, &m1, &m2);
    }
    cv::remap(src, expected, m1, m2, cv::INTER_LINEAR, cv::BORDER_CONSTANT, 0);
    const SuplSepMap sep = SuplSepFromMaps(m1, m2, src.size());
    for (int64_t target : Targets()) {
      const OnTarget on(target);
      std::atomic<int> calls{0}, bad{0};
      auto fill = [&](int r0, int r1, cv::Mat& rows) {
        calls++;
        if (r0 < 0 || r1 > src.rows || r0 >= r1 || rows.rows != r1 - r0 || rows.cols != src.cols) {
          bad++;
          return;
        }
        src.rowRange(r0, r1).copyTo(rows);
      };
      cv::Mat dst, rgb;
      SuplRemapSepRows(src.size(), fill, sep, dst, &rgb);
      EXPECT_EQ(bad.load(), 0);
      EXPECT_GT(calls.load(), 1);
      std::string where;
      EXPECT_EQ(Mismatches(dst, expected, &where), 0) << "kind " << kind << " on " << TargetName(target) << ": " << where;
      EXPECT_EQ(Mismatches(rgb, SuplGray2Rgb(expected, 1), &where), 0) << where;
    }
  }
}

TEST(SuplRemapLinear16, RefusesWrongTypes) {
  cv::Mat m1, m2, dst;
  Maps(4, 4, 4, 4, 1, &m1, &m2);
  const cv::Mat eight(4, 4, CV_8UC1, cv::Scalar(1));
  EXPECT_THROW(SuplRemapLinear16(eight, m1, m2, dst), cv::Exception);
  const cv::Mat src = Counts(4, 4, 1023, 1);
  EXPECT_THROW(SuplRemapLinear16(src, m2, m2, dst), cv::Exception);
  EXPECT_THROW(SuplRemapLinear16(src, m1, m2.rowRange(0, 2), dst), cv::Exception);
}

}  // namespace
