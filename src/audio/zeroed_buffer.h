// A byte buffer that starts as zeros without writing them: calloc hands out fresh pages of a
// large block untouched, so the buffer costs no resident memory until it is used.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

namespace bw {

template <typename T>
struct ZeroedPagesAllocator {
  using value_type = T;
  ZeroedPagesAllocator() = default;
  template <typename U>
  ZeroedPagesAllocator(const ZeroedPagesAllocator<U>&) {}

  T* allocate(std::size_t n) {
    if (void* p = std::calloc(n, sizeof(T))) return static_cast<T*>(p);
    throw std::bad_alloc();  // as std::allocator reports it
  }
  void deallocate(T* p, std::size_t) { std::free(p); }
  // Elements made without a value keep calloc's zeros instead of being written.
  template <typename U>
  void construct(U* p) {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  bool operator==(const ZeroedPagesAllocator&) const = default;
};

using ZeroedBuffer = std::vector<uint8_t, ZeroedPagesAllocator<uint8_t>>;

}  // namespace bw
