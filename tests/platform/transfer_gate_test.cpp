#include "platform/sound/transfer_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <shared_mutex>
#include <thread>

namespace bw {
namespace {

// Spins (yielding) until `done`; false after 10 s.
template <typename Done>
bool Eventually(Done done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

TEST(TransferGate, ASetupCallWaitsForTheRunningTransfersAndHoldsNewOnesOff) {
  TransferGate gate;
  gate.lock_shared();  // a transfer runs
  ASSERT_TRUE(gate.try_lock_shared()) << "transfers run side by side";
  gate.unlock_shared();

  std::atomic<bool> set_up{false};
  std::thread setup([&] {
    const std::lock_guard lock(gate);
    set_up = true;
  });
  // Once the setup call waits, a new transfer is held off, though one still runs.
  ASSERT_TRUE(Eventually([&] {
    if (!gate.try_lock_shared()) return true;
    gate.unlock_shared();
    return false;
  }));
  EXPECT_FALSE(set_up) << "not while the transfer runs";
  gate.unlock_shared();
  setup.join();
  EXPECT_TRUE(set_up);
  EXPECT_TRUE(gate.try_lock_shared()) << "transfers run again once it is done";
  gate.unlock_shared();
}

TEST(TransferGate, SetupCallsRunOneAtATime) {
  TransferGate gate;
  int inside = 0, most = 0;
  const auto setup = [&] {
    for (int i = 0; i < 2000; ++i) {
      const std::lock_guard lock(gate);
      most = std::max(most, ++inside);
      --inside;
    }
  };
  std::thread a(setup), b(setup);
  for (int i = 0; i < 2000; ++i) {
    const std::shared_lock transfer(gate);
    EXPECT_EQ(inside, 0);
  }
  a.join();
  b.join();
  EXPECT_EQ(most, 1);
}

}  // namespace
}  // namespace bw
