// nubicorn-cli prologue FILE: the HRV upper window of a prologue file, as JSON.
#include <cstdio>
#include <cstring>
#include <memory>

#include "data/prologue.h"

namespace {
const char* const USAGE = "Usage: nubicorn-cli prologue FILE\n";
struct Closer {
  void operator()(FILE* f) const { std::fclose(f); }
};
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
  std::unique_ptr<FILE, Closer> f(std::fopen(argv[1], "rb"));
  if (!f) {
    std::fprintf(stderr, "nubicorn-cli prologue: %s: cannot open\n", argv[1]);
    return 1;
  }
  Prologue rec;
  if (PrologueRead(f.get(), &rec) != 0) {
    std::fprintf(stderr, "nubicorn-cli prologue: %s: not a complete prologue\n", argv[1]);
    return 1;
  }
  std::printf("{\"upper_west_column\": %d, \"upper_north_line\": %d, \"upper_east_column\": %d, "
              "\"upper_south_line\": %d}\n",
              rec.coverage_hrv[7], rec.coverage_hrv[5], rec.coverage_hrv[6], rec.coverage_hrv[4]);
  return 0;
}
