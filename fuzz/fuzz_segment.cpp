// libFuzzer target of the segment reader as the loader uses it: bytes written as a segment
// file and read back through XritSegmentRead and the line reader. The first byte chooses the
// mode: raw bytes as the whole file, or a segment whose header fields (NB, NC, NL, channel,
// compression, data-field length) come from the input and whose file ends where the input
// does, so headers that lie, values at their limits and data fields cut short are all reached.
#include <glib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "data/xrit.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put(Bytes& b, uint64_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; i--) b.push_back(uint8_t(v >> (8 * i)));
}

void Record(Bytes& b, uint8_t type, const Bytes& content) {
  b.push_back(type);
  Put(b, content.size() + 3, 2);
  b.insert(b.end(), content.begin(), content.end());
}

struct Reader {
  uint8_t const* p;
  size_t n, at = 0;
  uint64_t Take(int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; i++) v = v << 8 | (at < n ? p[at++] : 0);
    return v;
  }
};

const char* const IR = "H-000-MSG3__-MSG3________-IR_108___-000007___-201607041200-C_";
const char* const HRV = "H-000-MSG3__-MSG3________-HRV______-000019___-201607041200-C_";

// A segment built from the input: image structure, annotation, segment identification, then
// the rest of the input as the (usually short) data field.
Bytes Structured(Reader& r, bool* hrv) {
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
  Bytes recs;
  Bytes is;
  Put(is, uint64_t(nb), 1);
  Put(is, uint64_t(nc), 2);
  Put(is, uint64_t(nl), 2);
  Put(is, compressed ? 1 : 0, 1);
  Record(recs, 1, is);
  const std::string name = *hrv ? HRV : IR;
  Record(recs, 4, Bytes(name.begin(), name.end()));
  Bytes sid;
  Put(sid, 323, 2);
  Put(sid, channel, 1);
  Put(sid, *hrv ? 19 : 7, 2);
  Put(sid, 1, 2);
  Put(sid, 8, 2);
  Put(sid, compressed ? XRIT_REPR_WT : 0, 1);
  Record(recs, 128, sid);
  Bytes file;
  Put(file, 0, 1);
  Put(file, 16, 2);
  Put(file, 0, 1);
  Put(file, 16 + recs.size(), 4);
  Put(file, bits, 8);
  file.insert(file.end(), recs.begin(), recs.end());
  file.insert(file.end(), r.p + r.at, r.p + r.n);
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    g_log_set_default_handler([](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
    return true;
  }();
  (void)quiet;
  if (size < 1) return 0;
  Reader r{data + 1, size - 1};
  bool hrv = false;
  Bytes file;
  if (data[0] & 1) file = Structured(r, &hrv);
  else {
    hrv = data[0] & 2;
    file.assign(data + 1, data + size);
  }
  // One private folder per process; the file name carries the channel, as a received one does.
  static const std::string dir = [] {
    gchar* d = g_dir_make_tmp("fuzz-segment-XXXXXX", nullptr);
    std::string s = d ? d : "/tmp";
    g_free(d);
    return s;
  }();
  const std::string path = dir + "/" + (hrv ? HRV : IR);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  if (!file.empty()) std::fwrite(file.data(), 1, file.size(), f);
  std::fclose(f);

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
