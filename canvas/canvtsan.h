// Hand-offs between the interface's threads that ThreadSanitizer cannot see: GLib's mutexes and
// main-loop queue are futex-based and not instrumented. The marks compile to nothing in other builds.
#pragma once

#include "data/supltsan.h"

inline void CanvTsanAcquire(void* addr) { SuplTsanAcquire(addr); }
inline void CanvTsanRelease(void* addr) { SuplTsanRelease(addr); }
