// The sound layer's entry points: the backend choice, enumeration, device creation and the
// public objects, which forward to the buffer and device cores.
#include "platform/sound/sound.h"

#include <uuid/uuid.h>

#include <new>

#include "platform/sound/sound_internal.h"

namespace bw {
namespace {

constexpr StreamFormat kNullFormat{44100, 2};
constexpr uint32_t kMaxBufferBytes = 0x0FFFFFFF;
constexpr uint32_t kMinRate = 100;
constexpr uint32_t kMaxRate = 200000;

// Namespace of this program's device identifiers; never change it, or stored choices of
// devices are lost.
constexpr uuid_t kDeviceNamespace = {0x5a, 0x1f, 0x0c, 0x3e, 0x7b, 0x2d, 0x4e, 0x8a,
                                     0x9c, 0x61, 0x3f, 0x4b, 0x8d, 0x2e, 0x7a, 0x90};

constexpr std::string_view kNullApi = "None";
constexpr std::string_view kNullOutput = "No sound device: silent output";
constexpr std::string_view kNullInput = "No sound device: silent input";
constexpr std::string_view kVirtualApi = "Virtual";
constexpr std::string_view kVirtualOutput = "Virtual output";
constexpr std::string_view kVirtualInput = "Virtual input";

std::mutex& BackendMutex() {
  static std::mutex mutex;
  return mutex;
}
bool g_backend_chosen = false;
SoundBackend g_backend = SoundBackend::kNull;

SoundDeviceInfo Named(std::string_view api, std::string_view name) {
  return {NameBasedDeviceId(api, name), std::string(name)};
}

std::vector<SoundDeviceInfo> Enumerate(bool capture) {
  switch (CurrentSoundBackend()) {
    case SoundBackend::kVirtual:
      return {Named(kVirtualApi, capture ? kVirtualInput : kVirtualOutput)};
    case SoundBackend::kPulse:
      return PulseDevices(capture);
    case SoundBackend::kPortAudio: {
      std::vector<SoundDeviceInfo> out;
      for (PortAudioDevice& d : PortAudioDevices(capture))
        out.push_back(std::move(d.info));
      return out;
    }
    default:
      return {Named(kNullApi, capture ? kNullInput : kNullOutput)};
  }
}

// 16-bit PCM within the limits the buffers support.
bool IsSupportedPcm(const WAVEFORMATEX& f) {
  return f.wFormatTag == kWaveFormatPcm && f.wBitsPerSample == 16 && f.nChannels >= 1 &&
         f.nChannels <= kMaxChannels && f.nSamplesPerSec >= kMinRate &&
         f.nSamplesPerSec <= kMaxRate;
}

// Checks a buffer request; on success `format` is the request's with consistent block
// alignment and byte rate.
SoundResult CheckBuffer(const WAVEFORMATEX& requested, uint32_t bytes, WAVEFORMATEX* format) {
  if (!IsSupportedPcm(requested)) return kSoundErrBadFormat;
  *format = MakePcmFormat(requested.nSamplesPerSec, requested.nChannels);
  if (bytes < 4 || bytes > kMaxBufferBytes || bytes % format->nBlockAlign != 0)
    return kSoundErrInvalidParam;
  return kSoundOk;
}

// How each backend makes the streams of one direction.
template <typename Core, typename Stream>
struct StreamMakers {
  std::shared_ptr<Core> (*virtual_card)();
  std::unique_ptr<Stream> (*open_portaudio)(const DeviceId*);
  std::unique_ptr<Stream> (*open_pulse)(const DeviceId*);
  std::unique_ptr<Stream> (*make_clock)(StreamFormat);
};

// A device object on the backend in force: the virtual card, a device of the server or of
// PortAudio (the default one when `id` is gone) or, when none opens, the silent clock.
template <typename Device, typename Core, typename Stream>
SoundResult CreateDevice(const DeviceId* id, std::shared_ptr<Device>* device,
                         const StreamMakers<Core, Stream>& makers) {
  if (!device) return kSoundErrInvalidParam;
  std::shared_ptr<Core> core;
  std::unique_ptr<Stream> stream;
  switch (CurrentSoundBackend()) {
    case SoundBackend::kVirtual:
      core = makers.virtual_card();
      break;
    case SoundBackend::kPulse:
      stream = makers.open_pulse(id);
      break;
    case SoundBackend::kPortAudio:
      stream = makers.open_portaudio(id);
      break;
    default:
      break;
  }
  if (!core)
    core = std::make_shared<Core>(stream ? std::move(stream) : makers.make_clock(kNullFormat));
  *device = std::make_shared<Device>(std::move(core));
  return kSoundOk;
}

template <typename Core, typename DeviceCoreT, typename Desc, typename Buffer>
SoundResult CreateBuffer(const std::shared_ptr<DeviceCoreT>& device, const Desc& desc,
                         std::shared_ptr<Buffer>* buffer) {
  if (!buffer) return kSoundErrInvalidParam;
  Desc checked = desc;
  const SoundResult result = CheckBuffer(desc.format, desc.bytes, &checked.format);
  if (result != kSoundOk) return result;
  // The ring is allocated at once; a huge request fails cleanly.
  try {
    *buffer = std::make_shared<Buffer>(std::make_shared<Core>(device, checked));
  } catch (const std::bad_alloc&) {
    return kSoundErrOutOfMemory;
  }
  return kSoundOk;
}

}  // namespace

DeviceId NameBasedDeviceId(std::string_view host_api, std::string_view device_name) {
  std::string name(host_api);
  name += '\n';
  name += device_name;
  uuid_t uuid;
  uuid_generate_sha1(uuid, kDeviceNamespace, name.data(), name.size());
  DeviceId id;
  for (int w = 0; w < 4; ++w)
    id.words[w] = LoadLe32(uuid + 4 * w);
  return id;
}

std::shared_ptr<PlaybackDeviceCore> VirtualPlaybackCard() {
  static const auto card = std::make_shared<PlaybackDeviceCore>(StreamFormat{});
  return card;
}

std::shared_ptr<CaptureDeviceCore> VirtualCaptureCard() {
  static const auto card = std::make_shared<CaptureDeviceCore>(StreamFormat{});
  return card;
}

SoundBackend SelectSoundBackend(SoundBackend backend) {
  std::lock_guard lock(BackendMutex());
  if (backend == SoundBackend::kAuto) {
    if (PulseServerAnswers()) {
      backend = SoundBackend::kPulse;
    } else {
      const bool have_device = StartPortAudio() && !PortAudioDevices(false).empty();
      backend = have_device ? SoundBackend::kPortAudio : SoundBackend::kNull;
    }
  } else if ((backend == SoundBackend::kPortAudio && !StartPortAudio()) ||
             (backend == SoundBackend::kPulse && !PulseServerAnswers())) {
    backend = SoundBackend::kNull;
  }
  g_backend = backend;
  g_backend_chosen = true;
  return backend;
}

SoundBackend CurrentSoundBackend() {
  {
    std::lock_guard lock(BackendMutex());
    if (g_backend_chosen) return g_backend;
  }
  return SelectSoundBackend(SoundBackend::kAuto);
}

std::vector<SoundDeviceInfo> EnumeratePlaybackDevices() {
  return Enumerate(false);
}

std::vector<SoundDeviceInfo> EnumerateCaptureDevices() {
  return Enumerate(true);
}

SoundResult SoundCreate(const DeviceId* id, std::shared_ptr<SoundDevice>* device) {
  static constexpr StreamMakers<PlaybackDeviceCore, OutputStream> kMakers{
      &VirtualPlaybackCard, &OpenPortAudioOutput, &OpenPulseOutput, &MakeClockOutput};
  return CreateDevice(id, device, kMakers);
}

SoundResult SoundCaptureCreate(const DeviceId* id, std::shared_ptr<CaptureDevice>* device) {
  static constexpr StreamMakers<CaptureDeviceCore, InputStream> kMakers{
      &VirtualCaptureCard, &OpenPortAudioInput, &OpenPulseInput, &MakeClockInput};
  return CreateDevice(id, device, kMakers);
}

// ---- Device objects ------------------------------------------------------------------------

SoundResult SoundDevice::SetCooperativeLevel(int level) {
  return level >= kCooperativeNormal && level <= kCooperativeWritePrimary ? kSoundOk
                                                                          : kSoundErrInvalidParam;
}

SoundResult SoundDevice::CreateSoundBuffer(const SoundBufferDesc& desc,
                                           std::shared_ptr<SoundBuffer>* buffer) {
  return CreateBuffer<PlaybackCore>(core_, desc, buffer);
}

SoundResult CaptureDevice::CreateCaptureBuffer(const CaptureBufferDesc& desc,
                                               std::shared_ptr<CaptureBuffer>* buffer) {
  return CreateBuffer<CaptureCore>(core_, desc, buffer);
}

SoundResult CaptureDevice::GetCaps(CaptureCaps* caps) const {
  if (!caps) return kSoundErrInvalidParam;
  caps->flags = 0;
  caps->formats = 0x000FFFFF;  // 11.025 to 96 kHz, 8 and 16 bits, mono and stereo
  caps->channels = core_->format().channels;
  return kSoundOk;
}

// ---- Buffers -------------------------------------------------------------------------------

SoundResult SoundBuffer::Lock(uint32_t offset, uint32_t bytes, LockedRegions* regions,
                              uint32_t flags) {
  return core_->Lock(offset, bytes, regions, flags);
}

SoundResult SoundBuffer::Unlock(const LockedRegions& regions) {
  return core_->Unlock(regions);
}

SoundResult SoundBuffer::Play(uint32_t flags) {
  return core_->Play(flags);
}

SoundResult SoundBuffer::Stop() {
  return core_->Stop();
}

SoundResult SoundBuffer::StopNow() {
  return core_->StopNow();
}

SoundResult SoundBuffer::GetCurrentPosition(uint32_t* play, uint32_t* write) const {
  core_->GetCurrentPosition(play, write);
  return kSoundOk;
}

SoundResult SoundBuffer::SetCurrentPosition(uint32_t offset) {
  return core_->SetCurrentPosition(offset);
}

SoundResult SoundBuffer::HoldAtUnwritten(bool on) {
  core_->HoldAtUnwritten(on);
  return kSoundOk;
}

SoundResult SoundBuffer::SetVolume(int32_t volume) {
  return core_->SetVolume(volume);
}

SoundResult SoundBuffer::GetVolume(int32_t* volume) const {
  return core_->GetVolume(volume);
}

SoundResult SoundBuffer::SetPan(int32_t pan) {
  return core_->SetPan(pan);
}

SoundResult SoundBuffer::GetPan(int32_t* pan) const {
  return core_->GetPan(pan);
}

SoundResult SoundBuffer::SetFrequency(uint32_t frequency) {
  return core_->SetFrequency(frequency);
}

SoundResult SoundBuffer::GetFrequency(uint32_t* frequency) const {
  return core_->GetFrequency(frequency);
}

SoundResult SoundBuffer::GetStatus(uint32_t* status) const {
  if (!status) return kSoundErrInvalidParam;
  *status = core_->status();
  return kSoundOk;
}

SoundResult SoundBuffer::GetFormat(WAVEFORMATEX* format) const {
  if (!format) return kSoundErrInvalidParam;
  *format = core_->format();
  return kSoundOk;
}

bool SoundBuffer::DeviceLost() const {
  return core_->device_lost();
}

SoundResult SoundBuffer::QueryNotify(std::shared_ptr<SoundNotify>* notify) const {
  if (!notify || !(core_->flags() & kBufferCtrlPositionNotify)) return kSoundErrInvalidParam;
  *notify = std::make_shared<SoundNotify>(core_);
  return kSoundOk;
}

SoundResult CaptureBuffer::Start(uint32_t flags) {
  return core_->Start(flags);
}

SoundResult CaptureBuffer::Stop() {
  return core_->Stop();
}

SoundResult CaptureBuffer::Lock(uint32_t offset, uint32_t bytes, LockedRegions* regions,
                                uint32_t flags) {
  return core_->Lock(offset, bytes, regions, flags);
}

SoundResult CaptureBuffer::Unlock(const LockedRegions& regions) {
  return core_->Unlock(regions);
}

SoundResult CaptureBuffer::GetCurrentPosition(uint32_t* capture, uint32_t* read) const {
  core_->GetCurrentPosition(capture, read);
  return kSoundOk;
}

SoundResult CaptureBuffer::KeepUnread(bool on) {
  core_->KeepUnread(on);
  return kSoundOk;
}

SoundResult CaptureBuffer::GetTotals(uint64_t* captured, uint64_t* lost) const {
  core_->GetTotals(captured, lost);
  return kSoundOk;
}

SoundResult CaptureBuffer::GetStatus(uint32_t* status) const {
  if (!status) return kSoundErrInvalidParam;
  *status = core_->status();
  return kSoundOk;
}

SoundResult CaptureBuffer::GetFormat(WAVEFORMATEX* format) const {
  if (!format) return kSoundErrInvalidParam;
  *format = core_->format();
  return kSoundOk;
}

bool CaptureBuffer::DeviceLost() const {
  return core_->device_lost();
}

SoundResult CaptureBuffer::QueryNotify(std::shared_ptr<SoundNotify>* notify) const {
  if (!notify) return kSoundErrInvalidParam;
  *notify = std::make_shared<SoundNotify>(core_);
  return kSoundOk;
}

}  // namespace bw
