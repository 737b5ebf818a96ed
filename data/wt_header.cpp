// WT stream header, block geometry, lossy shifts and pixel packing.
#include <algorithm>
#include <cstring>

#include "data/wt_core.h"

int WtBlockSize(int block_mode) {
  static constexpr int sizes[4] = {16, 32, 64, 0};
  return block_mode >= 0 && block_mode < 4 ? sizes[block_mode] : 0;
}

bool WtParseHeader(std::span<const uint8_t> field, WtParams* params, std::string* err) {
  auto fail = [err](const char* why) {
    if (err) *err = why;
    return false;
  };
  if (field.size() < 14) return fail("WT field too short");
  if (field[0] != 0xFF || field[1] != 0x01) return fail("WT header marker missing");
  if (field[10] != 0xFF || field[11] != 0x02) return fail("WT data marker missing");
  uint64_t w = 0;
  for (int i = 2; i < 10; i++) w = (w << 8) | field[size_t(i)];
  WtParams p;
  p.bpp = int(w >> 60) & 15;
  p.width = int(w >> 44) & 0xFFFF;
  p.height = int(w >> 28) & 0xFFFF;
  p.levels = (int(w >> 26) & 3) + 3;
  p.predictor = int(w >> 24) & 3;
  p.block_mode = int(w >> 22) & 3;
  p.restart = int(w >> 6) & 0xFFFF;
  p.lossy = int(w >> 2) & 15;
  if (p.width == 0 || p.height == 0) return fail("WT image size is zero");
  *params = p;
  return true;
}

bool WtMakeLayout(const WtParams& p, WtLayout* lay, std::string* err) {
  const int s = WtBlockSize(p.block_mode);
  const int max_levels = s == 16 ? 4 : s == 32 ? 5 : 6;
  if (p.levels < 3 || p.levels > max_levels) {
    if (err) *err = "WT levels too many for the block size";
    return false;
  }
  if (p.width <= 0 || p.height <= 0) {
    if (err) *err = "WT image size is zero";
    return false;
  }
  WtLayout l;
  if (s == 0) {
    const int unit = 1 << p.levels;
    l.bw = (p.width + unit - 1) / unit * unit;
    l.bh = (p.height + unit - 1) / unit * unit;
    l.nbx = l.nby = l.nblocks = 1;
    l.restart = 0;  // no restart markers in whole-segment mode
  } else {
    l.bw = l.bh = s;
    l.nbx = (p.width + s - 1) / s;
    l.nby = (p.height + s - 1) / s;
    l.nblocks = l.nbx * l.nby;
    l.restart = p.restart;
  }
  *lay = l;
  return true;
}

WtQuadShift WtQuadrantShift(int lossy, int levels, int qi) {
  static constexpr int planes[16] = {0, 1, 2, 2, 2, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4};
  static constexpr int quads[16] = {0, 0, 0, 2, 3, 0, 2, 3, 5, 6, 0, 2, 3, 5, 6, 9};
  WtQuadShift r;
  if (lossy <= 0 || lossy > 15 || qi == 0) return r;
  const int p = planes[lossy], d = quads[lossy];
  const int q = 3 * levels - qi;        // quadrants counted from the finest HH
  const int t = (qi - 1) / 3;           // level step
  const bool hh = (qi - 1) % 3 == 2;
  const int e = levels - t - (hh ? 1 : 0);
  const int above = q > d ? 1 : 0;
  if (e < p) r.shift = p - e - above;
  if (p > e + 1 + above) r.mask = (1u << (p - e - 1 - above)) - 1;
  return r;
}

WtParams WtDefaultParams(const WtImage& img) {
  WtParams p;
  p.bpp = img.nb == 16 ? 0 : img.nb;
  p.width = img.nc;
  p.height = img.nl;
  p.levels = 4;
  p.predictor = 3;
  p.block_mode = 0;
  p.restart = (img.nc + 15) / 16;
  p.lossy = 0;
  return p;
}

std::vector<uint8_t> WtPack(const uint16_t* counts, size_t count, int nb) {
  std::vector<uint8_t> out((count * size_t(nb) + 7) / 8);
  if (nb == 10) {
    // Four pixels make five bytes.
    size_t g = 0, o = 0;
    // Eight-byte stores that overlap the next group while three bytes of room remain.
    for (; g + 4 <= count && o + 8 <= out.size(); g += 4, o += 5) {
      const uint64_t v = (uint64_t(counts[g] & 1023) << 54) | (uint64_t(counts[g + 1] & 1023) << 44) |
                         (uint64_t(counts[g + 2] & 1023) << 34) | (uint64_t(counts[g + 3] & 1023) << 24);
      uint8_t be[8];
      for (int i = 0; i < 8; i++) be[i] = uint8_t(v >> (56 - 8 * i));
      std::memcpy(out.data() + o, be, 8);
    }
    for (; g + 4 <= count; g += 4, o += 5) {
      const uint64_t v = (uint64_t(counts[g] & 1023) << 30) | (uint64_t(counts[g + 1] & 1023) << 20) |
                         (uint64_t(counts[g + 2] & 1023) << 10) | uint64_t(counts[g + 3] & 1023);
      out[o] = uint8_t(v >> 32);
      out[o + 1] = uint8_t(v >> 24);
      out[o + 2] = uint8_t(v >> 16);
      out[o + 3] = uint8_t(v >> 8);
      out[o + 4] = uint8_t(v);
    }
    counts += g;
    count -= g;
    out.resize(o + (count * 10 + 7) / 8);
    uint8_t* dst = out.data() + o;
    uint32_t acc = 0;
    int bits = 0;
    for (size_t i = 0; i < count; i++) {
      acc = (acc << 10) | (counts[i] & 1023u);
      bits += 10;
      while (bits >= 8) *dst++ = uint8_t(acc >> (bits -= 8));
    }
    if (bits) *dst = uint8_t(acc << (8 - bits));
    return out;
  }
  const uint32_t mask = nb >= 16 ? 0xFFFFu : (1u << nb) - 1;
  uint64_t acc = 0;
  int bits = 0;
  size_t o = 0;
  for (size_t i = 0; i < count; i++) {
    acc = (acc << nb) | (counts[i] & mask);
    bits += nb;
    while (bits >= 8) out[o++] = uint8_t(acc >> (bits -= 8));
  }
  if (bits) out[o] = uint8_t(acc << (8 - bits));
  return out;
}

std::vector<uint16_t> WtUnpack(std::span<const uint8_t> packed, size_t count, int nb) {
  std::vector<uint16_t> out(count);
  const uint32_t mask = nb >= 16 ? 0xFFFFu : (1u << nb) - 1;
  uint64_t acc = 0;
  int bits = 0;
  size_t in = 0;
  for (size_t i = 0; i < count; i++) {
    while (bits < nb) {
      acc = (acc << 8) | (in < packed.size() ? packed[in] : 0);
      in++;
      bits += 8;
    }
    out[i] = uint16_t((acc >> (bits - nb)) & mask);
    bits -= nb;
  }
  return out;
}
