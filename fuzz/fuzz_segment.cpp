// libFuzzer target of the segment reader as the loader uses it: bytes written as a segment
// file and read back through XritSegmentRead and the line reader. The first byte chooses the
// mode: raw bytes as the whole file, or a segment whose header fields (NB, NC, NL, channel,
// compression, data-field length) come from the input and whose file ends where the input
// does, so headers that lie, values at their limits and data fields cut short are all reached.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "data/xrit.h"
#include "fuzz/fuzz_support.h"
#include "tools/xritwrite.h"

namespace {

const char* const IR = "H-000-MSG3__-MSG3________-IR_108___-000007___-201607041200-C_";
const char* const HRV = "H-000-MSG3__-MSG3________-HRV______-000019___-201607041200-C_";

// A segment built from the input: image structure, annotation, segment identification, then
// the rest of the input as the (usually short) data field.
Bytes Structured(FuzzReader& r, bool* hrv) {
  const uint8_t choice = uint8_t(r.Take(1));
  *hrv = choice & 1;
  // NB, NC and NL: mostly near the values the format fixes, sometimes anything.
  const int nb = (choice & 2) ? int(r.Take(1)) : 10;
  const int nc = (choice & 4) ? int(r.Take(2)) : (*hrv ? 5568 : 3712);
  const int nl = (choice & 8) ? int(r.Take(2)) : 464;
  const bool compressed = choice & 16;
  const uint8_t channel = (choice & 32) ? uint8_t(r.Take(1)) : (*hrv ? 12 : 9);
  // The data-field length: the full strip's, or any 64-bit value.
  const uint64_t bits = (choice & 64) ? r.Take(8) : uint64_t(nb) * uint64_t(nc) * uint64_t(nl);
  const std::string name = *hrv ? HRV : IR;
  Bytes recs;
  XritWriteImageStructure(&recs, uint8_t(nb), uint16_t(nc), uint16_t(nl), compressed ? 1 : 0);
  XritWriteAnnotation(&recs, name);
  XritWriteSegmentId(&recs, 323, channel, *hrv ? 19 : 7, 1, 8, compressed ? XRIT_REPR_WT : 0);
  Bytes file;
  XritWritePrimary(&file, 0, uint32_t(XRIT_PRIMARY_LENGTH + recs.size()), bits);
  file.insert(file.end(), recs.begin(), recs.end());
  file.insert(file.end(), r.p + r.at, r.p + r.n);
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzQuiet();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  FuzzReader r{data + 1, size - 1};
  bool hrv = false;
  Bytes file;
  if (data[0] & 1) file = Structured(r, &hrv);
  else {
    hrv = data[0] & 2;
    file.assign(data + 1, data + size);
  }
  // The file name carries the channel, as a received one does.
  const std::string path = FuzzWrite(hrv ? HRV : IR, file.data(), file.size());
  if (path.empty()) return 0;

  const SuplBytes whole = XritSegmentRead(path.c_str(), 1);
  // A strip is whole (lines cut short are 0) or not given at all.
  if (!whole.empty() && whole.size() < size_t(IR_COLUMNS) * 580) __builtin_trap();
  // The loader's piecewise read of an uncompressed field (a compressed one is decoded whole,
  // as above: not twice, which would halve the speed of the search).
  XritSegmentFile seg;
  if (XritSegmentOpen(path.c_str(), &seg) && !seg.compressed) {
    if (seg.lines < 1 || seg.lines > SEGMENT_LINES) __builtin_trap();
    int from = -1;
    const SuplBytes some = XritSegmentLines(seg, path.c_str(), 100, 30, &from, 1);
    if (!some.empty() && some.size() != seg.line_bytes * 30) __builtin_trap();
  }
  unlink(path.c_str());
  return 0;
}
