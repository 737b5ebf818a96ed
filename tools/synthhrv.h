// The 1 km texture of the generated HRV channel. The 3 km scene gives, per pixel, the HRV
// counts of the clear ground and of the cloud and the fraction of the pixel the cloud covers;
// at 1 km a pixel is cloudy where a fine noise lies under that fraction, so cloud edges turn
// sharp and ragged and partly cloudy pixels break into small cells, while the 3 km means stay,
// on average, those of the visible channels.
#pragma once

#include <opencv2/core.hpp>

#include <cstdint>

// What the 1 km detail needs of one 3712-grid pixel. HRV counts before rounding (may exceed
// 1..1023), cover 0..1; x and y: km in the frame the clouds drift with, so the detail moves with
// its clouds.
struct SynthHrvParts {
  float clear = 0, cloud = 0, cover = 0, x = 0, y = 0;
};

// Periodic noise of the detail (CV_32FC1, SYNTH_HRV_NOISE texels of 1 km a side, values evenly
// spread over 0..1, features from about 2 to 8 km); a pure function of the seed.
inline constexpr int SYNTH_HRV_NOISE = 512;
cv::Mat SynthHrvNoise(uint32_t seed);

// Softens the cover of a strip (rows x cols, row-major) with a [1 2 1] / 4 kernel each way,
// in place: a cloud edge on the 3712 grid is a one-pixel step, which a threshold would turn into
// the grid's staircase; over the softened ramp the noise draws the edge instead.
void SynthHrvSpreadCover(SynthHrvParts* parts, int rows, int cols);

// One HRV line: parts is the 3712-grid strip (rows x cols, row-major, zero off the Earth);
// raw pixel i lies at strip column c0 + dc * i, strip row row (0-based, bilinear). Writes the
// counts, kept in 1..1023, to out[first..last].
void SynthHrvLine(const cv::Mat& noise, const SynthHrvParts* parts, int rows, int cols, double c0, double dc,
                  double row, int first, int last, uint16_t* out);
