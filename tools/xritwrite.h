// Serialisation of xRIT header records (big-endian) and of the packed 10-bit pixel stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Big-endian appends.
void XritPutU8(Bytes* b, uint8_t v);
void XritPutU16(Bytes* b, uint16_t v);
void XritPutU32(Bytes* b, uint32_t v);
void XritPutI32(Bytes* b, int32_t v);
void XritPutU64(Bytes* b, uint64_t v);
// Big-endian stores at a fixed offset; the buffer must already hold offset + width bytes.
void XritSetU8(Bytes* b, size_t at, uint8_t v);
void XritSetU16(Bytes* b, size_t at, uint16_t v);
void XritSetU32(Bytes* b, size_t at, uint32_t v);
void XritSetI32(Bytes* b, size_t at, int32_t v);
void XritSetF32(Bytes* b, size_t at, float v);
void XritSetF64(Bytes* b, size_t at, double v);

// CCSDS day segmented time: days since 1958-01-01 and milliseconds of the day.
struct XritCds {
  uint16_t days = 0;
  uint32_t ms = 0;
};
// A UTC instant (seconds since 1970 plus milliseconds) as CDS.
XritCds XritCdsFromUnix(int64_t seconds, int ms = 0);

// One entry of the image segment line quality record.
struct XritLineEntry {
  int32_t line = 0;  // line number in the grid
  XritCds time;      // mean acquisition time
  uint8_t validity = 1, radiometric = 1, geometric = 1;
};

// Header records, each appended whole (type, record length, content).
void XritWritePrimary(Bytes* b, uint8_t file_type, uint32_t header_length, uint64_t data_bits);
void XritWriteImageStructure(Bytes* b, uint8_t nb, uint16_t nc, uint16_t nl, uint8_t compression);
// The projection name is padded with blanks to 32 bytes (longer names are cut).
void XritWriteNavigation(Bytes* b, const std::string& projection, int32_t cfac, int32_t lfac,
                         int32_t coff, int32_t loff);
void XritWriteAnnotation(Bytes* b, const std::string& text);
void XritWriteTimeStamp(Bytes* b, XritCds t);
void XritWriteSegmentId(Bytes* b, uint16_t spacecraft, uint8_t channel, uint16_t segment,
                        uint16_t planned_start, uint16_t planned_end, uint8_t representation);
void XritWriteLineQuality(Bytes* b, const std::vector<XritLineEntry>& lines);

// Record lengths as they are written (type and length bytes included).
inline constexpr uint32_t XRIT_PRIMARY_LENGTH = 16;
inline constexpr uint32_t XRIT_STRUCTURE_LENGTH = 9;
inline constexpr uint32_t XRIT_NAVIGATION_LENGTH = 51;
inline constexpr uint32_t XRIT_TIME_LENGTH = 10;
inline constexpr uint32_t XRIT_SEGMENT_ID_LENGTH = 13;
inline uint32_t XritAnnotationLength(const std::string& text) { return 3 + uint32_t(text.size()); }
inline uint32_t XritLineQualityLength(size_t lines) { return 3 + 13 * uint32_t(lines); }

// Packs n counts (low 10 bits of each) MSB first into ceil(10 n / 8) bytes appended to *out;
// the last byte is padded with zero bits.
void XritPack10Bit(const uint16_t* src, size_t n, Bytes* out);

// Writes the bytes to path through a temporary file in the same folder and a rename, so a
// watcher never sees a half-written file. False with a reason in *err.
bool XritWriteFile(const std::string& path, const Bytes& head, const Bytes& field,
                   std::string* err);
