// brookwave-cli formats [--channels N] [--rate N]: the formats the format chooser offers, one a
// line: tag, tag name, attributes, average bytes per second and block align, tab-separated.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>

#include "cli/cli_command.h"
#include "platform/acm/acm_formats.h"

namespace bw::cli {
namespace {

struct FormatsArgs {
  std::optional<int64_t> channels;
  std::optional<int64_t> rate;
};

int RunFormats(const FormatsArgs& a) {
  AcmFormatFilter filter;
  if (a.channels) filter.channels = static_cast<uint16_t>(*a.channels);
  if (a.rate) filter.samples_per_sec = static_cast<uint32_t>(*a.rate);
  for (const AcmFormatDetails& d : EnumAllFormats(filter)) {
    const WAVEFORMATEX& f = d.format.format();
    std::printf("0x%04X\t%s\t%s\t%u\t%u\n", f.wFormatTag, d.szFormatTag.c_str(), d.szFormat.c_str(),
                f.nAvgBytesPerSec, f.nBlockAlign);
  }
  return 0;
}

Runner DefineFormats(CLI::App& app) {
  auto a = std::make_shared<FormatsArgs>();
  AddInteger(app, "--channels", a->channels, 0, UINT16_MAX, "Only formats with N channels");
  AddInteger(app, "--rate", a->rate, 0, UINT32_MAX, "Only formats at N samples a second");
  return [a] { return RunFormats(*a); };
}

}  // namespace
}  // namespace bw::cli

BW_CLI_COMMAND("formats", "[--channels N] [--rate N]",
               "List the formats the format chooser offers (the FORMAT choices)",
               bw::cli::DefineFormats)
