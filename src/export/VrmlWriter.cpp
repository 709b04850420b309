#include "export/VrmlWriter.h"

#include "io/AtomicFile.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace vrmltext {
namespace {

// Powers of ten 10^-5 .. 10^11; all from 10^0 up are exact doubles.
constexpr double kPow10[] = {1e-5, 1e-4, 1e-3, 1e-2, 1e-1, 1e0, 1e1,  1e2, 1e3,
                             1e4,  1e5,  1e6,  1e7,  1e8,  1e9, 1e10, 1e11};
constexpr int kPow10Offset = 5; // kPow10[e + kPow10Offset] == 10^e

char *writeExponent(char *out, int e) {
  *out++ = 'e';
  *out++ = e < 0 ? '-' : '+';
  const int a = e < 0 ? -e : e;
  *out++ = static_cast<char>('0' + a / 10);
  *out++ = static_cast<char>('0' + a % 10);
  return out;
}

// Texts of the 101 values a colour component can take after the cut (0, 0.01, ... 1).
struct ComponentTable {
  std::array<std::array<char, 8>, 101> text{};
  std::array<unsigned char, 101> length{};
  ComponentTable() {
    for (int h = 0; h <= 100; ++h) {
      const int n = std::snprintf(text[static_cast<std::size_t>(h)].data(), 8, "%g", h / 100.0);
      length[static_cast<std::size_t>(h)] = static_cast<unsigned char>(n);
    }
  }
};
const ComponentTable &componentTable() {
  static const ComponentTable table;
  return table;
}

// Whether c * 2e6 >= k exactly (k an integer well inside the double range), using the
// rounding error of the product that fma recovers.
bool scaledAtLeast(double c, double k) {
  const double p = c * 2e6;
  return p > k || (p == k && std::fma(c, 2e6, -p) >= 0);
}

// For c in [0, 1]: the hundredths left by the cut. The six-decimal text rounds c * 1e6 to
// an integer R and the cut keeps floor(R / 10000), so the result is the largest h with
// c * 1e6 >= 10000 h - 0.5. Exact ties cannot occur there: (20000 h - 1) / 2e6 is never a
// binary fraction.
int cutHundredths(double c) {
  int h = static_cast<int>(c * 100);
  if (h > 100)
    h = 100;
  while (h < 100 && scaledAtLeast(c, 20000.0 * (h + 1) - 1))
    ++h;
  while (h > 0 && !scaledAtLeast(c, 20000.0 * h - 1))
    --h;
  return h;
}

bool inUnitRange(double c) { return !std::signbit(c) && c <= 1.0; }

// The cut done literally on the text, for values outside [0, 1] that the scale never
// produces.
double cutByText(double c) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%f", c);
  if (char *dot = std::strchr(buf, '.')) {
    if (std::strlen(dot) > 3)
      dot[3] = '\0';
  }
  return std::strtod(buf, nullptr);
}

} // namespace

char *writeFloat(char *out, float v) {
  double a = static_cast<double>(v);
  if (std::signbit(a)) {
    if (std::isnan(a))
      return std::to_chars(out, out + 16, a, std::chars_format::general, 6).ptr;
    *out++ = '-';
    a = -a;
  }
  if (!(a >= 1e-5 && a < 1e6)) {
    if (a == 0) {
      *out++ = '0';
      return out;
    }
    return std::to_chars(out, out + 16, a, std::chars_format::general, 6).ptr;
  }
  // Six significant digits as an integer in [1e5, 1e6): a * 10^(5 - e) is exact in a
  // double (24-bit significand times at most 10^11), so rounding it half to even gives
  // exactly the digits that the general format prints.
  int e = 5;
  while (a < kPow10[e + kPow10Offset])
    --e;
  double scaled = a * kPow10[5 - e + kPow10Offset];
  // The negative powers are not exact; correct the decade on the exact product.
  if (scaled >= 1e6)
    scaled = a * kPow10[5 - ++e + kPow10Offset];
  else if (scaled < 1e5)
    scaled = a * kPow10[5 - --e + kPow10Offset];
  double r = std::nearbyint(scaled);
  if (r >= 1e6) { // 999999.5 and up round into the next decade
    r = 1e5;
    ++e;
  }
  char d[6];
  auto digits = static_cast<unsigned>(r);
  for (int i = 5; i >= 0; --i, digits /= 10)
    d[i] = static_cast<char>('0' + digits % 10);
  int nd = 6;
  while (nd > 1 && d[nd - 1] == '0')
    --nd;

  if (e < -4 || e >= 6) {
    *out++ = d[0];
    if (nd > 1) {
      *out++ = '.';
      for (int i = 1; i < nd; ++i)
        *out++ = d[i];
    }
    return writeExponent(out, e);
  }
  if (e >= 0) {
    for (int i = 0; i <= e; ++i)
      *out++ = d[i];
    if (nd > e + 1) {
      *out++ = '.';
      for (int i = e + 1; i < nd; ++i)
        *out++ = d[i];
    }
    return out;
  }
  *out++ = '0';
  *out++ = '.';
  for (int i = 0; i < -e - 1; ++i)
    *out++ = '0';
  for (int i = 0; i < nd; ++i)
    *out++ = d[i];
  return out;
}

double cutComponent(double c) {
  if (inUnitRange(c))
    return cutHundredths(c) / 100.0;
  return cutByText(c);
}

std::string componentText(double c) {
  if (inUnitRange(c)) {
    const auto &t = componentTable();
    const auto h = static_cast<std::size_t>(cutHundredths(c));
    return std::string(t.text[h].data(), t.length[h]);
  }
  char buf[32];
  const int n = std::snprintf(buf, sizeof buf, "%g", cutByText(c));
  return std::string(buf, static_cast<std::size_t>(n));
}

} // namespace vrmltext

namespace {

constexpr std::size_t kChunk = std::size_t{1} << 20;
constexpr std::size_t kRoomPerItem = 96; // longest point, colour or triangle text, with margin

// Collects text into a chunk and hands full chunks to the sink.
class ChunkWriter {
public:
  explicit ChunkWriter(const VrmlSink &sink) : sink_(sink), buf_(new char[kChunk]) {}

  // Room for one item; flushes first when the chunk is nearly full.
  char *room() {
    if (kChunk - used_ < kRoomPerItem)
      flush();
    return buf_.get() + used_;
  }
  void advanceTo(char *end) { used_ = static_cast<std::size_t>(end - buf_.get()); }
  void text(const char *s) {
    const std::size_t n = std::strlen(s);
    if (n > kChunk - used_)
      flush();
    if (n > kChunk - used_) { // longer than a chunk: hand it over directly
      ok_ = ok_ && sink_(s, n);
      return;
    }
    std::memcpy(buf_.get() + used_, s, n);
    used_ += n;
  }
  bool flush() {
    if (used_ > 0)
      ok_ = ok_ && sink_(buf_.get(), used_);
    used_ = 0;
    return ok_;
  }
  bool ok() const { return ok_; }

private:
  const VrmlSink &sink_;
  std::unique_ptr<char[]> buf_;
  std::size_t used_ = 0;
  bool ok_ = true;
};

char *put(char *p, const char *s, std::size_t n) {
  std::memcpy(p, s, n);
  return p + n;
}

// Refuses models whose counts do not match their arrays, so that nothing is read out of
// bounds and no index names a missing vertex.
std::string checkModel(const SessionModel &m) {
  if (m.pointCount < 0)
    return "the model has a negative point count";
  const auto n = static_cast<std::size_t>(m.pointCount);
  if (n > 0 && (!m.points.present() || m.points.size() < n))
    return "the model holds fewer points than its count";
  if (n > 0 && m.deviations.present() && m.deviations.size() < n)
    return "the model holds fewer deviations than points";
  if (m.triangleCount > 0) {
    const auto t = static_cast<std::size_t>(m.triangleCount);
    if (!m.triangles.present() || m.triangles.size() < t)
      return "the model holds fewer triangles than its count";
    for (std::size_t i = 0; i < t; ++i) {
      const Triangle &r = m.triangles[i];
      for (std::int32_t k : {r.a, r.b, r.c})
        if (k < 0 || k >= m.pointCount)
          return "triangle " + std::to_string(i) + " refers to point " + std::to_string(k) +
                 ", which does not exist";
    }
  }
  return {};
}

} // namespace

ExportResult formatVrml(const SessionModel &model, const ColourScale &scale, const VrmlSink &sink) {
  if (std::string why = checkModel(model); !why.empty())
    return ExportResult::failure(why);
  const auto n = static_cast<std::size_t>(model.pointCount);
  ChunkWriter w(sink);

  w.text("#VRML V2.0 utf8\nShape {\n\tgeometry IndexedFaceSet {\n\t\tcoord Coordinate {\n"
         "point [");
  for (std::size_t i = 0; i < n && w.ok(); ++i) {
    const Vec3f &p = model.points[i];
    char *o = w.room();
    o = vrmltext::writeFloat(o, p.x);
    o = put(o, "   ", 3);
    o = vrmltext::writeFloat(o, p.y);
    o = put(o, "  ", 2);
    o = vrmltext::writeFloat(o, p.z);
    o = put(o, ", ", 2);
    w.advanceTo(o);
  }
  // The colour block is closed before the index list; without that line the braces do not
  // balance and readers reject the file.
  w.text("]\n\t\t}\n\t\tcolor Color {\n\t\t\tcolor[");

  // Neighbouring points mostly share a colour: keep the text of the last one.
  Colour last{-1, -1, -1};
  char lastText[64];
  std::size_t lastLen = 0;
  for (std::size_t i = 0; i < n && w.ok(); ++i) {
    const float d = model.deviations.present() ? model.deviations[i] : 0.0f;
    const Colour c = scale.colourFor(d);
    if (!(c == last) || lastLen == 0) {
      last = c;
      const std::string text = vrmltext::componentText(c.r) + " " + vrmltext::componentText(c.g) +
                               " " + vrmltext::componentText(c.b) + ", ";
      lastLen = text.size() < sizeof lastText ? text.size() : sizeof lastText;
      std::memcpy(lastText, text.data(), lastLen);
    }
    w.advanceTo(put(w.room(), lastText, lastLen));
  }
  w.text("]\n\t\t}\n\t\tcoordIndex [\n");

  const std::size_t t = model.triangleCount > 0 ? static_cast<std::size_t>(model.triangleCount) : 0;
  for (std::size_t i = 0; i < t && w.ok(); ++i) {
    const Triangle &r = model.triangles[i];
    char *o = w.room();
    char *end = o + kRoomPerItem;
    o = std::to_chars(o, end, r.a).ptr;
    o = put(o, ", ", 2);
    o = std::to_chars(o, end, r.b).ptr;
    o = put(o, ", ", 2);
    o = std::to_chars(o, end, r.c).ptr;
    o = put(o, ",  -1,", 6);
    w.advanceTo(o);
  }
  w.text("]\n\t}\n}\nBackground {\n\tskyAngle [ 1.4, 1.5 ]\n"
         "\tskyColor [ 0.2 0.2 1, 0.5 0.5 1, 0.9 0.9 1 ]\n}\n");
  if (!w.flush())
    return ExportResult::failure("writing the VRML text failed");
  return ExportResult::success();
}

std::string vrmlText(const SessionModel &model, const ColourScale &scale) {
  std::string out;
  formatVrml(model, scale, [&out](const char *data, std::size_t size) {
    out.append(data, size);
    return true;
  });
  return out;
}

ExportResult writeVrmlFile(const std::string &targetPath, const SessionModel &model,
                           const ColourScale &scale) {
  return writeAtomically(targetPath, [&](AtomicFile &file) {
    return formatVrml(model, scale, [&file](const char *data, std::size_t size) {
      return file.write(data, size);
    });
  });
}

ExportResult exportVrmlFile(const std::string &targetPath, const std::string &sessionPath,
                            const ColourScale &scale) {
  if (!isSessionFilePath(sessionPath))
    return ExportResult::failure(sessionPath +
                                 ": export needs a session file (.ses); point text files cannot "
                                 "be exported");
  SessionModel model;
  model.SetPath(sessionPath.c_str());
  if (!model.ReadSessionFile())
    return ExportResult::failure(model.error().empty() ? sessionPath + ": cannot be read"
                                                       : model.error());
  return writeVrmlFile(targetPath, model, scale);
}
