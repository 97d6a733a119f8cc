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

// PortAudio's setup calls are not meant to run concurrently.
std::mutex& PortAudioMutex() {
  static std::mutex mutex;
  return mutex;
}

// ALSA and JACK report every device they probe and cannot open (no JACK server, say) on
// stderr; the program keeps no log.
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}
void IgnoreJackMessage(const char*) {}

struct StreamCloser {
  void operator()(PaStream* stream) const {
    std::lock_guard lock(PortAudioMutex());
    Pa_AbortStream(stream);
    Pa_CloseStream(stream);
  }
};
using StreamPtr = std::unique_ptr<PaStream, StreamCloser>;

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

// Opens `index` for output or input at its default rate; nullptr when it will not open.
template <typename Stream>
std::unique_ptr<Stream> OpenIndex(int index, bool capture) {
  std::lock_guard lock(PortAudioMutex());
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
  const StreamFormat format{static_cast<uint32_t>(info->defaultSampleRate),
                            static_cast<uint16_t>(params.channelCount)};
  return std::make_unique<Stream>(StreamPtr(raw), format);
}

int FindIndex(const DeviceId* id, bool capture) {
  if (!id || id->IsDefault()) return -1;
  for (const PortAudioDevice& d : PortAudioDevices(capture)) {
    if (d.info.id == *id) return d.index;
  }
  return -1;
}

int DefaultIndex(bool capture) {
  std::lock_guard lock(PortAudioMutex());
  const int index = capture ? Pa_GetDefaultInputDevice() : Pa_GetDefaultOutputDevice();
  return index == paNoDevice ? -1 : index;
}

template <typename Stream>
std::unique_ptr<Stream> OpenWithFallback(const DeviceId* id, bool capture) {
  if (!StartPortAudio()) return nullptr;
  const int chosen = FindIndex(id, capture);
  if (chosen >= 0) {
    if (auto stream = OpenIndex<Stream>(chosen, capture)) return stream;
  }
  return OpenIndex<Stream>(DefaultIndex(capture), capture);
}

}  // namespace

bool StartPortAudio() {
  static const bool started = [] {
    std::lock_guard lock(PortAudioMutex());
    snd_lib_error_set_handler(&IgnoreAlsaError);
    jack_set_error_function(&IgnoreJackMessage);
    jack_set_info_function(&IgnoreJackMessage);
    return Pa_Initialize() == paNoError;
  }();
  return started;
}

std::vector<PortAudioDevice> PortAudioDevices(bool capture) {
  std::vector<PortAudioDevice> out;
  if (!StartPortAudio()) return out;
  std::lock_guard lock(PortAudioMutex());
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

std::unique_ptr<OutputStream> OpenPortAudioOutput(const DeviceId* id) {
  return OpenWithFallback<PortAudioOutput>(id, false);
}

std::unique_ptr<InputStream> OpenPortAudioInput(const DeviceId* id) {
  return OpenWithFallback<PortAudioInput>(id, true);
}

}  // namespace bw
