// Which MSG spacecraft and service the program works with: the file names, patterns and globs
// built from that choice, the slot step of the service, and the sub-satellite longitude of
// the data.
#pragma once

#include <string>
#include <utility>

inline constexpr int SAT_SPACECRAFT_MIN = 1;  // MSG1 (Meteosat-8)
inline constexpr int SAT_SPACECRAFT_MAX = 4;  // MSG4 (Meteosat-11)

// The services an MSG spacecraft flies: the full disk from 0°, the Rapid Scan Service from
// 9.5° E (5-minute slots, segments 6..8 of the northern disk) and the Indian Ocean Data
// Coverage from 45.5° E (15-minute slots, the whole disk). Fci is no MSG service: the MTG-I
// imager at 0° (10-minute slots, netCDF chunk files; spacecraft 1..4 are MTI1..MTI4), read by
// the FCI functions; the MSG name functions below give names no MSG file has for it.
enum class SatService { Full, Rapid, Iodc, Fci };

// A spacecraft (1..4 for MSG1..MSG4) and its service. The default is MSG3's full disk, the
// names the program has always read.
struct Sat {
  int spacecraft = 3;
  SatService service = SatService::Full;
  bool operator==(const Sat&) const = default;
};

// Settings text of a choice: "MSG3", "MSG4", "MSG3_RSS", "MSG2_IODC" ..., "MTI1" for FCI.
std::string SatText(const Sat& s);
// Parses a settings text as written by SatText (ASCII case ignored, blanks around it allowed).
// False, *out untouched, for anything else.
bool SatParse(const char* text, Sat* out);
// The choice a file name was made by (its first 26 characters, "H-000-MSG4__-MSG4________-").
// False, *out untouched, when the name does not start like an MSG name of any service. An FCI
// chunk name ("W_XX-EUMETSAT-Darmstadt,IMG+SAT,MTI1+FCI-...") gives the Fci service.
bool SatFromName(const std::string& name, Sat* out);

// What a user calls the service: "full disk", "rapid scan", "Indian Ocean", "FCI".
const char* SatServiceName(SatService s);

// The fixed first 26 characters of every name of the choice; for FCI the fixed start of its
// chunk names up to the product type ("W_XX-EUMETSAT-Darmstadt,IMG+SAT,MTI1+FCI-").
std::string SatNamePrefix(const Sat& s);
// Segment file name of channel (file-name text, e.g. "IR_108"), segment number and slot text.
std::string SatSegmentName(const Sat& s, const char* channel, int segment, const std::string& slot);
std::string SatPrologueName(const Sat& s, const std::string& slot);
std::string SatEpilogueName(const Sat& s, const std::string& slot);
// printf patterns of the reference-segment name: %s channel text, %s slot text (segment 7, or
// 19 when hrv).
std::string SatNameFormat(const Sat& s, bool hrv);
// Globs: the file-chooser filter (any segment of any channel), segment 7 of any channel and
// slot, the prologue and the epilogue of any slot.
std::string SatFilter(const Sat& s);
std::string SatGlobSegment7(const Sat& s);
std::string SatGlobPrologue(const Sat& s);
std::string SatGlobEpilogue(const Sat& s);

// Minutes between two repeat cycles: 15 full disk and IODC, 5 rapid scan, 10 FCI.
int SatSlotMinutes(const Sat& s);
// First segment of channels 1..11 that a complete cycle holds for the program (the last is 8):
// 7 full disk (only the northern two are read), 6 rapid scan (the service sends 6..8).
int SatFirstSegment(const Sat& s);
// The segments the service sends, {first, last} counted from the south: the whole disk (1..8,
// HRV 1..24), or rapid scan's northern third (6..8, HRV 16..24).
std::pair<int, int> SatServiceSegments(const Sat& s, bool hrv);
// Spacecraft id of the segment identification record: 321..324.
int SatSpacecraftId(const Sat& s);
// Nominal sub-satellite longitude of the service in degrees east: 0 full disk and FCI, 9.5
// rapid scan, 45.5 IODC.
double SatNominalLongitude(const Sat& s);
// Projection name of the image navigation record for a longitude: "GEOS(+000.0)", "GEOS(+009.5)".
std::string SatProjectionName(double lon);

// Sub-satellite longitude of a navigation projection name "GEOS(+ddd.d)" (sign optional,
// blanks after it allowed). False, *lon untouched, for any other text or a longitude outside
// -180..180.
bool SatProjectionLongitude(const std::string& projection, double* lon);
// The sub-satellite longitude of a segment file from its image navigation record; `fallback`
// when the file cannot be read, has no navigation record or names no longitude.
double SatFileLongitude(const char* path, double fallback);
