// The conversion side of the view's commands: Save (the open PCM file as a new WAVE file in
// another format), Export (a bare coded stream) and Import (an MPEG file played through a
// temporary WAVE wrapper). Each runs on the user-interface thread from start to end and keeps
// the window alive by handling pending messages between blocks; a Stop among those messages
// ends a conversion early, with what was converted so far kept as a valid file.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "audio/capture_block_basis.h"
#include "audio/wave_file.h"
#include "convert/block_converter.h"
#include "convert/mpeg_import.h"
#include "convert/mpeg_reader.h"
#include "convert/output_file.h"
#include "convert/wave_target.h"
#include "platform/message_box.h"
#include "platform/sample_layout.h"
#include "view/view_core.h"

namespace bw {
namespace {

constexpr int kDialogCancelled = -4000;
constexpr int kChooserFailed = -20;
constexpr int kSaveWithoutSource = -30;
constexpr int kExportCreateFailed = -10;
constexpr int kExportReopenFailed = -30;

// Placeholder size of the header until the real one is written at the end.
constexpr uint32_t kSaveExpectedSize = 4000;
// Import's MPEG wrapper counts no samples: its "fact" value is a fixed 1.
constexpr uint32_t kImportFact = 1;
// The files Import reads, by their usual extensions.
constexpr const char* kImportPatterns =
    "*.mp3;*.mp2;*.mp1;*.mpa;*.flac;*.ogg;*.oga;*.opus;*.aac;*.m4a;*.m4b;*.mp4;*.caf;*.wv;*.aif;"
    "*.aiff;*.aifc;*.mka;*.webm";
// Enough for the window to repaint where a dialog was.
constexpr int kPumpAfterDialog = 200;
// The MPEG Layer-3 preset keeps twelve extra bytes, whatever they held.
constexpr std::size_t kPresetExtraBytes = 12;

std::string Reason(int error) {
  return std::generic_category().message(error);
}

FileDialogSpec TargetDialog(const char* label, const char* pattern, const char* extension) {
  FileDialogSpec dialog;
  dialog.kind = FileDialogSpec::Kind::kSave;
  dialog.title = "File Open";
  dialog.filters = {{label, pattern}, {"All Files", "*.*"}};
  dialog.default_extension = extension;
  dialog.overwrite_prompt = true;
  dialog.create_prompt = true;
  return dialog;
}

std::string_view AcmFailureText(int code) {
  switch (code) {
    case kAcmOpenFailed:
      return "Failed acmStreamOpenConvert";
    case kAcmSizeFailed:
      return "Failed acmStreamSize";
    case kAcmPrepareFailed:
      return "Failed acmStreamPrepareHeader";
    case kAcmConvertFailed:
      return "Failed acmStreamConvert";
    case kAcmCloseFailed:
      return "Failed acmStreamClose";
    default:  // a failed unprepare is only recorded
      return {};
  }
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return !a.empty() && !b.empty() && std::filesystem::equivalent(a, b, ec);
}

// The byte count of the progress display, right-aligned in ten characters.
void ShowByteCount(ViewWindow& window, int64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%10lld", static_cast<long long>(bytes));
  window.ShowText(IDC_POSITION_BOX, text);
}

// The arrow comes back however a command ends.
class ArrowCursorAtEnd {
 public:
  explicit ArrowCursorAtEnd(ViewWindow& window) : window_(window) {}
  ~ArrowCursorAtEnd() { window_.SetCursor(Cursor::kArrow); }
  ArrowCursorAtEnd(const ArrowCursorAtEnd&) = delete;
  ArrowCursorAtEnd& operator=(const ArrowCursorAtEnd&) = delete;

 private:
  ViewWindow& window_;
};

}  // namespace

// The file Save or Export writes. Until the conversion starts, a file this command created (or
// already emptied) is removed again when the command ends, so that a cancelled or refused
// command leaves nothing behind and an existing file it was allowed to replace untouched.
struct CBrookwaveViewCore::ConversionTarget {
  ~ConversionTarget() {
    Close();
    std::error_code ec;
    if (ours && !kept) std::filesystem::remove(path, ec);
  }

  // Appends converted or copied bytes; on failure `failure` says why, naming the file.
  bool Write(std::span<const uint8_t> bytes, std::string& failure) {
    const int rc = isWave ? wave.Write(bytes) : plain.Write(bytes);
    if (rc == 0) return true;
    if (isWave && rc == kMmioErrCannotExpand)
      failure = path + " has reached the 4 GiB limit of a WAVE file; the rest was not written";
    else
      failure = "Cannot write the file " + path + (isWave ? "" : " (" + Reason(rc) + ")");
    return false;
  }
  // Closes the file, a WAVE file with its true sizes and the bytes written as its "fact"
  // value; false when the last bytes did not get onto the disk.
  bool Close() {
    const auto written = static_cast<uint32_t>(wave.bytesWritten());
    return (isWave ? wave.Finish(written) : plain.Close()) == 0;
  }

  std::string path;
  bool ours = false;  // created or emptied by this command
  bool kept = false;  // the conversion has started: whatever happens, the file stays
  bool isWave = false;
  WaveTarget wave;
  PlainOutputFile plain;
};

enum class CBrookwaveViewCore::ConversionEnd { kComplete, kReadFailed, kFailed, kStopped };

void CBrookwaveViewCore::DeleteImportTempFile() {
  const std::string& path = m_stream.importTempPath;
  std::error_code ec;
  if (!path.empty()) std::filesystem::remove(path, ec);
}

// ---- Save and Export ----

bool CBrookwaveViewCore::ChooseConversionTarget(RunningCommand& running,
                                                const FileDialogSpec& dialog, int createFailure,
                                                ConversionTarget& target) {
  m_stream.lastError = 0;
  std::string& targetPath = m_stream.capture.targetPath;
  targetPath.clear();
  const std::optional<std::string> chosen = m_window.RunFileDialog(dialog);
  if (!chosen || chosen->empty()) {
    m_stream.lastError = kDialogCancelled;
    return false;
  }
  targetPath = *chosen;
  target.path = *chosen;
  running.MarkConverting();
  m_window.PumpMessages(kPumpAfterDialog);
  if (m_stream.converting != 1) return false;  // stopped meanwhile
  m_window.SetCursor(Cursor::kWait);

  // Writing over the file being read would destroy the sound before it is converted.
  if (SameFile(target.path, m_stream.playback.playPath)) {
    Message(target.path + " is the file open for playback; choose another name for the new file",
            kMbOk | kMbIconExclamation);
    return false;
  }
  std::error_code ec;
  if (std::filesystem::exists(target.path, ec) &&
      Message("File " + target.path + " exists,Overwrite File", kMbYesNo | kMbIconExclamation) !=
          kIdYes)
    return false;
  if (const int rc = EnsureWritableFile(target.path, target.ours); rc != 0) {
    Message("Cannot create the file " + target.path + " (" + Reason(rc) + ")");
    if (createFailure != 0) m_stream.lastError = createFailure;
    return false;
  }
  return true;
}

bool CBrookwaveViewCore::ChooseTargetFormat() {
  const WAVEFORMATEX& source = m_stream.playback.sourceFormat.format();
  FormatBlock& targetFormat = m_stream.capture.targetFormat;
  WAVEFORMATEX preset;
  preset.wFormatTag = kWaveFormatMpegLayer3;
  preset.nChannels = source.nChannels;
  preset.nSamplesPerSec = source.nSamplesPerSec;
  std::vector<uint8_t> extra(targetFormat.extra().begin(), targetFormat.extra().end());
  extra.resize(kPresetExtraBytes);
  targetFormat = FormatBlock(preset, extra);

  FormatChooserSpec chooser;
  chooser.initial = targetFormat;
  chooser.start_on_initial = true;
  chooser.channels = source.nChannels;
  chooser.samples_per_sec = source.nSamplesPerSec;
  FormatChoice choice = m_window.ChooseFormat(chooser);
  if (choice.result == kAcmErrCanceled) {
    m_stream.lastError = kDialogCancelled;
    return false;  // nothing written; the caller's target removes what it created
  }
  // A chooser that failed leaves the command to go on with the format it gave back.
  if (choice.result != 0) m_stream.lastError = kChooserFailed;
  if (!choice.format.empty()) targetFormat = std::move(choice.format);
  return true;
}

bool CBrookwaveViewCore::OpenConverter(BlockConverter& converter) {
  PlaybackStream& playback = m_stream.playback;
  const int rc =
      converter.Open(playback.sourceFormat, m_stream.capture.targetFormat, playback.blockBytes);
  if (rc == 0) return true;
  m_stream.lastError = rc;
  Message(AcmFailureText(rc));
  return false;
}

void CBrookwaveViewCore::CloseConverter(BlockConverter& converter) {
  const int rc = converter.Close();
  if (rc == 0) return;
  m_stream.lastError = rc;
  if (const std::string_view text = AcmFailureText(rc); !text.empty()) Message(text);
}

void CBrookwaveViewCore::BeginConverting() {
  PlaybackStream& playback = m_stream.playback;
  MoveSlider(IDC_POSITION, 0);
  playback.SeekToSliderPosition();
  playback.position = 0;
  playback.writeCursor = 0;
  m_stream.converting = 1;
  m_window.PumpMessages(kPumpAfterDialog);
  m_window.SetStatusText("Converting");
  m_window.SetCursor(Cursor::kAppStarting);
  ShowByteCount(m_window, m_position.pos);
}

bool CBrookwaveViewCore::ReadSourceBlock(std::span<uint8_t> into, uint32_t& got) {
  PlaybackStream& playback = m_stream.playback;
  const int rc = ReadWaveData(playback.sourceFile, into, playback.dataChunk, got);
  if (rc == 0) return true;
  m_stream.lastError = -rc;
  got = 0;
  return false;
}

bool CBrookwaveViewCore::ShowProgress(uint64_t bytesRead) {
  MoveSlider(IDC_POSITION, static_cast<int64_t>(bytesRead));
  ShowByteCount(m_window, m_position.pos);
  m_window.PumpMessages(1);
  // Stop (also the one a recent file's open runs first) clears `converting`; the source may
  // then belong to another file already.
  return m_stream.converting == 1;
}

CBrookwaveViewCore::ConversionEnd CBrookwaveViewCore::ConvertSource(BlockConverter& converter,
                                                                    ConversionTarget& target) {
  uint64_t bytesRead = 0;
  std::string failure;
  for (;;) {
    uint32_t got = 0;
    if (!ReadSourceBlock(converter.ReadArea(), got)) {
      const ConversionEnd drained = DrainConverter(converter, target);
      return drained == ConversionEnd::kComplete ? ConversionEnd::kReadFailed : drained;
    }
    if (got == 0) return DrainConverter(converter, target);
    bytesRead += got;
    if (!ShowProgress(bytesRead)) return ConversionEnd::kStopped;
    std::span<const uint8_t> converted;
    if (converter.Convert(got, converted) != 0) {
      m_stream.lastError = kAcmConvertFailed;
      Message(AcmFailureText(kAcmConvertFailed));
      return ConversionEnd::kFailed;
    }
    m_window.PumpMessages(1);
    if (m_stream.converting != 1) return ConversionEnd::kStopped;
    if (!target.Write(converted, failure)) {
      Message(failure);
      return ConversionEnd::kFailed;
    }
  }
}

CBrookwaveViewCore::ConversionEnd CBrookwaveViewCore::DrainConverter(BlockConverter& converter,
                                                                     ConversionTarget& target) {
  std::string failure;
  for (;;) {
    std::span<const uint8_t> converted;
    if (converter.Drain(converted) != 0) {
      m_stream.lastError = kAcmConvertFailed;
      Message(AcmFailureText(kAcmConvertFailed));
      return ConversionEnd::kFailed;
    }
    if (converted.empty()) return ConversionEnd::kComplete;
    if (!target.Write(converted, failure)) {
      Message(failure);
      return ConversionEnd::kFailed;
    }
  }
}

CBrookwaveViewCore::ConversionEnd CBrookwaveViewCore::CopySourceData(ConversionTarget& target) {
  const std::span<uint8_t> block = std::span(m_stream.pcmBlock).first(m_stream.playback.blockBytes);
  uint64_t bytesRead = 0;
  std::string failure;
  for (;;) {
    uint32_t got = 0;
    if (!ReadSourceBlock(block, got)) return ConversionEnd::kReadFailed;
    if (got == 0) return ConversionEnd::kComplete;
    bytesRead += got;
    if (!ShowProgress(bytesRead)) return ConversionEnd::kStopped;
    if (!target.Write(block.first(got), failure)) {
      Message(failure);
      return ConversionEnd::kFailed;
    }
  }
}

void CBrookwaveViewCore::EndConversion(ConversionEnd end, ConversionTarget& target,
                                       std::string_view complete) {
  if (!target.Close() && end != ConversionEnd::kFailed) {
    Message("Cannot write the file " + target.path);
    end = ConversionEnd::kFailed;
  }
  m_stream.recordTargetReady = 0;
  // A Stop, or a command it made way for, has already put the view where it belongs.
  if (end == ConversionEnd::kStopped) return;
  if (end == ConversionEnd::kComplete) Message(complete);
  if (end == ConversionEnd::kReadFailed)
    Message("Cannot read " + m_stream.playback.playPath + " to its end; " + target.path +
            " holds the sound up to there");
  OnStop();
}

void CBrookwaveViewCore::RunConversion(BlockConverter* converter, ConversionTarget& target,
                                       std::string_view complete) {
  if (m_stream.converting != 1) return;  // stopped under one of the dialogs
  m_stream.recordTargetReady = 1;
  target.kept = true;
  BeginConverting();
  const ConversionEnd end = converter ? ConvertSource(*converter, target) : CopySourceData(target);
  if (converter) CloseConverter(*converter);
  EndConversion(end, target, complete);
}

void CBrookwaveViewCore::OnFileSave() {
  ArrowCursorAtEnd arrow(m_window);
  if (!m_stream.fileOpen) {
    m_stream.lastError = kSaveWithoutSource;
    Message("Error Select New and Open First");
    return;
  }
  RunningCommand running(*this);
  ConversionTarget target;
  target.isWave = true;
  if (!ChooseConversionTarget(running, TargetDialog("Wave Files", "*.wav", "wav"), 0, target) ||
      !ChooseTargetFormat())
    return;
  // Only what a recording could write may be written here.
  if (CaptureBlockBasis(m_stream.capture.targetFormat) == 0) {
    Message("UnSupported Format", kMbOk | kMbIconExclamation);
    return;
  }
  BlockConverter converter(m_stream.pcmBlock, m_stream.codedBlock);
  if (!OpenConverter(converter)) return;
  target.ours = true;
  if (TruncateFile(target.path) != 0 ||
      target.wave.Begin(target.path, m_stream.capture.targetFormat, kSaveExpectedSize) != 0) {
    Message("Cannot write the file " + target.path);
    return;
  }
  RunConversion(&converter, target, "Complete Convert");
}

void CBrookwaveViewCore::OnFileExport() {
  ArrowCursorAtEnd arrow(m_window);
  if (!m_stream.fileOpen) {
    Message("Error:Open File First and then Export");
    return;
  }
  RunningCommand running(*this);
  ConversionTarget target;
  if (!ChooseConversionTarget(running, TargetDialog("mp3 Files", "*.mp3", "mp3"),
                              kExportCreateFailed, target))
    return;
  const FormatBlock& source = m_stream.playback.sourceFormat;
  const uint16_t tag = source.format().wFormatTag;
  if (!IsUncodedFormat(source) && tag != kWaveFormatMpegLayer3) return;  // never enabled for others
  // An MPEG Layer-3 wrapper's data is copied out unchanged, from its first byte wherever
  // playback left the reader: the whole MPEG file that Import wrapped.
  const bool copy = tag == kWaveFormatMpegLayer3;
  BlockConverter converter(m_stream.pcmBlock, m_stream.codedBlock);
  if (!copy && (!ChooseTargetFormat() || !OpenConverter(converter))) return;
  target.ours = true;
  if (const int rc = target.plain.Open(target.path); rc != 0) {
    m_stream.lastError = kExportReopenFailed;
    Message("Cannot open the file " + target.path + " for writing (" + Reason(rc) + ")");
    return;
  }
  if (copy) m_stream.capture.targetFormat.format().wFormatTag = kWaveFormatMpegLayer3;
  RunConversion(copy ? nullptr : &converter, target, "Complete Export");
}

// ---- Import ----

void CBrookwaveViewCore::OnFileImport() {
  RunningCommand running(*this);
  ClearForImport();
  FileDialogSpec dialog;
  dialog.title = "File Open";
  dialog.filters = {
      {"Audio Files", kImportPatterns}, {"Mpeg Files", "*.mp3"}, {"All Files", "*.*"}};
  dialog.default_extension = "mp3";
  dialog.file_must_exist = true;
  const std::optional<std::string> chosen = m_window.RunFileDialog(dialog);
  if (!chosen || chosen->empty()) {
    m_stream.lastError = kDialogCancelled;
    return;
  }
  ImportChosenFile(*chosen, running);
}

void CBrookwaveViewCore::ClearForImport() {
  if (m_stream.fileOpen) OnFileClose();
  PlaybackStream& playback = m_stream.playback;
  playback.playPath.clear();
  m_stream.capture.targetPath.clear();
  playback.sourceFormat = FormatBlock();
  playback.pcmFormat = FormatBlock();
  m_stream.capture.targetFormat = FormatBlock();
}

void CBrookwaveViewCore::ImportChosenFile(const std::string& path, RunningCommand& running) {
  m_stream.playback.playPath = path;
  running.MarkConverting();
  m_window.PumpMessages(kPumpAfterDialog);
  m_window.SetCursor(Cursor::kWait);
  ArrowCursorAtEnd arrow(m_window);
  m_stream.capture.targetPath = m_stream.importTempPath;
  if (m_stream.converting != 1 || !WriteImportFile(path)) {
    DeleteImportTempFile();
    return;
  }
  m_stream.converting = 0;
  OpenImportWrapper(path);
}

bool CBrookwaveViewCore::WriteImportWrapper(const std::string& mpegPath) {
  if (BufferedInputFile probe; !probe.Open(mpegPath)) {
    Message("Cannot open the file " + mpegPath);
    return false;
  }
  if (!CreateImportTempFile()) return false;
  FormatBlock format;
  {
    MpegFileReader reader;
    MpegFrameHeader header;
    // The reader and the header show their own messages for what they refuse.
    reader.Open(mpegPath);
    if (!header.ParseNextHeader(reader)) return false;
    const ImportStream stream = DescribeImportStream(header);
    if (!IsImportable(stream)) {
      Message("UnSupported Format");
      return false;
    }
    format = MakeImportFormat(stream);
  }
  WaveTarget wrapper;
  if (!BeginImportFile(wrapper, format)) return false;
  return CopyIntoWrapper(mpegPath, wrapper, ImportCopyBlockBytes(format, kWorkBufferBytes));
}

bool CBrookwaveViewCore::CopyIntoWrapper(const std::string& mpegPath, WaveTarget& wrapper,
                                         uint32_t blockBytes) {
  BufferedInputFile mpeg;
  if (!mpeg.Open(mpegPath)) {
    Message(mpegPath);
    return false;
  }
  // Every byte of the file goes in as it is, tags before the first frame included.
  const std::span<uint8_t> block = std::span(m_stream.pcmBlock).first(blockBytes);
  for (;;) {
    const std::ptrdiff_t got = mpeg.Read(block.data(), block.size());
    if (got <= 0) break;  // the end, or a failing read
    if (!WriteImportBlock(wrapper, block.first(static_cast<std::size_t>(got)))) return false;
    m_window.PumpMessages(1);
    if (m_stream.converting != 1) return false;  // stopped: nothing is played
  }
  if (wrapper.Finish(kImportFact) != 0) {
    Message("Cannot write the file " + m_stream.importTempPath);
    return false;
  }
  return true;
}

void CBrookwaveViewCore::OpenImportWrapper(const std::string& mpegPath) {
  PlaybackStream& playback = m_stream.playback;
  m_window.SetDocumentTitle(mpegPath);
  playback.playPath = m_stream.capture.targetPath;
  m_stream.fileOpen = 1;
  m_stream.lastError = playback.PreparePlayback(playback.playPath);
  if (m_stream.lastError != 0) {
    Message("StreamBufferSetupP Failed");
    m_stream.fileOpen = 0;
    DeleteImportTempFile();
    return;
  }
  m_importedPath = mpegPath;
  playback.position = 0;
  MoveSlider(IDC_POSITION, 0);
  OnPlay();
}

}  // namespace bw
