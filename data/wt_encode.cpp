// Lossless WT encoder: the exact mirror of the decoder, so a decoded segment encodes back to
// the same data field.
#include <algorithm>
#include <cstdlib>
#include <memory>

#include "data/wt_core.h"

namespace {

// Byte-stuffed output: a 00 follows every data byte FF, markers are written as they are.
struct WtBitSink {
  std::vector<uint8_t>* out;
  uint32_t acc = 0;
  int nbits = 0;

  void Bit(uint32_t b) {
    acc = (acc << 1) | b;
    if (++nbits == 8) {
      out->push_back(uint8_t(acc));
      if (uint8_t(acc) == 0xFF) out->push_back(0);
      acc = 0;
      nbits = 0;
    }
  }
  void PadOnes() {
    while (nbits) Bit(1);
  }
  void Marker(uint8_t code) {
    out->push_back(0xFF);
    out->push_back(code);
  }
};

struct WtCoder {
  WtBitSink sink;
  uint32_t low = 0, range = WT_TOP;
  uint32_t pending = 0;

  void Start() {
    low = 0;
    range = WT_TOP;
    pending = 0;
  }
  void Out(uint32_t b) {
    sink.Bit(b);
    for (; pending; pending--) sink.Bit(b ^ 1);
  }
  void Renorm() {
    while (range <= WT_QUARTER) {
      if (low >= WT_HALF) {
        Out(1);
        low -= WT_HALF;
      } else if (low + range <= WT_HALF) {
        Out(0);
      } else {
        pending++;
        low -= WT_QUARTER;
      }
      low <<= 1;
      range <<= 1;
    }
  }
  void Raw(uint32_t v, int n) {
    range >>= n;
    low += v * range;
    Renorm();
  }
  void Symbol(WtModel* m, int symbol) {
    const int i = m->pos[symbol];
    const uint32_t r = range / m->c[0];
    low += m->c[i] * r;
    if (i == 1)
      range -= m->c[1] * r;
    else
      range = m->f[i] * r;
    WtModelUpdate<true>(m, i);
    Renorm();
  }
  void Value(int32_t v, int m) {
    if (m == 1) {
      Raw(v > 0 ? 1 : 0, 1);
    } else if (m >= 2) {
      const uint32_t u = v > 0 ? uint32_t(v) : uint32_t(v + int32_t((1u << m) - 1));
      Raw(u, m);
    }
  }
  // Flushes the 31 bits of low and pads to a byte with 1-bits.
  void Finish() {
    for (int b = 30; b >= 0; b--) Out((low >> b) & 1);
    sink.PadOnes();
  }
};

int QuadrantBits(const int32_t* a, int ld, int w, int h) {
  int32_t big = 0;
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) big = std::max(big, std::abs(a[size_t(y) * ld + x]));
  return WtCsize(big);
}

// Codes the values of one quadrant in serpentine order; the DC quadrant codes differences
// from the previous value.
void EncodeQuadrant(WtCoder& ec, WtModel* set, int ctx, bool dc, int n, const int32_t* a, int ld,
                    int w, int h) {
  int32_t p = dc ? int32_t(1) << (n - 1) : 0;
  for (int y = 0; y < h; y++) {
    const int32_t* row = a + size_t(y) * ld;
    for (int i = 0; i < w; i++) {
      const int x = (y & 1) ? w - 1 - i : i;
      const int32_t v = dc ? row[x] - p : row[x];
      if (dc) p = row[x];
      const int m = WtCsize(v);
      ec.Symbol(&set[ctx], m);
      ec.Value(v, m);
      ctx = (ctx + m) >> 1;
    }
  }
}

void EncodeBlock(WtCoder& ec, WtModelSets& models, const int32_t* a, int bw, int bh, int levels) {
  const int big = QuadrantBits(a, bw, bw, bh);
  ec.Raw(uint32_t(big), 5);
  if (big == 0) return;
  const int kbits = WtCsize(big);
  const int w0 = bw >> levels, h0 = bh >> levels;
  const int n = QuadrantBits(a, bw, w0, h0);
  ec.Raw(uint32_t(n), kbits);
  if (n) EncodeQuadrant(ec, models.Set(n), n + 1, true, n, a, bw, w0, h0);
  for (int t = 0; t < levels; t++) {
    const int w = w0 << t, h = h0 << t;
    const int xs[3] = {w, 0, w}, ys[3] = {0, h, h};
    for (int k = 0; k < 3; k++) {
      const int32_t* q = a + size_t(ys[k]) * bw + xs[k];
      const int nq = QuadrantBits(q, bw, w, h);
      ec.Raw(uint32_t(nq), kbits);
      if (nq) EncodeQuadrant(ec, models.Set(nq - 1), nq, false, nq, q, bw, w, h);
    }
  }
}

// Copies block (bx, by) of the image into a, repeating the last real column and row into the
// padding.
void LoadBlock(const uint16_t* counts, const WtImage& img, int bx, int by, int bw, int bh, int32_t* a) {
  const int rw = std::min(bw, img.nc - bx), rh = std::min(bh, img.nl - by);
  for (int y = 0; y < bh; y++) {
    const uint16_t* src = counts + size_t(by + std::min(y, rh - 1)) * img.nc + bx;
    int32_t* dst = a + size_t(y) * bw;
    for (int x = 0; x < bw; x++) dst[x] = src[std::min(x, rw - 1)];
  }
}

}  // namespace

bool WtEncode(const uint16_t* counts, const WtImage& img, const WtParams& params,
              std::vector<uint8_t>* field) {
  if (!counts || !field || img.nc <= 0 || img.nl <= 0 || img.nc > 0xFFFF || img.nl > 0xFFFF) return false;
  if (img.nb < 1 || img.nb > 16 || params.lossy != 0) return false;
  if (params.predictor < 0 || params.predictor > 3 || params.block_mode < 0 || params.block_mode > 3)
    return false;
  if (params.restart < 0 || params.restart > 0xFFFF) return false;
  WtParams p = params;
  p.width = img.nc;
  p.height = img.nl;
  p.bpp = img.nb == 16 ? 0 : img.nb;
  WtLayout lay;
  if (!WtMakeLayout(p, &lay, nullptr)) return false;
  const uint32_t top = img.nb >= 16 ? 0xFFFFu : (1u << img.nb) - 1;
  for (size_t i = 0, n = size_t(img.nc) * img.nl; i < n; i++)
    if (counts[i] > top) return false;

  std::vector<uint8_t> out;
  out.reserve(size_t(img.nc) * img.nl * size_t(img.nb) / 8 / 2 + 64);
  const uint64_t word = (uint64_t(p.bpp) << 60) | (uint64_t(p.width) << 44) | (uint64_t(p.height) << 28) |
                        (uint64_t(p.levels - 3) << 26) | (uint64_t(p.predictor) << 24) |
                        (uint64_t(p.block_mode) << 22) | (uint64_t(p.restart) << 6);
  out.push_back(0xFF);
  out.push_back(0x01);
  for (int i = 7; i >= 0; i--) out.push_back(uint8_t(word >> (8 * i)));
  out.push_back(0xFF);
  out.push_back(0x02);

  WtCoder ec;
  ec.sink.out = &out;
  auto models = std::make_unique<WtModelSets>();
  std::vector<int32_t> a(size_t(lay.bw) * lay.bh);
  std::vector<int32_t> tmp(size_t(2 * std::max(lay.bw, lay.bh)));
  int marker = 0;
  bool open = false;
  for (int b = 0; b < lay.nblocks; b++) {
    if (!open) {
      models->Reset();
      ec.Start();
      open = true;
    }
    LoadBlock(counts, img, (b % lay.nbx) * lay.bw, (b / lay.nbx) * lay.bh, lay.bw, lay.bh, a.data());
    WtForward(a.data(), lay.bw, lay.bw, lay.bh, p.levels, p.predictor, tmp.data());
    EncodeBlock(ec, *models, a.data(), lay.bw, lay.bh, p.levels);
    if (lay.restart > 0 && (b + 1) % lay.restart == 0) {
      ec.Finish();
      ec.sink.Marker(uint8_t(0xE0 + (marker++ & 15)));
      open = false;
    }
  }
  if (open) ec.Finish();
  ec.sink.Marker(0x03);
  *field = std::move(out);
  return true;
}
