// The playback side of the stream state: one source file played through a looping sound
// buffer of four blocks that a worker thread refills block by block. Every source, PCM
// included, is decoded by the codec layer into 16-bit PCM straight into the locked part of the
// buffer; the equaliser then adds its band outputs in place.
//
// The Play command calls the steps in order: PreparePlayback (once per open: the file, the
// device object, the buffer), then for every Play SeekToSliderPosition,
// SetupPlaybackNotifications (events, positions, the thread) and PrimePlayback (the first two
// blocks), and then starts the buffer. The thread posts WM_LEVEL_METER after every block and
// WM_STREAM_END once the last block has been heard (kDeviceLostCode when the device went away).
//
// Threads: every member function runs on the user-interface thread. The thread started by
// SetupPlaybackNotifications owns the source file, the codec stream, the work buffers and the
// equaliser state while it runs; the user-interface thread takes them back (ReclaimSource,
// which every step that touches them calls first) only after the thread has ended. With
// decodeAhead the reader, the codec stream and pcmBlock go to the thread's helper at the end
// of priming and again after each top-up, until the helper stops at a block that needs its own
// top-up; the helper is made with the thread and ends with it. The flags
// they share (StreamState: haltRequested, endOfData, playing, selectionPlay, selectionEnd,
// lastError, the equaliser values; `position` here) are atomic words read once per block.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "audio/background_job.h"
#include "audio/equaliser.h"
#include "platform/acm/acm.h"
#include "platform/event.h"
#include "platform/message_target.h"
#include "platform/riff/riff_file.h"
#include "platform/sound/sound.h"
#include "platform/wave_format.h"

namespace bw {

struct StreamState;

// What the playback steps change on the view's controls. The view's core implements it; the
// calls come on the user-interface thread.
class PlaybackControls {
 public:
  virtual ~PlaybackControls() = default;
  // A new source: the Frequency slider goes to its rate ("%6d Hz" in the Frequency box) and
  // the Channels box names mono or stereo.
  virtual void ShowSourceFormat(uint32_t samplesPerSec, uint16_t channels) = 0;
  // A new source's data: the end-time label, the Position box at 0, the position slider's
  // range 0..dataBytes.
  virtual void ShowDataLength(uint32_t dataBytes, uint32_t avgBytesPerSec) = 0;
  virtual uint32_t PositionSliderValue() const = 0;
  virtual void SetPositionSliderValue(uint32_t value) = 0;
  // The Position box shows the time of `value` bytes of the source.
  virtual void ShowSeekTime(uint32_t value) = 0;
  // A message box owned by the main window; returns the answer (0 if it could not be shown).
  virtual int ShowMessage(std::string_view text, unsigned style) = 0;
};

inline constexpr uint32_t kWorkBufferBytes = 400000;
// codedBlock keeps two decoded blocks and PrimePlayback decodes two blocks at once.
inline constexpr uint32_t kMaxBlockBytes = kWorkBufferBytes / 2;

// Sound buffer capabilities: frequency, pan, volume, position notify, global focus, cursor 2.
inline constexpr uint32_t kPlaybackBufferFlags = 0x000181E0;

// Results of PreparePlayback besides 0 and the failures of the platform layers.
inline constexpr int kPlaybackFileNotFound = -1;
inline constexpr int kPlaybackMessageFailed = -2;
inline constexpr int kPlaybackUnknownFormat = -3;
inline constexpr int kPlaybackOpenFailed = -100;
inline constexpr int kPlaybackDeviceFailed = -1;
inline constexpr int kPlaybackBufferFailed = -102;
inline constexpr int kPlaybackSeekFailed = -103;

// Codes the priming step and the thread leave in lastError.
inline constexpr int kAcmOpenFailed = -5000;
inline constexpr int kAcmSizeFailed = -5100;
inline constexpr int kAcmPrepareFailed = -5200;
inline constexpr int kAcmConvertFailed = -5300;
inline constexpr int kAcmUnprepareFailed = -5400;
inline constexpr int kAcmCloseFailed = -5500;
inline constexpr int kBufferLockFailed = -6000;

inline constexpr WPARAM kStreamEndCode = 100;
// WM_STREAM_END's code when the sound device went away with none to take over: the view stops
// as Stop does (a recording is finished), rather than moving on to the next song.
inline constexpr WPARAM kDeviceLostCode = 101;

// Bytes of decoded PCM per channel in one block for the source format, from its format tag;
// 0 for a format that cannot be played.
uint32_t PlaybackBlockBasis(const FormatBlock& format);

class PlaybackStream {
 public:
  PlaybackStream(StreamState& state, PlaybackControls& controls);
  ~PlaybackStream();
  PlaybackStream(const PlaybackStream&) = delete;
  PlaybackStream& operator=(const PlaybackStream&) = delete;

  // Opens `path`, derives the block size, creates the device object, the buffer and its notify
  // interface. Called with fileOpen already 1; the caller clears it on failure. Returns 0 or a
  // kPlayback... code (or the notify failure's code), after showing the failure's message.
  int PreparePlayback(const std::string& path);
  // Places the reader at the position slider's byte offset of the data; 1 if it ran, 0 when
  // `playing` is set (it then does nothing).
  int SeekToSliderPosition();
  // Creates the events, starts the thread and sets the five notification positions; 0 on
  // success, else non-zero after a message.
  int SetupPlaybackNotifications();
  // Opens the codec stream and fills the first two blocks; returns lastError.
  int PrimePlayback();

  // Stop: the buffer stops and its stop event wakes the thread, which ends. Never waits.
  void StopBuffer();
  // File Close: the buffer stops and the device objects are released (the thread keeps its
  // own references until it ends).
  void ReleaseSoundObjects();
  // File Close: the source is closed once the thread has let go of it.
  void CloseSource();
  // Ends the thread (telling it to halt first) and waits for it; the source, the codec stream
  // and the work buffers then belong to the user-interface thread again.
  void ReclaimSource();

  // ---- the record's fields ----
  std::string playPath;
  RiffFile sourceFile;
  MMCKINFO riffChunk;
  MMCKINFO dataChunk;  // cksize: the data bytes not yet read
  FormatBlock sourceFormat;
  FormatBlock pcmFormat;
  uint32_t blockBasis = 0;
  uint32_t blockBytes = 0;
  uint32_t bufferBytes = 0;
  uint32_t writeCursor = 0;
  uint32_t dataBytes = 0;
  std::atomic<uint32_t> position{0};  // source bytes consumed, never above dataBytes
  std::time_t sourceCreated = 0;      // when the source was created (or last changed)
  int64_t sourceSize = 0;
  std::shared_ptr<SoundDevice> soundObject;
  SoundBufferDesc bufferDesc;
  std::shared_ptr<SoundBuffer> soundBuffer;
  std::shared_ptr<SoundNotify> soundNotify;
  std::array<EventHandle, 2> playEvents;  // [0] block, [1] stop
  std::thread playThread;
  HACMSTREAM acmStream;
  ACMSTREAMHEADER acmHeader;
  EqualiserState equaliser;
  // The thread reads and decodes the next block on a helper thread while the block just
  // decoded is equalised and played: for a device whose clock runs as fast as the engine
  // keeps up (an offline render), where decoding then has a core of its own. Blocks and
  // messages are the same either way. Set before Play.
  bool decodeAhead = false;

 private:
  // What the thread works with: its own references, so that File Close may drop the stream's.
  struct ThreadObjects {
    std::shared_ptr<SoundBuffer> buffer;
    std::array<EventHandle, 2> events;
    MessageTarget* window = nullptr;
  };
  struct Decoded {
    uint32_t srcUsed = 0;
    uint32_t dstUsed = 0;
  };
  // A block's worth of the source read and decoded, and what went wrong on the way: kept apart
  // from the stream state, so that a block decoded ahead reports only when it is played.
  struct BlockRead {
    uint32_t length = 0;  // source bytes asked for
    uint32_t got = 0;     // source bytes the first read gave
    Decoded decoded;
    int error = 0;            // for lastError
    bool readFailed = false;  // a read failed: the data ends there

    bool DataEnded() const { return got < length || readFailed; }
    // Nothing to top up: the block came out whole.
    bool Whole(uint32_t blockBytes) const { return decoded.dstUsed >= blockBytes; }
  };
  // The blocks the helper decodes while the thread goes on. Once started it runs from one
  // block to the next as long as each comes out whole and the data goes on: the one step that
  // depends on what the thread knows when it takes a block, the top-up, then has nothing to
  // do. A block that needs its top-up, or ends the data, is the last until it is taken. Blocks
  // decoded past the end of a selection are dropped; the next Play places the reader anew.
  struct Ahead {
    static constexpr int kBlocks = 3;
    struct Block {
      std::vector<uint8_t> bytes;
      BlockRead read;
    };
    std::array<Block, kBlocks> blocks;
    int take = 0;  // the thread's: the next block to take
    int fill = 0;  // the helper's: the next block to decode into
    std::mutex mutex;
    std::condition_variable decoded;
    // Changed under `mutex`; atomic so that a spinning wait may read them without it.
    std::atomic<int> ready = 0;            // blocks decoded and not yet taken
    std::atomic<bool> running = false;     // the helper is decoding
    bool goesOn = false;                   // under `mutex`: the block decoded last needs no top-up
    BackgroundJob job{"bw decode ahead"};  // last: its thread ends before the rest goes
  };
  enum class Refill { kDone, kLockFailed };

  int PlaybackThreadProc(ThreadObjects objects);
  void PlaceReaderAtSlider();
  Refill RefillBlock(const ThreadObjects& objects, int& drainNotifications);
  // Reads and decodes the next block into `into`, without the top-up.
  BlockRead DecodeBlock(std::span<uint8_t> into);
  // The next block in `region`: decoded ahead, or now when it was not.
  BlockRead TakeBlock(std::span<uint8_t> region);
  // Sets the helper decoding from the block after the one just written, when blocks are
  // decoded ahead, there is one to decode and the helper is not on its way already.
  void DecodeNextAhead();
  // The helper's job: blocks one after another until the next must wait for a take.
  void DecodeAhead(Ahead& ahead);
  // Blocks the play cursor has passed that are still to be refilled (0 to 2).
  uint32_t BlocksToRefill(const SoundBuffer& buffer) const;
  void SilenceNextBlock(SoundBuffer& buffer);
  // Posts `message` with the position as lParam to the view.
  void Post(const ThreadObjects& objects, uint32_t message, WPARAM wparam);

  // Source length for `destBytes` of output (acmStreamSize, destination), checked once more
  // the other way; 0 after setting `error` to kAcmSizeFailed.
  uint32_t SourceLengthFor(uint32_t destBytes, int& error);
  // `length` held to what pcmBlock takes in whole source blocks.
  uint32_t WorkBufferShare(uint32_t length) const;
  // Reads `length` source bytes into pcmBlock, zero-filling what the data did not supply. A
  // failed read (`result` non-zero) ends the data there.
  uint32_t ReadSource(uint32_t length, int& result);
  // One prepare-convert-unprepare of pcmBlock[0, srcLength) into `region`; a failure's code
  // goes to `error`.
  Decoded Convert(std::span<uint8_t> region, uint32_t srcLength, uint32_t flags, int& error);
  // Converts `length` bytes read into pcmBlock, or at the end of the data (`got` short of
  // `length`) the bytes read with the end-of-stream flag.
  Decoded ConvertRead(std::span<uint8_t> region, uint32_t length, uint32_t got, uint32_t flags,
                      int& error);
  // Decodes more of the source into the rest of `region` after what `read` decoded, so that
  // every block is played whole and the writes stay in step with the notification positions.
  void TopUp(std::span<uint8_t> region, BlockRead& read);
  void RunEqualiser(std::span<uint8_t> region, std::span<const uint8_t> decoded, bool allBands);
  std::span<uint8_t> pcmBlock();
  std::span<uint8_t> codedBlock();
  void ReleaseDevice();

  StreamState& state_;
  PlaybackControls& controls_;
  std::unique_ptr<Ahead> ahead_;  // while the thread decodes ahead
};

}  // namespace bw
