// The values channels bring into the composites and the brightness temperatures: tables by
// count, value images and value ranges (shared by the composite and the conversions).
#pragma once

#include <opencv2/core.hpp>

#include <array>
#include <limits>

#include "data/atmrad.h"
#include "data/atmrad_rows.h"

inline constexpr float ATMRAD_NO_DATA = std::numeric_limits<float>::quiet_NaN();
using AtmradValueTable = std::array<float, ATMRAD_COUNTS>;

// One warning "atmrad: what (channel ch)" (without the channel when ch is 0).
void AtmradWarn(const char* what, int ch = 0);

// The channels whose value is a brightness temperature; every other channel's value is its count.
inline bool AtmradInfrared(int ch) { return ch >= 4 && ch <= 11; }

// The value a channel brings into a composite, for every count: kelvin for 4..11, the count
// itself for the others. Count 0 is space or a lost line and carries no value.
const AtmradValueTable& AtmradChannelValues(int ch);

// The value image of a channel at the composite size, enlarged bilinearly when it differs.
// Pixels without a value enter the enlargement as 0 and every output pixel that any of them
// reaches with a non-zero weight has no value either, so space neither spreads NaN over its
// neighbours nor blends into the limb.
cv::Mat AtmradValuesAt(cv::Mat v, cv::Size size);

// Row d = the values of n counts c of channel ch, less those of the counts sub of channel subch
// when sub is given.
void AtmradChannelRow(const uint16_t* c, const uint16_t* sub, int n, int ch, int subch, float* d);

// dst (made when needed) = the values of channel ch's counts, less those of channel subch's
// counts *sub of the same size when sub is given; counts beyond 10 bits have none.
void AtmradApplyValues(const cv::Mat& counts, int ch, cv::Mat& dst, const cv::Mat* sub = nullptr, int subch = 0);

// Counts that occur in the image (the value range of a table colour is over these only).
std::array<bool, ATMRAD_COUNTS> AtmradCountsPresent(const cv::Mat& counts);

// First count with a value, when every count from it on has one and the values never fall
// (true of every channel: radiance and temperature rise with the count); else -1. The value
// range over the counts that occur is then that of the smallest and the largest of them.
int AtmradMonotoneFrom(int ch);

// Range of a channel's values over the counts of the image, for a channel whose values are not
// monotone in the count (both 0 when no pixel has a value).
void AtmradPresentValueRange(const cv::Mat& counts, int ch, float* mn, float* mx);
