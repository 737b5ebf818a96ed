#include "data/satellite.h"

#include <glib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "data/layer.h"
#include "data/suplfile.h"
#include "data/xrit.h"

namespace {

// Per service: the settings suffix after "MSGn" and the file names' 8-character field after it.
struct ServiceText {
  SatService service;
  const char* suffix;
  const char* field;
  const char* name;
};
constexpr ServiceText SERVICES[] = {
    {SatService::Full, "", "________", "full disk"},
    {SatService::Rapid, "_RSS", "_RSS____", "rapid scan"},
    {SatService::Iodc, "_IODC", "_IODC___", "Indian Ocean"},
};
// The MSG services above; FCI's names follow their own pattern.
constexpr const char* FCI_PREFIX = "W_XX-EUMETSAT-Darmstadt,IMG+SAT,MTI";
constexpr const char* FCI_AFTER = "+FCI-";

const ServiceText& Service(SatService s) {
  for (const ServiceText& t : SERVICES)
    if (t.service == s) return t;
  return SERVICES[0];
}

bool ValidSpacecraft(int n) { return n >= SAT_SPACECRAFT_MIN && n <= SAT_SPACECRAFT_MAX; }

}  // namespace

std::string SatText(const Sat& s) {
  if (s.service == SatService::Fci) return "MTI" + std::to_string(s.spacecraft);
  return "MSG" + std::to_string(s.spacecraft) + Service(s.service).suffix;
}

bool SatParse(const char* text, Sat* out) {
  if (!text) return false;
  std::string t(text);
  const size_t a = t.find_first_not_of(" \t"), b = t.find_last_not_of(" \t");
  if (a == std::string::npos) return false;
  t = t.substr(a, b - a + 1);
  for (char& c : t) c = g_ascii_toupper(c);
  if (t.size() == 4 && t.compare(0, 3, "MTI") == 0 && ValidSpacecraft(t[3] - '0')) {
    *out = Sat{t[3] - '0', SatService::Fci};
    return true;
  }
  if (t.size() < 4 || t.compare(0, 3, "MSG") != 0 || !ValidSpacecraft(t[3] - '0')) return false;
  for (const ServiceText& service : SERVICES)
    if (t.compare(4, std::string::npos, service.suffix) == 0) {
      *out = Sat{t[3] - '0', service.service};
      return true;
    }
  return false;
}

bool SatFromName(const std::string& name, Sat* out) {
  const size_t fci = std::strlen(FCI_PREFIX);
  if (name.compare(0, fci, FCI_PREFIX) == 0 && name.size() > fci && ValidSpacecraft(name[fci] - '0') &&
      name.compare(fci + 1, std::strlen(FCI_AFTER), FCI_AFTER) == 0) {
    *out = Sat{name[fci] - '0', SatService::Fci};
    return true;
  }
  for (int n = SAT_SPACECRAFT_MIN; n <= SAT_SPACECRAFT_MAX; n++)
    for (const ServiceText& service : SERVICES) {
      const Sat s{n, service.service};
      if (name.compare(0, 26, SatNamePrefix(s)) == 0) {
        *out = s;
        return true;
      }
    }
  return false;
}

const char* SatServiceName(SatService s) { return s == SatService::Fci ? "FCI" : Service(s).name; }

std::string SatNamePrefix(const Sat& s) {
  if (s.service == SatService::Fci) return FCI_PREFIX + std::to_string(s.spacecraft) + FCI_AFTER;
  const std::string craft = "MSG" + std::to_string(s.spacecraft);
  return "H-000-" + craft + "__-" + craft + Service(s.service).field + "-";
}

std::string SatSegmentName(const Sat& s, const char* channel, int segment, const std::string& slot) {
  char field[32];
  std::snprintf(field, sizeof field, "%s___-0000%02d___-", channel, segment);
  return SatNamePrefix(s) + field + slot + "-C_";
}

std::string SatPrologueName(const Sat& s, const std::string& slot) {
  return SatNamePrefix(s) + "_________-PRO______-" + slot + "-__";
}

std::string SatEpilogueName(const Sat& s, const std::string& slot) {
  return SatNamePrefix(s) + "_________-EPI______-" + slot + "-__";
}

std::string SatNameFormat(const Sat& s, bool hrv) {
  return SatNamePrefix(s) + (hrv ? "%s___-000019___-%s-C_" : "%s___-000007___-%s-C_");
}

std::string SatFilter(const Sat& s) { return SatNamePrefix(s) + "*-0000??___-*-C_"; }
std::string SatGlobSegment7(const Sat& s) { return SatNamePrefix(s) + "??????___-000007___-????????????-C_"; }
std::string SatGlobPrologue(const Sat& s) { return SatNamePrefix(s) + "_________-PRO______-????????????-__"; }
std::string SatGlobEpilogue(const Sat& s) { return SatNamePrefix(s) + "_________-EPI______-????????????-__"; }

int SatSlotMinutes(const Sat& s) {
  return s.service == SatService::Rapid ? 5 : s.service == SatService::Fci ? 10 : 15;
}
int SatFirstSegment(const Sat& s) { return s.service == SatService::Rapid ? 6 : 7; }

std::pair<int, int> SatServiceSegments(const Sat& s, bool hrv) {
  const int first = s.service == SatService::Rapid ? SatFirstSegment(s) : 1;
  // HRV lines are three times finer: its segments start three times as far from the south.
  if (hrv) return {(first - 1) * 3 + 1, HRV_SEGMENT_COUNT};
  return {first, SEGMENT_COUNT};
}
int SatSpacecraftId(const Sat& s) { return 320 + s.spacecraft; }
double SatNominalLongitude(const Sat& s) {
  switch (s.service) {
    case SatService::Rapid: return 9.5;
    case SatService::Iodc: return 45.5;
    case SatService::Full:
    case SatService::Fci: break;
  }
  return 0.0;
}

std::string SatProjectionName(double lon) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "GEOS(%+06.1f)", lon);
  return buf;
}

bool SatProjectionLongitude(const std::string& projection, double* lon) {
  // "GEOS(" sign? digits [. digits] ")" then only blanks.
  if (projection.compare(0, 5, "GEOS(") != 0) return false;
  size_t i = 5;
  double sign = 1;
  if (i < projection.size() && (projection[i] == '+' || projection[i] == '-')) sign = projection[i++] == '-' ? -1 : 1;
  const size_t digits = i;
  double v = 0;
  while (i < projection.size() && g_ascii_isdigit(projection[i])) v = v * 10 + (projection[i++] - '0');
  if (i == digits || i - digits > 3) return false;
  if (i < projection.size() && projection[i] == '.') {
    double scale = 0.1;
    const size_t frac = ++i;
    while (i < projection.size() && g_ascii_isdigit(projection[i])) {
      v += (projection[i++] - '0') * scale;
      scale /= 10;
    }
    if (i == frac) return false;
  }
  if (i >= projection.size() || projection[i++] != ')') return false;
  for (; i < projection.size(); i++)
    if (projection[i] != ' ') return false;
  v *= sign;
  if (!(v >= -180 && v <= 180)) return false;
  *lon = v;
  return true;
}

double SatFileLongitude(const char* path, double fallback) {
  if (!path) return fallback;
  // Opened as every data file is: a FIFO or device named like a segment must not block.
  SuplFd fd = SuplFileOpen(path, SUPL_XRIT_MAX_FILE, nullptr, nullptr);
  uint8_t primary[16] = {};
  if (!fd || !SuplFileReadAt(fd.get(), primary, sizeof primary, 0)) return fallback;
  // Total header length: bytes 4..7 of the primary header, big-endian.
  const uint32_t total = uint32_t(primary[4]) << 24 | uint32_t(primary[5]) << 16 | uint32_t(primary[6]) << 8 | primary[7];
  if (total < sizeof primary || total > (1u << 20)) return fallback;  // headers are a few kB
  std::vector<uint8_t> head(total);
  std::copy(primary, primary + sizeof primary, head.begin());
  if (!SuplFileReadAt(fd.get(), head.data() + sizeof primary, total - sizeof primary, off_t(sizeof primary)))
    return fallback;
  XritHeader h;
  std::string err;
  double lon = fallback;
  if (XritParseHeaders(head, &h, &err) && h.has_navigation && SatProjectionLongitude(h.projection, &lon)) return lon;
  return fallback;
}
