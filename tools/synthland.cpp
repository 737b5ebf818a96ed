#include "tools/synthland.h"

#include <glib.h>
#include <opencv2/imgproc.hpp>
#include <shapefil.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "data/gholder.h"

namespace {

// Outlines are coarse (tens of kilometres); they only need to give the disk a recognisable
// shape and land/sea contrast where a reader expects it.
constexpr SynthLonLat EURASIA[] = {
    {-5.6f, 36.0f},  {-2.1f, 36.7f},  {-0.5f, 38.3f},  {0.2f, 39.5f},   {0.9f, 41.0f},
    {3.2f, 41.9f},   {3.1f, 43.1f},   {4.8f, 43.4f},   {7.5f, 43.8f},   {8.8f, 44.4f},
    {10.2f, 43.9f},  {12.4f, 41.7f},  {15.6f, 40.0f},  {15.7f, 38.0f},  {16.6f, 38.4f},
    {17.2f, 39.0f},  {18.5f, 40.1f},  {16.9f, 41.2f},  {13.6f, 43.5f},  {12.3f, 45.4f},
    {13.7f, 45.7f},  {15.2f, 44.2f},  {17.5f, 43.0f},  {19.4f, 41.8f},  {19.4f, 40.3f},
    {21.0f, 38.5f},  {21.1f, 37.8f},  {22.5f, 36.4f},  {23.2f, 36.4f},  {24.0f, 38.0f},
    {22.9f, 40.6f},  {26.0f, 40.8f},  {26.6f, 40.1f},  {26.2f, 39.4f},  {27.2f, 37.9f},
    {28.0f, 36.7f},  {30.6f, 36.8f},  {32.5f, 36.1f},  {34.6f, 36.8f},  {36.0f, 36.9f},
    {35.9f, 35.6f},  {35.5f, 33.9f},  {34.9f, 32.8f},  {34.2f, 31.3f},  {34.9f, 29.5f},
    {36.6f, 26.0f},  {39.1f, 21.5f},  {42.6f, 16.5f},  {43.4f, 12.7f},  {45.0f, 12.8f},
    {49.0f, 14.5f},  {52.2f, 15.6f},  {55.0f, 17.5f},  {57.8f, 19.0f},  {59.8f, 22.5f},
    {58.6f, 23.6f},  {56.4f, 24.9f},  {56.3f, 26.4f},  {55.5f, 25.5f},  {54.0f, 24.2f},
    {52.0f, 24.0f},  {51.2f, 26.1f},  {50.0f, 26.6f},  {48.5f, 28.5f},  {48.0f, 30.0f},
    {50.8f, 28.8f},  {51.6f, 27.8f},  {54.5f, 26.6f},  {56.5f, 27.1f},  {57.3f, 25.8f},
    {61.6f, 25.2f},  {66.5f, 25.4f},  {68.0f, 23.7f},  {70.0f, 20.5f},  {72.8f, 19.0f},
    {73.5f, 16.0f},  {76.5f, 8.5f},   {77.5f, 8.1f},   {80.0f, 10.0f},  {80.3f, 13.0f},
    {80.0f, 16.0f},  {87.0f, 21.5f},  {92.0f, 22.0f},  {92.0f, 76.0f},  {80.0f, 73.0f},
    {70.0f, 73.0f},  {68.0f, 69.0f},  {60.0f, 69.5f},  {55.0f, 68.5f},  {44.0f, 68.5f},
    {41.0f, 66.5f},  {33.0f, 69.3f},  {28.0f, 71.0f},  {25.0f, 71.1f},  {20.0f, 70.0f},
    {15.0f, 68.3f},  {12.5f, 66.0f},  {10.5f, 64.4f},  {7.5f, 63.0f},   {5.0f, 62.0f},
    {5.0f, 60.0f},   {5.6f, 58.9f},   {7.0f, 58.0f},   {8.4f, 58.2f},   {10.5f, 59.3f},
    {11.2f, 59.0f},  {11.8f, 58.2f},  {12.6f, 56.2f},  {12.9f, 55.4f},  {14.2f, 55.4f},
    {16.0f, 56.2f},  {16.6f, 57.5f},  {18.0f, 59.4f},  {17.1f, 61.5f},  {17.5f, 62.5f},
    {21.3f, 64.5f},  {25.4f, 65.7f},  {24.5f, 64.8f},  {21.6f, 63.2f},  {21.4f, 61.5f},
    {22.5f, 60.0f},  {25.0f, 60.2f},  {28.5f, 60.5f},  {30.2f, 59.9f},  {28.0f, 59.5f},
    {23.5f, 59.2f},  {23.5f, 58.3f},  {24.3f, 57.1f},  {21.6f, 57.4f},  {21.0f, 56.0f},
    {21.2f, 55.2f},  {19.9f, 54.6f},  {18.6f, 54.4f},  {16.0f, 54.3f},  {14.2f, 53.9f},
    {12.0f, 54.2f},  {10.9f, 54.0f},  {9.9f, 54.8f},   {10.5f, 56.2f},  {10.6f, 57.7f},
    {8.6f, 57.1f},   {8.1f, 55.5f},   {8.7f, 54.0f},   {7.1f, 53.6f},   {4.8f, 53.0f},
    {4.5f, 52.0f},   {3.5f, 51.4f},   {2.5f, 51.1f},   {1.6f, 50.9f},   {1.5f, 50.2f},
    {0.1f, 49.5f},   {-1.3f, 49.7f},  {-1.6f, 48.7f},  {-4.7f, 48.5f},  {-4.2f, 47.8f},
    {-2.2f, 47.1f},  {-1.2f, 46.0f},  {-1.3f, 44.6f},  {-1.8f, 43.4f},  {-3.8f, 43.5f},
    {-8.0f, 43.7f},  {-9.3f, 43.0f},  {-8.8f, 42.0f},  {-8.9f, 40.5f},  {-9.5f, 38.8f},
    {-8.9f, 37.9f},  {-9.0f, 37.0f},  {-7.4f, 37.2f},  {-6.3f, 36.5f},
};

constexpr SynthLonLat AFRICA[] = {
    {-5.9f, 35.8f},  {-2.0f, 35.1f},  {3.0f, 36.8f},   {10.3f, 37.2f},  {11.1f, 36.8f},
    {10.2f, 34.2f},  {11.1f, 33.2f},  {15.2f, 32.3f},  {19.0f, 30.3f},  {20.0f, 32.0f},
    {23.0f, 32.6f},  {25.1f, 31.6f},  {29.0f, 30.9f},  {32.3f, 31.3f},  {34.2f, 31.3f},
    {34.9f, 29.5f},  {33.8f, 27.2f},  {35.6f, 23.9f},  {37.2f, 21.0f},  {38.6f, 18.0f},
    {39.7f, 15.1f},  {43.3f, 12.7f},  {45.0f, 10.4f},  {51.2f, 11.8f},  {51.0f, 10.4f},
    {48.5f, 5.0f},   {46.0f, 2.0f},   {42.0f, -1.0f},  {40.0f, -15.0f}, {35.0f, -25.0f},
    {20.0f, -35.0f}, {18.0f, -30.0f}, {12.0f, -15.0f}, {9.0f, 0.0f},    {9.5f, 4.0f},
    {5.0f, 6.0f},    {-3.0f, 5.0f},   {-8.0f, 4.5f},   {-13.0f, 8.0f},  {-17.0f, 14.7f},
    {-16.5f, 19.5f}, {-17.1f, 21.0f}, {-16.0f, 24.0f}, {-13.0f, 27.7f}, {-9.8f, 29.5f},
    {-9.6f, 31.5f},  {-8.5f, 33.3f},  {-6.8f, 34.1f},
};

constexpr SynthLonLat GREAT_BRITAIN[] = {
    {-5.7f, 50.1f}, {-3.5f, 50.3f}, {-1.0f, 50.7f}, {1.4f, 51.2f},  {1.7f, 52.6f},
    {0.3f, 53.5f},  {-0.1f, 54.5f}, {-1.6f, 55.6f}, {-2.0f, 57.0f}, {-1.8f, 57.6f},
    {-3.3f, 58.6f}, {-5.0f, 58.6f}, {-5.7f, 57.5f}, {-5.6f, 56.3f}, {-4.9f, 55.0f},
    {-3.3f, 54.8f}, {-3.2f, 54.0f}, {-3.0f, 53.4f}, {-4.6f, 53.3f}, {-4.1f, 52.5f},
    {-5.3f, 51.8f}, {-3.3f, 51.4f}, {-4.5f, 51.1f},
};

constexpr SynthLonLat IRELAND[] = {
    {-6.0f, 52.0f},  {-6.2f, 53.5f}, {-5.5f, 54.5f}, {-6.0f, 55.2f},  {-8.0f, 55.3f},
    {-8.6f, 54.3f},  {-10.0f, 54.2f}, {-9.5f, 53.3f}, {-10.3f, 52.1f}, {-9.5f, 51.6f},
    {-8.2f, 51.8f},  {-6.3f, 52.2f},
};

constexpr SynthLonLat ICELAND[] = {
    {-22.0f, 63.8f}, {-24.0f, 64.9f}, {-22.5f, 65.5f}, {-22.4f, 66.4f}, {-18.0f, 66.2f},
    {-14.5f, 66.3f}, {-13.5f, 65.2f}, {-15.0f, 64.3f}, {-18.7f, 63.4f},
};

constexpr SynthLonLat GREENLAND[] = {
    {-60.0f, 82.0f}, {-30.0f, 83.5f}, {-20.0f, 82.0f}, {-18.0f, 79.0f}, {-20.0f, 76.0f},
    {-22.0f, 72.0f}, {-22.0f, 70.5f}, {-27.0f, 68.5f}, {-33.0f, 68.0f}, {-40.0f, 65.0f},
    {-43.0f, 60.0f}, {-48.0f, 61.0f}, {-51.0f, 64.0f}, {-53.5f, 67.0f}, {-54.0f, 70.0f},
    {-55.0f, 72.0f}, {-58.0f, 75.5f}, {-68.0f, 76.5f}, {-73.0f, 78.3f}, {-67.0f, 80.0f},
};

constexpr SynthLonLat NORTH_AMERICA[] = {
    {-91.0f, 29.5f}, {-89.0f, 30.2f}, {-85.0f, 29.7f}, {-83.0f, 29.0f}, {-82.7f, 27.7f},
    {-81.2f, 25.2f}, {-80.1f, 26.5f}, {-80.5f, 28.5f}, {-81.3f, 30.4f}, {-79.2f, 33.2f},
    {-75.5f, 35.2f}, {-76.0f, 37.0f}, {-75.0f, 38.5f}, {-74.0f, 40.5f}, {-72.0f, 41.0f},
    {-70.0f, 41.6f}, {-70.5f, 43.0f}, {-67.0f, 44.6f}, {-65.5f, 43.5f}, {-60.0f, 45.8f},
    {-64.5f, 46.2f}, {-65.0f, 47.8f}, {-64.3f, 48.9f}, {-68.0f, 49.3f}, {-66.0f, 50.2f},
    {-60.0f, 50.2f}, {-57.0f, 51.5f}, {-56.0f, 53.0f}, {-60.0f, 55.5f}, {-61.5f, 57.0f},
    {-64.5f, 60.3f}, {-70.0f, 61.0f}, {-77.5f, 62.5f}, {-91.0f, 62.0f},
};

constexpr SynthLonLat NEWFOUNDLAND[] = {
    {-59.3f, 47.6f}, {-56.0f, 51.6f}, {-55.5f, 49.5f}, {-52.7f, 47.5f}, {-53.6f, 46.6f},
    {-56.0f, 47.6f},
};

constexpr SynthLonLat BAFFIN[] = {
    {-91.0f, 73.0f}, {-80.0f, 73.5f}, {-71.0f, 70.6f}, {-66.0f, 67.5f}, {-62.0f, 66.5f},
    {-65.0f, 63.0f}, {-68.0f, 62.5f}, {-75.0f, 64.5f}, {-78.0f, 64.8f}, {-80.0f, 66.0f},
    {-91.0f, 69.0f},
};

constexpr SynthLonLat CENTRAL_AMERICA[] = {
    {-91.0f, 21.0f}, {-86.8f, 21.5f}, {-87.6f, 16.0f}, {-83.2f, 15.0f}, {-83.7f, 11.0f},
    {-81.0f, 8.8f},  {-77.5f, 8.5f},  {-77.0f, 6.0f},  {-91.0f, 6.0f},
};

constexpr SynthLonLat SOUTH_AMERICA[] = {
    {-77.5f, 8.5f},  {-75.5f, 10.8f}, {-71.5f, 12.4f}, {-68.5f, 11.5f}, {-64.0f, 10.7f},
    {-61.0f, 10.5f}, {-57.0f, 6.0f},  {-51.5f, 4.2f},  {-50.0f, 1.8f},  {-48.5f, -1.0f},
    {-44.0f, -2.5f}, {-39.0f, -3.7f}, {-35.0f, -5.5f}, {-35.0f, -9.0f}, {-39.0f, -13.5f},
    {-39.5f, -18.0f}, {-41.0f, -22.5f}, {-48.5f, -26.0f}, {-53.0f, -34.0f}, {-81.3f, -5.0f},
    {-80.0f, 1.0f},  {-78.8f, 2.0f},  {-77.4f, 4.0f},
};

constexpr SynthLonLat CUBA[] = {
    {-85.0f, 21.9f}, {-81.0f, 23.1f}, {-77.5f, 22.0f}, {-74.2f, 20.2f}, {-77.7f, 19.8f},
    {-80.5f, 22.0f},
};

constexpr SynthLonLat HISPANIOLA[] = {
    {-74.4f, 18.5f}, {-72.7f, 19.9f}, {-68.4f, 18.6f}, {-71.4f, 17.6f},
};

constexpr SynthLonLat SICILY[] = {{12.4f, 38.1f}, {15.6f, 38.3f}, {15.1f, 36.7f}, {12.4f, 37.6f}};
constexpr SynthLonLat SARDINIA[] = {{8.2f, 40.9f}, {9.8f, 41.2f}, {9.6f, 39.0f}, {8.4f, 39.0f}};
constexpr SynthLonLat CORSICA[] = {{8.6f, 42.9f}, {9.4f, 43.0f}, {9.5f, 41.6f}, {8.7f, 41.4f}};
constexpr SynthLonLat CRETE[] = {{23.5f, 35.6f}, {26.3f, 35.3f}, {26.2f, 35.0f}, {23.6f, 35.2f}};
constexpr SynthLonLat CYPRUS[] = {{32.3f, 35.0f}, {34.6f, 35.7f}, {34.0f, 34.6f}, {32.6f, 34.7f}};
constexpr SynthLonLat NOVAYA_ZEMLYA[] = {
    {52.0f, 71.0f}, {56.0f, 74.5f}, {68.0f, 77.0f}, {60.0f, 74.0f}, {57.0f, 71.0f}};

constexpr SynthLonLat BLACK_SEA[] = {
    {28.1f, 41.5f}, {28.0f, 43.2f}, {29.7f, 45.3f}, {30.8f, 46.6f}, {32.5f, 46.0f},
    {33.6f, 44.4f}, {35.5f, 45.0f}, {37.8f, 44.7f}, {39.7f, 43.4f}, {41.6f, 41.6f},
    {40.0f, 41.0f}, {36.0f, 41.7f}, {33.3f, 42.0f}, {31.2f, 41.1f}, {29.1f, 41.2f},
};

constexpr SynthLonLat CASPIAN_SEA[] = {
    {46.8f, 44.6f}, {47.5f, 43.0f}, {48.6f, 41.8f}, {49.4f, 40.3f}, {49.0f, 38.4f},
    {50.3f, 37.2f}, {53.9f, 36.9f}, {53.9f, 38.8f}, {53.2f, 40.0f}, {52.8f, 41.8f},
    {51.2f, 44.5f}, {53.0f, 45.3f}, {52.5f, 46.7f}, {51.0f, 47.0f}, {49.2f, 46.4f},
};

constexpr std::span<const SynthLonLat> LAND[] = {
    EURASIA, AFRICA,        GREAT_BRITAIN, IRELAND, ICELAND, GREENLAND, NORTH_AMERICA,
    NEWFOUNDLAND, BAFFIN,   CENTRAL_AMERICA, SOUTH_AMERICA, CUBA, HISPANIOLA, SICILY,
    SARDINIA, CORSICA, CRETE, CYPRUS, NOVAYA_ZEMLYA,
};
constexpr std::span<const SynthLonLat> WATER[] = {BLACK_SEA, CASPIAN_SEA};

constexpr int RASTER_COLS = int(180.0 / SYNTH_LAND_STEP);
constexpr int RASTER_ROWS = int(100.0 / SYNTH_LAND_STEP);
constexpr int SHIFT = 4;  // fixed-point bits of the polygon vertices

void Fill(cv::Mat* m, std::span<const std::span<const SynthLonLat>> rings, int value) {
  std::vector<std::vector<cv::Point>> polys;
  for (auto ring : rings) {
    std::vector<cv::Point> p;
    for (SynthLonLat v : ring)
      p.emplace_back(int(std::lround((v.lon - SYNTH_LAND_WEST) / SYNTH_LAND_STEP * (1 << SHIFT))),
                     int(std::lround((SYNTH_LAND_NORTH - v.lat) / SYNTH_LAND_STEP * (1 << SHIFT))));
    polys.push_back(std::move(p));
  }
  // Each ring on its own, so overlapping outlines add up instead of cancelling.
  for (const auto& p : polys) {
    const cv::Point* pts = p.data();
    int n = int(p.size());
    cv::fillPoly(*m, &pts, &n, 1, cv::Scalar(value), cv::LINE_8, SHIFT);
  }
}

// The rings of a polygon shapefile; false when it cannot be opened or holds no polygons.
bool ReadRings(const std::string& path, std::vector<std::vector<SynthLonLat>>* rings) {
  GHolder<SHPInfo, SHPClose> shp(SHPOpen(path.c_str(), "rb"));
  if (!shp) return false;
  int records = 0, type = 0;
  SHPGetInfo(shp.get(), &records, &type, nullptr, nullptr);
  if (type != SHPT_POLYGON && type != SHPT_POLYGONZ && type != SHPT_POLYGONM) return false;
  for (int r = 0; r < records; r++) {
    GHolder<SHPObject, SHPDestroyObject> o(SHPReadObject(shp.get(), r));
    if (!o || o->nVertices < 3) continue;
    const int parts = std::max(o->nParts, 1);
    for (int p = 0; p < parts; p++) {
      int begin = o->nParts > 1 ? std::clamp(o->panPartStart[p], 0, o->nVertices) : 0;
      int end = o->nParts > 1 && p + 1 < parts ? std::clamp(o->panPartStart[p + 1], begin, o->nVertices)
                                                : o->nVertices;
      std::vector<SynthLonLat> ring;
      for (int v = begin; v < end; v++)
        if (std::isfinite(o->padfX[v]) && std::isfinite(o->padfY[v]))
          ring.push_back({float(o->padfX[v]), float(o->padfY[v])});
      if (ring.size() >= 3) rings->push_back(std::move(ring));
    }
  }
  return !rings->empty();
}

std::string IfPresent(const char* path) {
  return g_file_test(path, G_FILE_TEST_IS_REGULAR) ? std::string(path) : std::string();
}

}  // namespace

std::string SynthLandDefaultShore() { return IfPresent(SYNTH_GSHHS_SHORE); }
std::string SynthLandDefaultLakes() { return IfPresent(SYNTH_GSHHS_LAKES); }

std::span<const std::span<const SynthLonLat>> SynthLandPolygons() { return LAND; }
std::span<const std::span<const SynthLonLat>> SynthWaterPolygons() { return WATER; }

cv::Mat SynthLandRaster(const std::string& shore, const std::string& lakes) {
  cv::Mat mask(RASTER_ROWS, RASTER_COLS, CV_8UC1, cv::Scalar(0));
  std::vector<std::vector<SynthLonLat>> land, water;
  if (!shore.empty() && !ReadRings(shore, &land)) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s: no shoreline polygons, using the built-in outlines", shore.c_str());
    land.clear();
  }
  if (!land.empty()) {
    if (!lakes.empty() && !ReadRings(lakes, &water))
      g_log(nullptr, G_LOG_LEVEL_WARNING, "%s: no lake polygons", lakes.c_str());
    std::vector<std::span<const SynthLonLat>> l(land.begin(), land.end()), w(water.begin(), water.end());
    Fill(&mask, l, 255);
    Fill(&mask, w, 0);
  } else {
    Fill(&mask, LAND, 255);
    Fill(&mask, WATER, 0);
  }
  cv::Mat f;
  mask.convertTo(f, CV_32F, 1.0 / 255.0);
  cv::GaussianBlur(f, f, cv::Size(5, 5), 1.0);
  return f;
}

float SynthLandAt(const cv::Mat& raster, double lat, double lon) {
  double x = (lon - SYNTH_LAND_WEST) / SYNTH_LAND_STEP;
  double y = (SYNTH_LAND_NORTH - lat) / SYNTH_LAND_STEP;
  if (!(x >= 0 && y >= 0 && x < raster.cols - 1 && y < raster.rows - 1)) return 0.f;
  int x0 = int(x), y0 = int(y);
  float fx = float(x - x0), fy = float(y - y0);
  const float* r0 = raster.ptr<float>(y0) + x0;
  const float* r1 = raster.ptr<float>(y0 + 1) + x0;
  float top = r0[0] + (r0[1] - r0[0]) * fx;
  float bottom = r1[0] + (r1[1] - r1[0]) * fx;
  return top + (bottom - top) * fy;
}
