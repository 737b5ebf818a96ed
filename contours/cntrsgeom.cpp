#include "contours/cntrsgeom.h"

#include <algorithm>
#include <cmath>

#include "data/fci_view.h"
#include "data/geo.h"

namespace {

constexpr double GRID = 3712.0;

struct Pt {
  double x, y;
};

void Push(CntrsPieces* out, double x, double y) {
  out->xy.push_back(float(x));
  out->xy.push_back(float(y));
}

// Ends the piece under construction: kept with two or more vertices, else dropped.
bool Close(CntrsPieces* out) {
  std::size_t begin = out->starts.back();
  std::size_t count = out->xy.size() / 2 - begin;
  if (count >= 2) {
    out->starts.push_back(out->xy.size() / 2);
    return true;
  }
  out->xy.resize(2 * begin);
  return false;
}

// Liang-Barsky: clips the segment a-b to [0, w] x [0, h]; false when nothing of it is inside.
bool Clip(Pt a, Pt b, double w, double h, Pt* ca, Pt* cb, bool* a_in, bool* b_in) {
  double t0 = 0.0, t1 = 1.0;
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {a.x, w - a.x, a.y, h - a.y};
  for (int i = 0; i < 4; i++) {
    if (p[i] == 0.0) {
      if (q[i] < 0.0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0.0) {
      if (t > t1) return false;
      if (t > t0) t0 = t;
    } else {
      if (t < t0) return false;
      if (t < t1) t1 = t;
    }
  }
  *a_in = t0 == 0.0;
  *b_in = t1 == 1.0;
  // Points cut at the border are snapped onto it: rounding must not leave them a hair outside.
  auto inside = [w, h](Pt p) { return Pt{std::clamp(p.x, 0.0, w), std::clamp(p.y, 0.0, h)}; };
  *ca = *a_in ? a : inside(Pt{a.x + t0 * dx, a.y + t0 * dy});
  *cb = *b_in ? b : inside(Pt{a.x + t1 * dx, a.y + t1 * dy});
  return true;
}

}  // namespace

bool CntrsProject(double lon, double lat, const CntrsView& view, double* x, double* y) {
  // The projection clamps out-of-range degrees onto the border; a vertex outside them is bad
  // data, not a point on the border.
  if (!(lat >= -90.0 && lat <= 90.0 && lon >= -180.0 && lon <= 180.0)) return false;
  double column = 0, line = 0;
  if (view.fci) {
    const int32_t rect[4] = {view.x, view.y, view.width, view.height};
    int32_t window[4];
    FciWindowOfRect(rect, window);
    double u = 0, v = 0;
    if (!FciLatLonToGrid(FCI_GRID_1KM, lat, lon, &column, &line, view.sub_lon)) return false;
    FciGridToDisplay(window, column, line, &u, &v);
    *x = u / 3.0;
    *y = v / 3.0;
    return true;
  }
  if (GeoLatLonToPixel(lat, lon, &column, &line, 0, view.sub_lon) != 0) return false;
  *x = GRID - column - view.x;
  *y = GRID - line - view.y;
  return true;
}

std::size_t CntrsAddLine(std::span<const double> lon, std::span<const double> lat, const CntrsView& view,
                         CntrsPieces* out) {
  const std::size_t n = std::min(lon.size(), lat.size());
  const double w = view.width, h = view.height;
  std::size_t pieces = 0;
  bool have_prev = false, open = false;
  Pt prev{};
  for (std::size_t i = 0; i < n; i++) {
    Pt cur{};
    out->projected++;
    if (!CntrsProject(lon[i], lat[i], view, &cur.x, &cur.y)) {
      // Off the disk: the line is not joined across space.
      if (open) pieces += Close(out);
      open = have_prev = false;
      continue;
    }
    if (have_prev) {
      Pt ca{}, cb{};
      bool a_in = false, b_in = false;
      if (Clip(prev, cur, w, h, &ca, &cb, &a_in, &b_in)) {
        if (!open || !a_in) {
          if (open) pieces += Close(out);
          Push(out, ca.x, ca.y);
          open = true;
        }
        Push(out, cb.x, cb.y);
        if (!b_in) {
          pieces += Close(out);
          open = false;
        }
      } else if (open) {
        pieces += Close(out);
        open = false;
      }
    }
    prev = cur;
    have_prev = true;
  }
  if (open) pieces += Close(out);
  return pieces;
}

std::size_t CntrsAddPoints(std::span<const double> lon, std::span<const double> lat, const CntrsView& view,
                           CntrsPieces* out) {
  const std::size_t n = std::min(lon.size(), lat.size());
  std::size_t marks = 0;
  for (std::size_t i = 0; i < n; i++) {
    double x = 0, y = 0;
    out->projected++;
    if (!CntrsProject(lon[i], lat[i], view, &x, &y)) continue;
    const float fx = float(x), fy = float(y);
    if (!(fx > 0.0f && fx < float(view.width) && fy > 0.0f && fy < float(view.height))) continue;
    const float left = float(double(fx) - CNTRS_MARK_HALF);
    const float right = float(double(left) + 2 * CNTRS_MARK_HALF);
    const float below = float(double(fy) + CNTRS_MARK_HEIGHT);
    const float tri[8] = {fx, fy, left, below, right, below, fx, fy};
    out->xy.insert(out->xy.end(), tri, tri + 8);
    out->starts.push_back(out->xy.size() / 2);
    marks++;
  }
  return marks;
}
