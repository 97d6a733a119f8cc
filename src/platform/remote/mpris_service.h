// The program's remote control on the D-Bus session bus: an MPRIS 2 media player
// (org.mpris.MediaPlayer2 and org.mpris.MediaPlayer2.Player on /org/mpris/MediaPlayer2), so
// that desktop media keys, sound applets, playerctl and a second start of Brookwave can reach
// the running program. It takes over the main frame's window property (how others find the
// program) and WM_REMOTE_COMMAND (how they drive it).
//
// Threads: Start, Publish, Seeked and the destructor are called on the thread that iterates
// `context` (in the desktop program the UI thread with the default context); the service calls
// its RemoteCommandTarget on that same thread, one call at a time. The target may destroy the
// service from inside one of its calls (for example on Quit).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/remote/remote_control.h"

typedef struct _GMainContext GMainContext;

namespace bw {

class MprisService {
 public:
  // Connects to the session bus, exports the two interfaces and takes the bus name
  // "org.mpris.MediaPlayer2.brookwave", or, when another program already holds it,
  // "org.mpris.MediaPlayer2.brookwave.instance<process id>". Calls are delivered to `context`
  // (nullptr: the global default context). On failure (no session bus, both names taken)
  // returns nullptr and says why in `error`; the program then simply runs without remote control.
  static std::unique_ptr<MprisService> Start(RemoteCommandTarget& target, GMainContext* context,
                                             std::string* error);
  // Gives up the bus name and leaves the bus; other programs see the player vanish at once.
  ~MprisService();
  MprisService(const MprisService&) = delete;
  MprisService& operator=(const MprisService&) = delete;

  // The bus name this service holds.
  const std::string& bus_name() const;

  // The program's new state. Watchers get one PropertiesChanged signal with the properties that
  // differ from the last published state (the position is never signalled, as MPRIS asks).
  void Publish(const RemoteState& state);

  // The position jumped (First, Last, a moved position slider): stores it and tells watchers,
  // which otherwise extrapolate the position from the last one they read.
  void Seeked(int64_t position_us);

 private:
  struct Impl;
  explicit MprisService(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace bw
