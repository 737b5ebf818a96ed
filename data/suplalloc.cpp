#include "data/suplalloc.h"

#include <sys/mman.h>
#include <unistd.h>

#include <memory>
#include <new>

namespace {

// Huge pages are 2 MB on x86-64; mapping whole multiples of it lets every page of the
// buffer be huge.
constexpr size_t HUGE_PAGE = size_t(2) << 20;

size_t MappedSize(size_t bytes) { return (bytes + HUGE_PAGE - 1) / HUGE_PAGE * HUGE_PAGE; }

class LargeAllocator final : public cv::MatAllocator {
 public:
  cv::UMatData* allocate(int dims, const int* sizes, int type, void* data0, size_t* step,
                         cv::AccessFlag, cv::UMatUsageFlags) const override {
    size_t total = CV_ELEM_SIZE(type);
    for (int i = dims - 1; i >= 0; i--) {
      if (step) {
        if (data0 && step[i] != cv::Mat::AUTO_STEP) total = step[i];
        else step[i] = total;
      }
      total *= size_t(sizes[i]);
    }
    auto u = std::make_unique<cv::UMatData>(this);
    if (data0) {
      u->data = u->origdata = static_cast<uchar*>(data0);
      u->flags |= cv::UMatData::USER_ALLOCATED;
    } else {
      // Over-map by one huge page so the buffer can start on a huge-page boundary; the
      // slack on either side is unmapped again.
      const size_t want = MappedSize(total);
      void* p = mmap(nullptr, want + HUGE_PAGE, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (p == MAP_FAILED) throw std::bad_alloc();
      uchar* raw = static_cast<uchar*>(p);
      uchar* start = reinterpret_cast<uchar*>(
          (reinterpret_cast<uintptr_t>(raw) + HUGE_PAGE - 1) & ~(uintptr_t(HUGE_PAGE) - 1));
      if (start > raw) munmap(raw, size_t(start - raw));
      const size_t tail = size_t(raw + want + HUGE_PAGE - (start + want));
      if (tail) munmap(start + want, tail);
      madvise(start, want, MADV_HUGEPAGE);  // advice only: without it the pages are small
      u->data = u->origdata = start;
    }
    u->size = total;
    return u.release();  // owned by the matrices from here; deallocate() deletes it
  }

  bool allocate(cv::UMatData* u, cv::AccessFlag, cv::UMatUsageFlags) const override {
    return u != nullptr;
  }

  void deallocate(cv::UMatData* u) const override {
    if (!u) return;
    std::unique_ptr<cv::UMatData> owned(u);
    CV_Assert(u->urefcount == 0 && u->refcount == 0);
    if (!(u->flags & cv::UMatData::USER_ALLOCATED) && u->origdata)
      munmap(u->origdata, MappedSize(u->size));
  }
};

}  // namespace

cv::MatAllocator* SuplLargeAllocator() {
  static LargeAllocator allocator;
  return &allocator;
}

cv::Mat SuplLargeMat(int rows, int cols, int type) {
  cv::Mat m;
  // Below glibc's largest mmap threshold the heap reuses freed buffers, which beats fresh
  // pages of any size.
  if (size_t(rows) * size_t(cols) * CV_ELEM_SIZE(type) >= SUPL_LARGE_BYTES)
    m.allocator = SuplLargeAllocator();
  m.create(rows, cols, type);
  return m;
}
