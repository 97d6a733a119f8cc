// What other programs see of the view and what happens to a file they hand it (or that the user
// drops on the window), on the virtual card.
#include <gtest/gtest.h>

#include "playlist/playlist_file.h"
#include "support/wave_image.h"
#include "view/view_test_util.h"

namespace bw::test {
namespace {

class RemoteView : public ViewCoreTest {
 protected:
  // `seconds` of stereo 44,100 Hz.
  std::string WriteSong(const std::string& name, uint32_t seconds) {
    return WritePcm(name, 44100, 2, PatternSamples(std::size_t{44100} * 2 * seconds));
  }
  RemoteState State() const { return core.DescribeForRemote(); }
};

TEST_F(RemoteView, DescribesTheOpenFileItsPlaybackAndWhatMayBeAsked) {
  RemoteState idle = State();
  EXPECT_EQ(idle.status, RemotePlaybackStatus::kStopped);
  EXPECT_TRUE(idle.file.empty());
  EXPECT_FALSE(idle.can_play || idle.can_pause || idle.can_go_next || idle.can_go_previous);
  EXPECT_EQ(idle.volume, 1.0);  // the Volume slider starts at its top

  const std::string song = WriteSong("song.wav", 3);
  Open(song);
  RemoteState loaded = State();
  EXPECT_EQ(loaded.file, song);
  EXPECT_EQ(loaded.length_us, 3'000'000);
  EXPECT_TRUE(loaded.can_play && loaded.can_go_next && loaded.can_go_previous);
  EXPECT_FALSE(loaded.can_pause);

  core.OnHScroll(TB_THUMBPOSITION, 44100 * 4 + 2, IDC_POSITION);  // 1 s in, past a frame
  EXPECT_EQ(State().position_us, 1'000'011);

  core.OnPlay();
  const RemoteState playing = State();
  EXPECT_EQ(playing.status, RemotePlaybackStatus::kPlaying);
  // Play stays possible while playing; First and Last are not.
  EXPECT_TRUE(playing.can_play);
  EXPECT_FALSE(playing.can_go_next || playing.can_go_previous);

  // Dragging the position slider holds playback.
  core.OnHScroll(TB_THUMBTRACK, 0, IDC_POSITION);
  EXPECT_EQ(State().status, RemotePlaybackStatus::kPaused);
  core.OnHScroll(TB_ENDTRACK, 0, IDC_POSITION);
  EXPECT_EQ(State().status, RemotePlaybackStatus::kPlaying);
  core.OnStop();
  EXPECT_EQ(State().status, RemotePlaybackStatus::kStopped);
}

TEST_F(RemoteView, VolumeIsTheVolumeSlidersShareOfItsRange) {
  core.SetRemoteVolume(0.25);
  EXPECT_EQ(window.Slider(IDC_VOLUME).pos, -1500);  // -2000 .. 0
  EXPECT_DOUBLE_EQ(State().volume, 0.25);
  core.SetRemoteVolume(7.0);
  EXPECT_EQ(window.Slider(IDC_VOLUME).pos, 0);
  core.SetRemoteVolume(0.0);
  EXPECT_EQ(window.Slider(IDC_VOLUME).pos, -2000);
}

TEST_F(RemoteView, AHandedFileReplacesThePlayingOneAndPlaysWithAutoPlay) {
  const std::string first = WriteSong("first.wav", 3), second = WriteSong("second.wav", 2);
  stream().playSettings.AutoPlay = 1;
  core.OpenFromOutside(first);
  EXPECT_EQ(stream().playing, 1);
  core.OpenFromOutside(second);
  EXPECT_EQ(stream().playing, 1);
  EXPECT_EQ(stream().playback.playPath, second);
  EXPECT_EQ(window.DocumentTitle(), second);
  EXPECT_EQ(State().length_us, 2'000'000);
  EXPECT_TRUE(window.MessageTexts().empty());

  // A file that cannot be played gets the open's message and leaves nothing open.
  const std::string broken = (dir / "broken.wav").string();
  WriteFileBytes(broken, {'R', 'I', 'F', 'F'});
  core.OpenFromOutside(broken);
  ASSERT_FALSE(window.MessageTexts().empty());
  EXPECT_EQ(window.MessageTexts().back(), "StreamBufferSetupPlay Failed");
  EXPECT_EQ(stream().fileOpen, 0);
}

TEST_F(RemoteView, APlayListPathOpensTheList) {
  const std::string a = WriteSong("a.wav", 1), b = WriteSong("b.wav", 1);
  const std::string list = (dir / "list.plf").string();
  const std::string text = JoinPlayListLines(std::vector<std::string>{a, b});
  WriteFileBytes(list, {text.begin(), text.end()});
  core.OpenFromOutside(list);
  EXPECT_EQ(stream().playListPath, list);
  EXPECT_EQ(stream().playback.playPath, a);
  EXPECT_EQ(stream().fileOpen, 1);
}

TEST_F(RemoteView, NothingIsOpenedOverARecordTarget) {
  virtual_sound::SetCaptureFormat({0, 0});
  const std::string target = (dir / "take.wav").string();
  window.QueueFileDialogAnswer(target);
  window.QueueFormatChoice({0, kStereo16});
  ASSERT_TRUE(core.OnCommand(ID_FILE_NEW));
  ASSERT_EQ(stream().recordTargetReady, 1);

  const std::string song = WriteSong("song.wav", 1);
  core.OpenFromOutside(song);
  ASSERT_EQ(window.MessageTexts().size(), 1u);
  EXPECT_NE(window.MessageTexts()[0].find(song + " was not opened"), std::string::npos);
  EXPECT_EQ(stream().recordTargetReady, 1);
  EXPECT_EQ(stream().fileOpen, 0);
}

}  // namespace
}  // namespace bw::test
