// Channel layer loading: from the segment files of one channel and slot to its count image and
// grey display image for a view window.
#pragma once

#include <opencv2/core.hpp>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "data/suplremap.h"
#include "data/xrit.h"

inline constexpr int DISK_ROWS = 3712;       // lines and columns of channels 1..11
inline constexpr int STRIP_ROWS = 928;       // segments 7 and 8 of channels 1..11
inline constexpr int32_t HRV_EAST_DEFAULT = 1947;
inline constexpr int32_t HRV_GRID_SIZE = 11136;  // columns and lines of the HRV grid
// HRV columns and lines added on every side of the projected window before cutting the strip,
// so each output pixel that projects has its bilinear neighbours.
inline constexpr int LAYER_HRV_MARGIN = 4;

inline constexpr int LAYER_HRV_KEY = 8;

// The resampling maps of one HRV window and east column, in the fixed-point form the remap
// uses. Owned by the caller, reused while window and HRV coverage stay the same: computing
// them costs two projections per output pixel, applying them one bilinear lookup.
struct LayerHrvMaps {
  // window x, y, w, h, upper east column, lower east column and north line (0: none), valid flag
  int32_t key[LAYER_HRV_KEY] = {};
  int32_t crop[4] = {};  // the rectangle of the north-up HRV frame that the maps sample
  SuplSepMap sep;        // the resampling maps in separable form (a few kB, not 6 bytes a pixel)
};

// Bounding box (x, y, width, height) in the HRV grid (columns from the east, lines from the
// south) of the projected border of the view window (x, y, width, height of the north-up
// 3712 image); values truncated toward zero, sides at least 1.
std::array<int32_t, 4> LayerHrvWindow(const int32_t window[4]);

inline constexpr int SEGMENT_COUNT = 8;    // segments of channels 1..11 on the whole disk
inline constexpr int HRV_SEGMENT_COUNT = 24;

// The segments a view window (x, y, width, height of the north-up 3712 image) needs, as
// {first, last} counted from the south (segment s holds lines 464 (s - 1) + 1 to 464 s): 1..8
// for channels 1..11, 1..24 for HRV (the lines of LayerHrvWindow with the resampling margin).
// {0, -1} when the window holds no row of the disk.
std::pair<int, int> LayerSegments(const int32_t window[4], bool hrv);

// Count image (CV_16UC1) of one channel for the view window, from the full path of its
// reference segment (7, or 19 for HRV; the other segments' names follow from it): the window
// cut from the north-up disk, or for HRV the HRV grid resampled onto a grid three times finer
// than the window. Only the segments the window touches (LayerSegments) are read. The window's
// width and height are shrunk in place to end at the edges of the 3712 x 3712 disk. For HRV
// *east (0: 1947) is replaced by the prologue's upper east column when the prologue can be
// read; a line of the prologue's lower window holds HRV column ch at raw pixel ch - lower east,
// a line of the upper window at ch - east (every line so without a prologue); output pixels off
// the Earth or outside both windows are 0; maps (may be null) caches the resampling.
// Empty, with a warning, when the path is no segment name, the window has no pixel on the
// disk, the path's service never sends a segment the window needs (rapid scan: 6 to 8), none of
// the needed segments can be read, or memory runs out; a refused window is left as it was.
cv::Mat LayerLoadMsg(const char* path, int32_t window[4], bool hrv, int32_t* east,
                     LayerHrvMaps* maps = nullptr);

// images of a channel layer: [0] LayerLoadMsg's counts, [1] the grey display image of three
// times the window (SuplGray2Rgb, factor 3, or 1 for HRV), [2] empty. nullopt with the
// warning "%s" (path) when either cannot be made. A segment that cannot be used, or holds only
// some of its lines, costs only its own lines (0). *damaged (may be null) receives the first
// such segment the window needed, as "NAME(what)" (NAME without folder, what the text of its
// warning, e.g. "short: 232 of 464 lines"), whether the layer could be made or not; empty when
// every segment read was whole. An HRV east column (the prologue's or *hrv_east) outside
// 1..11136 is replaced by 1947, with a warning.
std::optional<std::array<cv::Mat, 3>> LayerLoadChannel(const char* path, int id,
                                                       int32_t window[4], int32_t* hrv_east,
                                                       LayerHrvMaps* maps = nullptr,
                                                       std::string* damaged = nullptr);
