// Import's temporary file: the road each file takes into it, and the decoding of compressed
// sound into 16-bit PCM. Like the MPEG copy, the decoding runs on the user-interface thread and
// keeps the window alive by handling one pending message after each block.
#include <cstdio>
#include <system_error>

#include "convert/audio_import.h"
#include "convert/output_file.h"
#include "convert/wave_target.h"
#include "view/view_core.h"

namespace bw {
namespace {

// Placeholder size of the header until the real one is written at the end.
constexpr uint32_t kImportExpectedSize = 44;

}  // namespace

void CBrookwaveViewCore::ImportOutsideFile(const std::string& path) {
  RunningCommand running(*this);
  ClearForImport();
  ImportChosenFile(path, running);
}

bool CBrookwaveViewCore::WriteImportFile(const std::string& path) {
  {
    AudioImportDecoder decoder;
    std::string failure;
    if (!decoder.Open(path, failure)) {
      Message(failure);
      return false;
    }
    if (decoder.route() == ImportRoute::kDecode) return DecodeIntoImportFile(decoder);
  }
  return WriteImportWrapper(path);
}

bool CBrookwaveViewCore::CreateImportTempFile() {
  const std::string& tempPath = m_stream.importTempPath;
  const int rc = CreatePrivateFile(tempPath);
  if (rc == 0) return true;
  Message("Cannot create the temporary file " + tempPath + " (" +
          std::generic_category().message(rc) + ")");
  return false;
}

bool CBrookwaveViewCore::WriteImportBlock(WaveTarget& file, std::span<const uint8_t> bytes) {
  const int rc = file.Write(bytes);
  if (rc == 0) return true;
  Message(rc == kMmioErrCannotExpand
              ? m_stream.importTempPath + " has reached the 4 GiB limit of a WAVE file"
              : "Cannot write the file " + m_stream.importTempPath);
  return false;
}

bool CBrookwaveViewCore::BeginImportFile(WaveTarget& file, const FormatBlock& format) {
  m_stream.playback.sourceFormat = format;
  m_stream.capture.targetFormat = format;
  if (file.Begin(m_stream.importTempPath, format, kImportExpectedSize) == 0) return true;
  Message("Cannot write the file " + m_stream.importTempPath);
  return false;
}

bool CBrookwaveViewCore::DecodeIntoImportFile(AudioImportDecoder& decoder) {
  if (!CreateImportTempFile()) return false;
  const FormatBlock& format = decoder.format();
  WaveTarget file;
  if (!BeginImportFile(file, format)) return false;
  // About a second of sound at a time; the slider follows the reading through the source file.
  const uint32_t blockBytes = std::min(format.format().nAvgBytesPerSec, kWorkBufferBytes);
  const std::span<uint8_t> block = std::span(m_stream.pcmBlock).first(blockBytes);
  m_position.SetRange(0, static_cast<int64_t>(decoder.fileBytes()));
  uint64_t frames = 0;
  std::string failure;
  for (;;) {
    std::size_t got = 0;
    if (!decoder.Decode(block, got, failure)) {
      Message(failure);
      return false;
    }
    if (got == 0) break;
    if (!WriteImportBlock(file, block.first(got))) return false;
    frames += got / format.format().nBlockAlign;
    MoveSlider(IDC_POSITION, static_cast<int64_t>(decoder.bytesRead()));
    char count[32];
    std::snprintf(count, sizeof count, "%10llu",
                  static_cast<unsigned long long>(decoder.bytesRead()));
    m_window.ShowText(IDC_POSITION_BOX, count);
    m_window.PumpMessages(1);
    if (m_stream.converting != 1) return false;  // stopped: nothing is played
  }
  if (file.Finish(static_cast<uint32_t>(std::min<uint64_t>(frames, UINT32_MAX))) != 0) {
    Message("Cannot write the file " + m_stream.importTempPath);
    return false;
  }
  return true;
}

}  // namespace bw
