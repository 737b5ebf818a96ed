// Header records of xRIT files.
#include "data/xrit.h"

#include <cstring>

#include "data/fileinfo.h"

namespace {

// Bounded big-endian reader over one record's bytes.
struct Be {
  const uint8_t* p;
  size_t n;
  size_t at = 0;
  uint8_t u8() { return p[at++]; }
  uint16_t u16() {
    const uint16_t v = uint16_t(p[at] << 8 | p[at + 1]);
    at += 2;
    return v;
  }
  uint32_t u32() {
    const uint32_t v = uint32_t(p[at]) << 24 | uint32_t(p[at + 1]) << 16 | uint32_t(p[at + 2]) << 8 |
                       uint32_t(p[at + 3]);
    at += 4;
    return v;
  }
  int32_t i32() { return int32_t(u32()); }
  uint64_t u64() {
    const uint64_t hi = u32();
    return hi << 32 | u32();
  }
  std::string text(size_t len) {
    std::string s(reinterpret_cast<const char*>(p + at), len);
    at += len;
    return s;
  }
};

std::string TrimRight(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

bool Fail(std::string* err, std::string why) {
  if (err) *err = std::move(why);
  return false;
}

// Fixed content length (after type and length) of the records we interpret.
size_t MinContent(uint8_t type) {
  switch (type) {
    case XRIT_IMAGE_STRUCTURE: return 6;
    case XRIT_IMAGE_NAVIGATION: return 48;
    case XRIT_TIME_STAMP: return 7;
    case XRIT_SEGMENT_ID: return 10;
    default: return 0;
  }
}

void ParseRecord(uint8_t type, Be r, XritHeader* h) {
  switch (type) {
    case XRIT_IMAGE_STRUCTURE:
      h->has_structure = true;
      h->nb = r.u8();
      h->nc = r.u16();
      h->nl = r.u16();
      h->compression = r.u8();
      break;
    case XRIT_IMAGE_NAVIGATION:
      h->has_navigation = true;
      h->projection = TrimRight(r.text(32));
      h->cfac = r.i32();
      h->lfac = r.i32();
      h->coff = r.i32();
      h->loff = r.i32();
      break;
    case XRIT_IMAGE_DATA_FUNCTION: h->data_function = r.text(r.n); break;
    case XRIT_ANNOTATION: {
      h->has_annotation = true;
      h->annotation = r.text(r.n);
      const size_t n = h->annotation.size();
      // The last two characters carry the compression and encryption marks ("C_", "CE", "__").
      h->compressed_mark = n >= 2 && h->annotation[n - 2] == 'C';
      if (n >= 1 && h->annotation[n - 1] == 'E') h->encrypted = true;
      break;
    }
    case XRIT_TIME_STAMP:
      h->has_time = true;
      r.u8();  // P-field
      h->days = r.u16();
      h->ms = r.u32();
      break;
    case XRIT_ANCILLARY_TEXT: h->ancillary = r.text(r.n); break;
    case XRIT_KEY_HEADER:
      h->has_key = true;
      h->encrypted = true;
      break;
    case XRIT_SEGMENT_ID:
      h->has_segment = true;
      h->spacecraft = r.u16();
      h->channel = r.u8();
      h->segment = r.u16();
      h->planned_start = r.u16();
      h->planned_end = r.u16();
      h->representation = r.u8();
      break;
    case XRIT_LINE_QUALITY:
      h->line_quality.clear();
      h->line_quality.reserve(r.n / 13);
      while (r.n - r.at >= 13) {
        XritLineQuality q;
        q.line = r.i32();
        q.days = r.u16();
        q.ms = r.u32();
        q.validity = r.u8();
        q.radiometric = r.u8();
        q.geometric = r.u8();
        h->line_quality.push_back(q);
      }
      break;
    default: break;  // known to the standard or not: nothing we need
  }
}

}  // namespace

bool XritParseHeaders(std::span<const uint8_t> file, XritHeader* out, std::string* err) {
  *out = XritHeader{};
  if (file.size() < 16) return Fail(err, "shorter than a primary header");
  Be p{file.data(), 16};
  if (p.u8() != XRIT_PRIMARY) return Fail(err, "first record is not a primary header");
  if (p.u16() != 16) return Fail(err, "primary header length is not 16");
  out->file_type = p.u8();
  out->header_length = p.u32();
  out->data_bits = p.u64();
  if (out->header_length < 16) return Fail(err, "total header length below 16");
  if (out->header_length > file.size()) return Fail(err, "total header length past the end of the file");

  const size_t end = out->header_length;
  size_t pos = 16;
  while (pos < end) {
    if (end - pos < 3) return Fail(err, "header record cut by the total header length");
    const uint8_t type = file[pos];
    const size_t len = size_t(file[pos + 1]) << 8 | file[pos + 2];
    if (len < 3) return Fail(err, "header record of type " + std::to_string(type) + " has length " +
                                      std::to_string(len));
    if (len > end - pos)
      return Fail(err, "header record of type " + std::to_string(type) +
                           " runs past the total header length");
    if (type == XRIT_PRIMARY) return Fail(err, "second primary header");
    if (len - 3 < MinContent(type))
      return Fail(err, "header record of type " + std::to_string(type) + " too short");
    if (type == XRIT_LINE_QUALITY && (len - 3) % 13 != 0)
      return Fail(err, "line quality record not whole entries");
    ParseRecord(type, Be{file.data() + pos + 3, len - 3}, out);
    pos += len;
  }
  return true;
}

int XritChannelColumns(const XritHeader& h, const char* path) {
  auto from_id = [](int id) { return id == HRV_ID ? HRV_COLUMNS : IR_COLUMNS; };
  if (h.has_segment && h.channel >= 1 && h.channel <= CHANNEL_COUNT) return from_id(h.channel);
  // The channel field of a file name: six characters at name positions 26-31.
  auto from_name = [&](const char* name, size_t n) {
    if (n < NAME_LENGTH) return 0;
    const char* field = name + n - NAME_LENGTH + 26;
    for (int id = 1; id <= CHANNEL_COUNT; id++)
      if (!std::memcmp(field, InfoChannelText[id], 6)) return from_id(id);
    return 0;
  };
  if (h.has_annotation) {
    const std::string a = TrimRight(h.annotation);
    if (int c = from_name(a.data(), a.size())) return c;
  }
  if (path) return from_name(path, std::strlen(path));
  return 0;
}

bool XritCheckPlainField(const XritHeader& h, uint64_t field_bits, std::string* err) {
  if (h.nb <= 0 || h.nc <= 0 || h.nl <= 0) return Fail(err, "image structure missing or empty");
  const uint64_t line_bits = uint64_t(h.nb) * uint64_t(h.nc);
  if (field_bits % line_bits != 0) return Fail(err, "data field is not a whole number of lines");
  if (field_bits / line_bits != uint64_t(h.nl))
    return Fail(err, "data field holds " + std::to_string(field_bits / line_bits) + " lines, NL is " +
                         std::to_string(h.nl));
  return true;
}
