// Helpers of the WT tests: HRIT segment files split into image size and data field, gzip reading.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "data/wt.h"
#include "data/xrit.h"

inline std::vector<uint8_t> WtTestGunzip(const std::string& path) {
  std::vector<uint8_t> out;
  gzFile f = gzopen(path.c_str(), "rb");
  if (!f) return out;
  uint8_t chunk[1 << 16];
  for (int n; (n = gzread(f, chunk, sizeof chunk)) > 0;) out.insert(out.end(), chunk, chunk + n);
  gzclose(f);
  return out;
}

// A segment file cut into its image structure and data field (the bytes present, at most the
// primary header's length); its headers are read as the program reads them (test_xrit_headers).
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
  std::ifstream in(path, std::ios::binary);
  s.file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  XritHeader h;
  if (!XritParseHeaders(s.file, &h, nullptr)) return s;
  s.img = WtImage{h.nb, h.nc, h.nl};
  s.field_at = h.header_length;
  s.field_bytes = h.data_bits / 8;
  s.ok = true;
  return s;
}
