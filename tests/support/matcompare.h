// Byte-for-byte comparison of images for the kernel tests, and the vector levels to run them at.
#pragma once

#include <opencv2/core.hpp>

#include <string>
#include <vector>

#include "data/suplresize.h"

namespace matcompare {

// Number of elements in which a and b differ (-1 when size or type differ); *where names the
// first one.
inline int Mismatches(const cv::Mat& a, const cv::Mat& b, std::string* where) {
  if (a.size() != b.size() || a.type() != b.type()) {
    *where = "size or type differs";
    return -1;
  }
  cv::Mat diff;
  cv::compare(a.reshape(1), b.reshape(1), diff, cv::CMP_NE);
  const int n = cv::countNonZero(diff);
  if (n > 0) {
    std::vector<cv::Point> at;
    cv::findNonZero(diff, at);
    *where = "first at row " + std::to_string(at[0].y) + ", element " + std::to_string(at[0].x);
  }
  return n;
}

// The plain path, and every vector level the processor has.
inline std::vector<int> Levels() {
  std::vector<int> l;
  for (int level = 0; level <= SuplResizeLevel(); level++) l.push_back(level);
  return l;
}

}  // namespace matcompare
