// Test-data generator for MTG FCI: FDHSI repeat cycles as disseminated (40 BODY chunk files and
// a TRAIL file, netCDF-4, optionally JPEG-LS compressed) of the MSG generator's synthetic scene
// seen from 0° on the FCI grids.
#pragma once

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "data/fci.h"

// The calibration the generator writes for each channel (index as FciChannels): counts to
// radiance, and the brightness-temperature coefficients (infrared) or the effective solar
// irradiance (solar channels).
struct SynthFciCal {
  double scale, offset;
  double wavenumber, a, b;  // 0 for solar channels
  double irradiance;        // 0 for infrared channels
};
extern const SynthFciCal SynthFciCals[FCI_CHANNEL_COUNT];
inline constexpr double SYNTH_FCI_C1 = 1.19104e-5;  // mW m-2 sr-1 (cm-1)-4
inline constexpr double SYNTH_FCI_C2 = 1.43877;     // K cm
inline constexpr uint16_t SYNTH_FCI_MAX_COUNT = 4095;

// One channel of one chunk file.
struct SynthFciBand {
  int channel = 0;               // index in FciChannels
  int first_row = 0, last_row = 0;  // 1-based from the south
  cv::Mat counts;                // CV_16UC1, (last_row - first_row + 1) x grid; row 0 is first_row
};

// One BODY chunk file's content.
struct SynthFciBody {
  int spacecraft = 1;  // MTI1 .. MTI4
  double sun_distance_km = 149597870.7;
  std::vector<SynthFciBand> bands;
};

// Writes a BODY chunk file (never over an existing file). compress: the counts, pixel quality
// and index map through the JPEG-LS filter, as broadcast. False with a reason in *err.
bool SynthFciWriteBody(const std::string& path, const SynthFciBody& body, bool compress, std::string* err);
// Writes the TRAIL file of a cycle (never over an existing file).
bool SynthFciWriteTrail(const std::string& path, int spacecraft, std::string* err);

// Count of a physical value (reflectance or brightness temperature) of a channel through the
// generator's calibration, rounded and kept in 0..4095; sun_km: Earth-Sun distance.
uint16_t SynthFciCount(int channel, double value, double sun_km);
// Earth-Sun distance (km) on the day of a UTC instant.
double SynthFciSunDistance(int64_t unix_time);

struct SynthFciOptions {
  std::string out;            // folder; made when missing
  std::string slot;           // YYYYMMDDhhmm on the 10-minute step
  int spacecraft = 1;         // MTG-I1 .. MTG-I4
  uint32_t seed = 1;
  double cloud_cover = 0.5;
  bool compress = false;      // JPEG-LS (the JLS field of the names)
  std::vector<int> channels;  // empty: all 16
  int32_t rect[4] = {0, 0, 0, 0};  // 2 km window to fill (width 0: the full disk); only the
                                   // chunks it meets are written, pixels outside it are fill
  std::string land_shore, land_lakes;  // as SynthSceneMake
};

// Writes one repeat cycle into options.out: the BODY chunks (all 40, or those the rectangle
// meets) and the TRAIL file. False with a reason in *err; files already written stay.
bool SynthFciCycle(const SynthFciOptions& options, std::string* err);
