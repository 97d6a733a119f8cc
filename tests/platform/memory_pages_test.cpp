#include "platform/memory_pages.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bw {
namespace {

TEST(MemoryPages, PopulatesTheWholePagesInsideASpanAndKeepsWhatTheyHold) {
  const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  constexpr std::size_t kPages = 64;
  void* map =
      ::mmap(nullptr, kPages * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(map, MAP_FAILED);
  auto* bytes = static_cast<std::byte*>(map);
  // Page by page: a large folio would make the neighbours of a touched page resident too.
  ::madvise(map, kPages * page, MADV_NOHUGEPAGE);
#ifdef MADV_POPULATE_WRITE
  if (::madvise(bytes + page, page, MADV_POPULATE_WRITE) != 0) {
    ::munmap(map, kPages * page);
    GTEST_SKIP() << "the kernel cannot populate pages on request";
  }
#else
  GTEST_SKIP() << "built without MADV_POPULATE_WRITE";
#endif
  bytes[page + 5] = std::byte{42};

  // From inside the first page to inside the last: only the pages wholly inside are taken.
  PopulatePages(std::span(bytes + 100, (kPages - 1) * page));
  std::vector<unsigned char> resident(kPages);
  ASSERT_EQ(::mincore(map, kPages * page, resident.data()), 0);
  EXPECT_FALSE(resident.front() & 1);
  for (std::size_t i = 1; i + 1 < kPages; ++i)
    EXPECT_TRUE(resident[i] & 1) << "page " << i;
  EXPECT_FALSE(resident.back() & 1);
  EXPECT_EQ(bytes[page + 5], std::byte{42});
  EXPECT_EQ(bytes[10 * page], std::byte{0});
  ::munmap(map, kPages * page);
}

TEST(MemoryPages, AVectorResizedOnPopulatedPagesKeepsItsElementsAndZeroesTheNewOnes) {
  std::vector<uint16_t> v{1, 2, 3};
  ResizePopulated(v, 100000);
  ASSERT_EQ(v.size(), 100000u);
  EXPECT_EQ(v[0], 1);
  EXPECT_EQ(v[2], 3);
  EXPECT_EQ(v[3], 0);
  EXPECT_EQ(v.back(), 0);
  ResizePopulated(v, 2);
  EXPECT_EQ(v, (std::vector<uint16_t>{1, 2}));
}

}  // namespace
}  // namespace bw
