// Storage for the large images of a load (display images, HRV resamplings, composites).
#pragma once

#include <opencv2/core.hpp>

// Allocator for large matrices: each buffer is its own anonymous mapping, advised for
// transparent huge pages, so a fresh 90 MB display image costs a few dozen page faults instead
// of tens of thousands. Set it on an empty cv::Mat before create(). When it cannot map a
// buffer it throws std::bad_alloc, and cv::Mat::create then tries OpenCV's own allocator,
// which throws cv::Exception when it fails too. Never null.
cv::MatAllocator* SuplLargeAllocator();

// Size from which SuplLargeMat maps its own buffer (glibc maps anything this large afresh anyway).
inline constexpr size_t SUPL_LARGE_BYTES = size_t(32) << 20;

// A matrix of the given size and type (contents undefined), made by SuplLargeAllocator when it
// holds at least SUPL_LARGE_BYTES, else by OpenCV's own allocator. Throws cv::Exception or
// std::bad_alloc when no buffer can be had.
cv::Mat SuplLargeMat(int rows, int cols, int type);

// Asks for the cache lines of bytes at p, to be written. A row of a large image that is about
// to be stored after some work of its own: the lines arrive during that work, so the stores
// find them in the cache instead of each waiting for its line in turn.
inline void SuplPrefetchForWrite(void* p, size_t bytes) {
  auto* b = static_cast<char*>(p);
  for (size_t i = 0; i < bytes; i += 64) __builtin_prefetch(b + i, 1, 3);
}
