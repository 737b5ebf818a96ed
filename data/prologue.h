// SEVIRI Level 1.5 prologue reader: the HRV windows of a slot.
#pragma once

#include <glib.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

inline constexpr long PROLOGUE_DATA_SIZE = 425461;   // Level 1.5 header, bytes
inline constexpr long PROLOGUE_READ_SIZE = 407808;   // data-field bytes the reader takes
inline constexpr long PROLOGUE_UPPER_EAST = 386971;  // data-field offset of the HRV upper east column

struct PrologueTime {  // CDS time with micro- and nanoseconds
  uint16_t day = 0;
  uint32_t ms = 0;
  uint16_t us = 0, ns = 0;
};

struct PrologueGrid {  // reference grid of the image description
  int32_t lines = 0, columns = 0;
  float line_step = 0, column_step = 0;
  uint8_t origin = 0;
};

// The in-memory prologue record (temporary): what one PrologueRead takes from the file.
struct Prologue {
  // primary header
  uint8_t header_type = 0;
  uint16_t header_record_length = 0;
  uint8_t file_type = 0;
  uint32_t total_header_length = 0;
  uint32_t data_length_hi = 0, data_length_lo = 0;
  // satellite status
  int32_t satellite_id = 0;
  float nominal_longitude = 0;
  std::vector<uint8_t> orbit, attitude;  // raw, as in the file
  double spin_rate = 0;
  std::array<PrologueTime, 3> acquisition{};  // cycle start, forward scan end, cycle end
  std::vector<uint8_t> celestial_part;        // celestial events bytes 28044..42043, raw
  std::vector<uint8_t> celestial_tail;        // its last 16 bytes, raw
  // image description
  uint8_t projection_type = 0;
  float ssp_longitude = 0;
  PrologueGrid grid_visir, grid_hrv;
  std::array<int32_t, 4> coverage_visir{};  // south line, north line, east column, west column
  // lower south, lower north, lower east, lower west, upper south, upper north, upper east, upper west
  std::array<int32_t, 8> coverage_hrv{};
  uint8_t processing_direction = 0, pixel_direction = 0;
  std::array<uint8_t, 12> channel_processing{};
  // level 1.5 image calibration: (slope, offset) per channel
  std::array<std::array<double, 2>, 12> calibration{};
};

// From the full path of any segment of a slot, reads the slot's prologue in the same folder (the
// last 61 characters rewritten to the prologue name; read with SuplFileRead, so a FIFO or an
// oversized file is refused without blocking) and fills out = {upper west column, upper north
// line, upper east column, upper south line}. FALSE with one warning on any failure, out
// untouched: "%s" (the segment path) when it is no segment name, else naming the prologue file,
// "PROLOGUE(input: REASON)" when it cannot be read or parsed, "PROLOGUE(window: REASON)" when the
// window fails PrologueCheckWindow.
gboolean LayerPrologueWindow(const char* path, int32_t out[4]);
// The same reading and checks, giving the whole HRV planned coverage (the order of
// Prologue::coverage_hrv); the lower window is not checked.
gboolean LayerPrologueCoverage(const char* path, std::array<int32_t, 8>* out);
// Parses a whole prologue file's bytes into *rec: 0 success; 3 when a header test fails
// (primary header type 0, length 16, file type 128; then an annotation record of length 64) or
// the file ends before PROLOGUE_READ_SIZE bytes of data field after the total header length.
// Never reads outside `file`.
int PrologueParse(std::span<const uint8_t> file, Prologue* rec);
// PrologueParse of an open file, read to its end (3 beyond SUPL_XRIT_MAX_FILE bytes).
int PrologueRead(FILE* file, Prologue* rec);
// Why the HRV upper window of a parsed prologue cannot be used: a column or line outside
// 1..11136, or south above north, or east west of west. Empty when it can.
std::string PrologueCheckWindow(const Prologue& rec);
