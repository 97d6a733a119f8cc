// Save, Export and Import through the view's core on a headless window: what each writes, and
// how each ends when it completes, is cancelled or refused, fails, or is stopped.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <utility>

#include "platform/acm/acm_formats.h"
#include "platform/acm_test_util.h"
#include "support/wave_image.h"
#include "view/view_test_util.h"

namespace bw::test {
namespace {

FormatBlock Format(const char* text) {
  std::string error;
  FormatBlock format = ParseFormatArgument(text, error);
  EXPECT_TRUE(error.empty()) << error;
  return format;
}

constexpr uint8_t kMpeg1Layer3 = 0xFB;
constexpr uint8_t kMpeg2Layer3 = 0xF3;
constexpr uint8_t k128kAt44100 = 0x90;
constexpr uint8_t k128kAt48000 = 0x94;
constexpr uint8_t k56kLsf = 0x70;  // 22,050 Hz
constexpr uint8_t kStereo = 0x00;
constexpr uint8_t kJointStereo = 0x40;

class ConvertCommands : public ViewCoreTest {
 protected:
  ConvertCommands() { stream().importTempPath = dir / "_import.WAV"; }

  // Opens a 16-bit PCM sweep of `frames` frames and keeps its samples.
  void OpenSweep(uint32_t rate, uint16_t channels, uint32_t frames) {
    source_ = Sweep(rate, channels, frames);
    Open(WritePcm("source.wav", rate, channels, source_));
  }

  // Runs Save into `name`, the chooser answering `choice`; returns the target's path.
  std::string Save(const std::string& name, const FormatBlock& format, int result = 0) {
    const std::string path = dir / name;
    window.QueueFileDialogAnswer(path);
    window.QueueFormatChoice(FormatChoice{result, format});
    core.OnFileSave();
    return path;
  }

  std::string Export(const std::string& name, const FormatBlock& format) {
    const std::string path = dir / name;
    window.QueueFileDialogAnswer(path);
    window.QueueFormatChoice(FormatChoice{0, format});
    core.OnFileExport();
    return path;
  }

  // Imports `bytes` as an MPEG file; true when it ended up open for playback.
  bool Import(const std::vector<uint8_t>& bytes) {
    mpegPath_ = dir / "input.mp3";
    WriteFileBytes(mpegPath_, bytes);
    window.QueueFileDialogAnswer(mpegPath_);
    core.OnFileImport();
    return stream().fileOpen == 1;
  }

  ParsedWave Parsed(const std::string& path) {
    const std::optional<ParsedWave> wave = ParseWave(ReadFileBytes(path));
    EXPECT_TRUE(wave.has_value()) << path;
    return wave.value_or(ParsedWave{});
  }

  bool Exists(const std::string& path) { return std::filesystem::exists(path); }

  std::vector<int16_t> source_;
  std::string mpegPath_;
};

TEST_F(ConvertCommands, SaveWritesTheChosenFormatWholeWithTheCodedByteCountAsFact) {
  OpenSweep(44100, 2, 44100 * 2);
  for (const char* text : {"mp3:44100:2:128", "imaadpcm:44100:2", "mulaw:44100:2"}) {
    window.ClearMessages();
    const FormatBlock format = Format(text);
    std::string name = text;
    std::replace(name.begin(), name.end(), ':', '_');
    const std::string path = Save(name + ".wav", format);
    EXPECT_EQ(window.MessageTexts(), std::vector<std::string>{"Complete Convert"}) << text;
    const ParsedWave out = Parsed(path);
    EXPECT_EQ(out.format, format) << text;
    EXPECT_EQ(out.fact, out.data.size()) << text;
    // Decoded back, the whole sweep is there: the codec's look-ahead was written at the end.
    const std::vector<int16_t> back =
        Pcm16Samples(ConvertAll(format, Pcm16Block(44100, 2), out.data));
    EXPECT_GE(back.size(), source_.size()) << text;
    EXPECT_GE(DelayedSnrDb(source_, back, 2, 3000), 20) << text;
  }
  EXPECT_EQ(stream().capture.targetPath, (dir / "mulaw_44100_2.wav").string());
  EXPECT_EQ(window.Slider(IDC_POSITION).pos, stream().playback.dataBytes);
  EXPECT_EQ(window.Text(IDC_POSITION_BOX), "    352800");
  EXPECT_EQ(window.StatusText(), "Ready");
  EXPECT_EQ(stream().converting, 0);
  EXPECT_EQ(stream().recordTargetReady, 0);
  EXPECT_EQ(core.QueryCommandState(ID_PLAY), (CommandState{true, false}));
}

TEST_F(ConvertCommands, PcmWidthChangesAreExactWhateverTheBlock) {
  // 24-bit stereo: the playback block (200,000 bytes) is not a whole number of frames.
  std::vector<uint8_t> wide;
  std::vector<int16_t> expected;
  for (int16_t s : PatternSamples(2 * 90000)) {
    wide.insert(wide.end(), {0x5A, static_cast<uint8_t>(s), static_cast<uint8_t>(s >> 8)});
    expected.push_back(s);
  }
  Open(WriteWave("wide.wav", FormatBlock(MakePcmFormat(44100, 2, 24)), wide));
  const std::string narrowed = Save("narrowed.wav", Format("pcm:44100:2:16"));
  EXPECT_EQ(Pcm16Samples(Parsed(narrowed).data), expected);

  // 8-bit at 96 kHz: twice the block's output would not fit the work buffer.
  core.OnFileClose();
  std::vector<uint8_t> bytes(2 * 96000 * 3);
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<uint8_t>(i * 7 + i / 5);
  Open(WriteWave("bytes.wav", FormatBlock(MakePcmFormat(96000, 2, 8)), bytes));
  const std::string widened = Save("widened.wav", FormatBlock(MakePcmFormat(96000, 2, 16)));
  const std::vector<int16_t> out = Pcm16Samples(Parsed(widened).data);
  ASSERT_EQ(out.size(), bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i)
    ASSERT_EQ(out[i], (bytes[i] - 128) * 256) << i;
}

TEST_F(ConvertCommands, AnEmptySourceGivesAnEmptyDataChunk) {
  Open(WritePcm("empty.wav", 44100, 2, {}));
  const std::string path = Save("empty_out.wav", Format("mp3:44100:2:128"));
  EXPECT_EQ(window.MessageTexts(), std::vector<std::string>{"Complete Convert"});
  const ParsedWave out = Parsed(path);
  EXPECT_TRUE(out.data.empty());
  EXPECT_EQ(out.fact, 0u);
}

TEST_F(ConvertCommands, CancelledOrDeclinedCommandsWriteNothing) {
  OpenSweep(22050, 1, 22050);
  core.OnFileSave();  // no name chosen
  EXPECT_EQ(stream().lastError, -4000);

  const std::string fresh = Save("fresh.wav", Format("mp3:22050:1:64"), kAcmErrCanceled);
  EXPECT_FALSE(Exists(fresh));
  EXPECT_EQ(stream().lastError, -4000);

  const std::string kept = dir / "kept.wav";
  WriteFileBytes(kept, {1, 2, 3});
  Save("kept.wav", Format("mp3:22050:1:64"), kAcmErrCanceled);  // Yes to overwrite, then cancel
  window.QueueMessageBoxAnswer(kIdNo);
  Save("kept.wav", Format("mp3:22050:1:64"));
  EXPECT_EQ(ReadFileBytes(kept), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(window.MessageTexts(),
            (std::vector<std::string>{"File " + kept + " exists,Overwrite File",
                                      "File " + kept + " exists,Overwrite File"}));
  EXPECT_EQ(stream().recordTargetReady, 0);
  EXPECT_EQ(window.StatusText(), "Ready");
}

TEST_F(ConvertCommands, RefusedTargetsAreNotWrittenAndTheNextCommandWorks) {
  OpenSweep(44100, 2, 44100);
  const std::string source = dir / "source.wav";
  const std::vector<uint8_t> original = ReadFileBytes(source);
  window.QueueFileDialogAnswer(source);
  core.OnFileSave();
  EXPECT_EQ(ReadFileBytes(source), original);

  WAVEFORMATEX unknown = Format("mp3:44100:2:128").format();
  unknown.wFormatTag = 0x0160;
  EXPECT_FALSE(Exists(Save("unknown.wav", FormatBlock(unknown))));
  EXPECT_FALSE(Exists(Save("rate.wav", Format("mp3:48000:2:128"))));
  EXPECT_EQ(stream().lastError, -5000);
  ASSERT_EQ(window.Messages().size(), 3u);
  EXPECT_NE(window.Messages()[0].text.find(source), std::string::npos);
  EXPECT_EQ(window.Messages()[1].text, "UnSupported Format");
  EXPECT_EQ(window.Messages()[1].style, kMbOk | kMbIconExclamation);
  EXPECT_EQ(window.Messages()[2].text, "Failed acmStreamOpenConvert");

  // A named pipe that nobody reads cannot take the file (and must not hang the command).
  ASSERT_EQ(mkfifo((dir / "pipe.wav").c_str(), 0600), 0);
  window.ClearMessages();
  Save("pipe.wav", Format("mp3:44100:2:128"));
  ASSERT_EQ(window.Messages().size(), 2u);  // the overwrite question, then the refusal
  EXPECT_EQ(
      window.MessageTexts()[1].rfind("Cannot create the file " + (dir / "pipe.wav").string(), 0),
      0u);

  window.ClearMessages();
  Save("good.wav", Format("mp3:44100:2:128"));
  EXPECT_EQ(window.MessageTexts(), std::vector<std::string>{"Complete Convert"});
}

TEST_F(ConvertCommands, AFullDiskEndsTheConversionWithAMessageInsteadOfComplete) {
  OpenSweep(44100, 2, 44100 * 3);
  {
    FileSizeLimit limit(100000);
    Save("full.wav", Format("pcm:44100:2:8"));
    Export("full.raw", Format("alaw:44100:2"));
  }
  const std::vector<std::string> texts = window.MessageTexts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].rfind("Cannot write the file " + (dir / "full.wav").string(), 0), 0u);
  EXPECT_EQ(texts[1], "Cannot write the file " + (dir / "full.raw").string() + " (File too large)");
  EXPECT_EQ(stream().converting, 0);
  EXPECT_EQ(window.StatusText(), "Ready");
}

// A cut file converts as it plays: everything it holds, and no more.
TEST_F(ConvertCommands, AShortSourceFileKeepsWhatCouldBeRead) {
  source_ = Sweep(44100, 2, 44100 * 2);
  std::vector<uint8_t> image = BuildWave(FormatBlock(MakePcmFormat(44100, 2)), Pcm16Bytes(source_));
  image.resize(image.size() - 100000);  // the data chunk claims more than the file holds
  WriteFileBytes(dir / "cut.wav", image);
  Open(dir / "cut.wav");
  const std::string path = Save("cut_out.wav", Format("pcm:44100:2:16"));
  ASSERT_EQ(window.Messages().size(), 1u);
  EXPECT_EQ(window.MessageTexts()[0], "Complete Convert");
  const std::vector<int16_t> out = Pcm16Samples(Parsed(path).data);
  ASSERT_EQ(out.size(), source_.size() - 50000);
  EXPECT_TRUE(std::equal(out.begin(), out.end(), source_.begin()));
}

// The messages arrive while the overwrite question is up, so the conversion's own pumps handle
// them.
TEST_F(ConvertCommands, MessagesHandledDuringTheConversion) {
  OpenSweep(44100, 2, 44100 * 2);
  uint32_t postWhenAsked = 0;
  window.onMessage = [&](const HeadlessWindow::ShownMessage&) {
    if (postWhenAsked != 0) window.PostMessage(std::exchange(postWhenAsked, 0), 0, 0);
  };
  // A remote Play must not start playback from the source being converted.
  WriteFileBytes(dir / "played.wav", {});
  postWhenAsked = WM_REMOTE_PLAY;
  const std::string played = Save("played.wav", Format("pcm:44100:2:16"));
  EXPECT_EQ(Pcm16Samples(Parsed(played).data), source_);
  EXPECT_EQ(window.MessageTexts().back(), "Complete Convert");

  // Stop ends the conversion; what was written is a valid file and the next Save works.
  WriteFileBytes(dir / "stopped.wav", {});
  postWhenAsked = WM_REMOTE_STOP;
  window.ClearMessages();
  const std::string stopped = Save("stopped.wav", Format("mp3:44100:2:128"));
  window.onMessage = nullptr;
  EXPECT_EQ(window.Messages().size(), 1u);  // the overwrite question only
  EXPECT_TRUE(Parsed(stopped).data.empty());
  EXPECT_EQ(stream().converting, 0);
  EXPECT_EQ(stream().recordTargetReady, 0);
  window.ClearMessages();
  Save("again.wav", Format("mp3:44100:2:128"));
  EXPECT_EQ(window.MessageTexts(), std::vector<std::string>{"Complete Convert"});
}

TEST_F(ConvertCommands, ExportWritesABareStreamThatDecodesToTheSource) {
  OpenSweep(44100, 2, 44100 * 2);
  const FormatBlock mp3 = Format("mp3:44100:2:128");
  const std::vector<uint8_t> bytes = ReadFileBytes(Export("out.mp3", mp3));
  EXPECT_EQ(window.MessageTexts(), std::vector<std::string>{"Complete Export"});
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1] & 0xE0, 0xE0);
  const std::vector<int16_t> back = Pcm16Samples(ConvertAll(mp3, Pcm16Block(44100, 2), bytes));
  EXPECT_GE(back.size(), source_.size());
  EXPECT_GE(DelayedSnrDb(source_, back, 2, 3000), 20);
}

TEST_F(ConvertCommands, ImportThenExportGivesBackTheMpegFileByteForByte) {
  // A tag ahead of the frames and an odd length (the wrapper pads its data chunk).
  std::vector<uint8_t> mpeg = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 5, 'T', 'I', 'T', '2', 0};
  const std::vector<uint8_t> frames =
      SilentMpegFrames(kMpeg1Layer3, k128kAt44100, kJointStereo, 417, 100);
  mpeg.insert(mpeg.end(), frames.begin(), frames.end());
  ASSERT_TRUE(Import(mpeg));
  Advance(BlockFrames());  // playback moves the reader on; the copy starts at the data anyway
  core.OnStop();
  const std::vector<uint8_t> back = ReadFileBytes(Export("back.mp3", FormatBlock()));
  EXPECT_EQ(back, mpeg);
  EXPECT_EQ(window.MessageTexts(), std::vector<std::string>{"Complete Export"});
}

TEST_F(ConvertCommands, ImportWrapsTheFileInAFormatTakenFromItsFirstHeader) {
  ASSERT_TRUE(Import(SilentMpegFrames(kMpeg1Layer3, k128kAt44100, kStereo, 417, 200)));
  const std::string temp = stream().importTempPath;
  const WAVEFORMATEX& f = stream().playback.sourceFormat.format();
  EXPECT_EQ(f.nChannels, 2);
  EXPECT_EQ(f.nSamplesPerSec, 44100u);
  EXPECT_EQ(f.nAvgBytesPerSec, 16000u);
  EXPECT_EQ(stream().playback.sourceFormat.WordAt(24), 417);  // nBlockSize
  EXPECT_EQ(stream().playback.playPath, temp);
  EXPECT_EQ(window.DocumentTitle(), mpegPath_);
  EXPECT_EQ(stream().playing, 1);
  EXPECT_EQ(Parsed(temp).data, ReadFileBytes(mpegPath_));
  EXPECT_EQ(Parsed(temp).fact, 1u);
  EXPECT_EQ(core.QueryCommandState(ID_FILE_IMPORT), (CommandState{false, false}));
  PlayOut();
  EXPECT_EQ(window.DispatchedCount(WM_STREAM_END), 1);
  core.OnFileClose();
  EXPECT_FALSE(Exists(temp));
}

TEST_F(ConvertCommands, ImportTakesWhatTheCodecPlaysAndRefusesTheRest) {
  // 48 kHz plays in joint stereo only; MPEG-2 is refused by the header reader.
  EXPECT_FALSE(Import(SilentMpegFrames(kMpeg1Layer3, k128kAt48000, kStereo, 384, 50)));
  EXPECT_FALSE(Import(SilentMpegFrames(kMpeg2Layer3, k56kLsf, kStereo, 182, 50)));
  const std::vector<HeadlessWindow::ShownMessage>& shown = window.Messages();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].text, "UnSupported Format");
  EXPECT_EQ(shown[1].text, "Sorry, MPEG-2 LSF is not supported yet.");
  EXPECT_EQ(shown[1].caption, "Stream not supported");
  EXPECT_FALSE(Exists(stream().importTempPath));

  EXPECT_TRUE(Import(SilentMpegFrames(kMpeg1Layer3, k128kAt48000, kJointStereo, 384, 50)));
  EXPECT_EQ(stream().playback.sourceFormat.format().nSamplesPerSec, 48000u);
  core.OnFileClose();

  // A mono file is described as stereo and heard on both channels.
  const std::vector<int16_t> tone = Sweep(44100, 1, 44100);
  ASSERT_TRUE(Import(ConvertAll(Pcm16Block(44100, 1), Format("mp3:44100:1:64"), Pcm16Bytes(tone))));
  const std::vector<int16_t> played = PlayOut();
  ASSERT_GT(played.size(), tone.size());
  std::vector<int16_t> left;
  for (std::size_t i = 0; i + 1 < played.size(); i += 2) {
    ASSERT_EQ(played[i], played[i + 1]) << i;
    left.push_back(played[i]);
  }
  EXPECT_GE(DelayedSnrDb(tone, left, 1, 4000), 20);
}

// From its dialog to its end Import owns the view: what other programs, the user's other
// commands and late messages ask for meanwhile must not touch the file it is wrapping.
TEST_F(ConvertCommands, ImportHoldsTheViewBusyFromItsDialogToItsEnd) {
  const std::string tone = WritePcm("tone.wav", 44100, 2, Sweep(44100, 2, 4410));
  int pumps = 0;
  window.onPump = [&] {
    ++pumps;
    EXPECT_TRUE(core.IsRunningCommand());
    EXPECT_EQ(window.StatusText(), "Converting");
    for (int id : {ID_FILE_OPEN, ID_FILE_IMPORT, ID_FILE_NEW, ID_PLAYLIST_OPEN, ID_PLAYLIST_NEW,
                   ID_FILE_MRU_FIRST, ID_PROPERTIES_RECORD, ID_PLAY})
      EXPECT_FALSE(core.QueryCommandState(id)->enabled) << id;
    EXPECT_TRUE(core.QueryCommandState(ID_STOP)->enabled);
    // The pump after the dialog, then one inside the copy.
    if (pumps != 1 && pumps != 3) return;
    core.OpenFromOutside(tone);
    window.PostMessage(WM_PLAYFILE_CHOSEN, 1, 0);
    window.PostMessage(WM_REMOTE_PLAY, 0, 0);
    window.PostMessage(WM_STREAM_END, 0, 0);
  };
  const std::vector<uint8_t> mpeg =
      SilentMpegFrames(kMpeg1Layer3, k128kAt44100, kJointStereo, 417, 200);
  ASSERT_TRUE(Import(mpeg));
  window.onPump = nullptr;
  EXPECT_GT(pumps, 3);
  EXPECT_FALSE(core.IsRunningCommand());
  EXPECT_EQ(stream().playback.playPath, stream().importTempPath);
  EXPECT_EQ(stream().playback.sourceFormat.format().wFormatTag, kWaveFormatMpegLayer3);
  EXPECT_EQ(stream().playing, 1);
  EXPECT_EQ(window.StatusText(), "Playing");
  EXPECT_EQ(Parsed(stream().importTempPath).data, mpeg);
  const std::string refused = tone + " was not opened: stop the recording or the conversion first.";
  EXPECT_EQ(window.MessageTexts(), (std::vector<std::string>{refused, refused}));
  // Other programs see the file the user imported, not its wrapper.
  EXPECT_EQ(core.DescribeForRemote().file, std::filesystem::path(mpegPath_));
}

// Stop (the close box, another program's Quit) ends an Import at any point: nothing plays, the
// wrapper is gone, the view is Ready and the next Import works.
TEST_F(ConvertCommands, StopEndsAnImportCleanlyWhereverItArrives) {
  const std::vector<uint8_t> mpeg =
      SilentMpegFrames(kMpeg1Layer3, k128kAt44100, kJointStereo, 417, 200);
  for (int stopAt : {1, 2, 4}) {
    int pumps = 0;
    window.onPump = [&] {
      if (++pumps == stopAt) window.PostMessage(WM_REMOTE_STOP, 0, 0);
    };
    EXPECT_FALSE(Import(mpeg)) << stopAt;
    EXPECT_EQ(stream().playing, 0);
    EXPECT_EQ(stream().converting, 0);
    EXPECT_EQ(window.StatusText(), "Ready");
    EXPECT_FALSE(Exists(stream().importTempPath));
    EXPECT_FALSE(core.IsRunningCommand());
  }
  window.onPump = nullptr;
  EXPECT_TRUE(window.Messages().empty());
  EXPECT_TRUE(Import(mpeg));
}

// Whatever someone planted under the wrapper's name is replaced, never written through: a hard
// link's other name keeps its bytes, a named pipe cannot hold Import up.
TEST_F(ConvertCommands, ImportReplacesWhatIsPlantedUnderTheTemporaryName) {
  const std::vector<uint8_t> mpeg =
      SilentMpegFrames(kMpeg1Layer3, k128kAt44100, kJointStereo, 417, 50);
  const std::string temp = stream().importTempPath;
  const std::string victim = dir / "victim.wav";
  WriteFileBytes(victim, {1, 2, 3});
  ASSERT_EQ(::link(victim.c_str(), temp.c_str()), 0);
  ASSERT_TRUE(Import(mpeg));
  EXPECT_EQ(ReadFileBytes(victim), (std::vector<uint8_t>{1, 2, 3}));
  core.OnFileClose();

  ASSERT_EQ(::mkfifo(temp.c_str(), 0600), 0);
  ASSERT_TRUE(Import(mpeg));
  EXPECT_EQ(Parsed(temp).data, mpeg);
  core.OnFileClose();

  std::filesystem::create_symlink(victim, temp);
  ASSERT_TRUE(Import(mpeg));
  EXPECT_EQ(ReadFileBytes(victim), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_FALSE(std::filesystem::is_symlink(temp));
  core.OnFileClose();
  EXPECT_TRUE(window.Messages().empty());
}

TEST_F(ConvertCommands, ImportReplacesAFileOfAnotherUserUnderTheTemporaryName) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  const std::string temp = stream().importTempPath;
  WriteFileBytes(temp, {9, 9});
  ASSERT_EQ(::chown(temp.c_str(), 65534, 65534), 0);
  const std::vector<uint8_t> mpeg =
      SilentMpegFrames(kMpeg1Layer3, k128kAt44100, kJointStereo, 417, 50);
  ASSERT_TRUE(Import(mpeg));
  struct stat info {};
  ASSERT_EQ(::stat(temp.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, ::geteuid());
  EXPECT_EQ(info.st_nlink, 1u);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(ConvertCommands, EnableRulesFollowTheSourceFormatAndTheBusyFlags) {
  const auto state = [&](int id) { return core.QueryCommandState(id)->enabled; };
  EXPECT_FALSE(state(ID_FILE_SAVE));
  EXPECT_FALSE(state(ID_FILE_SAVE_AS));
  EXPECT_TRUE(state(ID_FILE_IMPORT));
  OpenSweep(8000, 1, 8000);
  EXPECT_TRUE(state(ID_FILE_SAVE));
  EXPECT_TRUE(state(ID_FILE_SAVE_AS));
  EXPECT_FALSE(state(ID_FILE_IMPORT));
  for (std::atomic<int32_t>* busy : {&stream().playing, &stream().paused, &stream().converting,
                                     &stream().recording, &stream().recordTargetReady}) {
    *busy = 1;
    EXPECT_FALSE(state(ID_FILE_SAVE));
    EXPECT_FALSE(state(ID_FILE_SAVE_AS));
    *busy = 0;
  }
  core.OnFileClose();
  stream().recordTargetReady = 1;
  EXPECT_FALSE(state(ID_FILE_IMPORT));
  stream().recordTargetReady = 0;

  Open(WriteWave("gsm.wav", Format("gsm610:8000:1"), std::vector<uint8_t>(65 * 20)));
  EXPECT_FALSE(state(ID_FILE_SAVE));
  EXPECT_FALSE(state(ID_FILE_SAVE_AS));
  core.OnFileClose();
  ASSERT_TRUE(Import(SilentMpegFrames(kMpeg1Layer3, k128kAt44100, kJointStereo, 417, 20)));
  core.OnStop();
  EXPECT_FALSE(state(ID_FILE_SAVE));
  EXPECT_TRUE(state(ID_FILE_SAVE_AS));
}

}  // namespace
}  // namespace bw::test
