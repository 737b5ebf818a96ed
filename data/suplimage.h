// Image helpers of the data library: window cuts, grey display images, gamma tables.
#pragma once

#include <opencv2/core.hpp>

#include <cstdint>

// Grey factor of the display image: 255 / 1024, so a count of 512 is grey 128.
inline constexpr double SUPL_GREY_FACTOR = 0.2490234375;

// Cuts rect = (x, y, width, height) out of m. Width and height are first clamped so the rect
// ends at m's right and bottom edges, and the clamped values are written back into rect. The
// part of the rect that lies left of or above m (negative x, y) comes out as 0; nothing
// outside m is ever read. Returns m itself (no copy) when rect is null, has a zero side or
// covers m exactly; an empty matrix when the rect does not meet m at all.
cv::Mat SuplCropToRect(const cv::Mat& m, int32_t rect[4]);

// Display image of a CV_16UC1 count matrix: CV_8UC3 with three equal planes (R, G, B) of
// round(count * 255 / 1024) saturated, enlarged factor times by bicubic interpolation when
// factor is not 1. Empty on a bad input or a failed allocation (one warning "%s").
cv::Mat SuplGray2Rgb(const cv::Mat& counts, int factor);

// The display image's grey of counts 0..1023, then 255 at index 1024 (for every larger count)
// and three more 255 so that four bytes can be read at any index up to 1024.
const uint8_t* SuplGreyTable();

// dst = src (CV_8UC1) through the table lut[i] = trunc(255 * (i / 255)^(1 / gamma)), in place
// allowed. Table values are clamped to 0..255, so any gamma gives a defined result.
void SuplGammaLut(const cv::Mat& src, cv::Mat& dst, double gamma);
// The table itself (exposed for the composite, which folds it into its own tables).
void SuplGammaTable(double gamma, uint8_t lut[256]);
