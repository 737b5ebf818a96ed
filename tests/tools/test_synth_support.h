// Helpers of the generator tests: cycles generated once per build into the build folder, and
// an independent minimal reader of the files' bytes (offsets from the xRIT and SEVIRI Level 1.5
// layouts, not from the writer).
#pragma once

#include <glib.h>
#include <glib/gstdio.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/tempdir.h"
#include "tools/synth.h"

namespace synthtest {

inline std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

inline uint32_t Be16(const std::vector<uint8_t>& d, size_t at) { return uint32_t(d.at(at)) << 8 | d.at(at + 1); }
inline uint32_t Be32(const std::vector<uint8_t>& d, size_t at) { return Be16(d, at) << 16 | Be16(d, at + 2); }
inline int32_t BeI32(const std::vector<uint8_t>& d, size_t at) { return int32_t(Be32(d, at)); }
inline uint64_t Be64(const std::vector<uint8_t>& d, size_t at) { return uint64_t(Be32(d, at)) << 32 | Be32(d, at + 4); }
inline double BeF64(const std::vector<uint8_t>& d, size_t at) {
  uint64_t u = Be64(d, at);
  double v;
  std::memcpy(&v, &u, 8);
  return v;
}
inline float BeF32(const std::vector<uint8_t>& d, size_t at) {
  uint32_t u = Be32(d, at);
  float v;
  std::memcpy(&v, &u, 4);
  return v;
}

struct Record {
  int type;
  size_t offset;  // of the type byte
  size_t length;  // including type and length
};

// Walks the header records; stops at the primary header's total header length.
inline std::vector<Record> Records(const std::vector<uint8_t>& d) {
  std::vector<Record> out;
  if (d.size() < 16) return out;
  size_t total = Be32(d, 4), p = 0;
  while (p + 3 <= total && p + 3 <= d.size()) {
    size_t len = Be16(d, p + 1);
    out.push_back({d[p], p, len});
    if (len < 3) break;
    p += len;
  }
  return out;
}

// Reads n 10-bit samples, most significant bit first, one bit at a time.
inline std::vector<uint16_t> Unpack(const uint8_t* field, size_t n) {
  std::vector<uint16_t> v(n, 0);
  for (size_t k = 0; k < n; k++)
    for (int b = 0; b < 10; b++) {
      size_t bit = k * 10 + b;
      v[k] = uint16_t(v[k] << 1 | ((field[bit / 8] >> (7 - bit % 8)) & 1));
    }
  return v;
}

// The counts of one segment file, in file order (464 lines of nc, east first, south first).
inline std::vector<uint16_t> SegmentCounts(const std::string& path, int nc) {
  std::vector<uint8_t> d = ReadAll(path);
  if (d.size() < 8) return {};
  size_t hl = Be32(d, 4);
  if (d.size() < hl + size_t(nc) * 580) return {};
  return Unpack(d.data() + hl, size_t(nc) * 464);
}

// Generated cycles are cached below the build folder, keyed by this test program's own file
// (relinked whenever the generator changes), so the many test processes share them. Writers
// rename finished files into place, so concurrent generation of the same cycle is harmless.
inline std::string CacheRoot() {
  static const std::string root = [] {
    GStatBuf st{};
    g_stat("/proc/self/exe", &st);
    std::string base = std::string(NUBICORN_BINARY_DIR) + "/synth-cache";
    std::string stamp = std::to_string(int64_t(st.st_mtime)) + "-" + std::to_string(int64_t(st.st_size));
    if (GDir* dir = g_dir_open(base.c_str(), 0, nullptr)) {  // caches of older builds
      while (const char* name = g_dir_read_name(dir))
        if (stamp != name) TestTempDir::Remove(base + "/" + name);
      g_dir_close(dir);
    }
    return base + "/" + stamp;
  }();
  return root;
}

// A folder holding (at least) the `count` cycles from `slot`, plain or WT-compressed; cycles
// already there are not made again.
inline std::string Cycles(const std::string& slot, uint32_t seed, double clouds, int count = 1,
                          bool compress = false) {
  int64_t t0 = 0;
  SynthParseSlot(slot, &t0, nullptr);
  char key[96];
  std::snprintf(key, sizeof key, "/s%u-c%.3f%s", seed, clouds, compress ? "-wt" : "");
  std::string dir = CacheRoot() + key;
  for (int k = 0; k < count; k++) {
    std::string text = SynthSlotText(t0 + 900 * k);
    std::string epilogue = dir + "/H-000-MSG3__-MSG3________-_________-EPI______-" + text + "-__";
    if (g_file_test(epilogue.c_str(), G_FILE_TEST_EXISTS)) continue;  // written last
    SynthOptions o;
    o.out = dir;
    o.slot = text;
    o.seed = seed;
    o.cloud_cover = clouds;
    o.compress = compress;
    std::string err;
    if (!SynthCycle(o, &err)) ADD_FAILURE() << err;
  }
  return dir;
}

// Pearson correlation of two samples of the same length.
inline double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
  double ma = 0, mb = 0, sab = 0, saa = 0, sbb = 0;
  for (size_t k = 0; k < a.size(); k++) ma += a[k], mb += b[k];
  ma /= double(a.size());
  mb /= double(b.size());
  for (size_t k = 0; k < a.size(); k++) {
    sab += (a[k] - ma) * (b[k] - mb);
    saa += (a[k] - ma) * (a[k] - ma);
    sbb += (b[k] - mb) * (b[k] - mb);
  }
  return sab / std::sqrt(saa * sbb);
}

inline std::string Segment(const std::string& dir, const char* channel, int seg, const char* slot) {
  char segment[8];
  std::snprintf(segment, sizeof segment, "%02d", seg);
  return dir + "/H-000-MSG3__-MSG3________-" + channel + "-0000" + segment + "___-" + slot + "-C_";
}

}  // namespace synthtest
