// Conversion and Import through brookwave-cli beside the peers, in one run:
//   - Save of a 120-second 44,100 Hz stereo file to MP3 at 128 kbit/s against `lame -b 128`
//     (goal: at most 1.05 of lame's time);
//   - Save of the same file to MS ADPCM, and of its mono mix to GSM 6.10, against ffmpeg
//     writing the same codec into a WAVE file (goal: at least as fast);
//   - Import of a 50 MB MP3 file against cp copying it (goal: at least 0.5 of cp's
//     throughput), and Import of a 5-minute FLAC file against `ffmpeg -i in.flac out.wav`
//     (goal: at least as fast). Import runs in this process, as in the desktop program, from
//     the command until it plays; the peers as programs of their own.
// Each side runs three times, alternating with its peer after a sync, and its best time
// counts. Prints the times and the ratios.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "platform/profile_store.h"
#include "platform/sound/sound.h"
#include "platform/wave_format.h"
#include "view/headless_window.h"
#include "view/view_core.h"

namespace {

using namespace bench;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr uint32_t kRate = 44100;
constexpr uint32_t kSeconds = 120;
constexpr uint64_t kImportBytes = 50'000'000;
constexpr uint32_t kFlacSeconds = 300;
constexpr int kRuns = 3;

struct Pair {
  double ours = 1e300;
  double peer = 1e300;
  bool ok = true;
};

double Seconds(const std::string& command, bool& ok) {
  ::sync();
  const auto start = Clock::now();
  ok = ok && std::system((command + " >/dev/null 2>&1").c_str()) == 0;
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// File > Import of `file` in a view's core on a headless window, until it plays.
double ImportSeconds(const fs::path& file, bool& ok) {
  bw::HeadlessWindow window;
  bw::MemoryProfileStore profile;
  bw::CBrookwaveViewCore core(window, profile);
  window.Attach(&core);
  core.OnInitialUpdate();
  window.QueueFileDialogAnswer(file.string());
  ::sync();
  const auto start = Clock::now();
  core.OnFileImport();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  ok = ok && core.stream().playing == 1;
  core.OnFileClose();
  return seconds;
}

// Best of kRuns for each side, taking turns.
template <class Ours>
Pair Race(Ours ours, const std::string& peer) {
  Pair best;
  for (int i = 0; i < kRuns; ++i) {
    best.ours = std::min(best.ours, ours(best.ok));
    best.peer = std::min(best.peer, Seconds(peer, best.ok));
  }
  return best;
}

Pair Race(const std::string& ours, const std::string& peer) {
  return Race([&](bool& ok) { return Seconds(ours, ok); }, peer);
}

// `goal` is the largest acceptable ratio of our time to the peer's.
void Report(const char* what, const char* peer, const Pair& p, double goal) {
  if (!p.ok) {
    std::printf("%-34s failed\n", what);
    return;
  }
  const double ratio = p.ours / p.peer;
  std::printf("%-34s ours %7.3f s  %-14s %7.3f s  time ratio %5.2f (goal <= %.2f) %s\n", what,
              p.ours, peer, p.peer, ratio, goal, ratio <= goal ? "met" : "NOT MET");
}

}  // namespace

int main() {
  const char* dir_env = std::getenv("BW_BENCH_DIR");
  const char* cli_env = std::getenv("BW_CLI");
  const fs::path dir = dir_env ? dir_env : fs::temp_directory_path();
  const std::string cli = cli_env ? cli_env : "brookwave-cli";
  const fs::path stereo = dir / "convert_stereo.wav";
  const fs::path mono = dir / "convert_mono.wav";
  const fs::path out = dir / "convert_out.wav";
  const fs::path peer_out = dir / "convert_peer.wav";
  const fs::path mp3 = dir / "convert_big.mp3";
  const fs::path peer_mp3 = dir / "convert_peer.mp3";
  WriteAll(stereo,
           Wave(bw::FormatBlock(bw::MakePcmFormat(kRate, 2)), TestSound(kRate, kSeconds, 2)));
  WriteAll(mono, Wave(bw::FormatBlock(bw::MakePcmFormat(kRate, 1)), TestSound(kRate, kSeconds, 1)));
  std::printf("conversion of %u s of 44,100 Hz sound, Import of a %.0f MB MP3 (best of %d)\n",
              kSeconds, kImportBytes / 1e6, kRuns);

  const std::string convert = cli + " convert ";
  const std::string ffmpeg = "ffmpeg -nostdin -v error -y -i ";
  Report("Save to MP3 128 kbit/s", "lame -b 128",
         Race(convert + Quoted(stereo) + " " + Quoted(out) + " --format mp3:44100:2:128",
              "lame --quiet -b 128 " + Quoted(stereo) + " " + Quoted(peer_mp3)),
         1.05);
  Report("Save to MS ADPCM (stereo)", "ffmpeg",
         Race(convert + Quoted(stereo) + " " + Quoted(out) + " --format msadpcm:44100:2",
              ffmpeg + Quoted(stereo) + " -c:a adpcm_ms -block_size 2048 " + Quoted(peer_out)),
         1.0);
  Report("Save to GSM 6.10 (mono)", "ffmpeg",
         Race(convert + Quoted(mono) + " " + Quoted(out) + " --format gsm610:44100:1",
              ffmpeg + Quoted(mono) + " -c:a libgsm_ms -strict unofficial " + Quoted(peer_out)),
         1.0);

  // 50 MB of MP3: the stereo sound encoded once and repeated.
  bool made =
      std::system(("lame --quiet -b 128 " + Quoted(stereo) + " " + Quoted(peer_mp3)).c_str()) == 0;
  if (made) {
    std::ifstream in(peer_mp3, std::ios::binary);
    const std::vector<char> once{std::istreambuf_iterator<char>(in),
                                 std::istreambuf_iterator<char>()};
    std::ofstream big(mp3, std::ios::binary);
    for (uint64_t n = 0; n < kImportBytes; n += once.size())
      big.write(once.data(),
                static_cast<std::streamsize>(std::min<uint64_t>(once.size(), kImportBytes - n)));
    made = !once.empty() && big.good();
  }
  if (!made) {
    std::printf("%-34s failed (no MP3 file)\n", "Import of a 50 MB MP3");
  } else {
    bw::SelectSoundBackend(bw::SoundBackend::kVirtual);
    const Pair import = Race([&](bool& ok) { return ImportSeconds(mp3, ok); },
                             "cp " + Quoted(mp3) + " " + Quoted(peer_out));
    Report("Import of a 50 MB MP3", "cp", import, 2.0);
    if (import.ok)
      std::printf("%-34s ours %7.1f MB/s  cp %7.1f MB/s  throughput ratio %5.2f (goal >= 0.50)\n",
                  "", kImportBytes / 1e6 / import.ours, kImportBytes / 1e6 / import.peer,
                  import.peer / import.ours);
  }
  const fs::path flac = dir / "convert_long.flac";
  const fs::path long_wav = dir / "convert_long.wav";
  WriteAll(long_wav,
           Wave(bw::FormatBlock(bw::MakePcmFormat(kRate, 2)), TestSound(kRate, kFlacSeconds, 2)));
  if (std::system((ffmpeg + Quoted(long_wav) + " -c:a flac " + Quoted(flac)).c_str()) != 0) {
    std::printf("%-34s failed (no FLAC file)\n", "Import of a 5-minute FLAC");
  } else {
    bw::SelectSoundBackend(bw::SoundBackend::kVirtual);
    Report("Import of a 5-minute FLAC", "ffmpeg",
           Race([&](bool& ok) { return ImportSeconds(flac, ok); },
                ffmpeg + Quoted(flac) + " " + Quoted(peer_out)),
           1.0);
  }
  for (const fs::path& p : {stereo, mono, out, peer_out, mp3, peer_mp3, flac, long_wav})
    fs::remove(p);
  return 0;
}
