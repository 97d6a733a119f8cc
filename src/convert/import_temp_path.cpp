#include "convert/import_temp_path.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <system_error>

namespace bw {
namespace {

constexpr const char* kFallbackFolder = "/tmp";
constexpr const char* kFolderPattern = "brookwave-XXXXXX";

std::optional<std::string> FolderFromEnvironment() {
  for (const char* name : {"TMP", "TEMP", "TMPDIR"}) {
    const char* value = std::getenv(name);
    if (value && *value) return value;
  }
  return std::nullopt;
}

std::string WithSlash(std::string folder) {
  if (folder.back() != '/') folder.push_back('/');
  return folder;
}

}  // namespace

std::string ImportTempFileName(std::chrono::system_clock::time_point now) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(
                          now.time_since_epoch() - std::chrono::seconds(seconds))
                          .count();
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char name[40];
  std::snprintf(name, sizeof name, "_%02d%02d%02d%02d%04d.WAV", utc.tm_mday, utc.tm_hour,
                utc.tm_min, utc.tm_sec, static_cast<int>(millis));
  return name;
}

std::string TemporaryFolder() {
  return FolderFromEnvironment().value_or(kFallbackFolder);
}

ImportTempFolder::~ImportTempFolder() {
  std::error_code ec;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
}

std::string ImportTempFolder::MakeImportTempPath() {
  if (folder_.empty()) {
    const std::optional<std::string> configured = FolderFromEnvironment();
    if (!configured) setenv("TEMP", kFallbackFolder, 1);
    std::string pattern = WithSlash(configured.value_or(kFallbackFolder)) + kFolderPattern;
    if (mkdtemp(pattern.data()) == nullptr)
      return pattern + "/" + ImportTempFileName(std::chrono::system_clock::now());
    folder_ = pattern;
  }
  return folder_ + "/" + ImportTempFileName(std::chrono::system_clock::now());
}

}  // namespace bw
