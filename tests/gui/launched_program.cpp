#include "launched_program.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <thread>

// Last: Xlib's macros would clash with the headers above.
#include <X11/Xlib.h>

extern char** environ;

namespace bw::test {

using namespace std::chrono_literals;

namespace {

// The programs under test create and destroy windows while the test walks them: a window gone
// between the walk and a query is an expected miss, not a reason for Xlib to end the test.
int IgnoreXError(Display*, XErrorEvent*) {
  return 0;
}

}  // namespace

void LaunchedProgram::SetUp() {
  XSetErrorHandler(IgnoreXError);
  display_ = XOpenDisplay(nullptr);
  ASSERT_NE(display_, nullptr) << "no display (run the test through run-headless)";
}

void LaunchedProgram::TearDown() {
  for (pid_t pid : pids_) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  if (display_) XCloseDisplay(display_);
}

pid_t LaunchedProgram::Launch(const std::vector<std::string>& args, const std::string& program,
                              const std::vector<std::string>& environment) {
  std::vector<std::string> changes = {"XDG_CONFIG_HOME=" + (dir_ / "config").string(),
                                      "BROOKWAVE_SOUND=portaudio"};
  changes.insert(changes.end(), environment.begin(), environment.end());
  const auto name = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (std::none_of(changes.begin(), changes.end(),
                     [&](const std::string& change) { return name(change) == name(entry); }))
      env.push_back(entry);
  }
  // The last change of a name holds.
  for (auto change = changes.begin(); change != changes.end(); ++change) {
    const bool later = std::any_of(change + 1, changes.end(), [&](const std::string& other) {
      return name(other) == name(*change);
    });
    if (!later && change->find('=') != std::string::npos) env.push_back(*change);
  }
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), args.begin(), args.end());
  pid_t pid = -1;
  EXPECT_EQ(posix_spawn(&pid, argv[0].c_str(), nullptr, nullptr, ExecPointers(argv).data(),
                        ExecPointers(env).data()),
            0);
  if (pid > 0) pids_.push_back(pid);
  return pid;
}

std::vector<XWindow> LaunchedProgram::TopLevelWindows() {
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  std::vector<XWindow> out;
  if (XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) {
    out.assign(children, children + count);  // bottom to top
    XFree(children);
  }
  return out;
}

std::optional<XWindow> LaunchedProgram::MainWindow(pid_t pid, std::chrono::milliseconds wait) {
  for (auto waited = 0ms; waited < wait; waited += 100ms) {
    for (XWindow window : TopLevelWindows()) {
      if (Pid(window) == pid && Name(window).ends_with(" - Brookwave") && IsMapped(window))
        return window;
    }
    std::this_thread::sleep_for(100ms);
  }
  return std::nullopt;
}

std::optional<XWindow> LaunchedProgram::WindowNamed(pid_t pid, const std::string& name,
                                                    std::chrono::milliseconds wait) {
  for (auto waited = 0ms; waited < wait; waited += 100ms) {
    const std::vector<XWindow> windows = WindowsNamed(pid, name);
    if (!windows.empty()) return windows.front();
    std::this_thread::sleep_for(100ms);
  }
  return std::nullopt;
}

std::vector<XWindow> LaunchedProgram::WindowsNamed(pid_t pid, const std::string& name) {
  std::vector<XWindow> found;
  for (XWindow window : TopLevelWindows()) {
    if (Pid(window) == pid && Name(window) == name && IsMapped(window)) found.push_back(window);
  }
  return found;
}

std::string LaunchedProgram::Name(XWindow window) {
  std::vector<unsigned char> value = Property(window, "_NET_WM_NAME");
  return std::string(value.begin(), value.end());
}

std::string LaunchedProgram::AwaitCaption(XWindow window, const std::string& expected,
                                          std::chrono::milliseconds wait) {
  for (auto waited = 0ms; waited < wait && Name(window) != expected; waited += 100ms)
    std::this_thread::sleep_for(100ms);
  return Name(window);
}

void LaunchedProgram::CloseBox(XWindow window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display_, window, False, NoEventMask, &event);
  XFlush(display_);
}

std::optional<int> LaunchedProgram::Exited(pid_t pid, std::chrono::milliseconds wait) {
  for (auto waited = 0ms; waited <= wait; waited += 50ms) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      std::erase(pids_, pid);
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(50ms);
  }
  return std::nullopt;
}

bool LaunchedProgram::IsAbove(XWindow upper, XWindow lower) {
  const std::vector<XWindow> order = TopLevelWindows();
  const auto u = std::find(order.begin(), order.end(), upper);
  const auto l = std::find(order.begin(), order.end(), lower);
  return u != order.end() && l != order.end() && u > l;
}

XWindow LaunchedProgram::MapCoveringWindow() {
  const Window window =
      XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1600, 1200, 0, 0, 0);
  XMapRaised(display_, window);
  XSync(display_, False);
  return window;
}

std::string LaunchedProgram::Profile() const {
  return ReadFileText(dir_ / "config" / "Brookwave" / "Brookwave.conf");
}

void LaunchedProgram::WriteProfile(const std::string& text) {
  std::filesystem::create_directories(dir_ / "config" / "Brookwave");
  WriteFileText(dir_ / "config" / "Brookwave" / "Brookwave.conf", text);
}

std::vector<unsigned char> LaunchedProgram::Property(XWindow window, const char* name) {
  Atom type = 0;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* data = nullptr;
  std::vector<unsigned char> value;
  if (XGetWindowProperty(display_, window, XInternAtom(display_, name, False), 0, 1024, False,
                         AnyPropertyType, &type, &format, &items, &after, &data) == Success &&
      data != nullptr) {
    const std::size_t bytes = format == 32 ? items * sizeof(long) : items * (format / 8);
    value.assign(data, data + bytes);
    XFree(data);
  }
  return value;
}

pid_t LaunchedProgram::Pid(XWindow window) {
  const std::vector<unsigned char> value = Property(window, "_NET_WM_PID");
  if (value.size() < sizeof(long)) return -1;
  long pid = 0;
  std::memcpy(&pid, value.data(), sizeof pid);
  return static_cast<pid_t>(pid);
}

bool LaunchedProgram::IsMapped(XWindow window) {
  XWindowAttributes attributes{};
  return XGetWindowAttributes(display_, window, &attributes) && attributes.map_state == IsViewable;
}

}  // namespace bw::test
