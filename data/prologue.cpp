#include "data/prologue.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "data/fileinfo.h"
#include "data/suplfile.h"

namespace {

// Big-endian reads from a buffer whose size the caller has checked.
uint16_t U16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
int32_t I32(const uint8_t* p) { return int32_t(U32(p)); }
float F32(const uint8_t* p) {
  const uint32_t u = U32(p);
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}
double F64(const uint8_t* p) {
  const uint64_t u = uint64_t(U32(p)) << 32 | U32(p + 4);
  double d;
  std::memcpy(&d, &u, 8);
  return d;
}

PrologueGrid Grid(const uint8_t* p) {
  return {I32(p), I32(p + 4), F32(p + 8), F32(p + 12), p[16]};
}

// The HRV upper window's columns and lines lie on the 11136-pixel HRV grid.
constexpr int32_t HRV_GRID = 11136;

}  // namespace

int PrologueParse(std::span<const uint8_t> file, Prologue* rec) {
  if (file.size() < 16) return 3;
  const uint8_t* ph = file.data();
  rec->header_type = ph[0];
  rec->header_record_length = U16(ph + 1);
  rec->file_type = ph[3];
  rec->total_header_length = U32(ph + 4);
  rec->data_length_hi = U32(ph + 8);
  rec->data_length_lo = U32(ph + 12);
  if (rec->header_type != 0 || rec->header_record_length != 16 || rec->file_type != 128) return 3;

  if (file.size() < 16 + 3 + 61) return 3;
  const uint8_t* an = ph + 16;
  if (an[0] != 4 || U16(an + 1) != 64) return 3;

  // The data field must hold PROLOGUE_READ_SIZE bytes after the total header length.
  const uint64_t at = rec->total_header_length;
  if (at > file.size() || file.size() - at < uint64_t(PROLOGUE_READ_SIZE)) return 3;
  const uint8_t* d = file.data() + at;

  rec->satellite_id = U16(d);
  rec->nominal_longitude = F32(d + 2);
  rec->orbit.assign(d + 35, d + 35 + 39612);
  rec->attitude.assign(d + 39647, d + 39647 + 20420);
  rec->spin_rate = F64(d + 60067);
  for (int i = 0; i < 3; i++) {
    const uint8_t* t = d + 60134 + 10 * i;
    rec->acquisition[i] = {U16(t), U32(t + 2), U16(t + 6), U16(t + 8)};
  }
  const uint8_t* ce = d + 60834;
  rec->celestial_part.assign(ce + 28044, ce + 42044);
  rec->celestial_tail.assign(ce + 326042, ce + 326058);

  const uint8_t* id = d + 386892;
  rec->projection_type = id[0];
  rec->ssp_longitude = F32(id + 1);
  rec->grid_visir = Grid(id + 5);
  rec->grid_hrv = Grid(id + 22);
  for (int i = 0; i < 4; i++) rec->coverage_visir[i] = I32(id + 39 + 4 * i);
  for (int i = 0; i < 8; i++) rec->coverage_hrv[i] = I32(id + 55 + 4 * i);
  rec->processing_direction = id[87];
  rec->pixel_direction = id[88];
  std::memcpy(rec->channel_processing.data(), id + 89, 12);
  for (int c = 0; c < 12; c++) {
    rec->calibration[c][0] = F64(d + 387065 + 16 * c);
    rec->calibration[c][1] = F64(d + 387065 + 16 * c + 8);
  }
  return 0;
}

int PrologueRead(FILE* file, Prologue* rec) {
  if (!file) return 3;
  // At most one byte more than the largest data file: anything longer is no prologue.
  std::vector<uint8_t> buf;
  try {
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
      if (buf.size() + n > SUPL_XRIT_MAX_FILE) return 3;
      buf.insert(buf.end(), chunk, chunk + n);
    }
  } catch (const std::bad_alloc&) {
    return 3;
  }
  return PrologueParse(buf, rec);
}

std::string PrologueCheckWindow(const Prologue& rec) {
  static const char* const names[8] = {"lower south line", "lower north line", "lower east column",
                                       "lower west column", "upper south line", "upper north line",
                                       "upper east column", "upper west column"};
  for (int i = 4; i < 8; i++) {
    const int32_t v = rec.coverage_hrv[size_t(i)];
    if (v < 1 || v > HRV_GRID)
      return std::string(names[i]) + " " + std::to_string(v) + " outside 1.." + std::to_string(HRV_GRID);
  }
  if (rec.coverage_hrv[4] > rec.coverage_hrv[5]) return "upper south line above the north line";
  if (rec.coverage_hrv[6] > rec.coverage_hrv[7]) return "upper east column west of the west column";
  return {};
}

gboolean LayerPrologueCoverage(const char* path, std::array<int32_t, 8>* out) {
  const size_t n = path ? std::strlen(path) : 0;
  if (n < size_t(NAME_LENGTH)) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s", path ? path : "(null)");
    return FALSE;
  }
  // Only the file name changes, so the prologue is looked for in the segment's own folder.
  std::string pro(path);
  char* name = pro.data() + n - NAME_LENGTH;
  std::memcpy(name + 26, "______", 6);
  std::memcpy(name + 36, "PRO___", 6);
  name[59] = '_';

  std::vector<uint8_t> bytes;
  std::string why;
  if (!SuplFileRead(pro.c_str(), SUPL_XRIT_MAX_FILE, &bytes, &why)) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s(input: %s)", pro.c_str(), why.c_str());
    return FALSE;
  }
  Prologue rec;
  if (PrologueParse(bytes, &rec) != 0) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s(input: not a complete prologue)", pro.c_str());
    return FALSE;
  }
  why = PrologueCheckWindow(rec);
  if (!why.empty()) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s(window: %s)", pro.c_str(), why.c_str());
    return FALSE;
  }
  *out = rec.coverage_hrv;
  return TRUE;
}

gboolean LayerPrologueWindow(const char* path, int32_t out[4]) {
  std::array<int32_t, 8> c;
  if (!LayerPrologueCoverage(path, &c)) return FALSE;
  out[0] = c[7];
  out[1] = c[5];
  out[2] = c[6];
  out[3] = c[4];
  return TRUE;
}
