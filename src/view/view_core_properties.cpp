// The two property sheets: filled from the working values and the open file (or the record
// target), run through the window, and on OK copied back.
#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>

#include "platform/message_box.h"
#include "platform/sample_layout.h"
#include "view/view_core.h"

namespace bw {
namespace {

constexpr char kDeviceFormat[] = "%11u %11u %11u %11u";
// A device item ends with its identifier: four numbers of 11 digits, blank-separated.
constexpr std::size_t kDeviceTextTail = 48;

struct FormatName {
  uint16_t tag;
  const char* name;
};

constexpr std::array<FormatName, 11> kFormatNames{{
    {0x0001, "WAVE_FORMAT_PCM"},
    {0x0002, "WAVE_FORMAT_ADPCM"},
    {0x0003, "WAVE_FORMAT_IEEE_FLOAT"},
    {0x0006, "WAVE_FORMAT_ALAW"},
    {0x0007, "WAVE_FORMAT_MULAW"},
    {0x0011, "WAVE_FORMAT_IMA_ADPCM"},
    {0x0022, "WAVE_FORMAT_DSPGROUP_TRUESPEECH"},
    {0x0031, "WAVE_FORMAT_GSM610"},
    {0x0032, "WAVE_FORMAT_MSNAUDIO"},
    {0x0055, "WAVE_FORMAT_MPEG_3"},
    {0x0070, "WAVE_FORMAT_LH_CELP"},
}};

std::string DeviceText(const DeviceId& device) {
  char text[64];
  std::snprintf(text, sizeof text, kDeviceFormat, device.words[0], device.words[1], device.words[2],
                device.words[3]);
  return text;
}

// The identifier at the end of a device item; words that cannot be read keep their values.
void ReadDeviceText(const std::string& text, DeviceId& device) {
  const std::string tail =
      text.size() > kDeviceTextTail ? text.substr(text.size() - kDeviceTextTail) : text;
  std::array<unsigned, 4> words{};
  const int read =
      std::sscanf(tail.c_str(), kDeviceFormat, &words[0], &words[1], &words[2], &words[3]);
  for (int i = 0; i < std::clamp(read, 0, 4); ++i)
    device.words[i] = words[i];
}

// "%B %d, %Y" of `when` in local time; empty when it cannot be formatted.
std::string DateText(std::time_t when) {
  std::tm local{};
  if (localtime_r(&when, &local) == nullptr) return {};
  char text[64];
  const std::size_t length = std::strftime(text, sizeof text, "%B %d, %Y", &local);
  return std::string(text, length);
}

int32_t ClampedSize(int64_t bytes) {
  return static_cast<int32_t>(std::clamp<int64_t>(bytes, 0, INT32_MAX));
}

// The facts of a file's format; a tag without a name leaves the previous name. An EXTENSIBLE
// format is named by its subformat; samples other than 8- or 16-bit PCM add the bits that
// count ("WAVE_FORMAT_PCM, 24 Bit").
void FillFormatFacts(CPageFileData& page, const FormatBlock& block) {
  const WAVEFORMATEX& format = block.format();
  page.m_nChannels = format.nChannels;
  page.m_nSamplesPerSec = static_cast<int32_t>(format.nSamplesPerSec);
  page.m_nAvgBytesPerSec = static_cast<int32_t>(format.nAvgBytesPerSec);
  SampleLayout layout;
  if (!DescribeSamples(block, layout)) layout.tag = format.wFormatTag;
  const bool narrowPcm = layout.tag == kWaveFormatPcm && format.wFormatTag == kWaveFormatPcm &&
                         layout.validBits == 8 * layout.containerBytes &&
                         layout.containerBytes <= 2;
  for (const FormatName& known : kFormatNames) {
    if (known.tag != layout.tag) continue;
    page.m_strFormat = known.name;
    if (layout.uncoded() && !narrowPcm)
      page.m_strFormat += ", " + std::to_string(layout.validBits) + " Bit";
  }
}

}  // namespace

void CBrookwaveViewCore::OnPlaybackProperties() {
  PlaySettingsValues& s = m_stream.playSettings;
  PlaySheetData& sheet = m_playSheet;
  sheet.general.m_nStart = static_cast<int32_t>(m_stream.selectionStart.load());
  sheet.general.m_nStop = static_cast<int32_t>(m_stream.selectionEnd.load());
  sheet.general.m_bAutoPlay = s.AutoPlay;
  sheet.general.m_bSyncPlay = s.SyncPlay;
  sheet.general.m_bFadeIn = s.FadeIn;
  sheet.general.m_bFadeOut = s.FadeOut;
  sheet.general.m_nMode = s.MultiMode;
  sheet.general.m_nRepeat = s.RepeatSong == 1 ? 1 : 0;

  const PlaybackStream& playback = m_stream.playback;
  sheet.file.m_strFile = playback.playPath;
  if (m_stream.fileOpen == 1 && !playback.sourceFormat.empty()) {
    FillFormatFacts(sheet.file, playback.sourceFormat);
    sheet.file.m_strDate = DateText(playback.sourceCreated);
    sheet.file.m_nSize = ClampedSize(playback.sourceSize);
  }
  sheet.device.m_strDevice = DeviceText(s.PlayDevice);
  sheet.advanced = {s.VolumeMin,  s.VolumeMax,  s.FrequencyMin, s.FrequencyMax,
                    s.BalanceMin, s.BalanceMax, s.VelocityMin,  s.VelocityMax};
  for (int band = 0; band < kEqualiserBands; ++band)
    sheet.equaliser.m_nBand[band] = s.EqBand[band];

  // Cancel keeps what the equaliser page already pushed.
  if (m_window.RunPlaySheet(sheet) != kIdOk) return;

  ReadDeviceText(sheet.device.m_strDevice, s.PlayDevice);
  s.MultiMode = sheet.general.m_nMode;
  OnApplyPlayProperties();
  const CPageP4Data& ranges = sheet.advanced;
  s.VolumeMin = ranges.m_nVolumeMin;
  s.VolumeMax = ranges.m_nVolumeMax;
  s.FrequencyMin = ranges.m_nFrequencyMin;
  s.FrequencyMax = ranges.m_nFrequencyMax;
  s.BalanceMin = ranges.m_nBalanceMin;
  s.BalanceMax = ranges.m_nBalanceMax;
  s.VelocityMin = ranges.m_nVelocityMin;
  s.VelocityMax = ranges.m_nVelocityMax;
  // The sliders take the new ranges; the buffer keeps its values until a slider moves.
  RangeValueSliders(m_frequency.pos);
}

void CBrookwaveViewCore::OnRecordProperties() {
  RecordSettingsValues& s = m_stream.recordSettings;
  RecordSheetData& sheet = m_recordSheet;
  sheet.general.m_nStopMode = s.StopAtLimit;
  sheet.general.m_nStopLimit = s.StopLimitBytes;
  sheet.advanced.m_bVoiceActivated = s.VoiceActivated;
  sheet.advanced.m_nThreshold = s.ActiveThreshold;

  const CaptureStream& capture = m_stream.capture;
  sheet.file.m_strFile = capture.targetPath;
  if (m_stream.recordTargetReady == 1 && !capture.targetFormat.empty()) {
    FillFormatFacts(sheet.file, capture.targetFormat);
    sheet.file.m_strDate = DateText(capture.targetCreated);
    sheet.file.m_nSize = ClampedSize(capture.targetSize);
  }
  sheet.device.m_strDevice = DeviceText(s.CaptureDevice);
  for (int band = 0; band < kEqualiserBands; ++band)
    sheet.equaliser.m_nBand[band] = s.RecEqBand[band];

  if (m_window.RunRecordSheet(sheet) != kIdOk) return;

  s.StopAtLimit = sheet.general.m_nStopMode;
  s.StopLimitBytes = sheet.general.m_nStopLimit;
  s.VoiceActivated = sheet.advanced.m_bVoiceActivated;
  s.ActiveThreshold = sheet.advanced.m_nThreshold;
  ReadDeviceText(sheet.device.m_strDevice, s.CaptureDevice);
  for (int band = 0; band < kEqualiserBands; ++band)
    s.RecEqBand[band] = sheet.equaliser.m_nBand[band];
}

}  // namespace bw
