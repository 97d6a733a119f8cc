// brookwave-cli record OUT.wav --format FORMAT [...]: records into OUT through the view's core
// as a user would: File New (OUT, the format), Record, and Stop, which finishes the file.
//
// With --from IN.wav the virtual capture card is fed IN's 16-bit PCM (IN's rate and channels
// must be the format's) as fast as the capture thread takes it, and the recording stops when
// IN is used up (or after --seconds of it). Without it the default capture device (or the one
// --device names; the silent null device when the machine has none) records for --seconds
// seconds, or until Ctrl+C. --pause-at S:E pauses from second S to second E of the recording.
//
// Exit status: 0 when the recording was completed, 1 when it failed or stopped writing (the
// system's messages are on stderr), 2 for bad arguments.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/wave_file.h"
#include "cli/cli_command.h"
#include "cli/headless_player.h"
#include "platform/acm/acm_formats.h"
#include "platform/sound/virtual_sound.h"

namespace bw::cli {
namespace {

constexpr const char* kUsage =
    "OUT.wav --format FORMAT [--from IN.wav] [--seconds S] [--voice-threshold N] "
    "[--limit N] [--pause-at S:E] [--device W1,W2,W3,W4] [--backend auto|pulse|portaudio|null]";

struct RecordOptions {
  std::string out;
  std::string formatText;
  FormatBlock format;
  std::optional<std::string> from;
  std::optional<double> seconds;
  std::optional<int64_t> voiceThreshold;
  std::optional<int64_t> limit;
  std::optional<std::pair<double, double>> pauseAt;  // seconds into the recording
  std::vector<int64_t> device;
  SoundBackend backend = SoundBackend::kAuto;
};

// The settings a user would make on the record sheet before File New.
void ApplySettings(const RecordOptions& o, RecordSettingsValues& settings) {
  if (o.voiceThreshold) {
    settings.VoiceActivated = 1;
    settings.ActiveThreshold = static_cast<int32_t>(*o.voiceThreshold);
  }
  if (o.limit) {
    settings.StopAtLimit = 1;
    settings.StopLimitBytes = static_cast<int32_t>(*o.limit);
  }
  for (std::size_t i = 0; i < o.device.size(); ++i)
    settings.CaptureDevice.words[i] = static_cast<uint32_t>(o.device[i]);
}

// IN's 16-bit PCM data, read piece by piece.
class PcmSource {
 public:
  // False after a message when IN cannot be read or is not 16-bit PCM of `format`'s layout.
  bool Open(const std::string& path, const WAVEFORMATEX& format) {
    FormatBlock in;
    if (OpenWaveSource(path, file_, in, riff_) != 0 || SeekWaveData(file_, data_, riff_) != 0) {
      std::fprintf(stderr, "brookwave-cli: cannot read %s as a WAVE file\n", path.c_str());
      return false;
    }
    const WAVEFORMATEX& f = in.format();
    if (f.wFormatTag != kWaveFormatPcm || f.wBitsPerSample != 16 ||
        f.nSamplesPerSec != format.nSamplesPerSec || f.nChannels != format.nChannels) {
      std::fprintf(stderr,
                   "brookwave-cli: %s must be 16-bit PCM at %u Hz with %u channel(s), as the "
                   "format records\n",
                   path.c_str(), format.nSamplesPerSec, format.nChannels);
      return false;
    }
    channels_ = f.nChannels;
    return true;
  }

  // Up to `frames` frames; empty at the end of the data.
  std::vector<int16_t> Read(uint32_t frames) {
    std::vector<uint8_t> bytes(std::size_t{frames} * channels_ * 2);
    uint32_t got = 0;
    if (ReadWaveData(file_, bytes, data_, got) != 0) got = 0;
    std::vector<int16_t> samples(got / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
      samples[i] = static_cast<int16_t>(LoadLe16(&bytes[2 * i]));
    samples.resize(samples.size() / channels_ * channels_);
    return samples;
  }

 private:
  RiffFile file_;
  MMCKINFO riff_;
  MMCKINFO data_;
  uint16_t channels_ = 1;
};

// Toggles Pause at the start and the end of the --pause-at span as the recording passes them.
class PauseSchedule {
 public:
  explicit PauseSchedule(const std::optional<std::pair<double, double>>& span) : span_(span) {}

  // Seconds until the next toggle (none when there is no toggle left).
  std::optional<double> NextAt() const {
    if (!span_ || toggles_ >= 2) return std::nullopt;
    return toggles_ == 0 ? span_->first : span_->second;
  }
  void ToggleDue(double now, CBrookwaveViewCore& core) {
    while (NextAt() && *NextAt() <= now) {
      if (core.stream().recording) core.OnCommand(ID_PAUSE);
      ++toggles_;
    }
  }

 private:
  std::optional<std::pair<double, double>> span_;
  int toggles_ = 0;
};

// Feeds IN to the virtual card until it is used up, the time is over or the recording ended.
bool FeedFromFile(PcmSource& source, const RecordOptions& o, HeadlessPlayer& player,
                  const InterruptWatch& interrupt) {
  constexpr uint32_t kPieceFrames = 4096;
  const uint32_t rate = o.format.format().nSamplesPerSec;
  const uint16_t channels = o.format.format().nChannels;
  PauseSchedule pauses(o.pauseAt);
  uint64_t fed = 0;
  const uint64_t most = o.seconds ? static_cast<uint64_t>(*o.seconds * rate) : UINT64_MAX;
  while (player.core.stream().recording && fed < most && !interrupt.interrupted()) {
    pauses.ToggleDue(static_cast<double>(fed) / rate, player.core);
    uint64_t frames = std::min<uint64_t>(kPieceFrames, most - fed);
    if (const std::optional<double> next = pauses.NextAt()) {
      const auto until = static_cast<uint64_t>(*next * rate);
      if (until > fed) frames = std::min(frames, until - fed);
    }
    const std::vector<int16_t> samples = source.Read(static_cast<uint32_t>(frames));
    if (samples.empty()) break;
    if (!virtual_sound::FeedCapture(samples)) {
      std::fprintf(stderr, "brookwave-cli: the capture thread stopped answering\n");
      return false;
    }
    fed += samples.size() / channels;
    player.window.DispatchPending();
  }
  return true;
}

// Records from the device for the given time (or until Ctrl+C), handling the thread's messages
// as they come.
void RecordForTime(const RecordOptions& o, HeadlessPlayer& player,
                   const InterruptWatch& interrupt) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const auto seconds_since = [&] {
    return std::chrono::duration<double>(Clock::now() - start).count();
  };
  PauseSchedule pauses(o.pauseAt);
  while (player.core.stream().recording && !interrupt.interrupted()) {
    const double now = seconds_since();
    pauses.ToggleDue(now, player.core);
    if (now >= *o.seconds) break;
    const double until = std::min(*o.seconds, pauses.NextAt().value_or(*o.seconds));
    // Rounded up: a wait cut short would wake again at once.
    const auto wait = std::max(
        std::chrono::ceil<std::chrono::milliseconds>(std::chrono::duration<double>(until - now)),
        std::chrono::milliseconds(1));
    if (player.window.WaitForMessage(wait)) player.window.DispatchPending();
  }
}

int RunRecord(RecordOptions& o) {
  if (!o.from && !o.seconds) return UsageError("record", "--from or --seconds is required");
  std::string format_error;
  o.format = ParseFormatArgument(o.formatText, format_error);
  std::error_code ec;
  if (o.from && std::filesystem::equivalent(*o.from, o.out, ec)) {
    std::fprintf(stderr, "brookwave-cli: %s would overwrite the file it records from\n",
                 o.out.c_str());
    return 1;
  }
  PcmSource source;
  if (o.from && !source.Open(*o.from, o.format.format())) return 1;

  // A file-size limit must show as a failed write, not end the process.
  std::signal(SIGXFSZ, SIG_IGN);
  InterruptWatch interrupt;
  SelectSoundBackend(o.from ? SoundBackend::kVirtual : o.backend);
  virtual_sound::SetCaptureFormat({0, 0});  // the card captures at the format's rate
  HeadlessPlayer player;
  CBrookwaveViewCore& core = player.core;
  StreamState& stream = core.stream();
  ApplySettings(o, stream.recordSettings);

  player.window.QueueFileDialogAnswer(o.out);
  if (std::filesystem::exists(o.out, ec)) player.window.QueueMessageBoxAnswer(kIdYes);
  player.window.QueueFormatChoice(FormatChoice{0, o.format});
  core.OnCommand(ID_FILE_NEW);
  if (!stream.recordTargetReady) return 1;
  if (stream.lastError == 0) core.OnCommand(ID_RECORD);
  if (stream.lastError != 0) {
    core.OnCommand(ID_STOP);
    return 1;
  }

  const InterruptWatch::Waking waking = interrupt.Wake(player.window);
  const bool fed = o.from ? FeedFromFile(source, o, player, interrupt)
                          : (RecordForTime(o, player, interrupt), true);
  player.window.DispatchPending();
  if (stream.recording) core.OnCommand(ID_STOP);
  player.window.DispatchPending();
  const bool completed = fed && !stream.capture.writeFailed() && stream.fileOpen;
  return completed ? 0 : 1;
}

Runner DefineRecord(CLI::App& app) {
  auto o = std::make_shared<RecordOptions>();
  app.add_option("OUT", o->out, "The WAVE file to record into")->required();
  app.add_option("--format", o->formatText, "The format to record in")
      ->type_name("FORMAT")
      ->check(FormatArgument())
      ->required();
  app.add_option("--from", o->from, "Feed the virtual card this 16-bit PCM file instead")
      ->type_name("IN.wav");
  AddSeconds(app, "--seconds", o->seconds, "Stop after S seconds (required without --from)");
  AddInteger(app, "--voice-threshold", o->voiceThreshold, INT32_MIN, INT32_MAX,
             "Voice activation at this threshold");
  AddInteger(app, "--limit", o->limit, INT32_MIN, INT32_MAX, "Stop at a size limit of N bytes");
  AddSecondsSpan(app, "--pause-at", o->pauseAt, "S:E", "Pause from second S to second E");
  AddIntegerList(app, "--device", o->device, 4, 0, UINT32_MAX, "W1,W2,W3,W4",
                 "The capture device's identifier (see 'devices')");
  AddBackend(app, o->backend, false);
  app.footer(kFormatHelp);
  return [o] { return RunRecord(*o); };
}

}  // namespace
}  // namespace bw::cli

BW_CLI_COMMAND("record", bw::cli::kUsage,
               "Record into a WAVE file from a sound device or from a file (File New, Record)",
               bw::cli::DefineRecord)
