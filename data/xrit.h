// xRIT (LRIT/HRIT) header records and segment reading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "data/suplbytes.h"

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
// headers): big-endian, the primary header first (type 0, length 16), then records until their
// lengths sum exactly to the total header length. A record shorter than 3 bytes or than its
// fixed fields, running past the total header length, or a total header length past the end of
// `file` is an error; unknown record types are skipped by their length. Never reads outside
// `file`. False with a one-line reason in *err (out is then partly filled).
bool XritParseHeaders(std::span<const uint8_t> file, XritHeader* out, std::string* err);

// Columns of the strip of the segment's channel: 5568 for HRV, 3712 for the others, taken from
// the segment identification record, else the annotation, else the file name `path` (may be
// null). 0 when the channel cannot be told.
int XritChannelColumns(const XritHeader& h, const char* path);

// Checks an uncompressed (flag 0) data field of `field_bits` bits against NB, NC and NL: whole
// lines, exactly NL of them. False with a reason in *err.
bool XritCheckPlainField(const XritHeader& h, uint64_t field_bits, std::string* err);

// Decodes a segment's data field (the primary header's data-field length, rounded up to bytes,
// or the part of it that a file cut short holds) into the packed stream of nc * nl pixels.
// Flag 0: the field itself, checked by XritCheckPlainField. Otherwise by the representation of
// the segment identification record: WT through WtDecode (a field cut short gives the lines
// decoded before it ends, the rest 0), and when that fails through EUMETSAT's xRITDecompress
// program if it is on PATH (run on `path` in a private temporary folder, removed afterwards).
// JPEG, T.4 and unknown representations are not decoded. False with a reason in *err;
// *compressed is set true when the failure is that of a compressed field (no decoder, decoder
// error). `threads` bounds the WT decoder's threads (0: all cores when the segment pays for it).
// *whole_lines (may be null) receives the number of lines decoded whole.
bool XritDecodeField(const XritHeader& h, std::span<const uint8_t> field, const char* path,
                     std::vector<uint8_t>* packed, std::string* err, bool* compressed = nullptr,
                     int threads = 0, int* whole_lines = nullptr);

// Reads one segment file: the packed 10-bit stream of its 464 lines in file order, at least
// NC * 580 bytes, NC being the width of the channel's strip. The file is opened with
// SuplFileOpen (regular files of at most SUPL_XRIT_MAX_FILE bytes, never blocking). Empty, with
// exactly one warning "PATH(what)", when the segment cannot be used, tested in this order:
// "input: REASON" file missing, not a regular file, too large, empty, not xRIT image headers;
// "encrypted"; "depth: NB n, not 10"; "width: NC n, not w" (or "width: channel unknown");
// "strip: NL n, not 464"; "input: REASON" (flag 0) the header's field length not NL whole
// lines; "compressed" no decoder or the decoder failed; "malloc" out of memory. A data field
// that the file holds only in part (a file cut short) gives the lines that are present, the
// rest 0, with the one warning "short: n of 464 lines" (n whole lines read or decoded); when
// none are, the result is empty, with "short: 0 of 464 lines".
// `threads` as for XritDecodeField: pass 1 when several segments are read at once.
SuplBytes XritSegmentRead(const char* path, int threads = 0);

// A segment file opened and checked once, for reading its lines piece by piece (several
// threads may read one at the same time). Move-only; closes its file.
struct XritSegmentFile {
  int fd = -1;
  XritHeader header;
  int columns = 0;          // of the channel's strip
  size_t line_bytes = 0;    // packed bytes of one line
  bool compressed = false;  // the field must be decoded whole (XritSegmentReadLines)
  int lines = 0;            // uncompressed: whole lines the file holds (464 unless cut short)
  uint64_t field_bytes = 0; // bytes of the data field the file holds
  bool cut = false;         // the file ends before the data field does
  XritSegmentFile() = default;
  XritSegmentFile(XritSegmentFile&& o) noexcept;
  XritSegmentFile& operator=(XritSegmentFile&& o) noexcept;
  ~XritSegmentFile();
};

// Opens `path` with the checks of XritSegmentRead up to the data field (the same warnings,
// exactly one on failure; an uncompressed field cut short is warned about here, "short: n of
// 464 lines", and opens). False when the segment cannot be used. *note (may be null) receives
// the text in parentheses of the warning, when one is logged.
bool XritSegmentOpen(const char* path, XritSegmentFile* out, std::string* note = nullptr);

// Lines [first, first + count) of an opened uncompressed segment into dst (count *
// line_bytes bytes); lines past the end of a field cut short are 0. False with the warning
// "%s(input...)" (path) when they cannot all be read.
bool XritSegmentReadInto(const XritSegmentFile& f, const char* path, int first, int count,
                         uint8_t* dst);

// Lines [first, first + count) of a segment (clamped to 0..464), after the same checks as
// XritSegmentRead and with the same warnings. An uncompressed field is read only there: the
// result holds those lines and *from = first. A compressed field is decoded whole: the result
// holds every line and *from = 0. Empty on failure.
SuplBytes XritSegmentReadLines(const char* path, int first, int count, int* from,
                               int threads = 0);

// XritSegmentReadLines of a segment already opened (the same lines, results and warnings but
// those of the opening; a compressed field cut short is warned about here). *note as for
// XritSegmentOpen.
SuplBytes XritSegmentLines(const XritSegmentFile& f, const char* path, int first, int count,
                           int* from, int threads = 0, std::string* note = nullptr);
