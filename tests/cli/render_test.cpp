// brookwave-cli render and play: what the card played comes out exactly for PCM and as ffmpeg
// decodes it for the coded formats; the options act as the controls they stand for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "support/test_support.h"
#include "support/wave_image.h"

namespace bw {
namespace {

using test::CommandResult;
using test::RunCli;

constexpr const char* kFlat = "0,0,0,0,0,0,0,0";

class CliRender : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return (dir / name).string(); }

  std::string WritePcm(const std::string& name, uint32_t rate, uint16_t channels,
                       const std::vector<int16_t>& samples) {
    test::WritePcmWave(Path(name), rate, channels, samples);
    return Path(name);
  }

  // Whether brookwave-cli `args` opens a library whose name holds `library`, by the loader's
  // own account; the command must succeed.
  static bool Loads(const std::vector<std::string>& args, const std::string& library) {
    // Leak checks off: ALSA's plugins, which PortAudio opens to list devices, leak in their
    // constructors.
    const char* asan = std::getenv("ASAN_OPTIONS");
    std::vector<std::string> argv{
        "env", "LD_DEBUG=files",
        std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":detect_leaks=0", BW_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    const CommandResult r = test::RunCommand(argv);
    EXPECT_EQ(r.exit_code, 0) << args[0] << ": " << r.err.substr(0, 400);
    return r.err.find(library) != std::string::npos;
  }

  // brookwave-cli `args` where the libraries whose names start with one of `hidden` (separated
  // by ':') are not installed.
  static CommandResult RunWithout(const std::string& hidden, const std::vector<std::string>& args) {
    const char* asan = std::getenv("ASAN_OPTIONS");
    // The sanitizer's runtime must otherwise come first among the preloaded libraries.
    std::vector<std::string> argv{
        "env", std::string("LD_PRELOAD=") + BW_HIDE_LIBRARIES_PATH, "BW_HIDE_LIBRARIES=" + hidden,
        std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0",
        BW_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return test::RunCommand(argv);
  }

  // Renders `in` with `options`; the parsed output file, which must be 16-bit PCM.
  test::ParsedWave Render(const std::string& in,
                          std::vector<std::string> options = {"--eq", kFlat}) {
    std::vector<std::string> args{"render", in, Path("out.wav")};
    args.insert(args.end(), options.begin(), options.end());
    const CommandResult r = RunCli(args);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    const std::optional<test::ParsedWave> wave =
        test::ParseWave(test::ReadFileBytes(Path("out.wav")));
    EXPECT_TRUE(wave.has_value());
    if (!wave) return {};
    EXPECT_EQ(wave->format.format().wFormatTag, kWaveFormatPcm);
    EXPECT_EQ(wave->format.format().wBitsPerSample, 16);
    return *wave;
  }

  test::TempDir dir;
};

bool SilentFrom(const std::vector<int16_t>& v, std::size_t from) {
  return std::all_of(v.begin() + std::min(from, v.size()), v.end(),
                     [](int16_t s) { return s == 0; });
}

double Rms(const std::vector<int16_t>& v, std::size_t from, std::size_t count) {
  double sum = 0;
  for (std::size_t i = from; i < from + count; ++i)
    sum += double(v[i]) * v[i];
  return std::sqrt(sum / count);
}

TEST_F(CliRender, PcmComesOutExactlyThenSilenceToTheEndOfTheBlock) {
  for (uint32_t frames : {100u, 35280u, 100000u}) {
    const std::vector<int16_t> data = test::SineTone(44100, 2, frames, 440, 0.9);
    const test::ParsedWave out = Render(WritePcm("in.wav", 44100, 2, data));
    EXPECT_EQ(out.format.format().nSamplesPerSec, 44100u);
    EXPECT_EQ(out.format.format().nChannels, 2);
    const std::vector<int16_t> played = test::Pcm16Samples(out.data);
    EXPECT_EQ(played.size() % 70560, 0u) << frames;
    ASSERT_GE(played.size(), data.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), played.begin())) << frames;
    EXPECT_TRUE(SilentFrom(played, data.size())) << frames;
  }
}

TEST_F(CliRender, OptionsActAsTheControls) {
  const std::vector<int16_t> data = test::SineTone(22050, 2, 4 * 22050, 500, 0.5);
  const std::string in = WritePcm("in.wav", 22050, 2, data);
  const std::vector<int16_t> flat = test::Pcm16Samples(Render(in).data);

  // -6 dB on the volume, the right side 20 dB down on the balance.
  const std::vector<int16_t> quieter =
      test::Pcm16Samples(Render(in, {"--eq", kFlat, "--volume", "-600", "--pan", "-2000"}).data);
  const auto channel = [](const std::vector<int16_t>& v, int c) {
    std::vector<int16_t> out;
    for (std::size_t i = c; i < v.size(); i += 2)
      out.push_back(v[i]);
    return out;
  };
  EXPECT_NEAR(Rms(channel(quieter, 0), 0, 20000) / Rms(channel(flat, 0), 0, 20000), 0.501, 0.01);
  EXPECT_NEAR(Rms(channel(quieter, 1), 0, 20000) / Rms(channel(flat, 1), 0, 20000), 0.0501, 0.002);

  // Played twice as fast: half as long.
  const std::vector<int16_t> faster =
      test::Pcm16Samples(Render(in, {"--eq", kFlat, "--frequency", "44100"}).data);
  EXPECT_NEAR(double(faster.size()) / flat.size(), 0.5, 0.1);

  // A selection, and the song repeated once.
  const std::vector<int16_t> part =
      test::Pcm16Samples(Render(in, {"--eq", kFlat, "--selection", "4000:8000"}).data);
  ASSERT_EQ(part.size(), 2 * 35280u);  // the block that passes the end is the last heard
  EXPECT_TRUE(std::equal(part.begin(), part.end(), data.begin() + 2000));
  const std::vector<int16_t> twice =
      test::Pcm16Samples(Render(in, {"--eq", kFlat, "--repeat", "1"}).data);
  ASSERT_EQ(twice.size(), 2 * flat.size());
  EXPECT_TRUE(std::equal(flat.begin(), flat.end(), twice.begin() + flat.size()));

  // The default equaliser (every band at 1) colours the sound a little.
  const std::vector<int16_t> coloured = test::Pcm16Samples(Render(in, {}).data);
  EXPECT_NE(coloured, flat);
  EXPECT_GT(test::SnrDb(data, coloured), 20);
}

TEST_F(CliRender, BadArgumentsAndFilesFailWithAMessage) {
  const std::string in = WritePcm("in.wav", 8000, 1, std::vector<int16_t>(800));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"render", in},
        {"render", in, Path("o.wav"), "--eq", "1,2,3"},
        {"render", in, Path("o.wav"), "--eq", "0,0,0,0,0,0,0,999"},
        {"render", in, Path("o.wav"), "--selection", "9:3"},
        {"render", in, Path("o.wav"), "--volume", "loud"}}) {
    EXPECT_EQ(RunCli(args).exit_code, 2) << args.back();
  }
  const CommandResult onto_itself = RunCli({"render", in, in});
  EXPECT_EQ(onto_itself.exit_code, 1);
  EXPECT_EQ(test::ReadFileBytes(in).size(), 44u + 1600u);  // untouched
  const CommandResult missing = RunCli({"render", Path("none.wav"), Path("o.wav")});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_EQ(missing.err, "File " + Path("none.wav") + " not found\nStreamBufferSetupPlay Failed\n");
}

// FFmpeg's libraries and the ninety they bring in are loaded by a command that needs a codec of
// theirs, not by every run: the loader's own account says which it opened.
TEST_F(CliRender, FfmpegsLibrariesAreLoadedOnlyForTheCodecsThatNeedThem) {
  const auto loaded = [&](const std::vector<std::string>& args) {
    return Loads(args, "libavcodec.so");
  };
  const std::string pcm = WritePcm("pcm.wav", 22050, 2, test::SineTone(22050, 2, 3000, 440, 0.5));
  EXPECT_FALSE(loaded({"info", pcm}));
  EXPECT_FALSE(loaded({"render", pcm, Path("out.wav")}));

  const FormatBlock ima(WAVEFORMATEX{kWaveFormatImaAdpcm, 2, 22050, 22311, 1024, 4, 0},
                        std::vector<uint8_t>{0xF9, 0x03});
  test::WriteFileBytes(Path("ima.wav"),
                       test::BuildRiffWave({{"fmt ", test::FmtBody(ima), {}},
                                            {"data", std::vector<uint8_t>(4096, 7), {}}}));
  EXPECT_TRUE(loaded({"render", Path("ima.wav"), Path("out.wav")}));
}

// Where FFmpeg's libraries are not installed, their codecs and containers fail with a message
// (never a crash) and PCM plays as ever.
TEST_F(CliRender, WithoutFfmpegsLibrariesTheirFormatsFailWithAMessageAndPcmStillPlays) {
  BW_REQUIRE_PROGRAM("sox");
  const auto without = [&](const std::vector<std::string>& args) {
    return RunWithout("libav:libswresample", args);
  };
  const std::string pcm = WritePcm("pcm.wav", 22050, 2, test::SineTone(22050, 2, 3000, 440, 0.5));
  const CommandResult played = without({"render", pcm, Path("out.wav")});
  EXPECT_EQ(played.exit_code, 0) << played.err;

  ASSERT_EQ(test::RunCommand({"sox", "-n", "-r", "22050", "-c", "1", "-e", "ima-adpcm",
                              Path("ima.wav"), "synth", "0.5", "sine", "440"})
                .exit_code,
            0);
  const CommandResult coded = without({"render", Path("ima.wav"), Path("out.wav")});
  EXPECT_EQ(coded.exit_code, 1) << coded.err;
  EXPECT_NE(coded.err, "");

  ASSERT_EQ(test::RunCommand({"sox", "-n", "-r", "22050", "-c", "1", Path("tone.flac"), "synth",
                              "0.5", "sine", "440"})
                .exit_code,
            0);
  const CommandResult imported = without({"import", Path("tone.flac"), Path("imported.wav")});
  EXPECT_EQ(imported.exit_code, 1) << imported.err;
  EXPECT_NE(imported.err.find("the FFmpeg libraries it needs are not installed"), std::string::npos)
      << imported.err;
}

// The sound server's library and PortAudio (with ALSA and JACK) are loaded by the backend that
// uses them, not by every run: rendering on the virtual card and describing a file need none.
TEST_F(CliRender, SoundLibrariesAreLoadedOnlyByTheBackendThatUsesThem) {
  const std::string pcm = WritePcm("pcm.wav", 22050, 2, test::SineTone(22050, 2, 3000, 440, 0.5));
  for (const std::vector<std::string>& args : {std::vector<std::string>{"info", pcm},
                                               {"render", pcm, Path("out.wav")},
                                               {"devices", "--backend", "null"}}) {
    EXPECT_FALSE(Loads(args, "libpulse.so")) << args[0];
    EXPECT_FALSE(Loads(args, "libportaudio.so")) << args[0];
  }
  EXPECT_TRUE(Loads({"devices", "--backend", "pulse"}, "libpulse.so"));
  EXPECT_TRUE(Loads({"devices", "--backend", "portaudio"}, "libportaudio.so"));
}

// Without libpulse and PortAudio, every backend falls back to the silent device and a file
// plays through to its end there.
TEST_F(CliRender, WithoutTheSoundLibrariesPlayingFallsBackToTheSilentDevice) {
  const std::string pcm = WritePcm("pcm.wav", 22050, 2, test::SineTone(22050, 2, 2205, 440, 0.5));
  for (const char* backend : {"auto", "pulse", "portaudio"}) {
    const CommandResult listed =
        RunWithout("libpulse:libportaudio", {"devices", "--backend", backend});
    EXPECT_EQ(listed.exit_code, 0) << backend << ": " << listed.err;
  }
  const CommandResult played = RunWithout("libpulse:libportaudio", {"play", pcm});
  EXPECT_EQ(played.exit_code, 0) << played.err;
}

// Three songs of one length, written as a play list; `silent_gap` the frames of silence each
// one is heard with (the rest of its last block).
class CliRenderPlayList : public CliRender {
 protected:
  void SetUp() override {
    for (int i = 0; i < 3; ++i) {
      songs_.push_back(test::SineTone(22050, 2, 15000, 300.0 + 200 * i, 0.5));
      paths_.push_back(WritePcm("song" + std::to_string(i) + ".wav", 22050, 2, songs_.back()));
    }
  }
  std::string WriteList(const std::vector<std::string>& entries) {
    std::string text;
    for (const std::string& entry : entries)
      text += entry + "\r\n";
    test::WriteFileBytes(Path("songs.plf"), {text.begin(), text.end()});
    return Path("songs.plf");
  }
  // Each song of `order` must be heard in turn, each in an equal share of `played`.
  void ExpectInTurn(const std::vector<int16_t>& played, std::initializer_list<int> order) {
    ASSERT_EQ(played.size() % order.size(), 0u);
    const std::size_t share = played.size() / order.size();
    std::size_t at = 0;
    for (int i : order) {
      const std::vector<int16_t>& song = songs_[i];
      ASSERT_GE(share, song.size());
      EXPECT_TRUE(std::equal(song.begin(), song.end(), played.begin() + at)) << "at " << at;
      EXPECT_TRUE(std::all_of(played.begin() + at + song.size(), played.begin() + at + share,
                              [](int16_t v) { return v == 0; }));
      at += share;
    }
  }

  std::vector<std::vector<int16_t>> songs_;
  std::vector<std::string> paths_;
};

TEST_F(CliRenderPlayList, EntriesFollowOneAnotherAndRepeatPlayListWraps) {
  const std::string list = WriteList(paths_);
  const test::ParsedWave once = Render(list);
  EXPECT_EQ(once.format.format().nSamplesPerSec, 22050u);
  ExpectInTurn(test::Pcm16Samples(once.data), {0, 1, 2});
  ExpectInTurn(test::Pcm16Samples(Render(list, {"--eq", kFlat, "--repeat-playlist", "1"}).data),
               {0, 1, 2, 0, 1, 2});
  WriteList({paths_[1]});
  ExpectInTurn(test::Pcm16Samples(Render(list, {"--eq", kFlat, "--repeat-playlist", "2"}).data),
               {1, 1, 1});
}

// The test runs in another folder than the list's: bare names are found beside the list.
TEST_F(CliRenderPlayList, RelativeEntriesAreTakenFromTheListsFolder) {
  const std::string list = WriteList({"song0.wav", "./song1.wav", paths_[2]});
  ASSERT_NE(std::filesystem::current_path(), dir.path());
  ExpectInTurn(test::Pcm16Samples(Render(list).data), {0, 1, 2});
}

TEST_F(CliRenderPlayList, AnEntryThatCannotBePlayedEndsTheSequenceWithItsMessage) {
  const std::string list = WriteList({paths_[0], Path("gone.wav"), paths_[2]});
  const CommandResult r = RunCli({"render", list, Path("out.wav"), "--eq", kFlat});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "File " + Path("gone.wav") + " not found\nStreamBufferSetupPlay\n");
  const std::optional<test::ParsedWave> out = test::ParseWave(test::ReadFileBytes(Path("out.wav")));
  ASSERT_TRUE(out.has_value());
  ExpectInTurn(test::Pcm16Samples(out->data), {0});
}

TEST_F(CliRenderPlayList, LaterEntriesPlayOnInTheFirstOnesFormat) {
  const std::vector<int16_t> mono = test::SineTone(44100, 1, 30000, 700, 0.5);
  const std::string list = WriteList({paths_[0], WritePcm("mono.wav", 44100, 1, mono)});
  const test::ParsedWave out = Render(list);
  EXPECT_EQ(out.format.format().nSamplesPerSec, 22050u);
  EXPECT_EQ(out.format.format().nChannels, 2);
  const std::vector<int16_t> played = test::Pcm16Samples(out.data);
  EXPECT_TRUE(std::equal(songs_[0].begin(), songs_[0].end(), played.begin()));
  // After the first song the mono one, at half its rate on both sides: as many loud stereo
  // samples as it has frames, less the sine's passes through zero.
  const auto loud = std::count_if(played.begin() + songs_[0].size(), played.end(),
                                  [](int16_t v) { return std::abs(v) > 1000; });
  EXPECT_GT(loud, 0.9 * mono.size());
  EXPECT_LE(loud, static_cast<long>(mono.size()));
}

TEST_F(CliRenderPlayList, OptionsAndOutputsThatDoNotFitAreRefused) {
  const std::string list = WriteList(paths_);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"render", list, Path("o.wav"), "--selection", "0:100"},
        {"render", list, Path("o.wav"), "--repeat", "1"},
        {"render", list, Path("o.wav"), "--frequency", "8000"},
        {"render", list, Path("o.wav"), "--repeat-playlist", "-1"},
        {"render", paths_[0], Path("o.wav"), "--repeat-playlist", "1"}}) {
    EXPECT_EQ(RunCli(args).exit_code, 2) << args[3];
  }
  const std::vector<uint8_t> before = test::ReadFileBytes(paths_[1]);
  EXPECT_EQ(RunCli({"render", list, paths_[1]}).exit_code, 1);
  EXPECT_EQ(test::ReadFileBytes(paths_[1]), before);

  const CommandResult missing = RunCli({"render", Path("none.plf"), Path("o.wav")});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.err.find("none.plf"), std::string::npos);
}

TEST(CliPlay, PlaysToTheEndOnTheDefaultDevice) {
  test::TempDir dir;
  const std::string in = (dir / "short.wav").string();
  test::WriteFileBytes(
      in, test::BuildWave(FormatBlock(MakePcmFormat(8000, 1, 8)), std::vector<uint8_t>(1200, 128)));
  const CommandResult r = RunCli({"play", in});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("   00:00 /    00:00"), std::string::npos) << r.out;
  EXPECT_EQ(RunCli({"play", in, "--device", "1,2"}).exit_code, 2);
}

}  // namespace
}  // namespace bw
