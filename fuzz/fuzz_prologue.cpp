// Prologue reader on arbitrary bytes through an in-memory FILE.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "data/prologue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;  // fmemopen refuses an empty buffer
  FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!f) return 0;
  Prologue rec;
  const int r = PrologueRead(f, &rec);
  std::fclose(f);
  if (r != 0 && r != 3) __builtin_trap();
  return 0;
}
