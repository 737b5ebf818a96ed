// A coarse land mask of the northern Meteosat disk, as plain polygons in degrees.
#pragma once

#include <opencv2/core.hpp>

#include <span>

struct SynthLonLat {
  float lon, lat;
};

// Land outlines (Europe and western Asia, Africa, Arabia, the British Isles, Iceland, Greenland,
// the eastern Americas, the larger Mediterranean islands); closed rings, any orientation.
std::span<const std::span<const SynthLonLat>> SynthLandPolygons();
// Inland seas cut out of the land outlines (Black Sea, Caspian Sea).
std::span<const std::span<const SynthLonLat>> SynthWaterPolygons();

// Raster of the land fraction (CV_32FC1, 0 sea .. 1 land, slightly softened coasts) over
// longitudes -90..90 and latitudes -10..90 at SYNTH_LAND_STEP degrees; row 0 is latitude 90.
inline constexpr double SYNTH_LAND_STEP = 0.05;
inline constexpr double SYNTH_LAND_WEST = -90.0, SYNTH_LAND_NORTH = 90.0;
cv::Mat SynthLandRaster();
// Bilinear land fraction at a point; 0 outside the raster.
float SynthLandAt(const cv::Mat& raster, double lat, double lon);
