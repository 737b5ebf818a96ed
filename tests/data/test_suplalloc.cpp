// Large images get buffers of their own mapping: usable like any matrix, shared by copies,
// returned to the system when the last copy goes, and a refusal is an exception, not a crash.
#include <gtest/gtest.h>

#include <fstream>
#include <new>
#include <string>

#include "data/suplalloc.h"

namespace {

// Resident set of this process in kB, from /proc/self/status.
long RssKb() {
  std::ifstream in("/proc/self/status");
  std::string key;
  long value = -1;
  while (in >> key) {
    if (key == "VmRSS:") {
      in >> value;
      break;
    }
    in.ignore(1 << 16, '\n');
  }
  return value;
}

TEST(SuplLargeMat, LargeImagesAreOrdinaryMatricesOnTheirOwnPages) {
  EXPECT_NE(SuplLargeMat(600, 1000, CV_8UC3).u->currAllocator, SuplLargeAllocator());  // small: OpenCV's
  cv::Mat m = SuplLargeMat(2784, 11136, CV_8UC3);  // the strip's display image, 93 MB
  ASSERT_EQ(m.u->currAllocator, SuplLargeAllocator());
  EXPECT_EQ(m.size(), cv::Size(11136, 2784));
  EXPECT_TRUE(m.isContinuous());
  EXPECT_EQ(reinterpret_cast<uintptr_t>(m.data) % (2u << 20), 0u);  // on a huge-page boundary
  m.setTo(cv::Scalar(1, 2, 3));
  m(cv::Rect(11135, 2783, 1, 1)).setTo(cv::Scalar(9, 8, 7));
  EXPECT_EQ(m.at<cv::Vec3b>(0, 0), cv::Vec3b(1, 2, 3));
  EXPECT_EQ(m.at<cv::Vec3b>(2783, 11135), cv::Vec3b(9, 8, 7));
  // A copy shares the buffer and keeps it alive after the original is gone.
  cv::Mat copy = m;
  const uchar* data = m.data;
  m.release();
  EXPECT_EQ(copy.data, data);
  EXPECT_EQ(copy.at<cv::Vec3b>(1000, 5000), cv::Vec3b(1, 2, 3));
  const cv::Mat deep = copy.clone();
  EXPECT_EQ(cv::norm(deep, copy, cv::NORM_INF), 0.0);
}

// The buffers are unmapped when released: a leak here would not show under the leak checker.
TEST(SuplLargeMat, ReleasedBuffersLeaveTheProcess) {
  const long before = RssKb();
  ASSERT_GT(before, 0);
  for (int i = 0; i < 8; i++) {
    cv::Mat m = SuplLargeMat(4096, 4096 * 2, CV_16UC1);  // 64 MB, every page touched
    m.setTo(cv::Scalar(i));
  }
  EXPECT_LT(RssKb() - before, 32 * 1024) << "resident set grew by more than 32 MB";
}

// The loaders catch both kinds: OpenCV retries a refused buffer with its own allocator, which
// reports its failure as cv::Exception.
TEST(SuplLargeMat, AnImpossibleSizeThrowsWhatTheLoadersCatch) {
  bool thrown = false;
  try {
    SuplLargeMat(1 << 20, 1 << 20, CV_16UC3);  // 6 TB
  } catch (const cv::Exception&) {
    thrown = true;
  } catch (const std::bad_alloc&) {
    thrown = true;
  }
  EXPECT_TRUE(thrown);
}

}  // namespace
