#include "tools/pgm.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "data/suplsave.h"

bool PgmEncode16(SuplSave* out, const uint16_t* samples, int width, int height, int maxval) {
  char head[64];
  const int n = std::snprintf(head, sizeof head, "P5\n%d %d\n%d\n", width, height, maxval);
  out->Write(head, size_t(n));
  // Rows are gathered into blocks of about 256 kB: a few large writes instead of one per row.
  const size_t row_bytes = std::max<size_t>(1, size_t(width) * 2);
  const int rows_per_block = int(std::max<size_t>(1, (size_t(1) << 18) / row_bytes));
  std::vector<unsigned char> block;
  for (int y0 = 0; y0 < height && out->ok(); y0 += rows_per_block) {
    const int y1 = std::min(height, y0 + rows_per_block);
    block.resize(size_t(width) * 2 * size_t(y1 - y0));
    unsigned char* d = block.data();
    for (int y = y0; y < y1; y++) {
      const uint16_t* s = samples + size_t(y) * width;
      for (int x = 0; x < width; x++) {
        *d++ = static_cast<unsigned char>(s[x] >> 8);
        *d++ = static_cast<unsigned char>(s[x] & 0xFF);
      }
    }
    out->Write(block.data(), block.size());
  }
  return out->ok();
}

bool PgmWrite16(const std::string& path, const uint16_t* samples, int width, int height,
                int maxval, std::string* err) {
  SuplSave out(path, SuplPublish::Replace);
  if (PgmEncode16(&out, samples, width, height, maxval) && out.Publish()) return true;
  if (err) *err = out.error();
  return false;
}
