// The playback and capture devices: device enumeration, device objects, looping playback and
// capture buffers of 16-bit PCM with Lock/Unlock, notification positions bound to events, and
// volume, pan and frequency controls.
//
// Results are integer codes: kSoundOk (0) on success, a negative code on failure. Objects are
// shared (std::shared_ptr): the command that stops a stream releases its references, and a
// worker thread that still holds one keeps a valid, stopped object. Releasing the last
// reference to a playing buffer stops it (its stop event fires).
//
// Threads: the user-interface thread creates, plays, stops, positions and releases; the worker
// threads Lock, Unlock and Stop; every call is safe from any thread. Notification events are
// signalled from the device's own thread (PortAudio and null backends) or from the thread that
// advances the virtual device, always after the audio up to the position was handed on.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/device_id.h"
#include "platform/event.h"
#include "platform/wave_format.h"

namespace bw {

using SoundResult = int32_t;

inline constexpr SoundResult kSoundOk = 0;
inline constexpr SoundResult kSoundErrInvalidParam = static_cast<int32_t>(0x80070057);
inline constexpr SoundResult kSoundErrOutOfMemory = static_cast<int32_t>(0x8007000E);
inline constexpr SoundResult kSoundErrGeneric = static_cast<int32_t>(0x80004005);
inline constexpr SoundResult kSoundErrControlUnavailable = static_cast<int32_t>(0x8878001E);
inline constexpr SoundResult kSoundErrInvalidCall = static_cast<int32_t>(0x88780032);
inline constexpr SoundResult kSoundErrBadFormat = static_cast<int32_t>(0x88780064);
inline constexpr SoundResult kSoundErrNoDriver = static_cast<int32_t>(0x88780078);

// ---- Backends --------------------------------------------------------------------------------

enum class SoundBackend {
  kAuto,       // the sound server if one answers, else PortAudio if it has a device, else null
  kPortAudio,  // real devices: ALSA (with the PulseAudio/PipeWire plugins), JACK, OSS
  kPulse,      // the desktop's sound server: PulseAudio, or PipeWire through pipewire-pulse
  kNull,       // no sound card: a real-time clock, silent output, silent input
  kVirtual,    // a manual clock for tests and offline rendering (virtual_sound.h)
};

// Chooses the backend for the objects created from now on; called once at program start (tests
// pick kVirtual). kAuto resolves to kPulse, kPortAudio or kNull; kPortAudio falls back to kNull
// when PortAudio cannot start, kPulse when no server answers. Returns the backend in force.
// Objects already created keep theirs.
SoundBackend SelectSoundBackend(SoundBackend backend);
// The backend in force; the first call without a selection selects kAuto.
SoundBackend CurrentSoundBackend();

// ---- Enumeration -----------------------------------------------------------------------------

struct SoundDeviceInfo {
  DeviceId id;              // stable across runs; never all zero
  std::string description;  // shown to the user
};

// Devices of the backend in force that can play, and those that can record. The default device
// is not listed; it is chosen with an all-zero id. The lists are read afresh at each call, so a
// device plugged in since is there (PortAudio's only while none of its streams is open: they
// would not survive its rescan).
std::vector<SoundDeviceInfo> EnumeratePlaybackDevices();
std::vector<SoundDeviceInfo> EnumerateCaptureDevices();

// ---- Playback --------------------------------------------------------------------------------

// Buffer capabilities.
inline constexpr uint32_t kBufferCtrlFrequency = 0x00000020;
inline constexpr uint32_t kBufferCtrlPan = 0x00000040;
inline constexpr uint32_t kBufferCtrlVolume = 0x00000080;
inline constexpr uint32_t kBufferCtrlPositionNotify = 0x00000100;
inline constexpr uint32_t kBufferGlobalFocus = 0x00008000;
inline constexpr uint32_t kBufferGetCurrentPosition2 = 0x00010000;

inline constexpr int32_t kVolumeMin = -10000;  // hundredths of a dB
inline constexpr int32_t kVolumeMax = 0;
inline constexpr int32_t kPanLeft = -10000;  // the right side attenuated by 100 dB
inline constexpr int32_t kPanRight = 10000;
inline constexpr uint32_t kFrequencyOriginal = 0;  // SetFrequency: back to the format's rate
inline constexpr uint32_t kFrequencyMin = 100;
inline constexpr uint32_t kFrequencyMax = 100000;

inline constexpr uint32_t kPlayLooping = 0x1;
inline constexpr uint32_t kBufferStatusPlaying = 0x1;
inline constexpr uint32_t kBufferStatusLooping = 0x4;

inline constexpr uint32_t kLockFromWriteCursor = 0x1;
inline constexpr uint32_t kLockEntireBuffer = 0x2;

inline constexpr int kCooperativeNormal = 1;
inline constexpr int kCooperativeWritePrimary = 4;

// Fires the event whenever the buffer stops (Stop, release, the end of a non-looping play).
inline constexpr uint32_t kNotifyOffsetStop = 0xFFFFFFFF;

struct NotifyPosition {
  uint32_t offset = 0;  // byte offset, or kNotifyOffsetStop
  EventHandle event;
};

struct SoundBufferDesc {
  uint32_t flags = 0;   // kBuffer* capabilities
  uint32_t bytes = 0;   // 4 .. 0x0FFFFFFF
  WAVEFORMATEX format;  // 16-bit PCM, 1 to 8 channels, 100 to 200,000 frames per second
};

// One or two regions: the second is non-empty when the locked range wraps past the end.
struct LockedRegions {
  uint8_t* ptr1 = nullptr;
  uint32_t bytes1 = 0;
  uint8_t* ptr2 = nullptr;
  uint32_t bytes2 = 0;
};

class PlaybackCore;
class PlaybackDeviceCore;
class SoundNotify;

// A looping playback buffer.
class SoundBuffer {
 public:
  explicit SoundBuffer(std::shared_ptr<PlaybackCore> core) : core_(std::move(core)) {}

  // Hands out `bytes` bytes from `offset` (from the write cursor with kLockFromWriteCursor; the
  // whole buffer with kLockEntireBuffer). The caller writes there until Unlock. Fails with
  // kSoundErrInvalidParam for an offset or size outside the buffer.
  SoundResult Lock(uint32_t offset, uint32_t bytes, LockedRegions* regions, uint32_t flags = 0);
  // Ends a Lock; `regions` as Lock returned them.
  SoundResult Unlock(const LockedRegions& regions);

  // Starts playing from the current position; with kPlayLooping it wraps at the end, else it
  // stops there. Playing again while playing changes only the looping.
  SoundResult Play(uint32_t flags);
  // Stops at the current position and fires the stop events (if it was playing). What the
  // device has already taken plays out, as the end of a file needs.
  SoundResult Stop();
  // Stop, and what the device has queued from a buffer that was playing is dropped: the sound
  // ends at once instead of once the device's queue (up to half a second on a sound server)
  // has played, as the user's Stop wants.
  SoundResult StopNow();

  // Byte offsets of the play cursor (what has been handed to the device) and of the write
  // cursor (what the device has already taken; writing is safe behind it and ahead of it).
  SoundResult GetCurrentPosition(uint32_t* play, uint32_t* write) const;
  // Moves the play cursor (rounded down to a whole frame).
  SoundResult SetCurrentPosition(uint32_t offset);
  // For a buffer refilled as it plays: the play cursor never passes the end of the region
  // unlocked last (the device plays silence there until the writer catches up), so that a
  // writer that fell behind resumes where it was instead of letting stale blocks play.
  // SetCurrentPosition leaves nothing written ahead of the cursor.
  SoundResult HoldAtUnwritten(bool on);

  SoundResult SetVolume(int32_t volume);  // kVolumeMin .. kVolumeMax
  SoundResult GetVolume(int32_t* volume) const;
  SoundResult SetPan(int32_t pan);  // kPanLeft .. kPanRight
  SoundResult GetPan(int32_t* pan) const;
  // kFrequencyMin .. kFrequencyMax frames per second, or kFrequencyOriginal; takes effect
  // while playing.
  SoundResult SetFrequency(uint32_t frequency);
  SoundResult GetFrequency(uint32_t* frequency) const;
  SoundResult GetStatus(uint32_t* status) const;
  SoundResult GetFormat(WAVEFORMATEX* format) const;
  // The buffer was stopped (its stop events fired) because its device went away and no other
  // device could take over; false again once it plays.
  bool DeviceLost() const;

  // The notification interface; fails with kSoundErrInvalidParam when the buffer was created
  // without kBufferCtrlPositionNotify.
  SoundResult QueryNotify(std::shared_ptr<SoundNotify>* notify) const;

 private:
  std::shared_ptr<PlaybackCore> core_;
};

// Notification positions of a playback or capture buffer.
class SoundNotify {
 public:
  class Target {
   public:
    virtual ~Target() = default;
    virtual SoundResult SetNotificationPositions(std::span<const NotifyPosition> positions) = 0;
  };
  explicit SoundNotify(std::shared_ptr<Target> target) : target_(std::move(target)) {}

  // Replaces the positions. Only while the buffer is stopped (else kSoundErrInvalidCall);
  // offsets must lie inside the buffer or be kNotifyOffsetStop, events must be non-null
  // (else kSoundErrInvalidParam). An event fires when the cursor reaches or passes its offset;
  // several passed at once fire in the order of their offsets from the cursor.
  SoundResult SetNotificationPositions(std::span<const NotifyPosition> positions) {
    return target_->SetNotificationPositions(positions);
  }

 private:
  std::shared_ptr<Target> target_;
};

// A playback device object.
class SoundDevice {
 public:
  explicit SoundDevice(std::shared_ptr<PlaybackDeviceCore> core) : core_(std::move(core)) {}

  // Accepted for kCooperativeNormal .. kCooperativeWritePrimary; the device is never exclusive.
  SoundResult SetCooperativeLevel(int level);
  // A stopped buffer at position 0, volume 0, pan 0, the format's own frequency.
  // kSoundErrBadFormat for a format other than 16-bit PCM within the limits above,
  // kSoundErrInvalidParam for a size outside 4 .. 0x0FFFFFFF or smaller than one frame.
  SoundResult CreateSoundBuffer(const SoundBufferDesc& desc, std::shared_ptr<SoundBuffer>* buffer);

 private:
  std::shared_ptr<PlaybackDeviceCore> core_;
};

// Opens the playback device `id` (nullptr or all zero: the default device). An id that no
// longer exists means the default device; when no device can be opened the device plays
// silently on a real-time clock, so the program keeps working. A device that goes away while
// it plays hands over to the default device; when none is left, its playing buffers stop
// (DeviceLost), and the next Play tries the device again.
SoundResult SoundCreate(const DeviceId* id, std::shared_ptr<SoundDevice>* device);

// ---- Capture ---------------------------------------------------------------------------------

inline constexpr uint32_t kCaptureWaveMapped = 0x80000000;
inline constexpr uint32_t kCaptureStartLooping = 0x1;
inline constexpr uint32_t kCaptureStatusCapturing = 0x1;
inline constexpr uint32_t kCaptureStatusLooping = 0x2;
// How much a buffer that keeps its unread part holds behind it: a machine stalled this long
// (swapping, resumed from suspend, a paused virtual machine) loses nothing.
inline constexpr uint32_t kCaptureBacklogSeconds = 15;

struct CaptureBufferDesc {
  uint32_t flags = 0;  // kCaptureWaveMapped is accepted; rate and channels are always converted
  uint32_t bytes = 0;
  WAVEFORMATEX format;  // 16-bit PCM, 1 to 8 channels, 100 to 200,000 frames per second
};

struct CaptureCaps {
  uint32_t flags = 0;
  uint32_t formats = 0;   // the standard 11/22/44/96 kHz 8/16-bit mono/stereo bits
  uint32_t channels = 0;  // the device's channels
};

class CaptureCore;
class CaptureDeviceCore;

// A looping capture buffer.
class CaptureBuffer {
 public:
  explicit CaptureBuffer(std::shared_ptr<CaptureCore> core) : core_(std::move(core)) {}

  // Starts filling from the current capture position; with kCaptureStartLooping it wraps,
  // else it stops at the end.
  SoundResult Start(uint32_t flags);
  // Stops and fires the stop events (if it was capturing).
  SoundResult Stop();
  SoundResult Lock(uint32_t offset, uint32_t bytes, LockedRegions* regions, uint32_t flags = 0);
  SoundResult Unlock(const LockedRegions& regions);
  // Byte offsets: what the device has delivered so far (both, as the data is converted when
  // it arrives). Data behind the read position is complete.
  SoundResult GetCurrentPosition(uint32_t* capture, uint32_t* read) const;
  SoundResult GetStatus(uint32_t* status) const;
  SoundResult GetFormat(WAVEFORMATEX* format) const;
  // As SoundBuffer's: stopped because the device went away with none to take over.
  bool DeviceLost() const;
  SoundResult QueryNotify(std::shared_ptr<SoundNotify>* notify) const;
  // For a looping buffer read block by block: what arrives while the unread part fills the
  // whole buffer waits behind it (up to kCaptureBacklogSeconds) instead of overwriting it,
  // and moves in as the reader takes blocks. The reader marks what it took by its Unlock.
  SoundResult KeepUnread(bool on);
  // Bytes stored in the buffer since Start (never wrapping), and bytes dropped because the
  // backlog was full.
  SoundResult GetTotals(uint64_t* captured, uint64_t* lost) const;

 private:
  std::shared_ptr<CaptureCore> core_;
};

class CaptureDevice {
 public:
  explicit CaptureDevice(std::shared_ptr<CaptureDeviceCore> core) : core_(std::move(core)) {}

  SoundResult CreateCaptureBuffer(const CaptureBufferDesc& desc,
                                  std::shared_ptr<CaptureBuffer>* buffer);
  SoundResult GetCaps(CaptureCaps* caps) const;

 private:
  std::shared_ptr<CaptureDeviceCore> core_;
};

// Opens the capture device `id` (nullptr or all zero: the default device), with the same
// fallbacks as SoundCreate (a null device records silence).
SoundResult SoundCaptureCreate(const DeviceId* id, std::shared_ptr<CaptureDevice>* device);

}  // namespace bw
