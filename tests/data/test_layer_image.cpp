// Window cuts, grey display images and gamma tables.
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cmath>

#include "data/suplimage.h"

namespace {

// A matrix whose every element tells where it came from: row * 1000 + column.
cv::Mat Numbered(int rows, int cols) {
  cv::Mat m(rows, cols, CV_16UC1);
  for (int y = 0; y < rows; y++)
    for (int x = 0; x < cols; x++) m.at<uint16_t>(y, x) = uint16_t(y * 1000 + x);
  return m;
}

TEST(SuplCropToRect, NoRectOrWholeMatrixIsTheSameData) {
  cv::Mat m = Numbered(10, 20);
  EXPECT_EQ(SuplCropToRect(m, nullptr).data, m.data);
  int32_t zero_w[4] = {2, 2, 0, 5};
  EXPECT_EQ(SuplCropToRect(m, zero_w).data, m.data);
  int32_t whole[4] = {0, 0, 20, 10};
  EXPECT_EQ(SuplCropToRect(m, whole).data, m.data);
}

TEST(SuplCropToRect, WholeSizeAtAnOffsetIsStillCut) {
  // Same width and height as the matrix but shifted: the result must be shifted too.
  cv::Mat m = Numbered(10, 20);
  int32_t r[4] = {3, 2, 20, 10};
  cv::Mat c = SuplCropToRect(m, r);
  ASSERT_EQ(c.cols, 17);
  ASSERT_EQ(c.rows, 8);
  EXPECT_EQ(c.at<uint16_t>(0, 0), 2003);
}

TEST(SuplCropToRect, CopiesTheRectAndClampsItIntoTheCaller) {
  cv::Mat m = Numbered(10, 20);
  int32_t r[4] = {15, 4, 9, 30};
  cv::Mat c = SuplCropToRect(m, r);
  EXPECT_EQ(r[0], 15);
  EXPECT_EQ(r[1], 4);
  EXPECT_EQ(r[2], 5);  // ends at the right edge
  EXPECT_EQ(r[3], 6);  // ends at the bottom edge
  ASSERT_EQ(c.size(), cv::Size(5, 6));
  for (int y = 0; y < 6; y++)
    for (int x = 0; x < 5; x++) EXPECT_EQ(c.at<uint16_t>(y, x), (4 + y) * 1000 + 15 + x);
  EXPECT_NE(c.data, m.data);
}

TEST(SuplCropToRect, PartOutsideTheTopLeftIsZero) {
  cv::Mat m = Numbered(10, 20);
  int32_t r[4] = {-3, -2, 6, 5};
  cv::Mat c = SuplCropToRect(m, r);
  ASSERT_EQ(c.size(), cv::Size(6, 5));
  for (int y = 0; y < 5; y++)
    for (int x = 0; x < 6; x++) {
      int sx = x - 3, sy = y - 2;
      uint16_t want = (sx >= 0 && sy >= 0) ? uint16_t(sy * 1000 + sx) : 0;
      EXPECT_EQ(c.at<uint16_t>(y, x), want) << x << "," << y;
    }
}

TEST(SuplCropToRect, NoIntersectionIsEmpty) {
  cv::Mat m = Numbered(10, 20);
  int32_t left[4] = {-30, 0, 10, 5};
  EXPECT_TRUE(SuplCropToRect(m, left).empty());
  int32_t below[4] = {0, 10, 10, 5};
  EXPECT_TRUE(SuplCropToRect(m, below).empty());
  int32_t right[4] = {25, 0, 10, 5};
  EXPECT_TRUE(SuplCropToRect(m, right).empty());
  int32_t negative[4] = {1, 1, -4, 3};
  EXPECT_TRUE(SuplCropToRect(m, negative).empty());
  int32_t huge[4] = {INT32_MAX, 0, INT32_MAX, 5};
  EXPECT_TRUE(SuplCropToRect(m, huge).empty());
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

TEST(SuplGray2Rgb, FactorThreeIsBicubicOfTheThreePlanes) {
  // Reference: grey, then three planes, then bicubic enlargement of the colour image.
  cv::Mat m(17, 23, CV_16UC1);
  for (int y = 0; y < m.rows; y++)
    for (int x = 0; x < m.cols; x++) m.at<uint16_t>(y, x) = uint16_t((x * 97 + y * 311) % 1024);
  cv::Mat g, rgb, want;
  m.convertTo(g, CV_8UC1, SUPL_GREY_FACTOR);
  cv::cvtColor(g, rgb, cv::COLOR_GRAY2RGB);
  cv::resize(rgb, want, cv::Size(69, 51), 0, 0, cv::INTER_CUBIC);
  cv::Mat d = SuplGray2Rgb(m, 3);
  ASSERT_EQ(d.size(), cv::Size(69, 51));
  EXPECT_EQ(cv::norm(d, want, cv::NORM_INF), 0);
  // The centre pixel of every 3x3 block is the window pixel itself.
  EXPECT_EQ(d.at<cv::Vec3b>(3 * 5 + 1, 3 * 7 + 1)[0], g.at<uint8_t>(5, 7));
}

TEST(SuplGray2Rgb, RejectsWrongInput) {
  EXPECT_TRUE(SuplGray2Rgb(cv::Mat(), 3).empty());
  EXPECT_TRUE(SuplGray2Rgb(cv::Mat(2, 2, CV_8UC1, cv::Scalar(1)), 1).empty());
}

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
}

TEST(SuplGammaLut, DegenerateGammaStaysInRange) {
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
