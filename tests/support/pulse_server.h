// A PulseAudio daemon of our own in a scratch folder with one null sink ("bwtest"), for tests
// that play through the real audio stack (PortAudio, ALSA's "pulse" device). Started, it points
// this process's PULSE_SERVER, PULSE_SINK, PULSE_SOURCE and XDG_RUNTIME_DIR at itself, so that
// programs the test starts use it too. Stopped with the object; should the test be killed
// instead, the daemon ends itself once it has been without clients for 30 s.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace bw::test {

class PulseServer {
 public:
  explicit PulseServer(const std::filesystem::path& dir) : dir_(dir) {}
  ~PulseServer() { Stop(); }
  PulseServer(const PulseServer&) = delete;
  PulseServer& operator=(const PulseServer&) = delete;

  // Starts the daemon and waits for its socket; on failure `error` says why.
  bool Start(std::string* error);
  // Ends the daemon and waits for it to go.
  void Stop();

  // What the sink plays for the next `ms` milliseconds (its monitor, 44,100 Hz stereo,
  // interleaved); empty when it cannot be recorded.
  std::vector<int16_t> RecordSink(int ms, const std::string& sink = "bwtest") const;

  // Plugs in a null sink `name` shown as `description`; returns its module's index (empty when
  // the server refused it), for UnloadModule to pull it out again.
  static std::string LoadNullSink(const std::string& name, const std::string& description);
  // Plugs in a sink `name` that writes what it plays (16-bit stereo at 44,100 Hz) into the FIFO
  // it makes at `fifo`, in step with the clock; something must read it. Unlike a null sink it
  // cannot rewind: where a stream ran dry and goes on, a null sink rewinds and its monitor
  // loses a few milliseconds of whatever it plays, this one plays every frame it was given.
  static std::string LoadPipeSink(const std::string& name, const std::filesystem::path& fifo);
  static bool UnloadModule(const std::string& module);
  // Pulls out the sink `name` (the daemon's own "bwtest" too) by unloading the module that
  // made it. The daemon has no module that stands in a sink when none is left, so pulling out
  // its last sink leaves it with no sink and no source at all.
  static bool UnloadSink(const std::string& name);
  // The sinks that the playback streams of clients play to, and the sources that their
  // recordings record from, by name.
  static std::vector<std::string> PlaybackSinks();
  // The state the server gives the sink `name`: RUNNING while a stream plays to it, IDLE (or
  // SUSPENDED) while none does; empty when there is no such sink.
  static std::string SinkState(const std::string& name);
  static std::vector<std::string> RecordingSources();
  // The latency the source `name` runs with for its recordings (the least they asked for).
  static std::optional<double> ConfiguredLatencyMs(const std::string& source);

 private:
  std::string ReadLog() const;

  std::filesystem::path dir_;
  pid_t pid_ = -1;
};

}  // namespace bw::test
