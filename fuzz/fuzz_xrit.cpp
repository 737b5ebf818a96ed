// Header reader and plain data-field decoding on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "data/xrit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> file(data, size);
  XritHeader h;
  std::string err;
  if (!XritParseHeaders(file, &h, &err)) return 0;
  if (h.header_length > size) __builtin_trap();  // the reader promised to stay inside
  XritChannelColumns(h, "H-000-MSG3__-MSG3________-HRV______-000019___-201607041200-C_");
  // Only uncompressed fields: compressed ones go to decoders with fuzz targets of their own.
  if (h.compression != 0) return 0;
  const uint64_t avail = size - h.header_length;
  const uint64_t bytes = (h.data_bits + 7) / 8;
  if (bytes > avail) return 0;
  std::vector<uint8_t> packed;
  if (XritDecodeField(h, file.subspan(h.header_length, size_t(bytes)), nullptr, &packed, &err)) {
    if (packed.size() != bytes) __builtin_trap();
  }
  return 0;
}
