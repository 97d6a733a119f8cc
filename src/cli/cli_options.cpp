// The option types brookwave-cli's commands share, on top of CLI11.
#include <charconv>
#include <string>

#include "cli/cli_command.h"
#include "cli/headless_player.h"
#include "platform/acm/acm_formats.h"

namespace bw::cli {

const char* const kFormatHelp =
    "FORMAT names an entry of the format chooser as KIND:RATE:CHANNELS[:VARIANT]:\n"
    "  pcm:RATE:CHANNELS:BITS      PCM, BITS 8 or 16\n"
    "  alaw:RATE:CHANNELS          CCITT A-Law\n"
    "  mulaw:RATE:CHANNELS         CCITT u-Law\n"
    "  msadpcm:RATE:CHANNELS       Microsoft ADPCM\n"
    "  imaadpcm:RATE:CHANNELS      IMA ADPCM\n"
    "  gsm610:RATE:CHANNELS        GSM 6.10\n"
    "  mp3:RATE:CHANNELS:KBPS      MPEG Layer-3, KBPS the bit rate in kbit/s\n"
    "RATE is in Hz and CHANNELS is 1 or 2; 'brookwave-cli formats --rate RATE --channels N'\n"
    "lists what is offered. Examples: pcm:44100:2:16, mulaw:8000:1, mp3:44100:2:128.\n";

namespace {

bool ParseSeconds(std::string_view text, double& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && value >= 0 && value < 1e9;
}

std::string Range(int64_t min, int64_t max) {
  return std::to_string(min) + " to " + std::to_string(max);
}

// `text` as "A:B", split at the colon; false when there is none.
bool SplitSpan(const std::string& text, std::string& first, std::string& second) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  first = text.substr(0, colon);
  second = text.substr(colon + 1);
  return true;
}

bool ParseIntegerSpan(const std::string& text, int64_t min, int64_t max,
                      std::pair<int64_t, int64_t>& value) {
  std::string first;
  std::string second;
  std::vector<int64_t> ends;
  if (!SplitSpan(text, first, second) ||
      !ParseIntegerList(first + "," + second, 2, min, max, ends) || ends[0] > ends[1])
    return false;
  value = {ends[0], ends[1]};
  return true;
}

bool ParseSecondsSpan(const std::string& text, std::pair<double, double>& value) {
  std::string first;
  std::string second;
  return SplitSpan(text, first, second) && ParseSeconds(first, value.first) &&
         ParseSeconds(second, value.second) && value.first <= value.second;
}

// An option that takes one string, checked by `parse` (which also stores the value) and
// explained by `expected` when the check fails.
template <typename Parse>
CLI::Option* AddParsed(CLI::App& app, const std::string& name, const std::string& typeName,
                       const std::string& help, const std::string& expected, Parse parse) {
  CLI::Option* option = app.add_option_function<std::string>(
      name, [parse](const std::string& text) { parse(text); }, help);
  option->type_name(typeName);
  option->check(CLI::Validator(
      [parse, expected](std::string& text) {
        return parse(text) ? std::string() : "'" + text + "' is not " + expected;
      },
      "", typeName));
  return option;
}

}  // namespace

CLI::Option* AddInteger(CLI::App& app, const std::string& name, std::optional<int64_t>& value,
                        int64_t min, int64_t max, const std::string& help) {
  return AddParsed(app, name, "N", help, "an integer from " + Range(min, max),
                   [&value, min, max](const std::string& text) {
                     std::vector<int64_t> parsed;
                     if (!ParseIntegerList(text, 1, min, max, parsed)) return false;
                     value = parsed[0];
                     return true;
                   });
}

CLI::Option* AddIntegerList(CLI::App& app, const std::string& name, std::vector<int64_t>& values,
                            std::size_t count, int64_t min, int64_t max,
                            const std::string& typeName, const std::string& help) {
  return AddParsed(
      app, name, typeName, help,
      std::to_string(count) + " integers from " + Range(min, max) + " separated by commas",
      [&values, count, min, max](const std::string& text) {
        return ParseIntegerList(text, count, min, max, values);
      });
}

CLI::Option* AddIntegerSpan(CLI::App& app, const std::string& name,
                            std::optional<std::pair<int64_t, int64_t>>& value, int64_t min,
                            int64_t max, const std::string& typeName, const std::string& help) {
  return AddParsed(app, name, typeName, help,
                   "START:END with integers from " + Range(min, max) + " and START <= END",
                   [&value, min, max](const std::string& text) {
                     std::pair<int64_t, int64_t> span;
                     if (!ParseIntegerSpan(text, min, max, span)) return false;
                     value = span;
                     return true;
                   });
}

CLI::Option* AddSeconds(CLI::App& app, const std::string& name, std::optional<double>& value,
                        const std::string& help) {
  return AddParsed(app, name, "S", help, "a number of seconds", [&value](const std::string& text) {
    double seconds = 0;
    if (!ParseSeconds(text, seconds)) return false;
    value = seconds;
    return true;
  });
}

CLI::Option* AddSecondsSpan(CLI::App& app, const std::string& name,
                            std::optional<std::pair<double, double>>& value,
                            const std::string& typeName, const std::string& help) {
  return AddParsed(app, name, typeName, help, "START:END in seconds with START <= END",
                   [&value](const std::string& text) {
                     std::pair<double, double> span;
                     if (!ParseSecondsSpan(text, span)) return false;
                     value = span;
                     return true;
                   });
}

CLI::Option* AddBackend(CLI::App& app, SoundBackend& backend, bool allowVirtual) {
  const std::string names =
      allowVirtual ? "auto, pulse, portaudio, null or virtual" : "auto, pulse, portaudio or null";
  return AddParsed(
      app, "--backend", "NAME", "The sound devices to use: " + names, names,
      [&backend, allowVirtual](const std::string& text) {
        SoundBackend named = SoundBackend::kAuto;
        if (!ParseBackend(text, &named) || (!allowVirtual && named == SoundBackend::kVirtual))
          return false;
        backend = named;
        return true;
      });
}

CLI::Validator FormatArgument() {
  return CLI::Validator(
      [](std::string& text) {
        std::string error;
        return ParseFormatArgument(text, error).empty() ? error : std::string();
      },
      "", "FORMAT");
}

}  // namespace bw::cli
