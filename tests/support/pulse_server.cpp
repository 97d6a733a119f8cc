#include "support/pulse_server.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <sstream>
#include <string_view>
#include <thread>

#include "support/test_support.h"

namespace bw::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The lines of `pactl list short KIND`, split into their tab-separated fields.
std::vector<std::vector<std::string>> ShortList(const std::string& kind) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(RunCommand({"pactl", "list", "short", kind}).out);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string field; std::getline(cells, field, '\t');)
      fields.push_back(field);
    if (fields.size() >= 2) rows.push_back(std::move(fields));
  }
  return rows;
}

// The names of the `kind` (sinks, sources) that the rows of `streams` point to in field 1.
std::vector<std::string> StreamTargets(const std::string& streams, const std::string& kind) {
  const std::vector<std::vector<std::string>> targets = ShortList(kind);
  std::vector<std::string> names;
  for (const std::vector<std::string>& stream : ShortList(streams)) {
    for (const std::vector<std::string>& target : targets) {
      if (target[0] == stream[1]) names.push_back(target[1]);
    }
  }
  return names;
}

// Loads a module; its index, or empty when the server refused it.
std::string LoadModule(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), {"pactl", "load-module"});
  const CommandResult loaded = RunCommand(arguments);
  std::string index = loaded.exit_code == 0 ? loaded.out : "";
  while (!index.empty() && (index.back() == '\n' || index.back() == ' '))
    index.pop_back();
  return index;
}

}  // namespace

void PulseServer::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

bool PulseServer::Start(std::string* error) {
  const std::string socket = (dir_ / "native").string();
  std::vector<std::string> args = {"pulseaudio",
                                   "-n",
                                   "--daemonize=no",
                                   "--exit-idle-time=30",
                                   "--use-pid-file=no",
                                   "--disable-shm=yes",
                                   "--log-target=stderr",
                                   "-L",
                                   "module-null-sink sink_name=bwtest rate=44100 channels=2",
                                   "-L",
                                   "module-native-protocol-unix auth-anonymous=1 socket=" + socket};
  std::vector<std::string> env = {"HOME=" + dir_.string(), "XDG_RUNTIME_DIR=" + dir_.string(),
                                  "XDG_CONFIG_HOME=" + (dir_ / "config").string(),
                                  "PATH=/usr/bin:/bin"};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string log = (dir_ / "pulse.log").string();
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  const int spawned = posix_spawnp(&pid_, "pulseaudio", &actions, nullptr,
                                   ExecPointers(args).data(), ExecPointers(env).data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    pid_ = -1;
    *error = "could not start pulseaudio: " + std::string(std::strerror(spawned));
    return false;
  }
  for (auto waited = 0ms; waited < 10s; waited += 50ms) {
    if (fs::exists(socket)) {
      setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
      setenv("PULSE_SINK", "bwtest", 1);
      setenv("PULSE_SOURCE", "bwtest.monitor", 1);
      setenv("XDG_RUNTIME_DIR", dir_.string().c_str(), 1);
      return true;
    }
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    std::this_thread::sleep_for(50ms);
  }
  *error = "pulseaudio did not come up; its log:\n" + ReadLog();
  return false;
}

std::vector<int16_t> PulseServer::RecordSink(int ms, const std::string& sink) const {
  // A count of bytes, not a time: on a loaded machine parec may take a while to connect, and a
  // timed recording would then hold less (or nothing). The outer timeout only bounds a hang.
  const int64_t bytes = int64_t{44100} * 4 * ms / 1000;
  const CommandResult recorded = RunCommand(
      {"timeout", std::to_string(ms / 1000 + 30), "sh", "-c",
       "parec --device=" + sink + ".monitor --raw --format=s16le --rate=44100 --channels=2 " +
           "--latency-msec=20 | head -c " + std::to_string(bytes)});
  std::vector<int16_t> samples(recorded.out.size() / 2);
  if (!samples.empty()) std::memcpy(samples.data(), recorded.out.data(), samples.size() * 2);
  return samples;
}

std::string PulseServer::LoadNullSink(const std::string& name, const std::string& description) {
  return LoadModule({"module-null-sink", "sink_name=" + name, "rate=44100", "channels=2",
                     "sink_properties='device.description=\"" + description + "\"'"});
}

std::string PulseServer::LoadPipeSink(const std::string& name, const std::filesystem::path& fifo) {
  return LoadModule({"module-pipe-sink", "sink_name=" + name, "file=" + fifo.string(),
                     "format=s16le", "rate=44100", "channels=2",
                     "use_system_clock_for_timing=yes"});
}

bool PulseServer::UnloadModule(const std::string& module) {
  return RunCommand({"pactl", "unload-module", module}).exit_code == 0;
}

bool PulseServer::UnloadSink(const std::string& name) {
  for (const std::vector<std::string>& module : ShortList("modules")) {
    const bool makes_it = module.size() >= 3 && module[2].starts_with("sink_name=" + name + " ");
    if (makes_it) return UnloadModule(module[0]);
  }
  return false;
}

std::vector<std::string> PulseServer::PlaybackSinks() {
  return StreamTargets("sink-inputs", "sinks");
}

std::string PulseServer::SinkState(const std::string& name) {
  for (const std::vector<std::string>& sink : ShortList("sinks")) {
    if (sink[1] == name && sink.size() >= 5) return sink[4];
  }
  return {};
}

std::vector<std::string> PulseServer::RecordingSources() {
  return StreamTargets("source-outputs", "sources");
}

std::optional<double> PulseServer::ConfiguredLatencyMs(const std::string& source) {
  std::istringstream lines(RunCommand({"pactl", "list", "sources"}).out);
  bool in_it = false;
  for (std::string line; std::getline(lines, line);) {
    const std::size_t at = line.find_first_not_of(" \t");
    if (at == std::string::npos) continue;
    const std::string_view text = std::string_view(line).substr(at);
    if (text.starts_with("Name: ")) in_it = text.substr(6) == source;
    const std::size_t configured = text.find("configured ");
    if (in_it && text.starts_with("Latency: ") && configured != std::string_view::npos)
      return std::stod(std::string(text.substr(configured + 11))) / 1000;
  }
  return std::nullopt;
}

std::string PulseServer::ReadLog() const {
  return ReadFileText(dir_ / "pulse.log");
}

}  // namespace bw::test
