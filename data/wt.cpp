// Native decoder of WT-compressed HRIT data fields: coefficient decoding, recovery from damaged
// runs, and runs decoded in parallel (the range decoder is in wt_range.h).
#include "data/wt.h"

#include <algorithm>
#include <bit>
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

#include "data/wt_core.h"
#include "data/wt_range.h"

namespace {

constexpr int64_t MAX_PIXELS = int64_t(1) << 24;  // far above any HRIT segment (5568 x 464)

struct WtJob {
  std::span<const uint8_t> field;
  WtParams p;
  WtLayout lay;
  int nc = 0, nl = 0, nb = 10;
  uint16_t* counts = nullptr;
};

// What one worker needs: coder, models, one coefficient block and a line buffer.
struct WtWorker {
  WtRange rc;
  std::unique_ptr<WtModelSets> models = std::make_unique<WtModelSets>();
  std::vector<int32_t> coef;
  std::vector<int32_t> tmp;

  explicit WtWorker(const WtJob& job) {
    rc.bits.data = job.field.data();
    rc.bits.size = job.field.size();
    coef.resize(size_t(job.lay.bw) * size_t(job.lay.bh));
    tmp.resize(2 * coef.size());
  }
};

// Decodes the coefficients of one quadrant (w x h at x0, y0) in serpentine order.
// Returns false for a corrupt class.
template <bool dc, bool lossy>
bool DecodeQuadrant(WtRange& rc, WtModel* set, int ctx, int n, int shift, uint32_t mask,
                    int32_t* a, int ld, int w, int h) {
  // The coder state the loop touches lives in locals, so that it stays in registers; the bit
  // source is only consulted to refill, out of line.
  WtBits& bits = rc.bits;
  uint64_t buf = bits.buf;
  int cnt = bits.cnt, zeros = bits.zeros;
  uint32_t r = rc.r, v = rc.v;
  bool blind = rc.blind;
  auto renorm = [&] {
    const int k = std::max(std::countl_zero(r - 1) - 2, 0);
    r <<= k;
    if (cnt < k) [[unlikely]] {
      bits.buf = buf;
      bits.cnt = cnt;
      bits.Refill();
      buf = bits.buf;
      cnt = bits.cnt;
      zeros = bits.zeros;
      if (cnt < k) {  // a marker ahead: zeros stand in, nothing is consumed
        bits.marker_hit = true;
        v <<= k;
        return;
      }
    }
    v = (v << k) | uint32_t((buf >> (63 - k)) >> 1);
    buf <<= k;
    cnt -= k;
  };
  uint32_t p = dc ? 1u << (n - 1) : 0;
  // One value into *cell; false for a class the stream cannot hold (DC class 30).
  auto one = [&](int32_t* cell) {
    blind = cnt < zeros;
    WtModel* md = set + ctx;
    const uint32_t q = WtDivTotal(r, md->c[0]);
    int i = 1;
    while (md->c[i] * q > v) i++;
    v -= md->c[i] * q;
    if (i == 1)
      r -= md->c[1] * q;
    else
      r = md->f[i] * q;
    const int m = md->sym[i];
    WtModelUpdate<false>(md, i);
    renorm();
    ctx = (ctx + m) >> 1;
    if constexpr (dc) {
      if (m > 29) return false;  // AC classes never exceed n <= 29
    }
    int32_t val = 0;
    if (m) {  // zeros are common enough to be worth the branch
      // Class 1 is the sign bit, otherwise a clear top bit means negative.
      blind = cnt < zeros;
      r >>= m;
      const uint32_t u = v / r;
      v -= u * r;
      renorm();
      const uint32_t neg = ((u >> (m - 1)) & 1) - 1;
      val = int32_t(u - (neg & ((1u << m) - 1)));
    }
    if constexpr (dc) {
      p += uint32_t(val);
      *cell = int32_t(p);
    } else if constexpr (lossy) {
      if (val) {
        const uint32_t mag = (uint32_t(val < 0 ? -val : val) << shift) | mask;
        val = val < 0 ? -int32_t(mag) : int32_t(mag);
      }
      *cell = val;
    } else {
      *cell = val;
    }
    return true;
  };
  bool ok = true;
  for (int y = 0; y < h && ok; y++) {
    int32_t* row = a + size_t(y) * ld;
    if (y & 1) {
      for (int x = w - 1; x >= 0 && ok; x--) ok = one(row + x);
    } else {
      for (int x = 0; x < w && ok; x++) ok = one(row + x);
    }
  }
  bits.buf = buf;
  bits.cnt = cnt;
  rc.r = r;
  rc.v = v;
  rc.blind = blind;
  return ok;
}

void ZeroRegion(int32_t* a, int ld, int w, int h) {
  for (int y = 0; y < h; y++) std::memset(a + size_t(y) * ld, 0, size_t(w) * sizeof(int32_t));
}

// Decodes block b into the counts image. False when the block is corrupt (nothing written).
bool DecodeBlock(const WtJob& job, WtWorker& wk, int b) {
  WtRange& rc = wk.rc;
  // A block whose first bits lie beyond the field (a truncated file) can only decode to
  // zero-bit garbage: it is lost, not good.
  if (rc.bits.PastEnd()) return false;
  const int bw = job.lay.bw, bh = job.lay.bh, levels = job.p.levels;
  int32_t* a = wk.coef.data();
  const uint32_t big = rc.Raw(5);
  if (big > 29) return false;
  const int bx = (b % job.lay.nbx) * bw, by = (b / job.lay.nbx) * bh;
  const int rw = std::min(bw, job.nc - bx), rh = std::min(bh, job.nl - by);
  if (big == 0) {
    if (rc.bits.marker_hit) return false;
    for (int y = 0; y < rh; y++)
      std::memset(job.counts + size_t(by + y) * job.nc + bx, 0, size_t(rw) * sizeof(uint16_t));
    return true;
  }
  const int kbits = WtCsize(big);
  const int w0 = bw >> levels, h0 = bh >> levels;
  // DC quadrant.
  {
    const int n = int(rc.Raw(kbits));
    if (n > int(big)) return false;
    if (n == 0) {
      ZeroRegion(a, bw, w0, h0);
    } else if (!DecodeQuadrant<true, false>(rc, wk.models->Set(n), n + 1, n, 0, 0, a, bw, w0, h0)) {
      return false;
    }
  }
  // A constant low band under all-zero high bands stays constant through the inverse steps,
  // so the transform starts at the first level step that has something coded.
  int first_coded = levels;
  int qi = 1;
  for (int t = 0; t < levels; t++) {
    const int w = w0 << t, h = h0 << t;
    const int xs[3] = {w, 0, w}, ys[3] = {0, h, h};
    for (int k = 0; k < 3; k++, qi++) {
      int32_t* q = a + size_t(ys[k]) * bw + xs[k];
      const int n = int(rc.Raw(kbits));
      if (n > int(big)) return false;
      const WtQuadShift sh = job.p.lossy ? WtQuadrantShift(job.p.lossy, levels, qi) : WtQuadShift{};
      if (n <= sh.shift) {
        ZeroRegion(q, bw, w, h);
        continue;
      }
      first_coded = std::min(first_coded, t);
      const int ns = n - sh.shift;
      const bool ok = sh.shift || sh.mask
                          ? DecodeQuadrant<false, true>(rc, wk.models->Set(ns - 1), ns, ns, sh.shift,
                                                        sh.mask, q, bw, w, h)
                          : DecodeQuadrant<false, false>(rc, wk.models->Set(ns - 1), ns, ns, 0, 0, q,
                                                         bw, w, h);
      if (!ok) return false;
    }
  }
  if (rc.bits.marker_hit || rc.blind) return false;
  const int32_t top = (1 << job.nb) - 1;
  const int32_t dc = a[0];
  bool flat = true;
  for (int y = 0; y < h0 && flat; y++)
    for (int x = 0; x < w0; x++) flat = flat && a[size_t(y) * bw + x] == dc;
  int skip = 0;
  if (flat) {
    skip = first_coded;
    if (skip == levels) {
      const uint16_t v = uint16_t(std::clamp(dc, 0, top));
      for (int y = 0; y < rh; y++) std::fill_n(job.counts + size_t(by + y) * job.nc + bx, rw, v);
      return true;
    }
    const int lw = w0 << skip, lh = h0 << skip;
    for (int y = 0; y < lh; y++) std::fill_n(a + size_t(y) * bw, lw, dc);
  }
  WtInverse(a, bw, bw, bh, levels - skip, job.p.predictor, wk.tmp.data());
  for (int y = 0; y < rh; y++) {
    const int32_t* src = a + size_t(y) * bw;
    uint16_t* dst = job.counts + size_t(by + y) * job.nc + bx;
    for (int x = 0; x < rw; x++) dst[x] = uint16_t(std::clamp(src[x], 0, top));
  }
  return true;
}

struct RunEnd {
  int corrupt = -1;       // first corrupt block, -1 when every block decoded
  bool aligned = false;   // read position ended on a byte boundary with nothing left over
  size_t pos = 0;         // stored position where the next marker is expected / search starts
};

// Decodes blocks [b0, b1) as one coder run starting at stored byte `start`.
RunEnd DecodeRun(const WtJob& job, WtWorker& wk, size_t start, int b0, int b1) {
  wk.models->Reset();
  wk.rc.Start(start);
  RunEnd end;
  for (int b = b0; b < b1; b++) {
    if (!DecodeBlock(job, wk, b)) {
      end.corrupt = b;
      wk.rc.bits.Align();
      end.pos = wk.rc.bits.StoredPos();
      return end;
    }
  }
  end.aligned = wk.rc.bits.Align();
  end.pos = wk.rc.bits.StoredPos();
  return end;
}

enum class Mark { restart, footer, none };
struct Found {
  Mark kind = Mark::none;
  int number = 0;   // restart number 0..15
  size_t at = 0;    // stored position of the FF
};

// Next restart marker or footer at or after stored position `from`.
Found SearchMarker(std::span<const uint8_t> d, size_t from) {
  Found f;
  for (size_t i = from; i + 1 < d.size(); i++) {
    if (d[i] != 0xFF) continue;
    const uint8_t m = d[i + 1];
    if (m >= 0xE0 && m <= 0xEF) return {Mark::restart, m - 0xE0, i};
    if (m == 0x03) return {Mark::footer, 0, i};
    if (m == 0x00) i++;  // stuffed data byte
  }
  return f;
}

bool MarkerAt(std::span<const uint8_t> d, size_t at, uint8_t code) {
  return at + 1 < d.size() && d[at] == 0xFF && d[at + 1] == code;
}

// The reference order of decoding with recovery. good[b] = 1 for decoded blocks.
// Returns whether the footer was found where expected.
bool DecodeSequential(const WtJob& job, std::vector<uint8_t>& good) {
  WtWorker wk(job);
  const int nblocks = job.lay.nblocks, rst = job.lay.restart;
  size_t pos = 12;
  int k = 0;  // number of the restart marker expected next
  int b = 0;
  while (b < nblocks) {
    const int last = rst > 0 ? std::min(b + rst, nblocks) : nblocks;
    const RunEnd e = DecodeRun(job, wk, pos, b, last);
    const int done = e.corrupt >= 0 ? e.corrupt : last;
    std::fill(good.begin() + b, good.begin() + done, 1);
    const bool marker_due = rst > 0 && e.corrupt < 0 && last % rst == 0;
    if (e.corrupt < 0 && !marker_due) {  // final run, footer follows
      return e.aligned && MarkerAt(job.field, e.pos, 0x03);
    }
    // A restart marker right where a cleanly decoded run ends is the one expected, even with
    // another number: a damaged number byte must not throw away the runs that follow.
    if (marker_due && e.aligned && e.pos + 1 < job.field.size() && job.field[e.pos] == 0xFF &&
        (job.field[e.pos + 1] & 0xF0) == 0xE0) {
      pos = e.pos + 2;
      k++;
      b = last;
      if (b == nblocks) return MarkerAt(job.field, pos, 0x03);
      continue;
    }
    // Lost sync: resume after the next restart marker, zero-filling what lies between.
    const Found f = SearchMarker(job.field, e.pos);
    if (f.kind != Mark::restart || rst == 0) return f.kind == Mark::footer;
    const int k2 = k + ((f.number - k) & 15);
    b = int(std::min<int64_t>(int64_t(k2 + 1) * rst, nblocks));
    k = k2 + 1;
    pos = f.at + 2;
    if (b >= nblocks) return MarkerAt(job.field, pos, 0x03);
  }
  return true;
}

// Every run decoded independently on `threads` workers. False when the stream is not the
// clean sequence of runs and markers it must be; the caller then decodes sequentially.
bool DecodeParallel(const WtJob& job, int threads) {
  const int nblocks = job.lay.nblocks, rst = job.lay.restart;
  const int runs = (nblocks + rst - 1) / rst;
  const int markers = nblocks / rst;
  std::vector<size_t> starts(size_t(runs) + 1);
  starts[0] = 12;
  size_t from = 12;
  for (int i = 0; i < markers; i++) {
    const Found f = SearchMarker(job.field, from);
    if (f.kind != Mark::restart || f.number != (i & 15)) return false;
    starts[size_t(i) + 1] = f.at + 2;
    from = f.at + 2;
  }
  // ends[i]: where run i must stop (its marker, or the footer for a run without one).
  std::vector<size_t> ends(static_cast<size_t>(runs));
  for (int i = 0; i < markers; i++) ends[size_t(i)] = starts[size_t(i) + 1] - 2;
  const Found footer = SearchMarker(job.field, from);
  if (footer.kind != Mark::footer) return false;
  if (markers < runs) ends[size_t(runs) - 1] = footer.at;
  else if (footer.at != from) return false;

  std::atomic<int> next{0};
  std::atomic<bool> failed{false};
  auto work = [&] {
    WtWorker wk(job);
    for (int i; (i = next.fetch_add(1)) < runs && !failed.load();) {
      const int b0 = i * rst, b1 = std::min(b0 + rst, nblocks);
      const RunEnd e = DecodeRun(job, wk, starts[size_t(i)], b0, b1);
      if (e.corrupt >= 0 || !e.aligned || e.pos != ends[size_t(i)]) failed = true;
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; t++) pool.emplace_back(work);
  work();
  for (auto& t : pool) t.join();
  return !failed;
}

void LineQuality(const WtJob& job, const std::vector<uint8_t>& good, bool footer,
                 std::vector<int32_t>* quality) {
  quality->assign(size_t(job.nl), 0);
  const WtLayout& lay = job.lay;
  for (int r = 0; r < lay.nby; r++) {
    int first_bad = lay.nbx;
    for (int c = 0; c < lay.nbx; c++)
      if (!good[size_t(r) * lay.nbx + c]) {
        first_bad = c;
        break;
      }
    const int px = std::min(first_bad * lay.bw, job.nc);
    const int32_t q = first_bad == lay.nbx ? job.nc : -px;
    for (int y = r * lay.bh; y < std::min((r + 1) * lay.bh, job.nl); y++) (*quality)[size_t(y)] = q;
  }
  if (!footer) {
    // Image kept, but the lines of the final run are suspect.
    const int rst = lay.restart > 0 ? lay.restart : lay.nblocks;
    const int first = (lay.nblocks - 1) / rst * rst;
    for (int y = first / lay.nbx * lay.bh; y < job.nl; y++) {
      int32_t& q = (*quality)[size_t(y)];
      if (q == job.nc) q = -job.nc;
    }
  }
}

}  // namespace

namespace {

// Decoding into caller memory. `alloc(n)` returns room for the n counts once the header is
// known to fit the image; every count is written (decoded or zero-filled), so the room need not
// be cleared first.
template <class Alloc>
bool DecodeInto(std::span<const uint8_t> field, const WtImage& img, const WtOptions& opt,
                Alloc alloc, std::vector<int32_t>* quality, std::string* err) {
  auto fail = [err](const std::string& why) {
    if (err) *err = why;
    return false;
  };
  if (img.nc <= 0 || img.nl <= 0 || int64_t(img.nc) * img.nl > MAX_PIXELS)
    return fail("image size out of range");
  if (img.nb < 1 || img.nb > 16) return fail("bits per pixel out of range");
  WtJob job;
  if (!WtParseHeader(field, &job.p, err)) return false;
  if (job.p.width != img.nc || job.p.height != img.nl)
    return fail("WT size " + std::to_string(job.p.width) + "x" + std::to_string(job.p.height) +
                " differs from the image " + std::to_string(img.nc) + "x" + std::to_string(img.nl));
  // A stream of another depth than the image's would decode into values of the wrong scale.
  const int bpp = job.p.bpp == 0 ? 16 : job.p.bpp;
  if (bpp != img.nb)
    return fail("WT bits per pixel " + std::to_string(bpp) + " differs from the image's " +
                std::to_string(img.nb));
  if (!WtMakeLayout(job.p, &job.lay, err)) return false;
  job.field = field;
  job.nc = img.nc;
  job.nl = img.nl;
  job.nb = img.nb;
  uint16_t* const px = alloc(size_t(img.nc) * size_t(img.nl));
  job.counts = px;

  int threads = opt.threads;
  if (threads <= 0) {
    const int64_t pixels = int64_t(img.nc) * img.nl;
    threads = pixels >= (int64_t(1) << 18) ? int(std::max(1u, std::thread::hardware_concurrency())) : 1;
  }
  const int runs = job.lay.restart > 0 ? (job.lay.nblocks + job.lay.restart - 1) / job.lay.restart : 1;
  threads = std::min(threads, runs);

  std::vector<uint8_t> good(size_t(job.lay.nblocks), 0);
  bool footer = true;
  if (threads > 1 && DecodeParallel(job, threads)) {
    std::fill(good.begin(), good.end(), 1);
  } else {
    footer = DecodeSequential(job, good);
  }
  for (int b = 0; b < job.lay.nblocks; b++) {
    if (good[size_t(b)]) continue;
    const int bx = (b % job.lay.nbx) * job.lay.bw, by = (b / job.lay.nbx) * job.lay.bh;
    const int rw = std::min(job.lay.bw, img.nc - bx), rh = std::min(job.lay.bh, img.nl - by);
    for (int y = 0; y < rh; y++) std::fill_n(px + size_t(by + y) * img.nc + bx, rw, uint16_t(0));
  }
  if (std::find(good.begin(), good.end(), 1) == good.end()) return fail("WT stream corrupt: no block decoded");
  if (quality) LineQuality(job, good, footer, quality);
  return true;
}

}  // namespace

bool WtDecodeCounts(std::span<const uint8_t> field, const WtImage& img, const WtOptions& opt,
                    std::vector<uint16_t>* counts, std::vector<int32_t>* quality,
                    std::string* err) {
  std::vector<uint16_t> local;
  std::vector<uint16_t>& px = counts ? *counts : local;
  return DecodeInto(
      field, img, opt,
      [&px](size_t n) {
        px.resize(n);
        return px.data();
      },
      quality, err);
}

bool WtDecode(std::span<const uint8_t> field, const WtImage& img, const WtOptions& opt,
              WtResult* out, std::string* err) {
  // The counts are only a step to the packed stream: uncleared room saves a pass over them.
  std::unique_ptr<uint16_t[]> counts;
  size_t count = 0;
  std::vector<int32_t> quality;
  auto alloc = [&](size_t n) {
    counts = std::make_unique_for_overwrite<uint16_t[]>(n);
    count = n;
    return counts.get();
  };
  if (!DecodeInto(field, img, opt, alloc, &quality, err)) return false;
  out->packed = WtPack(counts.get(), count, img.nb);
  out->line_ok.resize(quality.size());
  for (size_t i = 0; i < quality.size(); i++) out->line_ok[i] = quality[i] == img.nc ? 1 : 0;
  out->quality = std::move(quality);
  return true;
}

bool WtDecode(std::span<const uint8_t> field, const WtImage& img, WtResult* out, std::string* err) {
  return WtDecode(field, img, WtOptions{}, out, err);
}
