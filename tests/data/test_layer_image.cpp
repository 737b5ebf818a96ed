// Window cuts, grey display images and gamma tables.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "data/suplimage.h"

namespace {

// A matrix whose every element tells where it came from: row * 1000 + column.
cv::Mat Numbered(int rows, int cols) {
  cv::Mat m(rows, cols, CV_16UC1);
  for (int y = 0; y < rows; y++)
    for (int x = 0; x < cols; x++) m.at<uint16_t>(y, x) = uint16_t(y * 1000 + x);
  return m;
}

// The cut of a window: no window or the whole matrix is the same data; otherwise a copy of the
// window clamped at the right and bottom (the clamp written back into the caller's window),
// zeros where it lies beyond the top or left; empty without an intersection.
TEST(SuplCropToRect, CutsCopiesAndClamps) {
  const cv::Mat m = Numbered(10, 20);
  EXPECT_EQ(SuplCropToRect(m, nullptr).data, m.data);
  enum Result { same, copy, empty };
  struct Case {
    int32_t in[4];
    Result result;
    int32_t after[4];
  };
  const Case cases[] = {
      {{2, 2, 0, 5}, same, {}},
      {{0, 0, 20, 10}, same, {}},
      {{3, 2, 20, 10}, copy, {3, 2, 17, 8}},  // the whole size at an offset is still cut
      {{15, 4, 9, 30}, copy, {15, 4, 5, 6}},
      {{-3, -2, 6, 5}, copy, {-3, -2, 6, 5}},
      {{-30, 0, 10, 5}, empty, {}},
      {{0, 10, 10, 5}, empty, {}},
      {{25, 0, 10, 5}, empty, {}},
      {{1, 1, -4, 3}, empty, {}},
      {{INT32_MAX, 0, INT32_MAX, 5}, empty, {}},
  };
  for (const Case& k : cases) {
    int32_t r[4] = {k.in[0], k.in[1], k.in[2], k.in[3]};
    const cv::Mat c = SuplCropToRect(m, r);
    SCOPED_TRACE(testing::Message() << k.in[0] << "," << k.in[1] << " " << k.in[2] << "x" << k.in[3]);
    if (k.result != copy) {
      EXPECT_EQ(k.result == same ? c.data == m.data : c.empty(), true);
      continue;
    }
    EXPECT_EQ(std::vector<int32_t>(r, r + 4), std::vector<int32_t>(k.after, k.after + 4));
    ASSERT_EQ(c.size(), cv::Size(k.after[2], k.after[3]));
    EXPECT_NE(c.data, m.data);
    for (int y = 0; y < c.rows; y++)
      for (int x = 0; x < c.cols; x++) {
        const int sx = r[0] + x, sy = r[1] + y;
        ASSERT_EQ(c.at<uint16_t>(y, x), sx >= 0 && sy >= 0 ? sy * 1000 + sx : 0) << x << "," << y;
      }
  }
}

TEST(SuplGray2Rgb, GreyIsCountTimes255Over1024Rounded) {
  cv::Mat m = (cv::Mat_<uint16_t>(1, 6) << 0, 512, 1023, 4, 2, 1000);
  cv::Mat d = SuplGray2Rgb(m, 1);
  ASSERT_EQ(d.type(), CV_8UC3);
  ASSERT_EQ(d.size(), m.size());
  // 4 * 255 / 1024 = 0.996 -> 1; 2 * 255 / 1024 = 0.498 -> 0; 1000 -> 249.02 -> 249
  const uint8_t want[6] = {0, 128, 255, 1, 0, 249};
  for (int x = 0; x < 6; x++)
    for (int c = 0; c < 3; c++) EXPECT_EQ(d.at<cv::Vec3b>(0, x)[c], want[x]) << x;
}

TEST(SuplGray2Rgb, RejectsWrongInput) {
  EXPECT_TRUE(SuplGray2Rgb(cv::Mat(), 3).empty());
  EXPECT_TRUE(SuplGray2Rgb(cv::Mat(2, 2, CV_8UC1, cv::Scalar(1)), 1).empty());
}

// Gamma tables: in place or not; a degenerate gamma still maps into 0..255.
TEST(SuplGammaLut, TableValues) {
  cv::Mat m = (cv::Mat_<uint8_t>(1, 4) << 0, 64, 128, 255);
  cv::Mat d;
  SuplGammaLut(m, d, 2.0);
  EXPECT_EQ(d.at<uint8_t>(0, 1), 127);  // 255 * sqrt(64 / 255) = 127.75
  EXPECT_EQ(d.at<uint8_t>(0, 0), 0);
  EXPECT_EQ(d.at<uint8_t>(0, 3), 255);
  SuplGammaLut(m, m, 0.5);  // in place; darkens: 255 * (128/255)^2 = 64.25
  EXPECT_EQ(m.at<uint8_t>(0, 2), 64);
  EXPECT_EQ(m.at<uint8_t>(0, 1), 16);  // 64^2 / 255 = 16.06
  uint8_t lut[256];
  SuplGammaTable(0.0, lut);  // exponent infinite: everything below 255 goes to 0
  EXPECT_EQ(lut[254], 0);
  EXPECT_EQ(lut[255], 255);
  SuplGammaTable(-1.0, lut);  // 255 * 255 / i, clamped
  EXPECT_EQ(lut[0], 255);
  EXPECT_EQ(lut[255], 255);
  SuplGammaTable(std::nan(""), lut);
  EXPECT_EQ(lut[100], 0);
}

}  // namespace
