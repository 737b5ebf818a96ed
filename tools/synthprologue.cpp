#include "tools/synthprologue.h"

#include "tools/synthscene.h"

namespace {

// Scan timing of a nominal repeat cycle.
constexpr int64_t FORWARD_SCAN_MS = 762000;  // 12 min 42 s
constexpr int64_t RAPID_FORWARD_SCAN_MS = 249000;  // the northern third only

int64_t ForwardScanMs(const Sat& s) { return s.service == SatService::Rapid ? RAPID_FORWARD_SCAN_MS : FORWARD_SCAN_MS; }
int64_t CycleMs(const Sat& s) { return int64_t(SatSlotMinutes(s)) * 60000; }

// Level 1.5 header offsets (from the start of the data field).
constexpr size_t P_SATELLITE_ID = 0, P_NOMINAL_LON = 2, P_SATELLITE_STATUS = 6;
constexpr size_t P_SPIN_RATE = 60067;
constexpr size_t P_ACQ_TIMES = 60134;  // three expanded CDS times of 10 bytes
constexpr size_t P_PROJECTION = 386892, P_SSP_LON = 386893;
constexpr size_t P_GRID_VISIR = 386897, P_GRID_HRV = 386914;
constexpr size_t P_COVERAGE_VISIR = 386931, P_COVERAGE_HRV = 386947;
constexpr size_t P_PROC_DIRECTION = 386979, P_PIXEL_DIRECTION = 386980, P_CHANNELS = 386981;
constexpr size_t P_CALIBRATION = 387065;
constexpr size_t P_EARTH_MODEL = 408144;  // geometric processing: after the focal-plane distances

// Level 1.5 trailer offsets.
constexpr size_t E_VERSION = 0, E_SATELLITE_ID = 1, E_SCAN_SUMMARY = 3;
constexpr size_t E_RADIOMETER = 17, E_RECEPTION = 29, E_VALIDITY = 221;
constexpr size_t E_COVERAGE_VISIR = 293, E_COVERAGE_HRV = 309;

void SetCdsExpanded(Bytes* b, size_t at, int64_t unix_ms) {
  XritCds t = XritCdsFromUnix(unix_ms / 1000, int(unix_ms % 1000));
  XritSetU16(b, at, t.days);
  XritSetU32(b, at + 2, t.ms);
  XritSetU16(b, at + 6, 0);  // microseconds
  XritSetU16(b, at + 8, 0);  // nanoseconds
}

void SetCdsShort(Bytes* b, size_t at, int64_t unix_ms) {
  XritCds t = XritCdsFromUnix(unix_ms / 1000, int(unix_ms % 1000));
  XritSetU16(b, at, t.days);
  XritSetU32(b, at + 2, t.ms);
}

void SetGrid(Bytes* b, size_t at, int32_t size, float step) {
  XritSetI32(b, at, size);       // lines
  XritSetI32(b, at + 4, size);   // columns
  XritSetF32(b, at + 8, step);   // line grid step, km
  XritSetF32(b, at + 12, step);  // column grid step, km
  XritSetU8(b, at + 16, 2);      // grid origin: south-east corner
}

void SetHrv(Bytes* b, size_t at, const SynthHrvCoverage& h) {
  const int32_t v[8] = {h.lower_south, h.lower_north, h.lower_east, h.lower_west,
                        h.upper_south, h.upper_north, h.upper_east, h.upper_west};
  for (int i = 0; i < 8; i++) XritSetI32(b, at + 4 * i, v[i]);
}

void SetVisIr(Bytes* b, size_t at, const Sat& s) {
  // Rapid scan covers the segments from its first one northward.
  XritSetI32(b, at, s.service == SatService::Rapid ? (SatFirstSegment(s) - 1) * 464 + 1 : 1);  // southern line
  XritSetI32(b, at + 4, 3712);   // northern line
  XritSetI32(b, at + 8, 1);      // eastern column
  XritSetI32(b, at + 12, 3712);  // western column
}

}  // namespace

Bytes SynthPrologueField(int64_t unix_time, const SynthHrvCoverage& hrv, const Sat& sat) {
  Bytes b(SYNTH_PROLOGUE_SIZE, 0);
  const float lon = float(SatNominalLongitude(sat));
  XritSetU16(&b, P_SATELLITE_ID, uint16_t(SatSpacecraftId(sat)));
  XritSetF32(&b, P_NOMINAL_LON, lon);
  XritSetU8(&b, P_SATELLITE_STATUS, 1);  // operational
  XritSetF64(&b, P_SPIN_RATE, 100.0);    // rpm
  int64_t t0 = unix_time * 1000;
  SetCdsExpanded(&b, P_ACQ_TIMES, t0);                         // true repeat cycle start
  SetCdsExpanded(&b, P_ACQ_TIMES + 10, t0 + ForwardScanMs(sat));  // planned forward scan end
  SetCdsExpanded(&b, P_ACQ_TIMES + 20, t0 + CycleMs(sat));        // planned repeat cycle end

  XritSetU8(&b, P_PROJECTION, 1);  // geostationary, Earth model
  XritSetF32(&b, P_SSP_LON, lon);
  SetGrid(&b, P_GRID_VISIR, 3712, 3.0004032f);
  SetGrid(&b, P_GRID_HRV, 11136, 1.0001344f);
  SetVisIr(&b, P_COVERAGE_VISIR, sat);
  SetHrv(&b, P_COVERAGE_HRV, hrv);
  XritSetU8(&b, P_PROC_DIRECTION, 1);   // south to north
  XritSetU8(&b, P_PIXEL_DIRECTION, 0);  // east to west
  for (int i = 0; i < 12; i++) XritSetU8(&b, P_CHANNELS + i, 1);

  for (int ch = 1; ch <= 12; ch++) {
    XritSetF64(&b, P_CALIBRATION + 16 * (ch - 1), SynthCalSlope[ch]);
    XritSetF64(&b, P_CALIBRATION + 16 * (ch - 1) + 8, SynthCalOffset[ch]);
  }

  XritSetU8(&b, P_EARTH_MODEL, 2);
  XritSetF64(&b, P_EARTH_MODEL + 1, 6378.169);   // equatorial radius, km
  XritSetF64(&b, P_EARTH_MODEL + 9, 6356.5838);  // north polar radius
  XritSetF64(&b, P_EARTH_MODEL + 17, 6356.5838); // south polar radius
  return b;
}

Bytes SynthEpilogueField(int64_t unix_time, const SynthHrvCoverage& hrv, const Sat& sat) {
  Bytes b(SYNTH_EPILOGUE_SIZE, 0);
  XritSetU8(&b, E_VERSION, 1);
  XritSetU16(&b, E_SATELLITE_ID, uint16_t(SatSpacecraftId(sat)));
  int64_t t0 = unix_time * 1000;
  XritSetU8(&b, E_SCAN_SUMMARY, 1);  // nominal image scanning; not reduced
  SetCdsShort(&b, E_SCAN_SUMMARY + 2, t0);
  SetCdsShort(&b, E_SCAN_SUMMARY + 8, t0 + ForwardScanMs(sat));
  XritSetU8(&b, E_RADIOMETER, 1);  // nominal behaviour
  for (int ch = 1; ch <= 12; ch++)  // planned level 1.0 lines; none missing
    XritSetU32(&b, E_RECEPTION + 4 * (ch - 1), ch == 12 ? 11136 / 3 : 3712 / 3);
  for (int ch = 0; ch < 12; ch++) XritSetU8(&b, E_VALIDITY + 6 * ch, 1);  // nominal image
  SetVisIr(&b, E_COVERAGE_VISIR, sat);
  SetHrv(&b, E_COVERAGE_HRV, hrv);
  return b;
}
