// Byte buffers that are filled right after they are sized (a read, a decode): their elements
// are left uninitialised instead of being zeroed first, which for the megabytes of a segment
// costs as much as the copy from the page cache.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

template <class T>
struct SuplNoInitAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = SuplNoInitAllocator<U>;
  };
  SuplNoInitAllocator() noexcept = default;
  template <class U>
  SuplNoInitAllocator(const SuplNoInitAllocator<U>&) noexcept {}
  // Value-initialisation (resize, the size constructor) becomes default-initialisation.
  template <class U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... A>
  void construct(U* p, A&&... a) {
    ::new (static_cast<void*>(p)) U(std::forward<A>(a)...);
  }
};

using SuplBytes = std::vector<uint8_t, SuplNoInitAllocator<uint8_t>>;
