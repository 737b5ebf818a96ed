// Hand-offs between threads that ThreadSanitizer cannot see, and the parallel loop that marks
// them. GLib's mutexes and main-loop queue are futex-based and TBB's task queue is lock-free,
// all in uninstrumented code: without the marks every hand-over through them reads as a race.
// In other builds the marks compile to nothing and SuplParallelFor is cv::parallel_for_.
#pragma once

#include <opencv2/core.hpp>

#include <type_traits>
#include <utility>

#if defined(__SANITIZE_THREAD__)
#define NUBICORN_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)  // clang's spelling
#define NUBICORN_TSAN 1
#endif
#endif

#if defined(NUBICORN_TSAN)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
// Everything this thread did before SuplTsanRelease(addr) happens before what another thread
// does after a later SuplTsanAcquire(addr).
inline void SuplTsanAcquire(void* addr) { __tsan_acquire(addr); }
inline void SuplTsanRelease(void* addr) { __tsan_release(addr); }
#else
inline void SuplTsanAcquire(void*) {}
inline void SuplTsanRelease(void*) {}
#endif

#if defined(NUBICORN_TSAN)
// The loop body as OpenCV's pool sees it, built before the hand-off to the pool and destroyed
// after the hand-back, so that no part of it is touched outside the two marks.
template <class Body>
class SuplTsanLoop final : public cv::ParallelLoopBody {
 public:
  explicit SuplTsanLoop(Body& body) : body_(body) {}
  void operator()(const cv::Range& r) const override {
    SuplTsanAcquire(&start_);
    body_(r);
    SuplTsanRelease(&end_);
  }
  void* start() const { return &start_; }
  void* end() const { return &end_; }

 private:
  Body& body_;
  mutable char start_ = 0, end_ = 0;  // their addresses name the two hand-offs
};
#endif

// cv::parallel_for_(range, body, nstripes): the caller's writes happen before every stripe and
// every stripe before the return. Stripes stay unordered among themselves, so a race between
// two of them is still reported.
template <class Body>
void SuplParallelFor(const cv::Range& range, Body&& body, double nstripes = -1.) {
#if defined(NUBICORN_TSAN)
  const SuplTsanLoop<std::remove_reference_t<Body>> loop(body);
  SuplTsanRelease(loop.start());
  cv::parallel_for_(range, loop, nstripes);
  SuplTsanAcquire(loop.end());
#else
  cv::parallel_for_(range, std::forward<Body>(body), nstripes);
#endif
}
