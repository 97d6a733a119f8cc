// The playback steps that run on the user-interface thread: opening the source and the
// device, placing the reader, starting the thread and priming the first two blocks.
#include "audio/playback_stream.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "audio/capture_block_basis.h"
#include "audio/file_facts.h"
#include "audio/stream_state.h"
#include "audio/wave_file.h"
#include "platform/memory_pages.h"
#include "platform/message_box.h"
#include "platform/sample_layout.h"

namespace bw {
namespace {

// Playable here: a rate and a byte rate (every time text divides by it), and a channel count
// the codec layer takes (the device and the equaliser get at most two).
bool IsPlayableLayout(const WAVEFORMATEX& f) {
  return f.nChannels >= 1 && f.nChannels <= kAcmMostChannels && f.nSamplesPerSec > 0 &&
         f.nAvgBytesPerSec > 0;
}

// More than two channels are mixed down to stereo for the device.
uint16_t PlaybackChannels(uint16_t sourceChannels) {
  return std::min<uint16_t>(sourceChannels, 2);
}

}  // namespace

uint32_t PlaybackBlockBasis(const FormatBlock& source) {
  // EXTENSIBLE formats are sized as the format their subformat names.
  SampleLayout layout;
  const bool described = DescribeSamples(source, layout);
  if (!described && source.format().wFormatTag == kWaveFormatExtensible) return 0;
  const FormatBlock block = PlainFormat(source);
  const WAVEFORMATEX& f = block.format();
  const uint32_t rate = f.nSamplesPerSec;
  uint64_t basis = 0;
  switch (described ? layout.tag : f.wFormatTag) {
    case kWaveFormatPcm:
    case kWaveFormatIeeeFloat:
    case kWaveFormatALaw:
    case kWaveFormatMuLaw:
      basis = 2 * (uint64_t{f.nAvgBytesPerSec} / 5);
      break;
    case kWaveFormatMsAdpcm:
      basis = ScaledByRate(3563, rate);
      break;
    case kWaveFormatImaAdpcm:
      basis = 2 * uint64_t{f.nChannels} * block.WordAt(kWaveFormatExSize);
      break;
    case kWaveFormatMpegLayer3:
      basis = ScaledByRate(5472 * uint64_t{f.nChannels}, rate);
      break;
    case kWaveFormatTrueSpeech:
      basis = 12 * uint64_t{block.WordAt(20)};
      break;
    case kWaveFormatGsm610:
      basis = ScaledByRate(3000, rate);
      break;
    case kWaveFormatMsnAudio:
      basis = 37 * uint64_t{block.WordAt(kWaveFormatExSize)};
      break;
    case kWaveFormatLhCelp:
      basis = 100 * uint64_t{f.nBlockAlign};
      break;
    default:
      break;
  }
  return static_cast<uint32_t>(std::min<uint64_t>(basis, UINT32_MAX));
}

PlaybackStream::PlaybackStream(StreamState& state, PlaybackControls& controls)
    : state_(state), controls_(controls) {}

PlaybackStream::~PlaybackStream() {
  ReclaimSource();
}

std::span<uint8_t> PlaybackStream::pcmBlock() {
  return state_.pcmBlock;
}

std::span<uint8_t> PlaybackStream::codedBlock() {
  return state_.codedBlock;
}

int PlaybackStream::PreparePlayback(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    const int answer = controls_.ShowMessage("File " + path + " not found",
                                             kMbAbortRetryIgnore | kMbIconExclamation);
    return answer == kIdFailed ? kPlaybackMessageFailed : kPlaybackFileNotFound;
  }
  FileTimeAndSize(path, sourceCreated, sourceSize);

  // The previous file's thread and device go first: a device that allows one stream at a
  // time must be free before the new one opens.
  ReclaimSource();
  ReleaseDevice();

  FormatBlock format;
  state_.lastError = OpenWaveSource(path, sourceFile, format, riffChunk);
  if (state_.lastError != 0) {
    controls_.ShowMessage("Wave File Open Failed " + path + "\n", kMbOk);
    return kPlaybackOpenFailed;
  }
  WAVEFORMATEX& f = format.format();
  if (f.nBlockAlign == 0)
    f.nBlockAlign = static_cast<uint16_t>((f.wBitsPerSample / 8) * f.nChannels);

  const uint32_t basis = PlaybackBlockBasis(format);
  const uint16_t channels = PlaybackChannels(f.nChannels);
  // A whole number of decoded frames per block, so that every block starts on a sample.
  const uint32_t frame_bytes = 2u * channels;
  uint64_t block = uint64_t{basis} * channels;
  const bool limited = block > kMaxBlockBytes;
  block = std::min<uint64_t>(block, kMaxBlockBytes);
  if (IsPlayableLayout(f)) block -= block % frame_bytes;
  // Fields that contradict each other would play as noise.
  SampleLayout layout;
  if (basis == 0 || !IsPlayableLayout(f) || block == 0 || !DescribeSamples(format, layout)) {
    controls_.ShowMessage("UnKnown Format", kMbOk | kMbIconExclamation);
    return kPlaybackUnknownFormat;
  }

  sourceFormat = std::move(format);
  pcmFormat = FormatBlock(MakePcmFormat(f.nSamplesPerSec, channels));
  controls_.ShowSourceFormat(f.nSamplesPerSec, f.nChannels);

  state_.lastError = SeekWaveData(sourceFile, dataChunk, riffChunk);
  if (state_.lastError != 0) {
    controls_.ShowMessage(
        state_.lastError == WaveFileTooLarge
            ? "The sound data of " + path + " is larger than 4 GiB, more than this program can play"
            : "IDS_ERROR_WAVESEEKFAILED",
        kMbOk);
    CloseWaveSource(sourceFile, sourceFormat);
    return kPlaybackSeekFailed;
  }
  // The slider, the times and the reads go as far as the file holds.
  dataBytes = WaveDataBytesHeld(sourceFile, dataChunk);
  dataChunk.cksize = dataBytes;
  controls_.ShowDataLength(dataBytes, sourceFormat.format().nAvgBytesPerSec);

  blockBytes = static_cast<uint32_t>(block);
  blockBasis = limited ? blockBytes / channels : basis;
  bufferBytes = 4 * blockBytes;
  bufferDesc = SoundBufferDesc{kPlaybackBufferFlags, bufferBytes, pcmFormat.format()};

  const DeviceId& device = state_.playSettings.PlayDevice;
  if (SoundCreate(device.IsDefault() ? nullptr : &device, &soundObject) != kSoundOk) {
    controls_.ShowMessage("Direct Sound Creation Failed", kMbOk);
    return kPlaybackDeviceFailed;
  }
  if (soundObject->SetCooperativeLevel(kCooperativeNormal) != kSoundOk) {
    controls_.ShowMessage("Direct Sound Set Cooperative Level Failed", kMbOk);
    return kPlaybackDeviceFailed;
  }
  if (soundObject->CreateSoundBuffer(bufferDesc, &soundBuffer) != kSoundOk) {
    controls_.ShowMessage(" IDS_ERROR_DSBCREATE DEST", kMbOk);
    return kPlaybackBufferFailed;
  }
  // A thread that falls behind must not let stale blocks play.
  soundBuffer->HoldAtUnwritten(true);
  state_.endOfData = 0;
  writeCursor = 0;
  if (const SoundResult rc = soundBuffer->QueryNotify(&soundNotify); rc != kSoundOk) {
    controls_.ShowMessage("IDS_ERROR_QINOTIFY_FAILED", kMbOk);
    return rc;
  }
  state_.haltRequested = 0;
  return 0;
}

int PlaybackStream::SeekToSliderPosition() {
  if (state_.playing) return 0;
  ReclaimSource();
  PlaceReaderAtSlider();
  return 1;
}

void PlaybackStream::PlaceReaderAtSlider() {
  if (!state_.fileOpen) return;
  const uint32_t value = controls_.PositionSliderValue();
  controls_.ShowSeekTime(value);
  if (SeekWaveData(sourceFile, dataChunk, riffChunk) == 0) {
    dataChunk.cksize = std::min(dataChunk.cksize, dataBytes);
    const uint32_t skip = std::min(value, dataChunk.cksize);
    if (sourceFile.Seek(skip, SEEK_CUR) >= 0) dataChunk.cksize -= skip;
  }
  position = std::min(value, dataBytes);
}

int PlaybackStream::SetupPlaybackNotifications() {
  ReclaimSource();
  if (!soundBuffer || !soundNotify) {
    controls_.ShowMessage("SetupNotificationPos failed.", kMbOk);
    return kSoundErrInvalidCall;
  }
  playEvents = {Event::Create(), Event::Create()};
  ahead_.reset();
  if (decodeAhead) {
    try {
      ahead_ = std::make_unique<Ahead>();
    } catch (const std::system_error&) {
      // No thread to be had: the blocks are decoded in turn.
    }
  }
  try {
    playThread = std::thread(&PlaybackStream::PlaybackThreadProc, this,
                             ThreadObjects{soundBuffer, playEvents, state_.viewWindow});
  } catch (const std::system_error&) {
    controls_.ShowMessage("Notifications CreateThread failed", kMbOk);
    return kSoundErrOutOfMemory;
  }
  // The last position is one byte short of the end, so that it lies inside the buffer.
  const NotifyPosition positions[] = {{blockBytes, playEvents[0]},
                                      {2 * blockBytes, playEvents[0]},
                                      {3 * blockBytes, playEvents[0]},
                                      {4 * blockBytes - 1, playEvents[0]},
                                      {kNotifyOffsetStop, playEvents[1]}};
  if (const SoundResult rc = soundNotify->SetNotificationPositions(positions); rc != kSoundOk) {
    controls_.ShowMessage("SetupNotificationPos failed.", kMbOk);
    // The thread, already waiting, ends because its wait fails.
    for (EventHandle& e : playEvents) {
      e->Close();
      e.reset();
    }
    return rc;
  }
  return 0;
}

int PlaybackStream::PrimePlayback() {
  ClearEqualiserState(equaliser);
  state_.lastError = 0;
  const std::span<uint8_t> pcm = pcmBlock().first(std::min(bufferBytes, kWorkBufferBytes));
  PopulatePages(pcm.data(), pcm.size());
  std::fill(pcm.begin(), pcm.end(), 0);

  LockedRegions whole;
  if (soundBuffer->Lock(0, bufferBytes, &whole) != kSoundOk || !whole.ptr1 || whole.bytes1 == 0) {
    state_.lastError = kBufferLockFailed;
    return state_.lastError;
  }
  std::memset(whole.ptr1, 0, whole.bytes1);
  if (soundBuffer->Unlock(whole) != kSoundOk) state_.lastError = kBufferLockFailed;
  LockedRegions half;
  if (soundBuffer->Lock(0, 2 * blockBytes, &half) != kSoundOk || !half.ptr1) {
    state_.lastError = kBufferLockFailed;
    return state_.lastError;
  }
  const std::span<uint8_t> region(half.ptr1, half.bytes1);
  writeCursor = 0;

  BlockRead read;
  read.error = state_.lastError;
  if (acmStreamOpen(acmStream, sourceFormat, pcmFormat, 0) != MMSYSERR_NOERROR) {
    controls_.ShowMessage("Failed acmStreamOpen", kMbOk);
    read.error = kAcmOpenFailed;
  }
  uint32_t length = read.error == 0 ? SourceLengthFor(region.size(), read.error) : 0;
  // An MPEG stream's frames do not line up with the block: read twice as much, decode what
  // fits and go back to the first byte not used.
  if (sourceFormat.format().wFormatTag == kWaveFormatMpegLayer3) length *= 2;
  length = WorkBufferShare(length);
  int read_result = 0;
  const uint32_t got = ReadSource(length, read_result);
  read.readFailed = read_result != 0;

  if (read.error == 0)
    read.decoded = ConvertRead(region, length, got, ACM_STREAMCONVERTF_START, read.error);
  if (read.error == 0) {
    // The thread started for this Play is waiting for its first block: the reader is still ours.
    controls_.SetPositionSliderValue(controls_.PositionSliderValue() + read.decoded.srcUsed);
    PlaceReaderAtSlider();
    const uint32_t before = read.decoded.srcUsed;
    TopUp(region, read);
    position = std::min(position + (read.decoded.srcUsed - before), dataBytes);
    controls_.SetPositionSliderValue(position);
  }
  if (read_result != 0 && read.error == 0) read.error = -read_result;
  if (read.readFailed) state_.endOfData = 1;
  state_.lastError = read.error;
  // The reader and the codec stream pass to the thread here: the third block can be on its
  // way while these two are equalised and the first is played.
  DecodeNextAhead();
  PopulatePages(codedBlock().data(), read.decoded.dstUsed);
  std::memcpy(codedBlock().data(), region.data(), read.decoded.dstUsed);
  writeCursor += static_cast<uint32_t>(region.size());

  state_.playSettings.Equaliser = 1;
  RunEqualiser(region, codedBlock().first(read.decoded.dstUsed), true);
  if (soundBuffer->Unlock(half) != kSoundOk) state_.lastError = kBufferLockFailed;
  if (writeCursor >= bufferBytes) writeCursor -= bufferBytes;
  return state_.lastError;
}

// The user's Stop (and a file closed or replaced while it plays) ends the sound at once. A
// buffer the thread stopped at the end of the data is no longer playing: the end of the file
// the device still holds plays out.
void PlaybackStream::StopBuffer() {
  if (soundBuffer) soundBuffer->StopNow();
}

void PlaybackStream::ReleaseSoundObjects() {
  StopBuffer();
  ReleaseDevice();
}

void PlaybackStream::ReleaseDevice() {
  soundNotify.reset();
  soundBuffer.reset();
  soundObject.reset();
}

void PlaybackStream::CloseSource() {
  ReclaimSource();
  CloseWaveSource(sourceFile, sourceFormat);
}

void PlaybackStream::ReclaimSource() {
  if (!playThread.joinable()) return;
  state_.haltRequested = 1;
  StopBuffer();
  // A closed event fails the thread's wait at once, wherever it stands.
  for (const EventHandle& e : playEvents) {
    if (e) e->Close();
  }
  playThread.join();
}

uint32_t PlaybackStream::SourceLengthFor(uint32_t destBytes, int& error) {
  uint32_t length = 0;
  const MMRESULT rc = acmStreamSize(acmStream, destBytes, length, ACM_STREAMSIZEF_DESTINATION);
  // A codec block whose output is larger than the whole destination: one block is taken and
  // what does not fit waits in the stream for the next block.
  if (rc == ACMERR_NOTPOSSIBLE) return std::max<uint32_t>(1, sourceFormat.format().nBlockAlign);
  uint32_t check = 0;
  if (rc != MMSYSERR_NOERROR ||
      acmStreamSize(acmStream, length, check, ACM_STREAMSIZEF_SOURCE) != MMSYSERR_NOERROR) {
    error = kAcmSizeFailed;
    return 0;
  }
  return WorkBufferShare(length);
}

uint32_t PlaybackStream::WorkBufferShare(uint32_t length) const {
  // Whole source blocks only: a frame cut at the buffer's end would shift every later one.
  const uint32_t unit = std::max<uint32_t>(1, sourceFormat.format().nBlockAlign);
  return std::min(length, kWorkBufferBytes - kWorkBufferBytes % unit);
}

uint32_t PlaybackStream::ReadSource(uint32_t length, int& result) {
  const std::span<uint8_t> into = pcmBlock().first(length);
  uint32_t got = 0;
  result = ReadWaveData(sourceFile, into, dataChunk, got);
  std::fill(into.begin() + got, into.end(), 0);
  // A file that cannot be read on (cut by another program while open, a read error) ends
  // where it failed: what was read plays and the song ends as any song ends.
  if (result != 0) dataChunk.cksize = 0;
  return got;
}

PlaybackStream::Decoded PlaybackStream::Convert(std::span<uint8_t> region, uint32_t srcLength,
                                                uint32_t flags, int& error) {
  acmHeader = ACMSTREAMHEADER{};
  acmHeader.pbSrc = pcmBlock().data();
  acmHeader.cbSrcLength = srcLength;
  acmHeader.pbDst = region.data();
  acmHeader.cbDstLength = static_cast<uint32_t>(region.size());
  if (acmStreamPrepareHeader(acmStream, acmHeader, 0) != MMSYSERR_NOERROR) {
    error = kAcmPrepareFailed;
    return {};
  }
  if (acmStreamConvert(acmStream, acmHeader, flags) != MMSYSERR_NOERROR) error = kAcmConvertFailed;
  const Decoded decoded{acmHeader.cbSrcLengthUsed, acmHeader.cbDstLengthUsed};
  if (acmStreamUnprepareHeader(acmStream, acmHeader, 0) != MMSYSERR_NOERROR)
    error = kAcmUnprepareFailed;
  return decoded;
}

PlaybackStream::Decoded PlaybackStream::ConvertRead(std::span<uint8_t> region, uint32_t length,
                                                    uint32_t got, uint32_t flags, int& error) {
  // Zero bytes are not silence in every format (8-bit PCM, A-law, mu-law, GSM): at the end of
  // the data the codec takes what was read and ends the stream itself.
  if (got < length) return Convert(region, got, flags | ACM_STREAMCONVERTF_END, error);
  return Convert(region, length, flags, error);
}

void PlaybackStream::TopUp(std::span<uint8_t> region, BlockRead& read) {
  Decoded& done = read.decoded;
  // Enough for any codec; the rounds only guard against a source that decodes to nothing.
  constexpr int kMostRounds = 64;
  const uint32_t unit = std::max<uint32_t>(1, sourceFormat.format().nBlockAlign);
  for (int round = 0; round < kMostRounds && done.dstUsed < region.size() && dataChunk.cksize > 0 &&
                      read.error == 0;
       ++round) {
    const auto room = static_cast<uint32_t>(region.size() - done.dstUsed);
    uint32_t want = 0;
    if (acmStreamSize(acmStream, room, want, ACM_STREAMSIZEF_DESTINATION) != MMSYSERR_NOERROR ||
        want == 0)
      want = unit;
    want = WorkBufferShare(want);
    int read_result = 0;
    const uint32_t got = ReadSource(want, read_result);
    if (read_result != 0) {
      read.error = -read_result;
      read.readFailed = true;
    }
    if (got == 0) break;
    const Decoded more = ConvertRead(region.subspan(done.dstUsed), want, got,
                                     ACM_STREAMCONVERTF_BLOCKALIGN, read.error);
    done.srcUsed += more.srcUsed;
    done.dstUsed += more.dstUsed;
    if (got < want || (more.srcUsed == 0 && more.dstUsed == 0)) break;
  }
}

void PlaybackStream::RunEqualiser(std::span<uint8_t> region, std::span<const uint8_t> decoded,
                                  bool allBands) {
  EqualiserBands bands;
  for (int band = 0; band < kEqualiserBands; ++band) {
    const int32_t value = state_.playSettings.EqBand[band];
    bands.run[band] = allBands || value != 0;
    bands.gain[band] = EqualiserGain(value);
  }
  const uint16_t channels = pcmFormat.format().nChannels;
  const auto frames = static_cast<uint32_t>(decoded.size() / (2u * channels));
  ApplyEqualiser(region, decoded, bands, frames, channels, equaliser);
}

}  // namespace bw
