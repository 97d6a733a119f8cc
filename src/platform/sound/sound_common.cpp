// Pieces shared by the playback and capture buffers: sample conversion, channel mapping,
// notification positions and the lock table.
#include <algorithm>
#include <cmath>

#include "platform/float_to_s16.h"
#include "platform/sound/sound_internal.h"

namespace bw {

void Pcm16ToFloat(const uint8_t* pcm, std::size_t samples, float* out) {
  for (std::size_t i = 0; i < samples; ++i)
    out[i] = static_cast<float>(static_cast<int16_t>(LoadLe16(pcm + 2 * i))) / 32768.0f;
}

void FloatToPcm16(const float* samples, std::size_t count, int16_t* out) {
  for (std::size_t i = 0; i < count; ++i)
    out[i] = FloatToS16(samples[i]);
}

float CentibelsToGain(int32_t centibels) {
  return static_cast<float>(std::pow(10.0, centibels / 2000.0));
}

namespace {

// MapChannels between layouts of one or two channels alike: straight loops the compiler runs in
// vector instructions.
template <int kChannels>
void ScaleFrames(const float* in, float* out, uint32_t frames, std::span<const float> gains,
                 bool add) {
  float gain[kChannels];
  for (int c = 0; c < kChannels; ++c)
    gain[c] = gains.empty() ? 1.0f : gains[c];
  const std::size_t samples = std::size_t{frames} * kChannels;
  if (add) {
    for (std::size_t i = 0; i < samples; i += kChannels) {
      for (int c = 0; c < kChannels; ++c)
        out[i + c] += in[i + c] * gain[c];
    }
  } else {
    for (std::size_t i = 0; i < samples; i += kChannels) {
      for (int c = 0; c < kChannels; ++c)
        out[i + c] = in[i + c] * gain[c];
    }
  }
}

void MapSameChannels(const float* in, uint16_t channels, float* out, uint32_t frames,
                     std::span<const float> gains, bool add) {
  if (channels == 1)
    ScaleFrames<1>(in, out, frames, gains, add);
  else
    ScaleFrames<2>(in, out, frames, gains, add);
}

}  // namespace

void MapChannels(const float* in, uint16_t in_channels, float* out, uint16_t out_channels,
                 uint32_t frames, std::span<const float> gains, bool add) {
  constexpr int kMax = 8;
  float share[kMax] = {};  // 1 / number of input channels feeding each output channel
  for (int c = 0; c < in_channels; ++c)
    share[c % out_channels] += 1.0f;
  for (int d = 0; d < out_channels && d < kMax; ++d)
    share[d] = share[d] > 0 ? 1.0f / share[d] : 0;
  if (in_channels == out_channels && in_channels <= 2) {
    MapSameChannels(in, in_channels, out, frames, gains, add);
    return;
  }
  for (uint32_t f = 0; f < frames; ++f) {
    const float* src = in + static_cast<std::size_t>(f) * in_channels;
    float* dst = out + static_cast<std::size_t>(f) * out_channels;
    float v[kMax] = {};
    if (in_channels == out_channels) {
      std::copy(src, src + in_channels, v);
    } else if (in_channels == 1) {
      std::fill(v, v + out_channels, src[0]);
    } else {
      for (int c = 0; c < in_channels; ++c)
        v[c % out_channels] += src[c];
      for (int d = 0; d < out_channels; ++d)
        v[d] *= share[d];
    }
    for (int d = 0; d < out_channels; ++d) {
      const float s = gains.empty() ? v[d] : v[d] * gains[d];
      dst[d] = add ? dst[d] + s : s;
    }
  }
}

void PendingSignals::Fire() {
  for (const EventHandle& e : events_) {
    if (tracked_) {
      e->SetTracked();
    } else {
      e->Set();
    }
  }
  events_.clear();
}

void PendingSignals::FireOncePerEvent() {
  std::vector<EventHandle> once;
  for (const EventHandle& e : events_) {
    if (std::find(once.begin(), once.end(), e) == once.end()) once.push_back(e);
  }
  events_.swap(once);
  Fire();
}

SoundResult NotificationPlan::Assign(std::span<const NotifyPosition> positions,
                                     uint32_t buffer_bytes) {
  for (const NotifyPosition& p : positions) {
    if (!p.event) return kSoundErrInvalidParam;
    if (p.offset != kNotifyOffsetStop && p.offset >= buffer_bytes) return kSoundErrInvalidParam;
  }
  positions_.clear();
  stop_events_.clear();
  for (const NotifyPosition& p : positions) {
    if (p.offset == kNotifyOffsetStop) {
      stop_events_.push_back(p.event);
    } else {
      positions_.push_back(p);
    }
  }
  std::stable_sort(
      positions_.begin(), positions_.end(),
      [](const NotifyPosition& a, const NotifyPosition& b) { return a.offset < b.offset; });
  return kSoundOk;
}

namespace {

// The first occurrence of `offset`, repeated every `period` bytes, strictly after `from`.
double FirstAfter(double from, uint32_t offset, uint32_t period) {
  if (offset > from) return offset;
  return offset + (std::floor((from - offset) / period) + 1) * period;
}

}  // namespace

void NotificationPlan::Passed(double from, double to, uint32_t buffer_bytes,
                              PendingSignals* out) const {
  struct Hit {
    double at;
    const EventHandle* event;
  };
  // Reused: this runs on the device thread for every step.
  thread_local std::vector<Hit> hits;
  hits.clear();
  for (const NotifyPosition& p : positions_) {
    for (double at = FirstAfter(from, p.offset, buffer_bytes); at <= to; at += buffer_bytes)
      hits.push_back({at, &p.event});
  }
  std::stable_sort(hits.begin(), hits.end(),
                   [](const Hit& a, const Hit& b) { return a.at < b.at; });
  for (const Hit& h : hits)
    out->Add(*h.event);
}

double NotificationPlan::BytesToNext(double cursor, uint32_t buffer_bytes) const {
  double best = 0;
  for (const NotifyPosition& p : positions_) {
    const double distance = FirstAfter(cursor, p.offset, buffer_bytes) - cursor;
    if (best == 0 || distance < best) best = distance;
  }
  return best;
}

uint32_t NotificationPlan::SmallestGap(uint32_t buffer_bytes) const {
  uint32_t best = 0;
  const std::size_t n = positions_.size();
  if (n < 2) return 0;
  for (std::size_t i = 0; i < n; ++i) {
    const uint32_t from = positions_[i].offset;
    const uint32_t to = positions_[(i + 1) % n].offset + (i + 1 == n ? buffer_bytes : 0);
    if (to > from && (best == 0 || to - from < best)) best = to - from;
  }
  return best;
}

SoundResult LockTable::Lock(std::span<uint8_t> data, uint32_t offset, uint32_t bytes,
                            LockedRegions* out) {
  const auto size = static_cast<uint32_t>(data.size());
  if (!out || offset >= size || bytes == 0 || bytes > size) return kSoundErrInvalidParam;
  *out = {};
  out->ptr1 = data.data() + offset;
  out->bytes1 = std::min(bytes, size - offset);
  if (bytes > out->bytes1) {
    out->ptr2 = data.data();
    out->bytes2 = bytes - out->bytes1;
  }
  locks_.push_back(out->ptr1);
  return kSoundOk;
}

SoundResult LockTable::Unlock(const LockedRegions& regions) {
  const auto it = std::find(locks_.begin(), locks_.end(), regions.ptr1);
  if (it == locks_.end()) return kSoundErrInvalidParam;
  locks_.erase(it);
  return kSoundOk;
}

}  // namespace bw
