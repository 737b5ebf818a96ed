// The range decoder of WT streams: the bits of the byte-stuffed stream, and the decoding of
// raw bits, model symbols and signed values. Inline: it is the decoder's innermost loop.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "data/wt_core.h"

// Quotients by a model total d (2 .. 1024; a model has at least two symbols of frequency >= 1)
// through a reciprocal: the high half of x * M with M = ceil(2^64 / d) is floor(x / d) for
// x < 2^32, since the error x * (M - 2^64 / d) / 2^64 stays below 2^-32 < 1/d. One multiply,
// no shift.
struct WtReciprocals {
  uint64_t m[WT_MAX_SYMBOLS * 32 + 1];
  WtReciprocals() {
    m[0] = m[1] = 0;  // never a total
    for (uint64_t d = 2; d < std::size(m); d++) m[d] = ~uint64_t(0) / d + 1;
  }
};
inline const WtReciprocals kReciprocals;

inline uint32_t WtDivTotal(uint32_t x, uint32_t d) {
  return uint32_t((static_cast<unsigned __int128>(x) * kReciprocals.m[d]) >> 64);
}

// Bits of the stored (byte-stuffed) stream. Stops loading in front of a marker; past the end
// of the field it supplies zero bytes.
struct WtBits {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t pos = 0;     // next stored byte to load
  uint64_t buf = 0;   // left-aligned unread bits
  int cnt = 0;        // number of unread bits in buf
  bool marker_hit = false;
  int zeros = 0;      // how many of the last buffered bits lie past the end of the field

  void Start(size_t p) {
    pos = p;
    buf = 0;
    cnt = 0;
    zeros = 0;
    marker_hit = false;
  }
  // Whether decoding has consumed bits that the field does not hold.
  bool PastEnd() const { return cnt < zeros; }

  [[gnu::noinline]] void Refill() {
    // Whole bytes at once while none of them is FF (a marker or a stuffed byte).
    if (pos + 8 <= size) {
      uint64_t w;
      std::memcpy(&w, data + pos, 8);
      if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
      const int nbytes = (64 - cnt) >> 3;
      const uint64_t keep = ~uint64_t(0) << (64 - 8 * nbytes);
      const uint64_t x = ~w & keep;  // a zero byte of x within keep is an FF of the stream
      const uint64_t ff = (x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull & keep;
      if (!ff) {
        buf |= (w & keep) >> cnt;
        cnt += 8 * nbytes;
        pos += size_t(nbytes);
        return;
      }
    }
    while (cnt <= 56) {
      if (pos + 1 < size) {
        const uint8_t b = data[pos];
        if (b != 0xFF) {
          buf |= uint64_t(b) << (56 - cnt);
          cnt += 8;
          pos++;
          continue;
        }
        if (data[pos + 1] != 0) return;  // a marker: never read into it
        buf |= uint64_t(0xFF) << (56 - cnt);
        cnt += 8;
        pos += 2;
      } else {
        // Last byte (its stuffing zero would lie past the end) or beyond: zeros follow.
        if (pos < size) {
          buf |= uint64_t(data[pos]) << (56 - cnt);
          pos += data[pos] == 0xFF ? 2 : 1;
        } else {
          zeros += 8;
        }
        cnt += 8;
      }
    }
  }

  // k bits (1 <= k <= 31); 0 and the marker flag when they would run into a marker.
  uint32_t Get(int k) {
    if (cnt < k) {
      Refill();
      if (cnt < k) {
        marker_hit = true;
        return 0;
      }
    }
    const uint32_t v = uint32_t(buf >> (64 - k));
    buf <<= k;
    cnt -= k;
    return v;
  }

  // k bits (0 <= k <= 31), as Get.
  uint32_t GetUpTo(int k) {
    if (cnt < k) {
      Refill();
      if (cnt < k) {
        marker_hit = true;
        return 0;
      }
    }
    const uint32_t v = uint32_t((buf >> (63 - k)) >> 1);
    buf <<= k;
    cnt -= k;
    return v;
  }

  // Drops the rest of the current byte; true when no whole data byte remains buffered.
  bool Align() {
    const int drop = cnt & 7;
    buf <<= drop;
    cnt -= drop;
    return cnt == 0;
  }
  size_t StoredPos() const { return std::min(pos, size); }
};

struct WtRange {
  WtBits bits;
  uint32_t r = 0, v = 0;
  bool blind = false;  // the last operation decided on bits from beyond the field

  void Start(size_t p) {
    bits.Start(p);
    r = WT_TOP;
    v = bits.Get(31);
  }
  // Doubles r until it exceeds 2^29 (k = 0 when it already does), feeding v the next k bits;
  // no branch on k.
  void Renorm() {
    const int k = std::max(std::countl_zero(r - 1) - 2, 0);
    r <<= k;
    v = (v << k) | bits.GetUpTo(k);
  }
  uint32_t Raw(int n) {  // 1 <= n <= 29
    blind = bits.PastEnd();
    r >>= n;
    const uint32_t x = v / r;
    v -= x * r;
    Renorm();
    return x;
  }
  int Symbol(WtModel* m) {
    blind = bits.PastEnd();
    const uint32_t q = WtDivTotal(r, m->c[0]);
    int i = 1;
    while (m->c[i] * q > v) i++;
    v -= m->c[i] * q;
    if (i == 1)
      r -= m->c[1] * q;
    else
      r = m->f[i] * q;
    const int s = m->sym[i];
    WtModelUpdate<false>(m, i);
    Renorm();
    return s;
  }
  // Signed value of class m (1 <= m <= 29) without branching on m: class 1 is the sign bit,
  // otherwise a clear top bit means negative.
  int32_t Value(int m) {
    blind = bits.PastEnd();
    r >>= m;
    const uint32_t u = v / r;
    v -= u * r;
    Renorm();
    const uint32_t neg = ((u >> (m - 1)) & 1) - 1;
    return int32_t(u - (neg & ((1u << m) - 1)));
  }
};
