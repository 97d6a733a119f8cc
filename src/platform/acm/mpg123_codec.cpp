#include "platform/acm/mpg123_codec.h"

#include <mpg123.h>

#include "platform/acm/lavc_codec.h"
#include "platform/acm/mpeg_audio.h"

namespace bw::acm {

void Mpg123Frames::HandleDeleter::operator()(mpg123_handle_struct* handle) const {
  mpg123_delete(handle);
}

Mpg123Frames::Mpg123Frames(uint32_t channels) : channels_(channels) {
  // Needed only by libmpg123 before 1.27; a function-local static runs it once, thread-safely.
  static const int initialised = mpg123_init();
  int error = initialised;
  if (initialised == MPG123_OK) handle_.reset(mpg123_new(nullptr, &error));
  if (handle_ && !Configure()) handle_.reset();
}

// Every frame is decoded, the LAME/Xing frame too (as silence) and no padding is cut, so that
// the output's length follows the coded bytes as it does for every other format; the frames
// come whole, so nothing waits for the next header.
bool Mpg123Frames::Configure() {
  mpg123_handle* h = handle_.get();
  const long flags = MPG123_QUIET | MPG123_IGNORE_INFOFRAME | MPG123_NO_READAHEAD;
  if (mpg123_param(h, MPG123_FLAGS, flags, 0) != MPG123_OK) return false;
  if (mpg123_format_none(h) != MPG123_OK) return false;
  const int layout = channels_ == 1 ? MPG123_MONO : MPG123_STEREO;
  for (const uint32_t rate : kMpegSampleRates) {
    if (mpg123_format(h, rate, layout, MPG123_ENC_SIGNED_16) != MPG123_OK) return false;
  }
  return mpg123_open_feed(h) == MPG123_OK;
}

Mpg123Frames::Decoded Mpg123Frames::Decode(std::span<const uint8_t> frame) {
  mpg123_handle* h = handle_.get();
  if (h == nullptr || mpg123_feed(h, frame.data(), frame.size()) != MPG123_OK) return {};
  off_t number = 0;
  unsigned char* audio = nullptr;
  size_t bytes = 0;
  int result = mpg123_decode_frame(h, &number, &audio, &bytes);
  if (result == MPG123_NEW_FORMAT) result = mpg123_decode_frame(h, &number, &audio, &bytes);
  if (result != MPG123_OK || audio == nullptr) return {};
  long rate = 0;
  int channels = 0;
  int encoding = 0;
  if (mpg123_getformat(h, &rate, &channels, &encoding) != MPG123_OK) return {};
  const auto* samples = reinterpret_cast<const int16_t*>(audio);
  const std::size_t count = bytes / sizeof(int16_t);
  if (channels_ <= 2) return {std::span(samples, count), static_cast<uint32_t>(rate)};
  mapped_.assign(samples, samples + count);
  MapChannels(mapped_, 2, channels_);
  return {mapped_, static_cast<uint32_t>(rate)};
}

void Mpg123Frames::Reset() {
  // Opening the feed again closes the old one and clears the decoder's state.
  if (handle_ && mpg123_open_feed(handle_.get()) != MPG123_OK) handle_.reset();
}

}  // namespace bw::acm
