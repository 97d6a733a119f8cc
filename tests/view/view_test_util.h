// A view's core on a headless window and the virtual sound card, as the scenario tests use it:
// files written into a scratch folder, the card's clock advanced by the test, the posted
// messages handled after every step as the user-interface thread would.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/message_box.h"
#include "platform/profile_store.h"
#include "platform/sound/virtual_sound.h"
#include "platform/wave_format.h"
#include "support/test_support.h"
#include "view/headless_window.h"
#include "view/view_core.h"

namespace bw::test {

// One block of 44,100 Hz stereo 16-bit PCM: 0.8 s.
inline constexpr uint32_t kBlockFrames = 35280;
inline constexpr uint32_t kBlockBytes = kBlockFrames * 4;
inline constexpr std::size_t kBlockSamples = kBlockFrames * 2;

inline const FormatBlock kStereo16{MakePcmFormat(44100, 2)};

// Interleaved 16-bit samples that differ from their neighbours, so that a shifted, lost or
// doubled frame shows.
std::vector<int16_t> PatternSamples(std::size_t count, uint32_t seed = 1);

// Up to `count` samples of `v` from `from` on.
std::vector<int16_t> Slice(const std::vector<int16_t>& v, std::size_t from, std::size_t count);

class ViewCoreTest : public ::testing::Test {
 protected:
  ViewCoreTest();
  ~ViewCoreTest() override;

  // A 16-bit PCM WAVE file of `samples`; returns its path.
  std::string WritePcm(const std::string& name, uint32_t rate, uint16_t channels,
                       const std::vector<int16_t>& samples);
  std::string WriteWave(const std::string& name, const FormatBlock& format,
                        const std::vector<uint8_t>& data);
  // Opens `path` for playback as the Open File dialog would (AutoPlay is off).
  void Open(const std::string& path);

  // Runs the card for `frames` frames (stopping at each notification until the playback
  // thread has handled it), then hands the posted messages to the core.
  std::vector<int16_t> Advance(uint32_t frames);
  // Advances block by block until the buffer has stopped and the messages are handled;
  // returns everything the card played. Fails the test after `max_blocks` blocks.
  std::vector<int16_t> PlayOut(int max_blocks = 200);
  bool BufferPlaying() const;
  uint32_t BlockFrames() const;
  // Frames from the play cursor to the next block boundary (at the buffer's own rate).
  uint32_t FramesToNextBlock() const;

  StreamState& stream() { return core.stream(); }

  TempDir dir;
  MemoryProfileStore profile;
  HeadlessWindow window;
  CBrookwaveViewCore core{window, profile};

 private:
  ScopedMessageSink sink_{&window};
};

}  // namespace bw::test
