// The user's folders as the environment names them, taken as the bytes they are (a name that
// the locale cannot decode is still the user's folder).
#pragma once

#include <string>

namespace bw {

// $HOME; without it, the home folder of the user's account; "/" when there is none.
std::string HomeFolder();

// $XDG_CONFIG_HOME when it is an absolute path, otherwise HomeFolder()/.config.
std::string ConfigFolder();

}  // namespace bw
