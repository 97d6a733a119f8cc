// brookwave-cli convert, export and import: File Save, Export and Import of the view's core,
// run on a headless window whose dialogs answer with the command's files and format.
//
//   convert IN.wav OUT.wav --format FORMAT   Save: IN converted into the WAVE file OUT
//   export IN.wav OUT [--format FORMAT]      Export: a PCM IN converted into the bare stream
//                                            OUT; the data of an MPEG-wrapped IN copied out
//   import IN.mp3 OUT.wav                    Import: OUT receives the WAVE wrapper that Import
//                                            writes and then plays
//
// FORMAT is what the format chooser is confirmed with (see ParseFormatArgument). Without it the
// chooser is confirmed where it opens: MPEG Layer-3 at IN's channels and rate, 128 kbit/s.
// The sound card is the virtual one, so nothing is heard and no device is needed.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "cli/headless_player.h"
#include "platform/acm/acm_formats.h"
#include "platform/sound/sound.h"

namespace bw::cli {
namespace {

constexpr unsigned kPresetKbit = 128;

// The chooser's answer for IN: FORMAT when given, else the preset. Empty after a message when
// FORMAT cannot be read or is not among the formats the chooser offers for IN.
FormatBlock ChosenFormat(const std::string* argument, const WAVEFORMATEX& source) {
  const std::string text = argument ? *argument
                                    : "mp3:" + std::to_string(source.nSamplesPerSec) + ":" +
                                          std::to_string(source.nChannels) + ":" +
                                          std::to_string(kPresetKbit);
  std::string error;
  FormatBlock format = ParseFormatArgument(text, error);
  if (format.empty()) {
    std::fprintf(stderr, "brookwave-cli: %s\n", error.c_str());
    return {};
  }
  const WAVEFORMATEX& f = format.format();
  if (f.nChannels != source.nChannels || f.nSamplesPerSec != source.nSamplesPerSec) {
    std::fprintf(stderr,
                 "brookwave-cli: %s has %u channel(s) at %u Hz, but the source has %u at %u Hz\n",
                 text.c_str(), unsigned{f.nChannels}, unsigned{f.nSamplesPerSec},
                 unsigned{source.nChannels}, unsigned{source.nSamplesPerSec});
    return {};
  }
  return format;
}

bool LastMessageIs(const HeadlessWindow& window, std::string_view text) {
  const std::vector<HeadlessWindow::ShownMessage>& shown = window.Messages();
  return !shown.empty() && shown.back().text == text;
}

struct ConversionArgs {
  std::string in;
  std::string out;
  std::optional<std::string> format;
};

// IN, OUT and --format, for Save and Export.
void DefineConversion(CLI::App& app, ConversionArgs& a, bool formatRequired) {
  app.add_option("IN", a.in, "The PCM WAVE file to convert")->required();
  app.add_option("OUT", a.out, "The file to write")->required();
  app.add_option("--format", a.format,
                 formatRequired ? "The format to convert into"
                                : "The format to export (default: mp3 at IN's layout, 128 kbit/s)")
      ->type_name("FORMAT")
      ->check(FormatArgument())
      ->required(formatRequired);
  app.footer(kFormatHelp);
}

// Save or Export of IN into OUT; the command succeeded when it ended with `complete`.
int RunConversion(const ConversionArgs& a, void (CBrookwaveViewCore::*command)(),
                  std::string_view complete) {
  SelectSoundBackend(SoundBackend::kVirtual);
  HeadlessPlayer player;
  if (!player.Open(a.in)) return 1;
  const FormatBlock& source = player.core.stream().playback.sourceFormat;
  // An MPEG-wrapped source is copied out as it is: no chooser is asked.
  if (source.format().wFormatTag == kWaveFormatPcm) {
    FormatBlock chosen = ChosenFormat(a.format ? &*a.format : nullptr, source.format());
    if (chosen.empty()) return 2;
    player.window.QueueFormatChoice(FormatChoice{0, std::move(chosen)});
  }
  player.window.QueueFileDialogAnswer(a.out);
  (player.core.*command)();
  return LastMessageIs(player.window, complete) ? 0 : 1;
}

Runner DefineConvert(CLI::App& app) {
  auto a = std::make_shared<ConversionArgs>();
  DefineConversion(app, *a, true);
  return [a] { return RunConversion(*a, &CBrookwaveViewCore::OnFileSave, "Complete Convert"); };
}

Runner DefineExport(CLI::App& app) {
  auto a = std::make_shared<ConversionArgs>();
  DefineConversion(app, *a, false);
  return [a] { return RunConversion(*a, &CBrookwaveViewCore::OnFileExport, "Complete Export"); };
}

int RunImport(const std::vector<std::string>& files) {
  std::error_code ec;
  if (std::filesystem::equivalent(files[0], files[1], ec)) {
    std::fprintf(stderr, "brookwave-cli: %s would overwrite the file it reads\n", files[1].c_str());
    return 1;
  }
  // The temporary wrapper is made beside OUT, so that it becomes OUT by a rename.
  const std::filesystem::path out = std::filesystem::absolute(files[1], ec);
  setenv("TMP", out.parent_path().c_str(), 1);
  SelectSoundBackend(SoundBackend::kVirtual);
  HeadlessPlayer player;
  CBrookwaveViewCore& core = player.core;
  player.window.QueueFileDialogAnswer(files[0]);
  core.OnFileImport();
  if (!core.stream().fileOpen) return 1;
  core.OnStop();
  const std::string& wrapper = core.stream().importTempPath;
  std::filesystem::rename(wrapper, out, ec);
  if (ec) {
    std::filesystem::copy_file(wrapper, out, std::filesystem::copy_options::overwrite_existing, ec);
  }
  core.OnFileClose();
  if (ec) {
    std::fprintf(stderr, "brookwave-cli: cannot write %s (%s)\n", files[1].c_str(),
                 ec.message().c_str());
    return 1;
  }
  return 0;
}

Runner DefineImport(CLI::App& app) {
  auto files = std::make_shared<std::vector<std::string>>(2);
  app.add_option("IN", (*files)[0], "The MPEG audio file to import")->required();
  app.add_option("OUT", (*files)[1], "The WAVE file to write")->required();
  return [files] { return RunImport(*files); };
}

}  // namespace
}  // namespace bw::cli

BW_CLI_COMMAND("convert", "IN.wav OUT.wav --format FORMAT",
               "Save: convert a PCM WAVE file into a WAVE file of another format",
               bw::cli::DefineConvert)
BW_CLI_COMMAND("export", "IN.wav OUT [--format FORMAT]",
               "Export: write a file's sound as a bare coded stream (MP3)", bw::cli::DefineExport)
BW_CLI_COMMAND("import", "IN.mp3 OUT.wav",
               "Import: wrap an MPEG audio file into the WAVE file Import plays",
               bw::cli::DefineImport)
