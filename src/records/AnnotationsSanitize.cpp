// Checking a record before anything is drawn from it: the same rules for a record read from a
// file, one built by the window and one the writer is about to save.
#include "records/Annotations.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

using L = RecordLimits;

std::string num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

std::string bytes(std::size_t n) {
  const std::string digits = std::to_string(n);
  std::string s;
  for (std::size_t i = 0; i < digits.size(); ++i)
    s += (i > 0 && (digits.size() - i) % 3 == 0 ? "," : "") + std::string(1, digits[i]);
  return s + " bytes";
}

bool finite3(const Vec3d &v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Why the 16 values are not a pure rotation in OpenGL's column-major layout, or empty.
std::string rotationProblem(const std::array<double, 16> &m) {
  for (double v : m)
    if (!std::isfinite(v))
      return "holds a value that is not a finite number";
  const auto at = [&](int row, int col) { return m[static_cast<std::size_t>(col * 4 + row)]; };
  double worst = 0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double dot = 0;
      for (int k = 0; k < 3; ++k)
        dot += at(k, i) * at(k, j);
      worst = std::max(worst, std::fabs(dot - (i == j ? 1.0 : 0.0)));
    }
  if (!(worst <= L::kRotationTolerance))
    return "is not a rotation (its columns are not orthonormal within " +
           num(L::kRotationTolerance) + ")";
  const double det = at(0, 0) * (at(1, 1) * at(2, 2) - at(1, 2) * at(2, 1)) -
                     at(0, 1) * (at(1, 0) * at(2, 2) - at(1, 2) * at(2, 0)) +
                     at(0, 2) * (at(1, 0) * at(2, 1) - at(1, 1) * at(2, 0));
  if (det < 0)
    return "is a mirror image, not a rotation (determinant " + num(det) + ")";
  for (int i = 0; i < 3; ++i)
    if (std::fabs(at(3, i)) > L::kRotationTolerance || std::fabs(at(i, 3)) > L::kRotationTolerance)
      return "holds a translation or projection, not only a rotation";
  if (std::fabs(at(3, 3) - 1.0) > L::kRotationTolerance)
    return "is scaled (its last value is " + num(at(3, 3)) + ", not 1)";
  return {};
}

class Sanitizer {
public:
  std::vector<std::string> notes;

  void display(DisplaySettings &d) {
    const DisplaySettings def;
    const double up = d.upperTolerance, lo = d.lowerTolerance;
    std::string why;
    if (!std::isfinite(up))
      why = "display.upperTolerance " + num(up) + " is not a finite number";
    else if (!std::isfinite(lo))
      why = "display.lowerTolerance " + num(lo) + " is not a finite number";
    else if (up < lo)
      why = "display.upperTolerance " + num(up) + " is below the lower tolerance " + num(lo);
    else if (!(up > 0))
      why = "display.upperTolerance " + num(up) + " is not above 0";
    else if (!(lo < 0))
      why = "display.lowerTolerance " + num(lo) + " is not below 0";
    if (!why.empty()) {
      notes.push_back(why + ": the tolerances are not applied, the defaults " +
                      num(def.upperTolerance) + " and " + num(def.lowerTolerance) + " are used");
      d.upperTolerance = def.upperTolerance;
      d.lowerTolerance = def.lowerTolerance;
    }
    range("display.colourBars", d.colourBars, L::kMinColourBars, L::kMaxColourBars, def.colourBars);
    range("display.decimalPlaces", d.decimalPlaces, 0, L::kMaxDecimalPlaces, def.decimalPlaces);
    // The enums are checked as the numbers they hold: a record built in memory may hold any.
    int size = code(d.pointSize), line = code(d.bannerLineColour);
    int filter = code(d.pointFilter), mode = code(d.displayMode);
    range("display.pointSize", size, 0, 3, code(def.pointSize));
    range("display.bannerLineColour", line, 0, 3, code(def.bannerLineColour));
    oneOf("display.pointFilter", filter, 0, 2, "0 (all) or 2 (outside)", code(def.pointFilter));
    oneOf("display.displayMode", mode, 1, 4, "1 (points) or 4 (triangles)", code(def.displayMode));
    d.pointSize = static_cast<PointSize>(size);
    d.bannerLineColour = static_cast<BannerLineColour>(line);
    d.pointFilter = static_cast<PointFilter>(filter);
    d.displayMode = static_cast<DisplayMode>(mode);
    if (!std::isfinite(d.magnification)) {
      notes.push_back("display.magnification " + num(d.magnification) +
                      " is not a finite number: the default " + num(def.magnification) +
                      " is used");
      d.magnification = def.magnification;
    }
  }

  void camera(CameraRecord &c) {
    if (c.rotation) {
      if (const std::string why = rotationProblem(*c.rotation); !why.empty()) {
        notes.push_back("camera.rotation " + why + ": the view keeps its own");
        c.rotation.reset();
      }
    }
    if (c.distance && !(std::isfinite(*c.distance) && *c.distance > 0)) {
      notes.push_back("camera.distance " + num(*c.distance) +
                      " is not a positive number: the view keeps its own");
      c.distance.reset();
    }
    if ((c.panX && !std::isfinite(*c.panX)) || (c.panY && !std::isfinite(*c.panY))) {
      notes.push_back("camera.pan is not a finite number: the view keeps its own");
      c.panX.reset();
      c.panY.reset();
    }
    if (c.fieldOfView && !(*c.fieldOfView > 0 && *c.fieldOfView < 180)) {
      notes.push_back("camera.fieldOfView " + num(*c.fieldOfView) +
                      " is not between 0 and 180 degrees: the view keeps its own");
      c.fieldOfView.reset();
    }
    const auto pixels = [](const std::optional<int> &v) {
      return v && *v >= 1 && *v <= L::kMaxViewPixels;
    };
    if ((c.viewWidth || c.viewHeight) && !(pixels(c.viewWidth) && pixels(c.viewHeight))) {
      notes.push_back("camera.viewSize is not a window size (1.." +
                      std::to_string(L::kMaxViewPixels) + " pixels each): ignored");
      c.viewWidth.reset();
      c.viewHeight.reset();
    }
  }

  template <class Callout> void callouts(std::vector<Callout> &list, const char *name) {
    for (std::size_t i = 0; i < list.size(); ++i) {
      const std::string p = at(name, i);
      if (!finite3(list[i].boxOffset)) {
        notes.push_back(p + ".boxOffset is not a finite number: [0, 0, 0] is used");
        list[i].boxOffset = {};
      }
      if (list[i].comment.size() > L::kMaxCalloutCommentBytes) {
        notes.push_back(p + ".comment of " + bytes(list[i].comment.size()) + " is longer than " +
                        bytes(L::kMaxCalloutCommentBytes) + ": not applied, the comment is empty");
        list[i].comment.clear();
      }
    }
  }

  void comments(std::vector<CommentRecord> &list) {
    const CommentRecord def;
    std::vector<CommentRecord> kept;
    kept.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
      CommentRecord &m = list[i];
      const std::string p = at("comments", i);
      if (m.text.size() > L::kMaxCommentBytes) {
        notes.push_back(p + ".text of " + bytes(m.text.size()) + " is longer than " +
                        bytes(L::kMaxCommentBytes) + ": the comment is not applied");
        continue;
      }
      if (!(std::fabs(m.x) <= L::kMaxCommentPixels && std::fabs(m.y) <= L::kMaxCommentPixels)) {
        notes.push_back(p + ".position [" + num(m.x) + ", " + num(m.y) +
                        "] is off any screen: the default [" + num(def.x) + ", " + num(def.y) +
                        "] is used");
        m.x = def.x;
        m.y = def.y;
      }
      between(p + ".size", m.size, L::kMinCommentSize, L::kMaxCommentSize, def.size);
      between(p + ".angle", m.angle, -L::kMaxCommentAngle, L::kMaxCommentAngle, def.angle);
      kept.push_back(std::move(m));
    }
    list = std::move(kept);
  }

  void section(std::optional<SectionRecord> &s) {
    if (!s)
      return;
    const std::string &pl = s->plane;
    if (pl != "X/Y" && pl != "Y/Z" && pl != "X/Z") {
      notes.push_back("section.plane '" + pl.substr(0, 32) +
                      "' is not one of X/Y, Y/Z, X/Z: the section is not applied");
      s.reset();
    } else if (!finite3(s->point)) {
      notes.push_back("section.point is not a finite number: the section is not applied");
      s.reset();
    }
  }

  void fileName(std::string &name) {
    if (name.size() <= L::kMaxFileNameBytes)
      return;
    notes.push_back("session.file of " + bytes(name.size()) + " is longer than " +
                    bytes(L::kMaxFileNameBytes) + ": ignored");
    name.clear();
  }

private:
  static std::string at(const char *list, std::size_t i) {
    return std::string(list) + "[" + std::to_string(i) + "]";
  }
  void range(const std::string &path, int &v, int lo, int hi, int def) {
    if (v >= lo && v <= hi)
      return;
    notes.push_back(path + " " + std::to_string(v) + " is outside " + std::to_string(lo) + ".." +
                    std::to_string(hi) + ": the default " + std::to_string(def) + " is used");
    v = def;
  }
  void oneOf(const std::string &path, int &v, int a, int b, const char *what, int def) {
    if (v == a || v == b)
      return;
    notes.push_back(path + " " + std::to_string(v) + " is not " + what + ": the default " +
                    std::to_string(def) + " is used");
    v = def;
  }
  void between(const std::string &path, double &v, double lo, double hi, double def) {
    if (v >= lo && v <= hi)
      return;
    notes.push_back(path + " " + num(v) + " is outside " + num(lo) + ".." + num(hi) +
                    ": the default " + num(def) + " is used");
    v = def;
  }
};

} // namespace

std::vector<std::string> sanitize(Annotations &a) {
  Sanitizer s;
  s.fileName(a.session.fileName);
  s.display(a.display);
  s.camera(a.camera);
  s.callouts(a.banners, "banners");
  s.callouts(a.distances, "distances");
  s.comments(a.comments);
  s.section(a.section);
  return std::move(s.notes);
}

std::vector<std::string> recordProblems(const Annotations &annotations) {
  Annotations copy = annotations;
  return sanitize(copy);
}
