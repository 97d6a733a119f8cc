// The stored settings strings: any text parses or is refused; what parses formats back to a
// string that parses to the same record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "settings/settings_records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  bw::PlaySettings play;
  if (bw::ParsePlaySet(text, play)) {
    bw::PlaySettings again;
    if (!bw::ParsePlaySet(bw::FormatPlaySet(play), again) || !(again == play)) std::abort();
  }
  bw::RecordSettings record;
  if (bw::ParseRecordSet(text, record)) {
    bw::RecordSettings again;
    if (!bw::ParseRecordSet(bw::FormatRecordSet(record), again) || !(again == record)) std::abort();
  }
  return 0;
}
