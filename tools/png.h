// PNG output of display images through libpng.
#pragma once

#include <opencv2/core.hpp>

#include <string>

class SuplSave;

// Writes an 8-bit RGB matrix (R, G, B order) as an 8-bit RGB PNG into out (not yet published).
// False with a reason in *err when it is no 8-bit RGB image or a write failed.
bool PngEncodeRgb(SuplSave* out, const cv::Mat& rgb, std::string* err);
// The same as a file that replaces path only when complete (SuplPublish::Replace). False with a
// reason in *err, and path as it was, when the file cannot be written.
bool PngWriteRgb(const std::string& path, const cv::Mat& rgb, std::string* err);
