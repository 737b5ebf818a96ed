// libFuzzer target of the WT decoder: arbitrary bytes as the data field of a small image.
// The first bytes choose the image size and depth, the thread count and, when asked, a
// well-formed stream header (whose depth may differ from the image's) in front of the rest,
// so the fuzzer also reaches the entropy decoder; a short input is a field cut short.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "data/wt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  WtImage img;
  // Mostly the 10 bits of SEVIRI; sometimes another depth, and a header that may disagree.
  img.nb = (data[2] & 4) ? 1 + data[2] % 16 : 10;
  img.nc = 1 + data[0] % 200;
  img.nl = 1 + data[1] % 100;
  const uint8_t flags = data[2];
  WtOptions opt;
  opt.threads = (flags & 2) ? 2 : 1;
  std::vector<uint8_t> field;
  if (flags & 1) {
    // Header from data[3..4]: levels, predictor, block mode, restart interval, lossy plane.
    const uint64_t levels = data[3] & 3, pred = (data[3] >> 2) & 3, mode = (data[3] >> 4) & 3;
    const uint64_t restart = data[4] % 20, lossy = (data[3] >> 6) & 3;
    const uint64_t bpp = (data[2] & 8) ? uint64_t(data[4] >> 4) : uint64_t(img.nb & 15);
    const uint64_t word = (bpp << 60) | (uint64_t(img.nc) << 44) | (uint64_t(img.nl) << 28) |
                          (levels << 26) | (pred << 24) | (mode << 22) | (restart << 6) | (lossy << 2);
    field = {0xFF, 0x01};
    for (int i = 7; i >= 0; i--) field.push_back(uint8_t(word >> (8 * i)));
    field.push_back(0xFF);
    field.push_back(0x02);
  }
  field.insert(field.end(), data + 5, data + size);
  WtResult res;
  std::string err;
  if (WtDecode(field, img, opt, &res, &err)) {
    if (res.packed.size() != (size_t(img.nc) * img.nl * size_t(img.nb) + 7) / 8) __builtin_trap();
    if (res.quality.size() != size_t(img.nl)) __builtin_trap();
  } else if (err.empty()) {
    __builtin_trap();
  }
  return 0;
}
