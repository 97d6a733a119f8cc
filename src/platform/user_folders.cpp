#include "platform/user_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace bw {

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir && *entry->pw_dir)
    return entry->pw_dir;
  return "/";
}

std::string ConfigFolder() {
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
    return config;
  std::string home = HomeFolder();
  if (home.back() != '/') home.push_back('/');
  return home + ".config";
}

}  // namespace bw
