// Preloaded into a program under test: dlopen fails for every library whose name starts with
// one of the prefixes in $BW_HIDE_LIBRARIES (separated by ':'), as it does where that library
// is not installed.
#include <dlfcn.h>

#include <cstdlib>
#include <string_view>

namespace {

bool Hidden(std::string_view file) {
  const char* list = std::getenv("BW_HIDE_LIBRARIES");
  std::string_view prefixes = list ? list : "";
  while (!prefixes.empty()) {
    const std::size_t end = prefixes.find(':');
    const std::string_view prefix = prefixes.substr(0, end);
    if (!prefix.empty() && file.starts_with(prefix)) return true;
    prefixes.remove_prefix(end == std::string_view::npos ? prefixes.size() : end + 1);
  }
  return false;
}

}  // namespace

extern "C" void* dlopen(const char* file, int flags) {
  using Dlopen = void* (*)(const char*, int);
  static const auto next = reinterpret_cast<Dlopen>(dlsym(RTLD_NEXT, "dlopen"));
  if (file && Hidden(file)) return nullptr;
  return next(file, flags);
}
