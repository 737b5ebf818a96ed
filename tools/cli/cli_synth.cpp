// nubicorn-cli synth: writes repeat cycles of synthetic MSG HRIT files.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/cli/cli_fci.h"
#include "tools/cli/cli_image.h"
#include "tools/synth.h"
#include "tools/synthland.h"

namespace {

const char* USAGE =
    "usage: nubicorn-cli synth --out DIR --slot YYYYMMDDhhmm [--count N] [--seed S]\n"
    "                          [--clouds F] [--compress] [--strip] [--land builtin|SHORE.shp]\n"
    "                          [--satellite MSG1..MSG4[_RSS|_IODC]]\n"
    "  writes N consecutive repeat cycles (default 1) starting at the slot, every 15 minutes\n"
    "  of the full disk (default MSG3: all 8 segments of each channel, 24 of HRV), every 5 of\n"
    "  the rapid scan service (MSG3_RSS: segments 6 to 8, seen from 9.5 E) or every 15 of the\n"
    "  Indian Ocean service (MSG2_IODC: all segments, seen from 45.5 E); --strip writes only\n"
    "  the northern segments 7, 8 and HRV 19 to 24 (faster);\n"
    "  F is the cloud cover from 0 (clear sky) to 1 (default 0.5); --compress writes\n"
    "  lossless wavelet-compressed segments as disseminated; the land mask comes from the\n"
    "  GSHHS shorelines of python-cartopy-data when installed, else from built-in outlines;\n"
    "  --satellite MTG-I1 writes FCI FDHSI chunk files (--satellite MTG-I1 --help)\n";

bool ParseLong(const char* s, long lo, long hi, long* out) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(s, &end, 10);
  if (errno || end == s || *end || v < lo || v > hi) return false;
  *out = v;
  return true;
}

}  // namespace

int CliSynth(int argc, char** argv) {
  if (CliFciWanted(argc, argv)) return CliSynthFci(argc, argv);
  SynthOptions o;
  o.first_segment = 1;
  o.land_shore = SynthLandDefaultShore();
  o.land_lakes = SynthLandDefaultLakes();
  long count = 1;
  for (int i = 1; i < argc; i++) {
    const char* a = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "nubicorn-cli synth: %s needs a value\n", a);
        return nullptr;
      }
      return argv[++i];
    };
    if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
      std::fputs(USAGE, stdout);
      return 0;
    } else if (!std::strcmp(a, "--out")) {
      const char* v = value();
      if (!v) return 2;
      o.out = v;
    } else if (!std::strcmp(a, "--slot")) {
      const char* v = value();
      if (!v) return 2;
      o.slot = v;
    } else if (!std::strcmp(a, "--count")) {
      const char* v = value();
      if (!v || !ParseLong(v, 1, 96 * 31, &count)) {
        std::fprintf(stderr, "nubicorn-cli synth: --count wants a whole number from 1 to 2976\n");
        return 2;
      }
    } else if (!std::strcmp(a, "--seed")) {
      const char* v = value();
      long seed = 0;
      if (!v || !ParseLong(v, 0, 4294967295L, &seed)) {
        std::fprintf(stderr, "nubicorn-cli synth: --seed wants a whole number from 0 to 4294967295\n");
        return 2;
      }
      o.seed = uint32_t(seed);
    } else if (!std::strcmp(a, "--clouds")) {
      const char* v = value();
      char* end = nullptr;
      double f = v ? std::strtod(v, &end) : -1;
      if (!v || end == v || *end || !(f >= 0 && f <= 1)) {
        std::fprintf(stderr, "nubicorn-cli synth: --clouds wants a number from 0 to 1\n");
        return 2;
      }
      o.cloud_cover = f;
    } else if (!std::strcmp(a, "--satellite")) {
      const char* v = value();
      if (!v || !SatParse(v, &o.satellite) || o.satellite.service == SatService::Fci) {
        std::fprintf(stderr, "nubicorn-cli synth: --satellite wants MSG1 to MSG4, optionally with _RSS or _IODC\n");
        return 2;
      }
    } else if (!std::strcmp(a, "--compress")) {
      o.compress = true;
    } else if (!std::strcmp(a, "--strip")) {
      o.first_segment = 0;
    } else if (!std::strcmp(a, "--land")) {
      const char* v = value();
      if (!v) return 2;
      o.land_shore = std::strcmp(v, "builtin") ? v : "";
      o.land_lakes.clear();
    } else {
      std::fprintf(stderr, "nubicorn-cli synth: unknown argument '%s'\n%s", a, USAGE);
      return 2;
    }
  }
  if (o.out.empty() || o.slot.empty()) {
    std::fprintf(stderr, "nubicorn-cli synth: --out and --slot are required\n%s", USAGE);
    return 2;
  }
  auto make = [&o](const std::string& slot, std::string* err) {
    o.slot = slot;
    return SynthCycle(o, err);
  };
  return CliSynthCycles(o.slot, count, SatSlotMinutes(o.satellite), make);
}
