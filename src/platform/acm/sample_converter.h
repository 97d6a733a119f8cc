// Inside the codec layer: uncoded samples of any width (integer PCM of 8 to 32 bits in any
// container, IEEE float of 32 and 64 bits) into uncoded samples of another width, with the
// channels mixed down where the target has fewer; and two codecs run one after the other, so
// that coded sources and targets meet such samples through 16-bit PCM.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/acm/codec_transform.h"
#include "platform/sample_layout.h"

namespace bw::acm {

// True when a stream may turn `from` channels into `to`: the same count, or more than two
// mixed down to stereo or mono.
inline bool ChannelsConvert(uint32_t from, uint32_t to) {
  return from == to || (from > 2 && to >= 1 && to <= 2);
}

// The weights of each input channel in each output channel (row-major, `to` rows of `from`
// values), for `to` equal to the input's channels (none mixed) or one or two. Centre and
// surround speakers come in at -3 dB, the low-frequency channel is left out, and the weights
// are scaled down so that no output can pass full scale.
std::vector<double> ChannelMixWeights(const SampleLayout& from, uint32_t to);

// 16-bit integer PCM with `channels` channels feeding the speakers of `mask`.
SampleLayout Pcm16Layout(uint16_t channels, uint32_t mask = 0);

// Uncoded `from` into uncoded `to`; nullptr when the pair cannot convert. Narrower targets are
// rounded to the nearest step and held to their range, never wrapped.
std::unique_ptr<CodecTransform> MakeSampleConverter(const SampleLayout& from,
                                                    const SampleLayout& to);

// `first`, then `second` over its output; nullptr when either is missing.
std::unique_ptr<CodecTransform> ChainCodecs(std::unique_ptr<CodecTransform> first,
                                            std::unique_ptr<CodecTransform> second);

}  // namespace bw::acm
