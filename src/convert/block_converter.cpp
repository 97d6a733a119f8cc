#include "convert/block_converter.h"

#include <algorithm>
#include <cstring>

#include "audio/playback_stream.h"

namespace bw {

BlockConverter::BlockConverter(std::span<uint8_t> source, std::span<uint8_t> destination)
    : m_source(source), m_destination(destination) {}

BlockConverter::~BlockConverter() {
  Close();
}

int BlockConverter::Open(const FormatBlock& from, const FormatBlock& to, uint32_t blockBytes) {
  Close();
  m_carry = 0;
  if (acmStreamOpen(m_stream, from, to, ACM_STREAMOPENF_NONREALTIME) != MMSYSERR_NOERROR)
    return kAcmOpenFailed;
  uint32_t destBytes = 0;
  if (ChooseBlock(blockBytes, destBytes) != 0) {
    Close();
    return kAcmSizeFailed;
  }
  std::fill_n(m_source.begin(), m_blockBytes, 0);
  std::fill_n(m_destination.begin(), std::min<std::size_t>(m_blockBytes, m_destination.size()), 0);
  m_header = ACMSTREAMHEADER{};
  m_header.pbSrc = m_source.data();
  m_header.cbSrcLength = m_blockBytes;
  m_header.pbDst = m_destination.data();
  m_header.cbDstLength = destBytes;
  if (acmStreamPrepareHeader(m_stream, m_header, 0) != MMSYSERR_NOERROR) {
    Close();
    return kAcmPrepareFailed;
  }
  m_prepared = true;
  return 0;
}

int BlockConverter::ChooseBlock(uint32_t requested, uint32_t& destBytes) {
  const uint32_t block = std::min<uint32_t>(requested, static_cast<uint32_t>(m_source.size()));
  uint32_t out = 0;
  if (block == 0 || acmStreamSize(m_stream, block, out, ACM_STREAMSIZEF_SOURCE) != MMSYSERR_NOERROR)
    return 1;
  m_blockBytes = block;
  // Twice one block's output, as far as the buffer goes: a block of at most half the buffer
  // never makes more than the buffer holds (widening 8-bit PCM doubles it at most).
  destBytes = static_cast<uint32_t>(std::min<uint64_t>(2 * uint64_t{out}, m_destination.size()));
  return 0;
}

std::span<uint8_t> BlockConverter::ReadArea() const {
  return m_source.subspan(m_carry, m_blockBytes - m_carry);
}

int BlockConverter::Convert(uint32_t got, std::span<const uint8_t>& converted) {
  return Run(m_carry + got, ACM_STREAMCONVERTF_BLOCKALIGN, converted);
}

int BlockConverter::Drain(std::span<const uint8_t>& converted) {
  return Run(m_carry, ACM_STREAMCONVERTF_END, converted);
}

int BlockConverter::Run(uint32_t srcBytes, uint32_t flags, std::span<const uint8_t>& converted) {
  converted = {};
  m_header.cbSrcLength = srcBytes;
  if (acmStreamConvert(m_stream, m_header, flags) != MMSYSERR_NOERROR) return kAcmConvertFailed;
  // A codec takes whole units only; the rest leads the next block.
  const uint32_t used = std::min(m_header.cbSrcLengthUsed, srcBytes);
  m_carry = srcBytes - used;
  std::memmove(m_source.data(), m_source.data() + used, m_carry);
  converted = std::span<const uint8_t>(m_destination.data(), m_header.cbDstLengthUsed);
  return 0;
}

int BlockConverter::Close() {
  if (!m_stream) return 0;
  int rc = 0;
  if (m_prepared) {
    m_header.cbSrcLength = m_blockBytes;
    if (acmStreamUnprepareHeader(m_stream, m_header, 0) != MMSYSERR_NOERROR)
      rc = kAcmUnprepareFailed;
    m_prepared = false;
  }
  if (acmStreamClose(m_stream, 0) != MMSYSERR_NOERROR) {
    // A header the codec would not give back still must not keep the stream for ever.
    m_stream.reset();
    rc = kAcmCloseFailed;
  }
  return rc;
}

}  // namespace bw
