#include "convert/mpeg_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <string_view>

#include "platform/message_box.h"

namespace bw {
namespace {

constexpr std::string_view kStreamNotSupported = "Stream not supported";
constexpr std::size_t kInputBufferBytes = 64 * 1024;

// kbit/s by [version][layer - 1][index]; version 0 is MPEG-2 LSF. Indices 0 (free format) and
// 15 (forbidden) carry no rate.
constexpr uint16_t kBitrateKbit[2][3][16] = {
    {
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
    },
    {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    },
};

// Hz by [version][index]; index 3 is reserved and holds 1 so that no division is by zero.
constexpr int32_t kSampleRate[2][4] = {{22050, 24000, 16000, 1}, {44100, 48000, 32000, 1}};
constexpr std::string_view kSampleRateText[2][3] = {
    {"22050 Hz   ", "24000 Hz      ", "16000 Hz      "},
    {"44100 Hz   ", "48000 Hz      ", "32000 Hz      "},
};
constexpr std::string_view kModeName[4] = {"Stereo", "Joint Stereo", "Dual channel",
                                           "Single channel"};
constexpr std::size_t kModeTextWidth = 30;

// The locked bytes b0, b1 & 0xF8 and b2 & 0x0C, with b0 as the lowest byte (file order).
constexpr uint32_t kPatternMaskFileOrder = 0x000CF8FF;

uint32_t FileOrderWord(const std::array<uint8_t, 4>& b) {
  return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

uint32_t NumericWord(const uint8_t* b) {
  return uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | uint32_t{b[3]};
}

uint32_t Field(uint32_t word, int lowBit, int bits) {
  return (word >> lowBit) & ((1u << bits) - 1u);
}

// "ID3", a version and revision that are not 0xFF, flags, and a size of four 7-bit bytes.
bool IsId3v2Header(const std::array<uint8_t, 10>& h) {
  return h[0] == 'I' && h[1] == 'D' && h[2] == '3' && h[3] != 0xFF && h[4] != 0xFF &&
         (h[6] | h[7] | h[8] | h[9]) < 0x80;
}

uint64_t Id3v2TagBytes(const std::array<uint8_t, 10>& h) {
  const uint64_t body = uint64_t{h[6]} << 21 | uint64_t{h[7]} << 14 | uint64_t{h[8]} << 7 | h[9];
  const uint64_t footer = (h[5] & 0x10) != 0 ? 10 : 0;
  return 10 + body + footer;
}

bool IsFirstSyncCandidate(const std::array<uint8_t, 4>& b) {
  return b[0] == 0xFF && (b[1] & 0xF0) == 0xF0;
}

}  // namespace

// --- BufferedInputFile --------------------------------------------------------------------

bool BufferedInputFile::Open(const std::string& path) {
  Close();
  // O_NONBLOCK: opening a pipe must not wait for a writer before it is refused below.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  position_ = 0;
  bufferStart_ = 0;
  bufferFill_ = 0;
  buffer_.resize(kInputBufferBytes);
  return true;
}

void BufferedInputFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  bufferFill_ = 0;
}

bool BufferedInputFile::Refill() {
  for (;;) {
    const ssize_t got = ::pread(fd_, buffer_.data(), buffer_.size(), static_cast<off_t>(position_));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    bufferStart_ = position_;
    bufferFill_ = static_cast<std::size_t>(got);
    return true;
  }
}

std::ptrdiff_t BufferedInputFile::Read(uint8_t* out, std::size_t count) {
  if (fd_ < 0) return -1;
  std::size_t done = 0;
  while (done < count) {
    const bool buffered = position_ >= bufferStart_ && position_ < bufferStart_ + bufferFill_;
    if (!buffered) {
      if (!Refill()) return -1;
      if (bufferFill_ == 0) break;  // end of file
    }
    const std::size_t offset = static_cast<std::size_t>(position_ - bufferStart_);
    const std::size_t n = std::min(count - done, bufferFill_ - offset);
    std::memcpy(out + done, buffer_.data() + offset, n);
    done += n;
    position_ += n;
  }
  return static_cast<std::ptrdiff_t>(done);
}

uint64_t BufferedInputFile::Size() const {
  struct stat info {};
  if (fd_ < 0 || ::fstat(fd_, &info) != 0) return 0;
  return static_cast<uint64_t>(info.st_size);
}

// --- MpegFileReader -----------------------------------------------------------------------

bool MpegFileReader::Open(const std::string& path) {
  wordCursor = 0;
  bitIndex = 0;
  frameBytes = 0;
  currentFrame = -1;
  lastFrame = -1;
  if (fileHandle.Open(path)) return true;
  ShowMessageBox("Error opening file: " + path, "Invalid handle", kMbOk);
  return false;
}

void MpegFileReader::Close() {
  fileHandle.Close();
}

// Tag text is often UTF-16, and its byte-order mark 0xFF 0xFE passes the initial sync test:
// sliding through a tag would take it for a frame.
void MpegFileReader::SkipId3v2Tags() {
  std::array<uint8_t, 10> h{};
  for (;;) {
    const uint64_t start = fileHandle.Position();
    if (fileHandle.Read(h.data(), h.size()) != static_cast<std::ptrdiff_t>(h.size()) ||
        !IsId3v2Header(h)) {
      fileHandle.Seek(start);
      return;
    }
    fileHandle.Seek(start + Id3v2TagBytes(h));
  }
}

bool MpegFileReader::FindSync(bool strict, uint32_t& headerWord) {
  if (!strict && fileHandle.Position() == 0) SkipId3v2Tags();
  std::array<uint8_t, 4> b{};
  for (;;) {
    if (fileHandle.Read(b.data(), b.size()) != static_cast<std::ptrdiff_t>(b.size())) return false;
    const bool found = strict ? (FileOrderWord(b) & kPatternMaskFileOrder) == syncPattern &&
                                    ((b[3] & 0xC0) == 0xC0) == (singleChannel != 0)
                              : IsFirstSyncCandidate(b);
    if (found) break;
    fileHandle.Seek(fileHandle.Position() - 3);  // a net advance of one byte
  }
  headerWord = NumericWord(b.data());
  ++currentFrame;
  lastFrame = std::max(lastFrame, currentFrame);
  return true;
}

void MpegFileReader::LockSyncPattern(uint32_t word) {
  const uint32_t b0 = word >> 24;
  const uint32_t b1 = (word >> 16) & 0xF8;
  const uint32_t b2 = (word >> 8) & 0x0C;
  syncPattern = (b0 | b1 << 8 | b2 << 16) & kPatternMaskFileOrder;
  singleChannel = Field(word, 6, 2) == 3 ? 1 : 0;
}

bool MpegFileReader::LoadFrame(int32_t n) {
  frameBytes = 0;
  wordCursor = 0;
  bitIndex = 0;
  if (n < 0 || static_cast<std::size_t>(n) > kFrameBufferBytes) return false;
  const std::size_t words = (static_cast<std::size_t>(n) + 3) / 4;
  auto* bytes = reinterpret_cast<uint8_t*>(frameBuffer.data());
  // The last word's bytes past the frame must not carry bits of an earlier frame.
  std::memset(bytes, 0, words * 4);
  if (fileHandle.Read(bytes, static_cast<std::size_t>(n)) != n) return false;
  for (std::size_t w = words; w-- > 0;) {
    uint8_t raw[4];
    std::memcpy(raw, bytes + w * 4, 4);
    frameBuffer[w] = NumericWord(raw);
  }
  frameBytes = n;
  return true;
}

uint32_t MpegFileReader::LoadedWord(std::size_t index) const {
  const std::size_t loaded = (static_cast<std::size_t>(frameBytes) + 3) / 4;
  return index < loaded ? frameBuffer[index] : 0;
}

void MpegFileReader::NextWord() {
  const std::size_t loaded = (static_cast<std::size_t>(frameBytes) + 3) / 4;
  if (wordCursor < loaded) ++wordCursor;
}

uint32_t MpegFileReader::TakeBits(int32_t k) {
  // k = 0 would shift a word by 32 at bit 0; it takes nothing either way.
  if (k <= 0 || k > 17) return 0;
  const uint32_t mask = (1u << k) - 1u;
  if (bitIndex + k <= 32) {
    const uint32_t value = (LoadedWord(wordCursor) >> (32 - (bitIndex + k))) & mask;
    bitIndex += k;
    if (bitIndex == 32) {
      bitIndex = 0;
      NextWord();
    }
    return value;
  }
  const uint32_t joined =
      (LoadedWord(wordCursor) & 0xFFFFu) << 16 | LoadedWord(wordCursor + 1) >> 16;
  const uint32_t value = (joined >> (48 - (bitIndex + k))) & mask;
  NextWord();
  bitIndex = bitIndex + k - 32;
  return value;
}

uint32_t MpegFileReader::FileLength() const {
  return static_cast<uint32_t>(
      std::min<uint64_t>(fileHandle.Size(), std::numeric_limits<uint32_t>::max()));
}

// --- MpegFrameHeader ----------------------------------------------------------------------

bool MpegFrameHeader::LockFirstHeader(MpegFileReader& reader, uint32_t& word) {
  if (!reader.FindSync(false, word)) return false;
  if (Field(word, 19, 1) == 0) {
    ShowMessageBox("Sorry, MPEG-2 LSF is not supported yet.", kStreamNotSupported,
                   kMbOk | kMbIconError);
    return false;
  }
  if (Field(word, 10, 2) == 3) {
    ShowMessageBox("Unknown sample frequency in header", kStreamNotSupported, kMbOk | kMbIconError);
    return false;
  }
  reader.LockSyncPattern(word & MpegFileReader::kLockMask);
  synced = 1;
  return true;
}

void MpegFrameHeader::DecodeFields(uint32_t word) {
  version = static_cast<int32_t>(Field(word, 19, 1));
  layer = static_cast<int32_t>((4 - Field(word, 17, 2)) & 3);
  protectionBit = static_cast<int32_t>(Field(word, 16, 1));
  bitrateIndex = static_cast<int32_t>(Field(word, 12, 4));
  sampleRateIndex = static_cast<int32_t>(Field(word, 10, 2));
  paddingBit = static_cast<int32_t>(Field(word, 9, 1));
  mode = static_cast<int32_t>(Field(word, 6, 2));
  modeExtension = static_cast<int32_t>(Field(word, 4, 2));
  rightsFlag = static_cast<int32_t>(Field(word, 3, 1));
  homeFlag = static_cast<int32_t>(Field(word, 2, 1));
}

void MpegFrameHeader::DeriveSubbands() {
  intensityStereoBound = mode == 1 ? 4 * modeExtension + 4 : 0;
  if (layer == 1) {
    subbandCount = 32;
  } else {
    // Layer II's allocation table follows the bit rate per channel; the unsigned wrap sends
    // the lowest stereo rates to the "every other case" row.
    uint32_t i = static_cast<uint32_t>(bitrateIndex);
    if (mode != 3) i = i == 4 ? 1u : i - 4u;
    if (i == 1 || i == 2) {
      subbandCount = sampleRateIndex == 2 ? 12 : 8;
    } else if (sampleRateIndex == 1 || (i >= 3 && i <= 5)) {
      subbandCount = 27;
    } else {
      subbandCount = 30;
    }
  }
  intensityStereoBound = std::min(intensityStereoBound, subbandCount);
}

int32_t MpegFrameHeader::ComputeFrameLength() {
  mainDataSlots = 0;
  if (layer < 1 || layer > 3) {
    frameLength = 0;
    return frameLength;
  }
  const int64_t bitrate = int64_t{kBitrateKbit[version & 1][layer - 1][bitrateIndex & 15]} * 1000;
  const int64_t frequency = kSampleRate[version & 1][sampleRateIndex & 3];
  if (layer == 1) {
    const int64_t slots = 12 * bitrate / frequency + paddingBit;
    frameLength = static_cast<int32_t>(4 * slots - 4);
    return frameLength;
  }
  int64_t slots = 144 * bitrate / frequency;
  if (version == 0) slots /= 2;
  slots += paddingBit;
  frameLength = static_cast<int32_t>(slots - 4);
  if (layer == 3) {
    const int32_t side = version == 1 ? (mode == 3 ? 17 : 32) : (mode == 3 ? 9 : 17);
    const int32_t check = protectionBit == 0 ? 2 : 0;
    mainDataSlots = static_cast<int32_t>(slots) - side - check - 4;
  }
  return frameLength;
}

uint32_t MpegFrameHeader::EstimateFrameCount(const MpegFileReader& reader) const {
  const int64_t divisor = int64_t{frameLength} + 4 - paddingBit;
  if (divisor <= 0) return 0;
  return static_cast<uint32_t>(reader.FileLength() / divisor);
}

void MpegFrameHeader::RecordFrameOffset(const MpegFileReader& reader) {
  if (frameOffsetCount == 0) frameOffsetCount = EstimateFrameCount(reader);
  const int32_t current = reader.currentFrameNumber();
  const bool continuing = current > 0 && current == reader.lastFrameNumber();
  const std::size_t entry = continuing ? static_cast<std::size_t>(current) : 0;
  // Padded frames are longer than the one the estimate divides by, so a file can hold more
  // frames than the table has entries: those frames are not recorded.
  if (entry >= frameOffsetCount) return;
  if (frameOffsets.size() <= entry) frameOffsets.resize(entry + 1, 0);
  const uint32_t padding = static_cast<uint32_t>(paddingBit);
  frameOffsets[entry] = continuing ? frameOffsets[entry - 1] + padding : padding;
}

bool MpegFrameHeader::ParseNextHeader(MpegFileReader& reader) {
  uint32_t word = 0;
  const bool first = synced == 0;
  if (first ? !LockFirstHeader(reader, word) : !reader.FindSync(true, word)) return false;
  DecodeFields(word);
  DeriveSubbands();
  if (layer == 0 || bitrateIndex == 0 || bitrateIndex == 15) {
    // Such a header has no frame length to load; only the first one is worth telling about.
    if (first) {
      const char* text = layer == 0          ? "Reserved layer in header"
                         : bitrateIndex == 0 ? "Free format bit rate is not supported"
                                             : "Forbidden bit rate in header";
      ShowMessageBox(text, kStreamNotSupported, kMbOk | kMbIconError);
    }
    return false;
  }
  ComputeFrameLength();
  if (!reader.LoadFrame(frameLength)) return false;
  if (protectionBit == 0) checksum = static_cast<uint16_t>(reader.TakeBits(16));
  if (sampleRateIndex == 0) RecordFrameOffset(reader);
  return true;
}

std::string MpegFrameHeader::BitrateText() const {
  if (layer < 1 || layer > 3) return {};
  if (bitrateIndex == 0) return "free format";
  if (bitrateIndex == 15) return "forbidden";
  return std::to_string(kBitrateKbit[version & 1][layer - 1][bitrateIndex & 15]) + " kbit/s";
}

std::string MpegFrameHeader::SampleRateText() const {
  if (sampleRateIndex < 0 || sampleRateIndex > 2) return {};
  return std::string(kSampleRateText[version & 1][sampleRateIndex]);
}

std::string MpegFrameHeader::ChannelModeText() const {
  std::string text(kModeName[mode & 3]);
  text.resize(kModeTextWidth, ' ');
  return text;
}

}  // namespace bw
