// The playback and record settings records and their profile form.
//
// Both records are fixed arrays of 32-bit words; word 0 (Size) is the record's length in bytes
// and is never stored. Each record is kept as one comma-separated string of its remaining
// words in section "Settings" ("PlaySet", "RecordSet").
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/device_id.h"

namespace bw {

class ProfileStore;

struct PlaySettings {
  uint32_t Size = 128;
  int32_t AutoPlay = 1;
  int32_t SyncPlay = 1;
  int32_t RepeatPlayList = 0;
  int32_t RepeatSong = 0;
  int32_t FadeIn = 1;
  int32_t FadeOut = 1;
  uint32_t Reserved1 = 10;
  uint32_t Reserved2 = 10;
  int32_t VolumeMin = -2000;  // hundredths of a decibel
  int32_t VolumeMax = 0;
  int32_t FrequencyMin = 100;  // Hz
  int32_t FrequencyMax = 100000;
  int32_t BalanceMin = -10000;  // pan units
  int32_t BalanceMax = 10000;
  int32_t VelocityMin = -6;
  int32_t VelocityMax = 6;
  DeviceId PlayDevice;
  int32_t MultiMode = 1;
  std::array<int32_t, 8> EqBand{1, 1, 1, 1, 1, 1, 1, 1};
  int32_t Equaliser = 0;
  int32_t Reserved3 = 0;

  friend bool operator==(const PlaySettings&, const PlaySettings&) = default;
};
static_assert(sizeof(PlaySettings) == 128);

struct RecordSettings {
  uint32_t Size = 76;
  DeviceId CaptureDevice;
  int32_t VoiceActivated = 0;
  int32_t StopAtLimit = 0;
  int32_t StopLimitBytes = 2147483647;
  int32_t ActiveThreshold = 1000;
  std::array<int32_t, 8> RecEqBand{1, 1, 1, 1, 1, 1, 1, 1};
  int32_t RecReserved1 = 0;
  int32_t RecReserved2 = 0;

  friend bool operator==(const RecordSettings&, const RecordSettings&) = default;
};
static_assert(sizeof(RecordSettings) == 76);

inline constexpr std::string_view kSettingsSection = "Settings";
inline constexpr std::string_view kPlaySetEntry = "PlaySet";
inline constexpr std::string_view kRecordSetEntry = "RecordSet";

// The stored strings: the record's words after Size, in order, as "%d"/"%u" joined by commas.
std::string FormatPlaySet(const PlaySettings& settings);
std::string FormatRecordSet(const RecordSettings& settings);

// Parse a stored string. Succeed only when every number of the record was converted (text after
// the last one is ignored); then fill `settings` with Size set, else leave it untouched.
// Numbers are taken modulo 2^32, so -1 in an unsigned position reads as 4294967295.
bool ParsePlaySet(std::string_view text, PlaySettings& settings);
bool ParseRecordSet(std::string_view text, RecordSettings& settings);

// Read "Settings"/"PlaySet" ("RecordSet"): true when the value existed and parsed completely.
bool ReadPlaySet(ProfileStore& store, PlaySettings& settings);
bool ReadRecordSet(ProfileStore& store, RecordSettings& settings);
void WritePlaySet(ProfileStore& store, const PlaySettings& settings);
void WriteRecordSet(ProfileStore& store, const RecordSettings& settings);

}  // namespace bw
