// The latitude/longitude graticule: meridians and parallels every few degrees, projected and
// clipped like a contour file and drawn as a contour layer with labels in degrees.
#pragma once

#include <goocanvas.h>

#include <string>
#include <vector>

#include "contours/cntrsgeom.h"

struct Cntrs;

inline constexpr double CNTRS_GRID_STEP = 10.0;  // degrees between lines
inline constexpr double CNTRS_GRID_SAMPLE = 0.25;  // degrees between the vertices of a line

// One visible piece of a graticule line: which line and its label.
struct CntrsGridLine {
  bool meridian = false;
  double degrees = 0.0;  // longitude of a meridian, latitude of a parallel
  std::string label;     // "10°E", "50°N", "0°"
};

// The pieces of every meridian and parallel (multiples of step) that lie in the view: meridians
// run north to south and parallels west to east, so each piece starts at the top or the left.
// lines gets one entry per piece of out.
void CntrsGridPieces(const CntrsView& view, double step, CntrsPieces* out, std::vector<CntrsGridLine>* lines);
// Label of a line: "10°E", "20°W", "50°N", "10°S", "0°" (the equator and Greenwich).
std::string CntrsGridLabel(bool meridian, double degrees);

// The graticule for the view as a drawn layer in parent (colour "Silver", labels in font just
// inside the image at the start of each piece). NULL when no line is visible.
Cntrs* CntrsGridNew(const CntrsView& view, double step, GooCanvasItem* parent, const char* font);

// Shows the graticule of the "graticule" setting in the contour group, projected for sub_lon:
// made when on and missing or made for another longitude, removed when off. Main loop only.
void CntrsGridShow(double sub_lon, bool fci = false);
// Removes it (at exit or when the setting is switched off).
void CntrsGridFree();
