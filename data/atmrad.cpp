#include "data/atmrad.h"

#include <glib.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <mutex>
#include <new>

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

constexpr int COUNTS = 1024;
constexpr float NO_DATA = std::numeric_limits<float>::quiet_NaN();
using ValueTable = std::array<float, COUNTS>;

#define ATMRAD_WARN() g_log(nullptr, G_LOG_LEVEL_WARNING, "%s:%d", "atmrad", __LINE__)

// The value a channel brings into a composite, for every count: kelvin for 4..11, the count
// itself for the others. Count 0 is space or a lost line and carries no value.
const ValueTable& ChannelValues(int ch) {
  static const std::array<ValueTable, CHANNEL_COUNT + 1> tables = [] {
    std::array<ValueTable, CHANNEL_COUNT + 1> t{};
    for (int c = 0; c <= CHANNEL_COUNT; c++) {
      const AtmradCoef& k = AtmradCoefs[c];
      t[c][0] = NO_DATA;
      for (int i = 1; i < COUNTS; i++) {
        if (c < 4 || c > 11) {
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

// dst (made when needed) = table[count]; counts beyond 10 bits have no value.
void ApplyValues(const cv::Mat& counts, const ValueTable& table, cv::Mat& dst) {
  dst.create(counts.size(), CV_32FC1);
  SuplParallelFor(cv::Range(0, counts.rows), [&](const cv::Range& r) {
    for (int y = r.start; y < r.end; y++) {
      const uint16_t* s = counts.ptr<uint16_t>(y);
      float* d = dst.ptr<float>(y);
      for (int x = 0; x < counts.cols; x++) d[x] = s[x] < COUNTS ? table[s[x]] : NO_DATA;
    }
  });
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

cv::Mat ValuesAt(const cv::Mat& counts, int ch, cv::Size size) {
  cv::Mat v;
  ApplyValues(counts, ChannelValues(ch), v);
  return ValuesAt(v, size);
}

// One colour's mapping from a value to its byte: stretch between the thresholds (rounded and
// saturated like a scaled conversion), inversion, gamma. No value gives 0.
struct Stretch {
  float scale = 0, shift = 0, lo = 0;
  bool step = false;  // zero span: a step at lo instead of a ramp
  bool inverted = false;
  uint8_t gamma[256];

  uint8_t operator()(float v) const {
    if (std::isnan(v)) return 0;
    uint8_t c = step ? (v >= lo ? 255 : 0) : cv::saturate_cast<uint8_t>(v * scale + shift);
    if (inverted) c = uint8_t(255 - c);
    return gamma[c];
  }
};

Stretch MakeStretch(double t0, double t1, double g, bool inverted, float mn, float mx) {
  Stretch s;
  double lo = t0, span = t1 - t0;
  if (t1 >= 1000) {  // relative thresholds: ten-thousandths of the value range
    double range = double(mx) - double(mn);
    lo = range * t0 / 10000 + mn;
    span = range * t1 / 10000 + mn - lo;
  }
  s.lo = float(lo);
  s.step = span == 0;
  if (!s.step) {
    s.scale = float(255 / span);
    s.shift = float(-255 / span * lo);
  }
  s.inverted = inverted;
  if (g == 1.0)
    for (int i = 0; i < 256; i++) s.gamma[i] = uint8_t(i);
  else
    SuplGammaTable(g, s.gamma);
  return s;
}

// Smallest and largest value over the pixels that have one (both 0 when none has).
void ValueRange(const cv::Mat& v, float* mn, float* mx) {
  float lo = std::numeric_limits<float>::infinity(), hi = -lo;
  std::mutex m;
  SuplParallelFor(cv::Range(0, v.rows), [&](const cv::Range& r) {
    float a = std::numeric_limits<float>::infinity(), b = -a;
    for (int y = r.start; y < r.end; y++) {
      const float* p = v.ptr<float>(y);
      for (int x = 0; x < v.cols; x++)
        if (!std::isnan(p[x])) {
          a = std::min(a, p[x]);
          b = std::max(b, p[x]);
        }
    }
    std::lock_guard<std::mutex> lock(m);
    lo = std::min(lo, a);
    hi = std::max(hi, b);
  });
  if (lo > hi) lo = hi = 0;
  *mn = lo;
  *mx = hi;
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

// Plane k of out from the counts through a 1024-entry byte table.
void PlaneFromCounts(const cv::Mat& counts, const uint8_t* lut, cv::Mat& out, int k) {
  SuplParallelFor(cv::Range(0, counts.rows), [&](const cv::Range& r) {
    for (int y = r.start; y < r.end; y++) {
      const uint16_t* s = counts.ptr<uint16_t>(y);
      uint8_t* d = out.ptr<uint8_t>(y) + k;
      for (int x = 0; x < counts.cols; x++) d[3 * x] = s[x] < COUNTS ? lut[s[x]] : 0;
    }
  });
}

void PlaneFromValues(const cv::Mat& v, const Stretch& s, cv::Mat& out, int k) {
  SuplParallelFor(cv::Range(0, v.rows), [&](const cv::Range& r) {
    for (int y = r.start; y < r.end; y++) {
      const float* p = v.ptr<float>(y);
      uint8_t* d = out.ptr<uint8_t>(y) + k;
      for (int x = 0; x < v.cols; x++) d[3 * x] = s(p[x]);
    }
  });
}

// Plane k of out (three times v's size) from v enlarged bilinearly, sampled as a resize does
// (output pixel i at source (i + 0.5) / 3 - 0.5, edges replicated), then stretched. Only
// sources with a non-zero weight take part, so a pixel is without value exactly when one of
// them is.
void PlaneFromEnlarged(const cv::Mat& v, const Stretch& s, cv::Mat& out, int k) {
  struct Tap {
    int a, b;
    float wb;  // weight of b; a has 1 - wb; wb 0: a alone
  };
  auto taps = [](int n) {
    std::vector<Tap> t(size_t(3 * n));
    for (int i = 0; i < 3 * n; i++) {
      const int base = i / 3, phase = i % 3;  // phase 1 is the source pixel itself
      if (phase == 1) t[i] = {base, base, 0.0f};
      else if (phase == 0) t[i] = base == 0 ? Tap{0, 0, 0.0f} : Tap{base - 1, base, 2.0f / 3};
      else t[i] = base == n - 1 ? Tap{base, base, 0.0f} : Tap{base, base + 1, 1.0f / 3};
    }
    return t;
  };
  const std::vector<Tap> tx = taps(v.cols), ty = taps(v.rows);
  SuplParallelFor(cv::Range(0, out.rows), [&](const cv::Range& range) {
    std::vector<float> row(v.cols);
    for (int j = range.start; j < range.end; j++) {
      const Tap& y = ty[j];
      const float* r0 = v.ptr<float>(y.a);
      const float* src = r0;
      if (y.wb != 0.0f) {
        const float* r1 = v.ptr<float>(y.b);
        for (int x = 0; x < v.cols; x++) row[x] = r0[x] * (1 - y.wb) + r1[x] * y.wb;
        src = row.data();
      }
      uint8_t* d = out.ptr<uint8_t>(j) + k;
      for (int i = 0; i < out.cols; i++) {
        const Tap& x = tx[i];
        const float val = x.wb == 0.0f ? src[x.a] : src[x.a] * (1 - x.wb) + src[x.b] * x.wb;
        d[3 * i] = s(val);
      }
    }
  });
}

void CopyPlane(cv::Mat& out, int from, int to) {
  SuplParallelFor(cv::Range(0, out.rows), [&](const cv::Range& r) {
    for (int y = r.start; y < r.end; y++) {
      uint8_t* d = out.ptr<uint8_t>(y);
      for (int x = 0; x < out.cols; x++) d[3 * x + to] = d[3 * x + from];
    }
  });
}

bool ValidImage(const cv::Mat images[], int ch) {
  return ch >= 1 && ch <= CHANNEL_COUNT && !images[ch].empty() &&
         images[ch].type() == CV_16UC1;
}

// One colour into plane k of out. False (one warning) when a channel is missing.
bool Colour(const cv::Mat images[], const double* p, int ch, int sub, cv::Mat& out, int k) {
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
  if (sub == 0 && counts.size() == out.size()) {
    // The colour is a function of the count alone: fold value, stretch, inversion and gamma
    // into one table, and take the range over the counts that occur.
    const ValueTable& values = ChannelValues(ch);
    float mn = 0, mx = 0;
    if (t1 >= 1000) {
      std::array<bool, COUNTS> seen = CountsPresent(counts);
      mn = std::numeric_limits<float>::infinity();
      mx = -mn;
      for (int i = 0; i < COUNTS; i++)
        if (seen[i] && !std::isnan(values[i])) {
          mn = std::min(mn, values[i]);
          mx = std::max(mx, values[i]);
        }
      if (mn > mx) mn = mx = 0;
    }
    Stretch s = MakeStretch(t0, t1, gamma, inverted, mn, mx);
    uint8_t lut[COUNTS];
    for (int i = 0; i < COUNTS; i++) lut[i] = s(values[i]);
    PlaneFromCounts(counts, lut, out, k);
    return true;
  }
  cv::Mat acc;
  ApplyValues(counts, ChannelValues(ch), acc);
  if (sub != 0) {
    // Visible and HRV channels subtract as counts, the value they have as a colour.
    cv::Mat v;
    ApplyValues(images[sub], ChannelValues(sub), v);
    if (v.size() == acc.size()) {
      // Enlarging is linear, so the difference may be taken before it: the same values for
      // a third of the work in each direction.
      cv::subtract(acc, v, acc);
    } else {
      acc = ValuesAt(counts, ch, out.size());
      cv::subtract(acc, ValuesAt(images[sub], sub, out.size()), acc);
    }
  }
  const bool enlarge3 = acc.size() != out.size() && acc.cols * 3 == out.cols &&
                        acc.rows * 3 == out.rows;
  if (acc.size() != out.size() && !enlarge3) acc = ValuesAt(acc, out.size());
  // The range of a bilinear enlargement by 3 is that of its source: every source pixel is the
  // centre of its block, every other output pixel a convex combination of sources.
  float mn = 0, mx = 0;
  if (t1 >= 1000) ValueRange(acc, &mn, &mx);
  const Stretch stretch = MakeStretch(t0, t1, gamma, inverted, mn, mx);
  if (enlarge3)
    PlaneFromEnlarged(acc, stretch, out, k);
  else
    PlaneFromValues(acc, stretch, out, k);
  return true;
}

}  // namespace

const float* AtmradBtTable(int ch) {
  if (ch < 4 || ch > 11) return nullptr;
  return ChannelValues(ch).data();
}

void AtmradBrightnessTemp(const cv::Mat& counts, int ch, cv::Mat& dst) {
  if (ch < 4 || ch > 11 || counts.type() != CV_16UC1) {
    ATMRAD_WARN();
    return;
  }
  ApplyValues(counts, ChannelValues(ch), dst);
}

cv::Mat AtmradComposite(const cv::Mat images[CHANNEL_COUNT + 1], const double params[9],
                        const int32_t channels[6]) {
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
    cv::Mat out = SuplLargeMat(size.height, size.width, CV_8UC3);
    for (int k = 0; k < 3; k++) {
      // A colour made exactly like an earlier one ("Cloud top HRV" red and green) is a copy.
      int same = -1;
      for (int j = 0; j < k && same < 0; j++)
        if (channels[2 * j] == channels[2 * k] && channels[2 * j + 1] == channels[2 * k + 1] &&
            std::equal(params + 3 * j, params + 3 * j + 3, params + 3 * k) &&
            ValidImage(images, channels[2 * k]))
          same = j;
      if (same >= 0) {
        CopyPlane(out, same, k);
        continue;
      }
      if (!Colour(images, params + 3 * k, channels[2 * k], channels[2 * k + 1], out, k)) {
        ATMRAD_WARN();
        return {};
      }
    }
    if (!hrv) out = SuplLinear3(out);  // the bytes of a bilinear cv::resize by three
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
