// nubicorn-cli decode FILE -o|--out OUT.pgm: one segment's counts as a 16-bit PGM.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data/supl.h"
#include "data/xrit.h"
#include "tools/pgm.h"

namespace {
const char* const USAGE = "Usage: nubicorn-cli decode FILE -o|--out OUT.pgm\n";
}

int CliDecode(int argc, char** argv) {
  const char* file = nullptr;
  const char* out = nullptr;
  for (int i = 1; i < argc; i++) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      std::fputs(USAGE, stdout);
      return 0;
    }
    if (!std::strcmp(argv[i], "-o") || !std::strcmp(argv[i], "--out")) {
      if (i + 1 >= argc || out) {
        std::fputs(USAGE, stderr);
        return 2;
      }
      out = argv[++i];
    } else if (!file && argv[i][0] != '-') {
      file = argv[i];
    } else {
      std::fputs(USAGE, stderr);
      return 2;
    }
  }
  if (!file || !out) {
    std::fputs(USAGE, stderr);
    return 2;
  }
  const SuplBytes packed = XritSegmentRead(file);
  if (packed.empty()) {
    std::fprintf(stderr, "nubicorn-cli decode: %s: segment cannot be read\n", file);
    return 1;
  }
  // The reader guarantees a whole strip of its channel's width; the two widths' strips differ
  // in size, so the size tells the width.
  const int nc = packed.size() >= size_t(HRV_COLUMNS) * 580 ? HRV_COLUMNS : IR_COLUMNS;
  std::vector<uint16_t> counts(size_t(nc) * SEGMENT_LINES);
  SuplUnpack10Bit(packed.data(), counts.data(), nc);
  std::string err;
  if (!PgmWrite16(out, counts.data(), nc, SEGMENT_LINES, 1023, &err)) {
    std::fprintf(stderr, "nubicorn-cli decode: %s\n", err.c_str());
    return 1;
  }
  return 0;
}
