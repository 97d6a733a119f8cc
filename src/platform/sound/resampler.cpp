#include "platform/sound/resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace bw {
namespace {

// Medium quality keeps a changing playback frequency cheap enough for real time; the passband
// still reaches 90% of the lower Nyquist frequency.
constexpr int kConverter = SRC_SINC_MEDIUM_QUALITY;
constexpr double kMaxRatio = 256.0;
constexpr uint32_t kPullFrames = 256;

SrcStatePtr NewCallbackState(uint16_t channels, src_callback_t callback, void* data) {
  int error = 0;
  return SrcStatePtr(src_callback_new(callback, kConverter, channels, &error, data));
}

}  // namespace

RatioPlan PlanRatio(double output_rate, double input_rate) {
  RatioPlan plan;
  const double ratio = output_rate / input_rate;
  if (ratio > kMaxRatio) plan.repeat = static_cast<uint32_t>(std::ceil(ratio / kMaxRatio));
  if (ratio < 1.0 / kMaxRatio)
    plan.stride = static_cast<uint32_t>(std::ceil(1.0 / (ratio * kMaxRatio)));
  plan.ratio = ratio * plan.stride / plan.repeat;
  return plan;
}

PullResampler::PullResampler(uint16_t channels, Source* source)
    : channels_(channels),
      source_(source),
      input_(static_cast<std::size_t>(kPullFrames) * channels),
      staging_(static_cast<std::size_t>(kPullFrames) * channels) {}

void PullResampler::Prepare() {
  if (!state_) state_ = NewCallbackState(channels_, &PullResampler::Callback, this);
}

void PullResampler::Reset() {
  if (state_) src_reset(state_.get());
}

bool PullResampler::Read(double output_rate, double input_rate, float* out, uint32_t frames) {
  const RatioPlan plan = PlanRatio(output_rate, input_rate);
  if (plan.repeat != plan_.repeat || plan.stride != plan_.stride) Reset();
  plan_ = plan;
  Prepare();
  long done = 0;
  if (state_) done = src_callback_read(state_.get(), plan_.ratio, frames, out);
  if (done < 0) done = 0;
  std::fill(out + static_cast<std::size_t>(done) * channels_,
            out + static_cast<std::size_t>(frames) * channels_, 0.0f);
  return static_cast<uint32_t>(done) == frames;
}

long PullResampler::Callback(void* self, float** data) {
  auto* me = static_cast<PullResampler*>(self);
  *data = me->input_.data();
  return static_cast<long>(me->Fill());
}

// One callback's worth of input: source frames, each repeated or every stride-th kept.
uint32_t PullResampler::Fill() {
  const std::size_t ch = channels_;
  if (plan_.stride > 1) {
    const uint32_t wanted = kPullFrames;
    uint32_t produced = 0;
    while (produced < wanted) {
      const uint32_t got = source_->ReadFrames(staging_.data(), plan_.stride);
      std::memcpy(&input_[produced * ch], staging_.data(), ch * sizeof(float));
      ++produced;
      if (got < plan_.stride) break;
    }
    return produced;
  }
  const uint32_t from_source = std::max<uint32_t>(1, kPullFrames / plan_.repeat);
  const uint32_t got = source_->ReadFrames(staging_.data(), from_source);
  uint32_t produced = 0;
  for (uint32_t f = 0; f < got; ++f) {
    for (uint32_t r = 0; r < plan_.repeat && produced < kPullFrames; ++r, ++produced)
      std::memcpy(&input_[produced * ch], &staging_[f * ch], ch * sizeof(float));
  }
  return produced;
}

PushResampler::PushResampler(uint16_t channels, double output_rate, double input_rate)
    : channels_(channels), plan_(PlanRatio(output_rate, input_rate)) {
  int error = 0;
  state_.reset(src_new(kConverter, channels, &error));
}

bool PushResampler::Process(const float* in, uint32_t frames, std::vector<float>* out) {
  const std::size_t ch = channels_;
  expanded_.clear();
  for (uint32_t f = 0; f < frames; ++f) {
    if (skip_phase_ > 0) {
      --skip_phase_;
      continue;
    }
    skip_phase_ = plan_.stride - 1;
    for (uint32_t r = 0; r < plan_.repeat; ++r)
      expanded_.insert(expanded_.end(), in + f * ch, in + (f + 1) * ch);
  }
  if (!state_) {
    out->clear();
    return false;
  }
  const std::size_t in_frames = expanded_.size() / ch;
  const std::size_t room = static_cast<std::size_t>(std::ceil(in_frames * plan_.ratio)) + 64;
  out->assign(room * ch, 0.0f);
  std::size_t used = 0;
  std::size_t made = 0;
  // libsamplerate may hand back input it had no output room for; feed it again.
  while (true) {
    if (made == out->size() / ch) out->resize(out->size() + 64 * ch);
    SRC_DATA data{};
    data.data_in = expanded_.data() + used * ch;
    data.input_frames = static_cast<long>(in_frames - used);
    data.data_out = out->data() + made * ch;
    data.output_frames = static_cast<long>(out->size() / ch - made);
    data.src_ratio = plan_.ratio;
    if (src_process(state_.get(), &data) != 0) {
      out->clear();
      return false;
    }
    used += static_cast<std::size_t>(data.input_frames_used);
    made += static_cast<std::size_t>(data.output_frames_gen);
    if (data.input_frames_used == 0 && data.output_frames_gen == 0) break;
    if (used >= in_frames && made < out->size() / ch) break;
  }
  out->resize(made * ch);
  return true;
}

}  // namespace bw
