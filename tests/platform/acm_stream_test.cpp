#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "acm_test_util.h"
#include "platform/acm/acm.h"
#include "platform/acm/acm_formats.h"
#include "support/wave_image.h"

namespace bw {
namespace {

using test::ConvertAll;
using test::DelayedSnrDb;
using test::Pcm16Block;

FormatBlock Parsed(std::string_view argument) {
  std::string error;
  FormatBlock block = ParseFormatArgument(argument, error);
  EXPECT_TRUE(error.empty()) << error;
  return block;
}

// A prepared header over caller buffers; unprepared and checked on destruction.
class Conversion {
 public:
  Conversion(HACMSTREAM& stream, std::span<const uint8_t> src, std::span<uint8_t> dst)
      : stream_(stream) {
    h_.pbSrc = src.data();
    h_.cbSrcLength = static_cast<uint32_t>(src.size());
    h_.pbDst = dst.data();
    h_.cbDstLength = static_cast<uint32_t>(dst.size());
    EXPECT_EQ(acmStreamPrepareHeader(stream_, h_, 0), MMSYSERR_NOERROR);
  }
  ~Conversion() {
    h_.cbSrcLength = h_.prepared.cbSrcLength;
    EXPECT_EQ(acmStreamUnprepareHeader(stream_, h_, 0), MMSYSERR_NOERROR);
  }
  MMRESULT Convert(uint32_t flags, std::size_t src_length) {
    h_.cbSrcLength = static_cast<uint32_t>(src_length);
    return acmStreamConvert(stream_, h_, flags);
  }
  const ACMSTREAMHEADER& header() const { return h_; }

 private:
  HACMSTREAM& stream_;
  ACMSTREAMHEADER h_;
};

std::vector<int16_t> Samples(std::span<const uint8_t> bytes) {
  return test::Pcm16Samples(bytes);
}

// ---------------------------------------------------------------------------------------------
// Every codec that encodes, through our own encoder and decoder.

struct CodecCase {
  const char* name;
  const char* format;
  double snr_floor;  // dB, own encoder then own decoder, on a sweep
};

void PrintTo(const CodecCase& c, std::ostream* os) {
  *os << c.name;
}

class CodecStream : public testing::TestWithParam<CodecCase> {
 protected:
  void SetUp() override {
    coded_ = Parsed(GetParam().format);
    const WAVEFORMATEX& f = coded_.format();
    pcm_ = Pcm16Block(f.nSamplesPerSec, f.nChannels);
    source_ = test::Sweep(f.nSamplesPerSec, f.nChannels, f.nSamplesPerSec * 3 / 2);
    pcm_bytes_ = test::Pcm16Bytes(source_);
  }
  bool is_mpeg() const { return coded_.format().wFormatTag == kWaveFormatMpegLayer3; }
  uint16_t channels() const { return coded_.format().nChannels; }
  std::vector<uint8_t> Encoded() const { return ConvertAll(pcm_, coded_, pcm_bytes_); }

  FormatBlock coded_;
  FormatBlock pcm_;
  std::vector<int16_t> source_;
  std::vector<uint8_t> pcm_bytes_;
};

TEST_P(CodecStream, RoundTripKeepsEverySampleWithinTheCodecsNoise) {
  const std::vector<uint8_t> coded = Encoded();
  ASSERT_FALSE(coded.empty());
  const std::vector<int16_t> decoded = Samples(ConvertAll(coded_, pcm_, coded, 4096));
  // END flushed the encoder: nothing at the end is lost, and little is added.
  const std::size_t frames_in = source_.size() / channels();
  const std::size_t frames_out = decoded.size() / channels();
  EXPECT_GE(frames_out, frames_in);
  EXPECT_LE(frames_out, frames_in + 4096);
  EXPECT_GE(DelayedSnrDb(source_, decoded, channels(), 3000), GetParam().snr_floor);
}

TEST_P(CodecStream, BlockAlignedConversionTakesWholeBlocksOnly) {
  const std::vector<uint8_t> coded = Encoded();
  HACMSTREAM decoder;
  ASSERT_EQ(acmStreamOpen(decoder, coded_, pcm_, 0), MMSYSERR_NOERROR);
  const uint32_t block = is_mpeg() ? 1 : coded_.format().nBlockAlign;
  const std::size_t offered = std::min<std::size_t>(coded.size(), block * 5 / 2 + (block == 1));
  std::vector<uint8_t> dst(1 << 20);
  {
    Conversion c(decoder, std::span(coded).first(offered), dst);
    ASSERT_EQ(c.Convert(ACM_STREAMCONVERTF_BLOCKALIGN, offered), MMSYSERR_NOERROR);
    EXPECT_EQ(c.header().cbSrcLengthUsed, offered / block * block);
  }
  // Encoding takes whole sample frames; a stray byte is left.
  HACMSTREAM encoder;
  ASSERT_EQ(acmStreamOpen(encoder, pcm_, coded_, 0), MMSYSERR_NOERROR);
  const std::size_t frame_bytes = 2u * channels();
  Conversion c(encoder, std::span(pcm_bytes_).first(frame_bytes * 1000 + 1), dst);
  ASSERT_EQ(c.Convert(ACM_STREAMCONVERTF_BLOCKALIGN, frame_bytes * 1000 + 1), MMSYSERR_NOERROR);
  EXPECT_EQ(c.header().cbSrcLengthUsed, frame_bytes * 1000);
}

// Output that does not fit is kept for the next call: small destinations with guard bytes
// behind them give, call after call, exactly what one large conversion gives.
TEST_P(CodecStream, SmallDestinationsLoseNothingAndWriteNothingPastTheirEnd) {
  const std::vector<uint8_t> coded = Encoded();
  for (const bool decode : {true, false}) {
    SCOPED_TRACE(decode ? "decode" : "encode");
    const FormatBlock& from = decode ? coded_ : pcm_;
    const FormatBlock& to = decode ? pcm_ : coded_;
    const std::vector<uint8_t>& input = decode ? coded : pcm_bytes_;
    const std::vector<uint8_t> expected = ConvertAll(from, to, input, input.size());

    HACMSTREAM stream;
    ASSERT_EQ(acmStreamOpen(stream, from, to, 0), MMSYSERR_NOERROR);
    constexpr std::size_t kGuard = 64;
    constexpr std::size_t kRoom = 37;  // smaller than any block's output
    std::vector<uint8_t> dst(kRoom + kGuard, 0xA5);
    std::vector<uint8_t> out;
    std::size_t at = 0;
    for (int calls = 0; calls < 1000000; ++calls) {
      const bool last = at == input.size();
      const std::size_t n = last ? 0 : std::min<std::size_t>(5000, input.size() - at);
      Conversion c(stream, std::span(input).subspan(at, n), std::span(dst).first(kRoom));
      ASSERT_EQ(c.Convert(last ? ACM_STREAMCONVERTF_END : ACM_STREAMCONVERTF_BLOCKALIGN, n),
                MMSYSERR_NOERROR);
      ASSERT_TRUE(std::all_of(dst.begin() + kRoom, dst.end(), [](uint8_t b) { return b == 0xA5; }));
      out.insert(out.end(), dst.begin(), dst.begin() + c.header().cbDstLengthUsed);
      at += c.header().cbSrcLengthUsed;
      if (last && c.header().cbDstLengthUsed == 0) break;
    }
    EXPECT_EQ(at, input.size());
    EXPECT_EQ(out, expected);
  }
}

// What acmStreamSize promises is what acmStreamConvert then does.
TEST_P(CodecStream, SizeAnswersHoldForTheConversion) {
  const std::vector<uint8_t> coded = Encoded();
  HACMSTREAM decoder;
  ASSERT_EQ(acmStreamOpen(decoder, coded_, pcm_, 0), MMSYSERR_NOERROR);
  const uint32_t block_bytes = 2 * channels() * 4000;
  uint32_t source = 0;
  ASSERT_EQ(acmStreamSize(decoder, block_bytes, source, ACM_STREAMSIZEF_DESTINATION),
            MMSYSERR_NOERROR);
  ASSERT_GT(source, 0u);
  ASSERT_LE(source, coded.size());
  uint32_t bound = 0;
  ASSERT_EQ(acmStreamSize(decoder, source, bound, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
  EXPECT_GE(bound, block_bytes / 2);

  std::vector<uint8_t> dst(bound);
  Conversion c(decoder, std::span(coded).first(source), dst);
  ASSERT_EQ(c.Convert(ACM_STREAMCONVERTF_BLOCKALIGN, source), MMSYSERR_NOERROR);
  EXPECT_EQ(c.header().cbSrcLengthUsed, source);
  EXPECT_LE(c.header().cbDstLengthUsed, bound);
  if (!is_mpeg()) {
    EXPECT_LE(c.header().cbDstLengthUsed, block_bytes);
  }

  HACMSTREAM encoder;
  ASSERT_EQ(acmStreamOpen(encoder, pcm_, coded_, 0), MMSYSERR_NOERROR);
  uint32_t coded_bound = 0;
  ASSERT_EQ(acmStreamSize(encoder, static_cast<uint32_t>(pcm_bytes_.size()), coded_bound,
                          ACM_STREAMSIZEF_SOURCE),
            MMSYSERR_NOERROR);
  std::vector<uint8_t> coded_dst(coded_bound);
  Conversion e(encoder, pcm_bytes_, coded_dst);
  ASSERT_EQ(e.Convert(ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_END, pcm_bytes_.size()),
            MMSYSERR_NOERROR);
  // Everything, flush included, fitted the size the stream gave.
  std::vector<uint8_t> nothing(16);
  Conversion more(encoder, {}, nothing);
  ASSERT_EQ(more.Convert(0, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(more.header().cbDstLengthUsed, 0u);
}

TEST_P(CodecStream, GarbageDecodesToSomethingOrFailsCleanly) {
  std::mt19937 random(7);
  std::vector<uint8_t> garbage(50000);
  for (uint8_t& b : garbage)
    b = static_cast<uint8_t>(random());
  const std::vector<uint8_t> decoded = ConvertAll(coded_, pcm_, garbage, 3000);
  EXPECT_EQ(decoded.size() % (2u * channels()), 0u);
}

TEST_P(CodecStream, StartForgetsEverythingBefore) {
  const std::vector<uint8_t> coded = Encoded();
  const std::vector<uint8_t> fresh = ConvertAll(coded_, pcm_, coded, coded.size());
  HACMSTREAM stream;
  ASSERT_EQ(acmStreamOpen(stream, coded_, pcm_, 0), MMSYSERR_NOERROR);
  std::vector<uint8_t> dst(fresh.size() + 100000);
  {
    // Leaves a partial frame and held output behind.
    Conversion c(stream, std::span(coded).first(coded.size() / 3 + 1), std::span(dst).first(10));
    ASSERT_EQ(c.Convert(ACM_STREAMCONVERTF_BLOCKALIGN, coded.size() / 3 + 1), MMSYSERR_NOERROR);
  }
  Conversion c(stream, coded, dst);
  ASSERT_EQ(c.Convert(ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END, coded.size()),
            MMSYSERR_NOERROR);
  EXPECT_EQ(std::vector<uint8_t>(dst.begin(), dst.begin() + c.header().cbDstLengthUsed), fresh);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, CodecStream,
    testing::Values(CodecCase{"Pcm8", "pcm:22050:2:8", 35}, CodecCase{"ALaw", "alaw:8000:1", 35},
                    CodecCase{"MuLaw", "mulaw:22050:2", 34},
                    CodecCase{"MsAdpcm", "msadpcm:44100:2", 23},
                    CodecCase{"MsAdpcmMono", "msadpcm:8000:1", 23},
                    CodecCase{"ImaAdpcm", "imaadpcm:22050:1", 24},
                    CodecCase{"ImaAdpcmStereo", "imaadpcm:44100:2", 24},
                    CodecCase{"Gsm610", "gsm610:8000:1", 22},
                    // LAME scales its input by 0.95, which alone limits the ratio to 26 dB.
                    CodecCase{"Mp3", "mp3:44100:2:128", 23},
                    CodecCase{"Mp3Mpeg2Mono", "mp3:22050:1:64", 23},
                    CodecCase{"Mp3Mpeg25", "mp3:8000:1:32", 23}),
    [](const testing::TestParamInfo<CodecCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------

TEST(PcmConverter, ChangesSampleWidthExactly) {
  const std::vector<uint8_t> u8 = {0x00, 0x80, 0xFF, 0x40};
  EXPECT_EQ(Samples(ConvertAll(FormatBlock(MakePcmFormat(8000, 2, 8)), Pcm16Block(8000, 2), u8)),
            (std::vector<int16_t>{-32768, 0, 32512, -16384}));
  const std::vector<uint8_t> s16 = test::Pcm16Bytes(std::vector<int16_t>{-32768, 0, 32767, 255});
  EXPECT_EQ(ConvertAll(Pcm16Block(8000, 1), FormatBlock(MakePcmFormat(8000, 1, 8)), s16),
            (std::vector<uint8_t>{0x00, 0x80, 0xFF, 0x80}));
  // Wider samples are rounded to the nearest 16-bit step: -1/256 of a step is 0.
  const std::vector<uint8_t> s24 = {0x11, 0x22, 0x33, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(Samples(ConvertAll(FormatBlock(MakePcmFormat(8000, 1, 24)), Pcm16Block(8000, 1), s24)),
            (std::vector<int16_t>{0x3322, 0}));
  // A partial sample frame at the end is no sample.
  EXPECT_EQ(ConvertAll(Pcm16Block(8000, 2), Pcm16Block(8000, 2), s24).size(), 4u);
}

TEST(AcmStream, RefusesPairsNoCodecConverts) {
  HACMSTREAM stream;
  const FormatBlock pcm = Pcm16Block(8000, 1);
  WAVEFORMATEX celp{kWaveFormatLhCelp, 1, 8000, 600, 6, 0, 0};
  EXPECT_EQ(acmStreamOpen(stream, FormatBlock(celp), pcm, 0), ACMERR_NOTPOSSIBLE);
  EXPECT_EQ(acmStreamOpen(stream, pcm, FormatBlock(celp), 0), ACMERR_NOTPOSSIBLE);
  // Decode-only codecs do not encode.
  WAVEFORMATEX truespeech{kWaveFormatTrueSpeech, 1, 8000, 1067, 32, 1, 0};
  EXPECT_EQ(acmStreamOpen(stream, pcm, FormatBlock(truespeech), 0), ACMERR_NOTPOSSIBLE);
  // Rate and channels are never changed, and coded-to-coded is not a conversion here.
  EXPECT_EQ(acmStreamOpen(stream, pcm, Pcm16Block(11025, 1), 0), ACMERR_NOTPOSSIBLE);
  EXPECT_EQ(acmStreamOpen(stream, pcm, Pcm16Block(8000, 2), 0), ACMERR_NOTPOSSIBLE);
  EXPECT_EQ(acmStreamOpen(stream, Parsed("alaw:8000:1"), Parsed("mulaw:8000:1"), 0),
            ACMERR_NOTPOSSIBLE);
  // An MPEG Layer-3 block with no bit rate (what Save presets) cannot be encoded.
  FormatBlock preset = Parsed("mp3:8000:1:8");
  preset.format().nAvgBytesPerSec = 0;
  EXPECT_EQ(acmStreamOpen(stream, pcm, preset, 0), ACMERR_NOTPOSSIBLE);
  // An ADPCM block that says it holds other samples than it does.
  FormatBlock ima = Parsed("imaadpcm:8000:1");
  ima.format().nBlockAlign = 300;
  EXPECT_EQ(acmStreamOpen(stream, pcm, ima, 0), ACMERR_NOTPOSSIBLE);
  WAVEFORMATEX odd_pcm = MakePcmFormat(8000, 1, 16);
  odd_pcm.nChannels = 0;
  EXPECT_EQ(acmStreamOpen(stream, FormatBlock(odd_pcm), pcm, 0), ACMERR_NOTPOSSIBLE);
  EXPECT_FALSE(stream);
  EXPECT_EQ(acmStreamOpen(stream, pcm, pcm, ACM_STREAMOPENF_QUERY), MMSYSERR_NOERROR);
  EXPECT_FALSE(stream);
  EXPECT_EQ(acmStreamOpen(stream, pcm, pcm, ACM_STREAMOPENF_ASYNC), MMSYSERR_INVALFLAG);
}

TEST(AcmStream, HeadersFollowThePrepareConvertUnprepareProtocol) {
  HACMSTREAM stream;
  EXPECT_EQ(acmStreamClose(stream, 0), MMSYSERR_INVALHANDLE);
  ASSERT_EQ(acmStreamOpen(stream, Pcm16Block(8000, 1), Pcm16Block(8000, 1), 0), MMSYSERR_NOERROR);
  std::vector<uint8_t> src(100, 1);
  std::vector<uint8_t> dst(100);
  ACMSTREAMHEADER h;
  h.pbSrc = src.data();
  h.cbSrcLength = 100;
  h.pbDst = dst.data();
  h.cbDstLength = 100;
  EXPECT_EQ(acmStreamConvert(stream, h, 0), ACMERR_UNPREPARED);
  ACMSTREAMHEADER small = h;
  small.cbStruct = 40;
  EXPECT_EQ(acmStreamPrepareHeader(stream, small, 0), MMSYSERR_INVALPARAM);

  ASSERT_EQ(acmStreamPrepareHeader(stream, h, 0), MMSYSERR_NOERROR);
  EXPECT_TRUE(h.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED);
  EXPECT_EQ(acmStreamClose(stream, 0), ACMERR_BUSY);
  EXPECT_EQ(acmStreamConvert(stream, h, 0x100), MMSYSERR_INVALFLAG);
  h.cbSrcLength = 50;  // shorter than prepared: fine for a conversion
  ASSERT_EQ(acmStreamConvert(stream, h, ACM_STREAMCONVERTF_BLOCKALIGN), MMSYSERR_NOERROR);
  EXPECT_TRUE(h.fdwStatus & ACMSTREAMHEADER_STATUSF_DONE);
  EXPECT_EQ(h.cbSrcLengthUsed, 50u);
  EXPECT_EQ(h.cbDstLengthUsed, 50u);
  EXPECT_EQ(acmStreamUnprepareHeader(stream, h, 0), MMSYSERR_INVALPARAM);  // not as prepared
  h.cbSrcLength = 101;
  EXPECT_EQ(acmStreamConvert(stream, h, 0), MMSYSERR_INVALPARAM);
  h.cbSrcLength = 100;
  ASSERT_EQ(acmStreamUnprepareHeader(stream, h, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(acmStreamUnprepareHeader(stream, h, 0), ACMERR_UNPREPARED);

  // A header prepared on one stream is not prepared on another.
  HACMSTREAM other;
  ASSERT_EQ(acmStreamOpen(other, Pcm16Block(8000, 1), Pcm16Block(8000, 1), 0), MMSYSERR_NOERROR);
  ASSERT_EQ(acmStreamPrepareHeader(stream, h, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(acmStreamConvert(other, h, 0), ACMERR_UNPREPARED);
  ASSERT_EQ(acmStreamUnprepareHeader(stream, h, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(acmStreamClose(stream, 0), MMSYSERR_NOERROR);
  EXPECT_FALSE(stream);
  uint32_t size = 0;
  EXPECT_EQ(acmStreamSize(stream, 100, size, ACM_STREAMSIZEF_SOURCE), MMSYSERR_INVALHANDLE);
}

TEST(AcmStream, WithoutBlockAlignTakesOnlyWhatFitsAndSaysSo) {
  // The first fill of playback: twice the source for the room, the rest offered again later.
  const FormatBlock ima = Parsed("imaadpcm:22050:2");  // 1017 frames in 1024-byte blocks
  const FormatBlock pcm = Pcm16Block(22050, 2);
  const std::vector<uint8_t> coded =
      ConvertAll(pcm, ima, test::Pcm16Bytes(test::Sweep(22050, 2, 22050)));
  HACMSTREAM stream;
  ASSERT_EQ(acmStreamOpen(stream, ima, pcm, 0), MMSYSERR_NOERROR);
  const uint32_t room = 1017 * 4 * 3 + 100;
  uint32_t source = 0;
  ASSERT_EQ(acmStreamSize(stream, room, source, ACM_STREAMSIZEF_DESTINATION), MMSYSERR_NOERROR);
  EXPECT_EQ(source, 3u * 1024);
  std::vector<uint8_t> dst(room);
  Conversion c(stream, std::span(coded).first(2 * source), dst);
  ASSERT_EQ(c.Convert(ACM_STREAMCONVERTF_START, 2 * source), MMSYSERR_NOERROR);
  EXPECT_EQ(c.header().cbSrcLengthUsed, source);
  EXPECT_EQ(c.header().cbDstLengthUsed, 1017u * 4 * 3);
  // Too small for one block.
  EXPECT_EQ(acmStreamSize(stream, 1000, source, ACM_STREAMSIZEF_DESTINATION), ACMERR_NOTPOSSIBLE);
}

// The way playback drives an MPEG Layer-3 source: a first fill of two blocks from twice the
// source the size query gives, then block after block of exactly what the query gives. The
// source is used up byte for byte and every decoded sample arrives once.
TEST(AcmStream, PlaybackOfMpegUsesTheSourceExactly) {
  const FormatBlock mp3 = Parsed("mp3:44100:2:128");
  const FormatBlock pcm = Pcm16Block(44100, 2);
  const std::vector<int16_t> tone = test::Sweep(44100, 2, 44100 * 4);
  const std::vector<uint8_t> coded = ConvertAll(pcm, mp3, test::Pcm16Bytes(tone));
  const std::vector<uint8_t> whole = ConvertAll(mp3, pcm, coded, coded.size());

  HACMSTREAM stream;
  ASSERT_EQ(acmStreamOpen(stream, mp3, pcm, 0), MMSYSERR_NOERROR);
  const uint32_t block_bytes = 5472 * 2 * 4 * 2;
  std::vector<uint8_t> dst(2 * block_bytes);
  std::vector<uint8_t> out;
  uint32_t s = 0;
  ASSERT_EQ(acmStreamSize(stream, 2 * block_bytes, s, ACM_STREAMSIZEF_DESTINATION), 0u);
  std::size_t position = 0;
  {
    Conversion prime(stream, std::span(coded).first(2 * s), dst);
    ASSERT_EQ(prime.Convert(ACM_STREAMCONVERTF_START, 2 * s), MMSYSERR_NOERROR);
    position = prime.header().cbSrcLengthUsed;  // the reader goes back to here
    out.insert(out.end(), dst.begin(), dst.begin() + prime.header().cbDstLengthUsed);
    EXPECT_GT(prime.header().cbDstLengthUsed, block_bytes);
  }
  std::size_t largest_block = 0;
  while (position < coded.size()) {
    ASSERT_EQ(acmStreamSize(stream, block_bytes, s, ACM_STREAMSIZEF_DESTINATION), 0u);
    const std::size_t n = std::min<std::size_t>(s, coded.size() - position);
    Conversion block(stream, std::span(coded).subspan(position, n),
                     std::span(dst).first(block_bytes));
    ASSERT_EQ(block.Convert(ACM_STREAMCONVERTF_BLOCKALIGN, n), MMSYSERR_NOERROR);
    ASSERT_EQ(block.header().cbSrcLengthUsed, n);
    position += n;
    largest_block = std::max<std::size_t>(largest_block, block.header().cbDstLengthUsed);
    out.insert(out.end(), dst.begin(), dst.begin() + block.header().cbDstLengthUsed);
  }
  EXPECT_EQ(position, coded.size());
  EXPECT_EQ(largest_block, block_bytes);  // blocks are filled, not held back
  // What is still held comes out with END.
  Conversion end(stream, {}, dst);
  ASSERT_EQ(end.Convert(ACM_STREAMCONVERTF_END, 0), MMSYSERR_NOERROR);
  out.insert(out.end(), dst.begin(), dst.begin() + end.header().cbDstLengthUsed);
  EXPECT_EQ(out, whole);
}

// ---------------------------------------------------------------------------------------------
// MPEG audio streams as files bring them.

// A stream declared as stereo whose frames are mono plays on both channels.
TEST(MpegAudioDecoder, MonoFramesDeclaredStereoComeOutOnBothChannels) {
  const std::vector<int16_t> tone = test::Sweep(44100, 1, 44100);
  const std::vector<uint8_t> coded =
      ConvertAll(Pcm16Block(44100, 1), Parsed("mp3:44100:1:96"), test::Pcm16Bytes(tone));
  FormatBlock stereo = Parsed("mp3:44100:2:96");
  const std::vector<int16_t> decoded = Samples(ConvertAll(stereo, Pcm16Block(44100, 2), coded));
  ASSERT_GE(decoded.size(), tone.size() * 2);
  std::vector<int16_t> left;
  for (std::size_t i = 0; i < decoded.size(); i += 2) {
    ASSERT_EQ(decoded[i], decoded[i + 1]) << "frame " << i / 2;
    left.push_back(decoded[i]);
  }
  EXPECT_GE(DelayedSnrDb(tone, left, 1, 3000), 15);
}

TEST(MpegAudioDecoder, SkipsTagsAndJunkAroundTheFrames) {
  const FormatBlock mp3 = Parsed("mp3:44100:2:128");
  const FormatBlock pcm = Pcm16Block(44100, 2);
  const std::vector<uint8_t> coded =
      ConvertAll(pcm, mp3, test::Pcm16Bytes(test::Sweep(44100, 2, 44100)));
  const std::vector<uint8_t> clean = ConvertAll(mp3, pcm, coded);

  // An ID3v2 tag whose body is full of false frame syncs, junk, then the frames, a cut-off
  // frame and an ID3v1 tag.
  std::vector<uint8_t> file = {'I', 'D', '3', 3, 0, 0, 0, 0, 2, 0};  // 256-byte body
  for (int i = 0; i < 128; ++i)
    file.insert(file.end(), {0xFF, 0xFB});
  file.insert(file.end(), {0x00, 0xFF, 0xFF, 0x12, 0xFF});
  file.insert(file.end(), coded.begin(), coded.end());
  file.insert(file.end(), coded.begin(), coded.begin() + 200);
  file.insert(file.end(), {'T', 'A', 'G'});
  file.resize(file.size() + 125, 0x20);
  EXPECT_EQ(ConvertAll(mp3, pcm, file, 1000), clean);
}

// Files joined end to end: the second stream's frames have half the rate the format declares,
// and still play at their own speed and pitch.
TEST(MpegAudioDecoder, FramesAtAnotherRatePlayAtTheirOwnSpeed) {
  const std::vector<uint8_t> first =
      ConvertAll(Pcm16Block(44100, 1), Parsed("mp3:44100:1:64"),
                 test::Pcm16Bytes(test::SineTone(44100, 1, 44100, 1000)));
  const std::vector<uint8_t> second =
      ConvertAll(Pcm16Block(22050, 1), Parsed("mp3:22050:1:32"),
                 test::Pcm16Bytes(test::SineTone(22050, 1, 22050, 1000)));
  std::vector<uint8_t> joined = first;
  joined.insert(joined.end(), second.begin(), second.end());
  const std::vector<int16_t> decoded =
      Samples(ConvertAll(Parsed("mp3:44100:1:64"), Pcm16Block(44100, 1), joined, 3000));
  // Two seconds and the codec's delay and padding; the second stream at its own rate would
  // leave it near one and a half.
  EXPECT_NEAR(static_cast<double>(decoded.size()), 2 * 44100, 44100 * 0.12);
  // The middle of the second second: a 1,000 Hz tone crosses zero 2,000 times a second.
  const std::size_t from = 44100 + 11025;
  int crossings = 0;
  for (std::size_t i = from; i < from + 22050 && i + 1 < decoded.size(); ++i)
    crossings += (decoded[i] < 0) != (decoded[i + 1] < 0);
  EXPECT_NEAR(crossings, 1000, 20);
}

// Layer I frames (384 samples) and Layer II frames decode through the same stream.
TEST(MpegAudioDecoder, DecodesLayerOneFrames) {
  // MPEG-1 Layer I, 128 kbit/s, 44,100 Hz, mono, no padding: (12 * 128000 / 44100) * 4 bytes.
  std::vector<uint8_t> frame(136, 0);
  frame[0] = 0xFF;
  frame[1] = 0xFF;  // MPEG-1, Layer I, no checksum
  frame[2] = 0x40;  // 128 kbit/s, 44,100 Hz
  frame[3] = 0xC0;  // mono
  // Subband 0 gets 4-bit samples with a loud scale factor and a square wave.
  frame[4] = 0x30;       // allocation of subband 0 (4 bits: 3 => 4-bit samples)
  frame[4 + 16] = 0x00;  // scale factor of subband 0 (6 bits, 0 = loudest)
  for (int i = 0; i < 6; ++i)
    frame[4 + 16 + 1 + i] = 0xF0;  // part of the samples
  std::vector<uint8_t> stream;
  for (int i = 0; i < 10; ++i)
    stream.insert(stream.end(), frame.begin(), frame.end());
  WAVEFORMATEX mpeg{kWaveFormatMpeg, 1, 44100, 16000, 1, 0, 0};
  const std::vector<int16_t> decoded =
      Samples(ConvertAll(FormatBlock(mpeg), Pcm16Block(44100, 1), stream));
  EXPECT_EQ(decoded.size(), 10u * 384);
  EXPECT_TRUE(std::any_of(decoded.begin(), decoded.end(), [](int16_t s) { return s != 0; }));
}

// Formats only decoded here: any block decodes to its length of sound, garbage included.
TEST(DecodeOnlyCodecs, TrueSpeechAndMsnAudioBlocksDecodeToTheirLength) {
  std::mt19937 random(11);
  std::vector<uint8_t> blocks(32 * 65 * 3);
  for (uint8_t& b : blocks)
    b = static_cast<uint8_t>(random());
  WAVEFORMATEX truespeech{kWaveFormatTrueSpeech, 1, 8000, 1067, 32, 1, 0};
  uint8_t truespeech_extra[32] = {1, 0, 240, 0};
  EXPECT_EQ(
      ConvertAll(FormatBlock(truespeech, truespeech_extra), Pcm16Block(8000, 1), blocks).size(),
      blocks.size() / 32 * 240 * 2);
  WAVEFORMATEX msn{kWaveFormatMsnAudio, 1, 8000, 1625, 65, 0, 0};
  uint8_t msn_extra[2] = {0x40, 0x01};
  EXPECT_EQ(ConvertAll(FormatBlock(msn, msn_extra), Pcm16Block(8000, 1), blocks).size(),
            blocks.size() / 65 * 320 * 2);
}

}  // namespace
}  // namespace bw
