// RGB composites: each colour planned from its channels, its range gathered, then every row made.
#include "data/atmrad.h"

#include <glib.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <mutex>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "data/atmrad_rows.h"
#include "data/atmrad_values.h"
#include "data/suplalloc.h"
#include "data/suplimage.h"
#include "data/suplresize.h"
#include "data/supltsan.h"

namespace {

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
  Enlarge,  // a channel of a third of the output size, its values enlarged bilinearly
};

struct Plan {
  Kind kind = Kind::Values;
  int from = 0;  // Copy
  const cv::Mat* counts = nullptr;
  const cv::Mat* sub = nullptr;
  int ch = 0, subch = 0;
  cv::Mat values;  // Values
  AtmradStretch stretch;
  bool direct = false;  // Counts whose value is the count: the stretch itself may be used
  uint8_t lut[ATMRAD_COUNTS];
  // The work before the render, one row at a time (the range of the colour's values in the
  // row, empty when none has one; scratch holds a row of floats), over pass_rows rows; the
  // passes of all colours run in one parallel loop. range_of_counts: the row's range is one of
  // counts, whose values are the range.
  std::function<void(int y, float* scratch, float* lo, float* hi)> pass;
  int pass_rows = 0;
  bool relative = false, range_of_counts = false;
  double t0 = 0, t1 = 0, gamma = 1;
  bool inverted = false;
  float mn = 0, mx = 0;  // range of the values, when relative
};

// The pass of a colour whose range is that of the values of the counts that occur, for a channel
// whose values rise with the count from count first on.
void CountRangePass(const cv::Mat& counts, int first, Plan& plan) {
  plan.range_of_counts = true;
  plan.pass_rows = counts.rows;
  plan.pass = [&counts, first](int y, float*, float* lo, float* hi) {
    int a, b;
    AtmradCountRange(counts.ptr<uint16_t>(y), counts.cols, first, &a, &b);
    *lo = a <= b ? float(a) : std::numeric_limits<float>::infinity();
    *hi = a <= b ? float(b) : -std::numeric_limits<float>::infinity();
  };
}

// The plan of one colour for an output of size out, up to its pass. False (one warning) when a
// channel is missing.
bool PlanColour(const cv::Mat images[], const double* p, int ch, int sub, cv::Size out, Plan& plan) {
  plan.t0 = p[0], plan.t1 = p[1], plan.gamma = p[2];
  plan.inverted = plan.t0 > plan.t1;
  if (plan.inverted) std::swap(plan.t0, plan.t1);
  if (!ValidImage(images, ch)) {
    AtmradWarn("a colour's channel has no image", ch);
    return false;
  }
  if (sub != 0 && !ValidImage(images, sub)) {
    AtmradWarn("a colour's subtracted channel has no image", sub);
    return false;
  }
  const cv::Mat& counts = images[ch];
  const bool relative = plan.t1 >= 1000;
  plan.relative = relative;
  plan.ch = ch;
  plan.subch = sub;
  plan.counts = &counts;
  if (sub == 0 && counts.size() == out) {
    // The colour is a function of the count alone: value, stretch, inversion and gamma fold
    // into one table, and the range is over the counts that occur.
    plan.kind = Kind::Counts;
    plan.direct = !AtmradInfrared(ch);
    if (!relative) return true;
    const int first = AtmradMonotoneFrom(ch);
    if (first < 0) {
      AtmradPresentValueRange(counts, ch, &plan.mn, &plan.mx);
      return true;
    }
    CountRangePass(counts, first, plan);
    return true;
  }
  if (sub != 0 && counts.size() == out && images[sub].size() == out) {
    plan.kind = Kind::Diff;
    plan.sub = &images[sub];
    if (!relative) return true;
    const float *ta = AtmradChannelValues(ch).data(), *tb = AtmradChannelValues(sub).data();
    const cv::Mat* b = plan.sub;
    plan.pass_rows = counts.rows;
    plan.pass = [&counts, b, ta, tb](int y, float*, float* lo, float* hi) {
      AtmradDiffRange(counts.ptr<uint16_t>(y), b->ptr<uint16_t>(y), counts.cols, ta, tb, lo, hi);
    };
    return true;
  }
  const bool enlarge3 = counts.cols * 3 == out.width && counts.rows * 3 == out.height;
  if (enlarge3 && (sub == 0 || images[sub].size() == counts.size())) {
    // Visible and HRV channels subtract as counts, the value they have as a colour. Enlarging
    // is linear, so the difference may be taken before it: the same values for a third of
    // the work in each direction. The range of a bilinear enlargement by 3 is that of its
    // source: every source pixel is the centre of its block, every other output pixel a
    // convex combination of sources: the range is taken over the source values, or over the
    // counts when the values rise with them. The render makes the value rows from the counts
    // as it needs them.
    plan.kind = Kind::Enlarge;
    plan.sub = sub != 0 ? &images[sub] : nullptr;
    if (!relative) return true;
    const int first = AtmradMonotoneFrom(ch);
    if (sub == 0 && first > 0) {
      CountRangePass(counts, first, plan);
      return true;
    }
    const cv::Mat* b = plan.sub;
    plan.pass_rows = counts.rows;
    plan.pass = [&counts, b, ch, sub](int y, float* scratch, float* lo, float* hi) {
      AtmradChannelRow(counts.ptr<uint16_t>(y), b ? b->ptr<uint16_t>(y) : nullptr, counts.cols, ch, sub,
                scratch);
      AtmradValueRange(scratch, counts.cols, lo, hi);
    };
    return true;
  }
  // Sizes that no default recipe has: the values at the output size, made here.
  cv::Mat acc;
  if (sub == 0 || images[sub].size() == counts.size()) {
    AtmradApplyValues(counts, ch, acc, sub != 0 ? &images[sub] : nullptr, sub);
    acc = AtmradValuesAt(acc, out);
  } else {
    cv::Mat v;
    AtmradApplyValues(counts, ch, acc);
    AtmradApplyValues(images[sub], sub, v);
    cv::subtract(AtmradValuesAt(acc, out), AtmradValuesAt(v, out), acc);
  }
  plan.kind = Kind::Values;
  plan.values = acc;
  if (relative) {
    const cv::Mat* v = &plan.values;
    plan.pass_rows = v->rows;
    plan.pass = [v](int y, float*, float* lo, float* hi) {
      AtmradValueRange(v->ptr<float>(y), v->cols, lo, hi);
    };
  }
  return true;
}

// The passes of every colour as one parallel loop over all their rows, each colour's range
// gathered into its plan.
void RunPasses(std::array<Plan, 3>& plans) {
  std::array<int, 4> start{};
  int widest = 0;
  for (int k = 0; k < 3; k++) {
    start[k + 1] = start[k] + (plans[k].pass ? plans[k].pass_rows : 0);
    if (plans[k].pass) widest = std::max(widest, plans[k].counts->cols);
  }
  if (start[3] == 0) return;
  const float inf = std::numeric_limits<float>::infinity();
  std::array<float, 3> lo, hi;
  lo.fill(inf);
  hi.fill(-inf);
  std::mutex m;
  SuplParallelFor(cv::Range(0, start[3]), [&](const cv::Range& r) {
    std::vector<float> scratch(size_t(widest) + 16);
    std::array<float, 3> a, b;
    a.fill(inf);
    b.fill(-inf);
    int k = 0;
    for (int i = r.start; i < r.end; i++) {
      while (i >= start[k + 1]) k++;
      float ya, yb;
      plans[k].pass(i - start[k], scratch.data(), &ya, &yb);
      a[k] = std::min(a[k], ya);
      b[k] = std::max(b[k], yb);
    }
    std::lock_guard<std::mutex> lock(m);
    for (int j = 0; j < 3; j++) {
      lo[j] = std::min(lo[j], a[j]);
      hi[j] = std::max(hi[j], b[j]);
    }
  });
  for (int k = 0; k < 3; k++) {
    Plan& p = plans[k];
    if (!p.pass || !p.relative) continue;
    if (lo[k] > hi[k]) {  // no pixel has a value
      p.mn = p.mx = 0;
    } else if (p.range_of_counts) {
      const AtmradValueTable& values = AtmradChannelValues(p.ch);
      p.mn = values[size_t(lo[k])];
      p.mx = values[size_t(hi[k])];
    } else {
      p.mn = lo[k];
      p.mx = hi[k];
    }
  }
}

// The stretch (and for Counts the table) of a planned colour from its range.
void FinishColour(Plan& p) {
  p.stretch = AtmradMakeStretch(p.t0, p.t1, p.gamma, p.inverted, p.mn, p.mx);
  if (p.kind != Kind::Counts) return;
  const AtmradValueTable& values = AtmradChannelValues(p.ch);
  for (int i = 0; i < ATMRAD_COUNTS; i++) p.lut[i] = p.stretch(values[i]);
}

// The value rows of an enlarged colour that a stripe of the render reads, made from the counts
// when first needed. Three neighbouring rows never share one of the four slots.
class SourceRows {
 public:
  void Reset(const Plan& p) {
    plan_ = &p;
    cols_ = p.counts->cols;
    rows_.assign(size_t(SLOTS) * (cols_ + 16), 0.0f);
    key_.fill(-1);
  }
  const float* Row(int r) {
    float* d = rows_.data() + size_t(r % SLOTS) * (cols_ + 16);
    if (key_[size_t(r % SLOTS)] != r) {
      const Plan& p = *plan_;
      AtmradChannelRow(p.counts->ptr<uint16_t>(r), p.sub ? p.sub->ptr<uint16_t>(r) : nullptr, cols_, p.ch,
                p.subch, d);
      key_[size_t(r % SLOTS)] = r;
    }
    return d;
  }

 private:
  static constexpr int SLOTS = 4;
  const Plan* plan_ = nullptr;
  int cols_ = 0;
  std::vector<float> rows_;
  std::array<int, SLOTS> key_{};
};

// Row y of an enlarged colour (output width three times its source's) into d.
void EnlargedRow(const Plan& p, int y, SourceRows& v, float* blend, uint8_t* d) {
  // Rows as the columns: phase 1 is the source row, phase 0 blends in a third of the row
  // above, phase 2 a third of the row below, edges replicated.
  const int base = y / 3, phase = y % 3, rows = p.counts->rows, cols = p.counts->cols;
  const float* src = v.Row(base);
  if (phase == 0 && base > 0) {
    AtmradBlendRow(v.Row(base - 1), src, 2.0f / 3, cols, blend);
    src = blend;
  } else if (phase == 2 && base < rows - 1) {
    AtmradBlendRow(src, v.Row(base + 1), 1.0f / 3, cols, blend);
    src = blend;
  }
  AtmradEnlargeRow(src, cols, p.stretch, d);
}

// The channels whose values more than one colour at the output size looks up ("MPhys(Air)"
// takes 9 in all three): their value rows are then made once a row, and those colours stretch
// them, the same bytes as their own lookups (a table entry is the stretch of its value, and a
// count without a value has NaN, which stretches to 0). Empty when nothing would be shared.
struct SharedValues {
  std::array<int, 6> channel{};  // of each value row
  std::array<const cv::Mat*, 6> counts{};
  int n = 0;
  std::array<std::array<int, 2>, 3> slot{};  // per colour: rows of its channel and subtracted one
  std::array<bool, 3> uses{};

  explicit SharedValues(const std::array<Plan, 3>& plans) {
    int lookups = 0;
    auto add = [&](int c, const cv::Mat* m) {
      lookups++;
      for (int i = 0; i < n; i++)
        if (channel[size_t(i)] == c) return i;
      channel[size_t(n)] = c, counts[size_t(n)] = m;
      return n++;
    };
    for (int k = 0; k < 3; k++) {
      const Plan& p = plans[k];
      if (p.kind == Kind::Diff) {
        slot[k] = {add(p.ch, p.counts), add(p.subch, p.sub)};
        uses[k] = true;
      } else if (p.kind == Kind::Counts && !p.direct) {
        slot[k] = {add(p.ch, p.counts), -1};
        uses[k] = true;
      }
    }
    if (n == lookups) n = 0, uses.fill(false);
  }
};

// Every row of out from the three plans, each row's colours made side by side and
// interleaved once.
void RenderRows(const std::array<Plan, 3>& plans, cv::Mat& out) {
  const int w = out.cols;
  const SharedValues shared(plans);
  // A row's lines are asked for before its colours are made, so they are there when the row
  // is stored.
  int small = 1;
  bool enlarged = false;
  for (const Plan& p : plans)
    if (p.kind == Kind::Enlarge) small = std::max(small, p.counts->cols), enlarged = true;
  SuplParallelFor(
      cv::Range(0, out.rows),
      [&](const cv::Range& r) {
        std::vector<uint8_t> rows(size_t(3) * (w + 16));
        std::vector<float> values(size_t(shared.n) * (w + 16));
        auto value_row = [&](int i) { return values.data() + size_t(i) * (w + 16); };
        std::vector<float> blend(size_t(small) + 16);
        std::array<SourceRows, 3> sources;
        for (int k = 0; k < 3; k++)
          if (plans[k].kind == Kind::Enlarge) sources[k].Reset(plans[k]);
        for (int y = r.start; y < r.end; y++) {
          SuplPrefetchForWrite(out.ptr(y), out.cols * out.elemSize());
          for (int i = 0; i < shared.n; i++)
            AtmradChannelRow(shared.counts[size_t(i)]->ptr<uint16_t>(y), nullptr, w, shared.channel[size_t(i)], 0,
                      value_row(i));
          const uint8_t* e[3];
          for (int k = 0; k < 3; k++) {
            const Plan& p = plans[k];
            uint8_t* d = rows.data() + size_t(k) * (w + 16);
            e[k] = d;
            if (shared.uses[k]) {
              const int sub = shared.slot[k][1];
              AtmradStretchRow(value_row(shared.slot[k][0]), w, p.stretch, d,
                               sub >= 0 ? value_row(sub) : nullptr);
              continue;
            }
            switch (p.kind) {
              case Kind::Copy:
                e[k] = e[p.from];
                break;
              case Kind::Counts:
                AtmradCountRow(p.counts->ptr<uint16_t>(y), w, p.lut, p.direct ? &p.stretch : nullptr,
                               d);
                break;
              case Kind::Diff:
                AtmradDiffRow(p.counts->ptr<uint16_t>(y), p.sub->ptr<uint16_t>(y), w,
                              AtmradChannelValues(p.ch).data(), AtmradChannelValues(p.subch).data(), p.stretch,
                              d);
                break;
              case Kind::Values:
                AtmradStretchRow(p.values.ptr<float>(y), w, p.stretch, d);
                break;
              case Kind::Enlarge:
                EnlargedRow(p, y, sources[k], blend.data(), d);
                break;
            }
          }
          AtmradInterleave(e[0], e[1], e[2], w, out.ptr<uint8_t>(y));
        }
      },
      // Taller stripes where source rows are made per stripe: fewer of them made twice.
      std::max(1, out.rows / (enlarged ? 48 : 16)));
}

}  // namespace

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
    AtmradWarn("no channel of the recipe has an image");
    AtmradWarn("the composite is not made");
    return {};
  }
  try {
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
      if (!PlanColour(images, params + 3 * k, channels[2 * k], channels[2 * k + 1], size,
                      (*plans)[k])) {
        AtmradWarn("a colour of the recipe cannot be planned");
        return {};
      }
    }
    RunPasses(*plans);
    for (Plan& p : *plans)
      if (p.kind != Kind::Copy) FinishColour(p);
    cv::Mat out = SuplLargeMat(size.height, size.width, CV_8UC3);
    RenderRows(*plans, out);
    if (!hrv) out = SuplLinear3(out);  // the bytes of a bilinear cv::resize by three
    return out;
  } catch (const cv::Exception&) {
  } catch (const std::bad_alloc&) {
  }
  AtmradWarn("the composite cannot be made (no memory or OpenCV fault)");
  return {};
}

cv::Mat AtmradCompositeSlot(const Slot* slot, const RgbRecipe& recipe) {
  cv::Mat images[CHANNEL_COUNT + 1];
  if (slot)
    for (int id = 1; id <= CHANNEL_COUNT; id++)
      if (slot[id]) images[id] = slot[id]->images[0];
  return AtmradComposite(images, recipe.params, recipe.channels);
}
