#include "settings/working_settings.h"

namespace bw {
namespace {

// Every field of a record, in either direction between the record and the working values
// (assigning an atomic word loads it; assigning to one stores).
template <typename From, typename To>
void CopyPlayFields(const From& from, To& to) {
  to.AutoPlay = from.AutoPlay;
  to.SyncPlay = from.SyncPlay;
  to.RepeatPlayList = from.RepeatPlayList;
  to.RepeatSong = from.RepeatSong;
  to.FadeIn = from.FadeIn;
  to.FadeOut = from.FadeOut;
  to.Reserved1 = from.Reserved1;
  to.Reserved2 = from.Reserved2;
  to.VolumeMin = from.VolumeMin;
  to.VolumeMax = from.VolumeMax;
  to.FrequencyMin = from.FrequencyMin;
  to.FrequencyMax = from.FrequencyMax;
  to.BalanceMin = from.BalanceMin;
  to.BalanceMax = from.BalanceMax;
  to.VelocityMin = from.VelocityMin;
  to.VelocityMax = from.VelocityMax;
  to.PlayDevice = from.PlayDevice;
  to.MultiMode = from.MultiMode;
  for (std::size_t i = 0; i < to.EqBand.size(); ++i)
    to.EqBand[i] = from.EqBand[i];
  to.Equaliser = from.Equaliser;
  to.Reserved3 = from.Reserved3;
}

template <typename From, typename To>
void CopyRecordFields(const From& from, To& to) {
  to.CaptureDevice = from.CaptureDevice;
  to.VoiceActivated = from.VoiceActivated;
  to.StopAtLimit = from.StopAtLimit;
  to.StopLimitBytes = from.StopLimitBytes;
  to.ActiveThreshold = from.ActiveThreshold;
  for (std::size_t i = 0; i < to.RecEqBand.size(); ++i)
    to.RecEqBand[i] = from.RecEqBand[i];
  to.RecReserved1 = from.RecReserved1;
  to.RecReserved2 = from.RecReserved2;
}

}  // namespace

void PlaySettingsValues::Load(const PlaySettings& record) {
  CopyPlayFields(record, *this);
}

PlaySettings PlaySettingsValues::Record() const {
  PlaySettings record;
  CopyPlayFields(*this, record);
  return record;
}

void RecordSettingsValues::Load(const RecordSettings& record) {
  CopyRecordFields(record, *this);
}

RecordSettings RecordSettingsValues::Record() const {
  RecordSettings record;
  CopyRecordFields(*this, record);
  return record;
}

void ToggleFlag(std::atomic<int32_t>& flag) {
  const int32_t value = flag;
  if (value == 0 || value == 1) flag = 1 - value;
}

}  // namespace bw
