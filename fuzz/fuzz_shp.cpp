// Shapefile reading on arbitrary bytes: the input is split into the .shp, .shx and .dbf files
// (two little-endian 32-bit lengths, then the three contents), read for two views.
#include <cstddef>
#include <cstdint>
#include <string>

#include "contours/cntrs.h"
#include "fuzz/fuzz_support.h"

namespace {

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzQuiet();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  size_t rest = size - 8;
  const size_t shp_len = Le32(data) % (rest + 1);
  rest -= shp_len;
  const size_t shx_len = Le32(data + 4) % (rest + 1);
  const uint8_t* shp = data + 8;
  const uint8_t* shx = shp + shp_len;
  const uint8_t* dbf = shx + shx_len;
  const size_t dbf_len = size - 8 - shp_len - shx_len;
  if (FuzzWrite("in.shx", shx, shx_len).empty() || FuzzWrite("in.dbf", dbf, dbf_len).empty()) return 0;
  const std::string shp_path = FuzzWrite("in.shp", shp, shp_len);
  if (shp_path.empty()) return 0;
  for (CntrsView v : {CntrsView{0, 0, 3712, 3712}, CntrsView{2710, 464, 92, 60}}) {
    CntrsShapes out;
    if (CntrsReadShapes(shp_path, 0, v, 0, &out)) {
      // Every kept vertex lies inside the view, and labels match the lines.
      for (size_t i = 0; i < out.pieces.xy.size(); i += 2)
        if (!(out.pieces.xy[i] >= 0 && out.pieces.xy[i] <= v.width && out.pieces.xy[i + 1] >= 0 &&
              out.pieces.xy[i + 1] <= v.height))
          __builtin_trap();
      if (out.has_labels && out.labels.size() != out.pieces.lines()) __builtin_trap();
    }
  }
  CntrsFieldList(shp_path);
  return 0;
}
