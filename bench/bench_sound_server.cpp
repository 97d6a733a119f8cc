// Cost of playing and recording on the desktop's sound server: each program plays the same
// 44,100 Hz stereo sound into the null sink of a private PulseAudio server (or records from
// its monitor) while the benchmark reads, from /proc, the processor time and the context
// switches of all threads of the program and of its children over a stretch in the middle.
// Prints CPU seconds per second, voluntary switches (wake-ups) and involuntary ones
// (preemptions) per second, and the ratios of our programs to their peers (goals: at most
// 1.0 of the peer's CPU; fewer than 25 wake-ups per second). The programs take turns for
// BW_BENCH_ROUNDS rounds (3 unless set); each figure is the median of its rounds, as one round
// on a shared machine can be off by a fifth. BW_BENCH_PARTS ("playing", "recording"; both
// unless set) picks what is measured. Below each of our programs' rows, its processor time
// thread by thread (our threads name themselves: "bw sound in", "bw capture", ...).
//
// The desktop programs (brookwave, audacious) run on an Xvfb display of the benchmark's own,
// with BW_WM_CHECK (bench/wm_check) standing in for a desktop's window manager: without one,
// GTK asks the X server for it at every frame, which no desktop session does. BW_PROGRAM names
// the desktop program; without it, or without a peer, that row is skipped.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "platform/wave_format.h"

namespace {

using namespace bench;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr uint32_t kRate = 44100;
constexpr uint32_t kSoundSeconds = 20;
constexpr auto kSettle = 2s;   // after the stream appears, before measuring
constexpr auto kMeasure = 8s;  // the stretch measured

extern "C" char** environ;

// A child started through the shell, in a process group of its own; ended with the object.
class Child {
 public:
  explicit Child(const std::string& command, const fs::path& log) {
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::string sh = "exec " + command;
    char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), sh.data(), nullptr};
    if (posix_spawn(&pid_, "/bin/sh", &actions, &attr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
  }
  ~Child() {
    if (pid_ <= 0) return;
    kill(-pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  pid_t pid() const { return pid_; }
  bool running() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }

 private:
  pid_t pid_ = -1;
};

// Processor time and context switches of every thread of a process group, at one moment.
struct Usage {
  double cpu = 0;
  uint64_t voluntary = 0;
  uint64_t involuntary = 0;
  std::map<std::string, double> cpu_by_thread;  // by the threads' names
};

std::string ReadText(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Field `n` (1-based) of a /proc stat line, counted after the command's closing parenthesis.
std::string StatField(const std::string& stat, int n) {
  const std::size_t end = stat.rfind(')');
  if (end == std::string::npos || end + 2 > stat.size()) return "";
  std::istringstream rest(stat.substr(end + 2));
  std::string field;
  for (int i = 3; i <= n && rest >> field; ++i) {
  }
  return field;
}

uint64_t StatusValue(const std::string& status, const std::string& key) {
  const std::size_t at = status.find(key + ":");
  return at == std::string::npos ? 0
                                 : std::strtoull(status.c_str() + at + key.size() + 1, nullptr, 10);
}

Usage GroupUsage(pid_t group) {
  Usage u;
  std::error_code ec;
  for (const auto& proc : fs::directory_iterator("/proc", ec)) {
    const std::string name = proc.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    if (std::atoi(StatField(ReadText(proc.path() / "stat"), 5).c_str()) != group) continue;
    for (const auto& task : fs::directory_iterator(proc.path() / "task", ec)) {
      // Nanoseconds on a processor: clock ticks are too coarse for programs this idle.
      const std::string schedstat = ReadText(task.path() / "schedstat");
      if (schedstat.empty()) continue;
      const double cpu = std::strtod(schedstat.c_str(), nullptr) / 1e9;
      u.cpu += cpu;
      std::string thread = ReadText(task.path() / "comm");
      if (!thread.empty() && thread.back() == '\n') thread.pop_back();
      u.cpu_by_thread[thread] += cpu;
      const std::string status = ReadText(task.path() / "status");
      u.voluntary += StatusValue(status, "voluntary_ctxt_switches");
      u.involuntary += StatusValue(status, "nonvoluntary_ctxt_switches");
    }
  }
  return u;
}

struct Rates {
  double cpu = -1;  // CPU seconds per second
  double wakeups = 0;
  double preemptions = 0;
  std::map<std::string, double> thread_cpu;  // CPU seconds per second, by thread name
  bool ok() const { return cpu >= 0; }
};

double MedianOf(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Each figure's median over the rounds; not run when any round did not run.
Rates Median(const std::vector<Rates>& rounds) {
  if (rounds.empty() ||
      !std::all_of(rounds.begin(), rounds.end(), [](const Rates& r) { return r.ok(); }))
    return {};
  std::vector<double> cpu, wakeups, preemptions;
  std::map<std::string, std::vector<double>> thread_cpu;
  for (const Rates& r : rounds) {
    cpu.push_back(r.cpu);
    wakeups.push_back(r.wakeups);
    preemptions.push_back(r.preemptions);
    for (const auto& [thread, _] : r.thread_cpu)
      thread_cpu[thread];
  }
  Rates median{MedianOf(cpu), MedianOf(wakeups), MedianOf(preemptions), {}};
  for (auto& [thread, values] : thread_cpu) {
    for (const Rates& r : rounds) {
      const auto found = r.thread_cpu.find(thread);
      values.push_back(found == r.thread_cpu.end() ? 0 : found->second);
    }
    median.thread_cpu[thread] = MedianOf(values);
  }
  return median;
}

// The server's streams of clients (playback or recording) right now.
int StreamCount(bool recording) {
  const std::string command = std::string("pactl list short ") +
                              (recording ? "source-outputs" : "sink-inputs") + " 2>/dev/null";
  FILE* p = popen(command.c_str(), "r");
  if (!p) return 0;
  int lines = 0;
  for (int c; (c = std::fgetc(p)) != EOF;)
    lines += c == '\n';
  pclose(p);
  return lines;
}

// Runs `command` until it has one more stream on the server than `streams_before`, lets it
// settle, and measures it over kMeasure.
Rates Measure(const std::string& command, bool recording, int streams_before, const fs::path& log) {
  Child child(command, log);
  if (child.pid() <= 0) return {};
  const auto deadline = Clock::now() + 20s;
  while (StreamCount(recording) <= streams_before) {
    if (!child.running() || Clock::now() > deadline) return {};
    std::this_thread::sleep_for(50ms);
  }
  std::this_thread::sleep_for(kSettle);
  const Usage a = GroupUsage(child.pid());
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(kMeasure);
  const Usage b = GroupUsage(child.pid());
  const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  if (!child.running()) return {};
  Rates rates{(b.cpu - a.cpu) / seconds,
              (b.voluntary - a.voluntary) / seconds,
              (b.involuntary - a.involuntary) / seconds,
              {}};
  for (const auto& [thread, cpu] : b.cpu_by_thread) {
    const auto before = a.cpu_by_thread.find(thread);
    rates.thread_cpu[thread] =
        (cpu - (before == a.cpu_by_thread.end() ? 0 : before->second)) / seconds;
  }
  return rates;
}

// Polls (the benchmark's children give no other sign) until `done` holds; false after 10 s.
template <typename Done>
bool PollUntil(Done done) {
  for (int i = 0; i < 200; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

// A private PulseAudio server with the null sink "bwbench"; PULSE_SERVER points at it.
class PrivateServer {
 public:
  explicit PrivateServer(const fs::path& dir)
      : child_("env HOME=" + Quoted(dir) + " XDG_RUNTIME_DIR=" + Quoted(dir) +
                   " XDG_CONFIG_HOME=" + Quoted(dir / "config") +
                   " pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no"
                   " -L 'module-null-sink sink_name=bwbench rate=44100 channels=2'"
                   " -L 'module-native-protocol-unix auth-anonymous=1 socket=" +
                   (dir / "native").string() + "'",
               dir / "pulse.log") {
    PollUntil([&] { return fs::exists(dir / "native"); });
    setenv("PULSE_SERVER", ("unix:" + (dir / "native").string()).c_str(), 1);
    setenv("PULSE_SINK", "bwbench", 1);
    setenv("PULSE_SOURCE", "bwbench.monitor", 1);
  }
  bool ok() const { return child_.running(); }

 private:
  Child child_;
};

// An Xvfb display of our own, with the window manager's check window when BW_WM_CHECK names
// the program that makes it; DISPLAY points at it.
class PrivateDisplay {
 public:
  explicit PrivateDisplay(const fs::path& dir) : child_(Command(dir), dir / "xvfb.log") {
    std::string number;
    ok_ = PollUntil([&] {
      number = ReadText(dir / "display");
      return !number.empty() && number.back() == '\n';
    });
    if (!ok_) return;
    setenv("DISPLAY", (":" + number.substr(0, number.size() - 1)).c_str(), 1);
    const char* wm_check = std::getenv("BW_WM_CHECK");
    if (wm_check == nullptr) {
      std::printf("BW_WM_CHECK is not set: the display has no window manager\n");
      return;
    }
    const fs::path log = dir / "wm_check.log";
    wm_check_.emplace(Quoted(wm_check), log);
    ok_ = PollUntil([&] { return ReadText(log) == "ready\n"; });
  }
  bool ok() const { return ok_ && child_.running() && (!wm_check_ || wm_check_->running()); }

 private:
  static std::string Command(const fs::path& dir) {
    return "Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>" + Quoted(dir / "display");
  }
  Child child_;
  std::optional<Child> wm_check_;
  bool ok_ = false;
};

bool HaveProgram(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

void PrintRow(const std::string& what, const Rates& r) {
  if (!r.ok()) {
    std::printf("%-44s  did not run\n", what.c_str());
    return;
  }
  std::printf("%-44s %9.5f %9.1f %9.1f\n", what.c_str(), r.cpu, r.wakeups, r.preemptions);
  if (what.rfind("brookwave", 0) != 0) return;
  // The busiest threads first; those that took no measurable time are left out.
  std::vector<std::pair<double, std::string>> threads;
  for (const auto& [thread, cpu] : r.thread_cpu) {
    if (cpu >= 0.000005) threads.emplace_back(cpu, thread);
  }
  std::sort(threads.rbegin(), threads.rend());
  std::printf("   by thread:");
  for (const auto& [cpu, thread] : threads)
    std::printf("  %s %.5f", thread.c_str(), cpu);
  std::printf("\n");
}

void PrintRatio(const std::string& what, const Rates& ours, const Rates& peer, double goal) {
  if (!ours.ok() || !peer.ok() || peer.cpu <= 0) {
    std::printf("%-44s  n/a\n", what.c_str());
    return;
  }
  const double ratio = ours.cpu / peer.cpu;
  std::printf("%-44s %8.2f  (goal at most %.1f: %s)\n", what.c_str(), ratio, goal,
              ratio <= goal ? "reached" : "not reached");
}

// Programs measured in turns, round after round.
class Turns {
 public:
  Turns(bool recording, fs::path log) : recording_(recording), log_(std::move(log)) {}
  // Adds a program to the turns; its index for Result.
  std::size_t Add(std::string what, std::string command) {
    entries_.push_back({std::move(what), std::move(command), {}});
    return entries_.size() - 1;
  }
  void Run(int rounds) {
    for (int round = 0; round < rounds; ++round) {
      std::fprintf(stderr, "round %d of %d\n", round + 1, rounds);
      for (Entry& e : entries_)
        e.rounds.push_back(Measure(e.command, recording_, 0, log_));
    }
  }
  void Print() const {
    for (const Entry& e : entries_)
      PrintRow(e.what, Median(e.rounds));
  }
  Rates Result(std::size_t index) const { return Median(entries_[index].rounds); }

 private:
  struct Entry {
    std::string what;
    std::string command;
    std::vector<Rates> rounds;
  };
  bool recording_;
  fs::path log_;
  std::vector<Entry> entries_;
};

// The sound every program plays, as a WAVE file, an MP3 file and that MP3 in a WAVE file.
struct Sounds {
  fs::path wav;
  fs::path mp3;
  fs::path mp3_wave;
};

void MeasurePlaying(const Sounds& sounds, const std::string& cli, const std::string& gui,
                    const std::string& config, const fs::path& dir, int rounds) {
  const fs::path& wav = sounds.wav;
  const fs::path& mp3 = sounds.mp3;
  const fs::path& mp3_wave = sounds.mp3_wave;
  std::printf(
      "playing %u s of 44,100 Hz stereo into a private PulseAudio null sink; measured "
      "over %lld s, median of %d rounds\n",
      kSoundSeconds, static_cast<long long>(kMeasure.count()), rounds);
  std::printf("%-44s %9s %9s %9s\n", "program", "CPU s/s", "wakeup/s", "preempt/s");
  Turns playing(false, dir / "play.log");
  const std::size_t mpg123 =
      playing.Add("mpg123 -o pulse (MP3)", "mpg123 -q -o pulse " + Quoted(mp3));
  const std::size_t sox = playing.Add("play (sox, WAVE)", "play -q " + Quoted(wav));
  playing.Add("paplay (WAVE)", "paplay " + Quoted(wav));
  const bool have_audacious = HaveProgram("audacious");
  const std::size_t audacious =
      have_audacious
          ? playing.Add("audacious, GTK window (MP3)",
                        "env " + config + " dbus-run-session -- audacious " + Quoted(mp3))
          : 0;
  const std::size_t cli_pcm =
      playing.Add("brookwave-cli play (WAVE)", Quoted(cli) + " play " + Quoted(wav));
  const std::size_t cli_mp3 =
      playing.Add("brookwave-cli play (MP3 in WAVE)", Quoted(cli) + " play " + Quoted(mp3_wave));
  const std::string run = "env " + config + " dbus-run-session -- " + Quoted(gui) + " ";
  const std::size_t gui_pcm = gui.empty() ? 0 : playing.Add("brookwave (WAVE)", run + Quoted(wav));
  const std::size_t gui_mp3 =
      gui.empty() ? 0 : playing.Add("brookwave (MP3 in WAVE)", run + Quoted(mp3_wave));
  playing.Run(rounds);
  playing.Print();
  const Rates none;
  const Rates audacious_rates = have_audacious ? playing.Result(audacious) : none;
  std::printf("\n");
  PrintRatio("brookwave-cli play (WAVE) / play", playing.Result(cli_pcm), playing.Result(sox), 1.0);
  PrintRatio("brookwave-cli play (MP3) / mpg123", playing.Result(cli_mp3), playing.Result(mpg123),
             1.0);
  if (!gui.empty()) {
    PrintRatio("brookwave (MP3) / audacious", playing.Result(gui_mp3), audacious_rates, 1.0);
    PrintRatio("brookwave (WAVE) / audacious", playing.Result(gui_pcm), audacious_rates, 1.0);
  }
}

// Something plays into the sink meanwhile, so that its monitor runs in real time.
void MeasureRecording(const Sounds& sounds, const std::string& cli, const fs::path& dir,
                      int rounds) {
  std::printf("\nrecording from the sink's monitor while paplay plays into it\n");
  std::printf("%-44s %9s %9s %9s\n", "program", "CPU s/s", "wakeup/s", "preempt/s");
  Child background("sh -c \"while :; do paplay " + Quoted(sounds.wav) + "; done\"",
                   dir / "background.log");
  Turns recording(true, dir / "record.log");
  const std::size_t parec_wav = recording.Add(
      "parec --file-format=wav", "parec --file-format=wav " + Quoted(dir / "parec.wav"));
  const std::size_t parec_lame = recording.Add(
      "parec | lame -b 128", "sh -c 'parec --raw | lame --quiet -r -s 44.1 -b 128 - " +
                                 (dir / "parec.mp3").string() + "'");
  const std::string rec = Quoted(cli) + " record --backend pulse --seconds 30 ";
  const std::size_t cli_rec_pcm = recording.Add(
      "brookwave-cli record (PCM)", rec + Quoted(dir / "ours.wav") + " --format pcm:44100:2:16");
  const std::size_t cli_rec_mp3 =
      recording.Add("brookwave-cli record (MP3 128 kbit/s)",
                    rec + Quoted(dir / "ours_mp3.wav") + " --format mp3:44100:2:128");
  recording.Run(rounds);
  recording.Print();
  std::printf("\n");
  PrintRatio("brookwave-cli record (PCM) / parec", recording.Result(cli_rec_pcm),
             recording.Result(parec_wav), 1.0);
  PrintRatio("brookwave-cli record (MP3) / parec | lame", recording.Result(cli_rec_mp3),
             recording.Result(parec_lame), 1.0);
}

}  // namespace

int main() {
  const char* dir_env = std::getenv("BW_BENCH_DIR");
  const char* cli_env = std::getenv("BW_CLI");
  const char* program_env = std::getenv("BW_PROGRAM");
  const fs::path dir = fs::path(dir_env ? dir_env : fs::temp_directory_path()) / "sound_server";
  fs::remove_all(dir);
  fs::create_directories(dir / "config");
  const std::string cli = cli_env ? cli_env : "brookwave-cli";
  const std::string config = "XDG_CONFIG_HOME=" + Quoted(dir / "config") + " HOME=" + Quoted(dir);

  const Sounds sounds{dir / "sound.wav", dir / "sound.mp3", dir / "sound_mp3.wav"};
  const fs::path& wav = sounds.wav;
  const fs::path& mp3 = sounds.mp3;
  WriteAll(wav,
           Wave(bw::FormatBlock(bw::MakePcmFormat(kRate, 2)), TestSound(kRate, kSoundSeconds)));
  if (std::system(("lame --quiet -b 128 " + Quoted(wav) + " " + Quoted(mp3)).c_str()) != 0 ||
      std::system(("ffmpeg -loglevel error -y -i " + Quoted(mp3) + " -c:a copy -f wav " +
                   Quoted(sounds.mp3_wave))
                      .c_str()) != 0) {
    std::printf("could not make the MP3 files (lame, ffmpeg)\n");
    return 1;
  }

  PrivateServer server(dir);
  PrivateDisplay display(dir);
  if (!server.ok() || !display.ok()) {
    std::printf("could not start pulseaudio or Xvfb\n");
    return 1;
  }

  const char* rounds_env = std::getenv("BW_BENCH_ROUNDS");
  const int rounds = std::max(1, rounds_env ? std::atoi(rounds_env) : 3);
  const char* parts_env = std::getenv("BW_BENCH_PARTS");
  const std::string parts = parts_env ? parts_env : "playing,recording";
  if (parts.find("playing") != std::string::npos)
    MeasurePlaying(sounds, cli, program_env ? program_env : "", config, dir, rounds);
  if (parts.find("recording") != std::string::npos) MeasureRecording(sounds, cli, dir, rounds);
  return 0;
}
