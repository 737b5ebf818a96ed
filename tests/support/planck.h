// The nominal calibration and Planck coefficients of the SEVIRI infrared channels 4..11, written
// out again from the published tables so that tests do not read them from the code.
#pragma once

#include <cmath>

namespace planck {

struct Coef {
  int ch;
  double slope, offset, vc, b;
};
inline constexpr Coef COEFS[] = {
    {4, 0.00366, -0.18659, 2569.09, 3.471},   {5, 0.0083, -0.42422, 1598.57, 2.219},
    {6, 0.03862, -1.96972, 1362.14, 0.485},   {7, 0.12674, -6.46392, 1149.08, 0.181},
    {8, 0.10396, -5.30202, 1034.35, 0.06},    {9, 0.20503, -10.45676, 930.66, 0.627},
    {10, 0.22231, -11.33788, 839.66, 0.397},  {11, 0.15761, -8.03795, 752.38, 0.576},
};
inline constexpr double C1 = 1.19104e-5, C2 = 1.43877;

inline const Coef& Of(int ch) { return COEFS[ch - 4]; }

// Brightness temperature of a radiance, and of a count with the nominal calibration.
inline double KelvinOfRadiance(int ch, double r) {
  const Coef& p = Of(ch);
  return C2 * p.vc / std::log(1 + C1 * p.vc * p.vc * p.vc / r) - p.b;
}
inline double Kelvin(int ch, int count) { return KelvinOfRadiance(ch, count * Of(ch).slope + Of(ch).offset); }

}  // namespace planck
