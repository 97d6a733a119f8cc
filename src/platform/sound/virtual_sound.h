// The virtual sound card (backend kVirtual): a manual clock for tests and offline rendering.
// Every device object of the virtual backend plays into one virtual output and records from
// one virtual input. The driver (a test, `brookwave-cli render`, `record --from`) advances the
// output and reads what playback produced, and feeds the input with what capture receives.
//
// Stepping with kWaitForWorkers stops the clock right after each notification position and
// waits until the worker thread has taken every signalled event and waited again (its refill
// done) and no Lock is outstanding, so the output is the same on every run: no sleeps, no
// audio lost or doubled, however slow the machine.
//
// Threads: one driver thread at a time calls these; the playback and capture objects are used
// from any thread as usual.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

namespace bw::virtual_sound {

// Frames per second and channels of the card; all zero: taken from the buffer that starts
// playing (or capturing) while no other does, so that the output is at the buffer's own rate
// and channels. The card starts at 44,100 Hz stereo.
struct CardFormat {
  uint32_t rate = 0;
  uint16_t channels = 0;
};

void SetPlaybackFormat(CardFormat format);
CardFormat PlaybackFormat();
void SetCaptureFormat(CardFormat format);
CardFormat CaptureFormat();

enum class Stepping {
  kFreeRunning,     // signal the events and go on
  kWaitForWorkers,  // stop at each notification until the workers have handled it
  // As kWaitForWorkers, except that a notification at the very end of the call is signalled
  // without waiting: the caller goes on with what was played while the workers handle it,
  // and waits for them (WaitForWorkers, or the next call) before it looks at what they did.
  kHandOverAtEnd,
  // A stall of the workers: they do not run until the whole call has played or delivered;
  // then every event passed is signalled once (as auto-reset events merge what comes while
  // nobody waits) and the call waits until they have handled it.
  kStalled,
};

inline constexpr std::chrono::milliseconds kWorkerTimeout{10000};

struct Played {
  CardFormat format;             // of `samples`
  std::vector<int16_t> samples;  // interleaved
  bool workers_kept_up = true;   // false if a wait for the workers timed out
};

// Advances the output clock by `frames` frames of the card's format and returns the mix of the
// playing buffers after frequency, volume and pan (silence when none plays).
Played AdvancePlayback(uint32_t frames, Stepping stepping = Stepping::kWaitForWorkers,
                       std::chrono::milliseconds timeout = kWorkerTimeout);

// Delivers `samples` (interleaved, the card's capture format) to the capturing buffers,
// advancing the input clock by their length. False if a wait for the workers timed out.
bool FeedCapture(std::span<const int16_t> samples, Stepping stepping = Stepping::kWaitForWorkers,
                 std::chrono::milliseconds timeout = kWorkerTimeout);

// Waits until the workers have handled every signalled notification (see above).
bool WaitForWorkers(std::chrono::milliseconds timeout = kWorkerTimeout);

}  // namespace bw::virtual_sound
