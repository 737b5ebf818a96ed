// A coarse land mask of the northern Meteosat disk, as plain polygons in degrees.
#pragma once

#include <opencv2/core.hpp>

#include <span>
#include <string>

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
// With shore empty the built-in outlines are used; otherwise the polygons of the shoreline
// shapefile shore (lon/lat degrees, such as GSHHS level 1) are land and those of lakes (GSHHS
// level 2, may be empty or missing) are cut out again. A shapefile that cannot be read gives the
// built-in outlines and a warning.
cv::Mat SynthLandRaster(const std::string& shore = {}, const std::string& lakes = {});
// The GSHHS coarse shoreline and low-resolution lakes of the Debian package python-cartopy-data,
// or empty strings when they are not installed.
inline constexpr const char* SYNTH_GSHHS_SHORE = "/usr/share/cartopy/data/shapefiles/gshhs/c/GSHHS_c_L1.shp";
inline constexpr const char* SYNTH_GSHHS_LAKES = "/usr/share/cartopy/data/shapefiles/gshhs/l/GSHHS_l_L2.shp";
std::string SynthLandDefaultShore();
std::string SynthLandDefaultLakes();
// Bilinear land fraction at a point; 0 outside the raster.
float SynthLandAt(const cv::Mat& raster, double lat, double lon);
