// Real devices through PortAudio's blocking streams (ALSA with its PulseAudio and PipeWire
// plugins, JACK, OSS), in 32-bit float at the device's own rate and up to two channels.
#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <portaudio.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <shared_mutex>

#include "platform/shared_library.h"
#include "platform/sound/sound_internal.h"
#include "platform/sound/transfer_gate.h"

namespace bw {
namespace {

// PortAudio, opened when it is first started: on a desktop with a sound server it is never
// needed. ALSA's and JACK's message hooks come from the libraries it brings in.
#define BW_PORTAUDIO_FUNCTIONS(X) \
  X(Pa_AbortStream)               \
  X(Pa_CloseStream)               \
  X(Pa_GetDefaultInputDevice)     \
  X(Pa_GetDefaultOutputDevice)    \
  X(Pa_GetDeviceCount)            \
  X(Pa_GetDeviceInfo)             \
  X(Pa_GetHostApiInfo)            \
  X(Pa_Initialize)                \
  X(Pa_OpenStream)                \
  X(Pa_ReadStream)                \
  X(Pa_StartStream)               \
  X(Pa_Terminate)                 \
  X(Pa_WriteStream)
#define BW_PORTAUDIO_HOOKS(X) \
  X(jack_set_error_function)  \
  X(jack_set_info_function)   \
  X(snd_lib_error_set_handler)

struct PortAudioFunctions {
  BW_PORTAUDIO_FUNCTIONS(BW_FUNCTION_POINTER)
  BW_PORTAUDIO_HOOKS(BW_FUNCTION_POINTER)
};

const LibrarySet<3, PortAudioFunctions>& PortAudioLibrary() {
  static const auto library = OpenLibrarySet<PortAudioFunctions>(
      std::array{"libportaudio.so.2", "libasound.so.2", "libjack.so.0"},
      [](const auto& from, PortAudioFunctions& functions) {
        bool ok = true;
        BW_PORTAUDIO_FUNCTIONS(BW_BIND_FUNCTION)
        // A PortAudio built without ALSA or JACK has nothing of theirs to silence.
        const bool portaudio = ok;
        BW_PORTAUDIO_HOOKS(BW_BIND_FUNCTION)
        return portaudio;
      });
  return library;
}

namespace portaudio {
#define BW_PORTAUDIO_FORWARD(name) BW_FORWARD_FUNCTION(name, PortAudioLibrary().functions)
BW_PORTAUDIO_FUNCTIONS(BW_PORTAUDIO_FORWARD)
#undef BW_PORTAUDIO_FORWARD
}  // namespace portaudio

// PortAudio's setup calls are not meant to run concurrently. The state below is under this
// mutex too.
std::mutex& PortAudioMutex() {
  static std::mutex mutex;
  return mutex;
}

// PortAudio's ALSA code also keeps the result of every call it checks in one variable for all
// threads: an open that fails while a read or a write succeeds on another thread can take that
// success for its own, and then ends the process on an assertion. So opening, starting and
// closing a stream hold this gate exclusively (before the mutex), the reads and writes shared.
// Listing does not: with a stream open it reads only what PortAudio found when it started.
TransferGate& PortAudioGate() {
  static TransferGate gate;
  return gate;
}
bool g_tried = false;    // Pa_Initialize was called once
bool g_started = false;  // and succeeded the last time
bool g_fresh = false;    // nothing was listed since it did
int g_open_streams = 0;

// ALSA and JACK report every device they probe and cannot open (no JACK server, say) on
// stderr; the program keeps no log.
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}
void IgnoreJackMessage(const char*) {}

struct PaStreamCloser {
  void operator()(PaStream* stream) const {
    const std::lock_guard gate(PortAudioGate());
    const std::lock_guard lock(PortAudioMutex());
    portaudio::Pa_AbortStream(stream);
    portaudio::Pa_CloseStream(stream);
    --g_open_streams;
  }
};

using PaStreamPtr = std::unique_ptr<PaStream, PaStreamCloser>;

// With the mutex held: initialises PortAudio on the first call; whether it is started.
bool StartLocked() {
  if (g_tried) return g_started;
  g_tried = true;
  if (!PortAudioLibrary().loaded) return false;
  const PortAudioFunctions& pa = PortAudioLibrary().functions;
  if (pa.snd_lib_error_set_handler) pa.snd_lib_error_set_handler(&IgnoreAlsaError);
  if (pa.jack_set_error_function) pa.jack_set_error_function(&IgnoreJackMessage);
  if (pa.jack_set_info_function) pa.jack_set_info_function(&IgnoreJackMessage);
  g_started = g_fresh = portaudio::Pa_Initialize() == paNoError;
  return g_started;
}

// With the mutex held: PortAudio reads its devices when it is initialised, so it starts again
// to see those plugged in or pulled out since. Not while a stream is open, which would not
// survive it; the lists are then those of the last start.
bool RescanLocked() {
  StartLocked();
  if (!PortAudioLibrary().loaded) return false;
  if (g_fresh || g_open_streams > 0) {
    g_fresh = false;
    return g_started;
  }
  if (g_started) portaudio::Pa_Terminate();
  g_started = portaudio::Pa_Initialize() == paNoError;
  return g_started;
}

// Buffered at least this long: a player's stream must ride out a busy machine, and the ring
// above keeps seconds of slack. Short enough for a file's end to be heard before its buffer
// stops.
constexpr double kLeastLatencySeconds = 0.25;

struct OpenedStream {
  PaStreamPtr stream;
  StreamFormat format;
};

// Opens `index` for output or input with the mutex held, in `format` when one is given, else at
// the device's default rate with up to two channels; no stream when it will not open.
OpenedStream OpenIndexLocked(int index, bool capture, std::optional<StreamFormat> format) {
  const PaDeviceInfo* info = index >= 0 ? portaudio::Pa_GetDeviceInfo(index) : nullptr;
  if (!info) return {};
  const int max_channels = capture ? info->maxInputChannels : info->maxOutputChannels;
  if (!format) {
    format = StreamFormat{static_cast<uint32_t>(info->defaultSampleRate),
                          static_cast<uint16_t>(std::min(max_channels, 2))};
  }
  if (format->channels < 1 || format->channels > max_channels) return {};
  PaStreamParameters params{};
  params.device = index;
  params.channelCount = format->channels;
  params.sampleFormat = paFloat32;
  params.suggestedLatency =
      std::max(kLeastLatencySeconds,
               capture ? info->defaultHighInputLatency : info->defaultHighOutputLatency);
  PaStream* raw = nullptr;
  const PaError e = portaudio::Pa_OpenStream(
      &raw, capture ? &params : nullptr, capture ? nullptr : &params, format->rate,
      paFramesPerBufferUnspecified, paClipOff, nullptr, nullptr);
  if (e != paNoError || !raw) return {};
  ++g_open_streams;
  return {PaStreamPtr(raw), *format};
}

// The devices with outputs, or with inputs, with the mutex held and PortAudio started.
std::vector<PortAudioDevice> ListLocked(bool capture) {
  std::vector<PortAudioDevice> out;
  std::map<std::string, int> seen;  // devices of one host API that share a name
  const int count = portaudio::Pa_GetDeviceCount();
  for (int i = 0; i < count; ++i) {
    const PaDeviceInfo* info = portaudio::Pa_GetDeviceInfo(i);
    const PaHostApiInfo* api = info ? portaudio::Pa_GetHostApiInfo(info->hostApi) : nullptr;
    if (!info || !api) continue;
    std::string name = info->name ? info->name : "";
    const std::string api_name = api->name ? api->name : "";
    const int repeat = seen[api_name + '\n' + name]++;
    if ((capture ? info->maxInputChannels : info->maxOutputChannels) < 1) continue;
    const std::string key = repeat == 0 ? name : name + " #" + std::to_string(repeat + 1);
    out.push_back({i, {NameBasedDeviceId(api_name, key), key + " (" + api_name + ")"}});
  }
  return out;
}

int FindIndexLocked(const DeviceId& id, bool capture) {
  for (const PortAudioDevice& d : ListLocked(capture)) {
    if (d.info.id == id) return d.index;
  }
  return -1;
}

// The device `id` (a device plugged in since the last start is looked for after a rescan), or
// the default device; the indexes stay valid as the mutex is held throughout.
OpenedStream OpenWithFallback(const std::optional<DeviceId>& id, bool capture,
                              std::optional<StreamFormat> format) {
  const std::lock_guard gate(PortAudioGate());
  const std::lock_guard lock(PortAudioMutex());
  if (!StartLocked()) return {};
  if (id && !id->IsDefault()) {
    int chosen = FindIndexLocked(*id, capture);
    if (chosen < 0 && RescanLocked()) chosen = FindIndexLocked(*id, capture);
    if (chosen >= 0) {
      if (OpenedStream opened = OpenIndexLocked(chosen, capture, format); opened.stream)
        return opened;
    }
  }
  const int fallback =
      capture ? portaudio::Pa_GetDefaultInputDevice() : portaudio::Pa_GetDefaultOutputDevice();
  return fallback == paNoDevice ? OpenedStream{} : OpenIndexLocked(fallback, capture, format);
}

// A stream and the device it was asked for. When the device fails (pulled out, or its server
// gone), the stream goes on in the same format, so that the mixer above never sees a change:
// on that device should it be back, else on the default device.
class PortAudioStream {
 public:
  PortAudioStream(OpenedStream opened, std::optional<DeviceId> wanted, bool capture)
      : stream_(std::move(opened.stream)),
        format_(opened.format),
        wanted_(std::move(wanted)),
        capture_(capture) {}

  StreamFormat format() const { return format_; }
  bool Start() {
    const std::lock_guard gate(PortAudioGate());
    return stream_ && portaudio::Pa_StartStream(stream_.get()) == paNoError;
  }

  // Runs `transfer` (a read or a write, true when it went through) on the stream, or on the
  // stream opened again when the device failed; false when no device takes it.
  template <typename Transfer>
  bool Run(Transfer transfer) {
    if (stream_ && Shared(transfer)) return true;
    stream_.reset();  // closed before it is opened again: it may be the same device
    stream_ = OpenWithFallback(wanted_, capture_, format_).stream;
    return Start() && Shared(transfer);
  }

 private:
  template <typename Transfer>
  bool Shared(Transfer transfer) {
    const std::shared_lock lock(PortAudioGate());
    return transfer(stream_.get());
  }

  PaStreamPtr stream_;
  const StreamFormat format_;
  const std::optional<DeviceId> wanted_;
  const bool capture_;
};

class PortAudioOutput final : public OutputStream {
 public:
  explicit PortAudioOutput(PortAudioStream stream) : stream_(std::move(stream)) {}
  StreamFormat format() const override { return stream_.format(); }
  bool Start() override { return stream_.Start(); }
  bool Write(const float* samples, uint32_t frames) override {
    return stream_.Run([&](PaStream* s) {
      const PaError e = portaudio::Pa_WriteStream(s, samples, frames);
      return e == paNoError || e == paOutputUnderflowed;
    });
  }

 private:
  PortAudioStream stream_;
};

class PortAudioInput final : public ChunkedInput {
 public:
  explicit PortAudioInput(PortAudioStream stream) : stream_(std::move(stream)) {}
  StreamFormat format() const override { return stream_.format(); }
  bool Start() override { return stream_.Start(); }
  bool Read(float* samples, uint32_t frames) override {
    return stream_.Run([&](PaStream* s) {
      const PaError e = portaudio::Pa_ReadStream(s, samples, frames);
      return e == paNoError || e == paInputOverflowed;
    });
  }

 private:
  PortAudioStream stream_;
};

template <typename Stream>
std::unique_ptr<Stream> OpenStream(const DeviceId* id, bool capture) {
  std::optional<DeviceId> wanted;
  if (id) wanted = *id;
  OpenedStream opened = OpenWithFallback(wanted, capture, std::nullopt);
  if (!opened.stream) return nullptr;
  return std::make_unique<Stream>(PortAudioStream(std::move(opened), std::move(wanted), capture));
}

}  // namespace

bool StartPortAudio() {
  const std::lock_guard lock(PortAudioMutex());
  return StartLocked();
}

std::vector<PortAudioDevice> PortAudioDevices(bool capture) {
  const std::lock_guard lock(PortAudioMutex());
  if (!RescanLocked()) return {};
  return ListLocked(capture);
}

std::unique_ptr<OutputStream> OpenPortAudioOutput(const DeviceId* id) {
  return OpenStream<PortAudioOutput>(id, false);
}

std::unique_ptr<InputStream> OpenPortAudioInput(const DeviceId* id) {
  return OpenStream<PortAudioInput>(id, true);
}

}  // namespace bw
