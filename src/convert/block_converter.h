// One codec stream that converts a whole file block by block, as Save and Export run it: each
// source block is read into the first work buffer, converted into the second, and the
// converted bytes are written out before the next block is read. The stream, its header and
// the carried bytes live here, so a conversion that ends early (a failure, Stop) releases its
// stream and the next command can open its own.
//
// The calls, in order: Open; then ReadArea / Convert for every block until the source is used
// up; then Drain until it gives nothing more (the codec's look-ahead and a last partial block
// come out only there, so skipping it loses the end of the sound); then Close.
//
// Threads: the user-interface thread (or brookwave-cli's), one call at a time.
// Results: 0, or the stream-state error codes of the codec calls (kAcmOpenFailed ...,
// playback_stream.h).
#pragma once

#include <cstdint>
#include <span>

#include "platform/acm/acm.h"
#include "platform/wave_format.h"

namespace bw {

class BlockConverter {
 public:
  // `source` and `destination` are the two work buffers; both outlive the converter.
  BlockConverter(std::span<uint8_t> source, std::span<uint8_t> destination);
  ~BlockConverter();
  BlockConverter(const BlockConverter&) = delete;
  BlockConverter& operator=(const BlockConverter&) = delete;

  // Opens the stream from `from` to `to` for source blocks of up to `blockBytes` and prepares
  // the header. kAcmOpenFailed, kAcmSizeFailed or kAcmPrepareFailed stop
  // at the first failure, with the stream closed again.
  int Open(const FormatBlock& from, const FormatBlock& to, uint32_t blockBytes);

  // Where the next source bytes go: after the bytes the codec left unused last time.
  std::span<uint8_t> ReadArea() const;
  // Converts the unused bytes and the `got` bytes just read into ReadArea. On success
  // `converted` shows the output in the destination buffer (valid until the next call).
  int Convert(uint32_t got, std::span<const uint8_t>& converted);
  // The end of the source: the first call converts what is left with the end flag, later
  // calls collect what the codec still holds. Done when `converted` comes back empty.
  int Drain(std::span<const uint8_t>& converted);
  // Unprepares the header and closes the stream: 0, kAcmUnprepareFailed or kAcmCloseFailed.
  // Nothing to do (0) when the stream is not open.
  int Close();

  uint32_t sourceBlockBytes() const { return m_blockBytes; }

 private:
  int Run(uint32_t srcBytes, uint32_t flags, std::span<const uint8_t>& converted);
  // The source block for the requested size and the destination length for it.
  int ChooseBlock(uint32_t requested, uint32_t& destBytes);

  std::span<uint8_t> m_source;
  std::span<uint8_t> m_destination;
  HACMSTREAM m_stream;
  ACMSTREAMHEADER m_header;
  uint32_t m_blockBytes = 0;
  uint32_t m_carry = 0;  // source bytes at the start of m_source the codec has not taken
  bool m_prepared = false;
};

}  // namespace bw
