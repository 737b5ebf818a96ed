// Reading one channel of one FCI chunk file through netCDF: its rows, its calibration, and the
// counts of a rectangle of it.
#include <fcntl.h>
#include <netcdf.h>
#include <netcdf_filter.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <string>
#include <vector>

#include "data/fci.h"
#include "data/fci_jls.h"

namespace {

// netCDF and the serial HDF5 under it are not thread-safe: one file is read at a time.
std::mutex& LibraryLock() {
  static std::mutex m;
  return m;
}

class NcFile {
 public:
  NcFile() = default;
  ~NcFile() {
    if (id_ >= 0) nc_close(id_);
  }
  NcFile(const NcFile&) = delete;
  NcFile& operator=(const NcFile&) = delete;
  // Opens a regular file read-only; a FIFO or device is refused without blocking on it.
  bool Open(const char* path, std::string* err) {
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    const bool regular = fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (fd >= 0) close(fd);
    if (!regular) {
      *err = fd < 0 ? "cannot be opened" : "not a regular file";
      return false;
    }
    const int rc = nc_open(path, NC_NOWRITE, &id_);
    if (rc != NC_NOERR) {
      id_ = -1;
      *err = std::string("not a readable netCDF-4 file: ") + nc_strerror(rc);
      return false;
    }
    return true;
  }
  int id() const { return id_; }

 private:
  int id_ = -1;
};

double Scalar(int grp, const char* name, double fallback) {
  int var;
  double v;
  if (nc_inq_varid(grp, name, &var) != NC_NOERR) return fallback;
  if (nc_get_var_double(grp, var, &v) != NC_NOERR || !std::isfinite(v)) return fallback;
  // A coefficient set to its fill value means the product has none.
  double fill;
  if (nc_get_att_double(grp, var, "_FillValue", &fill) == NC_NOERR && v == fill) return fallback;
  return v;
}

double Att(int grp, int var, const char* name, double fallback) {
  size_t len = 0;
  if (nc_inq_attlen(grp, var, name, &len) != NC_NOERR || len != 1) return fallback;
  double v;
  return nc_get_att_double(grp, var, name, &v) == NC_NOERR && std::isfinite(v) ? v : fallback;
}

// Mean of the valid Earth-Sun distances (km) of the chunk; 0 when there are none.
double SunDistance(int root) {
  int grp, var, ndims, dim;
  if (nc_inq_grp_full_ncid(root, "/state/celestial", &grp) != NC_NOERR ||
      nc_inq_varid(grp, "earth_sun_distance", &var) != NC_NOERR ||
      nc_inq_varndims(grp, var, &ndims) != NC_NOERR || ndims > 1)
    return 0;
  size_t n = 1;
  if (ndims == 1 && (nc_inq_vardimid(grp, var, &dim) != NC_NOERR || nc_inq_dimlen(grp, dim, &n) != NC_NOERR))
    return 0;
  if (n == 0 || n > 1000000) return 0;
  std::vector<double> v(n);
  if (nc_get_var_double(grp, var, v.data()) != NC_NOERR) return 0;
  const double fill = Att(grp, var, "_FillValue", NAN);
  double sum = 0;
  size_t count = 0;
  for (double d : v)
    if (std::isfinite(d) && d != fill && d > 1e8 && d < 2e8) sum += d, count++;
  return count ? sum / double(count) : 0;
}

// Opens the channel's group and reads its meta data; on success *grp and *var name the group
// and its effective_radiance.
bool Meta(int root, int channel, FciChunkMeta* m, int* grp, int* var, std::string* err) {
  const FciChannel& ch = FciChannels[channel];
  const std::string path = std::string("/data/") + ch.name + "/measured";
  if (nc_inq_grp_full_ncid(root, path.c_str(), grp) != NC_NOERR ||
      nc_inq_varid(*grp, "effective_radiance", var) != NC_NOERR) {
    *err = std::string("no ") + ch.name;
    return false;
  }
  int ndims = 0, dims[2];
  nc_type type;
  size_t rows = 0, cols = 0;
  if (nc_inq_varndims(*grp, *var, &ndims) != NC_NOERR || ndims != 2 ||
      nc_inq_vartype(*grp, *var, &type) != NC_NOERR || type != NC_USHORT ||
      nc_inq_vardimid(*grp, *var, dims) != NC_NOERR || nc_inq_dimlen(*grp, dims[0], &rows) != NC_NOERR ||
      nc_inq_dimlen(*grp, dims[1], &cols) != NC_NOERR) {
    *err = std::string(ch.name) + " effective_radiance is not a 2-D uint16 array";
    return false;
  }
  const double first = Scalar(*grp, "start_position_row", -1), last = Scalar(*grp, "end_position_row", -1);
  if (first < 1 || last > ch.grid || last - first + 1 != double(rows) || cols != size_t(ch.grid)) {
    *err = std::string(ch.name) + " rows or columns do not fit the grid";
    return false;
  }
  // Columns must run from the west (x's scale negative) and rows from the south (y's positive),
  // or every pixel would land mirrored.
  int vx, vy;
  if ((nc_inq_varid(*grp, "x", &vx) == NC_NOERR && Att(*grp, vx, "scale_factor", -1) > 0) ||
      (nc_inq_varid(*grp, "y", &vy) == NC_NOERR && Att(*grp, vy, "scale_factor", 1) < 0)) {
    *err = std::string(ch.name) + " grid runs in another direction";
    return false;
  }
  m->first_row = int(first);
  m->last_row = int(last);
  m->columns = int(cols);
  size_t nparams = 0;
  m->compressed = nc_inq_var_filter_info(*grp, *var, FCI_JLS_FILTER, &nparams, nullptr) == NC_NOERR;
  FciCalib& c = m->calib;
  c.scale = Att(*grp, *var, "scale_factor", 1);
  c.offset = Att(*grp, *var, "add_offset", 0);
  c.warm_scale = Att(*grp, *var, "warm_scale_factor", 0);
  c.warm_offset = Att(*grp, *var, "warm_add_offset", 0);
  c.fill = Att(*grp, *var, "_FillValue", FCI_NO_COUNT);
  double range[2] = {0, 65535};
  size_t len = 0;
  if (nc_inq_attlen(*grp, *var, "valid_range", &len) == NC_NOERR && len == 2 &&
      nc_get_att_double(*grp, *var, "valid_range", range) == NC_NOERR) {
    c.valid_min = range[0];
    c.valid_max = range[1];
  } else {
    c.valid_min = 0;
    c.valid_max = 65535;
  }
  c.wavenumber = Scalar(*grp, "radiance_to_bt_conversion_coefficient_wavenumber", 0);
  c.a = Scalar(*grp, "radiance_to_bt_conversion_coefficient_a", 0);
  c.b = Scalar(*grp, "radiance_to_bt_conversion_coefficient_b", 0);
  c.c1 = Scalar(*grp, "radiance_to_bt_conversion_constant_c1", 0);
  c.c2 = Scalar(*grp, "radiance_to_bt_conversion_constant_c2", 0);
  c.solar_irradiance = Scalar(*grp, "channel_effective_solar_irradiance", 0);
  c.sun_distance_km = ch.solar ? SunDistance(root) : 0;
  return true;
}

}  // namespace

bool FciReadMeta(const char* path, int channel, FciChunkMeta* meta, std::string* err) {
  if (channel < 0 || channel >= FCI_CHANNEL_COUNT) return *err = "no such channel", false;
  FciJlsRegister();
  std::lock_guard<std::mutex> lock(LibraryLock());
  NcFile f;
  int grp, var;
  return f.Open(path, err) && Meta(f.id(), channel, meta, &grp, &var, err);
}

bool FciReadRows(const char* path, int channel, int first_row, int last_row, int first_col,
                 int cols, cv::Mat* dst, FciChunkMeta* meta, std::string* err) {
  if (channel < 0 || channel >= FCI_CHANNEL_COUNT) return *err = "no such channel", false;
  const int rows = last_row - first_row + 1;
  if (rows < 1 || cols < 1 || dst->type() != CV_16UC1 || dst->rows != rows || dst->cols != cols)
    return *err = "bad destination", false;
  FciJlsRegister();
  std::lock_guard<std::mutex> lock(LibraryLock());
  NcFile f;
  int grp, var;
  if (!f.Open(path, err) || !Meta(f.id(), channel, meta, &grp, &var, err)) return false;
  if (first_col < 0 || first_col + cols > meta->columns) return *err = "columns outside the grid", false;
  // Only the rows the chunk holds are read; the others of dst stay as they were.
  const int a = std::max(first_row, meta->first_row), b = std::min(last_row, meta->last_row);
  if (a > b) return true;
  const int n = b - a + 1;
  std::vector<uint16_t> buf(size_t(n) * size_t(cols));
  const size_t start[2] = {size_t(a - meta->first_row), size_t(first_col)};
  const size_t count[2] = {size_t(n), size_t(cols)};
  const int rc = nc_get_vara_ushort(grp, var, start, count, buf.data());
  if (rc != NC_NOERR) return *err = std::string("damaged counts: ") + nc_strerror(rc), false;
  // The file's rows run from the south; dst is north-up, its row 0 is last_row.
  for (int r = 0; r < n; r++)
    std::copy_n(buf.data() + size_t(n - 1 - r) * size_t(cols), cols, dst->ptr<uint16_t>(last_row - b + r));
  return true;
}
