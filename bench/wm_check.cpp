// Stands in for a desktop's window manager on the benchmark's Xvfb display, as far as toolkits
// look for one: an EWMH check window named on the root window, then waits until killed. Every
// desktop session has a window manager; without one, GTK asks the X server for it again at
// every frame it draws, a round trip (and a wake-up) that no desktop has. Nothing is managed:
// windows map as they would without it.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>

int main() {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "wm_check: cannot open the display\n");
    return 1;
  }
  const Window root = DefaultRootWindow(display);
  Window check = XCreateSimpleWindow(display, root, -10, -10, 1, 1, 0, 0, 0);
  const Atom supporting = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
  const Atom name = XInternAtom(display, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  auto* check_bytes = reinterpret_cast<unsigned char*>(&check);
  XChangeProperty(display, check, supporting, XA_WINDOW, 32, PropModeReplace, check_bytes, 1);
  const char wm_name[] = "bench";
  XChangeProperty(display, check, name, utf8, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(wm_name), sizeof wm_name - 1);
  XChangeProperty(display, root, supporting, XA_WINDOW, 32, PropModeReplace, check_bytes, 1);
  XSync(display, False);
  std::printf("ready\n");
  std::fflush(stdout);
  pause();
  return 0;
}
