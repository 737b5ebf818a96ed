// libFuzzer target of the prologue reader and of the HRV placement it feeds. The first byte
// chooses the mode: arbitrary bytes as a whole prologue file (header checks, truncation), or a
// complete prologue whose HRV window fields, total header length and the view window and
// configured east column come from the input, written beside an HRV segment name and loaded
// through LayerLoadMsg, so values that would overflow the placement arithmetic are reached.
#include <glib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "data/layer.h"
#include "data/prologue.h"

namespace {

struct Reader {
  const uint8_t* p;
  size_t n, at = 0;
  uint32_t U32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) v = v << 8 | (at < n ? p[at++] : 0);
    return v;
  }
};

void PutAt(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) b[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
}

const char* const SEGMENT = "H-000-MSG3__-MSG3________-HRV______-000019___-201607041200-C_";
const char* const PROLOGUE = "H-000-MSG3__-MSG3________-_________-PRO______-201607041200-__";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    g_log_set_default_handler([](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
    return true;
  }();
  (void)quiet;
  if (size == 0) return 0;
  if (!(data[0] & 1)) {
    Prologue rec;
    const int r = PrologueParse(std::span<const uint8_t>(data + 1, size - 1), &rec);
    if (r != 0 && r != 3) __builtin_trap();
    if (r == 0) PrologueCheckWindow(rec);
    return 0;
  }
  Reader in{data + 1, size - 1};
  // Primary header, annotation of length 64, then the data field at the total header length.
  const uint32_t header = (data[0] & 2) ? 16 + 64 + (in.U32() & 0xFFF) : 16 + 64;
  std::vector<uint8_t> file(size_t(header) + size_t(PROLOGUE_DATA_SIZE), 0);
  file[1] = 0;
  file[2] = 16;
  file[3] = 128;
  PutAt(file, 4, header);
  file[16] = 4;
  file[17] = 0;
  file[18] = 64;
  for (int i = 0; i < 8; i++) PutAt(file, header + 386947 + 4 * size_t(i), in.U32());
  // Cut anywhere, sometimes.
  if (data[0] & 4) file.resize(in.U32() % file.size());

  static const std::string dir = [] {
    gchar* d = g_dir_make_tmp("fuzz-prologue-XXXXXX", nullptr);
    std::string s = d ? d : "/tmp";
    g_free(d);
    return s;
  }();
  const std::string pro = dir + "/" + PROLOGUE;
  FILE* f = std::fopen(pro.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(file.data(), 1, file.size(), f);
  std::fclose(f);
  const std::string seg = dir + "/" + SEGMENT;
  int32_t out[4] = {};
  if (LayerPrologueWindow(seg.c_str(), out)) {
    for (int32_t v : out)
      if (v < 1 || v > HRV_GRID_SIZE) __builtin_trap();  // a window that passed is on the grid
  }
  // The placement of the HRV crop from the prologue (no segments: the load ends after it), with
  // a view window and configured east column from the input as a hand-edited file would give.
  int32_t window[4] = {int32_t(in.U32()), int32_t(in.U32()), int32_t(in.U32()), int32_t(in.U32())};
  if (data[0] & 8) {
    window[0] = window[0] % 3712;
    window[1] = window[1] % 928;
    window[2] = 1 + int32_t(uint32_t(window[2]) % 200);
    window[3] = 1 + int32_t(uint32_t(window[3]) % 200);
  }
  int32_t east = int32_t(in.U32());
  LayerLoadMsg(seg.c_str(), window, true, &east);
  unlink(pro.c_str());
  return 0;
}
