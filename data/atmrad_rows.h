// Row kernels of the RGB composites: one colour of one output row at a time, written once with
// Highway and dispatched at run time to the processor's best vector unit (the tests run them on
// every unit the machine has, through hwy::SetSupportedTargetsForTest). The float arithmetic is
// the composite's own: a product, then a sum, never contracted (built without FP contraction).
#pragma once

#include <cstdint>

inline constexpr int ATMRAD_COUNTS = 1024;

// One colour's mapping from a value to its byte: stretch between the thresholds (rounded and
// saturated like a scaled conversion), inversion, gamma. No value (NaN) gives 0.
struct AtmradStretch {
  float scale = 0, shift = 0, lo = 0;
  bool step = false;  // zero span: a step at lo instead of a ramp
  bool inverted = false;
  bool identity_gamma = true;
  uint8_t gamma[256];
  int32_t gamma32[256];  // the same table in 32-bit entries, for vector gathers

  uint8_t operator()(float v) const;
};

// The stretch of thresholds t0 <= t1 (relative ones, t1 >= 1000, in ten-thousandths of the
// value range mn..mx), gamma g (1: none).
AtmradStretch AtmradMakeStretch(double t0, double t1, double g, bool inverted, float mn, float mx);

// d[i] = s(v[i]) for n values, or s(v[i] - sub[i]) when there is sub.
void AtmradStretchRow(const float* v, int n, const AtmradStretch& s, uint8_t* d,
                      const float* sub = nullptr);

// d[i] = lut[c[i]] for counts below ATMRAD_COUNTS, else 0. When the channel's value is its
// count and lut[c] = s(c) (so lut[0] = 0), s may be evaluated instead of the table: pass it as
// direct, else nullptr.
void AtmradCountRow(const uint16_t* c, int n, const uint8_t lut[ATMRAD_COUNTS],
                    const AtmradStretch* direct, uint8_t* d);

// d[i] = s(ta[a[i]] - tb[b[i]]) with the values of counts beyond ten bits NaN: a colour of two
// channels at the same size, without float images.
void AtmradDiffRow(const uint16_t* a, const uint16_t* b, int n, const float* ta, const float* tb,
                   const AtmradStretch& s, uint8_t* d);

// The smallest and largest value ta[a[i]] - tb[b[i]] that is not NaN; mn > mx when none is.
void AtmradDiffRange(const uint16_t* a, const uint16_t* b, int n, const float* ta,
                     const float* tb, float* mn, float* mx);

// out[i] = r0[i] * (1 - w) + r1[i] * w: the vertical step of a bilinear enlargement.
void AtmradBlendRow(const float* r0, const float* r1, float w, int n, float* out);

// out[i] = t[c[i]], NaN for counts beyond ten bits.
void AtmradValuesRow(const uint16_t* c, int n, const float* t, float* out);

// out[i] = ta[a[i]] - tb[b[i]], the values of counts beyond ten bits NaN.
void AtmradDiffValuesRow(const uint16_t* a, const uint16_t* b, int n, const float* ta,
                         const float* tb, float* out);

// out[i] = c[i] as float, NaN for 0 and counts beyond ten bits: the values of a channel whose
// value is its count.
void AtmradCountValuesRow(const uint16_t* c, int n, float* out);

// Smallest and largest of n values that are not NaN; mn > mx when none is.
void AtmradValueRange(const float* v, int n, float* mn, float* mx);

// d[0 .. 3n) = s of src (n values) enlarged three times along the row as a bilinear resize
// samples it (output i at (i + 0.5) / 3 - 0.5, edges replicated).
void AtmradEnlargeRow(const float* src, int n, const AtmradStretch& s, uint8_t* d);

// out[3i + k] = plane k[i] for n pixels.
void AtmradInterleave(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, int n, uint8_t* out);

// Smallest and largest count in first..ATMRAD_COUNTS-1 over n counts; lo > hi when none is.
void AtmradCountRange(const uint16_t* c, int n, int first, int* lo, int* hi);
