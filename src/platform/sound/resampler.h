// Sample-rate conversion over libsamplerate for the sound devices: a pulling converter for
// playback (its input is read from the buffer as the output needs it, at a ratio that may change
// from call to call) and a pushing one for capture (fixed ratio, fed as the device delivers).
// Both handle ratios beyond libsamplerate's 1/256 .. 256 by repeating or skipping input frames
// first. Used under the owning buffer's lock only.
#pragma once

#include <samplerate.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace bw {

struct SrcStateDeleter {
  void operator()(SRC_STATE* state) const { src_delete(state); }
};
using SrcStatePtr = std::unique_ptr<SRC_STATE, SrcStateDeleter>;

// How to bring a ratio into libsamplerate's range: each input frame is repeated `repeat`
// times, or only every `stride`-th frame is kept, before converting at `ratio`.
struct RatioPlan {
  uint32_t repeat = 1;
  uint32_t stride = 1;
  double ratio = 1.0;  // output rate / input rate after repeating or skipping
};
RatioPlan PlanRatio(double output_rate, double input_rate);

// Playback: Read produces output frames, calling `source` for input frames as it needs them.
class PullResampler {
 public:
  class Source {
   public:
    virtual ~Source() = default;
    // Writes up to `max_frames` interleaved input frames to `out` and returns how many (> 0).
    virtual uint32_t ReadFrames(float* out, uint32_t max_frames) = 0;
  };

  // libsamplerate's state (over half a megabyte) is made when first needed: most buffers
  // play at their device's rate and never convert.
  PullResampler(uint16_t channels, Source* source);
  // Makes the state now, so that a device thread's first Read does not allocate: a buffer
  // calls it when it is to play, or is set to a frequency, other than the device's rate.
  void Prepare();
  // Forgets the history: the next Read starts afresh from the source's current position.
  void Reset();
  // Writes `frames` output frames at output_rate / input_rate; false if libsamplerate failed
  // (the output is then silence).
  bool Read(double output_rate, double input_rate, float* out, uint32_t frames);

 private:
  static long Callback(void* self, float** data);
  uint32_t Fill();

  uint16_t channels_;
  Source* source_;
  SrcStatePtr state_;
  RatioPlan plan_;
  std::vector<float> input_;    // what the callback hands to libsamplerate
  std::vector<float> staging_;  // source frames before repeating or skipping
};

// Capture: Process converts a block of input frames and returns the output frames produced.
class PushResampler {
 public:
  PushResampler(uint16_t channels, double output_rate, double input_rate);
  // Converts `frames` interleaved input frames; the output is appended to `out` (cleared
  // first). Returns false if libsamplerate failed.
  bool Process(const float* in, uint32_t frames, std::vector<float>* out);

 private:
  uint16_t channels_;
  RatioPlan plan_;
  SrcStatePtr state_;
  uint32_t skip_phase_ = 0;  // input frames to drop before the next kept one
  std::vector<float> expanded_;
};

}  // namespace bw
