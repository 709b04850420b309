// The two file readers of SessionModel: the binary session file and the point text file.
// Both read into locals and move the result into the model only when the whole file was
// accepted, so a refused file leaves the model as it was.
#include "io/FileKind.h"
#include "session/SessionModel.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Owns a POSIX file descriptor of a regular file; plain read() keeps the bulk reads free of
// stdio copying.
class File {
public:
  // Opens path for reading when it is a regular file (links followed); otherwise error() says
  // why. The kind is checked before opening, since opening a FIFO waits for a writer, and
  // again on the open file in case the name was replaced in between.
  explicit File(const std::string &path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
      error_ = path + ": cannot open the file (" + std::strerror(errno) + ")";
      return;
    }
    if (!S_ISREG(st.st_mode)) {
      error_ = path + ": not a regular file: " + fileKindOf(st.st_mode);
      return;
    }
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
      error_ = path + ": cannot open the file (" + std::strerror(errno) + ")";
      return;
    }
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
      error_ = path + ": not a regular file: " + fileKindOf(st.st_mode);
      ::close(fd_);
      fd_ = -1;
      return;
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
  }
  ~File() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  File(const File &) = delete;
  File &operator=(const File &) = delete;

  bool isOpen() const { return fd_ >= 0; }
  const std::string &error() const { return error_; }
  std::uint64_t size() const { return size_; }

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
  int fd_ = -1;
  std::uint64_t size_ = 0;
  std::string error_;
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

// Reads the block of t triangle records a piece at a time into their corners and, from the
// first normal index that differs from its position on, the normal indices too (the ones
// before it are their positions). Returns false when the file ends early; firstBad is the
// first triangle with a corner outside the n points, or t when there is none.
bool readTriangles(File &f, std::size_t t, std::uint32_t n, PodArray<Triangle> &corners,
                   PodArray<std::int32_t> &normalIndices, std::size_t &firstBad) {
  corners.allocate(t);
  firstBad = t;
  const std::size_t piece = std::min(t, SessionModel::kTrianglesPerRead);
  const auto records = std::make_unique_for_overwrite<TriangleRecord[]>(piece);
  for (std::size_t first = 0; first < t; first += piece) {
    const std::size_t count = std::min(piece, t - first);
    if (!f.readExactly(records.get(), count * sizeof(TriangleRecord)))
      return false;
    for (std::size_t i = 0; i < count; ++i) {
      const TriangleRecord &r = records[i];
      const std::size_t at = first + i;
      corners[at] = {r.a, r.b, r.c};
      // One unsigned comparison per corner also catches negative indices.
      if (firstBad == t &&
          (static_cast<std::uint32_t>(r.a) >= n || static_cast<std::uint32_t>(r.b) >= n ||
           static_cast<std::uint32_t>(r.c) >= n))
        firstBad = at;
      if (normalIndices.present()) {
        normalIndices[at] = r.normalIndex;
      } else if (r.normalIndex != static_cast<std::int32_t>(at)) {
        normalIndices.allocate(t);
        std::iota(normalIndices.begin(), normalIndices.begin() + at, 0);
        normalIndices[at] = r.normalIndex;
      }
    }
  }
  return true;
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
    error_ = f.error();
    return false;
  }
  const std::uint64_t fileSize = f.size();
  if (fileSize == 0) {
    // Said as the window says it, so that every command gives the same verdict.
    error_ = path + ": the file is empty";
    return false;
  }
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
  PodArray<Triangle> tri;
  PodArray<std::int32_t> normalIndices;
  const auto limit = static_cast<std::uint32_t>(n);
  std::size_t firstBad = t;
  bool ok = readBlock(f, pts, n) && readBlock(f, nrm, n) && readBlock(f, dev, n);
  if (ok && t > 0)
    ok = readTriangles(f, t, limit, tri, normalIndices, firstBad);
  if (ok && withNominal)
    ok = readBlock(f, nominal, n);
  if (!ok) {
    // The size was checked above, so this is an I/O error or a file that shrank meanwhile.
    error_ = path + ": the file could not be read completely";
    return false;
  }

  if (firstBad < t) {
    const Triangle &r = tri[firstBad];
    const std::int32_t bad = static_cast<std::uint32_t>(r.a) >= limit   ? r.a
                             : static_cast<std::uint32_t>(r.b) >= limit ? r.b
                                                                        : r.c;
    error_ = path + ": triangle " + grouped(std::uint64_t{firstBad}) + " has the corner index " +
             grouped(std::int64_t{bad}) +
             (n > 0 ? ", outside the points 0.." + grouped(n - 1) : ", but there are no points");
    return false;
  }

  pointCount = h.points;
  triangleCount = h.triangles;
  skippedLines = 0;
  extraBytes = fileSize - needed;
  points = std::move(pts);
  normals = std::move(nrm);
  deviations = std::move(dev);
  triangles = std::move(tri);
  triangleNormalIndices = std::move(normalIndices);
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

// Points kept in fixed-size blocks: growing never copies what was read, and the memory stays
// within one block of what the points need.
class PointBlocks {
public:
  static constexpr std::size_t kBlockPoints = std::size_t{1} << 16;

  void push(const Vec3f &p) {
    if (size_ % kBlockPoints == 0)
      blocks_.push_back(std::make_unique_for_overwrite<Vec3f[]>(kBlockPoints));
    blocks_.back()[size_ % kBlockPoints] = p;
    ++size_;
  }
  std::size_t size() const { return size_; }

  // Copies the points into out (room for size() points), releasing each block once copied.
  void moveTo(Vec3f *out) {
    for (std::size_t b = 0; b < blocks_.size(); ++b) {
      const std::size_t n = std::min(kBlockPoints, size_ - b * kBlockPoints);
      std::memcpy(out + b * kBlockPoints, blocks_[b].get(), n * sizeof(Vec3f));
      blocks_[b].reset();
    }
    blocks_.clear();
    size_ = 0;
  }

private:
  std::vector<std::unique_ptr<Vec3f[]>> blocks_;
  std::size_t size_ = 0;
};

// Splits a byte stream into lines (LF, CR LF or a lone CR) and reads the first three numbers
// of each line as a "%lf%lf%lf" scan does. Of a line it keeps only the number that a block
// boundary cuts, never the whole line, so memory does not grow with line length.
class PointTextScanner {
public:
  // A single "number" longer than this is read from its first bytes; the rest of its line
  // is ignored.
  static constexpr std::size_t kMaxToken = std::size_t{1} << 20;

  PointBlocks points;
  std::uint64_t skippedLines = 0;

  void feed(const char *p, const char *end) {
    while (p < end) {
      if (afterCR_) {
        afterCR_ = false;
        if (*p == '\n') { // the LF of a CR LF pair ends no second line
          ++p;
          continue;
        }
      }
      const char *eol = p;
      while (eol < end && *eol != '\n' && *eol != '\r')
        ++eol;
      if (eol == end) {
        segment(p, end, false);
        return;
      }
      segment(p, eol, true);
      endLine();
      afterCR_ = *eol == '\r';
      p = eol + 1;
    }
  }

  // End of the stream: the last line needs no line end.
  void finish() {
    if (!ignoreRest_ && !pending_.empty())
      scan(pending_.data(), pending_.data() + pending_.size(), true);
    endLine();
  }

  bool sawNumber() const { return points.size() > 0 || got_ > 0; }
  std::size_t pendingBytes() const { return pending_.size(); }

private:
  // Reads numbers from [p, end) into the current line. Unless the line ends at end, a token
  // that reaches end may go on in the next block and is left unread: returns where the
  // unread part starts.
  const char *scan(const char *p, const char *end, bool lineEnds) {
    while (got_ < 3) {
      const char *s = p;
      while (s < end && isSpace(*s))
        ++s;
      if (s == end)
        return end;
      hasText_ = true;
      if (!lineEnds) {
        const char *t = s;
        while (t < end && !isSpace(*t))
          ++t;
        if (t == end)
          return s;
      }
      const char *q = parseNumber(s, end, v_[got_]);
      if (!q) { // the scan stops at the first thing that is not a number
        ignoreRest_ = true;
        return end;
      }
      ++got_;
      p = q;
    }
    ignoreRest_ = true; // numbers after the third are ignored
    return end;
  }

  // A piece of the current line; lineEnds when the line ends after it.
  void segment(const char *p, const char *end, bool lineEnds) {
    if (ignoreRest_)
      return;
    if (pending_.empty()) {
      const char *used = scan(p, end, lineEnds);
      if (!lineEnds && !ignoreRest_)
        pending_.assign(used, end);
    } else {
      pending_.append(p, end);
      const char *b = pending_.data();
      const char *used = scan(b, b + pending_.size(), lineEnds);
      if (lineEnds || ignoreRest_)
        pending_.clear();
      else
        pending_.erase(0, static_cast<std::size_t>(used - b));
    }
    if (pending_.size() > kMaxToken) {
      scan(pending_.data(), pending_.data() + pending_.size(), true);
      pending_.clear();
      ignoreRest_ = true;
    }
  }

  void endLine() {
    if (got_ > 0) {
      // Coordinates a line does not supply carry over from the previous point (0 at first).
      for (int k = 0; k < got_; ++k)
        last_[k] = static_cast<float>(v_[k]);
      points.push(Vec3f{last_[0], last_[1], last_[2]});
    } else if (hasText_) {
      ++skippedLines; // a header or comment line
    }
    got_ = 0;
    hasText_ = false;
    ignoreRest_ = false;
    pending_.clear();
  }

  std::string pending_; // the unread start of a number cut by a block boundary
  double v_[3] = {0, 0, 0};
  int got_ = 0;             // numbers read on the current line
  bool hasText_ = false;    // the current line holds more than white space
  bool ignoreRest_ = false; // the rest of the current line does not matter
  bool afterCR_ = false;
  float last_[3] = {0.0f, 0.0f, 0.0f};
};

} // namespace

bool SessionModel::ReadPointTextFile() {
  File f(path);
  if (!f.isOpen()) {
    error_ = f.error();
    return false;
  }
  // Small blocks: a file that is not text is recognised after its first one.
  constexpr std::size_t kBlock = std::size_t{64} << 10;
  constexpr std::uint64_t kNumberWindow = kBlock;
  const auto buf = std::make_unique_for_overwrite<char[]>(kBlock);
  PointTextScanner scanner;
  std::uint64_t offset = 0;
  for (;;) {
    const std::int64_t got = f.readUpTo(buf.get(), kBlock);
    if (got < 0) {
      error_ = path + ": the file could not be read (" + std::strerror(errno) + ")";
      return false;
    }
    if (got == 0)
      break;
    const char *begin = buf.get(), *end = begin + got;
    if (const void *nul = std::memchr(begin, 0, static_cast<std::size_t>(got))) {
      error_ =
          path + ": not a point text file (a NUL byte at offset " +
          grouped(offset + static_cast<std::uint64_t>(static_cast<const char *>(nul) - begin)) +
          ")";
      return false;
    }
    scanner.feed(begin, end);
    offset += static_cast<std::uint64_t>(got);
    if (offset >= kNumberWindow && !scanner.sawNumber() && scanner.pendingBytes() == 0) {
      error_ = path + ": not a point text file (no number in its first 64 KB)";
      return false;
    }
    if (scanner.points.size() > static_cast<std::size_t>(INT32_MAX))
      break;
  }
  scanner.finish();

  const std::size_t n = scanner.points.size();
  // Nothing to show is refused with the reason, never opened as an empty model.
  if (offset == 0) {
    error_ = path + ": the file is empty";
    return false;
  }
  if (n == 0) {
    error_ = path + ": not a point text file (no number in it)";
    return false;
  }
  if (n > static_cast<std::size_t>(INT32_MAX)) {
    error_ = path + ": more than " + grouped(std::int64_t{INT32_MAX}) + " points";
    return false;
  }
  PodArray<Vec3f> pts(n);
  scanner.points.moveTo(pts.data());
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
  triangleNormalIndices.reset();
  triangleCount = 0;
  deviationMode = 0;
  skippedLines = scanner.skippedLines;
  extraBytes = 0;
  bounds.reset();
  error_.clear();
  return true;
}
