// frame_watch: watches a rectangle of the X screen and reports when what it shows changes,
// for timing programs from the outside in the same way whatever they are.
//
//   frame_watch settle X Y W H PID QUIET_MS TIMEOUT_S
//       Polls every 10 ms and prints "T HASH HWM" (T: CLOCK_REALTIME nanoseconds, HWM: the
//       process's peak resident memory so far in KiB) for the first poll and every change. Ends
//       once the rectangle has not changed for QUIET_MS and process PID used less than a tenth of a
//       core meanwhile (it is done drawing), or after TIMEOUT_S; prints "end T".
//   frame_watch count X Y W H SECONDS
//       Polls as fast as it can for SECONDS and prints "changes N polls P seconds S".
//   frame_watch grab X Y W H OUT.ppm
//       Writes the rectangle as a binary PPM and prints its hash.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>

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

int usage() {
  std::fputs("usage: frame_watch settle X Y W H PID QUIET_MS TIMEOUT_S\n"
             "       frame_watch count X Y W H SECONDS\n"
             "       frame_watch grab X Y W H OUT.ppm\n",
             stderr);
  return 2;
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 7)
    return usage();
  const std::string mode = argv[1];
  Grabber g;
  g.x = std::atoi(argv[2]);
  g.y = std::atoi(argv[3]);
  g.w = std::atoi(argv[4]);
  g.h = std::atoi(argv[5]);
  g.dpy = XOpenDisplay(nullptr);
  if (!g.dpy || g.w <= 0 || g.h <= 0) {
    std::fputs("frame_watch: no display or an empty rectangle\n", stderr);
    return 1;
  }
  g.root = DefaultRootWindow(g.dpy);

  if (mode == "grab") {
    std::string ppm;
    const std::uint64_t h = g.hash(&ppm);
    std::ofstream(argv[6], std::ios::binary) << ppm;
    std::printf("%016llx\n", static_cast<unsigned long long>(h));
    return 0;
  }
  if (mode == "count") {
    const double seconds = std::atof(argv[6]);
    const std::int64_t start = nowNs(), end = start + std::int64_t(seconds * 1e9);
    std::uint64_t last = g.hash();
    long changes = 0, polls = 1;
    while (nowNs() < end) {
      const std::uint64_t h = g.hash();
      ++polls;
      if (h != last)
        ++changes;
      last = h;
    }
    std::printf("changes %ld polls %ld seconds %.3f\n", changes, polls,
                double(nowNs() - start) * 1e-9);
    return 0;
  }
  if (mode == "settle" && argc >= 9) {
    const long pid = std::atol(argv[6]);
    const std::int64_t quietNs = std::atoll(argv[7]) * 1000000;
    const std::int64_t deadline = nowNs() + std::int64_t(std::atof(argv[8]) * 1e9);
    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    std::uint64_t last = g.hash();
    std::int64_t lastChange = nowNs();
    long long cpuAtChange = cpuTicks(pid);
    std::printf("%lld %016llx %lld\n", static_cast<long long>(lastChange),
                static_cast<unsigned long long>(last), peakKiB(pid));
    std::fflush(stdout);
    for (;;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
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
