// Taking a large buffer's pages from the kernel in one call instead of one fault per page as
// they are first written: on a virtual machine a page fault costs microseconds, and the sound
// buffers, work blocks and write-behind stores of a stream add up to hundreds of pages.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace bw {

// Maps the whole pages inside `bytes` as written; their contents stay as they are. A kernel
// without the request leaves the pages to fault in one by one as before.
void PopulatePages(std::span<std::byte> bytes);

template <typename T>
void PopulatePages(T* data, std::size_t count) {
  PopulatePages(std::as_writable_bytes(std::span<T>(data, count)));
}

// Resizes `v` to `count` elements with its storage's pages populated before they are written.
template <typename T, typename Allocator>
void ResizePopulated(std::vector<T, Allocator>& v, std::size_t count) {
  if (count > v.capacity()) {
    v.reserve(count);
    PopulatePages(v.data(), v.capacity());
  }
  v.resize(count);
}

}  // namespace bw
