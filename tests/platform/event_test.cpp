#include "platform/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace bw {
namespace {

using namespace std::chrono_literals;

TEST(EventTest, AutoResetsAndTakesLowestSignalledIndexFirst) {
  const std::vector<EventHandle> events = {Event::Create(), Event::Create()};
  EXPECT_EQ(WaitForAny(events, 0ms), kWaitTimeout);
  events[1]->Set();
  events[1]->Set();  // a second signal before the wait does not queue
  events[0]->Set();
  EXPECT_EQ(WaitForAny(events, 0ms), 0);
  EXPECT_EQ(WaitForAny(events, 0ms), 1);
  EXPECT_EQ(WaitForAny(events, 0ms), kWaitTimeout);
  events[0]->Set();
  EXPECT_TRUE(events[0]->Reset());
  EXPECT_EQ(WaitForAny(events, 0ms), kWaitTimeout);
}

TEST(EventTest, ClosedOrMissingEventFailsTheWait) {
  const std::vector<EventHandle> events = {Event::Create(), Event::Create()};
  events[0]->Set();
  events[1]->Close();
  EXPECT_EQ(WaitForAny(events), kWaitFailed);  // even with the other one signalled
  EXPECT_FALSE(events[1]->Set());
  EXPECT_FALSE(events[1]->Reset());
  const std::vector<EventHandle> with_null = {Event::Create(), nullptr};
  EXPECT_EQ(WaitForAny(with_null), kWaitFailed);
  EXPECT_EQ(WaitForAny({}), kWaitFailed);
}

TEST(EventTest, SetFromAnotherThreadReleasesTheWaiterOnce) {
  const std::vector<EventHandle> events = {Event::Create(), Event::Create()};
  std::atomic<int> woken{0};
  std::vector<int> taken;
  std::thread waiter([&] {
    for (int i = 0; i < 3; ++i) {
      taken.push_back(WaitForAny(events));
      ++woken;
    }
  });
  for (int i = 0; i < 3; ++i) {
    const int before = woken.load();
    events[i % 2]->Set();
    while (woken.load() == before)
      std::this_thread::yield();
  }
  waiter.join();
  EXPECT_EQ(taken, (std::vector<int>{0, 1, 0}));
}

// The stopping command closes the events and drops its handles while the worker still waits on
// its own copies: the worker must be released, not left hanging.
TEST(EventTest, CloseReleasesAWaiterThatHoldsItsOwnCopies) {
  std::vector<EventHandle> stream_events = {Event::Create(), Event::Create()};
  std::atomic<bool> waiting{false};
  int result = 0;
  std::thread worker([copies = stream_events, &waiting, &result] {
    waiting = true;
    result = WaitForAny(copies);
  });
  while (!waiting)
    std::this_thread::yield();
  std::this_thread::sleep_for(10ms);  // let it block (the result is the same if it has not)
  for (EventHandle& e : stream_events) {
    e->Close();
    e.reset();
  }
  worker.join();
  EXPECT_EQ(result, kWaitFailed);
}

TEST(EventTest, TrackedSignalIsHandledOnceTheTakerWaitsAgainOrEnds) {
  const std::vector<EventHandle> events = {Event::Create()};
  std::atomic<int> stage{0};
  events[0]->SetTracked();
  EXPECT_FALSE(WaitUntilSignalsHandled(0ms));  // not taken yet
  std::thread worker([&] {
    EXPECT_EQ(WaitForAny(events), 0);
    stage = 1;
    while (stage != 2)
      std::this_thread::yield();
    EXPECT_EQ(WaitForAny(events, 0ms), kWaitTimeout);  // waiting again ends the busy state
    stage = 3;
    while (stage != 4)
      std::this_thread::yield();
    events[0]->SetTracked();
    EXPECT_EQ(WaitForAny(events), 0);  // taken, then the thread ends while busy
  });
  while (stage != 1)
    std::this_thread::yield();
  EXPECT_FALSE(WaitUntilSignalsHandled(0ms));  // taken but its work is not done
  BeginTrackedWork();
  stage = 2;
  while (stage != 3)
    std::this_thread::yield();
  EXPECT_FALSE(WaitUntilSignalsHandled(0ms));  // a work token is still out
  EndTrackedWork();
  EXPECT_TRUE(WaitUntilSignalsHandled(0ms));
  stage = 4;
  worker.join();
  EXPECT_TRUE(WaitUntilSignalsHandled(1s));
}

TEST(EventTest, WaitingForTheOthersEndsTheCallersOwnBusyState) {
  const std::vector<EventHandle> events = {Event::Create()};
  events[0]->SetTracked();
  EXPECT_EQ(WaitForAny(events, 0ms), 0);  // this thread is now busy with the signal
  EXPECT_TRUE(WaitUntilSignalsHandled(0ms));
}

TEST(EventTest, DroppedOrClosedEventTakesItsTrackedSignalAlong) {
  EventHandle closed = Event::Create();
  closed->SetTracked();
  closed->Close();
  EventHandle dropped = Event::Create();
  dropped->SetTracked();
  dropped.reset();
  EXPECT_TRUE(WaitUntilSignalsHandled(0ms));
}

}  // namespace
}  // namespace bw
