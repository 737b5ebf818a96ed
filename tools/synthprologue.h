// Data fields of the prologue (SEVIRI Level 1.5 header) and epilogue (Level 1.5 trailer).
#pragma once

#include <cstdint>

#include "data/satellite.h"
#include "tools/synth.h"
#include "tools/xritwrite.h"

// The whole Level 1.5 header for a repeat cycle starting at unix_time: satellite, planned
// acquisition times, image description (grids, planned coverage, processing direction),
// calibration of the twelve channels and the Earth model; other records zero. The satellite
// gives the spacecraft id, the sub-satellite longitude, the cycle length and (rapid scan) the
// southern line of the VIS/IR coverage.
Bytes SynthPrologueField(int64_t unix_time, const SynthHrvCoverage& hrv, const Sat& sat = Sat{});
// The whole Level 1.5 trailer: scanning summary, reception statistics, image validity and the
// actual VIS/IR and HRV coverage; other records zero.
Bytes SynthEpilogueField(int64_t unix_time, const SynthHrvCoverage& hrv, const Sat& sat = Sat{});
