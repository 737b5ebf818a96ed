// Hand-offs between threads that ThreadSanitizer cannot see: GLib's mutexes and main-loop
// queue are futex-based and not instrumented. The marks compile to nothing in other builds.
#pragma once

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
inline void CanvTsanAcquire(void* addr) { __tsan_acquire(addr); }
inline void CanvTsanRelease(void* addr) { __tsan_release(addr); }
#else
inline void CanvTsanAcquire(void*) {}
inline void CanvTsanRelease(void*) {}
#endif
