// Bilinear resampling of count images through fixed-point maps, byte for byte what OpenCV 4's
// cv::remap gives for 16-bit images, with the grey display image made in the same pass.
#pragma once

#include <opencv2/core.hpp>

#include <cstdint>
#include <functional>
#include <vector>


// Fixed-point maps (as cv::convertMaps makes them: integer position and a 5-bit fraction per
// axis) in separable form. The HRV grid and the output grid are the same projection at two
// scales, so output column i reads source column x[i] and output row j source row y[j] almost
// everywhere; row j takes that position in columns [lo[j], hi[j]), its other pixels lie wholly
// off the source (they come out 0), and the few pixels that break the pattern (numerical noise
// of the projections) are listed with their own position, row by row.
struct SuplSepMap {
  struct Pixel {
    int32_t i;
    int16_t sx, sy;
    uint16_t f;  // fraction index: fy * 32 + fx
  };
  int rows = 0, cols = 0;
  int src_width = 0, src_height = 0;  // the source size the form was made for
  std::vector<int16_t> x, y;
  std::vector<uint8_t> fx, fy;
  std::vector<int32_t> lo, hi;
  std::vector<Pixel> others;      // sorted by row, then column
  std::vector<int32_t> row_start;  // others of row j: [row_start[j], row_start[j + 1])
};

// The separable form of map1 (CV_16SC2) and map2 (CV_16UC1, same size) for a source of
// src_size: remapping through it gives exactly what the maps give. Throws cv::Exception on
// bad arguments.
SuplSepMap SuplSepFromMaps(const cv::Mat& map1, const cv::Mat& map2, cv::Size src_size);

// dst = cv::remap(src, map1, map2, INTER_LINEAR, BORDER_CONSTANT, 0) for a CV_16UC1 src, with
// the maps in separable form (made for src's size). When rgb is given it also receives
// SuplGray2Rgb(dst, 1): CV_8UC3, three equal planes. Outputs are (re)made at the maps' size.
// Throws cv::Exception on bad arguments, cv::Exception or std::bad_alloc when an output cannot
// be made.
void SuplRemapSep(const cv::Mat& src, const SuplSepMap& maps, cv::Mat& dst, cv::Mat* rgb = nullptr);

// Fills rows [r0, r1) of a source into rows 0 .. r1 - r0 - 1 of `rows` (CV_16UC1, made at that
// size and the source's width). Called from several threads at once, for different rows.
using SuplSourceRows = std::function<void(int r0, int r1, cv::Mat& rows)>;

// SuplRemapSep from a source of src_size that is never whole in memory: each stripe of output
// rows asks `fill` for just the source rows it reads, so those stay in the core's cache.
void SuplRemapSepRows(cv::Size src_size, const SuplSourceRows& fill, const SuplSepMap& maps,
                      cv::Mat& dst, cv::Mat* rgb = nullptr);

// The same from the maps themselves (their separable form made on the way).
void SuplRemapLinear16(const cv::Mat& src, const cv::Mat& map1, const cv::Mat& map2, cv::Mat& dst,
                       cv::Mat* rgb = nullptr);
