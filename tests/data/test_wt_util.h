// Helpers of the WT tests: HRIT segment files split into image size and data field, gzip reading.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "data/wt.h"

inline std::vector<uint8_t> WtTestRead(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<uint8_t> WtTestGunzip(const std::string& path) {
  std::vector<uint8_t> out;
  gzFile f = gzopen(path.c_str(), "rb");
  if (!f) return out;
  uint8_t chunk[1 << 16];
  for (int n; (n = gzread(f, chunk, sizeof chunk)) > 0;) out.insert(out.end(), chunk, chunk + n);
  gzclose(f);
  return out;
}

inline uint64_t WtTestBe(const std::vector<uint8_t>& b, size_t at, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; i++) v = (v << 8) | b[at + size_t(i)];
  return v;
}

// A segment file cut into its image structure and data field (the bytes present, at most the
// primary header's length).
struct WtTestSegment {
  bool ok = false;
  WtImage img;
  size_t field_at = 0;
  uint64_t field_bytes = 0;   // as the primary header says
  std::vector<uint8_t> file;
  std::span<const uint8_t> field() const {
    const size_t end = std::min<size_t>(file.size(), field_at + field_bytes);
    return std::span<const uint8_t>(file).subspan(field_at, end - field_at);
  }
};

inline WtTestSegment WtTestLoad(const std::string& path) {
  WtTestSegment s;
  s.file = WtTestRead(path);
  if (s.file.size() < 16 || s.file[0] != 0) return s;
  s.field_at = WtTestBe(s.file, 4, 4);
  s.field_bytes = WtTestBe(s.file, 8, 8) / 8;
  for (size_t at = 0; at + 3 <= s.field_at && at + 3 <= s.file.size();) {
    const size_t len = WtTestBe(s.file, at + 1, 2);
    if (len < 3) return s;
    if (s.file[at] == 1 && at + 8 <= s.file.size()) {
      s.img.nb = s.file[at + 3];
      s.img.nc = int(WtTestBe(s.file, at + 4, 2));
      s.img.nl = int(WtTestBe(s.file, at + 6, 2));
      s.ok = s.field_at <= s.file.size();
    }
    at += len;
  }
  return s;
}
