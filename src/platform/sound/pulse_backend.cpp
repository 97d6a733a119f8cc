// The desktop's sound server through libpulse (PulseAudio, or PipeWire's pulse service), in
// 32-bit float at the device's own rate and up to two channels.
//
// Each stream has a connection of its own whose loop runs on the device thread inside Write
// and Read, so a stream costs one thread and a wake-up per chunk. The server keeps a few
// hundred milliseconds queued: the buffers above already give the engine seconds of slack, and
// what a player needs is few wake-ups, not a short delay. A stream whose device goes away (or
// whose server restarts) carries on on the device it was opened for, when that one is back,
// else on the default device.
#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/stream.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>

#include "platform/shared_library.h"
#include "platform/sound/sound_internal.h"

namespace bw {
namespace {

// libpulse, opened when a sound server is first looked for: a program that plays nothing, or
// plays through another backend, never maps it and the dozen libraries it brings in.
#define BW_PULSE_FUNCTIONS(X)        \
  X(pa_context_connect)              \
  X(pa_context_disconnect)           \
  X(pa_context_get_server_info)      \
  X(pa_context_get_sink_info_list)   \
  X(pa_context_get_source_info_list) \
  X(pa_context_get_state)            \
  X(pa_context_new)                  \
  X(pa_context_unref)                \
  X(pa_mainloop_dispatch)            \
  X(pa_mainloop_free)                \
  X(pa_mainloop_get_api)             \
  X(pa_mainloop_iterate)             \
  X(pa_mainloop_new)                 \
  X(pa_mainloop_poll)                \
  X(pa_mainloop_prepare)             \
  X(pa_mainloop_wakeup)              \
  X(pa_operation_get_state)          \
  X(pa_operation_unref)              \
  X(pa_stream_connect_playback)      \
  X(pa_stream_connect_record)        \
  X(pa_stream_cork)                  \
  X(pa_stream_disconnect)            \
  X(pa_stream_drain)                 \
  X(pa_stream_drop)                  \
  X(pa_stream_flush)                 \
  X(pa_stream_get_buffer_attr)       \
  X(pa_stream_get_state)             \
  X(pa_stream_get_timing_info)       \
  X(pa_stream_new)                   \
  X(pa_stream_peek)                  \
  X(pa_stream_set_buffer_attr)       \
  X(pa_stream_unref)                 \
  X(pa_stream_update_timing_info)    \
  X(pa_stream_writable_size)         \
  X(pa_stream_write)

struct PulseFunctions {
  BW_PULSE_FUNCTIONS(BW_FUNCTION_POINTER)
};

const LibrarySet<1, PulseFunctions>& PulseLibrary() {
  static const auto library = OpenLibrarySet<PulseFunctions>(
      std::array{"libpulse.so.0"}, [](const auto& from, PulseFunctions& functions) {
        bool ok = true;
        BW_PULSE_FUNCTIONS(BW_BIND_FUNCTION)
        return ok;
      });
  return library;
}

namespace pulse {
#define BW_PULSE_FORWARD(name) BW_FORWARD_FUNCTION(name, PulseLibrary().functions)
BW_PULSE_FUNCTIONS(BW_PULSE_FORWARD)
#undef BW_PULSE_FORWARD
}  // namespace pulse

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::string_view kPulseApi = "PulseAudio";
constexpr std::string_view kClientName = "Brookwave";
// A server that does not answer within this time is taken as absent.
constexpr milliseconds kAnswerTimeout{3000};
// The playback queue on the server, and what one wake-up writes or reads. The queue is short
// enough for the end of a file to be heard before the buffer above stops.
constexpr uint32_t kQueueMs = 500;
constexpr uint32_t kChunkMs = 150;
// Capture comes in pieces as far apart as the reader's blocks, within these bounds: the
// server holds up to a piece, which Stop asks for in short pieces, for kCatchUpTime at most.
constexpr uint32_t kLongestPieceMs = 1000;
constexpr uint32_t kCatchUpPieceMs = 20;
constexpr milliseconds kCatchUpTime{1000};

struct LoopFree {
  void operator()(pa_mainloop* m) const { pulse::pa_mainloop_free(m); }
};
struct ContextFree {
  void operator()(pa_context* c) const {
    pulse::pa_context_disconnect(c);
    pulse::pa_context_unref(c);
  }
};
struct StreamFree {
  void operator()(pa_stream* s) const {
    pulse::pa_stream_disconnect(s);
    pulse::pa_stream_unref(s);
  }
};
struct OperationFree {
  void operator()(pa_operation* o) const { pulse::pa_operation_unref(o); }
};
using LoopPtr = std::unique_ptr<pa_mainloop, LoopFree>;
using ContextPtr = std::unique_ptr<pa_context, ContextFree>;
using StreamPtr = std::unique_ptr<pa_stream, StreamFree>;
using OperationPtr = std::unique_ptr<pa_operation, OperationFree>;

// A sink or a source as the server lists it.
struct PulseDevice {
  std::string name;
  std::string description;
  StreamFormat format;
};

DeviceId PulseDeviceId(const std::string& name) {
  return NameBasedDeviceId(kPulseApi, name);
}

StreamFormat PlayableFormat(const pa_sample_spec& sample) {
  return {sample.rate, static_cast<uint16_t>(std::clamp<int>(sample.channels, 1, 2))};
}

template <typename Info>
void CollectDevice(const Info* info, int eol, void* userdata) {
  if (eol != 0 || info == nullptr) return;
  static_cast<std::vector<PulseDevice>*>(userdata)->push_back(
      {info->name ? info->name : "", info->description ? info->description : "",
       PlayableFormat(info->sample_spec)});
}

void CollectSink(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
  CollectDevice(info, eol, userdata);
}

void CollectSource(pa_context*, const pa_source_info* info, int eol, void* userdata) {
  CollectDevice(info, eol, userdata);
}

void CollectDefaults(pa_context*, const pa_server_info* info, void* userdata) {
  auto* names = static_cast<std::pair<std::string, std::string>*>(userdata);
  if (!info) return;
  names->first = info->default_sink_name ? info->default_sink_name : "";
  names->second = info->default_source_name ? info->default_source_name : "";
}

// A connection to the server whose loop runs on the calling thread. The loop outlives the
// contexts made on it, so that Wake works across a reconnection.
class PulseConnection {
 public:
  PulseConnection() : loop_(PulseLibrary().loaded ? pulse::pa_mainloop_new() : nullptr) {}

  // Connects afresh (dropping an earlier connection); false when no server answers in time.
  bool Connect() {
    stream_.reset();
    context_.reset();
    if (!loop_) return false;
    context_.reset(
        pulse::pa_context_new(pulse::pa_mainloop_get_api(loop_.get()), kClientName.data()));
    if (!context_ ||
        pulse::pa_context_connect(context_.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
      return false;
    const auto deadline = Clock::now() + kAnswerTimeout;
    for (;;) {
      const pa_context_state_t state = pulse::pa_context_get_state(context_.get());
      if (state == PA_CONTEXT_READY) return true;
      if (!PA_CONTEXT_IS_GOOD(state) || !IterateUntil(deadline)) return false;
    }
  }

  // Waits for `op` to finish, at most `timeout`.
  bool Await(pa_operation* raw, milliseconds timeout = kAnswerTimeout) {
    const OperationPtr op(raw);
    if (!op) return false;
    const auto deadline = Clock::now() + timeout;
    while (pulse::pa_operation_get_state(op.get()) == PA_OPERATION_RUNNING) {
      if (!Ready() || !IterateUntil(deadline)) return false;
    }
    return pulse::pa_operation_get_state(op.get()) == PA_OPERATION_DONE;
  }

  std::vector<PulseDevice> Devices(bool capture) {
    std::vector<PulseDevice> out;
    const bool listed =
        capture
            ? Await(pulse::pa_context_get_source_info_list(context_.get(), &CollectSource, &out))
            : Await(pulse::pa_context_get_sink_info_list(context_.get(), &CollectSink, &out));
    if (!listed) out.clear();
    return out;
  }

  // The server's default sink or source; nullopt when it has none.
  std::optional<PulseDevice> DefaultDevice(bool capture) {
    std::pair<std::string, std::string> names;
    if (!Await(pulse::pa_context_get_server_info(context_.get(), &CollectDefaults, &names)))
      return std::nullopt;
    const std::string& name = capture ? names.second : names.first;
    for (PulseDevice& d : Devices(capture)) {
      if (d.name == name) return std::move(d);
    }
    return std::nullopt;
  }

  // Opens a stream of `format` on the device named `device` (empty: the default), capture
  // delivered in pieces of `piece_frames`, and waits until it runs; false when the server
  // refuses it.
  bool OpenStream(StreamFormat format, const std::string& device, bool capture,
                  uint32_t piece_frames) {
    stream_.reset();
    // Capture comes as the 16-bit frames the buffers keep; playback goes as the float mix.
    const pa_sample_spec sample{capture ? PA_SAMPLE_S16NE : PA_SAMPLE_FLOAT32NE, format.rate,
                                static_cast<uint8_t>(format.channels)};
    stream_.reset(
        pulse::pa_stream_new(context_.get(), capture ? "Recording" : "Playback", &sample, nullptr));
    if (!stream_) return false;
    const uint32_t frame_bytes = (capture ? 2u : 4u) * format.channels;
    const uint32_t chunk = ChunkFramesFor(format) * frame_bytes;
    pa_buffer_attr attr;
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = format.rate * kQueueMs / 1000 * frame_bytes;
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = chunk;
    attr.fragsize = piece_frames * frame_bytes;
    const char* name = device.empty() ? nullptr : device.c_str();
    // Playback asks for a sink latency of (queue - 2 chunks) / 2; without it a sink sets its
    // own, up to seconds, and a monitor of it hears everything that late.
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY |
                                                      (capture ? PA_STREAM_START_CORKED : 0));
    const int connected = capture
                              ? pulse::pa_stream_connect_record(stream_.get(), name, &attr, flags)
                              : pulse::pa_stream_connect_playback(stream_.get(), name, &attr, flags,
                                                                  nullptr, nullptr);
    if (connected < 0) return false;
    const auto deadline = Clock::now() + kAnswerTimeout;
    for (;;) {
      const pa_stream_state_t state = pulse::pa_stream_get_state(stream_.get());
      if (state == PA_STREAM_READY) return true;
      if (!PA_STREAM_IS_GOOD(state) || !IterateUntil(deadline)) return false;
    }
  }

  static uint32_t ChunkFramesFor(StreamFormat format) { return format.rate * kChunkMs / 1000; }

  // Capture: the server sends what it holds in pieces of `bytes` from now on.
  bool SetPieceBytes(uint32_t bytes) {
    const pa_buffer_attr* granted = pulse::pa_stream_get_buffer_attr(stream_.get());
    if (!granted) return false;
    pa_buffer_attr attr = *granted;
    attr.fragsize = bytes;
    return Await(pulse::pa_stream_set_buffer_attr(stream_.get(), &attr, nullptr, nullptr));
  }

  // Capture: bytes the server has captured and not yet handed over, those in the source
  // included (0 when it cannot tell).
  uint64_t CapturedBytesNotRead(uint32_t frame_bytes, uint32_t rate) {
    if (!Await(pulse::pa_stream_update_timing_info(stream_.get(), nullptr, nullptr))) return 0;
    const pa_timing_info* t = pulse::pa_stream_get_timing_info(stream_.get());
    if (!t || t->write_index_corrupt || t->read_index_corrupt) return 0;
    const int64_t queued = std::max<int64_t>(0, t->write_index - t->read_index);
    const uint64_t in_source = t->source_usec * rate / 1000000 * frame_bytes;
    return static_cast<uint64_t>(queued) + in_source;
  }

  bool Ready() const {
    return context_ && pulse::pa_context_get_state(context_.get()) == PA_CONTEXT_READY;
  }
  bool StreamReady() const {
    return Ready() && stream_ && pulse::pa_stream_get_state(stream_.get()) == PA_STREAM_READY;
  }
  pa_stream* stream() const { return stream_.get(); }
  // Half the playback queue the server granted (it may be shorter than asked for).
  std::size_t HalfQueueBytes() const { return QueueBytes() / 2; }
  std::size_t QueueBytes() const {
    const pa_buffer_attr* attr =
        stream_ ? pulse::pa_stream_get_buffer_attr(stream_.get()) : nullptr;
    return attr ? attr->tlength : 0;
  }

  // Runs the loop until something happens (or Wake); false when the loop broke down.
  bool Iterate() { return pulse::pa_mainloop_iterate(loop_.get(), 1, nullptr) >= 0; }
  // Any thread: ends the wait of Iterate.
  void Wake() { pulse::pa_mainloop_wakeup(loop_.get()); }
  // Runs the loop once, waiting no later than `deadline`; false once it has passed.
  bool IterateUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    if (pulse::pa_mainloop_prepare(loop_.get(), static_cast<int>(left.count())) < 0) return false;
    return pulse::pa_mainloop_poll(loop_.get()) >= 0 &&
           pulse::pa_mainloop_dispatch(loop_.get()) >= 0;
  }

 private:
  LoopPtr loop_;
  ContextPtr context_;
  StreamPtr stream_;
};

// A stream on the device `wanted` (empty: the default device), in `format` throughout, so
// that the mixer above never sees it change.
class PulseStream {
 public:
  PulseStream(std::string wanted, StreamFormat format, bool capture)
      : wanted_(std::move(wanted)), format_(format), capture_(capture) {}

  // Connects to `wanted_` if the server has it, else to the default device.
  bool Open() {
    if (!connection_.Connect()) return false;
    const std::vector<PulseDevice> present = connection_.Devices(capture_);
    const bool there = std::any_of(present.begin(), present.end(),
                                   [&](const PulseDevice& d) { return d.name == wanted_; });
    if (there && connection_.OpenStream(format_, wanted_, capture_, piece_frames_)) return true;
    return connection_.OpenStream(format_, "", capture_, piece_frames_);
  }

  // Runs the loop once (waiting until `until` at most); a stream that has failed is opened
  // again first. False when it cannot be, or when Interrupt was called.
  bool Wait(std::optional<Clock::time_point> until = std::nullopt) {
    if (interrupted_) return false;
    if (!connection_.StreamReady()) {
      if (!Open()) return false;
      if (capture_ && started_) Uncork();
      return !interrupted_;
    }
    const bool ran =
        until ? connection_.IterateUntil(*until) || Clock::now() >= *until : connection_.Iterate();
    return ran && !interrupted_;
  }

  // Capture: pieces of `frames` from now on, also once the stream is opened again.
  void SetPieceFrames(uint32_t frames) {
    piece_frames_ = frames;
    if (connection_.StreamReady()) connection_.SetPieceBytes(frames * 2u * format_.channels);
  }
  uint32_t piece_frames() const { return piece_frames_; }

  void Uncork() {
    started_ = true;
    if (connection_.StreamReady())
      connection_.Await(pulse::pa_stream_cork(connection_.stream(), 0, nullptr, nullptr));
  }

  void Interrupt() {
    interrupted_ = true;
    connection_.Wake();
  }
  bool interrupted() const { return interrupted_; }
  StreamFormat format() const { return format_; }
  uint32_t ChunkFrames() const { return PulseConnection::ChunkFramesFor(format_); }
  PulseConnection& connection() { return connection_; }

 private:
  PulseConnection connection_;
  const std::string wanted_;
  const StreamFormat format_;
  const bool capture_;
  uint32_t piece_frames_ = PulseConnection::ChunkFramesFor(format_);
  bool started_ = false;
  std::atomic<bool> interrupted_{false};
};

class PulseOutput final : public OutputStream {
 public:
  explicit PulseOutput(std::unique_ptr<PulseStream> stream) : stream_(std::move(stream)) {}
  StreamFormat format() const override { return stream_->format(); }
  uint32_t ChunkFrames() const override { return stream_->ChunkFrames(); }
  bool Start() override { return true; }
  void Interrupt() override { stream_->Interrupt(); }

  // The queue the server granted, and a chunk to spare for the sink's own latency.
  milliseconds PlayOutTime() const override {
    PulseConnection& c = stream_->connection();
    const std::size_t frame_bytes = 4u * stream_->format().channels;
    const uint32_t queued_ms =
        static_cast<uint32_t>(c.QueueBytes() / frame_bytes * 1000 / stream_->format().rate);
    return milliseconds{std::max(queued_ms, kQueueMs) + kChunkMs};
  }

  // The server says when it has played everything, the sink's own latency included (a
  // sink of fixed latency, a pipe's or a Bluetooth headset's, may hold more than the queue);
  // a resting stream holds nothing.
  void PlayOut() override {
    PulseConnection& c = stream_->connection();
    if (!resting_ && c.StreamReady())
      c.Await(pulse::pa_stream_drain(c.stream(), nullptr, nullptr), PlayOutTime() + kAnswerTimeout);
  }

  // Corked, the stream no longer holds the sink running, so that the server lets it idle or
  // suspends it. Whatever is still queued is dropped: it would play before the next Write.
  void Rest() override {
    PulseConnection& c = stream_->connection();
    if (!c.StreamReady()) return;
    c.Await(pulse::pa_stream_cork(c.stream(), 1, nullptr, nullptr));
    c.Await(pulse::pa_stream_flush(c.stream(), nullptr, nullptr));
    resting_ = true;
  }

  // Writes once the server has room for the whole of it (a chunk; half the queue the server
  // granted, should that be less): the server hands out room a little at a time, at every message
  // it sends, and writing each piece as it comes would wake the thread for each.
  bool Write(const float* samples, uint32_t frames) override {
    const std::size_t frame_bytes = 4u * stream_->format().channels;
    const auto* bytes = reinterpret_cast<const uint8_t*>(samples);
    std::size_t left = frames * frame_bytes;
    if (resting_) WakeUp();
    while (left > 0) {
      PulseConnection& c = stream_->connection();
      const std::size_t writable = c.StreamReady() ? pulse::pa_stream_writable_size(c.stream()) : 0;
      const std::size_t n = std::min(left, writable / frame_bytes * frame_bytes);
      if (writable == static_cast<std::size_t>(-1) || n == 0 ||
          n < std::min(left, c.HalfQueueBytes()) ||
          pulse::pa_stream_write(c.stream(), bytes, n, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
        if (!stream_->Wait()) return stream_->interrupted();
        continue;
      }
      bytes += n;
      left -= n;
    }
    return true;
  }

 private:
  // A stream opened again since Rest runs already.
  void WakeUp() {
    resting_ = false;
    PulseConnection& c = stream_->connection();
    if (c.StreamReady()) c.Await(pulse::pa_stream_cork(c.stream(), 0, nullptr, nullptr));
  }

  std::unique_ptr<PulseStream> stream_;
  bool resting_ = false;
};

class PulseInput final : public InputStream {
 public:
  explicit PulseInput(std::unique_ptr<PulseStream> stream) : stream_(std::move(stream)) {}
  StreamFormat format() const override { return stream_->format(); }
  bool Start() override {
    stream_->Uncork();
    return true;
  }
  void Interrupt() override { stream_->Interrupt(); }

  void PreferPieces(uint32_t frames) override {
    const uint32_t rate = stream_->format().rate;
    preferred_frames_ = std::clamp(frames, PulseConnection::ChunkFramesFor(stream_->format()),
                                   rate * kLongestPieceMs / 1000);
    stream_->connection().Wake();
  }
  bool CatchUp() override {
    catch_up_asked_ = true;
    stream_->connection().Wake();
    return true;
  }
  bool CatchingUp() const override { return catch_up_asked_ || catching_up_; }

  // The fragments the server delivered, handed on in place. The stream is only opened again
  // while no fragment is held, so the one held stays valid.
  bool Next(InputPiece* piece) override {
    PulseConnection& c = stream_->connection();
    if (held_) {
      pulse::pa_stream_drop(c.stream());
      held_ = false;
    }
    for (;;) {
      if (c.StreamReady()) TakeRequests();
      if (catching_up_ && (owed_ == 0 || Clock::now() >= catch_up_until_)) {
        EndCatchUp();
        *piece = {nullptr, 0, true};
        return true;
      }
      const void* data = nullptr;
      std::size_t bytes = 0;
      if (c.StreamReady() && pulse::pa_stream_peek(c.stream(), &data, &bytes) >= 0 && bytes > 0) {
        held_ = true;
        owed_ -= std::min<uint64_t>(owed_, bytes);
        *piece = {data, static_cast<uint32_t>(bytes / FrameBytes()), true};  // no data: a gap
        return true;
      }
      if (!stream_->Wait(catching_up_ ? std::optional(catch_up_until_) : std::nullopt))
        return false;
    }
  }

 private:
  // The server's queue holds whole frames.
  uint32_t FrameBytes() const { return 2u * stream_->format().channels; }

  void TakeRequests() {
    const uint32_t preferred = preferred_frames_.exchange(0);
    if (preferred != 0 && preferred != stream_->piece_frames()) stream_->SetPieceFrames(preferred);
    if (!catch_up_asked_.exchange(false) || catching_up_) return;
    // What the server holds comes in short pieces, until what it held when asked is in.
    catching_up_ = true;
    catch_up_until_ = Clock::now() + kCatchUpTime;
    PulseConnection& c = stream_->connection();
    c.SetPieceBytes(stream_->format().rate * kCatchUpPieceMs / 1000 * FrameBytes());
    owed_ = c.CapturedBytesNotRead(FrameBytes(), stream_->format().rate);
  }

  void EndCatchUp() {
    catching_up_ = false;
    owed_ = 0;
    if (stream_->connection().StreamReady()) stream_->SetPieceFrames(stream_->piece_frames());
  }

  std::unique_ptr<PulseStream> stream_;
  bool held_ = false;
  std::atomic<uint32_t> preferred_frames_{0};  // 0: no new wish
  std::atomic<bool> catch_up_asked_{false};
  bool catching_up_ = false;
  Clock::time_point catch_up_until_;
  uint64_t owed_ = 0;  // bytes still to come of what the server held when asked
};

std::vector<PulseDevice> ListDevices(bool capture) {
  PulseConnection connection;
  if (!connection.Connect()) return {};
  return connection.Devices(capture);
}

// The stream for `id` (the default device when null, all zero or not present): nullptr when
// no server answers or it opens nothing.
template <typename Stream>
std::unique_ptr<Stream> OpenPulse(const DeviceId* id, bool capture) {
  PulseConnection probe;
  if (!probe.Connect()) return nullptr;
  std::optional<PulseDevice> chosen;
  if (id && !id->IsDefault()) {
    for (PulseDevice& d : probe.Devices(capture)) {
      if (PulseDeviceId(d.name) == *id) chosen = std::move(d);
    }
  }
  const std::optional<PulseDevice> fallback = probe.DefaultDevice(capture);
  const StreamFormat format = chosen     ? chosen->format
                              : fallback ? fallback->format
                                         : StreamFormat{44100, 2};
  auto stream = std::make_unique<PulseStream>(chosen ? chosen->name : "", format, capture);
  if (!stream->Open()) return nullptr;
  return std::make_unique<Stream>(std::move(stream));
}

}  // namespace

bool PulseServerAnswers() {
  PulseConnection connection;
  return connection.Connect();
}

std::vector<SoundDeviceInfo> PulseDevices(bool capture) {
  std::vector<SoundDeviceInfo> out;
  for (const PulseDevice& d : ListDevices(capture))
    out.push_back({PulseDeviceId(d.name), d.description.empty() ? d.name : d.description});
  return out;
}

std::unique_ptr<OutputStream> OpenPulseOutput(const DeviceId* id) {
  return OpenPulse<PulseOutput>(id, false);
}

std::unique_ptr<InputStream> OpenPulseInput(const DeviceId* id) {
  return OpenPulse<PulseInput>(id, true);
}

}  // namespace bw
