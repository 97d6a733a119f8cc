// Real devices through PortAudio's blocking streams (ALSA with its PulseAudio and PipeWire
// plugins, JACK, OSS), in 32-bit float at the device's own rate and up to two channels.
#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <portaudio.h>

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/sound/sound_internal.h"

namespace bw {
namespace {

// PortAudio's setup calls are not meant to run concurrently. The state below is under this
// mutex too.
std::mutex& PortAudioMutex() {
  static std::mutex mutex;
  return mutex;
}
bool g_tried = false;    // Pa_Initialize was called once
bool g_started = false;  // and succeeded the last time
bool g_fresh = false;    // nothing was listed since it did
int g_open_streams = 0;

// ALSA and JACK report every device they probe and cannot open (no JACK server, say) on
// stderr; the program keeps no log.
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}
void IgnoreJackMessage(const char*) {}

struct StreamCloser {
  void operator()(PaStream* stream) const {
    std::lock_guard lock(PortAudioMutex());
    Pa_AbortStream(stream);
    Pa_CloseStream(stream);
    --g_open_streams;
  }
};

using StreamPtr = std::unique_ptr<PaStream, StreamCloser>;

// With the mutex held: initialises PortAudio on the first call; whether it is started.
bool StartLocked() {
  if (g_tried) return g_started;
  g_tried = true;
  snd_lib_error_set_handler(&IgnoreAlsaError);
  jack_set_error_function(&IgnoreJackMessage);
  jack_set_info_function(&IgnoreJackMessage);
  g_started = g_fresh = Pa_Initialize() == paNoError;
  return g_started;
}

// With the mutex held: PortAudio reads its devices when it is initialised, so it starts again
// to see those plugged in or pulled out since. Not while a stream is open, which would not
// survive it; the lists are then those of the last start.
bool RescanLocked() {
  StartLocked();
  if (g_fresh || g_open_streams > 0) {
    g_fresh = false;
    return g_started;
  }
  if (g_started) Pa_Terminate();
  g_started = Pa_Initialize() == paNoError;
  return g_started;
}

class PortAudioOutput final : public OutputStream {
 public:
  PortAudioOutput(StreamPtr stream, StreamFormat format)
      : stream_(std::move(stream)), format_(format) {}
  StreamFormat format() const override { return format_; }
  bool Start() override { return Pa_StartStream(stream_.get()) == paNoError; }
  bool Write(const float* samples, uint32_t frames) override {
    const PaError e = Pa_WriteStream(stream_.get(), samples, frames);
    return e == paNoError || e == paOutputUnderflowed;
  }

 private:
  StreamPtr stream_;
  StreamFormat format_;
};

class PortAudioInput final : public InputStream {
 public:
  PortAudioInput(StreamPtr stream, StreamFormat format)
      : stream_(std::move(stream)), format_(format) {}
  StreamFormat format() const override { return format_; }
  bool Start() override { return Pa_StartStream(stream_.get()) == paNoError; }
  bool Read(float* samples, uint32_t frames) override {
    const PaError e = Pa_ReadStream(stream_.get(), samples, frames);
    return e == paNoError || e == paInputOverflowed;
  }

 private:
  StreamPtr stream_;
  StreamFormat format_;
};

// Buffered at least this long: a player's stream must ride out a busy machine, and the ring
// above keeps seconds of slack. Short enough for a file's end to be heard before its buffer
// stops.
constexpr double kLeastLatencySeconds = 0.25;

// Opens `index` for output or input at its default rate, with the mutex held; nullptr when it
// will not open.
template <typename Stream>
std::unique_ptr<Stream> OpenIndexLocked(int index, bool capture) {
  const PaDeviceInfo* info = index >= 0 ? Pa_GetDeviceInfo(index) : nullptr;
  if (!info) return nullptr;
  const int max_channels = capture ? info->maxInputChannels : info->maxOutputChannels;
  if (max_channels < 1) return nullptr;
  PaStreamParameters params{};
  params.device = index;
  params.channelCount = std::min(max_channels, 2);
  params.sampleFormat = paFloat32;
  params.suggestedLatency =
      std::max(kLeastLatencySeconds,
               capture ? info->defaultHighInputLatency : info->defaultHighOutputLatency);
  PaStream* raw = nullptr;
  const PaError e = Pa_OpenStream(&raw, capture ? &params : nullptr, capture ? nullptr : &params,
                                  info->defaultSampleRate, paFramesPerBufferUnspecified, paClipOff,
                                  nullptr, nullptr);
  if (e != paNoError || !raw) return nullptr;
  ++g_open_streams;
  const StreamFormat format{static_cast<uint32_t>(info->defaultSampleRate),
                            static_cast<uint16_t>(params.channelCount)};
  return std::make_unique<Stream>(StreamPtr(raw), format);
}

// The devices with outputs, or with inputs, with the mutex held and PortAudio started.
std::vector<PortAudioDevice> ListLocked(bool capture) {
  std::vector<PortAudioDevice> out;
  std::map<std::string, int> seen;  // devices of one host API that share a name
  const int count = Pa_GetDeviceCount();
  for (int i = 0; i < count; ++i) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
    const PaHostApiInfo* api = info ? Pa_GetHostApiInfo(info->hostApi) : nullptr;
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
template <typename Stream>
std::unique_ptr<Stream> OpenWithFallback(const DeviceId* id, bool capture) {
  std::lock_guard lock(PortAudioMutex());
  if (!StartLocked()) return nullptr;
  if (id && !id->IsDefault()) {
    int chosen = FindIndexLocked(*id, capture);
    if (chosen < 0 && RescanLocked()) chosen = FindIndexLocked(*id, capture);
    if (chosen >= 0) {
      if (auto stream = OpenIndexLocked<Stream>(chosen, capture)) return stream;
    }
  }
  const int fallback = capture ? Pa_GetDefaultInputDevice() : Pa_GetDefaultOutputDevice();
  return fallback == paNoDevice ? nullptr : OpenIndexLocked<Stream>(fallback, capture);
}

}  // namespace

bool StartPortAudio() {
  std::lock_guard lock(PortAudioMutex());
  return StartLocked();
}

std::vector<PortAudioDevice> PortAudioDevices(bool capture) {
  std::lock_guard lock(PortAudioMutex());
  if (!RescanLocked()) return {};
  return ListLocked(capture);
}

std::unique_ptr<OutputStream> OpenPortAudioOutput(const DeviceId* id) {
  return OpenWithFallback<PortAudioOutput>(id, false);
}

std::unique_ptr<InputStream> OpenPortAudioInput(const DeviceId* id) {
  return OpenWithFallback<PortAudioInput>(id, true);
}

}  // namespace bw
