// The two file readers of SessionModel: the binary session file and the point text file.
// Both read into locals and move the result into the model only when the whole file was
// accepted, so a refused file leaves the model as it was.
#include "session/SessionModel.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Owns a POSIX file descriptor; plain read() keeps the bulk reads free of stdio copying.
class File {
public:
  explicit File(const std::string &path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~File() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  File(const File &) = delete;
  File &operator=(const File &) = delete;

  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // Reads up to n bytes, retrying short reads; returns the bytes read or -1 on an error.
  std::int64_t readUpTo(void *dst, std::size_t n) {
    auto *p = static_cast<char *>(dst);
    std::size_t done = 0;
    while (done < n) {
      // Linux transfers at most about 2 GiB per call.
      const std::size_t chunk = std::min<std::size_t>(n - done, std::size_t{1} << 30);
      const ssize_t got = ::read(fd_, p + done, chunk);
      if (got < 0) {
        if (errno == EINTR)
          continue;
        return -1;
      }
      if (got == 0)
        break;
      done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
  }

  bool readExactly(void *dst, std::size_t n) {
    return readUpTo(dst, n) == static_cast<std::int64_t>(n);
  }

private:
  int fd_;
};

// 1234567 -> "1,234,567": byte counts in messages are read by people.
std::string grouped(std::uint64_t v) {
  std::string digits = std::to_string(v);
  std::string out;
  const std::size_t lead = digits.size() % 3;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (i + 3 - lead) % 3 == 0)
      out += ',';
    out += digits[i];
  }
  return out;
}

std::string grouped(std::int64_t v) {
  return v < 0 ? "-" + grouped(static_cast<std::uint64_t>(-v))
               : grouped(static_cast<std::uint64_t>(v));
}

template <class T> bool readBlock(File &f, PodArray<T> &arr, std::size_t n) {
  arr.allocate(n);
  return f.readExactly(arr.data(), n * sizeof(T));
}

// Header words of a session file.
struct SessionHeader {
  std::int32_t format, points, triangles, reserved;
};
static_assert(sizeof(SessionHeader) == 16);

constexpr std::int32_t kFormatWithNominal = 16;

} // namespace

bool SessionModel::ReadSessionFile() {
  File f(path);
  if (!f.isOpen()) {
    error_ = path + ": cannot open the file (" + std::strerror(errno) + ")";
    return false;
  }
  struct stat st {};
  if (::fstat(f.fd(), &st) != 0 || !S_ISREG(st.st_mode)) {
    error_ = path + ": not a regular file";
    return false;
  }
  const std::uint64_t fileSize = static_cast<std::uint64_t>(st.st_size);
  if (fileSize < sizeof(SessionHeader)) {
    error_ = path + ": " + grouped(fileSize) +
             " bytes, shorter than the 16-byte header of a session file";
    return false;
  }
  SessionHeader h{};
  if (!f.readExactly(&h, sizeof h)) {
    error_ = path + ": the header could not be read";
    return false;
  }
  if (h.points < 0) {
    error_ = path + ": the header announces a negative point count (" +
             grouped(std::int64_t{h.points}) + ")";
    return false;
  }
  const bool withNominal = h.format == kFormatWithNominal;
  // A triangle count of 0 or less means there is no triangle block.
  const std::uint64_t n = static_cast<std::uint64_t>(h.points);
  const std::uint64_t t = h.triangles > 0 ? static_cast<std::uint64_t>(h.triangles) : 0;
  // Counts are at most 2^31 - 1, so this sum stays far below 2^64.
  const std::uint64_t needed = sizeof(SessionHeader) + 28 * n + 16 * t + (withNominal ? 12 * n : 0);
  if (fileSize < needed) {
    std::string what = grouped(n) + " points";
    if (t > 0)
      what += " and " + grouped(t) + " triangles";
    if (withNominal)
      what += (t > 0 ? ", with" : " with") + std::string(" nominal points");
    error_ = path + ": " + grouped(fileSize) + " bytes, but the header announces " + what + " (" +
             grouped(needed) + " bytes)";
    return false;
  }

  PodArray<Vec3f> pts, nrm, nominal;
  PodArray<float> dev;
  PodArray<TriangleRecord> tri;
  bool ok = readBlock(f, pts, n) && readBlock(f, nrm, n) && readBlock(f, dev, n);
  if (ok && t > 0)
    ok = readBlock(f, tri, t);
  if (ok && withNominal)
    ok = readBlock(f, nominal, n);
  if (!ok) {
    // The size was checked above, so this is an I/O error or a file that shrank meanwhile.
    error_ = path + ": the file could not be read completely";
    return false;
  }

  const auto limit = static_cast<std::uint32_t>(n);
  for (std::uint64_t i = 0; i < t; ++i) {
    const TriangleRecord &r = tri[i];
    // One unsigned comparison per corner also catches negative indices.
    if (static_cast<std::uint32_t>(r.a) >= limit || static_cast<std::uint32_t>(r.b) >= limit ||
        static_cast<std::uint32_t>(r.c) >= limit) {
      const std::int32_t bad = static_cast<std::uint32_t>(r.a) >= limit   ? r.a
                               : static_cast<std::uint32_t>(r.b) >= limit ? r.b
                                                                          : r.c;
      error_ = path + ": triangle " + grouped(i) + " has the corner index " +
               grouped(std::int64_t{bad}) +
               (n > 0 ? ", outside the points 0.." + grouped(n - 1) : ", but there are no points");
      return false;
    }
  }

  pointCount = h.points;
  triangleCount = h.triangles;
  points = std::move(pts);
  normals = std::move(nrm);
  deviations = std::move(dev);
  triangles = std::move(tri);
  nominalPoints = std::move(nominal);
  // Whatever was derived from a previous content no longer matches.
  triangleNormals.reset();
  pointStatus.reset();
  bounds.reset();
  error_.clear();
  return true;
}

namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Parses one number the way a "%lf" conversion does: leading white space, optional sign,
// decimal or hexadecimal digits, fraction, exponent, inf and nan. Returns the position after
// it, or nullptr when no number starts here.
const char *parseNumber(const char *p, const char *end, double &out) {
  while (p < end && isSpace(*p))
    ++p;
  if (p == end)
    return nullptr;
  const char *start = p;
  // from_chars takes no leading '+'.
  if (*p == '+') {
    ++p;
    if (p == end || *p == '+' || *p == '-')
      return nullptr; // "+-1" is not a number
  }
  auto [q, ec] = std::from_chars(p, end, out, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    // "%lf" gives +-HUGE_VAL or 0 here; strtod agrees with it.
  } else if (ec != std::errc()) {
    return nullptr;
  }
  const bool hexPrefix = q < end && (*q == 'x' || *q == 'X') && q - p <= 2 && q[-1] == '0';
  if (ec == std::errc::result_out_of_range || hexPrefix) {
    // Rare forms go through strtod, which needs a terminated copy.
    std::string tmp(start, static_cast<std::size_t>(std::min<std::ptrdiff_t>(end - start, 512)));
    char *e = nullptr;
    out = std::strtod(tmp.c_str(), &e);
    if (e == tmp.c_str())
      return nullptr;
    return start + (e - tmp.c_str());
  }
  return q;
}

// Accumulates points from whole lines.
class PointLineParser {
public:
  std::vector<Vec3f> points;

  void line(const char *p, const char *end) {
    double v[3];
    int got = 0;
    while (got < 3) {
      const char *q = parseNumber(p, end, v[got]);
      if (!q)
        break;
      p = q;
      ++got;
    }
    if (got == 0)
      return; // blank, header or comment line
    // Coordinates a line does not supply carry over from the previous point (0 at first).
    for (int k = 0; k < got; ++k)
      last_[k] = static_cast<float>(v[k]);
    points.push_back(Vec3f{last_[0], last_[1], last_[2]});
  }

private:
  float last_[3] = {0.0f, 0.0f, 0.0f};
};

} // namespace

bool SessionModel::ReadPointTextFile() {
  File f(path);
  if (!f.isOpen()) {
    error_ = path + ": cannot open the file (" + std::strerror(errno) + ")";
    return false;
  }
  PointLineParser parser;
  // Big blocks, but no bigger than a small file needs; a line cut by a block boundary is
  // carried into the next round.
  std::size_t block = std::size_t{1} << 20;
  struct stat st {};
  if (::fstat(f.fd(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0) {
    const auto size = static_cast<std::size_t>(st.st_size);
    parser.points.reserve(size / 24 + 16);
    block = std::clamp<std::size_t>(size + 1, 4096, block);
  }
  std::vector<char> buf(block);
  std::size_t kept = 0;
  for (;;) {
    if (kept == buf.size())
      buf.resize(buf.size() * 2); // a single line longer than the buffer
    const std::int64_t got = f.readUpTo(buf.data() + kept, buf.size() - kept);
    if (got < 0) {
      error_ = path + ": the file could not be read (" + std::strerror(errno) + ")";
      return false;
    }
    const char *begin = buf.data();
    const char *end = begin + kept + got;
    const bool last = got == 0;
    const char *lineStart = begin;
    for (const char *p = begin + kept; p < end; ++p) {
      // LF, CR LF and lone CR all end a line; the empty line between CR and LF is skipped.
      if (*p == '\n' || *p == '\r') {
        parser.line(lineStart, p);
        lineStart = p + 1;
      }
    }
    if (last) {
      if (lineStart < end)
        parser.line(lineStart, end);
      break;
    }
    kept = static_cast<std::size_t>(end - lineStart);
    std::memmove(buf.data(), lineStart, kept);
  }

  const std::size_t n = parser.points.size();
  if (n > static_cast<std::size_t>(INT32_MAX)) {
    error_ = path + ": more than " + grouped(std::int64_t{INT32_MAX}) + " points";
    return false;
  }
  PodArray<Vec3f> pts(n);
  if (n > 0) // an empty vector's data() may be null
    std::memcpy(pts.data(), parser.points.data(), n * sizeof(Vec3f));
  parser.points = {};
  PodArray<std::int32_t> status(n);
  std::fill(status.begin(), status.end(), 0);
  // A text file has no deviations; zeros keep banners and exports defined.
  PodArray<float> dev(n);
  std::fill(dev.begin(), dev.end(), 0.0f);

  pointCount = static_cast<std::int32_t>(n);
  points = std::move(pts);
  pointStatus = std::move(status);
  deviations = std::move(dev);
  normals.reset();
  nominalPoints.reset();
  triangleNormals.reset();
  triangles.reset();
  triangleCount = 0;
  deviationMode = 0;
  bounds.reset();
  error_.clear();
  return true;
}
