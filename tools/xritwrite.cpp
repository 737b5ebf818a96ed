#include "tools/xritwrite.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "data/suplsave.h"

void XritPutU8(Bytes* b, uint8_t v) { b->push_back(v); }
void XritPutU16(Bytes* b, uint16_t v) {
  b->push_back(uint8_t(v >> 8));
  b->push_back(uint8_t(v));
}
void XritPutU32(Bytes* b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b->push_back(uint8_t(v >> s));
}
void XritPutI32(Bytes* b, int32_t v) { XritPutU32(b, uint32_t(v)); }
void XritPutU64(Bytes* b, uint64_t v) {
  for (int s = 56; s >= 0; s -= 8) b->push_back(uint8_t(v >> s));
}

void XritSetU8(Bytes* b, size_t at, uint8_t v) { b->at(at) = v; }
void XritSetU16(Bytes* b, size_t at, uint16_t v) {
  b->at(at + 1);  // bounds
  (*b)[at] = uint8_t(v >> 8);
  (*b)[at + 1] = uint8_t(v);
}
void XritSetU32(Bytes* b, size_t at, uint32_t v) {
  b->at(at + 3);
  for (int i = 0; i < 4; i++) (*b)[at + i] = uint8_t(v >> (24 - 8 * i));
}
void XritSetI32(Bytes* b, size_t at, int32_t v) { XritSetU32(b, at, uint32_t(v)); }
void XritSetF32(Bytes* b, size_t at, float v) {
  uint32_t u;
  std::memcpy(&u, &v, 4);
  XritSetU32(b, at, u);
}
void XritSetF64(Bytes* b, size_t at, double v) {
  uint64_t u;
  std::memcpy(&u, &v, 8);
  b->at(at + 7);
  for (int i = 0; i < 8; i++) (*b)[at + i] = uint8_t(u >> (56 - 8 * i));
}

XritCds XritCdsFromUnix(int64_t seconds, int ms) {
  // 1958-01-01 lies 4383 days before 1970-01-01.
  int64_t total_ms = (seconds + 4383LL * 86400) * 1000 + ms;
  XritCds t;
  t.days = uint16_t(total_ms / 86400000);
  t.ms = uint32_t(total_ms % 86400000);
  return t;
}

static void PutHead(Bytes* b, uint8_t type, uint16_t length) {
  XritPutU8(b, type);
  XritPutU16(b, length);
}

void XritWritePrimary(Bytes* b, uint8_t file_type, uint32_t header_length, uint64_t data_bits) {
  PutHead(b, 0, XRIT_PRIMARY_LENGTH);
  XritPutU8(b, file_type);
  XritPutU32(b, header_length);
  XritPutU64(b, data_bits);
}

void XritWriteImageStructure(Bytes* b, uint8_t nb, uint16_t nc, uint16_t nl, uint8_t compression) {
  PutHead(b, 1, XRIT_STRUCTURE_LENGTH);
  XritPutU8(b, nb);
  XritPutU16(b, nc);
  XritPutU16(b, nl);
  XritPutU8(b, compression);
}

void XritWriteNavigation(Bytes* b, const std::string& projection, int32_t cfac, int32_t lfac,
                         int32_t coff, int32_t loff) {
  PutHead(b, 2, XRIT_NAVIGATION_LENGTH);
  std::string name = projection.substr(0, 32);
  name.resize(32, ' ');
  b->insert(b->end(), name.begin(), name.end());
  XritPutI32(b, cfac);
  XritPutI32(b, lfac);
  XritPutI32(b, coff);
  XritPutI32(b, loff);
}

void XritWriteAnnotation(Bytes* b, const std::string& text) {
  PutHead(b, 4, uint16_t(XritAnnotationLength(text)));
  b->insert(b->end(), text.begin(), text.end());
}

void XritWriteTimeStamp(Bytes* b, XritCds t) {
  PutHead(b, 5, XRIT_TIME_LENGTH);
  XritPutU8(b, 0x40);  // CDS P-field: 2-byte day, 4-byte millisecond
  XritPutU16(b, t.days);
  XritPutU32(b, t.ms);
}

void XritWriteSegmentId(Bytes* b, uint16_t spacecraft, uint8_t channel, uint16_t segment,
                        uint16_t planned_start, uint16_t planned_end, uint8_t representation) {
  PutHead(b, 128, XRIT_SEGMENT_ID_LENGTH);
  XritPutU16(b, spacecraft);
  XritPutU8(b, channel);
  XritPutU16(b, segment);
  XritPutU16(b, planned_start);
  XritPutU16(b, planned_end);
  XritPutU8(b, representation);
}

void XritWriteLineQuality(Bytes* b, const std::vector<XritLineEntry>& lines) {
  PutHead(b, 129, uint16_t(XritLineQualityLength(lines.size())));
  for (const XritLineEntry& e : lines) {
    XritPutI32(b, e.line);
    XritPutU16(b, e.time.days);
    XritPutU32(b, e.time.ms);
    XritPutU8(b, e.validity);
    XritPutU8(b, e.radiometric);
    XritPutU8(b, e.geometric);
  }
}

void XritPack10Bit(const uint16_t* src, size_t n, Bytes* out) {
  size_t start = out->size();
  out->resize(start + (n * 10 + 7) / 8, 0);
  uint8_t* d = out->data() + start;
  size_t full = n / 4;
  for (size_t g = 0; g < full; g++, src += 4, d += 5) {
    uint32_t a = src[0] & 1023, b = src[1] & 1023, c = src[2] & 1023, e = src[3] & 1023;
    d[0] = uint8_t(a >> 2);
    d[1] = uint8_t((a << 6) | (b >> 4));
    d[2] = uint8_t((b << 4) | (c >> 6));
    d[3] = uint8_t((c << 2) | (e >> 8));
    d[4] = uint8_t(e);
  }
  // A tail of 1 to 3 samples, bit by bit.
  size_t bit = 0;
  for (size_t i = 0; i < n % 4; i++)
    for (int k = 9; k >= 0; k--, bit++)
      if ((src[i] >> k) & 1) d[bit / 8] |= uint8_t(0x80 >> (bit % 8));
}

bool XritWriteFile(const std::string& path, const Bytes& head, const Bytes& field,
                   std::string* err) {
  // Generated files replace their earlier copies: a second run over a folder renews it.
  SuplSave out(path, SuplPublish::Replace);
  if (out.Write(head.data(), head.size()) && out.Write(field.data(), field.size()) &&
      out.Publish())
    return true;
  if (err) *err = out.error();
  return false;
}
