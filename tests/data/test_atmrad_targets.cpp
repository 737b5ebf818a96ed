// The composite kernels on every vector unit the processor has, against the plain unit byte
// for byte: random count images of odd sizes with space, counts beyond ten bits, every default
// recipe and random recipes (relative and absolute thresholds, inversion, gamma, subtracted
// channels, channels of other sizes, missing channels); and the row kernels against the
// enlargement and interleaving worked out by hand.
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "data/atmrad.h"
#include "data/atmrad_rows.h"
#include "data/recipes.h"
#include "tests/support/logcapture.h"
#include "tests/support/matcompare.h"

namespace {

using matcompare::OnTarget;
using matcompare::TargetName;
using matcompare::Targets;

struct Images {
  cv::Mat m[CHANNEL_COUNT + 1];
};

// Counts over a smooth field with noise, patches of space (0), a few scattered zeros and a few
// counts beyond ten bits.
cv::Mat RandomCounts(std::mt19937& rng, int rows, int cols) {
  std::uniform_int_distribution<int> noise(-40, 40), pct(0, 999), big(1024, 65535);
  const int base = std::uniform_int_distribution<int>(60, 900)(rng);
  const double gx = std::uniform_real_distribution<double>(-6, 6)(rng);
  const double gy = std::uniform_real_distribution<double>(-6, 6)(rng);
  const int cx = std::uniform_int_distribution<int>(0, cols)(rng);
  const int cy = std::uniform_int_distribution<int>(0, rows)(rng);
  const int radius = std::uniform_int_distribution<int>(0, 1 + std::min(rows, cols) / 3)(rng);
  cv::Mat m(rows, cols, CV_16UC1);
  for (int y = 0; y < rows; y++)
    for (int x = 0; x < cols; x++) {
      int c = std::clamp(int(base + gx * x + gy * y) + noise(rng), 1, 1023);
      const int r = pct(rng);
      if (r < 20) c = 0;
      else if (r < 30) c = big(rng);
      else if (r < 33) c = 1024;
      if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < radius * radius) c = 0;
      m.at<uint16_t>(y, x) = uint16_t(c);
    }
  return m;
}

// Every channel at the window size, HRV three times as large.
Images RandomSlot(std::mt19937& rng, int rows, int cols) {
  Images im;
  for (int ch = 1; ch <= 11; ch++) im.m[ch] = RandomCounts(rng, rows, cols);
  im.m[HRV_ID] = RandomCounts(rng, 3 * rows, 3 * cols);
  return im;
}

std::string Describe(const int32_t ch[6], const double p[9]) {
  std::string s;
  for (int i = 0; i < 6; i++) s += std::to_string(ch[i]) + " ";
  for (int i = 0; i < 9; i++) s += std::to_string(p[i]) + " ";
  return s;
}

// The composite is the same on every vector unit as on the plain one (the last), which the
// recipe tests of test_atmrad.cpp check against expected colours.
void ExpectSame(const Images& im, const double p[9], const int32_t ch[6], const std::string& what) {
  LogCapture quiet;  // failures are compared, their warnings are not the point here
  const std::vector<int64_t> targets = Targets();
  cv::Mat want;
  {
    const OnTarget on(targets.back());
    want = AtmradComposite(im.m, p, ch);
  }
  for (int64_t target : targets) {
    const OnTarget on(target);
    const cv::Mat got = AtmradComposite(im.m, p, ch);
    ASSERT_EQ(got.empty(), want.empty()) << what << " on " << TargetName(target);
    if (want.empty()) continue;
    ASSERT_EQ(got.type(), CV_8UC3);
    std::string where;
    EXPECT_EQ(matcompare::Mismatches(got, want, &where), 0)
        << what << " on " << TargetName(target) << ": " << where;
  }
}

const std::pair<int, int> SIZES[] = {{1, 1}, {1, 2}, {2, 1}, {3, 7}, {5, 13}, {11, 37}, {9, 64},
                                     {4, 101}, {23, 29}, {17, 70}};

TEST(AtmradCompositeExact, EveryDefaultRecipeAtOddSizes) {
  // The large image has rows of odd length that start at every alignment.
  std::mt19937 rng(6);
  for (auto [rows, cols] : {SIZES[0], SIZES[3], SIZES[5], SIZES[6], SIZES[7], SIZES[9], {331, 1001}}) {
    const Images im = RandomSlot(rng, rows, cols);
    for (const RgbRecipe& r : AtmradDefaultRecipes())
      ExpectSame(im, r.params, r.channels, r.name + " " + std::to_string(rows) + "x" + std::to_string(cols));
  }
}

TEST(AtmradCompositeExact, RandomRecipes) {
  std::mt19937 rng(2026);
  std::uniform_int_distribution<int> channel(1, CHANNEL_COUNT), coin(0, 9);
  std::uniform_real_distribution<double> kelvin(-80, 320), rel(0, 10000);
  const double gammas[] = {1, 1, 0.5, 1.5, 2, -1, 0};
  for (int n = 0; n < 160; n++) {
    auto [rows, cols] = SIZES[n % std::size(SIZES)];
    const Images im = RandomSlot(rng, rows, cols);
    int32_t ch[6];
    double p[9];
    for (int k = 0; k < 3; k++) {
      ch[2 * k] = channel(rng);
      ch[2 * k + 1] = coin(rng) < 4 ? channel(rng) : 0;
      double t0, t1;
      switch (coin(rng) % 5) {
        case 0: t0 = rel(rng), t1 = rel(rng) + 1000; break;           // relative
        case 1: t0 = 10000, t1 = rel(rng) < 5000 ? 0 : 2000; break;   // relative, inverted
        case 2: t0 = t1 = kelvin(rng); break;                          // a step
        case 3: t0 = 0, t1 = coin(rng) < 5 ? 1e-4 : 0.37; break;       // steep ramps
        default: t0 = kelvin(rng), t1 = kelvin(rng); break;            // absolute, either way
      }
      p[3 * k] = t0;
      p[3 * k + 1] = t1;
      p[3 * k + 2] = gammas[coin(rng) % std::size(gammas)];
    }
    if (coin(rng) < 2) {  // a colour repeated, as "Cloud top HRV" has
      ch[2] = ch[0], ch[3] = ch[1];
      std::copy(p, p + 3, p + 3);
    }
    ExpectSame(im, p, ch, Describe(ch, p));
  }
}

// Flat channels (space, flat, all beyond 10 bits), channels neither at the composite size nor
// a third of it or an HRV subtracted from a window channel (the general resize path), and
// missing channels or ones of the wrong type, which fail alike.
TEST(AtmradCompositeExact, FlatOtherSizedAndMissingChannels) {
  std::mt19937 rng(11);
  const double rel[9] = {0, 10000, 1, 2000, 10000, 2, 10000, 0, 1};
  const double mixed[9] = {0, 10000, 1, -40, 20, 1.5, 10000, 3000, 1};
  std::vector<std::pair<Images, std::string>> slots;
  for (auto [rows, cols] : {std::pair{3, 5}, {8, 40}})
    for (uint16_t fill : {uint16_t(0), uint16_t(500), uint16_t(1024), uint16_t(40)}) {
      slots.push_back({RandomSlot(rng, rows, cols), "flat " + std::to_string(fill)});
      for (int c : {1, 3, 9, 12}) slots.back().first.m[c].setTo(fill);
    }
  slots.push_back({RandomSlot(rng, 6, 10), "other sizes"});
  slots.back().first.m[2] = RandomCounts(rng, 7, 9);
  slots.back().first.m[5] = RandomCounts(rng, 12, 20);
  slots.push_back({RandomSlot(rng, 4, 6), "missing"});
  slots.back().first.m[7] = cv::Mat();
  slots.back().first.m[8] = cv::Mat(4, 6, CV_8UC1, cv::Scalar(3));  // wrong type counts as missing
  const int32_t sets[][6] = {{12, 0, 3, 0, 9, 4}, {1, 0, 9, 10, 5, 0}, {12, 0, 9, 12, 2, 0},
                             {9, 5, 2, 3, 12, 2}, {1, 7, 2, 0, 3, 0},  {1, 0, 8, 0, 3, 0},
                             {12, 0, 12, 0, 0, 0}, {40, 0, 1, 0, 1, 0}};
  for (const auto& [im, what] : slots)
    for (const auto& ch : sets)
      for (const double* p : {rel, mixed}) ExpectSame(im, p, ch, what + ": " + Describe(ch, p));
}

TEST(AtmradInterleave, RowsAtEveryAlignmentAreThePlanesInterleaved) {
  // Every start offset and length around the vector widths, with distinct planes and with a
  // plane given twice; nothing past the row is written.
  std::mt19937 rng(4);
  std::vector<uint8_t> planes(3 * 1200);
  for (uint8_t& b : planes) b = uint8_t(rng());
  const uint8_t *a = planes.data(), *b = a + 1200, *c = b + 1200;
  std::vector<uint8_t> buffer(3 * 1200 + 128);
  for (int64_t target : Targets()) {
    const OnTarget on(target);
    for (int n : {1, 15, 16, 17, 63, 64, 65, 100, 127, 128, 129, 191, 1001, 1200})
      for (int offset = 0; offset < 64; offset += 7)
        for (const auto& [p0, p1, p2] : {std::array{a, b, c}, std::array{a, a, c}, std::array{a, b, a}}) {
          uint8_t* out = buffer.data() + offset;
          std::fill(buffer.begin(), buffer.end(), uint8_t(0x5A));
          AtmradInterleave(p0, p1, p2, n, out);
          int wrong = 0;
          for (int i = 0; i < n; i++)
            wrong += out[3 * i] != p0[i] || out[3 * i + 1] != p1[i] || out[3 * i + 2] != p2[i];
          const bool kept = std::all_of(out + 3 * n, buffer.data() + buffer.size(),
                                        [](uint8_t v) { return v == 0x5A; });
          ASSERT_TRUE(wrong == 0 && kept) << "n " << n << " offset " << offset << " on "
                                          << TargetName(target) << ": " << wrong;
        }
  }
}

TEST(AtmradEnlargeRow, EveryLengthAndStretchOnEveryTarget) {
  // Lengths around the vector widths, values with gaps (NaN), every kind of stretch, against
  // the stretch of the three phases' values pixel by pixel. A step that read or wrote past the
  // row shows in the guard bytes or under ASan.
  std::mt19937 rng(12);
  std::uniform_real_distribution<float> kelvin(200, 320);
  const std::array<AtmradStretch, 7> stretches = {
      AtmradMakeStretch(230, 290, 1, false, 0, 0),   // ramp
      AtmradMakeStretch(230, 290, 1, true, 0, 0),    // inverted
      AtmradMakeStretch(230, 290, 2, false, 0, 0),   // gamma, entry 0 is 0
      AtmradMakeStretch(230, 290, -1, false, 0, 0),  // gamma whose entry 0 is not
      AtmradMakeStretch(260, 260, 1, false, 0, 0),   // step
      AtmradMakeStretch(260, 260, 0.5, true, 0, 0),  // step, inverted, gamma
      AtmradMakeStretch(0, 1e-30, 1, true, 0, 0),    // a ramp beyond int32: saturates to 0
  };
  ASSERT_NE(stretches[3].gamma[0], 0);
  const float a0 = 1 - 2.0f / 3, w0 = 2.0f / 3, a2 = 1 - 1.0f / 3, w2 = 1.0f / 3;
  for (int n = 1; n <= 131; n += n < 70 ? 1 : 13) {
    std::vector<float> src(static_cast<size_t>(n));
    for (float& v : src) v = rng() % 7 == 0 ? std::numeric_limits<float>::quiet_NaN() : kelvin(rng);
    for (size_t k = 0; k < stretches.size(); k++) {
      const AtmradStretch& s = stretches[k];
      std::vector<uint8_t> want(size_t(3 * n) + 64, 0x5A);
      for (int b = 0; b < n; b++) {
        want[size_t(3 * b)] = s(b == 0 ? src[0] : src[size_t(b - 1)] * a0 + src[size_t(b)] * w0);
        want[size_t(3 * b + 1)] = s(src[size_t(b)]);
        want[size_t(3 * b + 2)] = s(b == n - 1 ? src[size_t(b)] : src[size_t(b)] * a2 + src[size_t(b + 1)] * w2);
      }
      for (int64_t target : Targets()) {
        const OnTarget on(target);
        std::vector<uint8_t> got(want.size(), 0x5A);
        AtmradEnlargeRow(src.data(), n, s, got.data());
        ASSERT_EQ(got, want) << "n " << n << " stretch " << k << " on " << TargetName(target);
      }
    }
  }
}

}  // namespace
