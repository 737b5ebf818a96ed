// The synthetic weather scene: what every SEVIRI channel sees at a point of the Earth at a
// given time. Pure functions of the seed, the time and the place, so images are reproducible.
#pragma once

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>

#include "tools/synthhrv.h"

struct SynthScene {
  uint32_t seed = 1;
  int64_t unix_time = 0;     // repeat cycle start, UTC seconds since 1970
  double cloud_cover = 0.5;  // 0 clear sky .. 1 overcast
  cv::Mat land;              // SynthLandRaster()
  cv::Mat hrv_noise;         // SynthHrvNoise(seed)
  double sun_sin_dec = 0, sun_cos_dec = 1, sun_hour_deg = 0;  // hour angle at longitude 0
};

// The scene of one repeat cycle (builds the land raster and the sun's position). The cloud
// cover is kept in 0..1; a value that is not a number counts as 0.5. shore and lakes: the
// land-mask shapefiles of SynthLandRaster (empty: built-in outlines).
SynthScene SynthSceneMake(uint32_t seed, int64_t unix_time, double cloud_cover, const std::string& shore = {},
                          const std::string& lakes = {});

// Counts of one Earth pixel: index = channel id (1..11; 0 unused), each 1..1023, and the HRV
// value before rounding (a count, 1..1023) with the parts SynthHrvLine builds its 1 km pixels of.
struct SynthPixelCounts {
  uint16_t counts[12];
  float hrv;
  SynthHrvParts hrv_parts;
};

// Calibration of the channels as the prologue states it (index = channel id 1..12).
extern const double SynthCalSlope[13];
extern const double SynthCalOffset[13];

// Everything the channels see at (lat, lon), in degrees; the point must be on the Earth.
void SynthPixel(const SynthScene& scene, double lat, double lon, SynthPixelCounts* out);

// Radiance (mW m-2 sr-1 (cm-1)-1) that the program's brightness-temperature formula turns into
// temperature t for channel ch (4..11); inverse of T = C2 vc / ln(1 + C1 vc^3 / R) - B.
double SynthRadianceOfTemp(int ch, double t);
// Count of a radiance through the channel's slope and offset, rounded and kept in 1..1023.
uint16_t SynthCountOfRadiance(int ch, double radiance);
