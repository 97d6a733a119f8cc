#include "platform/thread_name.h"

#include <pthread.h>

#include <algorithm>
#include <array>

namespace bw {

void NameThisThread(std::string_view name) {
  // A longer name would be refused whole rather than cut.
  constexpr std::size_t kLongest = 15;
  std::array<char, kLongest + 1> kept{};
  std::copy_n(name.begin(), std::min(name.size(), kLongest), kept.begin());
  pthread_setname_np(pthread_self(), kept.data());
}

}  // namespace bw
