// Files exchanged with ffmpeg, sox and lame: what our encoders write they decode, what they
// write our decoders read, each within the codec's noise of the source signal, and our decoding
// is the reference decoder's (mpg123's for MPEG audio, ffmpeg's for the others).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "acm_test_util.h"
#include "platform/acm/acm_formats.h"
#include "support/test_support.h"
#include "support/wave_image.h"

namespace bw {
namespace {

using test::ConvertAll;
using test::DelayedSnrDb;

struct PeerCase {
  const char* name;
  const char* format;
  std::vector<std::string> ffmpeg_codec;  // ffmpeg's options for writing the same codec
  const char* sox_encoding;               // sox's -e value; nullptr when sox has none
  double snr_floor;                       // dB against the source signal
};

void PrintTo(const PeerCase& c, std::ostream* os) {
  *os << c.name;
}

std::vector<uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

class PeerExchange : public testing::TestWithParam<PeerCase> {
 protected:
  void SetUp() override {
    std::string error;
    coded_ = ParseFormatArgument(GetParam().format, error);
    ASSERT_TRUE(error.empty()) << error;
    const WAVEFORMATEX& f = coded_.format();
    pcm_ = test::Pcm16Block(f.nSamplesPerSec, f.nChannels);
    source_ = test::Sweep(f.nSamplesPerSec, f.nChannels, f.nSamplesPerSec * 2);
    test::WriteFileBytes(raw_path(), test::Pcm16Bytes(source_));
  }

  uint16_t channels() const { return coded_.format().nChannels; }
  bool is_mpeg() const { return coded_.format().wFormatTag == kWaveFormatMpegLayer3; }
  std::string rate() const { return std::to_string(coded_.format().nSamplesPerSec); }
  std::filesystem::path raw_path() const { return dir_ / "source.raw"; }

  // Our encoding of the source, as a WAVE file.
  std::filesystem::path WriteOurs() const {
    const auto path = dir_ / "ours.wav";
    test::WriteFileBytes(
        path, test::BuildWave(coded_, ConvertAll(pcm_, coded_, test::Pcm16Bytes(source_))));
    return path;
  }

  // A peer's decoding of `path` to 16-bit samples.
  std::vector<int16_t> PeerDecodes(std::vector<std::string> argv) const {
    const test::CommandResult r = test::RunCommand(argv);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return test::Pcm16Samples(Bytes(r.out));
  }

  // Our decoding of a WAVE file a peer wrote.
  std::vector<int16_t> WeDecode(const std::filesystem::path& path) const {
    const std::optional<test::ParsedWave> wave = test::ParseWave(test::ReadFileBytes(path));
    EXPECT_TRUE(wave.has_value()) << path;
    if (!wave) return {};
    EXPECT_EQ(wave->format.format().wFormatTag, coded_.format().wFormatTag);
    const WAVEFORMATEX& f = wave->format.format();
    return test::Pcm16Samples(
        ConvertAll(wave->format, test::Pcm16Block(f.nSamplesPerSec, f.nChannels), wave->data));
  }

  // Our decoding of the file at `path` against the reference decoder's: for MPEG audio within
  // the conformance limits, for the others within 60 dB.
  void ExpectAsReference(const std::filesystem::path& path,
                         const std::vector<int16_t>& ours) const {
    if (is_mpeg()) {
      const test::DecodingError e = test::CompareDecoding(test::Mpg123Decode(path), ours);
      EXPECT_TRUE(e.within_full_accuracy()) << e;
      return;
    }
    const std::vector<int16_t> reference =
        PeerDecodes({"ffmpeg", "-v", "error", "-i", path.string(), "-f", "s16le", "-"});
    EXPECT_GE(test::SnrDb(reference, ours, 0), 60);
  }

  void ExpectNearSource(const std::vector<int16_t>& decoded) const {
    EXPECT_GE(decoded.size(), source_.size() * 9 / 10);
    EXPECT_GE(DelayedSnrDb(source_, decoded, channels(), 3000), GetParam().snr_floor);
  }

  test::TempDir dir_;
  FormatBlock coded_;
  FormatBlock pcm_;
  std::vector<int16_t> source_;
};

TEST_P(PeerExchange, FfmpegDecodesWhatWeWrite) {
  BW_REQUIRE_PROGRAM("ffmpeg");
  const auto ours = WriteOurs();
  const std::vector<int16_t> theirs =
      PeerDecodes({"ffmpeg", "-v", "error", "-i", ours.string(), "-f", "s16le", "-"});
  ExpectNearSource(theirs);
  ExpectAsReference(ours, WeDecode(ours));
}

TEST_P(PeerExchange, WeDecodeWhatFfmpegWrites) {
  BW_REQUIRE_PROGRAM("ffmpeg");
  const auto theirs = dir_ / "ffmpeg.wav";
  std::vector<std::string> argv = {"ffmpeg",
                                   "-v",
                                   "error",
                                   "-f",
                                   "s16le",
                                   "-ar",
                                   rate(),
                                   "-ac",
                                   std::to_string(channels()),
                                   "-i",
                                   raw_path().string()};
  argv.insert(argv.end(), GetParam().ffmpeg_codec.begin(), GetParam().ffmpeg_codec.end());
  argv.insert(argv.end(), {"-f", "wav", "-bitexact", theirs.string()});
  const test::CommandResult r = test::RunCommand(argv);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<int16_t> decoded = WeDecode(theirs);
  ExpectNearSource(decoded);
  ExpectAsReference(theirs, decoded);
}

const PeerCase kPeerCases[] = {
    {"ALaw", "alaw:8000:1", {"-c:a", "pcm_alaw"}, "a-law", 35},
    {"MuLaw", "mulaw:22050:2", {"-c:a", "pcm_mulaw"}, "u-law", 34},
    {"MsAdpcm", "msadpcm:44100:2", {"-c:a", "adpcm_ms"}, "ms-adpcm", 23},
    {"MsAdpcmMono", "msadpcm:11025:1", {"-c:a", "adpcm_ms", "-block_size", "512"}, "ms-adpcm", 23},
    {"ImaAdpcm", "imaadpcm:22050:2", {"-c:a", "adpcm_ima_wav"}, "ima-adpcm", 24},
    {"Gsm610", "gsm610:8000:1", {"-c:a", "libgsm_ms"}, "gsm-full-rate", 22},
    {"Mp3", "mp3:44100:2:128", {"-c:a", "libmp3lame", "-b:a", "128k"}, nullptr, 23},
    {"Mp3Mono", "mp3:22050:1:56", {"-c:a", "libmp3lame", "-b:a", "56k"}, nullptr, 23},
};

std::vector<PeerCase> SoxCases() {
  std::vector<PeerCase> cases;
  for (const PeerCase& c : kPeerCases) {
    if (c.sox_encoding != nullptr) cases.push_back(c);
  }
  return cases;
}

std::string CaseName(const testing::TestParamInfo<PeerCase>& info) {
  return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Codecs, PeerExchange, testing::ValuesIn(kPeerCases), CaseName);

class SoxExchange : public PeerExchange {};

TEST_P(SoxExchange, SoxReadsWhatWeWriteAndWeReadWhatSoxWrites) {
  BW_REQUIRE_PROGRAM("sox");
  const auto ours = WriteOurs();
  ExpectNearSource(PeerDecodes(
      {"sox", ours.string(), "-t", "raw", "-e", "signed-integer", "-b", "16", "-L", "-"}));

  const auto theirs = dir_ / "sox.wav";
  const test::CommandResult r = test::RunCommand(
      {"sox", "-t", "raw", "-r", rate(), "-c", std::to_string(channels()), "-e", "signed-integer",
       "-b", "16", "-L", raw_path().string(), "-e", GetParam().sox_encoding, theirs.string()});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  ExpectNearSource(WeDecode(theirs));
}

INSTANTIATE_TEST_SUITE_P(Codecs, SoxExchange, testing::ValuesIn(SoxCases()), CaseName);

// What Import puts in its wrapper: a whole .mp3 file from lame, tags and all, described as a
// 44,100 Hz stereo MPEG Layer-3 stream whatever its mode.
TEST(LameFiles, PlayThroughTheMpegLayer3Wrapper) {
  BW_REQUIRE_PROGRAM("lame");
  test::TempDir dir;
  const std::vector<int16_t> tone = test::Sweep(44100, 1, 44100 * 2);
  test::WriteFileBytes(dir / "mono.raw", test::Pcm16Bytes(tone));
  const test::CommandResult r =
      test::RunCommand({"lame", "--quiet", "-r", "-s", "44.1", "--bitwidth", "16",
                        "--little-endian", "-m", "m", "-b", "96", "--add-id3v2", "--tt", "Sweep",
                        (dir / "mono.raw").string(), (dir / "mono.mp3").string()});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<uint8_t> file = test::ReadFileBytes(dir / "mono.mp3");

  WAVEFORMATEX wrapper{kWaveFormatMpegLayer3, 2, 44100, 12000, 1, 0, 0};
  const uint8_t extra[12] = {1, 0, 2, 0, 0, 0, 0x39, 0x01, 1, 0, 0x71, 0x05};
  const std::vector<int16_t> decoded = test::Pcm16Samples(
      ConvertAll(FormatBlock(wrapper, extra), test::Pcm16Block(44100, 2), file, 16000));
  std::vector<int16_t> left;
  std::vector<int16_t> right;
  for (std::size_t i = 0; i + 1 < decoded.size(); i += 2) {
    left.push_back(decoded[i]);
    right.push_back(decoded[i + 1]);
  }
  EXPECT_EQ(left, right);
  // lame's own first frame (its "Info" frame) decodes to silence ahead of the sound.
  EXPECT_GE(DelayedSnrDb(tone, left, 1, 4000), 23);
}

// Whole MPEG audio files as lame and ffmpeg write them (tags, LAME/Xing frames, MPEG-1, 2 and
// 2.5, Layer II, variable bit rates), played through the wrapper Import writes: the decoding is
// mpg123's within the limits of the conformance test, to the sample count.
struct ReferenceCase {
  const char* name;
  uint32_t rate;
  uint16_t channels;
  std::vector<std::string> encoder;  // writes "in.wav" to "out.mp3"
};

void PrintTo(const ReferenceCase& c, std::ostream* os) {
  *os << c.name;
}

class MpegReference : public testing::TestWithParam<ReferenceCase> {};

TEST_P(MpegReference, DecodesAsMpg123DoesWithinTheConformanceLimits) {
  const ReferenceCase& c = GetParam();
  BW_REQUIRE_PROGRAM(c.encoder[0]);
  BW_REQUIRE_PROGRAM("mpg123");
  test::TempDir dir;
  test::WritePcmWave(dir / "in.wav", c.rate, c.channels,
                     test::Sweep(c.rate, c.channels, c.rate * 3));
  std::vector<std::string> argv;
  for (const std::string& word : c.encoder)
    argv.push_back(word == "IN"    ? (dir / "in.wav").string()
                   : word == "OUT" ? (dir / "out.mp3").string()
                                   : word);
  const test::CommandResult r = test::RunCommand(argv);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<uint8_t> file = test::ReadFileBytes(dir / "out.mp3");

  const uint16_t tag = c.encoder[0] == "lame" ? kWaveFormatMpegLayer3 : kWaveFormatMpeg;
  const WAVEFORMATEX wrapper{tag, c.channels, c.rate, 16000, 1, 0, 0};
  const std::vector<int16_t> ours = test::Pcm16Samples(
      ConvertAll(FormatBlock(wrapper), test::Pcm16Block(c.rate, c.channels), file, 16000));
  const std::vector<int16_t> reference = test::Mpg123Decode(dir / "out.mp3");
  ASSERT_FALSE(reference.empty());
  const test::DecodingError e = test::CompareDecoding(reference, ours);
  EXPECT_TRUE(e.within_full_accuracy()) << e;
}

INSTANTIATE_TEST_SUITE_P(
    Files, MpegReference,
    testing::Values(
        ReferenceCase{
            "Mpeg1JointStereoTagged",
            44100,
            2,
            {"lame", "--quiet", "-b", "128", "--add-id3v2", "--tt", "Sweep", "IN", "OUT"}},
        ReferenceCase{"Mpeg1Vbr", 48000, 2, {"lame", "--quiet", "-V", "2", "IN", "OUT"}},
        ReferenceCase{"Mpeg1Mono", 32000, 1, {"lame", "--quiet", "-b", "64", "IN", "OUT"}},
        ReferenceCase{"Mpeg2Mono", 22050, 1, {"lame", "--quiet", "-b", "56", "IN", "OUT"}},
        ReferenceCase{"Mpeg2Stereo", 24000, 2, {"lame", "--quiet", "-b", "96", "IN", "OUT"}},
        ReferenceCase{"Mpeg25Mono", 8000, 1, {"lame", "--quiet", "-b", "24", "IN", "OUT"}},
        ReferenceCase{"LayerTwo",
                      48000,
                      2,
                      {"ffmpeg", "-v", "error", "-i", "IN", "-c:a", "mp2", "-b:a", "192k", "-f",
                       "mp2", "OUT"}}),
    [](const testing::TestParamInfo<ReferenceCase>& info) { return info.param.name; });

}  // namespace
}  // namespace bw
