#include "data/atmrad.h"

#include <glib.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <mutex>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "data/atmrad_rows.h"
#include "data/suplalloc.h"
#include "data/suplimage.h"
#include "data/suplresize.h"
#include "data/supltsan.h"

const AtmradCoef AtmradCoefs[CHANNEL_COUNT + 1] = {
    {0, 0, 0, 0},
    {0.02295, -1.17046, 0, 0},
    {0.02922, -1.49001, 0, 0},
    {0.02328, -1.18724, 0, 0},
    {0.00366, -0.18659, 2569.09, 3.471},
    {0.0083, -0.42422, 1598.57, 2.219},
    {0.03862, -1.96972, 1362.14, 0.485},
    {0.12674, -6.46392, 1149.08, 0.181},
    {0.10396, -5.30202, 1034.35, 0.06},
    {0.20503, -10.45676, 930.66, 0.627},
    {0.22231, -11.33788, 839.66, 0.397},
    {0.15761, -8.03795, 752.38, 0.576},
    {0, 0, 0, 0},
};

namespace {

constexpr int COUNTS = ATMRAD_COUNTS;
constexpr float NO_DATA = std::numeric_limits<float>::quiet_NaN();
using ValueTable = std::array<float, COUNTS>;

#define ATMRAD_WARN() g_log(nullptr, G_LOG_LEVEL_WARNING, "%s:%d", "atmrad", __LINE__)

// The channels whose value is a brightness temperature; every other channel's value is its count.
bool Infrared(int ch) { return ch >= 4 && ch <= 11; }

// The value a channel brings into a composite, for every count: kelvin for 4..11, the count
// itself for the others. Count 0 is space or a lost line and carries no value.
const ValueTable& ChannelValues(int ch) {
  static const std::array<ValueTable, CHANNEL_COUNT + 1> tables = [] {
    std::array<ValueTable, CHANNEL_COUNT + 1> t{};
    for (int c = 0; c <= CHANNEL_COUNT; c++) {
      const AtmradCoef& k = AtmradCoefs[c];
      t[c][0] = NO_DATA;
      for (int i = 1; i < COUNTS; i++) {
        if (!Infrared(c)) {
          t[c][i] = float(i);
          continue;
        }
        double r = i * k.slope + k.offset;
        t[c][i] = r > 0 ? float(ATMRAD_C2 * k.vc /
                                    std::log(1.0 + ATMRAD_C1 * k.vc * k.vc * k.vc / r) -
                                k.b)
                        : NO_DATA;
      }
    }
    return t;
  }();
  return tables[ch];
}

// The value image of a channel at the composite size, enlarged bilinearly when it differs.
// Pixels without a value enter the enlargement as 0 and every output pixel that any of them
// reaches with a non-zero weight has no value either, so space neither spreads NaN over its
// neighbours nor blends into the limb.
cv::Mat ValuesAt(cv::Mat v, cv::Size size) {
  if (v.size() == size) return v;
  cv::Mat valid = v == v;  // 255 where there is a value
  v = v.clone();
  v.setTo(0, ~valid);
  cv::Mat big, big_valid;
  cv::resize(v, big, size, 0, 0, cv::INTER_LINEAR);
  cv::resize(valid, big_valid, size, 0, 0, cv::INTER_LINEAR);
  big.setTo(NO_DATA, big_valid != 255);
  return big;
}

// The smallest and largest of the per-row ranges row(y, &lo, &hi) over rows 0..rows-1, from
// the empty range none_lo > none_hi, which is what comes back when no row has a value.
template <class T, class Row>
std::pair<T, T> RangeOverRows(int rows, T none_lo, T none_hi, const Row& row) {
  T lo = none_lo, hi = none_hi;
  std::mutex m;
  SuplParallelFor(cv::Range(0, rows), [&](const cv::Range& r) {
    T a = none_lo, b = none_hi;
    for (int y = r.start; y < r.end; y++) {
      T ya, yb;
      row(y, &ya, &yb);
      a = std::min(a, ya);
      b = std::max(b, yb);
    }
    std::lock_guard<std::mutex> lock(m);
    lo = std::min(lo, a);
    hi = std::max(hi, b);
  });
  return {lo, hi};
}

// Float values' range over rows (both 0 when no pixel has a value).
template <class Row>
void FloatRangeOverRows(int rows, const Row& row, float* mn, float* mx) {
  const float inf = std::numeric_limits<float>::infinity();
  auto [lo, hi] = RangeOverRows(rows, inf, -inf, row);
  if (lo > hi) lo = hi = 0;
  *mn = lo;
  *mx = hi;
}

// Smallest and largest value over the pixels that have one (both 0 when none has).
void ValueRange(const cv::Mat& v, int level, float* mn, float* mx) {
  FloatRangeOverRows(
      v.rows,
      [&](int y, float* a, float* b) { AtmradValueRange(v.ptr<float>(y), v.cols, a, b, level); },
      mn, mx);
}

// acc (made when needed) = the values of channel ch's counts, less those of channel subch's
// counts *sub of the same size when sub is given; with range, their smallest and largest
// (both 0 when no pixel has a value) from the same pass.
void ValuesWithRange(const cv::Mat& counts, int ch, const cv::Mat* sub, int subch, int level,
                     cv::Mat& acc, bool range, float* mn, float* mx) {
  acc.create(counts.size(), CV_32FC1);
  const float* table = ChannelValues(ch).data();
  const float* subtable = ChannelValues(subch).data();
  FloatRangeOverRows(
      counts.rows,
      [&](int y, float* lo, float* hi) {
        float* d = acc.ptr<float>(y);
        const uint16_t* c = counts.ptr<uint16_t>(y);
        if (sub) AtmradDiffValuesRow(c, sub->ptr<uint16_t>(y), counts.cols, table, subtable, d, level);
        else if (!Infrared(ch)) AtmradCountValuesRow(c, counts.cols, d, level);
        else AtmradValuesRow(c, counts.cols, table, d, level);
        if (range) AtmradValueRange(d, counts.cols, lo, hi, level);
        else *lo = std::numeric_limits<float>::infinity(), *hi = -*lo;
      },
      mn, mx);
}

// dst (made when needed) = the values of channel ch's counts; counts beyond 10 bits have none.
void ApplyValues(const cv::Mat& counts, int ch, cv::Mat& dst, int level = AtmradLevel()) {
  float mn, mx;
  ValuesWithRange(counts, ch, nullptr, 0, level, dst, false, &mn, &mx);
}

// Counts that occur in the image (the value range of a table colour is over these only).
std::array<bool, COUNTS> CountsPresent(const cv::Mat& counts) {
  std::array<bool, COUNTS> seen{};
  std::mutex m;
  SuplParallelFor(cv::Range(0, counts.rows), [&](const cv::Range& r) {
    std::array<bool, COUNTS> local{};
    for (int y = r.start; y < r.end; y++) {
      const uint16_t* s = counts.ptr<uint16_t>(y);
      for (int x = 0; x < counts.cols; x++) local[s[x] & (COUNTS - 1)] |= s[x] < COUNTS;
    }
    std::lock_guard<std::mutex> lock(m);
    for (int i = 0; i < COUNTS; i++) seen[i] = seen[i] || local[i];
  });
  return seen;
}

// First count with a value, when every count from it on has one and the values never fall
// (true of every channel: radiance and temperature rise with the count); else -1. The value
// range over the counts that occur is then that of the smallest and the largest of them.
int MonotoneFrom(int ch) {
  static const std::array<int, CHANNEL_COUNT + 1> first = [] {
    std::array<int, CHANNEL_COUNT + 1> f{};
    for (int c = 0; c <= CHANNEL_COUNT; c++) {
      const ValueTable& v = ChannelValues(c);
      int i = 1;
      while (i < COUNTS && std::isnan(v[i])) i++;
      f[c] = i < COUNTS ? i : -1;
      for (int j = i + 1; j < COUNTS && f[c] > 0; j++)
        if (!(v[j] >= v[j - 1])) f[c] = -1;
    }
    return f;
  }();
  return first[ch];
}

// Range of a channel's values over the counts of the image.
void CountValueRange(const cv::Mat& counts, int ch, int level, float* mn, float* mx) {
  const ValueTable& values = ChannelValues(ch);
  float lo = std::numeric_limits<float>::infinity(), hi = -lo;
  const int first = MonotoneFrom(ch);
  if (first > 0) {
    const auto [a, b] = RangeOverRows(counts.rows, COUNTS, -1, [&](int y, int* ya, int* yb) {
      AtmradCountRange(counts.ptr<uint16_t>(y), counts.cols, first, ya, yb, level);
    });
    if (a <= b) lo = values[a], hi = values[b];
  } else {
    std::array<bool, COUNTS> seen = CountsPresent(counts);
    for (int i = 0; i < COUNTS; i++)
      if (seen[i] && !std::isnan(values[i])) {
        lo = std::min(lo, values[i]);
        hi = std::max(hi, values[i]);
      }
  }
  if (lo > hi) lo = hi = 0;
  *mn = lo;
  *mx = hi;
}

// Range of the difference of two channels' values at the same size.
void DiffValueRange(const cv::Mat& a, int ca, const cv::Mat& b, int cb, float* mn, float* mx) {
  const float *ta = ChannelValues(ca).data(), *tb = ChannelValues(cb).data();
  FloatRangeOverRows(
      a.rows,
      [&](int y, float* lo, float* hi) {
        AtmradDiffRange(a.ptr<uint16_t>(y), b.ptr<uint16_t>(y), a.cols, ta, tb, lo, hi);
      },
      mn, mx);
}

bool ValidImage(const cv::Mat images[], int ch) {
  return ch >= 1 && ch <= CHANNEL_COUNT && !images[ch].empty() &&
         images[ch].type() == CV_16UC1;
}

// How one colour's row is made.
enum class Kind {
  Copy,     // equal to an earlier colour
  Counts,   // a function of one count at the output size: a table
  Diff,     // two channels at the output size, subtracted
  Values,   // a value image at the output size
  Enlarge,  // a value image of a third of the output size, enlarged bilinearly
};

struct Plan {
  Kind kind = Kind::Values;
  int from = 0;  // Copy
  const cv::Mat* counts = nullptr;
  const cv::Mat* sub = nullptr;
  int ch = 0, subch = 0;
  cv::Mat values;  // Values, Enlarge
  AtmradStretch stretch;
  bool direct = false;  // Counts whose value is the count: the stretch itself may be used
  uint8_t lut[COUNTS];
};

// The plan of one colour for an output of size out. False (one warning) when a channel is
// missing.
bool PlanColour(const cv::Mat images[], const double* p, int ch, int sub, cv::Size out,
                int level, Plan& plan) {
  double t0 = p[0], t1 = p[1], gamma = p[2];
  bool inverted = t0 > t1;
  if (inverted) std::swap(t0, t1);
  if (!ValidImage(images, ch)) {
    ATMRAD_WARN();
    return false;
  }
  if (sub != 0 && !ValidImage(images, sub)) {
    ATMRAD_WARN();
    return false;
  }
  const cv::Mat& counts = images[ch];
  const bool relative = t1 >= 1000;
  float mn = 0, mx = 0;
  plan.ch = ch;
  plan.subch = sub;
  plan.counts = &counts;
  if (sub == 0 && counts.size() == out) {
    // The colour is a function of the count alone: fold value, stretch, inversion and gamma
    // into one table, and take the range over the counts that occur.
    const ValueTable& values = ChannelValues(ch);
    if (relative) CountValueRange(counts, ch, level, &mn, &mx);
    plan.kind = Kind::Counts;
    plan.stretch = AtmradMakeStretch(t0, t1, gamma, inverted, mn, mx);
    for (int i = 0; i < COUNTS; i++) plan.lut[i] = plan.stretch(values[i]);
    plan.direct = !Infrared(ch);
    return true;
  }
  if (sub != 0 && counts.size() == out && images[sub].size() == out) {
    plan.kind = Kind::Diff;
    plan.sub = &images[sub];
    if (relative) DiffValueRange(counts, ch, images[sub], sub, &mn, &mx);
    plan.stretch = AtmradMakeStretch(t0, t1, gamma, inverted, mn, mx);
    return true;
  }
  cv::Mat acc;
  const bool enlarge3 = counts.cols * 3 == out.width && counts.rows * 3 == out.height;
  if (sub == 0 || images[sub].size() == counts.size()) {
    // Visible and HRV channels subtract as counts, the value they have as a colour. Enlarging
    // is linear, so the difference may be taken before it: the same values for a third of
    // the work in each direction. The range of a bilinear enlargement by 3 is that of its
    // source: every source pixel is the centre of its block, every other output pixel a
    // convex combination of sources. So both are taken in one pass over the counts.
    ValuesWithRange(counts, ch, sub != 0 ? &images[sub] : nullptr, sub, level, acc,
                    relative && enlarge3, &mn, &mx);
    if (!enlarge3) {
      acc = ValuesAt(acc, out);
      if (relative) ValueRange(acc, level, &mn, &mx);
    }
  } else {
    cv::Mat v;
    ApplyValues(counts, ch, acc, level);
    ApplyValues(images[sub], sub, v, level);
    cv::subtract(ValuesAt(acc, out), ValuesAt(v, out), acc);
    if (relative) ValueRange(acc, level, &mn, &mx);
  }
  plan.stretch = AtmradMakeStretch(t0, t1, gamma, inverted, mn, mx);
  plan.kind = acc.size() != out ? Kind::Enlarge : Kind::Values;
  plan.values = acc;
  return true;
}

// Row y of an enlarged colour (output width 3 * v.cols) into d.
void EnlargedRow(const Plan& p, int y, float* blend, uint8_t* d, int level) {
  const cv::Mat& v = p.values;
  // Rows as the columns: phase 1 is the source row, phase 0 blends in a third of the row
  // above, phase 2 a third of the row below, edges replicated.
  const int base = y / 3, phase = y % 3;
  const float* src = v.ptr<float>(base);
  if (phase == 0 && base > 0) {
    AtmradBlendRow(v.ptr<float>(base - 1), src, 2.0f / 3, v.cols, blend, level);
    src = blend;
  } else if (phase == 2 && base < v.rows - 1) {
    AtmradBlendRow(src, v.ptr<float>(base + 1), 1.0f / 3, v.cols, blend, level);
    src = blend;
  }
  AtmradEnlargeRow(src, v.cols, p.stretch, d, level);
}

// Every row of out from the three plans, each row's colours made side by side and
// interleaved once.
void RenderRows(const std::array<Plan, 3>& plans, cv::Mat& out, int level) {
  const int w = out.cols;
  // Past the caches only when the image is larger than they are: one that fits stays there for
  // whoever shows it next, and plain stores to it cost less than streamed ones. Its row's lines
  // are asked for before the colours are made, so they are there when the row is stored.
  const bool stream = out.total() * out.elemSize() >= SUPL_LARGE_BYTES;
  int small = 1;
  for (const Plan& p : plans)
    if (p.kind == Kind::Enlarge) small = std::max(small, p.values.cols);
  SuplParallelFor(
      cv::Range(0, out.rows),
      [&](const cv::Range& r) {
        std::vector<uint8_t> rows(size_t(3) * (w + 16));
        std::vector<float> blend(size_t(small) + 16);
        for (int y = r.start; y < r.end; y++) {
          if (!stream) SuplPrefetchForWrite(out.ptr(y), out.cols * out.elemSize());
          const uint8_t* e[3];
          for (int k = 0; k < 3; k++) {
            const Plan& p = plans[k];
            uint8_t* d = rows.data() + size_t(k) * (w + 16);
            e[k] = d;
            switch (p.kind) {
              case Kind::Copy:
                e[k] = e[p.from];
                break;
              case Kind::Counts:
                AtmradCountRow(p.counts->ptr<uint16_t>(y), w, p.lut, p.direct ? &p.stretch : nullptr,
                               d, level);
                break;
              case Kind::Diff:
                AtmradDiffRow(p.counts->ptr<uint16_t>(y), p.sub->ptr<uint16_t>(y), w,
                              ChannelValues(p.ch).data(), ChannelValues(p.subch).data(), p.stretch,
                              d, level);
                break;
              case Kind::Values:
                AtmradStretchRow(p.values.ptr<float>(y), w, p.stretch, d, level);
                break;
              case Kind::Enlarge:
                EnlargedRow(p, y, blend.data(), d, level);
                break;
            }
          }
          AtmradInterleave(e[0], e[1], e[2], w, out.ptr<uint8_t>(y), level, stream);
        }
        if (stream) AtmradStreamed();
      },
      std::max(1, out.rows / 16));
}

}  // namespace

const float* AtmradBtTable(int ch) {
  if (!Infrared(ch)) return nullptr;
  return ChannelValues(ch).data();
}

void AtmradBrightnessTemp(const cv::Mat& counts, int ch, cv::Mat& dst) {
  if (!Infrared(ch) || counts.type() != CV_16UC1) {
    ATMRAD_WARN();
    return;
  }
  ApplyValues(counts, ch, dst);
}

cv::Mat AtmradComposite(const cv::Mat images[CHANNEL_COUNT + 1], const double params[9],
                        const int32_t channels[6], int level) {
  cv::Size size;
  bool hrv = false;
  for (int i = 0; i < 6; i++) {
    int ch = channels[i];
    if (!ValidImage(images, ch)) continue;
    if (ch == HRV_ID || size.empty()) size = images[ch].size();
    if (ch == HRV_ID) hrv = true;
  }
  if (size.empty()) {
    ATMRAD_WARN();
    ATMRAD_WARN();
    return {};
  }
  try {
    level = std::min(level, AtmradLevel());
    auto plans = std::make_unique<std::array<Plan, 3>>();
    for (int k = 0; k < 3; k++) {
      // A colour made exactly like an earlier one ("Cloud top HRV" red and green) is a copy.
      int same = -1;
      for (int j = 0; j < k && same < 0; j++)
        if (channels[2 * j] == channels[2 * k] && channels[2 * j + 1] == channels[2 * k + 1] &&
            std::equal(params + 3 * j, params + 3 * j + 3, params + 3 * k) &&
            ValidImage(images, channels[2 * k]))
          same = j;
      if (same >= 0) {
        (*plans)[k].kind = Kind::Copy;
        (*plans)[k].from = (*plans)[same].kind == Kind::Copy ? (*plans)[same].from : same;
        continue;
      }
      if (!PlanColour(images, params + 3 * k, channels[2 * k], channels[2 * k + 1], size, level,
                      (*plans)[k])) {
        ATMRAD_WARN();
        return {};
      }
    }
    cv::Mat out = SuplLargeMat(size.height, size.width, CV_8UC3);
    RenderRows(*plans, out, level);
    if (!hrv) out = SuplLinear3(out, level);  // the bytes of a bilinear cv::resize by three
    return out;
  } catch (const cv::Exception&) {
  } catch (const std::bad_alloc&) {
  }
  ATMRAD_WARN();
  return {};
}

cv::Mat AtmradCompositeSlot(const Slot* slot, const RgbRecipe& recipe) {
  cv::Mat images[CHANNEL_COUNT + 1];
  if (slot)
    for (int id = 1; id <= CHANNEL_COUNT; id++)
      if (slot[id]) images[id] = slot[id]->images[0];
  return AtmradComposite(images, recipe.params, recipe.channels);
}
