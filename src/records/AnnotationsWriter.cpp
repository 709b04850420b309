// Writing a record: the schema of docs/annotations.md with keys in a fixed order, so that a
// saved file reads well and diffs cleanly.
#include "io/AtomicFile.h"
#include "records/AnnotationsFile.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <sys/stat.h>

using ojson = nlohmann::ordered_json;

namespace {

ojson vec3(const Vec3d &v) { return ojson::array({v.x, v.y, v.z}); }

std::string checksumText(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "crc32:%08x", static_cast<unsigned>(v));
  return buf;
}

const char *wordOf(int value, std::initializer_list<std::pair<int, const char *>> words,
                   const char *fallback) {
  for (const auto &[v, w] : words)
    if (v == value)
      return w;
  return fallback;
}

std::string grouped(std::size_t n) {
  std::string digits = std::to_string(n), s;
  for (std::size_t i = 0; i < digits.size(); ++i)
    s += (i > 0 && (digits.size() - i) % 3 == 0 ? "," : "") + std::string(1, digits[i]);
  return s;
}

// Why the record would not read back as it is, apart from its size, or empty.
std::string recordProblem(const Annotations &a) {
  if (const std::vector<std::string> notes = recordProblems(a); !notes.empty())
    return notes.front() +
           (notes.size() > 1 ? " (and " + grouped(notes.size() - 1) + " more)" : std::string());
  for (const auto &[what, n] : {std::pair<const char *, std::size_t>{"banners", a.banners.size()},
                                {"distances", a.distances.size()},
                                {"comments", a.comments.size()}})
    if (n > AnnotationsLimits::kMaxEntries)
      return std::string(what) + ": " + grouped(n) + " entries, more than the " +
             grouped(AnnotationsLimits::kMaxEntries) + " a record may hold";
  const auto inModel = [&](std::int32_t i) { return i >= 0 && i < a.session.pointCount; };
  for (const BannerRecord &b : a.banners)
    if (!inModel(b.point))
      return "banner point " + std::to_string(b.point) + " is outside the model";
  for (const DistanceRecord &m : a.distances)
    if (!inModel(m.first) || !inModel(m.second))
      return "a distance names a point outside the model";
  return {};
}

std::string sizeProblem(const std::string &text) {
  if (text.size() <= AnnotationsLimits::kMaxFileBytes)
    return {};
  return "the record takes " + grouped(text.size()) + " bytes, more than the " +
         grouped(AnnotationsLimits::kMaxFileBytes) + " an annotation file may have";
}

std::string scalar(const ojson &v) {
  return v.dump(-1, ' ', false, ojson::error_handler_t::replace);
}

// Two-space indentation, with lists of plain values (coordinates, the rotation) on one line so
// that a record stays short and readable.
void print(std::string &out, const ojson &v, int indent) {
  const bool flat = v.is_array() && std::none_of(v.begin(), v.end(),
                                                 [](const ojson &e) { return e.is_structured(); });
  if (!v.is_structured() || v.empty() || flat) {
    if (!v.is_array()) {
      out += v.is_structured() ? (v.is_object() ? "{}" : "[]") : scalar(v);
      return;
    }
    out += '[';
    for (std::size_t i = 0; i < v.size(); ++i)
      out += (i ? ", " : "") + scalar(v[i]);
    out += ']';
    return;
  }
  const std::string pad(static_cast<std::size_t>(indent + 2), ' ');
  out += v.is_object() ? "{\n" : "[\n";
  bool first = true;
  for (auto it = v.begin(); it != v.end(); ++it) {
    out += first ? "" : ",\n";
    first = false;
    out += pad;
    if (v.is_object())
      out += scalar(ojson(it.key())) + ": ";
    print(out, *it, indent + 2);
  }
  out += '\n' + std::string(static_cast<std::size_t>(indent), ' ') + (v.is_object() ? '}' : ']');
}

} // namespace

std::string annotationsJson(const Annotations &a) {
  ojson root;
  root["format"] = "velmora-annotations";
  root["version"] =
      std::to_string(Annotations::kFormatMajor) + "." + std::to_string(Annotations::kFormatMinor);
  root["session"] = {{"file", a.session.fileName},
                     {"points", a.session.pointCount},
                     {"checksum", checksumText(a.session.checksum)}};

  const DisplaySettings &d = a.display;
  root["display"] = {
      {"upperTolerance", d.upperTolerance},
      {"lowerTolerance", d.lowerTolerance},
      {"colourBars", d.colourBars},
      {"pointFilter", d.pointFilter == PointFilter::OutsideOnly ? "outside" : "all"},
      {"gradient", d.gradient},
      {"extendedColours", d.extendedColours},
      {"displayMode", d.displayMode == DisplayMode::Points ? "points" : "triangles"},
      {"pointSize", code(d.pointSize)},
      {"magnification", d.magnification},
      {"decimalPlaces", d.decimalPlaces},
      {"bannerLineColour",
       wordOf(code(d.bannerLineColour), {{1, "white"}, {2, "black"}, {3, "deviation"}}, "own")},
      {"showPercentages", d.showPercentages}};

  const CameraRecord &c = a.camera;
  ojson camera = ojson::object();
  if (c.rotation)
    camera["rotation"] = *c.rotation;
  if (c.distance)
    camera["distance"] = *c.distance;
  if (c.panX || c.panY)
    camera["pan"] = {c.panX.value_or(0.0), c.panY.value_or(0.0)};
  if (c.fieldOfView)
    camera["fieldOfView"] = *c.fieldOfView;
  if (c.viewWidth && c.viewHeight)
    camera["viewSize"] = {*c.viewWidth, *c.viewHeight};
  root["camera"] = camera;

  ojson banners = ojson::array();
  for (const BannerRecord &b : a.banners)
    banners.push_back(
        {{"point", b.point}, {"boxOffset", vec3(b.boxOffset)}, {"comment", b.comment}});
  root["banners"] = banners;

  ojson distances = ojson::array();
  for (const DistanceRecord &m : a.distances)
    distances.push_back({{"points", {m.first, m.second}},
                         {"boxOffset", vec3(m.boxOffset)},
                         {"comment", m.comment}});
  root["distances"] = distances;

  ojson comments = ojson::array();
  for (const CommentRecord &m : a.comments)
    comments.push_back({{"text", m.text},
                        {"position", {m.x, m.y}},
                        {"size", m.size},
                        {"angle", m.angle},
                        {"fill", m.fill}});
  root["comments"] = comments;

  if (a.section)
    root["section"] = {{"plane", a.section->plane}, {"point", vec3(a.section->point)}};

  std::string out;
  print(out, root, 0);
  return out + "\n";
}

std::string annotationsWriteProblem(const Annotations &annotations) {
  if (std::string problem = recordProblem(annotations); !problem.empty())
    return problem;
  return sizeProblem(annotationsJson(annotations));
}

AnnotationsWriteResult writeAnnotations(const std::string &path, const Annotations &annotations,
                                        const std::string &sessionPath, ExistingFile existing) {
  AnnotationsWriteResult r;
  const auto failure = [&r](std::string why) {
    r.message = std::move(why);
    return r;
  };
  if (const std::string problem = targetIsInputProblem(path, sessionPath); !problem.empty())
    return failure(problem);
  if (const std::string problem = recordProblem(annotations); !problem.empty())
    return failure(path + ": not written, " + problem);
  const std::string text = annotationsJson(annotations);
  if (const std::string problem = sizeProblem(text); !problem.empty())
    return failure(path + ": not written, " + problem);
  if (existing == ExistingFile::Keep) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
      const AnnotationsReadResult old = readAnnotations(path);
      std::string why;
      if (!old.ok)
        why = old.error;
      else if (const ModelMatch m = matchesModel(old.annotations, annotations.session);
               !m.matches())
        why = m.problem;
      if (!why.empty())
        return failure(path +
                       ": not replaced, the file there is not an annotation record of this "
                       "model (" +
                       why + "); save under another name");
    }
  }
  AtomicFile out(path, std::size_t{1} << 16);
  out.write(text);
  if (!out.commit())
    return failure(out.error());
  r.ok = true;
  r.identity = FileIdentity::ofBytes(text, out.committedMtimeNs());
  return r;
}
