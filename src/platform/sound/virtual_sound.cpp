#include "platform/sound/virtual_sound.h"

#include "platform/sound/sound_internal.h"

namespace bw::virtual_sound {
namespace {

CardFormat ToCard(StreamFormat f) {
  return {f.rate, f.channels};
}

StreamFormat FromCard(CardFormat f) {
  return {f.rate, f.channels};
}

bool Valid(CardFormat f) {
  return (f.rate == 0 && f.channels == 0) ||
         (f.rate > 0 && f.channels >= 1 && f.channels <= kMaxChannels);
}

// Signals what a step passed and, when stepping, waits for the workers to handle it.
bool Settle(PendingSignals* signals, Stepping stepping, std::chrono::milliseconds timeout) {
  if (signals->empty() || stepping == Stepping::kStalled) return true;
  signals->Fire();
  return stepping == Stepping::kFreeRunning || WaitUntilSignalsHandled(timeout);
}

// The end of a stall: the workers get what it passed, merged, and are waited for.
bool EndStall(PendingSignals* signals, Stepping stepping, std::chrono::milliseconds timeout) {
  if (stepping != Stepping::kStalled) return true;
  signals->FireOncePerEvent();
  return WaitUntilSignalsHandled(timeout);
}

}  // namespace

void SetPlaybackFormat(CardFormat format) {
  if (Valid(format)) VirtualPlaybackCard()->SetVirtualFormat(FromCard(format));
}

CardFormat PlaybackFormat() {
  return ToCard(VirtualPlaybackCard()->format());
}

void SetCaptureFormat(CardFormat format) {
  if (Valid(format)) VirtualCaptureCard()->SetVirtualFormat(FromCard(format));
}

CardFormat CaptureFormat() {
  return ToCard(VirtualCaptureCard()->format());
}

Played AdvancePlayback(uint32_t frames, Stepping stepping, std::chrono::milliseconds timeout) {
  const auto card = VirtualPlaybackCard();
  const bool split = stepping == Stepping::kWaitForWorkers || stepping == Stepping::kHandOverAtEnd;
  const bool settled_first = stepping != Stepping::kFreeRunning;
  Played played;
  played.format = ToCard(card->format());
  const uint16_t ch = played.format.channels;
  played.samples.resize(static_cast<std::size_t>(frames) * ch);
  PendingSignals signals(true);
  if (settled_first) played.workers_kept_up = WaitUntilSignalsHandled(timeout);
  uint32_t done = 0;
  while (done < frames) {
    int16_t* out = played.samples.data() + static_cast<std::size_t>(done) * ch;
    done += card->MixVirtual(out, std::min(frames - done, kMixFrames), ch, split, &signals);
    const bool handed_over = stepping == Stepping::kHandOverAtEnd && done == frames;
    played.workers_kept_up &=
        Settle(&signals, handed_over ? Stepping::kFreeRunning : stepping, timeout);
  }
  played.workers_kept_up &= EndStall(&signals, stepping, timeout);
  return played;
}

bool FeedCapture(std::span<const int16_t> samples, Stepping stepping,
                 std::chrono::milliseconds timeout) {
  const auto card = VirtualCaptureCard();
  const bool split = stepping == Stepping::kWaitForWorkers;
  const std::size_t ch = card->format().channels;
  std::vector<float> in(static_cast<std::size_t>(kMixFrames) * ch);
  PendingSignals signals(true);
  bool kept_up = stepping == Stepping::kFreeRunning || WaitUntilSignalsHandled(timeout);
  std::size_t frame = 0;
  const std::size_t frames = samples.size() / ch;
  while (frame < frames) {
    const auto chunk = static_cast<uint32_t>(std::min<std::size_t>(frames - frame, kMixFrames));
    for (std::size_t i = 0; i < chunk * ch; ++i)
      in[i] = samples[frame * ch + i] / 32768.0f;
    const uint32_t taken = card->DeliverVirtual(in.data(), chunk, split, &signals);
    frame += taken;
    kept_up &= Settle(&signals, stepping, timeout);
  }
  return kept_up && EndStall(&signals, stepping, timeout);
}

bool WaitForWorkers(std::chrono::milliseconds timeout) {
  return WaitUntilSignalsHandled(timeout);
}

}  // namespace bw::virtual_sound
