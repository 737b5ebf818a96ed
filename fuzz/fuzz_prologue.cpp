// libFuzzer target of the prologue reader and of the HRV placement it feeds. The first byte
// chooses the mode: arbitrary bytes as a whole prologue file (header checks, truncation), or a
// complete prologue whose HRV window fields, total header length and the view window and
// configured east column come from the input, written beside an HRV segment name and loaded
// through LayerLoadMsg, so values that would overflow the placement arithmetic are reached.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "data/layer.h"
#include "data/prologue.h"
#include "fuzz/fuzz_support.h"
#include "tools/xritwrite.h"

namespace {

const char* const SEGMENT = "H-000-MSG3__-MSG3________-HRV______-000019___-201607041200-C_";
const char* const PROLOGUE = "H-000-MSG3__-MSG3________-_________-PRO______-201607041200-__";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzQuiet();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (!(data[0] & 1)) {
    Prologue rec;
    const int r = PrologueParse(std::span<const uint8_t>(data + 1, size - 1), &rec);
    if (r != 0 && r != 3) __builtin_trap();
    if (r == 0) PrologueCheckWindow(rec);
    return 0;
  }
  FuzzReader in{data + 1, size - 1};
  // Primary header, annotation of length 64, then the data field at the total header length.
  const uint32_t header = uint32_t((data[0] & 2) ? 16 + 64 + (in.Take(4) & 0xFFF) : 16 + 64);
  Bytes file(size_t(header) + size_t(PROLOGUE_DATA_SIZE), 0);
  file[2] = 16;
  file[3] = 128;
  XritSetU32(&file, 4, header);
  file[16] = 4;
  file[17] = 0;
  file[18] = 64;
  for (int i = 0; i < 8; i++) XritSetU32(&file, header + 386947 + 4 * size_t(i), uint32_t(in.Take(4)));
  // Cut anywhere, sometimes.
  if (data[0] & 4) file.resize(in.Take(4) % file.size());

  const std::string pro = FuzzWrite(PROLOGUE, file.data(), file.size());
  if (pro.empty()) return 0;
  const std::string seg = FuzzDir() + "/" + SEGMENT;
  int32_t out[4] = {};
  if (LayerPrologueWindow(seg.c_str(), out)) {
    for (int32_t v : out)
      if (v < 1 || v > HRV_GRID_SIZE) __builtin_trap();  // a window that passed is on the grid
  }
  // The placement of the HRV crop from the prologue (no segments: the load ends after it), with
  // a view window and configured east column from the input as a hand-edited file would give.
  int32_t window[4];
  for (int32_t& v : window) v = int32_t(in.Take(4));
  if (data[0] & 8) {
    window[0] = window[0] % 3712;
    window[1] = window[1] % 928;
    window[2] = 1 + int32_t(uint32_t(window[2]) % 200);
    window[3] = 1 + int32_t(uint32_t(window[3]) % 200);
  }
  int32_t east = int32_t(in.Take(4));
  LayerLoadMsg(seg.c_str(), window, true, &east);
  unlink(pro.c_str());
  return 0;
}
