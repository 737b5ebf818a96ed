#include "tools/pgm.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

bool PgmWrite16(const std::string& path, const uint16_t* samples, int width, int height,
                int maxval, std::string* err) {
  std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!f) {
    if (err) *err = path + ": " + std::strerror(errno);
    return false;
  }
  std::fprintf(f.get(), "P5\n%d %d\n%d\n", width, height, maxval);
  std::vector<unsigned char> row(size_t(width) * 2);
  for (int y = 0; y < height; y++) {
    const uint16_t* s = samples + size_t(y) * width;
    for (int x = 0; x < width; x++) {
      row[2 * x] = static_cast<unsigned char>(s[x] >> 8);
      row[2 * x + 1] = static_cast<unsigned char>(s[x] & 0xFF);
    }
    if (std::fwrite(row.data(), 1, row.size(), f.get()) != row.size()) {
      if (err) *err = path + ": write failed";
      return false;
    }
  }
  if (std::fflush(f.get()) != 0) {
    if (err) *err = path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}
