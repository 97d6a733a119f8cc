// brookwave-cli info FILE: the format block and data chunk of a WAVE file, as the player finds
// them, one key=value line each.
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "audio/wave_file.h"
#include "cli/cli_command.h"
#include "platform/message_box.h"

namespace bw::cli {
namespace {

void PrintInfo(const FormatBlock& format, const MMCKINFO& dataChunk) {
  const WAVEFORMATEX& f = format.format();
  std::printf("format_tag=0x%04X\nchannels=%u\nrate=%" PRIu32 "\navg_bytes=%" PRIu32
              "\nblock_align=%u\nbits=%u\ncb_size=%u\ndata_bytes=%" PRIu32 "\ndata_offset=%" PRIu64
              "\n",
              static_cast<unsigned>(f.wFormatTag), static_cast<unsigned>(f.nChannels),
              f.nSamplesPerSec, f.nAvgBytesPerSec, static_cast<unsigned>(f.nBlockAlign),
              static_cast<unsigned>(f.wBitsPerSample), static_cast<unsigned>(f.cbSize),
              dataChunk.cksize, dataChunk.dwDataOffset);
}

int RunInfo(const std::string& path) {
  RiffFile file;
  FormatBlock format;
  MMCKINFO riffChunk;
  MMCKINFO dataChunk;
  if (OpenWaveSource(path, file, format, riffChunk) != 0) {
    ShowMessageBox("Wave File Open Failed " + path + "\n");
    return 1;
  }
  const int rc = SeekWaveData(file, dataChunk, riffChunk);
  if (rc != 0)
    ShowMessageBox("IDS_ERROR_WAVESEEKFAILED");
  else
    PrintInfo(format, dataChunk);
  CloseWaveSource(file, format);
  return rc != 0 ? 1 : 0;
}

Runner DefineInfo(CLI::App& app) {
  auto path = std::make_shared<std::string>();
  app.add_option("FILE", *path, "The WAVE file")->required();
  return [path] { return RunInfo(*path); };
}

}  // namespace
}  // namespace bw::cli

BW_CLI_COMMAND("info", "FILE", "Print a WAVE file's format and data chunk as the player finds them",
               bw::cli::DefineInfo)
