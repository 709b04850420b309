// frame_watch: watches a rectangle of the X screen and reports when what it shows changes,
// for timing programs from the outside in the same way whatever they are. Every mode sleeps
// between polls, so the watcher's own cost is bounded and the same for every program.
//
//   frame_watch window X Y W H PID REGEX TIMEOUT_S
//       Waits (a look every 20 ms) for a viewable top-level window of process PID whose name
//       matches REGEX and prints "ID X Y W H". X Y W H are ignored (kept for a common form).
//   frame_watch place X Y W H WINDOW
//       Moves WINDOW to X Y and sizes it W x H (W 0: keeps its size), waits until it is so.
//   frame_watch settle X Y W H PID QUIET_MS TIMEOUT_S [DISMISS_REGEX [WINDOW WW WH]]
//       Polls every 10 ms and prints "T HASH HWM" (T: CLOCK_REALTIME nanoseconds, HWM: the
//       process's peak resident memory so far in KiB) for the first poll and every change. Ends
//       once the rectangle has not changed for QUIET_MS and process PID used less than a tenth of a
//       core meanwhile (it is done drawing), or after TIMEOUT_S; prints "end T". Every 100 ms it
//       also answers a viewable window whose name matches DISMISS_REGEX with Return (once per
//       window) and puts WINDOW back to 0 0 WW x WH if it moved or changed size (noted on
//       stderr): the same work whatever program is watched.
//   frame_watch count X Y W H SECONDS [INTERVAL_MS]
//       Polls every INTERVAL_MS (default 5) for SECONDS and prints
//       "changes N polls P seconds S cpu C" (C: the watcher's own CPU seconds).
//   frame_watch grab X Y W H OUT.ppm
//       Writes the rectangle as a binary PPM and prints its hash.
//   frame_watch pointer X Y W H
//       Moves the pointer to X Y and prints where it is then.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

std::int64_t nowNs() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

struct Grabber {
  Display *dpy = nullptr;
  Window root = 0;
  int x = 0, y = 0, w = 0, h = 0;

  // FNV-1a over the rectangle's pixels (colour bits only).
  std::uint64_t hash(std::string *ppm = nullptr) const {
    XImage *img = XGetImage(dpy, root, x, y, unsigned(w), unsigned(h), AllPlanes, ZPixmap);
    if (!img)
      return 0;
    std::uint64_t hv = 1469598103934665603ull;
    if (ppm)
      *ppm = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    const bool direct = img->bits_per_pixel == 32 && img->byte_order == LSBFirst;
    for (int row = 0; row < h; ++row)
      for (int col = 0; col < w; ++col) {
        std::uint32_t word = 0;
        if (direct)
          std::memcpy(&word,
                      img->data + std::size_t(row) * std::size_t(img->bytes_per_line) +
                          std::size_t(col) * 4,
                      4);
        const unsigned long p = direct ? word : XGetPixel(img, col, row);
        const unsigned char rgb[3] = {static_cast<unsigned char>((p >> 16) & 0xff),
                                      static_cast<unsigned char>((p >> 8) & 0xff),
                                      static_cast<unsigned char>(p & 0xff)};
        for (unsigned char c : rgb)
          hv = (hv ^ c) * 1099511628211ull;
        if (ppm)
          ppm->append(reinterpret_cast<const char *>(rgb), 3);
      }
    XDestroyImage(img);
    return hv;
  }
};

// CPU time (user + system) of a process in clock ticks; -1 when it is gone.
long long cpuTicks(long pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string s;
  if (!std::getline(in, s))
    return -1;
  const std::size_t close = s.rfind(')');
  if (close == std::string::npos)
    return -1;
  // Fields after the name: state is field 3; utime and stime are fields 14 and 15.
  const char *p = s.c_str() + close + 2;
  long long v[13] = {};
  for (int field = 3; field <= 15; ++field) {
    while (*p == ' ')
      ++p;
    if (field >= 14)
      v[field - 14] = std::strtoll(p, nullptr, 10);
    while (*p && *p != ' ')
      ++p;
  }
  return v[0] + v[1];
}

// Peak resident memory of a process (VmHWM) in KiB; -1 when it is gone.
long long peakKiB(long pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.compare(0, 6, "VmHWM:") == 0)
      return std::atoll(line.c_str() + 6);
  return -1;
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The name of a window, _NET_WM_NAME (UTF-8) before WM_NAME.
std::string windowName(Display *dpy, Window w) {
  Atom type;
  int format;
  unsigned long n = 0, after = 0;
  unsigned char *data = nullptr;
  std::string name;
  const Atom netName = XInternAtom(dpy, "_NET_WM_NAME", False);
  if (XGetWindowProperty(dpy, w, netName, 0, 1024, False, AnyPropertyType, &type, &format, &n,
                         &after, &data) == Success &&
      data) {
    name.assign(reinterpret_cast<char *>(data), n);
    XFree(data);
  }
  if (name.empty()) {
    char *plain = nullptr;
    if (XFetchName(dpy, w, &plain) && plain) {
      name = plain;
      XFree(plain);
    }
  }
  return name;
}

long windowPid(Display *dpy, Window w) {
  Atom type;
  int format;
  unsigned long n = 0, after = 0;
  unsigned char *data = nullptr;
  long pid = -1;
  const Atom pidAtom = XInternAtom(dpy, "_NET_WM_PID", False);
  if (XGetWindowProperty(dpy, w, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &n, &after,
                         &data) == Success &&
      data) {
    if (n == 1)
      pid = long(*reinterpret_cast<unsigned long *>(data));
    XFree(data);
  }
  return pid;
}

// Viewable children of the root (there is no window manager under Xvfb).
std::vector<Window> topLevels(Display *dpy) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned n = 0;
  std::vector<Window> out;
  if (!XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &n))
    return out;
  for (unsigned i = 0; i < n; ++i) {
    XWindowAttributes a;
    if (XGetWindowAttributes(dpy, children[i], &a) && a.map_state == IsViewable)
      out.push_back(children[i]);
  }
  if (children)
    XFree(children);
  return out;
}

bool geometry(Display *dpy, Window w, int &x, int &y, int &width, int &height) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(dpy, w, &a))
    return false;
  Window child = 0;
  XTranslateCoordinates(dpy, w, DefaultRootWindow(dpy), 0, 0, &x, &y, &child);
  width = a.width;
  height = a.height;
  return true;
}

void pressReturn(Display *dpy, Window w) {
  XKeyEvent e{};
  e.display = dpy;
  e.window = w;
  e.root = DefaultRootWindow(dpy);
  e.time = CurrentTime;
  e.same_screen = True;
  e.keycode = XKeysymToKeycode(dpy, XStringToKeysym("Return"));
  for (int type : {KeyPress, KeyRelease}) {
    e.type = type;
    XSendEvent(dpy, w, True, type == KeyPress ? KeyPressMask : KeyReleaseMask,
               reinterpret_cast<XEvent *>(&e));
  }
  XFlush(dpy);
}

double ownCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

int usage() {
  std::fputs("usage: frame_watch window X Y W H PID REGEX TIMEOUT_S\n"
             "       frame_watch place X Y W H WINDOW\n"
             "       frame_watch settle X Y W H PID QUIET_MS TIMEOUT_S [DISMISS [WINDOW WW WH]]\n"
             "       frame_watch count X Y W H SECONDS [INTERVAL_MS]\n"
             "       frame_watch grab X Y W H OUT.ppm\n"
             "       frame_watch pointer X Y W H\n",
             stderr);
  return 2;
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 6)
    return usage();
  const std::string mode = argv[1];
  Grabber g;
  g.x = std::atoi(argv[2]);
  g.y = std::atoi(argv[3]);
  g.w = std::atoi(argv[4]);
  g.h = std::atoi(argv[5]);
  g.dpy = XOpenDisplay(nullptr);
  if (!g.dpy || g.w < 0 || g.h < 0) {
    std::fputs("frame_watch: no display or an empty rectangle\n", stderr);
    return 1;
  }
  g.root = DefaultRootWindow(g.dpy);
  // Windows come and go while they are looked at: a vanished one is skipped, not fatal.
  XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });

  if (mode == "pointer") {
    XWarpPointer(g.dpy, None, g.root, 0, 0, 0, 0, g.x, g.y);
    XSync(g.dpy, False);
    Window r = 0, c = 0;
    int px = 0, py = 0, wx = 0, wy = 0;
    unsigned mask = 0;
    XQueryPointer(g.dpy, g.root, &r, &c, &px, &py, &wx, &wy, &mask);
    std::printf("%d %d\n", px, py);
    return 0;
  }
  if (mode == "window" && argc >= 9) {
    const long pid = std::atol(argv[6]);
    const std::regex pattern(argv[7]);
    const std::int64_t deadline = nowNs() + std::int64_t(std::atof(argv[8]) * 1e9);
    while (nowNs() < deadline) {
      for (Window w : topLevels(g.dpy)) {
        int x, y, width, height;
        if (windowPid(g.dpy, w) == pid && std::regex_search(windowName(g.dpy, w), pattern) &&
            geometry(g.dpy, w, x, y, width, height)) {
          std::printf("%lu %d %d %d %d\n", w, x, y, width, height);
          return 0;
        }
      }
      sleepMs(20);
    }
    return 1;
  }
  if (mode == "place" && argc >= 7) {
    const Window w = std::strtoul(argv[6], nullptr, 10);
    int x, y, width, height;
    if (!geometry(g.dpy, w, x, y, width, height))
      return 1;
    const int ww = g.w > 0 ? g.w : width, wh = g.h > 0 ? g.h : height;
    XMoveResizeWindow(g.dpy, w, g.x, g.y, unsigned(ww), unsigned(wh));
    XSync(g.dpy, False);
    for (int i = 0; i < 250; ++i) {
      if (geometry(g.dpy, w, x, y, width, height) && x == g.x && y == g.y && width == ww &&
          height == wh)
        break;
      sleepMs(20);
    }
    std::printf("%lu %d %d %d %d\n", w, x, y, width, height);
    return 0;
  }
  if (mode == "grab" && argc >= 7) {
    std::string ppm;
    const std::uint64_t h = g.hash(&ppm);
    std::ofstream(argv[6], std::ios::binary) << ppm;
    std::printf("%016llx\n", static_cast<unsigned long long>(h));
    return 0;
  }
  if (mode == "count" && argc >= 7) {
    const double seconds = std::atof(argv[6]);
    const int interval = argc >= 8 ? std::atoi(argv[7]) : 5;
    const double cpu0 = ownCpuSeconds();
    const std::int64_t start = nowNs(), end = start + std::int64_t(seconds * 1e9);
    std::uint64_t last = g.hash();
    long changes = 0, polls = 1;
    while (nowNs() < end) {
      sleepMs(interval);
      const std::uint64_t h = g.hash();
      ++polls;
      if (h != last)
        ++changes;
      last = h;
    }
    std::printf("changes %ld polls %ld seconds %.3f cpu %.3f\n", changes, polls,
                double(nowNs() - start) * 1e-9, ownCpuSeconds() - cpu0);
    return 0;
  }
  if (mode == "settle" && argc >= 9) {
    const long pid = std::atol(argv[6]);
    const std::int64_t quietNs = std::atoll(argv[7]) * 1000000;
    const std::int64_t deadline = nowNs() + std::int64_t(std::atof(argv[8]) * 1e9);
    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    const bool dismiss = argc >= 10 && argv[9][0] != '\0';
    const std::regex dismissPattern(dismiss ? argv[9] : "x");
    const Window keep = argc >= 13 ? std::strtoul(argv[10], nullptr, 10) : 0;
    const int keepW = argc >= 13 ? std::atoi(argv[11]) : 0;
    const int keepH = argc >= 13 ? std::atoi(argv[12]) : 0;
    std::set<Window> answered;
    int tick = 0;
    // The chores every 100 ms: the same for every program, whether or not there is anything
    // to answer or to put back.
    const auto chores = [&] {
      if (dismiss)
        for (Window w : topLevels(g.dpy))
          if (!answered.count(w) && std::regex_search(windowName(g.dpy, w), dismissPattern)) {
            pressReturn(g.dpy, w);
            answered.insert(w);
          }
      int x, y, width, height;
      if (keep && geometry(g.dpy, keep, x, y, width, height) &&
          (x != 0 || y != 0 || width != keepW || height != keepH)) {
        std::fprintf(stderr, "%lld window was %dx%d at %d,%d: put back\n",
                     static_cast<long long>(nowNs()), width, height, x, y);
        XMoveResizeWindow(g.dpy, keep, 0, 0, unsigned(keepW), unsigned(keepH));
        XFlush(g.dpy);
      }
    };
    std::uint64_t last = g.hash();
    std::int64_t lastChange = nowNs();
    long long cpuAtChange = cpuTicks(pid);
    std::printf("%lld %016llx %lld\n", static_cast<long long>(lastChange),
                static_cast<unsigned long long>(last), peakKiB(pid));
    std::fflush(stdout);
    for (;;) {
      sleepMs(10);
      if (++tick % 10 == 0)
        chores();
      const std::uint64_t h = g.hash();
      const std::int64_t t = nowNs();
      const long long cpu = cpuTicks(pid);
      if (h != last) {
        last = h;
        lastChange = t;
        cpuAtChange = cpu;
        std::printf("%lld %016llx %lld\n", static_cast<long long>(t),
                    static_cast<unsigned long long>(h), peakKiB(pid));
        std::fflush(stdout);
        continue;
      }
      if (t > deadline || cpu < 0)
        break;
      if (t - lastChange >= quietNs) {
        // Idle: under a tenth of a core over the quiet time.
        const double used = double(cpu - cpuAtChange) / double(ticksPerSecond);
        if (used < 0.1 * double(t - lastChange) * 1e-9)
          break;
        lastChange = t; // still working: look again over the next quiet time
        cpuAtChange = cpu;
      }
    }
    std::printf("end %lld\n", static_cast<long long>(nowNs()));
    return 0;
  }
  return usage();
}
