// The working values of the two settings records while the program runs: one member per field,
// under the field's own name, kept in the view's stream state. The records themselves exist
// only while the values are loaded or saved; Load and Record are the two copy steps.
//
// Threads: the user-interface thread writes them (commands, the property sheets); the playback
// and capture threads read some of them once per block (EqBand, Equaliser, the record limits),
// which is why every number is an atomic word. The device identifiers are read on the
// user-interface thread only.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "platform/device_id.h"
#include "settings/settings_records.h"

namespace bw {

struct PlaySettingsValues {
  PlaySettingsValues() { Load(PlaySettings{}); }
  PlaySettingsValues(const PlaySettingsValues&) = delete;
  PlaySettingsValues& operator=(const PlaySettingsValues&) = delete;

  // Every field from `record` (Size is not a working value).
  void Load(const PlaySettings& record);
  // A record filled from the working values, Size 128.
  PlaySettings Record() const;

  std::atomic<int32_t> AutoPlay;
  std::atomic<int32_t> SyncPlay;
  std::atomic<int32_t> RepeatPlayList;
  std::atomic<int32_t> RepeatSong;
  std::atomic<int32_t> FadeIn;
  std::atomic<int32_t> FadeOut;
  std::atomic<uint32_t> Reserved1;
  std::atomic<uint32_t> Reserved2;
  std::atomic<int32_t> VolumeMin;
  std::atomic<int32_t> VolumeMax;
  std::atomic<int32_t> FrequencyMin;
  std::atomic<int32_t> FrequencyMax;
  std::atomic<int32_t> BalanceMin;
  std::atomic<int32_t> BalanceMax;
  std::atomic<int32_t> VelocityMin;
  std::atomic<int32_t> VelocityMax;
  DeviceId PlayDevice;
  std::atomic<int32_t> MultiMode;
  std::array<std::atomic<int32_t>, 8> EqBand;
  std::atomic<int32_t> Equaliser;
  std::atomic<int32_t> Reserved3;
};

struct RecordSettingsValues {
  RecordSettingsValues() { Load(RecordSettings{}); }
  RecordSettingsValues(const RecordSettingsValues&) = delete;
  RecordSettingsValues& operator=(const RecordSettingsValues&) = delete;

  void Load(const RecordSettings& record);
  // A record filled from the working values, Size 76.
  RecordSettings Record() const;

  DeviceId CaptureDevice;
  std::atomic<int32_t> VoiceActivated;
  std::atomic<int32_t> StopAtLimit;
  std::atomic<int32_t> StopLimitBytes;
  std::atomic<int32_t> ActiveThreshold;
  std::array<std::atomic<int32_t>, 8> RecEqBand;
  std::atomic<int32_t> RecReserved1;
  std::atomic<int32_t> RecReserved2;
};

// Flips a 0/1 flag; any other value stays as it is (the toggling commands' rule).
void ToggleFlag(std::atomic<int32_t>& flag);

}  // namespace bw
