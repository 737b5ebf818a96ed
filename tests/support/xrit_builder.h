// Builds xRIT segment and prologue files for tests, with fields the tests choose, damaged
// headers among them (big-endian records: type, 2-byte length, content).
#pragma once

#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tools/xritwrite.h"

namespace xb {

using Bytes = std::vector<uint8_t>;

inline void Put(Bytes& b, uint64_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; i--) b.push_back(uint8_t(v >> (8 * i)));
}
inline void PutText(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

// One header record: type, length (3 + content, or `force_len` when >= 0), content.
inline Bytes Record(uint8_t type, const Bytes& content, int force_len = -1) {
  Bytes r;
  r.push_back(type);
  Put(r, force_len >= 0 ? uint64_t(force_len) : content.size() + 3, 2);
  r.insert(r.end(), content.begin(), content.end());
  return r;
}

// Packs 10-bit counts most significant bit first, with a plain bit accumulator.
inline Bytes Pack10(const std::vector<uint16_t>& counts) {
  Bytes out;
  uint32_t acc = 0;
  int bits = 0;
  for (uint16_t c : counts) {
    acc = (acc << 10) | (c & 1023u);
    bits += 10;
    while (bits >= 8) {
      out.push_back(uint8_t(acc >> (bits - 8)));
      bits -= 8;
    }
    acc &= (1u << bits) - 1;
  }
  if (bits) out.push_back(uint8_t(acc << (8 - bits)));
  return out;
}

struct Segment {
  uint8_t file_type = 0;
  int nb = 10, nc = 3712, nl = 464, compression = 0;
  std::string annotation = "H-000-MSG3__-MSG3________-IR_108___-000007___-201607041200-C_";
  bool segment_record = true;
  uint8_t channel = 9;          // IR_108
  uint16_t segment = 7;
  uint8_t representation = 0;
  bool key_header = false;
  Bytes extra_records;          // inserted before the segment identification
  Bytes field;                  // the data field
  long long data_bits = -1;     // primary header's bit count; -1: 8 * field size
  long long header_length = -1; // -1: the records' sum
};

// The primary header and the records of a segment, written with the generator's record writers
// (their bytes are checked against the standard's layouts by the generator's own tests).
inline Bytes Headers(const Segment& s) {
  const bool hrv = s.channel == 12;
  Bytes recs;
  XritWriteImageStructure(&recs, uint8_t(s.nb), uint16_t(s.nc), uint16_t(s.nl), uint8_t(s.compression));
  XritWriteNavigation(&recs, "GEOS(+000.0)", hrv ? -40927014 : -13642337, hrv ? -40927014 : -13642337,
                      hrv ? 5566 - 1947 + 1 : 1856, (hrv ? 5566 : 1856) - 464 * (s.segment - 1));
  XritWriteAnnotation(&recs, s.annotation);
  XritWriteTimeStamp(&recs, XritCds{21369, 43200000});  // 2016-07-04 12:00
  if (s.key_header) {
    const Bytes r = Record(7, {0, 0, 0, 1});
    recs.insert(recs.end(), r.begin(), r.end());
  }
  recs.insert(recs.end(), s.extra_records.begin(), s.extra_records.end());
  if (s.segment_record)
    XritWriteSegmentId(&recs, 323, s.channel, s.segment, hrv ? 19 : 1, hrv ? 24 : 8, s.representation);
  std::vector<XritLineEntry> lines(size_t(std::max(s.nl, 0)));
  for (size_t i = 0; i < lines.size(); i++)
    lines[i] = {int32_t(464 * (s.segment - 1) + i + 1), XritCds{21369, uint32_t(43200000 + i * 100)}, 1, 1, 1};
  XritWriteLineQuality(&recs, lines);
  Bytes out;
  XritWritePrimary(&out, s.file_type, uint32_t(s.header_length >= 0 ? s.header_length : 16 + recs.size()),
                   s.data_bits >= 0 ? uint64_t(s.data_bits) : uint64_t(s.field.size()) * 8);
  out.insert(out.end(), recs.begin(), recs.end());
  return out;
}

inline Bytes File(const Segment& s) {
  Bytes b = Headers(s);
  b.insert(b.end(), s.field.begin(), s.field.end());
  return b;
}

// Counts of a test pattern: distinct in every pixel of a strip, covering all 10 bits.
inline std::vector<uint16_t> Pattern(int nc, int nl, unsigned seed = 1) {
  std::vector<uint16_t> c(size_t(nc) * nl);
  uint32_t x = seed * 2654435761u + 12345u;
  for (size_t i = 0; i < c.size(); i++) {
    x = x * 1664525u + 1013904223u;
    c[i] = uint16_t((x >> 13) & 1023u);
  }
  return c;
}

inline bool Write(const std::string& path, const Bytes& b) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = b.empty() || std::fwrite(b.data(), 1, b.size(), f) == b.size();
  return std::fclose(f) == 0 && ok;
}

// Count at a disk line (1-based from the south) and column (1-based from the east).
using CountAt = std::function<uint16_t(int line, int column)>;

// Counts that differ between neighbouring lines and columns, all within 1..1023.
inline uint16_t Ramp(int line, int column) { return uint16_t((line * 7 + column * 3) % 1023 + 1); }

// Writes segment `segment` of channel ch (12: HRV) to dir/name, its annotation name: raw pixel
// p of file line r holds f(line, east(line) + p) with line = 464 (segment - 1) + r + 1 (east 1
// when not given). False when the file cannot be written.
inline bool WriteKnown(const std::string& dir, const std::string& name, int ch, int segment, const CountAt& f,
                       const std::function<int(int)>& east = {}) {
  const int nc = ch == 12 ? 5568 : 3712;
  std::vector<uint16_t> counts(size_t(nc) * 464);
  for (int r = 0; r < 464; r++) {
    const int line = 464 * (segment - 1) + r + 1, e = east ? east(line) : 1;
    for (int p = 0; p < nc; p++) counts[size_t(r) * nc + p] = f(line, e + p);
  }
  Segment s;
  s.nc = nc;
  s.channel = uint8_t(ch);
  s.segment = uint16_t(segment);
  s.annotation = name;
  s.field = Pack10(counts);
  return Write(dir + "/" + name, File(s));
}

}  // namespace xb

namespace xb {

inline void PutAt(Bytes& b, size_t at, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; i++) b[at + i] = uint8_t(v >> (8 * (bytes - 1 - i)));
}
struct Prologue {
  uint8_t file_type = 128;
  uint16_t second_type = 4;  // the annotation must follow the primary header
  uint16_t annotation_length = 64;
  // HRV planned coverage: lower south, lower north, lower east, lower west, upper south,
  // upper north, upper east, upper west.
  int32_t hrv[8] = {1, 8064, 8994, 3427, 8065, 11136, 1947, 7514};
  long long data_size = 425461;  // bytes of data field written
};

// A prologue file: primary header, annotation, a time stamp, then the Level 1.5 data field with
// the fields placed at their published offsets.
inline Bytes PrologueFile(const Prologue& p) {
  Bytes recs;
  Bytes ann;
  PutText(ann, "H-000-MSG3__-MSG3________-_________-PRO______-201607041200-__");
  Bytes r = Record(uint8_t(p.second_type), ann, p.annotation_length);
  recs.insert(recs.end(), r.begin(), r.end());
  Bytes ts = {0x40, 0x53, 0x79, 0x02, 0x93, 0x2E, 0x00};
  r = Record(5, ts);
  recs.insert(recs.end(), r.begin(), r.end());

  Bytes d(size_t(std::max(p.data_size, 425461LL)), 0);
  PutAt(d, 0, 323, 2);             // satellite id
  XritSetF32(&d, 2, 0.0f);              // nominal longitude
  for (int i = 0; i < 39612; i++) d[35 + i] = uint8_t(i * 7);  // orbit, raw
  XritSetF64(&d, 60067, 99.974);        // spin rate
  for (int i = 0; i < 3; i++) {    // acquisition times
    PutAt(d, 60134 + 10 * i, 21369, 2);
    PutAt(d, 60134 + 10 * i + 2, uint32_t(43200000 + 600000 * i), 4);
    PutAt(d, 60134 + 10 * i + 6, uint32_t(10 + i), 2);
    PutAt(d, 60134 + 10 * i + 8, uint32_t(20 + i), 2);
  }
  d[386892] = 1;                   // projection type
  XritSetF32(&d, 386893, 0.0f);         // sub-satellite longitude
  PutAt(d, 386897, 3712, 4);
  PutAt(d, 386901, 3712, 4);
  XritSetF32(&d, 386905, 3.0004032f);
  XritSetF32(&d, 386909, 3.0004032f);
  d[386913] = 2;
  PutAt(d, 386914, 11136, 4);
  PutAt(d, 386918, 11136, 4);
  XritSetF32(&d, 386922, 1.0001343f);
  XritSetF32(&d, 386926, 1.0001343f);
  d[386930] = 2;
  const int32_t visir[4] = {1, 3712, 1, 3712};
  for (int i = 0; i < 4; i++) PutAt(d, 386931 + 4 * i, uint32_t(visir[i]), 4);
  for (int i = 0; i < 8; i++) PutAt(d, 386947 + 4 * i, uint32_t(p.hrv[i]), 4);
  d[386979] = 1;                   // south to north
  d[386980] = 1;
  for (int c = 0; c < 12; c++) {
    d[386981 + c] = 1;
    XritSetF64(&d, 387065 + 16 * c, 0.01 * (c + 1));
    XritSetF64(&d, 387065 + 16 * c + 8, -0.5 * (c + 1));
  }
  d.resize(size_t(p.data_size));

  Bytes out;
  XritWritePrimary(&out, p.file_type, uint32_t(16 + recs.size()), uint64_t(p.data_size) * 8);
  out.insert(out.end(), recs.begin(), recs.end());
  out.insert(out.end(), d.begin(), d.end());
  return out;
}

}  // namespace xb
