// Physical values of channel counts: radiance from the level 1.5 calibration of a slot,
// brightness temperature of the infrared channels, reflectance of the solar channels.
#pragma once

#include <array>

#include "data/fileinfo.h"

// Radiance = count * slope + offset, mW m-2 sr-1 (cm-1)-1, per channel id (entry 0 unused).
struct CalibSlot {
  std::array<std::array<double, 2>, CHANNEL_COUNT + 1> coef{};  // (slope, offset)
  int spacecraft = 323;   // 321..324 (MSG1..MSG4): chooses the solar irradiance
  bool prologue = false;  // true when the coefficients came from the slot's prologue
};

// Kind of the physical value of a channel.
enum CalibKind {
  CALIB_NONE = 0,         // no calibration (slope 0) or no value at this count
  CALIB_BT = 1,           // brightness temperature, K (channels 4..11)
  CALIB_REFLECTANCE = 2,  // reflectance at the mean Sun distance, % (channels 1..3, 12)
};

struct CalibValue {
  CalibKind kind = CALIB_NONE;
  double value = 0.0;
};

// The calibration of the slot of a segment file: the prologue beside it (same folder, slot and
// spacecraft as the segment's file name); the nominal coefficients of the composites (AtmradCoefs)
// with prologue false when it cannot be read, with one warning "%s" (its path).
CalibSlot CalibRead(const char* segment_path);
// Band solar irradiance (mW m-2 (cm-1)-1) of solar channel ch (1..3, 12) of spacecraft 321..324
// (others: MSG3's); 0 for other channels.
double CalibSolarIrradiance(int spacecraft, int ch);
// The physical value of a count of channel ch (1..12). Count 0 (no data) and counts whose
// radiance is not positive give no brightness temperature; reflectance is clamped at 0.
// Allocation-free: called for every pointer motion.
CalibValue CalibPhysical(const CalibSlot& cal, int ch, int count);
