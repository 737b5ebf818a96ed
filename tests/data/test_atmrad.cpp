// Brightness temperatures and RGB composites from counts whose values are known.
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <vector>

#include "data/atmrad.h"
#include "data/recipes.h"
#include "tests/support/logcapture.h"
#include "tests/support/planck.h"

namespace {

using planck::C1;
using planck::C2;
using Planck = planck::Coef;
const auto& PLANCK = planck::COEFS;
double Kelvin(const Planck& p, int count) { return planck::Kelvin(p.ch, count); }
const Planck& Coef(int ch) { return planck::Of(ch); }

// Byte of one colour by the rules: stretch lo..lo+span to 0..255 with rounding and
// saturation, inversion, gamma table.
int Expected(double v, double t0, double t1, double gamma, double mn = 0, double mx = 0) {
  bool inv = t0 > t1;
  if (inv) std::swap(t0, t1);
  double lo = t0, span = t1 - t0;
  if (t1 >= 1000) {
    lo = (mx - mn) * t0 / 10000 + mn;
    span = (mx - mn) * t1 / 10000 + mn - lo;
  }
  double s = std::nearbyint((v - lo) * 255 / span);
  int c = int(std::clamp(s, 0.0, 255.0));
  if (inv) c = 255 - c;
  if (gamma != 1) c = int(255 * std::pow(c / 255.0, 1 / gamma));
  return c;
}

cv::Mat Filled(int rows, int cols, uint16_t count) {
  return cv::Mat(rows, cols, CV_16UC1, cv::Scalar(count));
}

TEST(AtmradBrightnessTemp, TableIsTheFormulaForEveryCount) {
  for (const Planck& p : PLANCK) {
    const float* t = AtmradBtTable(p.ch);
    ASSERT_NE(t, nullptr) << p.ch;
    for (int c = 0; c < 1024; c++) {
      if (c * p.slope + p.offset <= 0) {
        EXPECT_TRUE(std::isnan(t[c])) << p.ch << " " << c;
        continue;
      }
      EXPECT_EQ(t[c], float(Kelvin(p, c))) << p.ch << " " << c;
    }
  }
  EXPECT_EQ(AtmradBtTable(3), nullptr);
  EXPECT_EQ(AtmradBtTable(12), nullptr);
}

TEST(AtmradBrightnessTemp, PlanckRadianceOfTheTemperatureIsTheCalibratedRadiance) {
  // The inverse direction: the black-body radiance at T + B must be count * slope + offset.
  for (const Planck& p : PLANCK)
    for (int c : {100, 300, 600, 900, 1023}) {
      double r = c * p.slope + p.offset;
      if (r <= 0) continue;
      cv::Mat counts = Filled(1, 1, uint16_t(c)), dst;
      AtmradBrightnessTemp(counts, p.ch, dst);
      ASSERT_EQ(dst.type(), CV_32FC1);
      double t = dst.at<float>(0, 0) + p.b;
      double planck = C1 * std::pow(p.vc, 3) / (std::exp(C2 * p.vc / t) - 1);
      EXPECT_NEAR(planck / r, 1.0, 1e-5) << p.ch << " count " << c;
    }
}

TEST(AtmradBrightnessTemp, NoConversionAboveChannel11) {
  LogCapture log;
  cv::Mat counts = Filled(2, 2, 500);
  cv::Mat dst(2, 2, CV_32FC1, cv::Scalar(7));
  AtmradBrightnessTemp(counts, 12, dst);
  EXPECT_EQ(dst.at<float>(1, 1), 7.0f);
  EXPECT_TRUE(log.contains("atmrad:"));
}

// Images of one slot indexed by channel id.
struct Images {
  cv::Mat m[CHANNEL_COUNT + 1];
};

int Byte(const cv::Mat& out, int y, int x, int k) { return out.at<cv::Vec3b>(y, x)[k]; }

// A 4 x 5 scene for every channel: pixel (y, x) of channel ch holds 200 + 37 x + 71 y + 5 ch,
// one pixel is space (0).
Images Scene(int rows = 4, int cols = 5) {
  Images im;
  for (int ch = 1; ch <= 11; ch++) {
    im.m[ch] = cv::Mat(rows, cols, CV_16UC1);
    for (int y = 0; y < rows; y++)
      for (int x = 0; x < cols; x++)
        im.m[ch].at<uint16_t>(y, x) = uint16_t(200 + 37 * x + 71 * y + 5 * ch);
    im.m[ch].at<uint16_t>(rows - 1, cols - 1) = 0;
  }
  return im;
}

double Value(const Images& im, int ch, int y, int x) {
  int c = im.m[ch].at<uint16_t>(y, x);
  return ch >= 4 && ch <= 11 ? Kelvin(Coef(ch), c) : c;
}

TEST(AtmradComposite, EveryRecipeWithoutHrvAtChosenPixels) {
  Images im = Scene();
  for (const RgbRecipe& r : AtmradDefaultRecipes()) {
    bool uses_hrv = false;
    for (int c : r.channels) uses_hrv |= c == HRV_ID;
    if (uses_hrv) continue;
    cv::Mat out = AtmradComposite(im.m, r.params, r.channels);
    ASSERT_EQ(out.size(), cv::Size(15, 12)) << r.name;
    for (int k = 0; k < 3; k++) {
      int ch = r.channels[2 * k], sub = r.channels[2 * k + 1];
      const double* p = r.params + 3 * k;
      double mn = 1e30, mx = -1e30;
      for (int y = 0; y < 4; y++)
        for (int x = 0; x < 5; x++) {
          if (y == 3 && x == 4) continue;  // space
          double v = Value(im, ch, y, x) - (sub ? Value(im, sub, y, x) : 0);
          mn = std::min(mn, v);
          mx = std::max(mx, v);
        }
      for (auto [y, x] : {std::pair{0, 0}, {1, 3}, {2, 1}, {3, 2}, {0, 4}}) {
        double v = Value(im, ch, y, x) - (sub ? Value(im, sub, y, x) : 0);
        // The centre of each 3 x 3 block is the window pixel itself after the bilinear step.
        EXPECT_NEAR(Byte(out, 3 * y + 1, 3 * x + 1, k),
                    Expected(v, p[0], p[1], p[2], mn, mx), 1)
            << r.name << " colour " << k << " at " << x << "," << y;
      }
      EXPECT_EQ(Byte(out, 3 * 3 + 1, 3 * 4 + 1, k), 0) << r.name << ": space is black";
    }
  }
}

TEST(AtmradComposite, RelativeTopThirtyPercent) {
  // Counts 100..190: 7000..10000 of the range is 163..190.
  Images im;
  im.m[1] = cv::Mat(1, 10, CV_16UC1);
  for (int i = 0; i < 10; i++) im.m[1].at<uint16_t>(0, i) = uint16_t(100 + 10 * i);
  int32_t ch[6] = {1, 0, 1, 0, 1, 0};
  double p[9] = {7000, 10000, 1, 0, 10000, 1, 10000, 0, 1};
  cv::Mat out = AtmradComposite(im.m, p, ch);
  for (int i = 0; i < 10; i++) {
    double v = 100 + 10 * i;
    EXPECT_EQ(Byte(out, 1, 3 * i + 1, 0), Expected(v, 7000, 10000, 1, 100, 190)) << i;
    EXPECT_EQ(Byte(out, 1, 3 * i + 1, 1), Expected(v, 0, 10000, 1, 100, 190)) << i;
    EXPECT_EQ(Byte(out, 1, 3 * i + 1, 2), 255 - Byte(out, 1, 3 * i + 1, 1)) << i;
  }
  EXPECT_EQ(Byte(out, 1, 1, 0), 0);
  EXPECT_EQ(Byte(out, 1, 3 * 6 + 1, 0), 0);  // 160 is below 163
  EXPECT_EQ(Byte(out, 1, 3 * 9 + 1, 0), 255);
}

TEST(AtmradComposite, CloudTopAndTrueColourHrv) {
  // HRV counts rise to the east and the window channels are flat but for one pixel, so every
  // colour's stretch end points are known.
  Images im = Scene(2, 3);
  im.m[12] = cv::Mat(6, 9, CV_16UC1);
  for (int y = 0; y < 6; y++)
    for (int x = 0; x < 9; x++) im.m[12].at<uint16_t>(y, x) = uint16_t(100 + 50 * x + y);
  const double mn = 100, mx = 100 + 50 * 8 + 5;
  for (int idx : {4, 6}) {
    RgbRecipe r = AtmradDefaultRecipes()[idx];
    cv::Mat out = AtmradComposite(im.m, r.params, r.channels);
    ASSERT_EQ(out.size(), cv::Size(9, 6)) << r.name;
    for (int k = 0; k < 3; k++) {
      const int ch = r.channels[2 * k];
      if (ch == HRV_ID) {
        for (auto [y, x] : {std::pair{0, 0}, {2, 4}, {5, 8}})
          EXPECT_EQ(Byte(out, y, x, k), Expected(100 + 50 * x + y, 0, 10000, 1, mn, mx))
              << r.name << " " << k;
      } else {
        // Window pixels (0, 0) and (1, 1) at the centres of their blocks: the darkest and,
        // with (1, 2) in space, the brightest real value of the window.
        double lo = Value(im, ch, 0, 0), hi = Value(im, ch, 1, 1);
        EXPECT_EQ(Byte(out, 1, 1, k), Expected(lo, 0, 10000, 1, lo, hi)) << r.name << " " << k;
        EXPECT_EQ(Byte(out, 4, 4, k), 255) << r.name << " " << k;
        EXPECT_EQ(Byte(out, 4, 7, k), 0) << r.name << ": space is black";
      }
    }
  }
}

TEST(AtmradComposite, HrvModeEnlargementIsBilinearResize) {
  // Reference: brightness temperatures of IR 10.8 and IR 3.9 enlarged with cv::resize
  // (bilinear) to the HRV size, subtracted, stretched by the rules. Every pixel, not only the
  // block centres.
  Images im;
  const int rows = 7, cols = 9;
  for (int ch : {4, 9}) {
    im.m[ch] = cv::Mat(rows, cols, CV_16UC1);
    for (int y = 0; y < rows; y++)
      for (int x = 0; x < cols; x++)
        im.m[ch].at<uint16_t>(y, x) = uint16_t(ch == 9 ? 500 + 23 * x + 17 * y : 700 - 9 * x + 4 * y);
  }
  im.m[12] = Filled(3 * rows, 3 * cols, 400);
  cv::Mat bt[2];
  for (int n = 0; n < 2; n++) {
    const int ch = n ? 4 : 9;
    cv::Mat f(rows, cols, CV_32FC1);
    for (int y = 0; y < rows; y++)
      for (int x = 0; x < cols; x++) f.at<float>(y, x) = float(Value(im, ch, y, x));
    cv::resize(f, bt[n], cv::Size(3 * cols, 3 * rows), 0, 0, cv::INTER_LINEAR);
  }
  int32_t chans[6] = {12, 0, 12, 0, 9, 4};
  for (double t0 : {-70.0, 0.0}) {
    const double t1 = t0 == 0.0 ? 10000 : -40;
    double p[9] = {0, 10000, 1, 0, 10000, 1, t0, t1, 2};
    cv::Mat out = AtmradComposite(im.m, p, chans);
    ASSERT_EQ(out.size(), cv::Size(3 * cols, 3 * rows));
    cv::Mat d = bt[0] - bt[1];
    double mn, mx;
    cv::minMaxLoc(d, &mn, &mx);
    int off = 0;
    for (int y = 0; y < out.rows; y++)
      for (int x = 0; x < out.cols; x++) {
        const int want = Expected(d.at<float>(y, x), t0, t1, 2, mn, mx);
        const int got = Byte(out, y, x, 2);
        EXPECT_NEAR(got, want, 1) << x << "," << y;
        off += got != want;
      }
    EXPECT_LT(off, int(out.total() / 20));
  }
}

TEST(AtmradComposite, MissingChannelFails) {
  LogCapture log;
  Images im = Scene();
  im.m[2] = cv::Mat();
  RgbRecipe day = AtmradDefaultRecipes()[2];  // 2, 4, 9
  EXPECT_TRUE(AtmradComposite(im.m, day.params, day.channels).empty());
  EXPECT_EQ(log.count(), 2u);
  log.clear();
  im = Scene();
  im.m[7] = cv::Mat();  // subtracted green channel of MPhys(Air)
  RgbRecipe air = AtmradDefaultRecipes()[0];
  EXPECT_TRUE(AtmradComposite(im.m, air.params, air.channels).empty());
  EXPECT_EQ(log.count(), 2u);
  log.clear();
  Images none;
  EXPECT_TRUE(AtmradComposite(none.m, air.params, air.channels).empty());
  EXPECT_EQ(log.count(), 2u);
}

TEST(AtmradComposite, ZeroSpanIsAStep) {
  Images im;
  im.m[1] = (cv::Mat_<uint16_t>(1, 3) << 10, 20, 30);
  int32_t ch[6] = {1, 0, 1, 0, 1, 0};
  double p[9] = {20, 20, 1, 0, 10000, 1, 0, 10000, 1};
  cv::Mat out = AtmradComposite(im.m, p, ch);
  EXPECT_EQ(Byte(out, 1, 1, 0), 0);
  EXPECT_EQ(Byte(out, 1, 4, 0), 255);
  EXPECT_EQ(Byte(out, 1, 7, 0), 255);
  im.m[1].setTo(50);  // constant image in relative mode
  out = AtmradComposite(im.m, p, ch);
  EXPECT_EQ(Byte(out, 1, 4, 1), 255);
}

TEST(AtmradComposite, StepOfAnEnlargedChannelIsExactWhereItsSourceIsFlat) {
  // HRV mode: the window channels are enlarged by three before the step. Blends of equal
  // values are those values, so a flat channel is one colour however the blend rounds
  // (night over a relative stretch: every pixel on the threshold).
  Images im;
  im.m[12] = cv::Mat(9, 12, CV_16UC1);
  for (int y = 0; y < 9; y++)
    for (int x = 0; x < 12; x++) im.m[12].at<uint16_t>(y, x) = uint16_t(200 + 7 * x + y);
  im.m[2] = Filled(3, 4, 51);
  // Red: an absolute step at 51 over counts of 51 but for one pixel of 50. An output pixel is
  // 255 exactly when every source pixel its bilinear blend weighs is 51.
  im.m[3] = Filled(3, 4, 51);
  im.m[3].at<uint16_t>(1, 2) = 50;
  int32_t ch[6] = {3, 0, 2, 0, 12, 0};
  double p[9] = {51, 51, 1, 0, 10000, 1, 0, 10000, 1};
  cv::Mat out = AtmradComposite(im.m, p, ch);
  ASSERT_EQ(out.size(), cv::Size(12, 9));
  // The source rows (columns) an output row (column) blends: phase 1 its own, phase 0 also the
  // one before, phase 2 also the one after, none past the edge.
  auto taps = [](int o, int n) {
    std::vector<int> t = {o / 3};
    if (o % 3 == 0 && o / 3 > 0) t.push_back(o / 3 - 1);
    if (o % 3 == 2 && o / 3 < n - 1) t.push_back(o / 3 + 1);
    return t;
  };
  int on = 0;
  for (int y = 0; y < 9; y++)
    for (int x = 0; x < 12; x++) {
      bool all51 = true;
      for (int sy : taps(y, 3))
        for (int sx : taps(x, 4)) all51 = all51 && im.m[3].at<uint16_t>(sy, sx) == 51;
      on += all51;
      EXPECT_EQ(Byte(out, y, x, 0), all51 ? 255 : 0) << y << " " << x;
      EXPECT_EQ(Byte(out, y, x, 1), 255) << "flat green, relative: " << y << " " << x;
    }
  EXPECT_EQ(on, 9 * 12 - 5 * 5);  // the 50 is blended into five output rows by five columns
}

TEST(AtmradComposite, SlotLayersFeedTheRecipe) {
  Slot* slot = InfoSlotNew();
  Images im = Scene();
  for (int ch : {3, 2, 1}) {
    slot[ch] = InfoNew(ch, "201607041200");
    slot[ch]->images[0] = im.m[ch];
  }
  RgbRecipe natural = AtmradDefaultRecipes()[3];
  cv::Mat a = AtmradCompositeSlot(slot, natural);
  cv::Mat b = AtmradComposite(im.m, natural.params, natural.channels);
  ASSERT_FALSE(a.empty());
  EXPECT_EQ(cv::norm(a, b, cv::NORM_INF), 0);
  InfoSlotDel(slot);
}

}  // namespace
