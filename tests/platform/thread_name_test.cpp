#include "platform/thread_name.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <array>
#include <string>
#include <thread>

namespace bw {
namespace {

// The name the system keeps for a thread that names itself `name`.
std::string NameKept(const std::string& name) {
  std::array<char, 64> kept{};
  std::thread thread([&] {
    NameThisThread(name);
    pthread_getname_np(pthread_self(), kept.data(), kept.size());
  });
  thread.join();
  return kept.data();
}

TEST(ThreadName, KeepsAShortNameAndTheStartOfALongOne) {
  EXPECT_EQ(NameKept("bw capture"), "bw capture");
  // The system refuses a name over 15 bytes outright; the thread gets its start instead.
  EXPECT_EQ(NameKept("bw decode ahead of the playback"), "bw decode ahead");
}

}  // namespace
}  // namespace bw
