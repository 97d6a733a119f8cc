#include "settings/settings_records.h"

#include <bit>
#include <cctype>
#include <cstddef>
#include <span>

#include "platform/profile_store.h"

namespace bw {
namespace {

template <std::size_t N>
using Words = std::array<uint32_t, N>;

// Which stored words (after Size) are written with %u rather than %d.
constexpr bool IsUnsignedPlayWord(std::size_t word) {
  return word == 7 || word == 8 || (word >= 17 && word <= 20);
}
constexpr bool IsUnsignedRecordWord(std::size_t word) {
  return word >= 1 && word <= 4;
}

template <std::size_t N>
std::string FormatWords(const Words<N>& words, bool (*is_unsigned)(std::size_t)) {
  std::string text;
  for (std::size_t i = 1; i < N; ++i) {
    if (i > 1) text.push_back(',');
    text +=
        is_unsigned(i) ? std::to_string(words[i]) : std::to_string(static_cast<int32_t>(words[i]));
  }
  return text;
}

// Scans "n,n,...,n" the way a "%d,%d,..." format does: blanks may precede each number, a
// sign is allowed, the separators must be single commas. Returns how many numbers were
// converted; values wrap modulo 2^32.
std::size_t ScanNumbers(std::string_view text, std::span<uint32_t> out) {
  std::size_t pos = 0;
  std::size_t count = 0;
  for (; count < out.size(); ++count) {
    if (count > 0) {
      if (pos >= text.size() || text[pos] != ',') break;
      ++pos;
    }
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
      ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
    const std::size_t digits_start = pos;
    uint32_t value = 0;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
      value = value * 10u + static_cast<uint32_t>(text[pos++] - '0');
    }
    if (pos == digits_start) break;
    out[count] = negative ? 0u - value : value;
  }
  return count;
}

template <typename Record>
bool ParseRecord(std::string_view text, Record& settings, uint32_t size) {
  constexpr std::size_t kWords = sizeof(Record) / sizeof(uint32_t);
  Words<kWords> words{};
  if (ScanNumbers(text, std::span<uint32_t>(words).subspan(1)) != kWords - 1) return false;
  words[0] = size;
  settings = std::bit_cast<Record>(words);
  return true;
}

template <typename Record>
bool ReadRecord(ProfileStore& store, std::string_view entry, Record& settings, uint32_t size) {
  const std::string text = store.GetString(kSettingsSection, entry, "");
  if (text.empty()) return false;
  return ParseRecord(text, settings, size);
}

}  // namespace

std::string FormatPlaySet(const PlaySettings& settings) {
  return FormatWords(std::bit_cast<Words<32>>(settings), IsUnsignedPlayWord);
}

std::string FormatRecordSet(const RecordSettings& settings) {
  return FormatWords(std::bit_cast<Words<19>>(settings), IsUnsignedRecordWord);
}

bool ParsePlaySet(std::string_view text, PlaySettings& settings) {
  return ParseRecord(text, settings, 128);
}

bool ParseRecordSet(std::string_view text, RecordSettings& settings) {
  return ParseRecord(text, settings, 76);
}

bool ReadPlaySet(ProfileStore& store, PlaySettings& settings) {
  return ReadRecord(store, kPlaySetEntry, settings, 128);
}

bool ReadRecordSet(ProfileStore& store, RecordSettings& settings) {
  return ReadRecord(store, kRecordSetEntry, settings, 76);
}

void WritePlaySet(ProfileStore& store, const PlaySettings& settings) {
  store.WriteString(kSettingsSection, kPlaySetEntry, FormatPlaySet(settings));
}

void WriteRecordSet(ProfileStore& store, const RecordSettings& settings) {
  store.WriteString(kSettingsSection, kRecordSetEntry, FormatRecordSet(settings));
}

}  // namespace bw
