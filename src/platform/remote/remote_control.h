// The program behind the remote-control service: commands coming in from other programs, and
// the state the program shows them.
//
// Threads: every RemoteCommandTarget call is made on the thread that iterates the GMainContext
// the service was started on. The desktop program starts it on the default context, which GTK
// runs on the user-interface thread, so there the calls arrive on the UI thread between other
// events, exactly as the frame's remote command messages did. Tests run a context of their own.
#pragma once

#include <cstdint>
#include <filesystem>

namespace bw {

// Play and Stop keep the codes of the frame's remote command (WM_REMOTE_COMMAND's wParam); the
// others were added with the bus service and have no window-message form.
enum class RemoteCommand : uint32_t {
  kPlay = 100,
  kStop = 400,
  kPause = 500,
  kPlayPause = 501,
  kNext = 502,      // acts as Audio > Last (the next play list entry)
  kPrevious = 503,  // acts as Audio > First (the previous play list entry)
  kRaise = 504,     // bring the main window to the front
  kQuit = 505,      // a close request of the main window (a busy view turns it into Stop)
};

class RemoteCommandTarget {
 public:
  virtual ~RemoteCommandTarget() = default;

  // A transport or window command. The service has already applied the Can* flags of the last
  // RemoteState: Play arrives only while can_play holds, Pause only while can_pause holds, Next
  // and Previous only while can_go_next / can_go_previous hold. The program still applies its
  // own enable rules. For Play, Stop, Pause, PlayPause, Next, Previous and Raise the caller waits
  // for the return; Quit is answered first, since closing may take a while.
  virtual void OnRemoteCommand(RemoteCommand command) = 0;

  // Another program (or a second start of this one) asks to open `path`, an absolute local path
  // taken from a file:// URI. Answered before the call, so the program may show messages.
  virtual void OnRemoteOpen(const std::filesystem::path& path) = 0;
  // False while the program cannot take a file (a message of its own awaits an answer): the
  // request is refused with an error then, so that requests cannot pile up behind the message.
  virtual bool TakesFileNow() const = 0;

  // A client set the volume: 0 is silence, 1 full volume (negative requests arrive as 0, larger
  // ones unchanged). The program moves its volume control and publishes the result.
  virtual void OnRemoteVolume(double volume) = 0;
};

enum class RemotePlaybackStatus { kStopped, kPlaying, kPaused };

// What the program shows other programs. Pushed by the program with MprisService::Publish
// whenever it changes; every field but the position is signalled to watchers when it changes.
struct RemoteState {
  RemotePlaybackStatus status = RemotePlaybackStatus::kStopped;
  std::filesystem::path file;  // the open sound file, absolute; empty when none is open
  int64_t length_us = 0;       // its length in microseconds; 0 when unknown
  int64_t position_us = 0;     // the playback position in microseconds
  double volume = 1.0;         // 0..1
  // From the enable rules of the program's commands. can_play says a file is open that Play
  // starts or that is playing: Play's rule without its `playing` condition, since MPRIS wants it
  // true during playback (clients such as playerctl send nothing, not even Stop, to a player
  // that says it cannot play). The others follow Pause, Last and First.
  bool can_play = false;
  bool can_pause = false;
  bool can_go_next = false;
  bool can_go_previous = false;

  friend bool operator==(const RemoteState&, const RemoteState&) = default;
};

}  // namespace bw
