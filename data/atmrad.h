// Radiometry and RGB composites.
#pragma once

#include <opencv2/core.hpp>

#include <cstdint>

#include "data/fileinfo.h"
#include "data/rgbrecipe.h"

// Calibration and Planck coefficients of one channel (ids 1..12; vc and b are 0 where there
// is no brightness temperature).
struct AtmradCoef {
  double slope, offset, vc, b;
};
inline constexpr double ATMRAD_C1 = 1.19104e-5;
inline constexpr double ATMRAD_C2 = 1.43877;
// Indexed by channel id; entry 0 is empty.
extern const AtmradCoef AtmradCoefs[CHANNEL_COUNT + 1];

// Brightness temperature (K) of every count 0..1023 of infrared channel 4..11:
// T = C2 vc / ln(1 + C1 vc^3 / R) - B with R = count * slope + offset, in double, stored as
// float. Counts whose radiance is not positive (space, count 0) hold NaN. nullptr for
// channels outside 4..11.
const float* AtmradBtTable(int ch);

// Fills dst (CV_32FC1, counts' size, made when needed) with the brightness temperatures of
// counts (CV_16UC1). For a channel outside 4..11: warning "atmrad:%d", dst untouched.
void AtmradBrightnessTemp(const cv::Mat& counts, int ch, cv::Mat& dst);

// Composite of one recipe from the images[0] of channel layers, indexed by channel id
// (images[0] and channels not loaded are empty). CV_8UC3 R, G, B of three times the window,
// or of the HRV image when HRV takes part. Empty after warnings "atmrad:%d" when a colour's
// channel or subtracted channel is missing or out of range, or nothing could be allocated.
// Pixels without data (count 0 in a channel of the colour, or no brightness temperature) are
// 0 in that colour and take no part in the relative stretch. A visible or HRV subtracted
// channel subtracts its counts; a zero span (equal thresholds, or a flat image in relative
// units) is a step: 255 from the threshold up, 0 below, where a value that an enlargement's
// rounding leaves a few ulps under the threshold counts as on it.
cv::Mat AtmradComposite(const cv::Mat images[CHANNEL_COUNT + 1], const double params[9],
                        const int32_t channels[6]);
// The same for a recipe and the channel layers of a slot (entries 1..12).
cv::Mat AtmradCompositeSlot(const Slot* slot, const RgbRecipe& recipe);
