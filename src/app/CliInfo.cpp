// --info [--csv] FILE: a JSON summary of a session or point file, or its scalar fields as
// one CSV header and row, without a display.
#include "analysis/DeviationStats.h"
#include "app/Cli.h"
#include "records/CalloutTable.h"
#include "session/SessionModel.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

// Shortest form that reads back to the same value; JSON has no NaN or infinity.
template <class T> void appendNumber(std::string &out, T v) {
  if (!std::isfinite(v)) {
    out += "null";
    return;
  }
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

// Length of the valid UTF-8 sequence at s[i], or 0 when the bytes there are not one.
std::size_t utf8Length(const std::string &s, std::size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  std::size_t len;
  unsigned cp;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + len > s.size())
    return 0;
  for (std::size_t k = 1; k < len; ++k) {
    const auto cc = static_cast<unsigned char>(s[i + k]);
    if ((cc & 0xC0) != 0x80)
      return 0;
    cp = (cp << 6) | (cc & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not valid UTF-8.
  if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
      (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return len;
}

// File names are bytes: valid UTF-8 passes through, other bytes are taken as Latin-1 so the
// output is always valid JSON.
void appendJsonString(std::string &out, const std::string &s) {
  static const char *hex = "0123456789abcdef";
  out += '"';
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c == 0x7F) {
      out += "\\u00";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else if (c >= 0x80) {
      const std::size_t len = utf8Length(s, i);
      if (len == 0) {
        out += "\\u00";
        out += hex[c >> 4];
        out += hex[c & 15];
      } else {
        out.append(s, i, len);
        i += len;
        continue;
      }
    } else {
      out += static_cast<char>(c);
    }
    ++i;
  }
  out += '"';
}

void appendVec(std::string &out, const Vec3d &v) {
  // The box corners are floats widened to double; their float form is the short one.
  out += '[';
  appendNumber(out, static_cast<float>(v.x));
  out += ", ";
  appendNumber(out, static_cast<float>(v.y));
  out += ", ";
  appendNumber(out, static_cast<float>(v.z));
  out += ']';
}

// The scalar deviation fields in output order, each formatted; empty where there is no value.
std::vector<std::pair<const char *, std::string>> deviationFields(const DeviationStats &s) {
  std::vector<std::pair<const char *, std::string>> f;
  const auto number = [&](const char *name, double v, bool asFloat) {
    std::string text;
    if (s.hasValues()) {
      if (asFloat)
        appendNumber(text, static_cast<float>(v));
      else
        appendNumber(text, v);
    }
    f.emplace_back(name, text);
  };
  number("min", s.min, true);
  number("max", s.max, true);
  number("mean", s.mean, false);
  number("stddev", s.stddev, false);
  number("inside", s.inside, false);
  f.emplace_back("count", std::to_string(s.finite));
  number("rms", s.rms, false);
  number("median", s.median, true);
  number("p01", s.p01, true);
  number("p05", s.p05, true);
  number("p95", s.p95, true);
  number("p99", s.p99, true);
  f.emplace_back("count_inside", std::to_string(s.countInside));
  f.emplace_back("count_above", std::to_string(s.countAbove));
  f.emplace_back("count_below", std::to_string(s.countBelow));
  number("above", s.above, false);
  number("below", s.below, false);
  return f;
}

void appendBands(std::string &out, const DeviationStats &s) {
  out += "\"bands\": [";
  for (std::size_t i = 0; i < s.bands.size(); ++i) {
    const BandCount &b = s.bands[i];
    out += i ? ", {\"lower\": " : "{\"lower\": ";
    appendNumber(out, b.lower);
    out += ", \"upper\": ";
    appendNumber(out, b.upper);
    out += ", \"count\": " + std::to_string(b.count) + ", \"fraction\": ";
    if (s.hasValues())
      appendNumber(out, b.fraction);
    else
      out += "null";
    out += '}';
  }
  out += ']';
}

} // namespace

bool infoText(const CliArgs &args, std::string &out, std::string &error) {
  SessionModel model;
  bool session = false;
  if (!readModelFile(args.file, model, session, error))
    return false;
  const int triangles = model.triangleCount > 0 ? model.triangleCount : 0;
  const CliDisplay shown = cliDisplayFor(args, model);
  if (!shown.ok) {
    error = shown.error;
    return false;
  }
  cliNotes(shown.notes);
  std::vector<std::pair<const char *, std::string>> fields;
  DeviationStats stats;
  if (session) {
    // The legend's entries, as the report counts them.
    const ColourScale scale = legendScale(shown.settings);
    stats = DeviationStats::compute(model.deviations.data(), model.deviations.size(),
                                    shown.settings.lowerTolerance, shown.settings.upperTolerance,
                                    &scale);
    fields = deviationFields(stats);
  } else {
    fields = deviationFields(DeviationStats{}); // names only: a points file has no deviations
    for (auto &f : fields)
      f.second.clear();
  }

  if (args.csv) {
    out = "file,format,points,triangles";
    for (const auto &f : fields)
      out += std::string(",") + f.first;
    out += ",tolerance_upper,tolerance_lower,tolerance_source\n";
    out += csvField(args.file);
    out += session ? ",session," : ",points,";
    out += std::to_string(model.pointCount) + ',' + std::to_string(triangles);
    for (const auto &f : fields)
      out += ',' + f.second;
    out += ',';
    appendNumber(out, shown.settings.upperTolerance);
    out += ',';
    appendNumber(out, shown.settings.lowerTolerance);
    out += ',' + shown.toleranceSource + '\n';
    return true;
  }

  const BoundingBox &box = model.GetBoundingBox();
  out = "{\"file\": ";
  appendJsonString(out, args.file);
  out += session ? ", \"format\": \"session\"" : ", \"format\": \"points\"";
  out += ", \"points\": " + std::to_string(model.pointCount);
  out += ", \"triangles\": " + std::to_string(triangles);
  out += model.hasNominalPoints() ? ", \"nominal\": true" : ", \"nominal\": false";
  // What the reader passed over: trailing bytes of a session file, text lines of a point file.
  out += session ? ", \"extra_bytes\": " + std::to_string(model.extraBytes)
                 : ", \"skipped_lines\": " + std::to_string(model.skippedLines);
  out += ", \"bounds\": {\"min\": ";
  appendVec(out, box.min());
  out += ", \"max\": ";
  appendVec(out, box.max());
  out += "}, \"deviation\": ";
  if (!session) {
    out += "null";
  } else {
    out += '{';
    for (const auto &f : fields) {
      out += '"';
      out += f.first;
      out += "\": ";
      out += f.second.empty() ? std::string("null") : f.second;
      out += ", ";
    }
    appendBands(out, stats);
    out += '}';
  }
  out += ", \"tolerance\": {\"upper\": ";
  appendNumber(out, shown.settings.upperTolerance);
  out += ", \"lower\": ";
  appendNumber(out, shown.settings.lowerTolerance);
  out += ", \"source\": \"" + shown.toleranceSource + "\"}";
  out += "}\n";
  return true;
}

int runInfo(const CliArgs &args) {
  std::string out, error;
  if (!infoText(args, out, error)) {
    std::fprintf(stderr, "velmora-viewer: %s\n", error.c_str());
    return 1;
  }
  std::fputs(out.c_str(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
