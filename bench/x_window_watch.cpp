// ornivox-xwatch [--trace TITLE] [--text-rect X,Y,W,H]
//
// Watches the top-level windows of the X display in $DISPLAY from outside,
// so the bench can time a player's window without touching the player, and
// prints one line per event, each with the CLOCK_MONOTONIC time it was read
// (the clock Python's time.monotonic() reads):
//
//   ready T
//   map T WIN PID TITLE       a top-level window was mapped (PID from _NET_WM_PID, 0 if unset)
//   expose T WIN              its first Expose after that map
//   paint T WIN X Y W H       its first damage after that map: the first pixels drawn
//   damage T WIN X Y W H      every damage rectangle, for the traced window only
//   text T WIN                the traced window's text rectangle first shows the text colour
//   iconic T WIN | normal T WIN | unmapped T WIN   answers to the commands below
//   unmap T WIN | destroy T WIN
//
// Commands on stdin, one a line (WIN as printed):
//   minimise WIN   asks for iconic state the ICCCM way (WM_CHANGE_STATE to the
//                  root), as a program's own minimise button or a taskbar does
//   unmap WIN      hides an iconic window, as a window manager does next
//   restore WIN    maps it again in normal state
//   quit           (so does the end of stdin)
//
// The bench's X server has no window manager, so this program stands in for
// one where iconic state is concerned: it answers WM_CHANGE_STATE by setting
// WM_STATE, which is where toolkits learn that their window is minimised.
// It leaves the window mapped until told to unmap it: an unmapped window
// cannot be drawn on, so only a mapped one shows whether a minimised program
// still paints.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  bool intersects(const Rect& o) const { return x < o.x + o.w && o.x < x + w && y < o.y + o.h && o.y < y + h; }
};

struct Tracked {
  Damage damage = 0;
  bool mapped = false;
  bool exposed = false;  // since the last map
  bool painted = false;  // since the last map
  bool traced = false;
  bool textSeen = false;
};

double now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Windows vanish between an event and the request it prompts; that is no
// reason to stop watching the others.
int ignoreErrors(Display*, XErrorEvent*) { return 0; }

std::optional<Rect> parseRect(const char* text) {
  Rect r;
  if (std::sscanf(text, "%d,%d,%d,%d", &r.x, &r.y, &r.w, &r.h) != 4 || r.w <= 0 || r.h <= 0) return std::nullopt;
  return r;
}

class Watcher {
 public:
  Watcher(Display* dpy, std::string trace, std::optional<Rect> textRect)
      : dpy_(dpy), root_(DefaultRootWindow(dpy)), trace_(std::move(trace)), textRect_(textRect) {
    wmState_ = XInternAtom(dpy_, "WM_STATE", False);
    wmChangeState_ = XInternAtom(dpy_, "WM_CHANGE_STATE", False);
    netWmPid_ = XInternAtom(dpy_, "_NET_WM_PID", False);
    netWmName_ = XInternAtom(dpy_, "_NET_WM_NAME", False);
    utf8_ = XInternAtom(dpy_, "UTF8_STRING", False);
    XSelectInput(dpy_, root_, SubstructureNotifyMask);
    XSync(dpy_, False);
  }

  bool init() {
    int error = 0;
    if (!XDamageQueryExtension(dpy_, &damageEvent_, &error)) {
      std::fprintf(stderr, "ornivox-xwatch: the X server has no DAMAGE extension\n");
      return false;
    }
    return true;
  }

  // Events already in Xlib's queue, without reading the connection again.
  void drainQueued() {
    while (XEventsQueued(dpy_, QueuedAlready) > 0) handleNext();
  }

  void drainAll() {
    while (XPending(dpy_) > 0) handleNext();
  }

  bool command(const std::string& line) {
    char verb[32] = {};
    unsigned long id = 0;
    if (line == "quit") return false;
    if (std::sscanf(line.c_str(), "%31s %lu", verb, &id) != 2) {
      std::fprintf(stderr, "ornivox-xwatch: bad command: %s\n", line.c_str());
      return true;
    }
    const Window win = id;
    const std::string v = verb;
    if (v == "minimise") {
      XIconifyWindow(dpy_, win, DefaultScreen(dpy_));
      XFlush(dpy_);
    } else if (v == "unmap") {
      XUnmapWindow(dpy_, win);
      settle("unmapped", win);
    } else if (v == "restore") {
      setWmState(win, NormalState);
      XMapWindow(dpy_, win);
      settle("normal", win);
    } else {
      std::fprintf(stderr, "ornivox-xwatch: unknown command: %s\n", verb);
    }
    return true;
  }

 private:
  // Whatever the server sent before it carried out our request is printed
  // before the answer, so a reader can split the events at the answer.
  void settle(const char* answer, Window win) {
    XSync(dpy_, False);
    drainQueued();
    std::printf("%s %.6f %lu\n", answer, now(), win);
  }

  void setWmState(Window win, long state) {
    const long data[2] = {state, static_cast<long>(None)};
    XChangeProperty(dpy_, win, wmState_, wmState_, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(data), 2);
  }

  void handleNext() {
    XEvent ev;
    XNextEvent(dpy_, &ev);
    const double t = now();
    if (ev.type == damageEvent_ + XDamageNotify) {
      onDamage(t, *reinterpret_cast<XDamageNotifyEvent*>(&ev));
      return;
    }
    switch (ev.type) {
      case CreateNotify:
        if (ev.xcreatewindow.parent == root_ && !ev.xcreatewindow.override_redirect) track(ev.xcreatewindow.window);
        break;
      case MapNotify:
        if (ev.xmap.event == root_ && !ev.xmap.override_redirect) onMap(t, ev.xmap.window);
        break;
      case UnmapNotify:
        if (ev.xunmap.event == root_ && windows_.count(ev.xunmap.window)) {
          windows_[ev.xunmap.window].mapped = false;
          std::printf("unmap %.6f %lu\n", t, ev.xunmap.window);
        }
        break;
      case DestroyNotify:
        if (ev.xdestroywindow.event == root_) {
          if (windows_.erase(ev.xdestroywindow.window)) std::printf("destroy %.6f %lu\n", t, ev.xdestroywindow.window);
        }
        break;
      case Expose:
        if (auto it = windows_.find(ev.xexpose.window); it != windows_.end() && it->second.mapped && !it->second.exposed) {
          it->second.exposed = true;
          std::printf("expose %.6f %lu\n", t, ev.xexpose.window);
        }
        break;
      case ClientMessage:
        if (ev.xclient.message_type == wmChangeState_ && ev.xclient.format == 32 && ev.xclient.data.l[0] == IconicState) {
          setWmState(ev.xclient.window, IconicState);
          settle("iconic", ev.xclient.window);
        }
        break;
      default:
        break;
    }
  }

  void track(Window win) {
    Tracked& w = windows_[win];
    XSelectInput(dpy_, win, ExposureMask);
    if (!w.damage) w.damage = XDamageCreate(dpy_, win, XDamageReportRawRectangles);
  }

  void onMap(double t, Window win) {
    if (!windows_.count(win)) track(win);
    Tracked& w = windows_[win];
    w.mapped = true;
    w.exposed = false;
    w.painted = false;
    const std::string title = titleOf(win);
    w.traced = !trace_.empty() && title == trace_;
    std::printf("map %.6f %lu %lu %s\n", t, win, pidOf(win), title.c_str());
  }

  void onDamage(double t, const XDamageNotifyEvent& ev) {
    auto it = windows_.find(ev.drawable);
    if (it == windows_.end() || !it->second.mapped) return;
    Tracked& w = it->second;
    const Rect r{ev.area.x, ev.area.y, ev.area.width, ev.area.height};
    if (!w.painted) {
      w.painted = true;
      std::printf("paint %.6f %lu %d %d %d %d\n", t, ev.drawable, r.x, r.y, r.w, r.h);
    }
    if (!w.traced) {
      // Other players' windows may redraw all the time (a visualisation);
      // their first paint is all the bench asks about.
      if (w.damage) {
        XDamageDestroy(dpy_, w.damage);
        w.damage = 0;
      }
      return;
    }
    std::printf("damage %.6f %lu %d %d %d %d\n", t, ev.drawable, r.x, r.y, r.w, r.h);
    if (textRect_ && !w.textSeen && r.intersects(*textRect_) && showsTextColour(ev.drawable, *textRect_)) {
      w.textSeen = true;
      std::printf("text %.6f %lu\n", now(), ev.drawable);
    }
  }

  // The station line is drawn in yellow on a dark face; a yellow pixel in its
  // rectangle means its text is on screen.
  bool showsTextColour(Window win, const Rect& r) {
    XImage* image = XGetImage(dpy_, win, r.x, r.y, static_cast<unsigned>(r.w), static_cast<unsigned>(r.h), AllPlanes, ZPixmap);
    if (!image) return false;
    bool found = false;
    if (image->red_mask == 0xff0000 && image->green_mask == 0xff00 && image->blue_mask == 0xff) {
      for (int y = 0; y < r.h && !found; ++y)
        for (int x = 0; x < r.w && !found; ++x) {
          const unsigned long p = XGetPixel(image, x, y);
          found = ((p >> 16) & 0xff) >= 200 && ((p >> 8) & 0xff) >= 200 && (p & 0xff) <= 96;
        }
    }
    XDestroyImage(image);
    return found;
  }

  unsigned long pidOf(Window win) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    unsigned long pid = 0;
    if (XGetWindowProperty(dpy_, win, netWmPid_, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) ==
            Success &&
        data) {
      if (type == XA_CARDINAL && format == 32 && count == 1) pid = *reinterpret_cast<unsigned long*>(data);
      XFree(data);
    }
    return pid;
  }

  std::string titleOf(Window win) {
    std::string title;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy_, win, netWmName_, 0, 1024, False, utf8_, &type, &format, &count, &after, &data) ==
            Success &&
        data) {
      if (type == utf8_ && format == 8) title.assign(reinterpret_cast<char*>(data), count);
      XFree(data);
    }
    if (title.empty()) {
      char* name = nullptr;
      if (XFetchName(dpy_, win, &name) && name) {
        title = name;
        XFree(name);
      }
    }
    for (char& c : title)
      if (c == '\n' || c == '\r') c = ' ';
    return title;
  }

  Display* dpy_;
  Window root_;
  std::string trace_;
  std::optional<Rect> textRect_;
  int damageEvent_ = 0;
  Atom wmState_ = None, wmChangeState_ = None, netWmPid_ = None, netWmName_ = None, utf8_ = None;
  std::map<Window, Tracked> windows_;
};

int usage() {
  std::fprintf(stderr, "usage: ornivox-xwatch [--trace TITLE] [--text-rect X,Y,W,H]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string trace;
  std::optional<Rect> textRect;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--trace" && i + 1 < argc) {
      trace = argv[++i];
    } else if (arg == "--text-rect" && i + 1 < argc) {
      textRect = parseRect(argv[++i]);
      if (!textRect) return usage();
    } else {
      return usage();
    }
  }
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) {
    std::fprintf(stderr, "ornivox-xwatch: cannot open display %s\n", std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "(unset)");
    return 1;
  }
  XSetErrorHandler(ignoreErrors);
  std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
  Watcher watcher(dpy, trace, textRect);
  if (!watcher.init()) return 1;
  std::printf("ready %.6f\n", now());
  std::fflush(stdout);

  std::string pending;
  bool running = true;
  while (running) {
    watcher.drainAll();
    std::fflush(stdout);
    pollfd fds[2] = {{ConnectionNumber(dpy), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents & (POLLERR | POLLHUP)) break;
    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
      char buf[512];
      const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
      if (n <= 0) break;
      pending.append(buf, static_cast<std::size_t>(n));
      for (std::size_t nl; running && (nl = pending.find('\n')) != std::string::npos;) {
        const std::string line = pending.substr(0, nl);
        pending.erase(0, nl + 1);
        watcher.drainAll();  // events that came before the command are printed before its answer
        running = watcher.command(line);
      }
    }
  }
  std::fflush(stdout);
  XCloseDisplay(dpy);
  return 0;
}
