// How the raw lines of one channel load land in the north-up frame the view window is cut
// from: shared by the channel loader (data/layer.cpp) and its HRV part (data/layerhrv.cpp).
#pragma once

#include <array>
#include <cstdint>

#include "data/layer.h"

// Lines south..north (1-based from the south) of one HRV window: raw pixel p of such a line
// lands at frame column cols - 1 - p - shift, and raw pixels past `last` hold no data.
struct LayerFramePart {
  int32_t south = 0, north = -1, shift = 0, last = 0;
};

struct LayerFrame {
  int rows = 0, cols = 0, count = 0;  // lines of the grid, raw pixels of a line, segments
  int parts = 0;  // 0: every line holds all its raw pixels at shift 0
  std::array<LayerFramePart, 2> part{};
};

// Where the raw pixels of raw line q (0-based from the south) land. False when the line
// belongs to no window and holds no data.
inline bool LayerLinePlace(const LayerFrame& f, int q, int* shift, int* last) {
  if (f.parts == 0) {
    *shift = 0;
    *last = f.cols - 1;
    return true;
  }
  for (int i = 0; i < f.parts; i++) {
    const LayerFramePart& p = f.part[size_t(i)];
    if (q + 1 < p.south || q + 1 > p.north) continue;
    *shift = p.shift;
    *last = p.last;
    return true;
  }
  return false;
}

// Clamps rect (x, y, w, h of the frame) in place to end at the frame's bottom (rows) and right
// edge (right, exclusive). False when nothing of it lies on rows 0.. and right of column left.
bool LayerClampRect(int32_t r[4], int rows, int left, int right);

// The HRV part of a load: sets *east (the prologue's upper east column, else *east or 1947),
// the frame's windows from the prologue's planned coverage, and rect, the crop of the frame the
// maps sample (kept in maps with them while window and coverage stay the same; *have_maps then).
// key receives the maps' key. False, with a warning, when the window has nothing on the HRV grid.
bool LayerHrvCrop(const char* path, const int32_t window[4], int32_t* east, LayerFrame* frame,
                  LayerHrvMaps* maps, int32_t rect[4], int32_t key[LAYER_HRV_KEY], bool* have_maps);

// Makes the resampling maps of the window into maps, for the crop of the frame whose upper
// window begins at HRV column east.
void LayerHrvMapsMake(const int32_t window[4], int32_t east, const int32_t crop[4], LayerHrvMaps* maps);
