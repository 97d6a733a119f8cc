// brookwave-cli mpeg-info FILE: the first MPEG audio frame header of FILE, as Import reads it,
// one "key=value" line per field; the texts are quoted because their trailing blanks count.
#include <cstdio>
#include <memory>
#include <string>

#include "cli/cli_command.h"
#include "convert/mpeg_reader.h"
#include "platform/message_box.h"

namespace bw::cli {
namespace {

// Passes every message on to the stderr sink and remembers that one was shown, so that a
// failure the reader reports silently still gets a line of its own.
class CountingSink final : public MessageSink {
 public:
  int Show(std::string_view text, std::string_view caption, unsigned style) override {
    ++shown;
    const ScopedMessageSink stderrSink(nullptr);
    return ShowMessageBox(text, caption, style);
  }
  int shown = 0;
};

void PrintHeader(const MpegFrameHeader& header) {
  std::printf("version=%d\nlayer=%d\nprotection=%d\npadding=%d\nmode=%d\nmode_extension=%d\n",
              header.version, header.layer, header.protectionBit, header.paddingBit, header.mode,
              header.modeExtension);
  std::printf("bitrate_text=\"%s\"\nrate_text=\"%s\"\nmode_text=\"%s\"\n",
              header.BitrateText().c_str(), header.SampleRateText().c_str(),
              header.ChannelModeText().c_str());
  std::printf("frame_length=%d\nmain_data_slots=%d\nsubband_count=%d\nintensity_stereo_bound=%d\n",
              header.frameLength, header.mainDataSlots, header.subbandCount,
              header.intensityStereoBound);
}

int RunMpegInfo(const std::string& path) {
  CountingSink sink;
  const ScopedMessageSink scope(&sink);
  MpegFileReader reader;
  MpegFrameHeader header;
  if (reader.Open(path) && header.ParseNextHeader(reader)) {
    PrintHeader(header);
    return 0;
  }
  if (sink.shown == 0) {
    std::fprintf(stderr, "brookwave-cli: no complete MPEG audio frame found in %s\n", path.c_str());
  }
  return 1;
}

Runner DefineMpegInfo(CLI::App& app) {
  auto path = std::make_shared<std::string>();
  app.add_option("FILE", *path, "The MPEG audio file")->required();
  return [path] { return RunMpegInfo(*path); };
}

}  // namespace
}  // namespace bw::cli

BW_CLI_COMMAND("mpeg-info", "FILE", "Print the first MPEG audio frame header of a file",
               bw::cli::DefineMpegInfo)
