// Building FCI chunk files whose counts are known by construction, for the reader's tests.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "data/fci.h"
#include "tools/synthfci.h"

namespace fcitest {

inline constexpr const char* SLOT = "202501011200";
inline constexpr int64_t SLOT_TIME = 1735732800;  // 2025-01-01 12:00 UTC

// A count for every (row from the south, column from the west) of a channel: distinct along
// both axes, inside the 12-bit range, never the fill value.
inline uint16_t Pattern(int channel, int row, int col) {
  return uint16_t((row * 7 + col * 3 + channel * 101) % 4000 + 50);
}

inline std::string ChunkName(int chunk, bool jls, int64_t created_offset = 0) {
  FciName n;
  n.jls = jls;
  n.chunk = chunk;
  n.body = true;
  n.start = SLOT_TIME + 7 + (chunk - 1) * 14;
  n.end = n.start + 10;
  n.created = n.end + 180 + created_offset;
  n.cycle = 72;
  return FciMakeName(n);
}

// Writes BODY chunk `chunk` of the channels into dir with counts from `count` (row, column),
// its rows `shift` away from the nominal ones, made `created_offset` seconds late; returns
// its path.
inline std::string WriteChunk(const std::string& dir, int chunk, const std::vector<int>& channels, bool jls,
                              const std::function<uint16_t(int, int, int)>& count = Pattern, int shift = 0,
                              int64_t created_offset = 0) {
  SynthFciBody body;
  for (int c : channels) {
    SynthFciBand b;
    b.channel = c;
    FciChunkRows(FciChannels[c].grid, chunk, &b.first_row, &b.last_row);
    b.first_row += shift, b.last_row += shift;
    b.counts.create(b.last_row - b.first_row + 1, FciChannels[c].grid, CV_16UC1);
    for (int r = 0; r < b.counts.rows; r++) {
      uint16_t* p = b.counts.ptr<uint16_t>(r);
      for (int col = 0; col < b.counts.cols; col++) p[col] = count(c, b.first_row + r, col);
    }
    body.bands.push_back(std::move(b));
  }
  const std::string path = dir + "/" + ChunkName(chunk, jls, created_offset);
  std::string err;
  EXPECT_TRUE(SynthFciWriteBody(path, body, jls, &err)) << err;
  return path;
}

}  // namespace fcitest
