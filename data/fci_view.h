// FCI layers in the window: the 2 km window of a view rectangle, the positions of the display
// (1 km a pixel, as MSG's at x1), and the RGB composites on FCI channels.
#pragma once

#include <opencv2/core.hpp>

#include <cstdint>

#include "data/fci.h"

// The view rectangle (x, y, width, height of the north-up 3712 image, as the settings give it)
// as the smallest window of the north-up 2 km grid that covers the same scan angles (a 3 km
// pixel is about 1.5 of 2 km), kept on the grid. Its display is 2 x its size, within a pixel or
// two of MSG's 3 x the rectangle.
void FciWindowOfRect(const int32_t rect[4], int32_t window[4]);

// Fractional 1-based column (from the west) and row (from the south) of the 1 km grid, as
// FciGridToLatLon takes them, of display position u, v (pixels from the north-west corner of
// the display of a 2 km window), and back.
void FciDisplayToGrid(const int32_t window[4], double u, double v, double* column, double* row);
void FciGridToDisplay(const int32_t window[4], double column, double row, double* u, double* v);

// The FCI channel (index in FciChannels) that stands for a SEVIRI channel id 1..12 of an RGB
// recipe: VIS 0.6 vis_06, VIS 0.8 vis_08, IR 1.6 nir_16, IR 3.9 ir_38, WV 6.2 wv_63, WV 7.3
// wv_73, IR 8.7 ir_87, IR 9.7 ir_97, IR 10.8 ir_105, IR 12.0 ir_123, IR 13.4 ir_133, and HRV
// (the 1 km broadband visible) vis_06 at its 1 km. -1 for any other id.
int FciForSeviri(int id);

// The true colour's green: reflectance of vis_05 (0.51 um, bluer than the eye's green, which
// vegetation reflects weakly there) blended with 7 % of vis_08 (0.865 um) so that land under
// vegetation looks green, as the "hybrid green" of imagers without a 0.55 um channel.
inline constexpr double FCI_GREEN_NIR_SHARE = 0.07;
// The true colour's stretch: each colour from 0 to FCI_TRUE_COLOUR_TOP % reflectance, gamma
// FCI_TRUE_COLOUR_GAMMA (dark surfaces lifted, as the eye sees them).
inline constexpr double FCI_TRUE_COLOUR_TOP = 100.0;
inline constexpr double FCI_TRUE_COLOUR_GAMMA = 2.0;

// The values of one FCI channel on the display grid of its window (`size`, 1 km a pixel): the
// 1 km channels as they are, the 2 km ones enlarged bilinearly. Empty when values is neither.
cv::Mat FciValuesAt(const cv::Mat& values, cv::Size size);

// CV_8UC3 R, G, B composite of `size` (the display of the window) from channel values (CV_32FC1
// brightness temperature K or reflectance %, of either grid; indexed by FCI channel, empty when
// not loaded), for a recipe of SEVIRI channel ids (FciForSeviri) and its thresholds: a colour is
// a channel's value minus its subtracted channel's, stretched from the low to the high
// threshold (relative ones, high >= 1000, in ten-thousandths of the colour's range in the
// image), then its gamma. Pixels without a value are 0 in that colour. Empty when a channel
// is missing.
cv::Mat FciComposite(const cv::Mat values[FCI_CHANNEL_COUNT], const double params[9], const int32_t channels[6],
                     cv::Size size);
// The true colour: red vis_06, green the hybrid green, blue vis_04.
cv::Mat FciTrueColour(const cv::Mat values[FCI_CHANNEL_COUNT], cv::Size size);
// The channels the true colour needs.
inline constexpr int FCI_TRUE_COLOUR_CHANNELS[] = {0, 1, 2, 3};  // vis_04, vis_05, vis_06, vis_08
