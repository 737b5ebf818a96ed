// Number and window arguments of the image subcommands; also built into the FCI module.
#include <glib.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "tools/cli/cli_image.h"

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
