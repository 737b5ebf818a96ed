// Bilinear resampling of count images through fixed-point maps, byte for byte what OpenCV 4's
// cv::remap gives for 16-bit images, with the grey display image made in the same pass.
#pragma once

#include <opencv2/core.hpp>

// dst = cv::remap(src, map1, map2, INTER_LINEAR, BORDER_CONSTANT, 0) for a CV_16UC1 src and
// the fixed-point maps of cv::convertMaps (map1 CV_16SC2, map2 CV_16UC1, same size). When rgb
// is given it also receives SuplGray2Rgb(dst, 1): CV_8UC3, three equal planes. Outputs are
// (re)made at the maps' size. level: 0 plain C++, 1 AVX2 (lowered to what the processor has).
// Throws cv::Exception on bad arguments, std::bad_alloc when an output cannot be made.
void SuplRemapLinear16(const cv::Mat& src, const cv::Mat& map1, const cv::Mat& map2, cv::Mat& dst,
                       cv::Mat* rgb = nullptr, int level = 1);
