// Inside the codec layer: what one codec does for a stream (turn whole source units into
// output bytes, keeping its own state), and where the output goes (straight into the caller's
// destination, and what does not fit there into a queue for the next call).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/acm/acm.h"

namespace bw::acm {

// Output held back for the next conversion call; its memory stays allocated between calls.
class ByteQueue {
 public:
  std::size_t size() const { return data_.size() - head_; }
  bool empty() const { return size() == 0; }
  // Room for `bytes` more at the back; valid until the next call on the queue.
  uint8_t* Extend(std::size_t bytes);
  // Moves up to `room` bytes from the front to `out`; returns how many.
  std::size_t PopTo(uint8_t* out, std::size_t room);
  void Clear();

 private:
  std::vector<uint8_t> data_;
  std::size_t head_ = 0;
};

// The destination of one conversion call. Output goes into the destination in order; whatever
// does not fit waits in the queue, ahead of any later output.
class OutputSink {
 public:
  OutputSink(std::span<uint8_t> destination, ByteQueue& queue) : dst_(destination), queue_(queue) {
    Drain();
  }

  // Space for `bytes` of output: in the destination when all of it fits there, otherwise at the
  // back of the queue. Fill it, then Commit the same count.
  uint8_t* Claim(std::size_t bytes);
  void Commit(std::size_t bytes);
  void Write(std::span<const uint8_t> bytes);

  std::size_t written() const { return used_; }
  std::size_t room() const { return dst_.size() - used_; }
  bool full() const { return used_ == dst_.size(); }

 private:
  void Drain();

  std::span<uint8_t> dst_;
  ByteQueue& queue_;
  std::size_t used_ = 0;
  bool claimed_in_queue_ = false;
};

// One codec inside a stream. The stream hands it whole source units only (except the tail at
// END) and never two calls at once.
class CodecTransform {
 public:
  virtual ~CodecTransform() = default;

  // Bytes of one source unit: the smallest piece the codec takes.
  virtual uint32_t SourceUnit() const = 0;
  // Converts `units` (a whole number of source units) and writes the output to `out`.
  virtual MMRESULT Feed(std::span<const uint8_t> units, OutputSink& out) = 0;
  // The end of the stream: converts `tail` (less than one unit), then flushes everything held.
  virtual MMRESULT Finish(std::span<const uint8_t> tail, OutputSink& out) = 0;
  // Forgets all state, as if newly opened.
  virtual MMRESULT Reset() = 0;

  // Most output bytes that `source_bytes` more source can produce, counting what the codec
  // already holds.
  virtual uint64_t OutputBound(uint64_t source_bytes) const = 0;
  // Source bytes (whole units) whose output fits into `dest_bytes`; 0 when not even one unit's.
  virtual uint64_t SourceFor(uint64_t dest_bytes) const = 0;
};

}  // namespace bw::acm
