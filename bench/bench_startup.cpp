// Start-up: the time from exec to the first mapped top-level window and the peak resident
// memory once the window has settled, on a private Xvfb and D-Bus session, for the desktop
// program, for Audacious's GTK window and for a bare wxWidgets frame (the floor). Median of 9
// rounds, the programs taking turns after one warm-up start each. Goals: start-up at most 1.0 x
// Audacious's, memory at most 1.2 x the bare frame's. Beside the time, the processor time the
// program had used when its window mapped: the work of the start without the waits for the
// display, which varies less from run to run. With BW_BARE_FRAME_LIBRARIES, also the bare
// frame loading every wx library the program links, which splits the program's lead over the
// floor into the libraries' share and the rest.
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 9;
constexpr auto kMapTimeout = std::chrono::seconds(30);
constexpr auto kSettleLimit = std::chrono::seconds(5);
constexpr auto kSettleStep = std::chrono::milliseconds(100);
constexpr int kQuietSteps = 3;  // no processor time used over this many steps: settled

struct Program {
  const char* name;
  std::vector<std::string> argv;
  std::vector<double> seconds;
  std::vector<double> cpu_seconds;  // at the map
  std::vector<long> peak_kib;
};

pid_t Spawn(const std::vector<std::string>& argv, int stdout_fd = -1) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  if (stdout_fd >= 0) dup2(stdout_fd, STDOUT_FILENO);
  const int quiet = open("/dev/null", O_WRONLY);  // the programs' complaints about sound
  if (quiet >= 0) dup2(quiet, STDERR_FILENO);
  std::vector<char*> args;
  for (const std::string& a : argv)
    args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  _exit(127);
}

// A line the child writes to the pipe: the display number of Xvfb, the address of dbus-daemon.
std::string ReadLine(int fd) {
  std::string line;
  char c = 0;
  while (read(fd, &c, 1) == 1 && c != '\n')
    line.push_back(c);
  return line;
}

pid_t SpawnReporting(std::vector<std::string> argv, std::string& line) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  for (std::string& a : argv) {
    if (a == "FD") a = std::to_string(fds[1]);
  }
  const pid_t pid = Spawn(argv, argv[0] == "dbus-daemon" ? fds[1] : -1);
  close(fds[1]);
  line = ReadLine(fds[0]);
  close(fds[0]);
  return pid;
}

void Stop(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (waitpid(pid, nullptr, WNOHANG) == 0) {
    if (Clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

long ProcessTicks(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t close_paren = text.rfind(')');
  if (close_paren == std::string::npos) return -1;
  // After the name: state, then fields 4 to 13, then utime and stime.
  std::vector<std::string> fields;
  std::size_t at = close_paren + 2;
  while (at < text.size() && fields.size() < 13) {
    const std::size_t end = text.find(' ', at);
    fields.push_back(text.substr(at, end - at));
    at = end == std::string::npos ? text.size() : end + 1;
  }
  return fields.size() < 13 ? -1 : std::stol(fields[11]) + std::stol(fields[12]);
}

// Processor time of all the threads of `pid` so far.
double ProcessorSeconds(pid_t pid) {
  const fs::path tasks = "/proc/" + std::to_string(pid) + "/task";
  std::error_code ec;
  double total = 0;
  for (const auto& task : fs::directory_iterator(tasks, ec)) {
    std::ifstream in(task.path() / "schedstat");
    double ns = 0;
    if (in >> ns) total += ns / 1e9;
  }
  return total;
}

long PeakKib(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// Waits until the program has used no processor time for a few steps (it has drawn its window
// and gone idle), at most kSettleLimit.
void Settle(pid_t pid) {
  const auto deadline = Clock::now() + kSettleLimit;
  long last = ProcessTicks(pid);
  int quiet = 0;
  while (quiet < kQuietSteps && Clock::now() < deadline) {
    std::this_thread::sleep_for(kSettleStep);
    const long now = ProcessTicks(pid);
    quiet = now == last ? quiet + 1 : 0;
    last = now;
  }
}

// Seconds from exec to the first mapped window that is not a popup; nothing on a timeout.
std::optional<double> WaitForMap(Display* display, Clock::time_point start) {
  const int fd = ConnectionNumber(display);
  while (Clock::now() - start < kMapTimeout) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == MapNotify && !event.xmap.override_redirect)
        return std::chrono::duration<double>(Clock::now() - start).count();
    }
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, 100);
  }
  return std::nullopt;
}

bool Launch(Display* display, Program& program) {
  const Window root = DefaultRootWindow(display);
  XSelectInput(display, root, SubstructureNotifyMask);
  XSync(display, True);  // drops what earlier programs left
  const Clock::time_point start = Clock::now();
  const pid_t pid = Spawn(program.argv);
  const std::optional<double> seconds = WaitForMap(display, start);
  const double cpu = ProcessorSeconds(pid);
  if (seconds) Settle(pid);
  const long peak = PeakKib(pid);
  Stop(pid);
  XSelectInput(display, root, NoEventMask);
  XSync(display, True);
  if (!seconds || peak < 0) return false;
  program.seconds.push_back(*seconds);
  program.cpu_seconds.push_back(cpu);
  program.peak_kib.push_back(peak);
  return true;
}

template <typename T>
T Median(std::vector<T> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// A private home for every program, so that each starts from the same saved state.
void UsePrivateHome(const fs::path& dir) {
  for (const char* sub : {"config", "data", "cache", "runtime"})
    fs::create_directories(dir / sub);
  fs::permissions(dir / "runtime", fs::perms::owner_all);
  setenv("HOME", dir.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (dir / "runtime").c_str(), 1);
  unsetenv("PULSE_SERVER");
  setenv("NO_AT_BRIDGE", "1", 1);  // no accessibility bus here for either program
}

}  // namespace

int main() {
  const char* dir_env = std::getenv("BW_BENCH_DIR");
  const char* gui_env = std::getenv("BW_GUI");
  const char* bare_env = std::getenv("BW_BARE_FRAME");
  const char* libraries_env = std::getenv("BW_BARE_FRAME_LIBRARIES");  // optional
  if (gui_env == nullptr || bare_env == nullptr) {
    std::printf("BW_GUI and BW_BARE_FRAME name the programs (bench/run sets them)\n");
    return 1;
  }
  const fs::path home = (dir_env ? fs::path(dir_env) : fs::temp_directory_path()) / "startup_home";
  UsePrivateHome(home);

  std::string display_number;
  const pid_t xvfb = SpawnReporting(
      {"Xvfb", "-displayfd", "FD", "-nolisten", "tcp", "-screen", "0", "1280x1024x24"},
      display_number);
  if (display_number.empty()) {
    std::printf("Xvfb did not start\n");
    Stop(xvfb);
    return 1;
  }
  setenv("DISPLAY", (":" + display_number).c_str(), 1);
  std::string bus;
  const pid_t dbus =
      SpawnReporting({"dbus-daemon", "--session", "--nofork", "--print-address"}, bus);
  setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);

  Display* display = XOpenDisplay(nullptr);
  std::vector<Program> programs = {
      {"brookwave", {gui_env}, {}, {}, {}},
      {"audacious (GTK)", {"audacious", "-G"}, {}, {}, {}},
      {"bare wx frame", {bare_env}, {}, {}, {}},
  };
  if (libraries_env) programs.push_back({"frame, our wx libs", {libraries_env}, {}, {}, {}});
  bool ok = display != nullptr;
  for (Program& p : programs) {
    ok = ok && Launch(display, p);  // warm-up: first-run files, disk cache
    p.seconds.clear();
    p.cpu_seconds.clear();
    p.peak_kib.clear();
  }
  for (int round = 0; ok && round < kRounds; ++round) {
    for (Program& p : programs)
      ok = ok && Launch(display, p);
  }
  if (display) XCloseDisplay(display);
  Stop(dbus);
  Stop(xvfb);
  if (!ok) {
    std::printf("a program did not show its window\n");
    return 1;
  }

  std::printf(
      "start-up to the first mapped window under Xvfb, and peak resident memory "
      "(median of %d)\n",
      kRounds);
  for (const Program& p : programs) {
    std::printf("%-18s %7.3f s (processor %.3f s) %8.1f MiB\n", p.name, Median(p.seconds),
                Median(p.cpu_seconds), Median(p.peak_kib) / 1024.0);
  }
  const double ours = Median(programs[0].seconds);
  const double audacious = Median(programs[1].seconds);
  const double memory = static_cast<double>(Median(programs[0].peak_kib));
  const double floor = static_cast<double>(Median(programs[2].peak_kib));
  std::printf("start-up ours/audacious %5.2f (goal at most 1.0); processor time %5.2f\n",
              ours / audacious, Median(programs[0].cpu_seconds) / Median(programs[1].cpu_seconds));
  std::printf("memory ours/bare frame  %5.2f (goal at most 1.2)\n", memory / floor);
  if (programs.size() > 3) {
    // How much of the gap over the bare frame is the loading of the wx libraries the program
    // links, before any window of its own is made.
    const Program& libraries = programs[3];
    std::printf(
        "of our lead over the bare frame, the wx libraries alone: %+.3f of %+.3f s, "
        "%+.1f of %+.1f MiB\n",
        Median(libraries.seconds) - Median(programs[2].seconds), ours - Median(programs[2].seconds),
        (Median(libraries.peak_kib) - floor) / 1024.0, (memory - floor) / 1024.0);
  }
  return 0;
}
