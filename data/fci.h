// MTG FCI Level 1c FDHSI data: the channel table, the chunk file names, the calibration of
// counts to physical values, the grid's navigation, and the loading of one channel for a view
// window from the BODY chunks of a repeat cycle.
//
// Grids: rows count from 1 at the south, columns from 1 at the west, as the product stores
// them. A view window is given like MSG's, on the north-up 2 km image (5568 x 5568): x column
// from the west, y line from the north, both from 0; 1 km channels cover it at twice the size.
#pragma once

#include <opencv2/core.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

inline constexpr int FCI_CHANNEL_COUNT = 16;
inline constexpr int FCI_GRID_2KM = 5568;
inline constexpr int FCI_GRID_1KM = 11136;
inline constexpr int FCI_CHUNKS = 40;            // BODY chunks of a full-disk repeat cycle
inline constexpr int FCI_TRAIL_CHUNK = 41;       // the TRAIL file's count in the cycle
inline constexpr int FCI_SLOT_MINUTES = 10;
inline constexpr uint16_t FCI_NO_COUNT = 65535;  // counts of pixels without a value
// The product's projection: the WGS 84 ellipsoid seen from FCI_HEIGHT metres above the equator,
// grids of FCI_STEP_2KM / FCI_STEP_1KM radians of scan angle a pixel.
inline constexpr double FCI_R_EQ = 6378137.0;
inline constexpr double FCI_INV_FLAT = 298.257223563;
inline constexpr double FCI_HEIGHT = 35786400.0;
inline constexpr double FCI_STEP_2KM = 5.58871526031607e-05;
inline constexpr double FCI_STEP_1KM = 2.79435763233999e-05;

enum class FciQuantity { Radiance, BrightnessTemperature, Reflectance };

struct FciChannel {
  const char* name;   // group name under data/, e.g. "ir_105"
  int grid;           // FCI_GRID_1KM or FCI_GRID_2KM
  bool solar;         // reflectance channel (else brightness temperature)
  double wavelength;  // central wavelength, micrometres
};
// The 16 FDHSI channels in the product's order: vis_04 .. nir_22 at 1 km, ir_38 .. ir_133 at 2 km.
extern const FciChannel FciChannels[FCI_CHANNEL_COUNT];
// Index of a channel name (ASCII case ignored) in FciChannels; -1 when none.
int FciChannelIndex(const char* name);

// ---- File names -------------------------------------------------------------------------------

// The fields of a chunk file name of the pattern
// W_XX-EUMETSAT-Darmstadt,IMG+SAT,MTI1+FCI-1C-RRAD-FDHSI-FD--CHK-BODY---NC4E_C_EUMT_<created>_
// IDPFI_OPE_<start>_<end>_N_JLS_O_<cycle>_<chunk>.nc (JLS empty for uncompressed chunks,
// TRAIL in place of BODY for the trailer).
struct FciName {
  int spacecraft = 1;       // MTI1 .. MTI4
  bool body = true;         // BODY (false: TRAIL)
  bool jls = false;         // JPEG-LS compressed variables
  int64_t created = 0;      // UTC seconds since 1970
  int64_t start = 0, end = 0;  // sensing start and end
  int cycle = 0;            // repeat cycle in the day
  int chunk = 0;            // count in the repeat cycle (1..40 BODY, 41 TRAIL)
};
// Parses a file name (no folder). False, *out untouched, for any other name.
bool FciParseName(const std::string& name, FciName* out);
// The file name of those fields.
std::string FciMakeName(const FciName& n);
// Start (UTC seconds) of the 10-minute slot whose cycle holds a sensing start time.
int64_t FciSlotOf(int64_t start);
// The slot text (YYYYMMDDhhmm) of that slot; "" when the time cannot be formatted.
std::string FciSlotText(int64_t start);

// ---- Chunks and calibration --------------------------------------------------------------------

// Rows (1-based from the south) that BODY chunk 1..40 holds on a grid of `grid` rows.
void FciChunkRows(int grid, int chunk, int* first, int* last);

// Everything that turns one channel's counts of one chunk into physical values.
struct FciCalib {
  double scale = 1, offset = 0;                // radiance = count * scale + offset
  double warm_scale = 0, warm_offset = 0;      // ir_38 counts 4096..8191 when warm_scale != 0
  double fill = FCI_NO_COUNT, valid_min = 0, valid_max = 65534;
  double wavenumber = 0, a = 1, b = 0, c1 = 0, c2 = 0;  // radiance to brightness temperature
  double solar_irradiance = 0;                 // channel_effective_solar_irradiance
  double sun_distance_km = 0;                  // mean earth_sun_distance of the chunk
};
// Radiance (mW m-2 sr-1 (cm-1)-1) of a count; NaN for the fill value and counts outside the
// valid range.
double FciRadiance(const FciCalib& c, uint16_t count);
// Brightness temperature (K) of a radiance: c2 vc / (a ln(1 + c1 vc^3 / L)) - b / a. NaN for a
// radiance that is not positive or coefficients that make no temperature.
double FciBrightnessTemperature(const FciCalib& c, double radiance);
// Reflectance (1 for a white surface under an overhead sun) of a radiance:
// pi L d^2 / E with d the Earth-Sun distance in astronomical units. NaN without d or E.
double FciReflectance(const FciCalib& c, double radiance);
// The quantity a channel's values are in.
FciQuantity FciChannelQuantity(int channel);
// Physical value of a count for a channel: brightness temperature or reflectance.
double FciValue(const FciCalib& c, int channel, uint16_t count);

// ---- Navigation --------------------------------------------------------------------------------

// Geodetic degrees of the centre of column, row (1-based, row 1 south, column 1 west) of a grid
// of `grid` pixels seen from sub_lon degrees east. False when it is off the Earth.
bool FciGridToLatLon(int grid, double column, double row, double* lat, double* lon, double sub_lon = 0);
// Column and row (fractional, as above) of a geodetic point; false when the satellite cannot see it.
bool FciLatLonToGrid(int grid, double lat, double lon, double* column, double* row, double sub_lon = 0);

// ---- Reading -----------------------------------------------------------------------------------

// Registers the JPEG-LS filter (HDF5 filter 32018) with the HDF5 library of this process (once)
// and silences HDF5's own error printing in the calling thread. False when HDF5 refuses.
bool FciJlsRegister();

// What one chunk file holds for a channel.
struct FciChunkMeta {
  int first_row = 0, last_row = 0;  // start_position_row, end_position_row
  int columns = 0;
  bool compressed = false;          // effective_radiance has the JPEG-LS filter
  FciCalib calib;
};
// Reads the row range and calibration of a channel in one chunk file. Only regular files are
// opened. False with a reason in *err (file unreadable, not netCDF-4, channel missing, rows
// inconsistent with the grid).
bool FciReadMeta(const char* path, int channel, FciChunkMeta* meta, std::string* err);
// Reads the rows of first_row..last_row (1-based from the south) that the chunk holds, columns
// first_col..first_col+cols-1 (0-based from the west), of a channel's counts into dst,
// north-up: dst row 0 is last_row; dst rows the chunk does not hold are left as they are.
// dst must be CV_16UC1 of (last_row - first_row + 1) x cols. *meta is the chunk's (as
// FciReadMeta). False with a reason in *err; dst is then unspecified.
bool FciReadRows(const char* path, int channel, int first_row, int last_row, int first_col,
                 int cols, cv::Mat* dst, FciChunkMeta* meta, std::string* err);

// The BODY chunks (chunk number -> path, the latest made when there are several) and whether
// the TRAIL file is present, of the cycle starting at slot (YYYYMMDDhhmm) in a folder.
struct FciCycle {
  std::vector<std::string> body;  // index chunk - 1; empty where missing
  std::string trail;
};
FciCycle FciFindCycle(const char* dir, const std::string& slot);
// The BODY chunk numbers (ascending) whose nominal rows meet a view window on either grid; all
// 40 for a window with no area.
std::vector<int> FciChunksForWindow(const int32_t window[4]);
// True when the trailer and every chunk the window needs (FciChunksForWindow) are present.
bool FciCycleComplete(const FciCycle& cycle, const int32_t window[4]);

// One channel for a view window.
struct FciImage {
  cv::Mat counts;   // CV_16UC1 north-up, FCI_NO_COUNT where there is no value
  cv::Mat values;   // CV_32FC1 brightness temperature (K) or reflectance, NaN where no value
  FciQuantity quantity = FciQuantity::BrightnessTemperature;
  int scale = 1;    // pixels per window pixel: 2 for the 1 km channels
  std::vector<std::string> opened;  // the chunk files read, in order
};
// Counts and values of a channel for the view window (on the north-up 2 km grid, shrunk in
// place to the grid) from the cycle's chunks in dir. Only the chunks whose nominal rows
// (FciChunkRows) meet the window are opened, and only the window's rows and columns are read;
// window rows a chunk turns out not to hold are looked for in its neighbour. A chunk that is missing,
// damaged or truncated leaves its rows without a value, with one warning naming the file.
// nullopt with a warning when the slot text, channel or window is invalid, no chunk the window
// needs exists, or memory runs out.
std::optional<FciImage> FciLoadWindow(const char* dir, const std::string& slot, int channel,
                                      int32_t window[4]);
// Grey display image (CV_8UC1) of values: reflectance 0..1 dark to bright, brightness
// temperature 330..200 K dark to bright (cold clouds white); no value is black.
cv::Mat FciDisplay(const FciImage& image);
