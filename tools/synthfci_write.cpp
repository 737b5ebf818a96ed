// Writing FCI chunk files: netCDF-4 with the product's groups, variables and attributes.
#include <netcdf.h>
#include <netcdf_filter.h>

#include <cmath>
#include <cstring>

#include "data/fci_jls.h"
#include "tools/synthfci.h"

const SynthFciCal SynthFciCals[FCI_CHANNEL_COUNT] = {
    {0.00485, -0.010, 0, 0, 0, 52.0},  // vis_04
    {0.00560, -0.011, 0, 0, 0, 60.0},  // vis_05
    {0.00597, -0.012, 0, 0, 0, 64.0},  // vis_06
    {0.00672, -0.013, 0, 0, 0, 72.0},  // vis_08
    {0.00653, -0.013, 0, 0, 0, 70.0},  // vis_09
    {0.00448, -0.009, 0, 0, 0, 48.0},  // nir_13
    {0.00578, -0.012, 0, 0, 0, 62.0},  // nir_16
    {0.00243, -0.005, 0, 0, 0, 26.0},  // nir_22
    {0.00130, -0.005, 2569.0, 0.9954, 3.05, 0},  // ir_38
    {0.0160, -0.08, 1598.0, 0.9962, 2.12, 0},    // wv_63
    {0.0260, -0.13, 1363.0, 0.9991, 0.48, 0},    // wv_73
    {0.0380, -0.19, 1149.0, 0.9996, 0.18, 0},    // ir_87
    {0.0450, -0.22, 1036.0, 0.9998, 0.06, 0},    // ir_97
    {0.0500, -0.25, 953.0, 0.9983, 0.62, 0},     // ir_105
    {0.0560, -0.28, 812.0, 0.9988, 0.40, 0},     // ir_123
    {0.0580, -0.29, 752.0, 0.9989, 0.41, 0},     // ir_133
};

namespace {

constexpr float FLOAT_FILL = 9.96921e36f;  // netCDF's default float fill

// Collects the first netCDF failure of a sequence of calls.
struct Nc {
  int rc = NC_NOERR;
  const char* what = "";
  void operator()(int r, const char* w) {
    if (rc == NC_NOERR && r != NC_NOERR) rc = r, what = w;
  }
};

class NcOut {
 public:
  ~NcOut() {
    if (id >= 0) nc_close(id);
  }
  int id = -1;
};

void Text(Nc& nc, int grp, int var, const char* name, const char* value) {
  nc(nc_put_att_text(grp, var, name, std::strlen(value), value), name);
}

void Double(Nc& nc, int grp, int var, const char* name, double v) {
  nc(nc_put_att_double(grp, var, name, NC_DOUBLE, 1, &v), name);
}

int ScalarFloat(Nc& nc, int grp, const char* name, double v, const char* units) {
  int var = -1;
  nc(nc_def_var(grp, name, NC_FLOAT, 0, nullptr, &var), name);
  nc(nc_def_var_fill(grp, var, 0, &FLOAT_FILL), name);
  Text(nc, grp, var, "units", units);
  const float f = v == 0 ? FLOAT_FILL : float(v);
  nc(nc_put_var_float(grp, var, &f), name);
  return var;
}

// A (y, x) image variable, chunked as one piece, through the JPEG-LS filter when compressing.
int Image(Nc& nc, int grp, const char* name, nc_type type, const int dims[2], size_t rows, size_t cols,
          bool compress) {
  int var = -1;
  nc(nc_def_var(grp, name, type, 2, dims, &var), name);
  const size_t chunk[2] = {rows, cols};
  nc(nc_def_var_chunking(grp, var, NC_CHUNKED, chunk), name);
  if (compress) {
    const unsigned user[FCI_JLS_USER_PARAMS] = {};  // the defaults: lossless, bits of the type
    nc(nc_def_var_filter(grp, var, FCI_JLS_FILTER, FCI_JLS_USER_PARAMS, user), name);
  }
  return var;
}

void Band(Nc& nc, int data, const SynthFciBand& b, bool compress) {
  const FciChannel& ch = FciChannels[b.channel];
  const SynthFciCal& cal = SynthFciCals[b.channel];
  const size_t rows = size_t(b.last_row - b.first_row + 1), cols = size_t(ch.grid);
  int cg = -1, g = -1, dy = -1, dx = -1;
  nc(nc_def_grp(data, ch.name, &cg), ch.name);
  nc(nc_def_grp(cg, "measured", &g), "measured");
  nc(nc_def_dim(g, "y", rows, &dy), "y");
  nc(nc_def_dim(g, "x", cols, &dx), "x");
  const int dims[2] = {dy, dx};

  int rad = Image(nc, g, "effective_radiance", NC_USHORT, dims, rows, cols, compress);
  const unsigned short fill = FCI_NO_COUNT, range[2] = {0, SYNTH_FCI_MAX_COUNT};
  nc(nc_def_var_fill(g, rad, 0, &fill), "_FillValue");
  nc(nc_put_att_ushort(g, rad, "valid_range", NC_USHORT, 2, range), "valid_range");
  Double(nc, g, rad, "scale_factor", cal.scale);
  Double(nc, g, rad, "add_offset", cal.offset);
  Text(nc, g, rad, "long_name", "Effective Radiance");
  Text(nc, g, rad, "units", "mW.m-2.sr-1.(cm-1)-1");
  Text(nc, g, rad, "ancillary_variables", "pixel_quality");
  int quality = Image(nc, g, "pixel_quality", NC_UBYTE, dims, rows, cols, compress);
  int index = Image(nc, g, "index_map", NC_USHORT, dims, rows, cols, compress);
  nc(nc_def_var_fill(g, index, 0, &fill), "index_map");

  // Scan angles: x from the west edge (positive towards the west), y from the south.
  const double step = ch.grid == FCI_GRID_1KM ? 2.79435763233999e-05 : 5.58871526031607e-05;
  const double offset = step * (ch.grid + 1) / 2.0;
  int vx = -1, vy = -1;
  nc(nc_def_var(g, "x", NC_USHORT, 1, &dx, &vx), "x");
  Double(nc, g, vx, "scale_factor", -step);
  Double(nc, g, vx, "add_offset", offset);
  Text(nc, g, vx, "units", "radian");
  nc(nc_def_var(g, "y", NC_USHORT, 1, &dy, &vy), "y");
  Double(nc, g, vy, "scale_factor", step);
  Double(nc, g, vy, "add_offset", -offset);
  Text(nc, g, vy, "units", "radian");
  int first = -1, last = -1;
  nc(nc_def_var(g, "start_position_row", NC_INT, 0, nullptr, &first), "start_position_row");
  nc(nc_def_var(g, "end_position_row", NC_INT, 0, nullptr, &last), "end_position_row");
  nc(nc_put_var_int(g, first, &b.first_row), "start_position_row");
  nc(nc_put_var_int(g, last, &b.last_row), "end_position_row");

  ScalarFloat(nc, g, "radiance_to_bt_conversion_coefficient_wavenumber", cal.wavenumber, "cm-1");
  ScalarFloat(nc, g, "radiance_to_bt_conversion_coefficient_a", cal.a, "1");
  ScalarFloat(nc, g, "radiance_to_bt_conversion_coefficient_b", cal.b, "K");
  ScalarFloat(nc, g, "radiance_to_bt_conversion_constant_c1", ch.solar ? 0 : SYNTH_FCI_C1, "mW.m-2.sr-1.(cm-1)-4");
  ScalarFloat(nc, g, "radiance_to_bt_conversion_constant_c2", ch.solar ? 0 : SYNTH_FCI_C2, "K.cm");
  // mW m-2 sr-1 (cm-1)-1 to W m-2 sr-1 um-1: 10 / lambda^2 with lambda in micrometres.
  ScalarFloat(nc, g, "radiance_unit_conversion_coefficient", 10.0 / (ch.wavelength * ch.wavelength),
              "W.mW-1.cm-1.um-1");
  ScalarFloat(nc, g, "channel_effective_solar_irradiance", cal.irradiance, "mW.m-2.(cm-1)-1");
  if (nc.rc != NC_NOERR) return;

  std::vector<uint16_t> xs(cols), ys(rows);
  for (size_t i = 0; i < cols; i++) xs[i] = uint16_t(i + 1);
  for (size_t i = 0; i < rows; i++) ys[i] = uint16_t(b.first_row + int(i));
  nc(nc_put_var_ushort(g, vx, xs.data()), "x");
  nc(nc_put_var_ushort(g, vy, ys.data()), "y");
  const cv::Mat counts = b.counts.isContinuous() ? b.counts : b.counts.clone();
  nc(nc_put_var_ushort(g, rad, counts.ptr<uint16_t>()), "effective_radiance");
  // Quality 0 where there is a count, 1 (no value) elsewhere; one index into state/ tables.
  cv::Mat q = (counts == FCI_NO_COUNT) / 255;
  cv::Mat idx(counts.size(), CV_16UC1, cv::Scalar(1));
  idx.setTo(FCI_NO_COUNT, counts == FCI_NO_COUNT);
  nc(nc_put_var_uchar(g, quality, q.ptr<uint8_t>()), "pixel_quality");
  nc(nc_put_var_ushort(g, index, idx.ptr<uint16_t>()), "index_map");
}

void Projection(Nc& nc, int data) {
  int p = -1;
  nc(nc_def_var(data, "mtg_geos_projection", NC_INT, 0, nullptr, &p), "mtg_geos_projection");
  Text(nc, data, p, "grid_mapping_name", "geostationary");
  Double(nc, data, p, "semi_major_axis", 6378137.0);
  Double(nc, data, p, "inverse_flattening", 298.257223563);
  Double(nc, data, p, "perspective_point_height", 35786400.0);
  Double(nc, data, p, "longitude_of_projection_origin", 0.0);
  Text(nc, data, p, "sweep_angle_axis", "y");
}

void State(Nc& nc, int root, double sun_km) {
  int state = -1, cel = -1, plat = -1, di = -1, dp = -1, v = -1;
  nc(nc_def_grp(root, "state", &state), "state");
  nc(nc_def_grp(state, "celestial", &cel), "celestial");
  nc(nc_def_dim(cel, "index", 2, &di), "index");
  nc(nc_def_var(cel, "earth_sun_distance", NC_DOUBLE, 1, &di, &v), "earth_sun_distance");
  Text(nc, cel, v, "units", "km");
  const double d[2] = {sun_km, sun_km};
  nc(nc_put_var_double(cel, v, d), "earth_sun_distance");
  nc(nc_def_grp(state, "platform", &plat), "platform");
  nc(nc_def_dim(plat, "index", 2, &dp), "index");
  nc(nc_def_var(plat, "subsatellite_longitude", NC_DOUBLE, 1, &dp, &v), "subsatellite_longitude");
  Text(nc, plat, v, "units", "degrees_east");
  const double lon[2] = {0, 0};
  nc(nc_put_var_double(plat, v, lon), "subsatellite_longitude");
}

bool Finish(Nc& nc, NcOut& f, const std::string& path, std::string* err) {
  const int rc = nc_close(f.id);
  f.id = -1;
  nc(rc, "close");
  if (nc.rc == NC_NOERR) return true;
  *err = path + ": " + nc.what + ": " + nc_strerror(nc.rc);
  return false;
}

}  // namespace

bool SynthFciWriteBody(const std::string& path, const SynthFciBody& body, bool compress, std::string* err) {
  if (!FciJlsRegister()) return *err = "the JPEG-LS filter cannot be registered", false;
  for (const auto& b : body.bands) {
    const int rows = b.last_row - b.first_row + 1;
    if (b.channel < 0 || b.channel >= FCI_CHANNEL_COUNT || rows < 1 || b.counts.type() != CV_16UC1 ||
        b.counts.rows != rows || b.counts.cols != FciChannels[b.channel].grid)
      return *err = path + ": a band does not fit its channel's grid", false;
  }
  Nc nc;
  NcOut f;
  nc(nc_create(path.c_str(), NC_NETCDF4 | NC_NOCLOBBER, &f.id), "create");
  if (nc.rc != NC_NOERR) return Finish(nc, f, path, err);
  Text(nc, f.id, NC_GLOBAL, "platform", ("MTI" + std::to_string(body.spacecraft)).c_str());
  Text(nc, f.id, NC_GLOBAL, "data_source", "FCI");
  Text(nc, f.id, NC_GLOBAL, "title", "FCI L1c Radiances (synthetic)");
  int data = -1;
  nc(nc_def_grp(f.id, "data", &data), "data");
  Projection(nc, data);
  for (const auto& b : body.bands) Band(nc, data, b, compress);
  State(nc, f.id, body.sun_distance_km);
  return Finish(nc, f, path, err);
}

bool SynthFciWriteTrail(const std::string& path, int spacecraft, std::string* err) {
  Nc nc;
  NcOut f;
  nc(nc_create(path.c_str(), NC_NETCDF4 | NC_NOCLOBBER, &f.id), "create");
  if (nc.rc != NC_NOERR) return Finish(nc, f, path, err);
  Text(nc, f.id, NC_GLOBAL, "platform", ("MTI" + std::to_string(spacecraft)).c_str());
  Text(nc, f.id, NC_GLOBAL, "data_source", "FCI");
  Text(nc, f.id, NC_GLOBAL, "title", "FCI L1c repeat cycle trailer (synthetic)");
  return Finish(nc, f, path, err);
}

uint16_t SynthFciCount(int channel, double value, double sun_km) {
  const SynthFciCal& c = SynthFciCals[channel];
  double radiance;
  if (FciChannels[channel].solar) {
    const double d = sun_km / 149597870.7;
    radiance = value * c.irradiance / (M_PI * d * d);
  } else {
    const double vc = c.wavenumber;
    radiance = SYNTH_FCI_C1 * vc * vc * vc / std::expm1(SYNTH_FCI_C2 * vc / (c.a * value + c.b));
  }
  const double count = std::round((radiance - c.offset) / c.scale);
  return uint16_t(std::clamp(std::isfinite(count) ? count : 0.0, 0.0, double(SYNTH_FCI_MAX_COUNT)));
}
