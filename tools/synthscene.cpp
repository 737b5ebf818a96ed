#include "tools/synthscene.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>
#include <vector>

#include "tools/synthland.h"

// The calibration that the composites assume; HRV has none there.
const double SynthCalSlope[13] = {0,       0.02295, 0.02922, 0.02328, 0.00366, 0.0083, 0.03862,
                                  0.12674, 0.10396, 0.20503, 0.22231, 0.15761, 0};
const double SynthCalOffset[13] = {0,         -1.17046,  -1.49001, -1.18724, -0.18659,
                                   -0.42422,  -1.96972,  -6.46392, -5.30202, -10.45676,
                                   -11.33788, -8.03795,  0};

namespace {

constexpr double C1 = 1.19104e-5, C2 = 1.43877;
constexpr double VC[12] = {0, 0, 0, 0, 2569.09, 1598.57, 1362.14, 1149.08, 1034.35, 930.66, 839.66, 752.38};
constexpr double BETA[12] = {0, 0, 0, 0, 3.471, 2.219, 0.485, 0.181, 0.06, 0.627, 0.397, 0.576};
// Band solar irradiance over pi, mW m-2 sr-1 (cm-1)-1, of VIS 0.6, VIS 0.8, IR 1.6 and HRV;
// and the solar term of IR 3.9 for a reflectance of 1.
constexpr double SUN_VIS06 = 20.85, SUN_VIS08 = 23.29, SUN_IR16 = 19.74, SUN_HRV = 25.13;
constexpr double SUN_IR39 = 4.8;
// HRV counts: the prologue gives HRV no calibration, so the generator uses a typical one.
constexpr double HRV_SLOPE = 0.0276, HRV_OFFSET = -1.4;
constexpr double DEG = 0.017453292519943295;

// Radiance look-up tables of the infrared channels over 150..350 K.
constexpr double LUT_T0 = 150.0, LUT_STEP = 0.02;
constexpr int LUT_SIZE = 10001;

struct RadianceTables {
  std::array<std::vector<float>, 12> r;
  RadianceTables() {
    for (int ch = 4; ch <= 11; ch++) {
      r[ch].resize(LUT_SIZE);
      for (int i = 0; i < LUT_SIZE; i++) r[ch][i] = float(SynthRadianceOfTemp(ch, LUT_T0 + i * LUT_STEP));
    }
  }
};

const RadianceTables& Tables() {
  static const RadianceTables t;
  return t;
}

double FastRadiance(int ch, double t) {
  double x = (t - LUT_T0) / LUT_STEP;
  x = std::clamp(x, 0.0, double(LUT_SIZE - 1.001));
  int i = int(x);
  const float* r = Tables().r[ch].data();
  return r[i] + (r[i + 1] - r[i]) * (x - i);
}

inline uint64_t Mix(uint64_t z) {
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

inline double Lattice(int64_t x, int64_t y, int64_t z, uint64_t seed) {
  uint64_t h = Mix(seed * 0x9e3779b97f4a7c15ULL ^ uint64_t(x) * 0xd1b54a32d192ed03ULL ^
                   uint64_t(y) * 0xabc98388fb8fac03ULL ^ uint64_t(z) * 0x8cb92ba72f3d8dd7ULL);
  return double(h >> 11) * (1.0 / 9007199254740992.0);
}

inline double Fade(double t) { return t * t * (3 - 2 * t); }

// A cheaper lattice hash for the many octaves of the 2-D noise: 32-bit multiply-xorshift.
inline double Lattice2(int64_t x, int64_t y, uint32_t seed) {
  uint32_t h = uint32_t(x) * 0x9e3779b1u ^ uint32_t(y) * 0x85ebca77u ^ seed;
  h ^= h >> 15;
  h *= 0x2c1b3c6du;
  h ^= h >> 12;
  h *= 0x297a2d39u;
  h ^= h >> 15;
  return double(h) * (1.0 / 4294967296.0);
}

// Value noise in 0..1 on the unit lattice.
double Noise2(double x, double y, uint64_t seed64) {
  const uint32_t seed = uint32_t(Mix(seed64));
  double fx = std::floor(x), fy = std::floor(y);
  int64_t ix = int64_t(fx), iy = int64_t(fy);
  double u = Fade(x - fx), v = Fade(y - fy);
  double a = Lattice2(ix, iy, seed), b = Lattice2(ix + 1, iy, seed);
  double c = Lattice2(ix, iy + 1, seed), d = Lattice2(ix + 1, iy + 1, seed);
  return (a + (b - a) * u) + ((c + (d - c) * u) - (a + (b - a) * u)) * v;
}

double Noise3(double x, double y, double z, uint64_t seed) {
  double fz = std::floor(z);
  int64_t iz = int64_t(fz);
  double w = Fade(z - fz);
  double fx = std::floor(x), fy = std::floor(y);
  int64_t ix = int64_t(fx), iy = int64_t(fy);
  double u = Fade(x - fx), v = Fade(y - fy);
  double layer[2];
  for (int k = 0; k < 2; k++) {
    double a = Lattice(ix, iy, iz + k, seed), b = Lattice(ix + 1, iy, iz + k, seed);
    double c = Lattice(ix, iy + 1, iz + k, seed), d = Lattice(ix + 1, iy + 1, iz + k, seed);
    double top = a + (b - a) * u, bottom = c + (d - c) * u;
    layer[k] = top + (bottom - top) * v;
  }
  return layer[0] + (layer[1] - layer[0]) * w;
}

// Fractal sum of value noise, roughly 0..1 with mean 0.5.
double Fbm2(double x, double y, int octaves, uint64_t seed) {
  double sum = 0, amp = 1, norm = 0;
  for (int o = 0; o < octaves; o++) {
    sum += amp * Noise2(x, y, seed + uint64_t(o) * 7919);
    norm += amp;
    amp *= 0.55;
    // Rotate a little between octaves so the lattice does not show.
    double nx = 1.6 * x + 1.2 * y + 17.3, ny = -1.2 * x + 1.6 * y + 5.1;
    x = nx, y = ny;
  }
  return sum / norm;
}

inline double Smooth(double e0, double e1, double x) {
  double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
  return t * t * (3 - 2 * t);
}
inline double Bump(double x, double centre, double width) {
  double d = (x - centre) / width;
  return std::exp(-d * d);
}

// Noise with a power-law spectrum, about mean 0 and standard deviation 0.2: octaves of value
// noise from features of `largest` down to `smallest` (same units as x and y), each octave half
// the size and `gain` times the amplitude of the one before. Cloud fields have roughly
// k^-5/3 spectra, i.e. a gain near 0.6 to 0.8 per octave.
double Fractal(double x, double y, double largest, double smallest, double gain, uint64_t seed) {
  double f = 1.0 / largest, sum = 0, amp = 1, norm = 0;
  for (int o = 0; f * smallest <= 1.0 && o < 12; o++) {
    sum += amp * (Noise2(x * f, y * f, seed + uint64_t(o) * 7919) - 0.5);
    norm += amp * amp;
    amp *= gain;
    f *= 2.0;
    // Rotate a little between octaves so the lattice does not show.
    double nx = 0.8 * x + 0.6 * y + 17.3, ny = -0.6 * x + 0.8 * y + 5.1;
    x = nx, y = ny;
  }
  // Value noise of one octave has a standard deviation of about 0.17.
  return norm > 0 ? sum / std::sqrt(norm) : 0.0;
}

constexpr double KM_PER_DEG = 111.2;
// Lows travel with the westerlies, one every LOW_SPACING degrees of the drifting frame; the phase
// puts one west of Ireland on the demo's day.
constexpr double LOW_SPACING = 60.0, LOW_PHASE = 10.0;

// Cloud of the low-pressure systems near a point: a comma head curling round the centre and a
// cold front trailing south and then south-west from it. cx: longitude in the drifting frame.
// Returns 0..1, and in behind_front the km east of the nearest cold front (negative: behind it).
double Fronts(double cx, double lat, double clat, uint64_t seed, double* behind_front) {
  double best = 0;
  *behind_front = 1e9;
  double k0 = std::floor((cx - LOW_PHASE) / LOW_SPACING);
  for (double k = k0; k <= k0 + 1; k++) {
    double jitter = Lattice(int64_t(k), 7, 0, seed + 11);
    double low_lon = LOW_PHASE + k * LOW_SPACING + 12.0 * (jitter - 0.5);
    double low_lat = 56.0 + 8.0 * (Lattice(int64_t(k), 9, 0, seed + 11) - 0.5);
    double dx = (cx - low_lon) * KM_PER_DEG * clat, dy = (lat - low_lat) * KM_PER_DEG;
    if (std::fabs(dx) > 3500 || dy > 1500 || dy < -3800) continue;
    // Comma head: one spiral arm winding in towards the centre.
    double r = std::hypot(dx, dy);
    double theta = std::atan2(dy, dx);
    double arm = std::cos(theta + r / 260.0 - 0.6 - 2.0 * jitter);
    double head = Smooth(-0.1, 0.5, arm) * Smooth(1100, 500, r) * Smooth(40, 160, r);
    // Cold front: from east of the centre south, bending back west far south; a band ~300 km
    // wide, narrower and weaker towards its southern end.
    double t = std::clamp(-dy / 3200.0, 0.0, 1.0);
    double xf = 450.0 - 1700.0 * t * t + 250.0 * std::sin(3.0 * t + 6.0 * jitter);
    double width = 230.0 - 120.0 * t;
    double front = dy < 250 ? Bump(dx, xf, width) * (1.0 - 0.6 * t) * Smooth(-3800, -2800, dy) * Smooth(250, -50, dy)
                            : 0.0;
    best = std::max(best, std::max(head, front));
    if (std::fabs(dy) < 3000 && std::fabs(dx - xf) < std::fabs(*behind_front)) *behind_front = dx - xf;
  }
  return best;
}

}  // namespace

SynthScene SynthSceneMake(uint32_t seed, int64_t unix_time, double cloud_cover, const std::string& shore,
                          const std::string& lakes) {
  SynthScene s;
  s.seed = seed;
  s.unix_time = unix_time;
  s.cloud_cover = std::isfinite(cloud_cover) ? std::clamp(cloud_cover, 0.0, 1.0) : 0.5;
  s.land = SynthLandRaster(shore, lakes);
  s.hrv_noise = SynthHrvNoise(seed);
  time_t tt = time_t(unix_time);
  std::tm tm{};
  gmtime_r(&tt, &tm);
  double dec = -23.44 * DEG * std::cos(2 * M_PI * (tm.tm_yday + 10) / 365.25);
  double hours = tm.tm_hour + tm.tm_min / 60.0 + tm.tm_sec / 3600.0;
  s.sun_sin_dec = std::sin(dec);
  s.sun_cos_dec = std::cos(dec);
  s.sun_hour_deg = (hours - 12.0) * 15.0;
  return s;
}

double SynthRadianceOfTemp(int ch, double t) {
  double vc = VC[ch];
  return C1 * vc * vc * vc / (std::exp(C2 * vc / (t + BETA[ch])) - 1.0);
}

uint16_t SynthCountOfRadiance(int ch, double radiance) {
  double c = (radiance - SynthCalOffset[ch]) / SynthCalSlope[ch];
  return uint16_t(std::clamp(std::lround(c), 1L, 1023L));
}

void SynthPixel(const SynthScene& scene, double lat, double lon, SynthPixelCounts* out) {
  const uint64_t seed = scene.seed;
  const double hours = double(scene.unix_time) / 3600.0;
  const double slat = std::sin(lat * DEG), clat = std::cos(lat * DEG);

  // Sun: cosine of the solar zenith angle.
  double mu = slat * scene.sun_sin_dec +
              clat * scene.sun_cos_dec * std::cos((scene.sun_hour_deg + lon) * DEG);
  double sunlit = std::max(mu, 0.0);

  // Surface kinds.
  double land = SynthLandAt(scene.land, lat, lon);
  double desert = land * std::clamp(1.0 - std::fabs(lat - 24.0) / 11.0, 0.0, 1.0) *
                  Smooth(-19, -14, lon) * (1.0 - Smooth(58, 63, lon));
  double ice_land = land * Smooth(58, 61, lat) * Smooth(-76, -72, lon) * (1.0 - Smooth(-14, -10, lon));
  double sea_ice = (1.0 - land) * Smooth(77, 81, lat);
  double ice = std::min(1.0, ice_land + sea_ice);
  double veg = std::max(0.0, land - desert - ice_land);
  double sea = std::max(0.0, 1.0 - land - sea_ice);
  double texture = land <= 0 ? 1.0 : std::clamp(1.0 + 0.9 * Fractal(lon * KM_PER_DEG * clat, lat * KM_PER_DEG, 500.0, 25.0, 0.7, seed + 101), 0.5, 1.5);

  // Surface temperature.
  double t_sea = 271.5 + 30.0 * clat * clat;
  double diurnal = mu > 0 ? mu * (16.0 + 10.0 * desert / std::max(land, 1e-6)) : -(4.0 + 8.0 * desert / std::max(land, 1e-6));
  double t_land = t_sea + diurnal;
  double t_ice = 245.0 + 12.0 * sunlit;
  double t_surf = sea * t_sea + veg * t_land + desert * t_land + ice * t_ice;
  double wsum = sea + veg + desert + ice;
  t_surf = wsum > 0 ? t_surf / wsum : t_sea;

  // Clouds drift with a uniform westerly wind and evolve slowly. x, y: km in the drifting frame.
  // The drift is added in km, after the scaling by latitude, so neighbouring rows stay alike.
  double cx = lon - 0.55 * hours;
  double x = (lon * clat - 0.4 * hours) * KM_PER_DEG, y = (lat - 0.08 * hours) * KM_PER_DEG;
  double cover = 0, thick = 0, height = 1.0;
  double high = 0, low = 0;  // cover of the deep / high cloud and of the shallow cloud
  if (scene.cloud_cover > 0) {
    const double bias = 0.35 * (scene.cloud_cover - 0.5);
    // Large scales evolve; the fractal detail rides on them down to the pixel size.
    double big = Noise3(x / 1400.0, y / 1100.0, hours / 6.0, seed + 1) - 0.5;
    double detail = Fractal(x, y, 400.0, 3.0, 0.62, seed + 2);
    double behind = 0;
    double fronts = Fronts(cx, lat, clat, seed, &behind);
    double sunny_sea = (1.0 - land) * (Bump(lat, 34, 7) * Bump(lon, -32, 16) + Bump(lat, 37, 5) * Smooth(-2, 4, lon) *
                                                                                   (1.0 - Smooth(30, 36, lon)));
    // Synoptic weather: the fronts, the convection of the tropics, mid-latitude cloudiness,
    // and the dry subtropics (Sahara, Arabia, the Azores high, the summer Mediterranean).
    double n_high = 0.75 * fronts + 0.6 * big + 0.45 * Bump(lat, 8, 5) + 0.05 * Bump(lat, 58, 10) -
                    0.35 * Bump(lat, 25, 9) - 0.25 * sunny_sea + detail + bias - 0.32;
    double tropics = Bump(lat, 8, 6);
    if (tropics > 0.01) n_high += tropics * 0.8 * Fractal(x, y, 250.0, 6.0, 0.55, seed + 5);
    high = Smooth(0.0, 0.04, n_high);
    double deep = std::clamp(n_high / 0.6, 0.0, 1.0);

    // Shallow cloud: stratocumulus decks over the cool subtropical sea, cloud streets aligned
    // with the north-westerly wind behind the cold fronts, and fair-weather cumulus over land
    // when the sun has heated it since the morning.
    double sc = (1.0 - land) * Bump(lat, 24, 8) * Smooth(-5, -15, lon) * Smooth(-45, -30, lon);
    double along = 0.77 * x - 0.64 * y, across = 0.64 * x + 0.77 * y;
    double street_zone = (1.0 - land) * Smooth(-250, -650, behind) * Smooth(-1500, -900, behind + 900.0 * big) *
                         Smooth(40, 50, lat) * Smooth(0.5, 0.65, Noise2(x / 300.0, y / 300.0, seed + 12));
    double streets = 0;
    if (street_zone > 0.01) {
      double wobble = 5.0 * Noise2(along / 150.0, across / 60.0, seed + 6);
      double rows = 0.5 + 0.5 * std::cos(2 * M_PI * across / 24.0 + wobble);
      // Each street is a chain of cumulus: break the rows into cells along the wind.
      double cells_along = Fractal(along, across * 2.5, 60.0, 3.0, 0.75, seed + 7);
      streets = street_zone * (rows * (0.5 + 2.0 * cells_along) - 0.45);
    }
    double local_hour = std::fmod(double(scene.unix_time % 86400) / 3600.0 + lon / 15.0 + 48.0, 24.0);
    double heating = land * (1.0 - desert / std::max(land, 1e-6)) * Smooth(9.5, 12.5, local_hour) *
                     Smooth(19.5, 16.5, local_hour) * Smooth(0.3, 0.6, mu);
    // Cumulus comes in fields of a few hundred km, not everywhere at once.
    double patches = heating > 0.01 ? Smooth(0.5, 0.65, Noise2(x / 260.0, y / 260.0, seed + 10)) : 0.0;
    double cells = patches > 0 ? heating * patches * (Fractal(x, y, 40.0, 3.0, 0.7, seed + 8) - 0.09) : 0.0;
    double decks = sc > 0.01 ? sc * (detail + 0.25 + 0.12 * Fractal(x, y, 30.0, 3.0, 0.7, seed + 9)) : 0.0;
    double n_low = std::max({decks, streets, cells}) + 0.5 * bias;
    // Stratocumulus covers its pixels; cumulus cells are smaller than a pixel, so where they
    // make the cloud it covers a fraction that grows with the cells' strength.
    low = Smooth(0.0, std::max(streets, cells) > decks ? 0.1 : 0.05, n_low);
    double low_thick = std::clamp(n_low / 0.25, 0.0, 1.0);

    // Tops: the deep cloud reaches 6 to 14 km, colder where it is thicker; shallow cloud 1 to 3 km.
    double h_high = std::clamp(6.0 + 8.0 * std::pow(deep, 0.6) * (0.75 + 0.5 * Noise2(x / 300.0, y / 300.0, seed + 3)),
                               6.0, 14.0);
    double h_low = 1.0 + 2.0 * low_thick;
    cover = 1.0 - (1.0 - high) * (1.0 - low);
    height = cover > 0 ? (high * h_high + (1.0 - high) * low * h_low) / cover : h_low;
    thick = (0.4 + 0.6 * deep) * high + (1.0 - high) * (0.4 + 0.5 * low_thick);
  }
  // Tops stop at the tropopause: about 200 K in the tropics, 220 K at mid-latitudes.
  double t_cloud = std::max(201.0 + 19.0 * Smooth(15, 55, lat), t_sea + 2.0 - 6.5 * height);
  double ice_cloud = Smooth(250, 238, t_cloud);
  double thin = cover * (1.0 - thick);

  // Upper-tropospheric humidity for the water-vapour channels.
  double m = Fbm2(x / 900.0, y / 780.0, 3, seed + 4);
  double dry = std::clamp(0.45 + 1.6 * (m - 0.5) + 0.35 * Bump(lat, 25, 10) - 0.3 * Bump(lat, 7, 8) -
                              0.5 * cover * thick,
                          0.0, 1.0);

  // Reflectances of the solar channels.
  double rc = 0.25 + 0.6 * thick;
  auto surface = [&](double r_sea, double r_veg, double r_desert, double r_ice) {
    return (sea * r_sea + veg * r_veg * texture + desert * r_desert * texture + ice * r_ice) / std::max(wsum, 1e-6);
  };
  auto blend = [&](double r_surface, double r_cloud) { return r_surface * (1.0 - cover) + r_cloud * cover; };
  const double s06 = surface(0.03, 0.07, 0.30, 0.85) + 0.015, s08 = surface(0.02, 0.28, 0.38, 0.80);
  const double c06 = rc + 0.015, c08 = rc * 0.98;
  double r06 = blend(s06, c06);
  double r08 = blend(s08, c08);
  double r16 = blend(surface(0.01, 0.18, 0.48, 0.12), rc * (0.78 - 0.40 * ice_cloud));
  double r39 = blend(surface(0.01, 0.04, 0.15, 0.01), 0.18 - 0.14 * ice_cloud);

  auto vis = [&](double r, double sun_irr, int ch) {
    return SynthCountOfRadiance(ch, r * sunlit * sun_irr);
  };
  out->counts[0] = 0;
  out->counts[1] = vis(r06, SUN_VIS06, 1);
  out->counts[2] = vis(r08, SUN_VIS08, 2);
  out->counts[3] = vis(r16, SUN_IR16, 3);
  // HRV of the pixel, and of its clear and cloudy parts (the blend is linear in the cover).
  auto hrv_count = [&](double r06_, double r08_) {
    return ((0.45 * r06_ + 0.55 * r08_) * sunlit * SUN_HRV - HRV_OFFSET) / HRV_SLOPE;
  };
  out->hrv = float(std::clamp(hrv_count(r06, r08), 1.0, 1023.0));
  out->hrv_parts = {float(hrv_count(s06, s08)), float(hrv_count(c06, c08)), float(cover), float(x), float(y)};

  // Infrared: clear-sky and cloud-top brightness temperatures per channel, mixed by cover.
  auto mix = [&](double clear, double cloud) { return clear * (1.0 - cover) + cloud * cover; };
  double t108 = mix(t_surf - 1.0, t_cloud);
  double t120 = mix(t_surf - 2.0 - 1.5 * (1.0 - dry), t_cloud - 0.8) - 2.5 * thin * ice_cloud;
  double t087 = mix(t_surf - 2.0 - 7.0 * desert, t_cloud - 1.5 + 2.5 * ice_cloud);
  double t097 = mix(t_surf - 24.0, std::max(200.0, t_cloud - 2.0));
  double t134 = mix(0.6 * t_surf + 0.4 * 222.0 - 3.0, std::max(218.0, t_cloud) - 1.0);
  double t62 = 226.0 + 20.0 * dry, t73 = 244.0 + 20.0 * dry;
  double w62 = cover * std::clamp((t62 - t_cloud) / 8.0, 0.0, 1.0);
  double w73 = cover * std::clamp((t73 - t_cloud) / 8.0, 0.0, 1.0);
  t62 = t62 * (1.0 - w62) + w62 * std::min(t_cloud, t62);
  t73 = t73 * (1.0 - w73) + w73 * std::min(t_cloud, t73);
  double t39 = mix(t_surf - 1.0 - 4.0 * desert, t_cloud - 1.0 - 1.5 * (1.0 - ice_cloud));

  out->counts[4] = SynthCountOfRadiance(4, FastRadiance(4, t39) + r39 * sunlit * SUN_IR39);
  out->counts[5] = SynthCountOfRadiance(5, FastRadiance(5, t62));
  out->counts[6] = SynthCountOfRadiance(6, FastRadiance(6, t73));
  out->counts[7] = SynthCountOfRadiance(7, FastRadiance(7, t087));
  out->counts[8] = SynthCountOfRadiance(8, FastRadiance(8, t097));
  out->counts[9] = SynthCountOfRadiance(9, FastRadiance(9, t108));
  out->counts[10] = SynthCountOfRadiance(10, FastRadiance(10, t120));
  out->counts[11] = SynthCountOfRadiance(11, FastRadiance(11, t134));
}
