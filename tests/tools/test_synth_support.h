// Helpers of the generator tests: an independent minimal reader of the files' bytes (offsets
// from the xRIT and SEVIRI Level 1.5 layouts, not from the writer) and the cycles they read.
#pragma once

#include <glib/gstdio.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/cycles.h"
#include "tests/support/tempdir.h"
#include "tools/synth.h"

namespace synthtest {

inline constexpr const char* SLOT = "201607041200";

inline std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

inline uint32_t Be16(const std::vector<uint8_t>& d, size_t at) { return uint32_t(d.at(at)) << 8 | d.at(at + 1); }
inline uint32_t Be32(const std::vector<uint8_t>& d, size_t at) { return Be16(d, at) << 16 | Be16(d, at + 2); }
inline int32_t BeI32(const std::vector<uint8_t>& d, size_t at) { return int32_t(Be32(d, at)); }
inline uint64_t Be64(const std::vector<uint8_t>& d, size_t at) { return uint64_t(Be32(d, at)) << 32 | Be32(d, at + 4); }
template <class T, class U>
T BeFloat(U bits) {
  T v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}
inline float BeF32(const std::vector<uint8_t>& d, size_t at) { return BeFloat<float>(Be32(d, at)); }
inline double BeF64(const std::vector<uint8_t>& d, size_t at) { return BeFloat<double>(Be64(d, at)); }

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

// Rows of an uncompressed segment file (nc counts each, file order: east first, south first);
// all 464 when rows is empty. Empty when the file is short.
inline std::vector<uint16_t> SegmentCounts(const std::string& path, int nc, std::vector<int> rows = {}) {
  const std::vector<uint8_t> d = ReadAll(path);
  if (d.size() < 8 || d.size() < Be32(d, 4) + size_t(nc) * 580) return {};
  if (rows.empty()) return Unpack(d.data() + Be32(d, 4), size_t(nc) * 464);
  std::vector<uint16_t> out;
  for (int r : rows) {
    const std::vector<uint16_t> row = Unpack(d.data() + Be32(d, 4) + size_t(r) * nc * 10 / 8, size_t(nc));
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

// The cycle of seed 1 of a service from first_segment on (0: the northern strip), plain or
// WT-compressed, cached below the build folder per build of this test program (its file's time
// and size: it links the generator and all it uses, so a change anywhere makes the cycles anew);
// the caches of older builds are removed.
inline std::string Cycle(const std::string& slot, const Sat& sat = Sat{}, int first_segment = 0,
                         bool compress = false) {
  static const std::string cache = [] {
    GStatBuf st{};
    g_stat("/proc/self/exe", &st);
    const std::string name = "synth-" + std::to_string(int64_t(st.st_mtime)) + "-" + std::to_string(int64_t(st.st_size));
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(NUBICORN_BINARY_DIR, ec))
      if (e.path().filename().string().rfind("synth-", 0) == 0 && e.path().filename().string().rfind(name, 0) != 0)
        std::filesystem::remove_all(e.path(), ec);
    return name;
  }();
  return testcycles::Cached(cache + (compress ? "-wt" : ""), slot, 1, compress, sat, first_segment);
}

// The MSG3 northern strip at SLOT.
inline std::string Strip(bool compress = false) { return Cycle(SLOT, Sat{}, 0, compress); }

// Pearson correlation of two samples of the same length.
inline double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
  double ma = 0, mb = 0, sab = 0, saa = 0, sbb = 0;
  for (size_t k = 0; k < a.size(); k++) ma += a[k] / double(a.size()), mb += b[k] / double(b.size());
  for (size_t k = 0; k < a.size(); k++) {
    sab += (a[k] - ma) * (b[k] - mb);
    saa += (a[k] - ma) * (a[k] - ma);
    sbb += (b[k] - mb) * (b[k] - mb);
  }
  return sab / std::sqrt(saa * sbb);
}

inline std::string Segment(const std::string& dir, int channel, int segment, const std::string& slot = SLOT) {
  return dir + "/" + SynthSegmentName(channel, segment, slot);
}

}  // namespace synthtest
