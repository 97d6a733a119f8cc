// The pace at which a fade's volume reaches remote watchers.
#include "app/remote_volume_pacer.h"

#include <gtest/gtest.h>

namespace bw {
namespace {

using std::chrono::milliseconds;

TEST(RemoteVolumePacer, ARampIsSentOnceAnIntervalAndWhereItEndsAtOnce) {
  RemoteVolumePacer pacer;
  const auto t0 = RemoteVolumePacer::Clock::now();
  // A change outside a ramp (the user's slider, a new file) goes out at once, every time.
  EXPECT_EQ(pacer.Publishable(0.2, false, t0), 0.2);
  EXPECT_EQ(pacer.Publishable(0.3, false, t0 + milliseconds(10)), 0.3);
  // The ramp's first step goes out; those within the interval after it wait.
  const auto ramp = t0 + milliseconds(5000);
  EXPECT_EQ(pacer.Publishable(0.4, true, ramp), 0.4);
  EXPECT_EQ(pacer.Publishable(0.5, true, ramp + milliseconds(500)), 0.4);
  EXPECT_EQ(pacer.Publishable(0.6, true, ramp + milliseconds(999)), 0.4);
  EXPECT_EQ(pacer.Publishable(0.7, true, ramp + milliseconds(1000)), 0.7);
  EXPECT_EQ(pacer.Publishable(0.8, true, ramp + milliseconds(1500)), 0.7);
  // The ramp has stopped: its last volume goes out with the next publish.
  EXPECT_EQ(pacer.Publishable(0.9, false, ramp + milliseconds(1600)), 0.9);
  EXPECT_EQ(pacer.Publishable(0.9, true, ramp + milliseconds(1700)), 0.9);
}

}  // namespace
}  // namespace bw
