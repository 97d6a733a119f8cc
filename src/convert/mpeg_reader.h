// MPEG-1 audio frame headers and the file reader that finds them.
//
// Import creates one MpegFileReader and one MpegFrameHeader for a file, calls ParseNextHeader
// for the first frame, reads the header's fields and texts, and destroys both. Everything here
// runs on the user-interface thread (or in brookwave-cli); nothing is shared between threads.
//
// Only MPEG-1 streams are accepted. The first header fixes the stream's sync pattern (sync,
// version, sampling frequency and whether it is single channel); every later header must match
// it, so the search slides over anything that does not.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bw {

// A read-only file with a read buffer: the header search slides one byte at a time and must
// not cost a system call per byte.
class BufferedInputFile {
 public:
  BufferedInputFile() = default;
  ~BufferedInputFile() { Close(); }
  BufferedInputFile(const BufferedInputFile&) = delete;
  BufferedInputFile& operator=(const BufferedInputFile&) = delete;

  // Opens an existing regular file for reading (devices, pipes and folders are refused, so a
  // read can neither block nor run forever).
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // Reads up to `count` bytes at the current position: the number read (short only at the end
  // of the file), or -1 on a read error or when the file is not open.
  std::ptrdiff_t Read(uint8_t* out, std::size_t count);
  uint64_t Position() const { return position_; }
  void Seek(uint64_t position) { position_ = position; }
  // The file's size in bytes, 0 when not open.
  uint64_t Size() const;

 private:
  bool Refill();

  int fd_ = -1;
  uint64_t position_ = 0;
  std::vector<uint8_t> buffer_;
  uint64_t bufferStart_ = 0;  // file offset of buffer_[0]
  std::size_t bufferFill_ = 0;
};

class MpegFileReader {
 public:
  // One frame body at most: MPEG-1 Layer II at 32 kHz, 384 kbit/s with padding is 1,725 bytes.
  static constexpr std::size_t kFrameBufferWords = 433;
  static constexpr std::size_t kFrameBufferBytes = kFrameBufferWords * 4;

  MpegFileReader() = default;
  ~MpegFileReader() { Close(); }
  MpegFileReader(const MpegFileReader&) = delete;
  MpegFileReader& operator=(const MpegFileReader&) = delete;

  // Opens the file read-only. On failure shows "Error opening file: PATH" (caption "Invalid
  // handle") and returns false; the reader stays unusable and every later read fails.
  bool Open(const std::string& path);
  void Close();

  // Finds the next frame header by sliding one byte at a time. The initial search (strict =
  // false) accepts any 0xFFF sync; the strict one only headers that match the locked pattern.
  // An initial search from the start of the file first steps over leading ID3v2 tags.
  // On success `headerWord` holds the header in numeric order and the file is positioned after
  // it; false at the end of the file or on a read error.
  bool FindSync(bool strict, uint32_t& headerWord);
  // Fixes the sync pattern and the single-channel flag from a header word (already masked with
  // kLockMask by the caller, unmasked bits are ignored anyway).
  void LockSyncPattern(uint32_t word);
  // Reads the next n bytes as the frame body and restarts the bit cursor at its first bit.
  // False, with nothing loaded, if n does not fit the frame buffer or the file ends first.
  bool LoadFrame(int32_t n);
  // The next k bits (k <= 17) of the loaded frame, most significant first. Bits past the loaded
  // frame read as zero; k above 17 takes nothing and gives 0.
  uint32_t TakeBits(int32_t k);
  // The file's size in bytes (saturated to 32 bits).
  uint32_t FileLength() const;

  int32_t currentFrameNumber() const { return currentFrame; }
  int32_t lastFrameNumber() const { return lastFrame; }

  static constexpr uint32_t kLockMask = 0xFFF80CC0;

 private:
  void SkipId3v2Tags();
  uint32_t LoadedWord(std::size_t index) const;
  void NextWord();

  BufferedInputFile fileHandle;
  std::array<uint32_t, kFrameBufferWords> frameBuffer{};
  int32_t frameBytes = 0;
  std::size_t wordCursor = 0;  // index into frameBuffer
  int32_t bitIndex = 0;        // bits of the current word already taken, 0-31
  uint32_t syncPattern = 0;    // bytes b0, b1 & 0xF8, b2 & 0x0C in file order (b0 lowest)
  int32_t singleChannel = 0;
  int32_t currentFrame = -1;
  int32_t lastFrame = -1;
};

class MpegFrameHeader {
 public:
  MpegFrameHeader() = default;

  // Finds, decodes and loads the next frame. The first call locks the stream's sync pattern and
  // refuses MPEG-2 LSF streams and the reserved sampling frequency with their messages. False,
  // without loading a frame, for a reserved layer or a free-format or forbidden bit rate (a
  // message only for the first header), when no header is left, or when the frame is cut off.
  bool ParseNextHeader(MpegFileReader& reader);
  // Sets frameLength (bytes after the 4-byte header) and mainDataSlots from the decoded fields;
  // zero or negative for a reserved layer or a free-format or forbidden bit rate.
  int32_t ComputeFrameLength();
  // The file's size divided by the length of a frame like this one without padding.
  uint32_t EstimateFrameCount(const MpegFileReader& reader) const;

  // "128 kbit/s", "free format", "forbidden"; empty for a reserved layer.
  std::string BitrateText() const;
  // "44100 Hz   " and the like, blanks included; empty for the reserved index 3.
  std::string SampleRateText() const;
  // The mode's name padded with blanks to 30 characters.
  std::string ChannelModeText() const;

  // Entry i of the frame-offset table: how many of frames 0..i carried padding (44.1 kHz
  // streams only). Entries not yet reached read as 0.
  uint32_t FrameOffset(std::size_t i) const {
    return i < frameOffsets.size() ? frameOffsets[i] : 0;
  }

  int32_t layer = 0;  // 1, 2 or 3; 0 for the reserved layer code
  int32_t protectionBit = 0;
  int32_t bitrateIndex = 0;
  int32_t paddingBit = 0;
  int32_t modeExtension = 0;
  int32_t version = 0;  // 1 MPEG-1, 0 MPEG-2 LSF
  int32_t mode = 0;     // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
  int32_t sampleRateIndex = 0;
  int32_t subbandCount = 0;
  int32_t intensityStereoBound = 0;
  int32_t rightsFlag = 0;
  int32_t homeFlag = 0;
  int32_t synced = 0;
  uint32_t frameOffsetCount = 0;  // entries the table may hold (the frame-count estimate)
  uint16_t checksum = 0;
  int32_t frameLength = 0;
  int32_t mainDataSlots = 0;

 private:
  bool LockFirstHeader(MpegFileReader& reader, uint32_t& word);
  void DecodeFields(uint32_t word);
  void DeriveSubbands();
  void RecordFrameOffset(const MpegFileReader& reader);

  // Grows on demand up to frameOffsetCount entries, so a reader that stops after the first
  // frame never pays for the whole table.
  std::vector<uint32_t> frameOffsets;
};

}  // namespace bw
