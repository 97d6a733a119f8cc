// libmpg123 inside the codec layer: the decoder behind the MPEG audio WAVE formats. It is
// handed one whole frame at a time (the caller finds the frames) and gives 16-bit samples at
// the frame's own rate. No libmpg123 type leaves this file's implementation.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

struct mpg123_handle_struct;

namespace bw::acm {

class Mpg123Frames {
 public:
  // Output with `channels` channels: mono frames are copied to every channel, stereo frames
  // mixed down to one.
  explicit Mpg123Frames(uint32_t channels);

  bool ok() const { return handle_ != nullptr; }

  struct Decoded {
    std::span<const int16_t> samples;  // interleaved; valid until the next call
    uint32_t rate = 0;
  };
  // Decodes one whole frame; no samples when it does not decode. A frame whose bit reservoir
  // lies before what was fed (the first after Reset) still gives its length, partly silent.
  Decoded Decode(std::span<const uint8_t> frame);
  // Forgets every frame fed, as if newly made.
  void Reset();

 private:
  bool Configure();

  struct HandleDeleter {
    void operator()(mpg123_handle_struct* handle) const;
  };
  std::unique_ptr<mpg123_handle_struct, HandleDeleter> handle_;
  uint32_t channels_;
  std::vector<int16_t> mapped_;  // output for more than two channels
};

}  // namespace bw::acm
