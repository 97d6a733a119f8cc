// Names the calling thread, as top -H, perf, gdb and /proc/PID/task/TID/comm show it, so that
// a look at a running program tells its threads apart.
//
// Any thread, for itself.
#pragma once

#include <string_view>

namespace bw {

// The system keeps the first 15 bytes of `name`.
void NameThisThread(std::string_view name);

}  // namespace bw
