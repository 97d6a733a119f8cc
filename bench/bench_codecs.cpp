// Codec throughput: each codec encodes and decodes the same 120-second 44,100 Hz stereo file
// through our streams (file in, blocks of the playback size, file out) and through the ffmpeg
// command line, in one run. Prints seconds of sound per second of work for both and the ratio
// ffmpeg time / our time (above 1.0: we are faster). GSM 6.10 is mono only: both sides take a
// one-channel file of the same sound.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "platform/acm/acm.h"
#include "platform/acm/acm_formats.h"

namespace {

using namespace bench;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr uint32_t kRate = 44100;
constexpr uint32_t kSeconds = 120;
constexpr int kRuns = 3;  // the best of these counts

struct Codec {
  const char* name;
  const char* format;  // our FORMAT argument
  const char* ffmpeg;  // ffmpeg's options for the same codec
};

constexpr Codec kCodecs[] = {
    {"alaw", "alaw:44100:2", "-c:a pcm_alaw"},
    {"mulaw", "mulaw:44100:2", "-c:a pcm_mulaw"},
    {"msadpcm", "msadpcm:44100:2", "-c:a adpcm_ms -block_size 2048"},
    {"imaadpcm", "imaadpcm:44100:2", "-c:a adpcm_ima_wav -block_size 2048"},
    {"gsm610", "gsm610:44100:1", "-c:a libgsm_ms -strict unofficial"},
    {"mp3", "mp3:44100:2:128", "-c:a libmp3lame -b:a 128k"},
};

// Runs `src` through a stream to `dst` in playback-sized blocks; false on any failure.
bool Convert(const bw::FormatBlock& src, const bw::FormatBlock& dst,
             const std::vector<uint8_t>& input, std::vector<uint8_t>& output) {
  bw::HACMSTREAM stream;
  if (bw::acmStreamOpen(stream, src, dst, bw::ACM_STREAMOPENF_NONREALTIME) != 0) return false;
  constexpr uint32_t kBlock = 141120;  // 0.8 s of 16-bit stereo at 44,100 Hz
  uint32_t room = 0;
  if (bw::acmStreamSize(stream, kBlock, room, bw::ACM_STREAMSIZEF_SOURCE) != 0) return false;
  std::vector<uint8_t> dst_block(std::size_t{room} * 2);
  output.clear();
  std::size_t at = 0;
  for (bool last = false; !last;) {
    const std::size_t n = std::min<std::size_t>(kBlock, input.size() - at);
    last = n < kBlock;
    bw::ACMSTREAMHEADER h;
    h.pbSrc = input.data() + at;
    h.cbSrcLength = static_cast<uint32_t>(n);
    h.pbDst = dst_block.data();
    h.cbDstLength = static_cast<uint32_t>(dst_block.size());
    if (bw::acmStreamPrepareHeader(stream, h, 0) != 0) return false;
    const uint32_t flags = last ? bw::ACM_STREAMCONVERTF_END : bw::ACM_STREAMCONVERTF_BLOCKALIGN;
    if (bw::acmStreamConvert(stream, h, flags) != 0) return false;
    output.insert(output.end(), dst_block.begin(), dst_block.begin() + h.cbDstLengthUsed);
    if (bw::acmStreamUnprepareHeader(stream, h, 0) != 0) return false;
    at += h.cbSrcLengthUsed;
  }
  return bw::acmStreamClose(stream, 0) == 0;
}

template <typename F>
double BestSeconds(F&& work) {
  double best = 1e300;
  for (int i = 0; i < kRuns; ++i) {
    const auto start = Clock::now();
    if (!work()) return -1;
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

bool Ffmpeg(const std::string& args) {
  return std::system(("ffmpeg -nostdin -v error -y " + args).c_str()) == 0;
}

void Report(const char* name, const char* what, double ours, double theirs) {
  if (ours < 0 || theirs < 0) {
    std::printf("%-9s %-6s failed (%s)\n", name, what, ours < 0 ? "ours" : "ffmpeg");
    return;
  }
  std::printf("%-9s %-6s ours %7.1fx  ffmpeg %7.1fx  ratio %5.2f\n", name, what, kSeconds / ours,
              kSeconds / theirs, theirs / ours);
}

}  // namespace

int main() {
  const char* dir_env = std::getenv("BW_BENCH_DIR");
  const fs::path dir = dir_env ? dir_env : fs::temp_directory_path();
  std::printf("codec throughput, %u s of 44,100 Hz sound (x = times real time, best of %d)\n",
              kSeconds, kRuns);
  for (const Codec& codec : kCodecs) {
    std::string error;
    const bw::FormatBlock coded = bw::ParseFormatArgument(codec.format, error);
    const uint16_t channels = coded.format().nChannels;
    const bw::FormatBlock pcm(bw::MakePcmFormat(kRate, channels));
    const fs::path source = dir / ("source" + std::to_string(channels) + ".wav");
    if (!fs::exists(source)) WriteAll(source, Wave(pcm, TestSound(kRate, kSeconds, channels)));
    const fs::path ours_coded = dir / (std::string(codec.name) + ".ours.coded");
    const fs::path ours_pcm = dir / (std::string(codec.name) + ".ours.raw");
    const fs::path theirs_coded = dir / (std::string(codec.name) + ".ffmpeg.wav");
    const fs::path theirs_pcm = dir / (std::string(codec.name) + ".ffmpeg.raw");
    const fs::path coded_wave = dir / (std::string(codec.name) + ".wav");

    std::vector<uint8_t> out;
    const double ours_encode = BestSeconds([&] {
      const std::vector<uint8_t> file = ReadAll(source);
      const std::vector<uint8_t> data(file.begin() + 44, file.end());
      if (!Convert(pcm, coded, data, out)) return false;
      WriteAll(ours_coded, out);
      return true;
    });
    const double theirs_encode = BestSeconds([&] {
      return Ffmpeg("-i " + Quoted(source) + " " + codec.ffmpeg + " " + Quoted(theirs_coded));
    });
    Report(codec.name, "encode", ours_encode, theirs_encode);

    // Both decode the same coded file: ours, in a WAVE file for ffmpeg.
    WriteAll(coded_wave, Wave(coded, ReadAll(ours_coded)));
    const double ours_decode = BestSeconds([&] {
      if (!Convert(coded, pcm, ReadAll(ours_coded), out)) return false;
      WriteAll(ours_pcm, out);
      return true;
    });
    const double theirs_decode = BestSeconds(
        [&] { return Ffmpeg("-i " + Quoted(coded_wave) + " -f s16le " + Quoted(theirs_pcm)); });
    Report(codec.name, "decode", ours_decode, theirs_decode);
    for (const fs::path& p : {ours_coded, ours_pcm, theirs_coded, theirs_pcm, coded_wave})
      fs::remove(p);
  }
  return 0;
}
