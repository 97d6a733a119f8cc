// Where worker threads send their news: a window that accepts posted messages.
//
// PostMessage may be called from any thread; it queues the message and returns at once, and
// the message is handled later on the user-interface thread. The playback and capture threads
// post their level and end-of-stream messages through it and never touch a window otherwise.
#pragma once

#include <cstdint>

namespace bw {

using WPARAM = uintptr_t;
using LPARAM = intptr_t;

class MessageTarget {
 public:
  virtual ~MessageTarget() = default;
  virtual void PostMessage(uint32_t message, WPARAM wparam, LPARAM lparam) = 0;
};

}  // namespace bw
