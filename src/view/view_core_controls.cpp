// The form's controls: the sliders and their ranges, the level meters, the time texts, the
// slider handling, the volume ramp of timer 1 and the level messages of the worker threads.
#include <algorithm>
#include <cstdio>

#include "platform/message_box.h"
#include "view/view_core.h"

namespace bw {
namespace {

// A slider with a tick at every value would be unusable long before this many.
constexpr int64_t kMostTicks = 1000;

// Minutes and seconds, "%5.2d:%2.2d".
std::string TimeText(uint64_t seconds) {
  char text[48];
  std::snprintf(text, sizeof text, "%5.2lld:%2.2lld", static_cast<long long>(seconds / 60),
                static_cast<long long>(seconds % 60));
  return text;
}

// Ticks from `min` in steps of (max - min) / parts while below `max`; none when the step is 0.
std::vector<int64_t> EvenTicks(int64_t min, int64_t max, int64_t parts) {
  std::vector<int64_t> ticks;
  const int64_t step = (max - min) / parts;
  if (step <= 0) return ticks;
  for (int64_t t = min; t < max; t += step)
    ticks.push_back(t);
  return ticks;
}

}  // namespace

const SliderState& CBrookwaveViewCore::Slider(ControlId id) const {
  return const_cast<CBrookwaveViewCore*>(this)->SliderRef(id);
}

SliderState& CBrookwaveViewCore::SliderRef(ControlId id) {
  switch (id) {
    case IDC_VOLUME:
      return m_volume;
    case IDC_BALANCE:
      return m_balance;
    case IDC_FREQUENCY:
      return m_frequency;
    case IDC_VELOCITY:
      return m_velocity;
    default:
      return m_position;
  }
}

void CBrookwaveViewCore::PushSlider(ControlId id) {
  m_window.ShowSlider(id, SliderRef(id));
}

void CBrookwaveViewCore::MoveSlider(ControlId id, int64_t position) {
  SliderRef(id).SetPos(position);
  PushSlider(id);
}

void CBrookwaveViewCore::RangeValueSliders(int64_t frequency) {
  const PlaySettingsValues& s = m_stream.playSettings;
  m_volume.SetRange(s.VolumeMin, s.VolumeMax);
  m_balance.SetRange(s.BalanceMin, s.BalanceMax);
  m_frequency.SetRange(s.FrequencyMin, s.FrequencyMax);
  m_velocity.SetRange(s.VelocityMin, s.VelocityMax);
  m_volume.ticks = EvenTicks(m_volume.min, m_volume.max, 20);
  m_balance.ticks = EvenTicks(m_balance.min, m_balance.max, 8);
  m_frequency.ticks = EvenTicks(m_frequency.min, m_frequency.max, 20);
  m_velocity.ticks.clear();
  if (m_velocity.max - m_velocity.min <= kMostTicks) {
    for (int64_t t = m_velocity.min; t < m_velocity.max; ++t)
      m_velocity.ticks.push_back(t);
  }
  m_volume.SetPos(m_volume.max);
  m_balance.SetPos(0);
  m_frequency.SetPos(frequency);
  m_velocity.SetPos(0);
  for (ControlId id : {IDC_VOLUME, IDC_BALANCE, IDC_FREQUENCY, IDC_VELOCITY})
    PushSlider(id);
  ShowFrequencyBox();
}

void CBrookwaveViewCore::ShowFrequencyBox() {
  char text[32];
  std::snprintf(text, sizeof text, "%6lld Hz", static_cast<long long>(m_frequency.pos));
  m_window.ShowText(IDC_FREQUENCY_BOX, text);
}

uint32_t CBrookwaveViewCore::PlaybackAvgBytes() const {
  return m_stream.playback.sourceFormat.format().nAvgBytesPerSec;
}

uint32_t CBrookwaveViewCore::RecordAvgBytes() const {
  return m_stream.capture.targetFormat.format().nAvgBytesPerSec;
}

void CBrookwaveViewCore::ShowPositionTime(uint64_t seconds) {
  m_window.ShowText(IDC_POSITION_BOX, TimeText(seconds));
}

// The recording's format wins when both sides are active; with neither the time is 0.
void CBrookwaveViewCore::ShowPositionOf(uint32_t bytes, bool playbackSide, bool recordSide,
                                        bool divideByAvgPlusOne) {
  if (!playbackSide && !recordSide) {
    ShowPositionTime(0);
    return;
  }
  const uint64_t avg = recordSide ? RecordAvgBytes() : PlaybackAvgBytes();
  if (divideByAvgPlusOne)
    ShowPositionTime(bytes / (avg + 1));
  else
    ShowPositionTime(avg != 0 ? bytes / avg : bytes);
}

void CBrookwaveViewCore::ResetMeters() {
  m_window.ShowMeter(IDC_LBAR, 0);
  m_window.ShowMeter(IDC_RBAR, 0);
}

int CBrookwaveViewCore::Message(std::string_view text, unsigned style) {
  return m_window.MessageBox(text, kProgramCaption, style);
}

void CBrookwaveViewCore::ApplySlidersToBuffer(bool frequencyMoved) {
  SoundBuffer* buffer = m_stream.playback.soundBuffer.get();
  if (!buffer) return;
  buffer->SetVolume(static_cast<int32_t>(m_volume.pos));
  buffer->SetPan(static_cast<int32_t>(m_balance.pos));
  if (frequencyMoved) buffer->SetFrequency(static_cast<uint32_t>(m_frequency.pos));
}

void CBrookwaveViewCore::OnTimer(int id) {
  if (id != kPlaybackTimerId) return;
  MoveSlider(IDC_VOLUME, m_volume.pos + 10 * m_velocity.pos);
  SoundBuffer* buffer = m_stream.playback.soundBuffer.get();
  if (buffer && m_stream.playing) buffer->SetVolume(static_cast<int32_t>(m_volume.pos));
}

bool CBrookwaveViewCore::TimerMovesVolume() const {
  if (!m_timerRunning) return false;
  if (m_volume.Held(m_volume.pos + 10 * m_velocity.pos) != m_volume.pos) return true;
  SoundBuffer* buffer = m_stream.playback.soundBuffer.get();
  int32_t volume = 0;
  return buffer && m_stream.playing && buffer->GetVolume(&volume) == kSoundOk &&
         volume != static_cast<int32_t>(m_volume.pos);
}

void CBrookwaveViewCore::OnHScroll(int code, int64_t position, ControlId slider) {
  if (slider != IDC_VOLUME && slider != IDC_BALANCE && slider != IDC_FREQUENCY &&
      slider != IDC_VELOCITY && slider != IDC_POSITION)
    return;
  MoveSlider(slider, position);
  if (slider == IDC_FREQUENCY) ShowFrequencyBox();
  if (slider == IDC_POSITION) {
    // Away from the end the next Play starts at the slider; at the end it starts over.
    if (m_stream.endOfData == 1) m_stream.endOfData = 0;
    if (m_position.pos == m_stream.playback.dataBytes) m_stream.endOfData = 1;
    ShowPositionOf(static_cast<uint32_t>(m_position.pos), m_stream.fileOpen,
                   m_stream.recordTargetReady, true);
    // A drag stops playback at its first move and plays from the new place when it ends.
    if (m_stream.playing == 1 && m_stream.paused == 0) {
      m_stream.paused = 1;
      OnStop();
    } else if (m_stream.playing == 0 && m_stream.paused == 1 && !m_stream.recording &&
               code == TB_ENDTRACK) {
      // A paused recording stays paused: its Pause is the user's, not the drag's.
      m_stream.paused = 0;
      OnPlay();
    }
  }
  if (m_stream.playing) ApplySlidersToBuffer(slider == IDC_FREQUENCY);
}

LRESULT CBrookwaveViewCore::OnLevelMeter(WPARAM wParam, LPARAM lParam) {
  const bool playing = m_stream.playing, recording = m_stream.recording;
  if (playing || recording) {
    m_window.ShowMeter(IDC_RBAR, static_cast<int>((wParam >> 16) & 0xFFFF));
    m_window.ShowMeter(IDC_LBAR, static_cast<int>(wParam & 0xFFFF));
  }
  const auto position = static_cast<uint32_t>(lParam);
  MoveSlider(IDC_POSITION, position);
  ShowPositionOf(position, playing, recording, true);
  ApplyFades(position);
  return 0;
}

void CBrookwaveViewCore::ApplyFades(uint32_t position) {
  const PlaySettingsValues& s = m_stream.playSettings;
  const int32_t fadeOutVelocity = s.VelocityMin / 2;
  if (m_stream.selectionSet == 1) {
    const auto at = static_cast<int32_t>(position);
    const auto start = static_cast<int32_t>(m_stream.selectionStart.load());
    const auto end = static_cast<int32_t>(m_stream.selectionEnd.load());
    if (start < at && at < end && s.FadeIn == 1) MoveSlider(IDC_VELOCITY, 0);
    if (at > end && s.FadeOut == 1) MoveSlider(IDC_VELOCITY, fadeOutVelocity);
    return;
  }
  // Within the last -VelocityMin seconds of the file (32-bit words, as the values are stored).
  const uint32_t left = m_stream.playback.dataBytes - position;
  const uint32_t window = 0u - PlaybackAvgBytes() * static_cast<uint32_t>(s.VelocityMin.load());
  if (left < window && s.FadeOut == 1) MoveSlider(IDC_VELOCITY, fadeOutVelocity);
}

// ---- PlaybackControls ----

void CBrookwaveViewCore::ShowSourceFormat(uint32_t samplesPerSec, uint16_t channels) {
  MoveSlider(IDC_FREQUENCY, samplesPerSec);
  ShowFrequencyBox();
  if (channels == 1) m_window.ShowText(IDC_CHANNELS_BOX, " Mono   ");
  if (channels == 2) m_window.ShowText(IDC_CHANNELS_BOX, " Stereo ");
}

void CBrookwaveViewCore::ShowDataLength(uint32_t dataBytes, uint32_t avgBytesPerSec) {
  m_window.ShowText(IDC_TIME_END,
                    TimeText(avgBytesPerSec != 0 ? dataBytes / avgBytesPerSec : dataBytes));
  ShowPositionTime(0);
  m_position.SetRange(0, dataBytes);
  PushSlider(IDC_POSITION);
}

uint32_t CBrookwaveViewCore::PositionSliderValue() const {
  return static_cast<uint32_t>(std::clamp<int64_t>(m_position.pos, 0, UINT32_MAX));
}

void CBrookwaveViewCore::SetPositionSliderValue(uint32_t value) {
  MoveSlider(IDC_POSITION, value);
}

void CBrookwaveViewCore::ShowSeekTime(uint32_t value) {
  const uint32_t avg = PlaybackAvgBytes();
  ShowPositionTime(avg != 0 ? value / avg : value);
}

int CBrookwaveViewCore::ShowMessage(std::string_view text, unsigned style) {
  return Message(text, style);
}

}  // namespace bw
