#include "platform/acm/codec_transform.h"

#include <algorithm>
#include <cstring>

namespace bw::acm {

uint8_t* ByteQueue::Extend(std::size_t bytes) {
  // Reclaim the consumed front before growing, so a queue that is drained as fast as it fills
  // keeps one allocation.
  if (head_ > 0 && head_ >= data_.size() / 2) {
    data_.erase(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(head_));
    head_ = 0;
  }
  const std::size_t old_size = data_.size();
  data_.resize(old_size + bytes);
  return data_.data() + old_size;
}

std::size_t ByteQueue::PopTo(uint8_t* out, std::size_t room) {
  const std::size_t n = std::min(room, size());
  if (n == 0) return 0;
  std::memcpy(out, data_.data() + head_, n);
  head_ += n;
  if (head_ == data_.size()) Clear();
  return n;
}

void ByteQueue::Clear() {
  data_.clear();
  head_ = 0;
}

uint8_t* OutputSink::Claim(std::size_t bytes) {
  claimed_in_queue_ = !queue_.empty() || bytes > room();
  if (claimed_in_queue_) return queue_.Extend(bytes);
  return dst_.data() + used_;
}

void OutputSink::Commit(std::size_t bytes) {
  if (claimed_in_queue_) {
    Drain();
  } else {
    used_ += bytes;
  }
}

void OutputSink::Write(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return;
  std::memcpy(Claim(bytes.size()), bytes.data(), bytes.size());
  Commit(bytes.size());
}

void OutputSink::Drain() {
  used_ += queue_.PopTo(dst_.data() + used_, room());
}

}  // namespace bw::acm
