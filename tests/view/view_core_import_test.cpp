// Import of compressed sound files through the view's core: the file is decoded into the
// temporary WAVE file and played; dropped and handed-over files take the same road; broken
// files are refused by name with nothing left open.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/wave_image.h"
#include "view_test_util.h"

namespace bw::test {
namespace {

class ImportCommands : public ViewCoreTest {
 protected:
  ImportCommands() { stream().importTempPath = dir / "_import.WAV"; }

  // `samples` coded by ffmpeg with `encoder` into `name`.
  std::string Coded(const std::string& name, const std::string& encoder, uint32_t rate,
                    uint16_t channels, const std::vector<int16_t>& samples) {
    const std::string source = WritePcm(name + ".wav", rate, channels, samples);
    std::vector<std::string> args{"-i", source};
    for (const std::string& w : SplitWords(encoder))
      args.push_back(w);
    args.push_back(dir / name);
    EXPECT_TRUE(RunFfmpeg(args));
    return dir / name;
  }

  bool Import(const std::string& path) {
    window.QueueFileDialogAnswer(path);
    core.OnFileImport();
    return stream().fileOpen == 1;
  }

  // Everything that shows the import went nowhere.
  void ExpectNothingOpen() {
    EXPECT_EQ(stream().fileOpen, 0);
    EXPECT_EQ(stream().playing, 0);
    EXPECT_FALSE(std::filesystem::exists(stream().importTempPath));
  }
};

TEST_F(ImportCommands, AFlacFileIsDecodedIntoTheTemporaryFileAndPlaysExactly) {
  BW_REQUIRE_PROGRAM("ffmpeg");
  const std::vector<int16_t> sound = PatternSamples(44100 * 3 * 2);
  const std::string flac = Coded("song.flac", "-c:a flac", 44100, 2, sound);
  ASSERT_TRUE(Import(flac));
  const std::string temp = stream().importTempPath;
  EXPECT_EQ(stream().playback.sourceFormat, FormatBlock(MakePcmFormat(44100, 2, 16)));
  EXPECT_EQ(stream().playback.playPath, temp);
  EXPECT_EQ(window.DocumentTitle(), flac);
  EXPECT_EQ(stream().playing, 1);
  EXPECT_TRUE(window.Messages().empty());

  const std::vector<int16_t> played = PlayOut();
  ASSERT_GE(played.size(), sound.size());
  EXPECT_TRUE(std::equal(sound.begin(), sound.end(), played.begin()));
  EXPECT_EQ(window.DispatchedCount(WM_STREAM_END), 1);
  core.OnFileClose();
  EXPECT_FALSE(std::filesystem::exists(temp));
}

TEST_F(ImportCommands, AnOggOpusFileIsNeverTakenForMpeg) {
  BW_REQUIRE_PROGRAM("ffmpeg");
  const std::string opus =
      Coded("voice.opus", "-c:a libopus -b:a 64k", 48000, 1, SineTone(48000, 1, 48000, 440));
  ASSERT_TRUE(Import(opus));
  EXPECT_EQ(stream().playback.sourceFormat, FormatBlock(MakePcmFormat(48000, 1, 16)));
  const std::vector<int16_t> played = PlayOut();
  EXPECT_GE(SnrDb(SineTone(48000, 1, 48000, 440), played, 400), 15);
}

TEST_F(ImportCommands, DroppedAndHandedOverFilesTakeTheirOwnRoads) {
  BW_REQUIRE_PROGRAM("ffmpeg");
  const std::vector<int16_t> sound = PatternSamples(22050 * 2);
  const std::string flac = Coded("song.flac", "-c:a flac", 22050, 2, sound);
  core.OpenFromOutside(flac);
  EXPECT_EQ(stream().fileOpen, 1);
  EXPECT_EQ(stream().playing, 1);
  EXPECT_EQ(stream().playback.playPath, stream().importTempPath);
  EXPECT_EQ(window.DocumentTitle(), flac);

  // A WAVE file replaces it and opens as it is.
  const std::string wave = WritePcm("plain.wav", 22050, 2, sound);
  core.OpenFromOutside(wave);
  EXPECT_EQ(stream().fileOpen, 1);
  EXPECT_EQ(stream().playback.playPath, wave);

  const std::string mp3 =
      Coded("song.mp3", "-c:a libmp3lame -b:a 128k", 44100, 2, PatternSamples(44100 * 2));
  core.OpenFromOutside(mp3);
  EXPECT_EQ(stream().playing, 1);
  EXPECT_EQ(stream().playback.sourceFormat.format().wFormatTag, kWaveFormatMpegLayer3);
  EXPECT_TRUE(window.Messages().empty()) << window.MessageTexts().front();
}

TEST_F(ImportCommands, BrokenAndUnknownFilesAreRefusedByName) {
  BW_REQUIRE_PROGRAM("ffmpeg");
  const std::string flac = Coded("song.flac", "-c:a flac", 44100, 2, PatternSamples(44100 * 2));
  std::vector<uint8_t> bytes = ReadFileBytes(flac);
  for (std::size_t i = 100; i < bytes.size(); ++i)
    bytes[i] = static_cast<uint8_t>(i * 131 >> 2);
  const std::string damaged = dir / "damaged.flac";
  WriteFileBytes(damaged, bytes);
  const std::string text = dir / "notes.ogg";
  WriteFileBytes(text, std::vector<uint8_t>(3000, 'x'));
  // A WAVE file is no file to import: File Open plays it.
  const std::string wave = WritePcm("plain.wav", 8000, 1, PatternSamples(8000));

  for (const std::string& bad : {damaged, text, wave, (dir / "gone.flac").string()}) {
    window.ClearMessages();
    EXPECT_FALSE(Import(bad)) << bad;
    ASSERT_EQ(window.Messages().size(), 1u) << bad;
    EXPECT_NE(window.Messages()[0].text.find(bad), std::string::npos) << window.Messages()[0].text;
    ExpectNothingOpen();
  }
  // The same refusal for a file dropped on the window.
  window.ClearMessages();
  core.OpenFromOutside(damaged);
  ASSERT_EQ(window.Messages().size(), 1u);
  EXPECT_NE(window.Messages()[0].text.find(damaged), std::string::npos);
  ExpectNothingOpen();
}

}  // namespace
}  // namespace bw::test
