#include "convert/wave_target.h"

#include <algorithm>

namespace bw {
namespace {

// Whole blocks go to the writer in runs this long: the same bytes as in short runs, with far
// fewer buffer hand-overs.
constexpr std::size_t kRunBytes = 64 * 1024;

}  // namespace

WaveTarget::~WaveTarget() {
  Finish(static_cast<uint32_t>(std::min<uint64_t>(m_bytesWritten, UINT32_MAX)));
}

int WaveTarget::Begin(const std::filesystem::path& path, const FormatBlock& format,
                      uint32_t expectedSize) {
  m_bytesWritten = 0;
  int rc = CreateWaveTarget(path, m_file, format, m_riffChunk, expectedSize);
  if (rc == 0) rc = BeginWaveData(m_file, m_dataChunk, m_ioInfo, expectedSize);
  if (rc != 0) m_file.Close();
  return rc;
}

int WaveTarget::Write(std::span<const uint8_t> bytes) {
  uint32_t written = 0;
  const int rc = WriteWaveData(m_file, bytes, written, m_ioInfo, kRunBytes);
  m_bytesWritten += written;
  return rc;
}

int WaveTarget::Finish(uint32_t fact) {
  return FinishWaveTarget(m_file, m_dataChunk, m_riffChunk, m_ioInfo, fact);
}

}  // namespace bw
