#include "convert/audio_import.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/acm/lavc_codec.h"

namespace bw {

namespace lav = acm::lav;

namespace {

using acm::CodecContextPtr;
using acm::FramePtr;
using acm::PacketPtr;

// The containers Import reads, by libavformat's demuxer names. Others (WAVE among them, which
// File Open plays itself, and the play list and streaming formats that name further files)
// are refused.
constexpr std::array<std::string_view, 9> kContainers = {
    "flac", "ogg", "mov,mp4,m4a,3gp,3g2,mj2", "aac", "wv", "aiff", "mp3", "matroska,webm", "caf"};
constexpr std::string_view kMpegAudioContainer = "mp3";
constexpr int kIoBufferBytes = 64 * 1024;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
struct IoContextDeleter {
  void operator()(AVIOContext* io) const {
    lav::av_freep(&io->buffer);
    lav::avio_context_free(&io);
  }
};
struct FormatContextDeleter {
  void operator()(AVFormatContext* context) const { lav::avformat_close_input(&context); }
};
struct ResamplerDeleter {
  void operator()(SwrContext* context) const { lav::swr_free(&context); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;
using IoContextPtr = std::unique_ptr<AVIOContext, IoContextDeleter>;
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextDeleter>;
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerDeleter>;

// A channel layout that owns what it holds.
struct ChannelLayout {
  ChannelLayout() = default;
  explicit ChannelLayout(const AVChannelLayout& from) {
    if (from.order == AV_CHANNEL_ORDER_UNSPEC || lav::av_channel_layout_copy(&layout, &from) < 0)
      lav::av_channel_layout_default(&layout, from.nb_channels);
  }
  // An empty layout holds nothing to free, and FFmpeg's libraries may not be loaded for it.
  ~ChannelLayout() {
    if (layout.nb_channels != 0) lav::av_channel_layout_uninit(&layout);
  }
  ChannelLayout(const ChannelLayout&) = delete;
  ChannelLayout& operator=(const ChannelLayout&) = delete;
  AVChannelLayout layout{};
};

bool IsImportContainer(const AVInputFormat* format) {
  return format &&
         std::find(kContainers.begin(), kContainers.end(), format->name) != kContainers.end();
}

// No demuxer Import runs may open a file other than the one it was given.
int RefuseOtherFiles(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
  return AVERROR(EPERM);
}

// The file as libavformat reads it, through our own reader so that no protocol is involved.
struct InputFile {
  bool Open(const std::string& path) {
    file.reset(std::fopen(path.c_str(), "rb"));
    if (!file || fseeko(file.get(), 0, SEEK_END) != 0) return false;
    size = static_cast<uint64_t>(std::max<off_t>(ftello(file.get()), 0));
    std::rewind(file.get());
    auto* buffer = static_cast<uint8_t*>(lav::av_malloc(kIoBufferBytes));
    if (!buffer) return false;
    io.reset(lav::avio_alloc_context(buffer, kIoBufferBytes, 0, this, Read, nullptr, Seek));
    if (!io) lav::av_free(buffer);
    return io != nullptr;
  }

  // The container by its contents, never by the file's name; nullptr when it is none of ours.
  const AVInputFormat* Probe() {
    const AVInputFormat* probed = nullptr;
    if (lav::av_probe_input_buffer2(io.get(), &probed, nullptr, nullptr, 0, 0) < 0) return nullptr;
    return IsImportContainer(probed) ? probed : nullptr;
  }

  static int Read(void* opaque, uint8_t* into, int size) {
    auto& self = *static_cast<InputFile*>(opaque);
    const std::size_t got = std::fread(into, 1, static_cast<std::size_t>(size), self.file.get());
    if (got == 0) return std::ferror(self.file.get()) ? AVERROR(EIO) : AVERROR_EOF;
    self.position += got;
    return static_cast<int>(got);
  }

  static int64_t Seek(void* opaque, int64_t offset, int whence) {
    auto& self = *static_cast<InputFile*>(opaque);
    if (whence & AVSEEK_SIZE) return static_cast<int64_t>(self.size);
    if (fseeko(self.file.get(), offset, whence & ~AVSEEK_FORCE) != 0) return AVERROR(errno);
    self.position = static_cast<uint64_t>(std::max<off_t>(ftello(self.file.get()), 0));
    return static_cast<int64_t>(self.position);
  }

  FilePtr file;
  uint64_t size = 0;
  uint64_t position = 0;
  IoContextPtr io;
};

// WAVE files are played, never imported; telling one by its first bytes spares loading
// libavformat only to have it say so.
bool IsRiffWave(const std::string& path) {
  const FilePtr file(std::fopen(path.c_str(), "rb"));
  std::array<char, 12> head{};
  return file && std::fread(head.data(), 1, head.size(), file.get()) == head.size() &&
         std::memcmp(head.data(), "RIFF", 4) == 0 && std::memcmp(head.data() + 8, "WAVE", 4) == 0;
}

}  // namespace

struct AudioImportDecoder::State {
  // The file's container and its best sound stream, and on the decoding road its decoder.
  bool OpenContainer() {
    const AVInputFormat* probed = input.Probe();
    if (!probed) return false;
    AVFormatContext* raw = lav::avformat_alloc_context();
    if (!raw) return false;
    raw->pb = input.io.get();
    raw->io_open = RefuseOtherFiles;
    if (lav::avformat_open_input(&raw, nullptr, probed, nullptr) < 0) return false;  // frees `raw`
    container.reset(raw);
    if (lav::avformat_find_stream_info(raw, nullptr) < 0) return false;
    const AVCodec* codec = nullptr;
    stream = lav::av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (stream < 0 || !codec) return false;
    for (unsigned i = 0; i < raw->nb_streams; ++i)
      if (static_cast<int>(i) != stream) raw->streams[i]->discard = AVDISCARD_ALL;
    const AVCodecParameters& parameters = *raw->streams[stream]->codecpar;
    route = probed->name == kMpegAudioContainer && parameters.codec_id == AV_CODEC_ID_MP3
                ? ImportRoute::kWrapMpegLayer3
                : ImportRoute::kDecode;
    return route == ImportRoute::kWrapMpegLayer3 || OpenDecoder(*codec, parameters);
  }

  bool OpenDecoder(const AVCodec& codec, const AVCodecParameters& parameters) {
    decoder.reset(lav::avcodec_alloc_context3(&codec));
    if (!decoder || lav::avcodec_parameters_to_context(decoder.get(), &parameters) < 0)
      return false;
    decoder->pkt_timebase = container->streams[stream]->time_base;
    if (lav::avcodec_open2(decoder.get(), &codec, nullptr) < 0) return false;
    const int channels = decoder->ch_layout.nb_channels;
    if (decoder->sample_rate <= 0 || channels <= 0) return false;
    format = FormatBlock(
        MakePcmFormat(static_cast<uint32_t>(decoder->sample_rate), channels == 1 ? 1 : 2, 16));
    packet.reset(lav::av_packet_alloc());
    frame.reset(lav::av_frame_alloc());
    return packet && frame;
  }

  // Sets the resampler up for `decoded`'s layout, sample format and rate, when they are new.
  bool ReadyResampler(const AVFrame& decoded) {
    ChannelLayout in(decoded.ch_layout);
    if (resampler && inFormat == decoded.format && inRate == decoded.sample_rate &&
        lav::av_channel_layout_compare(&in.layout, &inLayout.layout) == 0)
      return true;
    ChannelLayout out;
    lav::av_channel_layout_default(&out.layout, format.format().nChannels);
    SwrContext* raw = nullptr;
    if (lav::swr_alloc_set_opts2(&raw, &out.layout, AV_SAMPLE_FMT_S16,
                                 static_cast<int>(format.format().nSamplesPerSec), &in.layout,
                                 static_cast<AVSampleFormat>(decoded.format), decoded.sample_rate,
                                 0, nullptr) < 0)
      return false;
    resampler.reset(raw);
    if (lav::swr_init(raw) < 0) {
      resampler.reset();
      return false;
    }
    inFormat = decoded.format;
    inRate = decoded.sample_rate;
    lav::av_channel_layout_uninit(&inLayout.layout);
    lav::av_channel_layout_copy(&inLayout.layout, &in.layout);
    return true;
  }

  // Appends what the resampler gives for `decoded` (nullptr: what it still holds) to `pending`.
  void Resample(const AVFrame* decoded) {
    if (!resampler) return;
    const int inFrames = decoded ? decoded->nb_samples : 0;
    const int room = lav::swr_get_out_samples(resampler.get(), inFrames);
    if (room <= 0) return;
    const std::size_t frameBytes = format.format().nBlockAlign;
    const std::size_t before = pending.size();
    pending.resize(before + static_cast<std::size_t>(room) * frameBytes);
    uint8_t* out = pending.data() + before;
    const int made = lav::swr_convert(
        resampler.get(), &out, room,
        decoded ? const_cast<const uint8_t**>(decoded->extended_data) : nullptr, inFrames);
    pending.resize(before + static_cast<std::size_t>(std::max(made, 0)) * frameBytes);
  }

  // One step of the decoder: a frame out, or a packet in. False only when the file cannot be
  // read on.
  bool Step() {
    const int received = lav::avcodec_receive_frame(decoder.get(), frame.get());
    if (received == 0) {
      decodedAny = true;
      if (ReadyResampler(*frame)) Resample(frame.get());
      lav::av_frame_unref(frame.get());
      return true;
    }
    // A damaged frame is skipped; once the decoder is being emptied, anything but a frame ends.
    if (received == AVERROR_EOF || flushing) {
      Resample(nullptr);
      ended = true;
      return true;
    }
    const int read = lav::av_read_frame(container.get(), packet.get());
    if (read == AVERROR(EIO)) return false;
    if (read < 0) {
      // The end of the file, or of what the container still makes sense of: the decoder gives
      // what it holds.
      lav::avcodec_send_packet(decoder.get(), nullptr);
      flushing = true;
      return true;
    }
    if (packet->stream_index == stream) lav::avcodec_send_packet(decoder.get(), packet.get());
    lav::av_packet_unref(packet.get());
    return true;
  }

  InputFile input;
  FormatContextPtr container;
  int stream = -1;
  ImportRoute route = ImportRoute::kDecode;
  CodecContextPtr decoder;
  PacketPtr packet;
  FramePtr frame;
  ResamplerPtr resampler;
  int inFormat = -1;
  int inRate = 0;
  ChannelLayout inLayout;
  FormatBlock format;
  std::vector<uint8_t> pending;  // resampled bytes not yet handed out
  std::size_t pendingAt = 0;
  bool decodedAny = false;
  bool flushing = false;
  bool ended = false;
  std::string path;
};

bool IsImportableSoundFile(const std::string& path) {
  if (IsRiffWave(path) || !acm::LoadLibavFormat()) return false;
  InputFile input;
  return input.Open(path) && input.Probe() != nullptr;
}

AudioImportDecoder::AudioImportDecoder() : m_state(std::make_unique<State>()) {}
AudioImportDecoder::~AudioImportDecoder() = default;

bool AudioImportDecoder::Open(const std::string& path, std::string& failure) {
  m_state = std::make_unique<State>();
  m_state->path = path;
  if (!acm::LoadLibavFormat()) {
    failure =
        "Cannot import the file " + path + ": the FFmpeg libraries it needs are not installed";
    return false;
  }
  if (!m_state->input.Open(path)) {
    failure = "Cannot open the file " + path;
    return false;
  }
  if (!m_state->OpenContainer()) {
    failure = "Cannot import the file " + path + ": it holds no sound in a format Import reads";
    return false;
  }
  return true;
}

ImportRoute AudioImportDecoder::route() const {
  return m_state->route;
}

const FormatBlock& AudioImportDecoder::format() const {
  return m_state->format;
}

bool AudioImportDecoder::Decode(std::span<uint8_t> block, std::size_t& got, std::string& failure) {
  State& s = *m_state;
  got = 0;
  const std::size_t frameBytes = std::max<std::size_t>(s.format.format().nBlockAlign, 1);
  const std::size_t wanted = block.size() - block.size() % frameBytes;
  while (got < wanted) {
    if (s.pendingAt < s.pending.size()) {
      const std::size_t n = std::min(wanted - got, s.pending.size() - s.pendingAt);
      std::memcpy(block.data() + got, s.pending.data() + s.pendingAt, n);
      got += n;
      s.pendingAt += n;
      continue;
    }
    s.pending.clear();
    s.pendingAt = 0;
    if (s.ended) break;
    if (!s.decoder || !s.Step()) {
      failure = "Cannot read the file " + s.path;
      return false;
    }
  }
  if (s.ended && !s.decodedAny) {
    failure = "Cannot import the file " + s.path + ": its sound cannot be decoded";
    return false;
  }
  return true;
}

uint64_t AudioImportDecoder::bytesRead() const {
  return std::min(m_state->input.position, m_state->input.size);
}

uint64_t AudioImportDecoder::fileBytes() const {
  return m_state->input.size;
}

}  // namespace bw
