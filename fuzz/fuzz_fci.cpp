// The FCI chunk reader on arbitrary bytes: the file's meta data of every channel, a few rows of
// counts from any channel that has some, and the file-name parser on the same bytes.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <string>

#include "data/fci.h"
#include "fuzz/fuzz_support.h"

// netCDF 4.9 and HDF5 1.10 keep some of what they allocated when opening a damaged file fails;
// those leaks are theirs (every frame of the allocation lies in them), not the reader's.
extern "C" const char* __lsan_default_suppressions() { return "leak:libnetcdf.so\nleak:libhdf5_serial.so\n"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FciName n;
  if (FciParseName(std::string(reinterpret_cast<const char*>(data), size), &n) &&
      (n.chunk < 1 || (n.body && n.chunk > FCI_CHUNKS)))
    __builtin_trap();  // the parser promised a chunk number in range
  const std::string path = FuzzWrite("chunk.nc", data, size);
  if (path.empty()) return 0;
  for (int c = 0; c < FCI_CHANNEL_COUNT; c++) {
    FciChunkMeta meta;
    std::string err;
    if (!FciReadMeta(path.c_str(), c, &meta, &err)) continue;
    if (meta.first_row < 1 || meta.last_row < meta.first_row || meta.last_row > FciChannels[c].grid)
      __builtin_trap();  // rows the reader accepted must lie on the grid
    const int last = std::min(meta.last_row, meta.first_row + 3);
    cv::Mat rows(last - meta.first_row + 1, 64, CV_16UC1, cv::Scalar(FCI_NO_COUNT));
    if (FciReadRows(path.c_str(), c, meta.first_row, last, 100, 64, &rows, &meta, &err))
      for (int r = 0; r < rows.rows; r++)
        for (int k = 0; k < rows.cols; k++) (void)FciValue(meta.calib, c, rows.at<uint16_t>(r, k));
  }
  return 0;
}
