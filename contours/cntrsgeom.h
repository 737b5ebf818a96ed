// Projection of geographic vertices into the displayed image rectangle; no GTK, no shapelib.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

// The displayed image rectangle in image coordinates of the 3712 grid (x = 3712 - column,
// y = 3712 - line), as the "rect-*" settings give it.
struct CntrsView {
  int x = 0, y = 0, width = 0, height = 0;
  double sub_lon = 0.0;  // sub-satellite longitude of the image the lines are drawn over
  // Over an FCI image: its 1 km display of the 2 km window of the rectangle (FciWindowOfRect),
  // placed in the same units (a third of a display pixel) as MSG's.
  bool fci = false;
};

// The display polylines of a layer: vertex pairs (x, y) relative to the view corner, one run per
// line. starts[i] is the first pair of line i, starts.back() the pair count.
struct CntrsPieces {
  std::vector<float> xy;
  std::vector<std::size_t> starts{0};
  std::size_t projected = 0;  // vertices handed to the projection
  std::size_t lines() const { return starts.size() - 1; }
  std::size_t size(std::size_t i) const { return starts[i + 1] - starts[i]; }
  const float* line(std::size_t i) const { return xy.data() + 2 * starts[i]; }
};

// Half width and height of the triangle that marks a point, in image pixels.
inline constexpr double CNTRS_MARK_HALF = 0.29, CNTRS_MARK_HEIGHT = 0.5;

// One vertex (degrees) to view coordinates; false when it is not a finite position inside
// +-90/+-180 or the satellite cannot see it.
bool CntrsProject(double lon, double lat, const CntrsView& view, double* x, double* y);

// Appends the visible pieces of the line lon[i], lat[i] to out: the line is cut where it leaves
// the Earth disk (an unplaceable vertex ends a piece) and clipped to the view, so each piece
// lies inside [0, width] x [0, height]. Returns the number of pieces appended.
std::size_t CntrsAddLine(std::span<const double> lon, std::span<const double> lat, const CntrsView& view,
                         CntrsPieces* out);

// Appends one closed triangle marker per point strictly inside the view. Returns the number of
// markers appended.
std::size_t CntrsAddPoints(std::span<const double> lon, std::span<const double> lat, const CntrsView& view,
                           CntrsPieces* out);
