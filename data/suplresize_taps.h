// What the two threefold enlargements share: OpenCV 4's source positions of a destination
// index, its fixed-point weight scale, and the parallel stripes.
#pragma once

#include <opencv2/core.hpp>

#include <algorithm>

inline constexpr int SUPL_COEF_SCALE = 1 << 11;
// Output rows per parallel stripe: each stripe recomputes the few source rows it starts with.
inline constexpr int SUPL_STRIPE_ROWS = 96;

// Source position of destination index d of an axis enlarged three times: floor and fraction
// of (d + 0.5) / 3 - 0.5, computed in double, rounded to float, split in float.
inline void SuplPosition3(int d, int* s, float* f) {
  const double scale = 1.0 / 3.0;
  const float fx = float((d + 0.5) * scale - 0.5);
  *s = cvFloor(fx);
  *f = fx - float(*s);
}

inline int SuplStripes(int rows) { return std::max(1, rows / SUPL_STRIPE_ROWS); }
