// nubicorn-cli prologue FILE: the HRV upper window of a prologue file, as JSON.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data/prologue.h"
#include "data/suplfile.h"

namespace {
const char* const USAGE = "Usage: nubicorn-cli prologue FILE\n";
}  // namespace

int CliPrologue(int argc, char** argv) {
  if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
    std::fputs(USAGE, stdout);
    return 0;
  }
  if (argc != 2 || argv[1][0] == '-') {
    std::fputs(USAGE, stderr);
    return 2;
  }
  std::vector<uint8_t> bytes;
  std::string why;
  if (!SuplFileRead(argv[1], SUPL_XRIT_MAX_FILE, &bytes, &why)) {
    std::fprintf(stderr, "nubicorn-cli prologue: %s: %s\n", argv[1], why.c_str());
    return 1;
  }
  Prologue rec;
  if (PrologueParse(bytes, &rec) != 0) {
    std::fprintf(stderr, "nubicorn-cli prologue: %s: not a complete prologue\n", argv[1]);
    return 1;
  }
  std::printf("{\"upper_west_column\": %d, \"upper_north_line\": %d, \"upper_east_column\": %d, "
              "\"upper_south_line\": %d}\n",
              rec.coverage_hrv[7], rec.coverage_hrv[5], rec.coverage_hrv[6], rec.coverage_hrv[4]);
  return 0;
}
