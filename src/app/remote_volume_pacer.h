// How often a fade's volume reaches remote watchers. A fade moves the volume at every timer tick
// and the view publishes at every level meter; a bus signal for each would wake the bus thread
// twice a second through every fade, for a slider that watchers hardly show. While the volume
// ramps, a change goes out at most once per interval; once it stands still, the next publish
// sends where it ended.
#pragma once

#include <chrono>

#include "platform/remote/remote_control.h"

namespace bw {

class RemoteVolumePacer {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration kRampInterval = std::chrono::seconds(1);

  // The volume to publish now for the view's `volume`; `ramping` while the timer moves it.
  double Publishable(double volume, bool ramping, Clock::time_point now) {
    if (volume == m_published) return volume;
    if (ramping && now - m_sentAt < kRampInterval) return m_published;
    m_published = volume;
    m_sentAt = now;
    return volume;
  }

 private:
  double m_published = RemoteState{}.volume;  // what the service starts with
  Clock::time_point m_sentAt{};
};

}  // namespace bw
