// Number and window arguments of the image subcommands and the synth command's loop of cycles;
// also built into the FCI module.
#include <glib.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "tools/cli/cli_image.h"
#include "tools/synth.h"

bool CliParseInt(const char* text, int* out) {
  if (!text || !*text) return false;
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text, &end, 10);
  if (*end || errno || v < INT32_MIN || v > INT32_MAX) return false;
  *out = int(v);
  return true;
}

bool CliParseRect(const char* text, int32_t r[4]) {
  if (!text) return false;
  gchar** parts = g_strsplit(text, ",", -1);
  bool ok = g_strv_length(parts) == 4;
  for (int i = 0; ok && i < 4; i++) {
    int v = 0;
    ok = CliParseInt(g_strstrip(parts[i]), &v);
    r[i] = v;
  }
  g_strfreev(parts);
  return ok;
}

int CliSynthCycles(const std::string& first, long count, int step,
                   const std::function<bool(const std::string& slot, std::string* err)>& make) {
  int64_t t0 = 0;
  std::string err;
  if (!SynthParseSlot(first, &t0, &err, step)) {
    std::fprintf(stderr, "nubicorn-cli synth: %s\n", err.c_str());
    return 2;
  }
  for (long k = 0; k < count; k++) {
    const std::string slot = SynthSlotText(t0 + 60 * step * k);
    if (!make(slot, &err)) {
      std::fprintf(stderr, "nubicorn-cli synth: %s\n", err.c_str());
      return 1;
    }
    std::printf("%s\n", slot.c_str());
  }
  return 0;
}
