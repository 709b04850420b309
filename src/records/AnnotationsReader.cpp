// Reading a record: nlohmann's parser builds the document (with a callback that bounds its
// nesting and size), then every known field is checked against the schema of
// docs/annotations.md. The first hard problem (a wrong JSON type) refuses the whole file;
// values of the right type are taken as they are and sanitize() decides which parts apply.
#include "records/AnnotationsFile.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using nlohmann::json;

namespace {

// Carries the reason for a refusal out of the checks; never leaves this file.
struct Refusal {
  std::string message;
};

std::string grouped(std::size_t n) {
  const std::string digits = std::to_string(n);
  std::string s;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0)
      s += ',';
    s += digits[i];
  }
  return s;
}

// Length of the longest prefix of s, at most max bytes, that does not end inside a UTF-8
// sequence (the parser has already checked that s is valid UTF-8).
std::size_t utf8Prefix(const std::string &s, std::size_t max) {
  if (s.size() <= max)
    return s.size();
  std::size_t n = max;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
    --n;
  return n;
}

class Checker {
public:
  explicit Checker(std::vector<std::string> &notes) : notes_(notes) {}

  [[noreturn]] void refuse(const std::string &path, const std::string &what) const {
    throw Refusal{path + ": " + what};
  }
  void note(const std::string &path, const std::string &what) {
    notes_.push_back(path + ": " + what);
  }

  const json *field(const json &object, const char *name) const {
    const auto it = object.find(name);
    return it == object.end() ? nullptr : &*it;
  }
  const json &object(const json &v, const std::string &path) const {
    if (!v.is_object())
      refuse(path, "expected an object");
    return v;
  }
  const json &array(const json &v, const std::string &path) const {
    if (!v.is_array())
      refuse(path, "expected a list");
    return v;
  }
  double number(const json &v, const std::string &path) const {
    if (!v.is_number())
      refuse(path, "expected a number");
    const double d = v.get<double>();
    if (!std::isfinite(d))
      refuse(path, "expected a finite number");
    return d;
  }
  std::int64_t whole(const json &v, const std::string &path) const {
    if (v.is_number_unsigned()) {
      const auto u = v.get<std::uint64_t>();
      return u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                 ? std::numeric_limits<std::int64_t>::max()
                 : static_cast<std::int64_t>(u);
    }
    if (v.is_number_integer())
      return v.get<std::int64_t>();
    // 12.0 is accepted as 12; 12.5 is not a count.
    const double d = number(v, path);
    if (d != std::floor(d))
      refuse(path, "expected a whole number");
    return d >= 9.0e18    ? std::numeric_limits<std::int64_t>::max()
           : d <= -9.0e18 ? std::numeric_limits<std::int64_t>::min()
                          : static_cast<std::int64_t>(d);
  }
  bool boolean(const json &v, const std::string &path) const {
    if (!v.is_boolean())
      refuse(path, "expected true or false");
    return v.get<bool>();
  }
  std::string text(const json &v, const std::string &path) const {
    if (!v.is_string())
      refuse(path, "expected a text");
    return v.get<std::string>();
  }
  // A whole number for an int field; one beyond int saturates, so that sanitize() still sees
  // it outside its range.
  int wholeInt(const json &v, const std::string &path) const {
    return static_cast<int>(std::clamp<std::int64_t>(
        whole(v, path), std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
  }
  // A word from a fixed set; an unknown one gives -1 and a note (the caller keeps its default).
  int word(const json &v, const std::string &path, std::initializer_list<const char *> words) {
    if (!v.is_string())
      refuse(path, "expected a text");
    const auto &s = v.get_ref<const std::string &>();
    int i = 0;
    for (const char *w : words) {
      if (s == w)
        return i;
      ++i;
    }
    note(path, "unknown value '" + s.substr(0, utf8Prefix(s, 64)) + "'; the default is used");
    return -1;
  }
  template <std::size_t N>
  std::array<double, N> numbers(const json &v, const std::string &path) const {
    if (!v.is_array() || v.size() != N)
      refuse(path, "expected a list of " + std::to_string(N) + " numbers");
    std::array<double, N> out{};
    for (std::size_t i = 0; i < N; ++i)
      out[i] = number(v[i], path + "[" + std::to_string(i) + "]");
    return out;
  }
  Vec3d vec3(const json &v, const std::string &path) const {
    const auto a = numbers<3>(v, path);
    return {a[0], a[1], a[2]};
  }
  std::int32_t pointIndex(const json &v, const std::string &path, std::int32_t points) const {
    const std::int64_t i = whole(v, path);
    if (i < 0 || i >= points)
      refuse(path, "point index " + std::to_string(i) + " is outside the " +
                       std::to_string(points) + " points of the model");
    return static_cast<std::int32_t>(i);
  }
  // The first kMaxEntries entries of a list, with a note when there are more.
  std::size_t entries(const json &list, const std::string &path) {
    if (list.size() <= AnnotationsLimits::kMaxEntries)
      return list.size();
    note(path, "the file holds " + grouped(list.size()) + " entries; the first " +
                   grouped(AnnotationsLimits::kMaxEntries) + " are kept");
    return AnnotationsLimits::kMaxEntries;
  }

private:
  std::vector<std::string> &notes_;
};

// "1.0" -> (1, 0); false for anything else.
bool parseVersion(const std::string &s, int &major, int &minor) {
  const auto dot = s.find('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == s.size() || dot > 6 ||
      s.size() - dot - 1 > 6)
    return false;
  major = minor = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (i == dot)
      continue;
    if (s[i] < '0' || s[i] > '9')
      return false;
    int &part = i < dot ? major : minor;
    part = part * 10 + (s[i] - '0');
  }
  return true;
}

bool parseChecksum(const std::string &s, std::uint32_t &out) {
  if (s.size() != 14 || s.compare(0, 6, "crc32:") != 0)
    return false;
  out = 0;
  for (std::size_t i = 6; i < 14; ++i) {
    const char c = s[i];
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return false;
    out = (out << 4) | static_cast<std::uint32_t>(d);
  }
  return true;
}

void readSession(Checker &c, const json &root, Annotations &a) {
  const json *s = c.field(root, "session");
  if (!s)
    c.refuse("session", "missing (the file, point count and checksum of the model)");
  c.object(*s, "session");
  if (const json *f = c.field(*s, "file"))
    a.session.fileName = c.text(*f, "session.file");
  const json *points = c.field(*s, "points");
  if (!points)
    c.refuse("session.points", "missing");
  const std::int64_t n = c.whole(*points, "session.points");
  if (n < 0 || n > std::numeric_limits<std::int32_t>::max())
    c.refuse("session.points", "not a point count (" + std::to_string(n) + ")");
  a.session.pointCount = static_cast<std::int32_t>(n);
  const json *sum = c.field(*s, "checksum");
  if (!sum)
    c.refuse("session.checksum", "missing");
  if (!sum->is_string() || !parseChecksum(sum->get<std::string>(), a.session.checksum))
    c.refuse("session.checksum", "expected \"crc32:\" and 8 hexadecimal digits");
}

void readDisplay(Checker &c, const json &root, DisplaySettings &d) {
  const json *v = c.field(root, "display");
  if (!v)
    return;
  const json &o = c.object(*v, "display");
  if (const json *f = c.field(o, "upperTolerance"))
    d.upperTolerance = c.number(*f, "display.upperTolerance");
  if (const json *f = c.field(o, "lowerTolerance"))
    d.lowerTolerance = c.number(*f, "display.lowerTolerance");
  if (const json *f = c.field(o, "colourBars"))
    d.colourBars = c.wholeInt(*f, "display.colourBars");
  if (const json *f = c.field(o, "pointFilter")) {
    const int w = c.word(*f, "display.pointFilter", {"all", "outside"});
    if (w >= 0)
      d.pointFilter = w == 0 ? PointFilter::All : PointFilter::OutsideOnly;
  }
  if (const json *f = c.field(o, "gradient"))
    d.gradient = c.boolean(*f, "display.gradient");
  if (const json *f = c.field(o, "extendedColours"))
    d.extendedColours = c.boolean(*f, "display.extendedColours");
  if (const json *f = c.field(o, "displayMode")) {
    const int w = c.word(*f, "display.displayMode", {"points", "triangles"});
    if (w >= 0)
      d.displayMode = w == 0 ? DisplayMode::Points : DisplayMode::Triangles;
  }
  if (const json *f = c.field(o, "pointSize"))
    // Any whole number: the sanitizer notes one that names no size.
    d.pointSize = static_cast<PointSize>(c.wholeInt(*f, "display.pointSize"));
  if (const json *f = c.field(o, "magnification"))
    d.magnification = c.number(*f, "display.magnification");
  if (const json *f = c.field(o, "decimalPlaces"))
    d.decimalPlaces = c.wholeInt(*f, "display.decimalPlaces");
  if (const json *f = c.field(o, "bannerLineColour")) {
    const int w = c.word(*f, "display.bannerLineColour", {"own", "white", "black", "deviation"});
    if (w >= 0)
      d.bannerLineColour = static_cast<BannerLineColour>(w);
  }
  if (const json *f = c.field(o, "showPercentages"))
    d.showPercentages = c.boolean(*f, "display.showPercentages");
}

void readCamera(Checker &c, const json &root, CameraRecord &cam) {
  const json *v = c.field(root, "camera");
  if (!v)
    return;
  const json &o = c.object(*v, "camera");
  if (const json *f = c.field(o, "rotation"))
    cam.rotation = c.numbers<16>(*f, "camera.rotation");
  if (const json *f = c.field(o, "distance"))
    cam.distance = c.number(*f, "camera.distance");
  if (const json *f = c.field(o, "pan")) {
    const auto p = c.numbers<2>(*f, "camera.pan");
    cam.panX = p[0];
    cam.panY = p[1];
  }
  if (const json *f = c.field(o, "fieldOfView"))
    cam.fieldOfView = c.number(*f, "camera.fieldOfView");
  if (const json *f = c.field(o, "viewSize")) {
    if (!f->is_array() || f->size() != 2)
      c.refuse("camera.viewSize", "expected a list of 2 numbers");
    cam.viewWidth = c.wholeInt((*f)[0], "camera.viewSize[0]");
    cam.viewHeight = c.wholeInt((*f)[1], "camera.viewSize[1]");
  }
}

std::string at(const char *list, std::size_t i) {
  return std::string(list) + "[" + std::to_string(i) + "]";
}

void readCallouts(Checker &c, const json &root, Annotations &a) {
  const std::int32_t points = a.session.pointCount;
  if (const json *v = c.field(root, "banners")) {
    const json &list = c.array(*v, "banners");
    const std::size_t n = c.entries(list, "banners");
    a.banners.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
      const std::string p = at("banners", i);
      const json &o = c.object(list[i], p);
      BannerRecord b;
      const json *idx = c.field(o, "point");
      if (!idx)
        c.refuse(p + ".point", "missing");
      b.point = c.pointIndex(*idx, p + ".point", points);
      if (const json *f = c.field(o, "boxOffset"))
        b.boxOffset = c.vec3(*f, p + ".boxOffset");
      if (const json *f = c.field(o, "comment"))
        b.comment = c.text(*f, p + ".comment");
      a.banners.push_back(std::move(b));
    }
  }
  if (const json *v = c.field(root, "distances")) {
    const json &list = c.array(*v, "distances");
    const std::size_t n = c.entries(list, "distances");
    a.distances.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
      const std::string p = at("distances", i);
      const json &o = c.object(list[i], p);
      DistanceRecord d;
      const json *ends = c.field(o, "points");
      if (!ends || !ends->is_array() || ends->size() != 2)
        c.refuse(p + ".points", "expected a list of 2 point indices");
      d.first = c.pointIndex((*ends)[0], p + ".points[0]", points);
      d.second = c.pointIndex((*ends)[1], p + ".points[1]", points);
      if (const json *f = c.field(o, "boxOffset"))
        d.boxOffset = c.vec3(*f, p + ".boxOffset");
      if (const json *f = c.field(o, "comment"))
        d.comment = c.text(*f, p + ".comment");
      a.distances.push_back(std::move(d));
    }
  }
}

void readComments(Checker &c, const json &root, Annotations &a) {
  const json *v = c.field(root, "comments");
  if (!v)
    return;
  const json &list = c.array(*v, "comments");
  const std::size_t n = c.entries(list, "comments");
  a.comments.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const std::string p = at("comments", i);
    const json &o = c.object(list[i], p);
    CommentRecord m;
    const json *t = c.field(o, "text");
    if (!t)
      c.refuse(p + ".text", "missing");
    m.text = c.text(*t, p + ".text");
    if (const json *f = c.field(o, "position")) {
      const auto xy = c.numbers<2>(*f, p + ".position");
      m.x = xy[0];
      m.y = xy[1];
    }
    if (const json *f = c.field(o, "size"))
      m.size = c.number(*f, p + ".size");
    if (const json *f = c.field(o, "angle"))
      m.angle = c.number(*f, p + ".angle");
    if (const json *f = c.field(o, "fill"))
      m.fill = c.boolean(*f, p + ".fill");
    a.comments.push_back(std::move(m));
  }
}

void readSection(Checker &c, const json &root, Annotations &a) {
  const json *v = c.field(root, "section");
  if (!v || v->is_null())
    return;
  const json &o = c.object(*v, "section");
  const json *plane = c.field(o, "plane");
  const json *point = c.field(o, "point");
  if (!plane)
    c.refuse("section.plane", "missing");
  if (!point)
    c.refuse("section.point", "missing");
  SectionRecord s;
  s.point = c.vec3(*point, "section.point");
  s.plane = c.text(*plane, "section.plane");
  a.section = s;
}

// nlohmann's messages start with "[json.exception.parse_error.101] "; the reader needs only
// what follows.
std::string parserMessage(const char *what) {
  std::string s = what;
  if (!s.empty() && s[0] == '[') {
    const auto end = s.find("] ");
    if (end != std::string::npos)
      s.erase(0, end + 2);
  }
  return s;
}

// The pre-pass over the document: counts values and nesting and stops at the first syntax
// error or at the first value beyond the limits.
struct Bounds {
  std::size_t values = 0;
  int depth = 0;
  std::string tooBig, syntax;

  bool value() {
    if (++values <= AnnotationsLimits::kMaxValues)
      return true;
    tooBig = "more than " + grouped(AnnotationsLimits::kMaxValues) + " values";
    return false;
  }
  bool open() {
    if (++depth <= AnnotationsLimits::kMaxDepth)
      return value();
    tooBig = "nested deeper than " + std::to_string(AnnotationsLimits::kMaxDepth) + " levels";
    return false;
  }
  bool close() {
    --depth;
    return true;
  }

  bool null() { return value(); }
  bool boolean(bool) { return value(); }
  bool number_integer(json::number_integer_t) { return value(); }
  bool number_unsigned(json::number_unsigned_t) { return value(); }
  bool number_float(json::number_float_t, const json::string_t &) { return value(); }
  bool string(json::string_t &) { return value(); }
  bool binary(json::binary_t &) { return value(); }
  bool start_object(std::size_t) { return open(); }
  bool end_object() { return close(); }
  bool start_array(std::size_t) { return open(); }
  bool end_array() { return close(); }
  bool key(json::string_t &) { return true; }
  bool parse_error(std::size_t, const std::string &, const json::exception &e) {
    syntax = parserMessage(e.what());
    return false;
  }
};

} // namespace

AnnotationsReadResult parseAnnotations(std::string_view text, const std::string &name) {
  AnnotationsReadResult r;
  if (text.size() > AnnotationsLimits::kMaxFileBytes) {
    r.error = name + ": " + grouped(text.size()) + " bytes, more than the " +
              grouped(AnnotationsLimits::kMaxFileBytes) + " an annotation file may have";
    return r;
  }
  // A first pass checks the syntax and the size of the document without building it, so that
  // a hostile file costs neither memory nor time; nlohmann's own parse then builds it.
  Bounds bounds;
  if (!json::sax_parse(text.begin(), text.end(), &bounds)) {
    r.error =
        name + (bounds.tooBig.empty() ? ": not a valid annotation file (" + bounds.syntax + ")"
                                      : ": refused, the file is " + bounds.tooBig);
    return r;
  }
  json root;
  try {
    root = json::parse(text.begin(), text.end());
  } catch (const json::exception &e) {
    r.error = name + ": not a valid annotation file (" + parserMessage(e.what()) + ")";
    return r;
  }

  Annotations a;
  Checker c(r.notes);
  try {
    if (!root.is_object())
      c.refuse("the file", "expected a JSON object");
    const json *format = c.field(root, "format");
    if (!format || !format->is_string() || format->get<std::string>() != "velmora-annotations")
      c.refuse("format", "not \"velmora-annotations\": this is not an annotation file");
    const json *version = c.field(root, "version");
    if (!version || !version->is_string() ||
        !parseVersion(version->get<std::string>(), a.versionMajor, a.versionMinor))
      c.refuse("version", "missing or not of the form \"1.0\"");
    if (a.versionMajor != Annotations::kFormatMajor)
      c.refuse("version", version->get<std::string>() + " is not supported; this build reads " +
                              std::to_string(Annotations::kFormatMajor) + ".x" +
                              (a.versionMajor > Annotations::kFormatMajor
                                   ? " (the file was written by a newer version)"
                                   : ""));
    readSession(c, root, a);
    readDisplay(c, root, a.display);
    readCamera(c, root, a.camera);
    readCallouts(c, root, a);
    readComments(c, root, a);
    readSection(c, root, a);
  } catch (const Refusal &e) {
    r.notes.clear();
    r.error = name + ": refused, " + e.message;
    return r;
  }
  for (std::string &n : sanitize(a))
    r.notes.push_back(std::move(n));
  for (auto &n : r.notes)
    n = name + ": " + n;
  r.annotations = std::move(a);
  r.ok = true;
  return r;
}

AnnotationsReadResult readAnnotations(const std::string &path) {
  AnnotationsReadResult r;
  // Non-blocking, so that a FIFO or a device is refused instead of waited on.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    r.absent = errno == ENOENT;
    r.error = path + ": cannot open the file (" + std::strerror(errno) + ")";
    return r;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    r.error = path + ": not a regular file";
    return r;
  }
  const std::size_t limit = AnnotationsLimits::kMaxFileBytes;
  if (static_cast<std::uint64_t>(st.st_size) > limit) {
    ::close(fd);
    r.error = path + ": " + grouped(static_cast<std::size_t>(st.st_size)) +
              " bytes, more than the " + grouped(limit) + " an annotation file may have";
    return r;
  }
  std::string text(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t used = 0;
  for (;;) {
    if (used == text.size()) {
      // The file may have grown since fstat; read on until the end or past the limit.
      if (text.size() > limit)
        break;
      text.resize(std::min(limit + 1, std::max<std::size_t>(4096, 2 * text.size())));
    }
    const ssize_t got = ::read(fd, text.data() + used, text.size() - used);
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0) {
      const int err = errno;
      ::close(fd);
      r.error = path + ": cannot read the file (" + std::strerror(err) + ")";
      return r;
    }
    if (got == 0)
      break;
    used += static_cast<std::size_t>(got);
  }
  // The time stamp after the read: a change during it shows later as other bytes.
  const bool stamped = ::fstat(fd, &st) == 0;
  ::close(fd);
  text.resize(used);
  AnnotationsReadResult parsed = parseAnnotations(text, path);
  if (stamped)
    parsed.identity = FileIdentity::ofBytes(
        text, static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec);
  return parsed;
}

AnnotationsReadResult readAnnotationsFor(const std::string &path, const ModelIdentity &model) {
  AnnotationsReadResult r = readAnnotations(path);
  if (!r.ok)
    return r;
  const ModelMatch m = matchesModel(r.annotations, model);
  if (!m.matches()) {
    r.ok = false;
    r.error = path + ": not applied, " + m.problem;
    r.notes.clear();
    r.annotations = Annotations{};
    return r; // the identity stays: the window knows which bytes it refused
  }
  if (!m.note.empty())
    r.notes.push_back(path + ": " + m.note);
  return r;
}
