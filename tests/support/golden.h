// Comparing a picture with its golden PNG in tests/golden/: NUBICORN_UPDATE_GOLDEN=1 writes it
// instead. A failure leaves the enlarged difference beside the build for a look.
#pragma once

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdlib>
#include <string>

// bgr (CV_8UC3, as PNG stores it) against golden `name`.png: at most one pixel in 200 may
// differ, by at most max_step in any colour (font and codec versions move a few).
inline void ExpectGolden(const cv::Mat& bgr, const std::string& name, double max_step) {
  const std::string golden = std::string(NUBICORN_SOURCE_DIR) + "/tests/golden/" + name + ".png";
  if (std::getenv("NUBICORN_UPDATE_GOLDEN")) {
    ASSERT_TRUE(cv::imwrite(golden, bgr));
    GTEST_SKIP() << "wrote " << golden;
  }
  const cv::Mat want = cv::imread(golden, cv::IMREAD_COLOR);
  ASSERT_EQ(want.size(), bgr.size()) << golden;
  cv::Mat diff, any;
  cv::absdiff(bgr, want, diff);
  double mx = 0;
  cv::minMaxLoc(diff.reshape(1), nullptr, &mx);
  cv::cvtColor(diff, any, cv::COLOR_BGR2GRAY);
  const int changed = cv::countNonZero(any);
  if (mx > max_step || changed > int(any.total() / 200)) {
    const std::string out = std::string(NUBICORN_BINARY_DIR) + "/" + name + "-diff.png";
    cv::imwrite(out, diff * 32);
    ADD_FAILURE() << name << ": largest difference " << mx << ", " << changed << " pixels differ; see " << out;
  }
}
