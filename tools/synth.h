// Test-data generator: complete SEVIRI HRIT repeat cycles of any MSG spacecraft as they are
// disseminated (the eight segments of the eleven low-resolution channels and the 24 HRV
// segments with its lower and upper windows, 6 to 8 and HRV 19 to 24 for the Rapid Scan
// Service, prologue and epilogue; or just the northern strip, segments 7, 8 and HRV 19 to 24),
// with a synthetic but plausible disk seen from the service's longitude (0°, rapid scan 9.5° E,
// Indian Ocean 45.5° E).
#pragma once

#include <cstdint>
#include <string>

#include "data/satellite.h"

struct SynthOptions {
  std::string out;           // folder; made when missing
  std::string slot;          // YYYYMMDDhhmm, on the service's slot step (15 or 5 minutes)
  Sat satellite;             // names, spacecraft id, navigation, segments, slot step
  uint32_t seed = 1;
  double cloud_cover = 0.5;  // 0 clear sky .. 1 overcast
  bool compress = false;     // lossless WT-compressed segments (compression flag 1, representation 3)
  // The southernmost segment of channels 1..11 written, HRV from the one at its first line
  // (3 (first - 1) + 1) on: 1 the whole disk; 0 the northern strip (7, 8 and HRV 19 to 24; the
  // same bytes in any case). Rapid scan always writes its own 6 to 8.
  int first_segment = 0;
  int threads = 0;           // 0: one per core
  std::string land_shore;    // land-mask shapefiles (SynthLandRaster); empty: built-in outlines
  std::string land_lakes;
};

// The HRV coverage that prologue (planned) and epilogue (actual) carry. The upper window's
// four values differ from each other and from the usual 1947, so a wrong field shows.
struct SynthHrvCoverage {
  int32_t lower_south, lower_north, lower_east, lower_west;
  int32_t upper_south, upper_north, upper_east, upper_west;
};
inline constexpr SynthHrvCoverage SYNTH_HRV = {1, 8192, 1, 5568, 8193, 11136, 2014, 7581};

inline constexpr uint16_t SYNTH_SPACECRAFT = 323;  // MSG3, the default choice
inline constexpr long SYNTH_PROLOGUE_SIZE = 425461;  // SEVIRI Level 1.5 header
inline constexpr long SYNTH_EPILOGUE_SIZE = 380363;  // SEVIRI Level 1.5 trailer

// The 61-character file names of a slot (MSG3 full disk; any choice through the Sat functions).
std::string SynthSegmentName(int channel, int segment, const std::string& slot);
std::string SynthPrologueName(const std::string& slot);
std::string SynthEpilogueName(const std::string& slot);

// Parses a slot text YYYYMMDDhhmm into UTC seconds since 1970. False with a reason in *err for
// any other text (wrong length, non-digits, impossible date, a year outside 1970..2099, a
// minute off the step of `step_minutes`).
bool SynthParseSlot(const std::string& text, int64_t* unix_time, std::string* err, int step_minutes = 15);
// The slot text of a UTC instant.
std::string SynthSlotText(int64_t unix_time);

// Writes one repeat cycle (22, whole disk 88 + 24, rapid scan 33 + 6 segment files, prologue,
// epilogue) into options.out.
// False with a reason in *err; files already written stay.
bool SynthCycle(const SynthOptions& options, std::string* err);
