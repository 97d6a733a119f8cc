// The two property sheets as the view's core runs them: what it fills in, what OK copies back,
// what Cancel keeps, and the sliders' new ranges.
#include <gtest/gtest.h>

#include <cstdio>

#include "view/view_test_util.h"

namespace bw::test {
namespace {

using Properties = ViewCoreTest;

std::string DeviceItem(const std::string& name, std::array<uint32_t, 4> words) {
  char id[64];
  std::snprintf(id, sizeof id, "%11u %11u %11u %11u", words[0], words[1], words[2], words[3]);
  return name + std::string(53, ' ') + id;
}

TEST_F(Properties, PlaybackSheetShowsTheWorkingValuesAndTheOpenFile) {
  const std::string path = WritePcm("take.wav", 22050, 2, PatternSamples(22050 * 2));
  Open(path);
  PlaySettingsValues& s = stream().playSettings;
  stream().selectionStart = 100;
  stream().selectionEnd = 2000;
  s.RepeatSong = 1;
  s.MultiMode = 0;
  s.SyncPlay = 0;
  s.PlayDevice.words = {1, 2, 3, 4000000000u};
  s.EqBand[3] = -77;

  std::optional<PlaySheetData> shown;
  window.playSheetScript = [&](PlaySheetData& data) {
    shown = data;
    return kIdCancel;
  };
  EXPECT_TRUE(core.OnCommand(ID_PROPERTIES_PLAYBACK));
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->general.m_nStart, 100);
  EXPECT_EQ(shown->general.m_nStop, 2000);
  EXPECT_EQ(shown->general.m_nRepeat, 1);
  EXPECT_EQ(shown->general.m_nMode, 0);
  EXPECT_EQ(shown->general.m_bSyncPlay, 0);
  EXPECT_EQ(shown->file.m_strFile, path);
  EXPECT_EQ(shown->file.m_nChannels, 2);
  EXPECT_EQ(shown->file.m_nSamplesPerSec, 22050);
  EXPECT_EQ(shown->file.m_nAvgBytesPerSec, 88200);
  EXPECT_EQ(shown->file.m_strFormat, "WAVE_FORMAT_PCM");
  EXPECT_EQ(shown->file.m_nSize, static_cast<int32_t>(std::filesystem::file_size(path)));
  EXPECT_FALSE(shown->file.m_strDate.empty());
  EXPECT_EQ(shown->device.m_strDevice, "          1           2           3  4000000000");
  EXPECT_EQ(shown->advanced.m_nVolumeMin, -2000);
  EXPECT_EQ(shown->equaliser.m_nBand[3], -77);

  // With no file open the File page keeps the figures of the last run.
  core.OnFileClose();
  stream().playback.playPath.clear();
  core.OnPlaybackProperties();
  EXPECT_EQ(shown->file.m_strFile, "");
  EXPECT_EQ(shown->file.m_nSamplesPerSec, 22050);
  EXPECT_EQ(shown->file.m_strFormat, "WAVE_FORMAT_PCM");
}

TEST_F(Properties, PlaybackOkCopiesBackAndRerangesTheSliders) {
  window.playSheetScript = [](PlaySheetData& data) {
    data.general.m_bAutoPlay = 1;
    data.general.m_bFadeOut = 1;
    data.general.m_nRepeat = 1;
    data.general.m_nMode = 0;
    data.advanced = {-3000, -1000, 200, 50000, -5000, 5000, -3, 3};
    data.device.m_strDevice = DeviceItem("Second card", {7, 8, 9, 10});
    data.equaliser.m_nBand = {-128, 0, 0, 0, 0, 0, 0, 128};
    return kIdOk;
  };
  core.OnPlaybackProperties();
  const PlaySettingsValues& s = stream().playSettings;
  EXPECT_EQ(s.AutoPlay, 1);
  EXPECT_EQ(s.FadeOut, 1);
  EXPECT_EQ(s.RepeatSong, 1);
  EXPECT_EQ(s.MultiMode, 0);
  EXPECT_EQ(s.PlayDevice.words, (std::array<uint32_t, 4>{7, 8, 9, 10}));
  EXPECT_EQ(s.EqBand[0], -128);
  EXPECT_EQ(s.EqBand[7], 128);
  EXPECT_EQ(s.VelocityMax, 3);

  const SliderState& volume = window.Slider(IDC_VOLUME);
  EXPECT_EQ(volume.min, -3000);
  EXPECT_EQ(volume.pos, -1000);
  EXPECT_EQ(volume.ticks.front(), -3000);
  EXPECT_EQ(volume.ticks.size(), 20u);
  EXPECT_EQ(window.Slider(IDC_VELOCITY).ticks, (std::vector<int64_t>{-3, -2, -1, 0, 1, 2}));
  EXPECT_EQ(window.Slider(IDC_BALANCE).ticks.size(), 8u);
  // The frequency keeps its place (within the new range).
  EXPECT_EQ(window.Slider(IDC_FREQUENCY).pos, 44100);
  EXPECT_EQ(window.Text(IDC_FREQUENCY_BOX), " 44100 Hz");
}

TEST_F(Properties, PlaybackOkKeepsWhatItCannotRead) {
  stream().playSettings.RepeatSong = 1;
  stream().playSettings.PlayDevice.words = {5, 6, 7, 8};
  window.playSheetScript = [](PlaySheetData& data) {
    data.general.m_nRepeat = 4;  // neither radio button
    data.device.m_strDevice =
        "Odd card" + std::string(53, ' ') + "         12         abc           7           8";
    return kIdOk;
  };
  core.OnPlaybackProperties();
  EXPECT_EQ(stream().playSettings.RepeatSong, 1);
  // The words read before the first that cannot be read are taken.
  EXPECT_EQ(stream().playSettings.PlayDevice.words, (std::array<uint32_t, 4>{12, 6, 7, 8}));
}

TEST_F(Properties, PlaybackCancelKeepsTheLiveEqualiserAndNothingElse) {
  window.playSheetScript = [&](PlaySheetData& data) {
    data.equaliser.m_nBand[2] = 90;
    core.WindowProc(WM_APPLY_PLAY_PROPERTIES, 0, 0);  // what the Equaliser page sends
    data.advanced.m_nVolumeMin = -100;
    return kIdCancel;
  };
  core.OnPlaybackProperties();
  EXPECT_EQ(stream().playSettings.EqBand[2], 90);
  EXPECT_EQ(stream().playSettings.VolumeMin, -2000);
  EXPECT_EQ(window.Slider(IDC_VOLUME).min, -2000);
}

TEST_F(Properties, RecordSheetRoundTripsTheRecordSettingsAndShowsTheTarget) {
  RecordSettingsValues& s = stream().recordSettings;
  s.StopAtLimit = 1;
  s.StopLimitBytes = 1 << 20;
  s.ActiveThreshold = 500;
  s.RecEqBand[5] = 33;
  stream().capture.targetPath = "/music/take 4.wav";
  stream().capture.targetFormat = FormatBlock(MakePcmFormat(8000, 1));
  stream().capture.targetCreated = 1699963200;  // noon UTC: the same day in every zone
  stream().capture.targetSize = 44;
  stream().recordTargetReady = 1;

  std::optional<RecordSheetData> shown;
  window.recordSheetScript = [&](RecordSheetData& data) {
    shown = data;
    data.general.m_nStopMode = -1;
    data.general.m_nStopLimit = 4096;
    data.advanced = {1, 32767};
    data.device.m_strDevice = DeviceItem("USB microphone", {11, 12, 13, 14});
    return kIdOk;
  };
  core.OnRecordProperties();
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->general.m_nStopMode, 1);
  EXPECT_EQ(shown->general.m_nStopLimit, 1 << 20);
  EXPECT_EQ(shown->advanced.m_nThreshold, 500);
  EXPECT_EQ(shown->file.m_strFile, "/music/take 4.wav");
  EXPECT_EQ(shown->file.m_nChannels, 1);
  EXPECT_EQ(shown->file.m_nAvgBytesPerSec, 16000);
  EXPECT_EQ(shown->file.m_strFormat, "WAVE_FORMAT_PCM");
  EXPECT_EQ(shown->file.m_strDate, "November 14, 2023");
  EXPECT_EQ(shown->file.m_nSize, 44);
  EXPECT_EQ(shown->device.m_strDevice, "          0           0           0           0");

  EXPECT_EQ(s.StopAtLimit, -1);
  EXPECT_EQ(s.StopLimitBytes, 4096);
  EXPECT_EQ(s.VoiceActivated, 1);
  EXPECT_EQ(s.ActiveThreshold, 32767);
  EXPECT_EQ(s.CaptureDevice.words, (std::array<uint32_t, 4>{11, 12, 13, 14}));
  // The record equaliser has no page: its values pass through unchanged.
  EXPECT_EQ(s.RecEqBand[5], 33);
  stream().recordTargetReady = 0;
}

TEST_F(Properties, RecordPropertiesOnlyWhileNoFileIsOpen) {
  EXPECT_EQ(core.QueryCommandState(ID_PROPERTIES_PLAYBACK), (CommandState{true, false}));
  EXPECT_EQ(core.QueryCommandState(ID_PROPERTIES_RECORD), (CommandState{true, false}));
  Open(WritePcm("take.wav", 8000, 1, PatternSamples(8000)));
  EXPECT_EQ(core.QueryCommandState(ID_PROPERTIES_RECORD), (CommandState{false, false}));
  bool ran = false;
  window.recordSheetScript = [&](RecordSheetData&) {
    ran = true;
    return kIdOk;
  };
  EXPECT_TRUE(core.OnCommand(ID_PROPERTIES_RECORD));  // taken, and refused
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace bw::test
