// Enlargement of 8-bit images by exactly three, byte for byte what cv::resize of OpenCV 4 gives
// with the same arguments, in one pass and a fraction of the time: an integer factor has three
// phases, so the kernels are separable fixed-weight sums over precomputed taps (suplcubic.cpp,
// supllinear.cpp; their row kernels in suplkernels.cpp).
#pragma once

#include <opencv2/core.hpp>

// grey (CV_8UC1, any size) enlarged three times bicubically and expanded to three equal planes:
// CV_8UC3 equal to cvtColor(resize(grey, 3 x size, INTER_CUBIC), COLOR_GRAY2RGB). A CV_16UC1
// image of counts is taken as its display grey (SuplGreyTable) without making that image.
// Throws cv::Exception or std::bad_alloc when the image cannot be allocated.
cv::Mat SuplCubic3Rgb(const cv::Mat& grey);

// rgb (CV_8UC3) enlarged three times bilinearly: equal to resize(rgb, 3 x size, INTER_LINEAR).
// Throws like SuplCubic3Rgb.
cv::Mat SuplLinear3(const cv::Mat& rgb);
