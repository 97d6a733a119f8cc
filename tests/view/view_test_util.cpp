#include "view/view_test_util.h"

#include <algorithm>

#include "support/wave_image.h"

namespace bw::test {

std::vector<int16_t> Slice(const std::vector<int16_t>& v, std::size_t from, std::size_t count) {
  from = std::min(from, v.size());
  return {v.begin() + from, v.begin() + std::min(v.size(), from + count)};
}

std::vector<int16_t> PatternSamples(std::size_t count, uint32_t seed) {
  std::vector<int16_t> out(count);
  uint32_t x = seed;
  for (int16_t& s : out) {
    x = x * 1103515245u + 12345u;
    s = static_cast<int16_t>(x >> 16);
  }
  return out;
}

ViewCoreTest::ViewCoreTest() {
  SelectSoundBackend(SoundBackend::kVirtual);
  virtual_sound::SetPlaybackFormat({0, 0});
  window.Attach(&core);
  core.OnInitialUpdate();
  PlaySettingsValues& settings = core.stream().playSettings;
  settings.AutoPlay = 0;
  settings.FadeIn = 0;
  settings.FadeOut = 0;
  for (auto& band : settings.EqBand)
    band = 0;
}

ViewCoreTest::~ViewCoreTest() {
  // Whatever a test left playing stops before the core goes.
  core.OnStop();
}

std::string ViewCoreTest::WriteWave(const std::string& name, const FormatBlock& format,
                                    const std::vector<uint8_t>& data) {
  const std::string path = dir / name;
  WriteFileBytes(path, BuildWave(format, data));
  return path;
}

std::string ViewCoreTest::WritePcm(const std::string& name, uint32_t rate, uint16_t channels,
                                   const std::vector<int16_t>& samples) {
  return WriteWave(name, FormatBlock(MakePcmFormat(rate, channels)), Pcm16Bytes(samples));
}

void ViewCoreTest::Open(const std::string& path) {
  stream().playback.playPath = path;
  ASSERT_EQ(core.OnPlayFileChosen(1), 0) << path;
}

std::vector<int16_t> ViewCoreTest::Advance(uint32_t frames) {
  const virtual_sound::Played played = virtual_sound::AdvancePlayback(frames);
  EXPECT_TRUE(played.workers_kept_up);
  window.DispatchPending();
  return played.samples;
}

bool ViewCoreTest::BufferPlaying() const {
  const PlaybackStream& playback = core.stream().playback;
  uint32_t status = 0;
  return playback.soundBuffer && playback.soundBuffer->GetStatus(&status) == kSoundOk &&
         (status & kBufferStatusPlaying) != 0;
}

uint32_t ViewCoreTest::BlockFrames() const {
  const PlaybackStream& playback = core.stream().playback;
  return playback.blockBytes / playback.pcmFormat.format().nBlockAlign;
}

uint32_t ViewCoreTest::FramesToNextBlock() const {
  const PlaybackStream& playback = core.stream().playback;
  uint32_t play = 0;
  playback.soundBuffer->GetCurrentPosition(&play, nullptr);
  const uint32_t block = playback.blockBytes;
  return ((play / block + 1) * block - play) / playback.pcmFormat.format().nBlockAlign;
}

std::vector<int16_t> ViewCoreTest::PlayOut(int max_blocks) {
  std::vector<int16_t> played;
  window.DispatchPending();
  for (int block = 0; BufferPlaying(); ++block) {
    if (block == max_blocks) {
      ADD_FAILURE() << "still playing after " << max_blocks << " blocks";
      break;
    }
    const std::vector<int16_t> step = Advance(FramesToNextBlock());
    played.insert(played.end(), step.begin(), step.end());
  }
  return played;
}

}  // namespace bw::test
