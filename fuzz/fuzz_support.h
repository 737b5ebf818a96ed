// What the fuzz targets share: a silent log, a private folder per fuzzing process for the
// files the readers take by path, and the input read as big-endian numbers.
#pragma once

#include <glib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Damaged input logs a warning per file; keeps the fuzzer's output readable.
inline void FuzzQuiet() {
  g_log_set_default_handler([](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
}

// The process's folder, made on first use; empty when it cannot be made.
inline const std::string& FuzzDir() {
  static const std::string dir = [] {
    gchar* d = g_dir_make_tmp("nubicorn-fuzz-XXXXXX", nullptr);
    std::string s = d ? d : "";
    g_free(d);
    return s;
  }();
  return dir;
}

// Writes the bytes as the file `name` of the folder; its path, or empty when it cannot.
inline std::string FuzzWrite(const std::string& name, const uint8_t* data, size_t size) {
  if (FuzzDir().empty()) return {};
  const std::string path = FuzzDir() + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return {};
  const bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok ? path : std::string();
}

// The input as big-endian numbers of 1 to 8 bytes, zero past its end.
struct FuzzReader {
  const uint8_t* p;
  size_t n, at = 0;
  uint64_t Take(int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; i++) v = v << 8 | (at < n ? p[at++] : 0);
    return v;
  }
};
