// Byte-for-byte comparison of images for the kernel tests, the vector units to run them on,
// and where a feature lies in a display image.
#pragma once

#include <opencv2/core.hpp>

#include <string>
#include <vector>

#include <hwy/targets.h>

namespace matcompare {

// Signed centroid of (grey - background) within 7 pixels of (x, y) in plane 0 of a display image.
inline cv::Point2d Centroid(const cv::Mat& d, int x, int y, int background) {
  double sx = 0, sy = 0, s = 0;
  for (int j = y - 7; j <= y + 7; j++)
    for (int i = x - 7; i <= x + 7; i++) {
      const double v = d.at<cv::Vec3b>(j, i)[0] - background;
      sx += v * i;
      sy += v * j;
      s += v;
    }
  return {sx / s, sy / s};
}

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

// Every vector unit (Highway target) this processor can run that the kernels were built for,
// the emulated plain one included.
inline std::vector<int64_t> Targets() { return hwy::SupportedAndGeneratedTargets(); }

// While it lives, the dispatched kernels run on target t alone.
class OnTarget {
 public:
  explicit OnTarget(int64_t t) { hwy::SetSupportedTargetsForTest(t); }
  ~OnTarget() { hwy::SetSupportedTargetsForTest(0); }
  OnTarget(const OnTarget&) = delete;
  OnTarget& operator=(const OnTarget&) = delete;
};

inline std::string TargetName(int64_t t) { return hwy::TargetName(t); }

}  // namespace matcompare
