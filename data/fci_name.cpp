// The FCI channel table, chunk file names and the nominal rows of each chunk.
#include <glib.h>

#include <cstdio>
#include <cstring>

#include "data/fci.h"

const FciChannel FciChannels[FCI_CHANNEL_COUNT] = {
    {"vis_04", FCI_GRID_1KM, true, 0.444},  {"vis_05", FCI_GRID_1KM, true, 0.510},
    {"vis_06", FCI_GRID_1KM, true, 0.640},  {"vis_08", FCI_GRID_1KM, true, 0.865},
    {"vis_09", FCI_GRID_1KM, true, 0.914},  {"nir_13", FCI_GRID_1KM, true, 1.380},
    {"nir_16", FCI_GRID_1KM, true, 1.610},  {"nir_22", FCI_GRID_1KM, true, 2.250},
    {"ir_38", FCI_GRID_2KM, false, 3.80},   {"wv_63", FCI_GRID_2KM, false, 6.30},
    {"wv_73", FCI_GRID_2KM, false, 7.35},   {"ir_87", FCI_GRID_2KM, false, 8.70},
    {"ir_97", FCI_GRID_2KM, false, 9.66},   {"ir_105", FCI_GRID_2KM, false, 10.50},
    {"ir_123", FCI_GRID_2KM, false, 12.30}, {"ir_133", FCI_GRID_2KM, false, 13.30},
};

int FciChannelIndex(const char* name) {
  if (!name) return -1;
  for (int i = 0; i < FCI_CHANNEL_COUNT; i++)
    if (!g_ascii_strcasecmp(name, FciChannels[i].name)) return i;
  return -1;
}

namespace {

constexpr const char* PREFIX = "W_XX-EUMETSAT-Darmstadt,IMG+SAT,MTI";
constexpr const char* MIDDLE = "+FCI-1C-RRAD-FDHSI-FD--CHK-";

// "YYYYMMDDhhmmss" at s to UTC seconds; false for anything else.
bool ParseStamp(const char* s, int64_t* out) {
  int v[6];
  const int len[6] = {4, 2, 2, 2, 2, 2};
  for (int i = 0, at = 0; i < 6; at += len[i], i++) {
    v[i] = 0;
    for (int k = 0; k < len[i]; k++) {
      if (!g_ascii_isdigit(s[at + k])) return false;
      v[i] = v[i] * 10 + (s[at + k] - '0');
    }
  }
  if (v[1] < 1 || v[1] > 12 || v[2] < 1 || v[2] > 31 || v[3] > 23 || v[4] > 59 || v[5] > 60) return false;
  GDateTime* t = g_date_time_new_utc(v[0], v[1], v[2], v[3], v[4], v[5]);
  if (!t) return false;
  *out = g_date_time_to_unix(t);
  g_date_time_unref(t);
  return true;
}

// A UTC time in seconds formatted by g_date_time_format; "" when it cannot be.
std::string FormatUtc(int64_t t, const char* format) {
  GDateTime* d = g_date_time_new_from_unix_utc(t);
  if (!d) return {};
  gchar* s = g_date_time_format(d, format);
  std::string r = s ? s : "";
  g_free(s);
  g_date_time_unref(d);
  return r;
}

std::string Stamp(int64_t t) {
  const std::string s = FormatUtc(t, "%Y%m%d%H%M%S");
  return s.empty() ? "00000000000000" : s;
}

// Reads `n` digits at s into *out.
bool Digits(const char* s, int n, int* out) {
  int v = 0;
  for (int i = 0; i < n; i++) {
    if (!g_ascii_isdigit(s[i])) return false;
    v = v * 10 + (s[i] - '0');
  }
  *out = v;
  return true;
}

}  // namespace

bool FciParseName(const std::string& name, FciName* out) {
  FciName n;
  const char* s = name.c_str();
  const size_t pl = std::strlen(PREFIX), ml = std::strlen(MIDDLE);
  if (name.compare(0, pl, PREFIX)) return false;
  s += pl;
  if (*s < '1' || *s > '4') return false;
  n.spacecraft = *s++ - '0';
  if (std::strncmp(s, MIDDLE, ml)) return false;
  s += ml;
  if (!std::strncmp(s, "BODY", 4)) n.body = true;
  else if (!std::strncmp(s, "TRAIL", 5)) n.body = false;
  else return false;
  s += n.body ? 4 : 5;
  if (std::strncmp(s, "---NC4E_C_EUMT_", 15)) return false;
  s += 15;
  if (!ParseStamp(s, &n.created) || s[14] != '_') return false;
  s += 15;
  if (std::strncmp(s, "IDPFI_", 6)) return false;
  s += 6;
  const char* env = std::strchr(s, '_');  // OPE, VAL, DEV ...
  if (!env || env - s < 1 || env - s > 4) return false;
  s = env + 1;
  if (!ParseStamp(s, &n.start) || s[14] != '_' || !ParseStamp(s + 15, &n.end) || s[29] != '_') return false;
  s += 30;
  if (s[0] == '\0' || s[1] != '_') return false;  // processing mode
  s += 2;
  if (!std::strncmp(s, "JLS_", 4)) {
    n.jls = true;
    s += 4;
  } else if (*s == '_') {
    s += 1;
  } else {
    return false;
  }
  if (s[0] == '\0' || s[1] != '_') return false;  // disposition mode
  s += 2;
  if (!Digits(s, 4, &n.cycle) || s[4] != '_' || !Digits(s + 5, 4, &n.chunk)) return false;
  if (std::strcmp(s + 9, ".nc")) return false;
  if (n.body ? (n.chunk < 1 || n.chunk > FCI_CHUNKS) : n.chunk < 1) return false;
  *out = n;
  return true;
}

std::string FciMakeName(const FciName& n) {
  char buf[256];
  std::snprintf(buf, sizeof buf, "%s%d%s%s---NC4E_C_EUMT_%s_IDPFI_OPE_%s_%s_N_%s_O_%04d_%04d.nc", PREFIX,
                n.spacecraft, MIDDLE, n.body ? "BODY" : "TRAIL", Stamp(n.created).c_str(),
                Stamp(n.start).c_str(), Stamp(n.end).c_str(), n.jls ? "JLS" : "", n.cycle % 10000,
                n.chunk % 10000);
  return buf;
}

std::string FciSlotText(int64_t start) { return FormatUtc(FciSlotOf(start), "%Y%m%d%H%M"); }

int64_t FciSlotOf(int64_t start) {
  const int64_t step = FCI_SLOT_MINUTES * 60;
  return start - ((start % step) + step) % step;
}

void FciChunkRows(int grid, int chunk, int* first, int* last) {
  *first = int(int64_t(chunk - 1) * grid / FCI_CHUNKS) + 1;
  *last = int(int64_t(chunk) * grid / FCI_CHUNKS);
}
