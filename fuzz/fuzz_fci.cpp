// The FCI chunk reader on arbitrary bytes: the file's meta data of every channel, a few rows of
// counts from any channel that has some, and the file-name parser on the same bytes.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <string>

#include "data/fci.h"

namespace {

// One scratch file per fuzzing process: the reader takes paths, as HDF5 does.
class Scratch {
 public:
  Scratch() {
    char tmpl[] = "/tmp/fuzz_fci-XXXXXX";
    const int fd = mkstemp(tmpl);
    if (fd >= 0) close(fd);
    path_ = tmpl;
  }
  ~Scratch() { unlink(path_.c_str()); }
  bool Write(const uint8_t* data, size_t size) const {
    FILE* f = std::fopen(path_.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
  }
  const char* path() const { return path_.c_str(); }

 private:
  std::string path_;
};

}  // namespace

// netCDF 4.9 and HDF5 1.10 keep some of what they allocated when opening a damaged file fails;
// those leaks are theirs (every frame of the allocation lies in them), not the reader's.
extern "C" const char* __lsan_default_suppressions() { return "leak:libnetcdf.so\nleak:libhdf5_serial.so\n"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FciName n;
  if (FciParseName(std::string(reinterpret_cast<const char*>(data), size), &n) &&
      (n.chunk < 1 || (n.body && n.chunk > FCI_CHUNKS)))
    __builtin_trap();  // the parser promised a chunk number in range
  static const Scratch scratch;
  if (!scratch.Write(data, size)) return 0;
  for (int c = 0; c < FCI_CHANNEL_COUNT; c++) {
    FciChunkMeta meta;
    std::string err;
    if (!FciReadMeta(scratch.path(), c, &meta, &err)) continue;
    if (meta.first_row < 1 || meta.last_row < meta.first_row || meta.last_row > FciChannels[c].grid)
      __builtin_trap();  // rows the reader accepted must lie on the grid
    const int last = std::min(meta.last_row, meta.first_row + 3);
    cv::Mat rows(last - meta.first_row + 1, 64, CV_16UC1, cv::Scalar(FCI_NO_COUNT));
    if (FciReadRows(scratch.path(), c, meta.first_row, last, 100, 64, &rows, &meta, &err))
      for (int r = 0; r < rows.rows; r++)
        for (int k = 0; k < rows.cols; k++) (void)FciValue(meta.calib, c, rows.at<uint16_t>(r, k));
  }
  return 0;
}
