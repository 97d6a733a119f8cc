// brookwave-cli formats [--channels N] [--rate R]: the formats the format chooser offers, one a
// line: tag, tag name, attributes, average bytes per second and block align, tab-separated.
#include <charconv>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/cli_command.h"
#include "platform/acm/acm_formats.h"

namespace bw::cli {
namespace {

// The value of `option` as a number; false (after a message) when it is given but is not one.
template <typename T>
bool NumberOption(Args args, std::string_view option, std::optional<T>& value) {
  const std::string* text = FindOption(args, option);
  if (text == nullptr) return true;
  T number{};
  const char* end = text->data() + text->size();
  const auto [ptr, ec] = std::from_chars(text->data(), end, number);
  if (text->empty() || ec != std::errc() || ptr != end) {
    std::fprintf(stderr, "brookwave-cli formats: %.*s needs a number, not '%s'\n",
                 static_cast<int>(option.size()), option.data(), text->c_str());
    return false;
  }
  value = number;
  return true;
}

int RunFormats(Args args) {
  if (!Positionals(args).empty()) return UsageError("formats");
  AcmFormatFilter filter;
  if (!NumberOption(args, "--channels", filter.channels) ||
      !NumberOption(args, "--rate", filter.samples_per_sec)) {
    return 2;
  }
  for (const AcmFormatDetails& d : EnumAllFormats(filter)) {
    const WAVEFORMATEX& f = d.format.format();
    std::printf("0x%04X\t%s\t%s\t%u\t%u\n", f.wFormatTag, d.szFormatTag.c_str(), d.szFormat.c_str(),
                f.nAvgBytesPerSec, f.nBlockAlign);
  }
  return 0;
}

}  // namespace
}  // namespace bw::cli

BW_CLI_COMMAND("formats", "[--channels N] [--rate R]", bw::cli::RunFormats)
