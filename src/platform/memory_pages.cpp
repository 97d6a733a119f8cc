#include "platform/memory_pages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace bw {
namespace {

// Below this a buffer has few pages to fault, and the call would cost more than it saves.
constexpr std::size_t kWorthPopulating = 64 * 1024;

}  // namespace

void PopulatePages(std::span<std::byte> bytes) {
#ifdef MADV_POPULATE_WRITE
  if (bytes.size() < kWorthPopulating) return;
  const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<uintptr_t>(bytes.data());
  const uintptr_t first = (start + page - 1) & ~(page - 1);
  const uintptr_t last = (start + bytes.size()) & ~(page - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#else
  (void)bytes;
#endif
}

}  // namespace bw
