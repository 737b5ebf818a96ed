// xRIT (LRIT/HRIT) header records and segment reading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

inline constexpr int SEGMENT_LINES = 464;
inline constexpr int IR_COLUMNS = 3712;
inline constexpr int HRV_COLUMNS = 5568;

// Header record types of the LRIT/HRIT Global Specification and the MSG mission.
enum XritRecordType : uint8_t {
  XRIT_PRIMARY = 0,
  XRIT_IMAGE_STRUCTURE = 1,
  XRIT_IMAGE_NAVIGATION = 2,
  XRIT_IMAGE_DATA_FUNCTION = 3,
  XRIT_ANNOTATION = 4,
  XRIT_TIME_STAMP = 5,
  XRIT_ANCILLARY_TEXT = 6,
  XRIT_KEY_HEADER = 7,
  XRIT_SEGMENT_ID = 128,
  XRIT_LINE_QUALITY = 129,
};

// File type codes of the primary header.
enum XritFileType : uint8_t {
  XRIT_FILE_IMAGE = 0,
  XRIT_FILE_PROLOGUE = 128,
  XRIT_FILE_EPILOGUE = 129,
};

// Data field representation of the segment identification record.
enum XritRepresentation : uint8_t {
  XRIT_REPR_NONE = 0,
  XRIT_REPR_JPEG = 1,
  XRIT_REPR_T4 = 2,
  XRIT_REPR_WT = 3,
};

struct XritLineQuality {
  int32_t line = 0;        // line number in grid
  uint16_t days = 0;       // CDS mean acquisition time
  uint32_t ms = 0;
  uint8_t validity = 0, radiometric = 0, geometric = 0;
};

struct XritHeader {
  // primary header (type 0)
  uint8_t file_type = 0;
  uint32_t header_length = 0;  // total header length = offset of the data field
  uint64_t data_bits = 0;      // data field length in bits

  bool has_structure = false;  // image structure (type 1)
  int nb = 0, nc = 0, nl = 0, compression = 0;

  bool has_navigation = false;  // image navigation (type 2)
  std::string projection;       // e.g. "GEOS(+000.0)", trailing blanks removed
  int32_t cfac = 0, lfac = 0, coff = 0, loff = 0;

  std::string data_function;  // image data function (type 3), raw text

  bool has_annotation = false;  // annotation (type 4)
  std::string annotation;       // the 61-character file name text
  bool compressed_mark = false;  // annotation's second-to-last character is 'C'
  bool encrypted = false;        // annotation's last character is 'E', or a key header exists

  bool has_time = false;  // time stamp (type 5), CDS
  uint16_t days = 0;      // since 1958-01-01
  uint32_t ms = 0;        // of day

  std::string ancillary;  // ancillary text (type 6)
  bool has_key = false;   // key header (type 7)

  bool has_segment = false;  // segment identification (type 128)
  uint16_t spacecraft = 0;
  uint8_t channel = 0;
  uint16_t segment = 0, planned_start = 0, planned_end = 0;
  uint8_t representation = 0;

  std::vector<XritLineQuality> line_quality;  // type 129
};

// Parses the header records at the start of `file` (the whole file's bytes, or at least its
// headers). Every record length is checked against the total header length and the buffer;
// unknown records are skipped by their length. False with a one-line reason in *err.
bool XritParseHeaders(std::span<const uint8_t> file, XritHeader* out, std::string* err);

// Decodes a segment's data field into the packed 10-bit stream of nc * nl pixels (the seam for
// every decoder: none, native WT, external xRITDecompress). False with a reason in *err.
bool XritDecodeField(const XritHeader& h, std::span<const uint8_t> field, const char* path,
                     std::vector<uint8_t>* packed, std::string* err);

// Reads one segment file: the packed 10-bit stream of its 464 lines in file order, at least
// NC * 580 bytes. Empty (with one warning "%s(reason)") on any failure.
std::vector<uint8_t> XritSegmentRead(const char* path);
