// --info FILE: a JSON summary of a session or point file, without a display.
#include "analysis/DeviationStats.h"
#include "app/Cli.h"
#include "session/SessionModel.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

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

} // namespace

int runInfo(const CliArgs &args) {
  SessionModel model;
  bool session = false;
  std::string error;
  if (!readModelFile(args.file, model, session, error)) {
    std::fprintf(stderr, "velmora-viewer: %s\n", error.c_str());
    return 1;
  }
  const BoundingBox &box = model.GetBoundingBox();

  std::string out = "{\"file\": ";
  appendJsonString(out, args.file);
  out += session ? ", \"format\": \"session\"" : ", \"format\": \"points\"";
  out += ", \"points\": " + std::to_string(model.pointCount);
  out += ", \"triangles\": " + std::to_string(model.triangleCount > 0 ? model.triangleCount : 0);
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
    const DeviationStats s = DeviationStats::compute(
        model.deviations.data(), model.deviations.size(), args.display.lower, args.display.upper);
    const auto field = [&](const char *name, double v, bool asFloat) {
      out += '"';
      out += name;
      out += "\": ";
      if (!s.hasValues())
        out += "null";
      else if (asFloat)
        appendNumber(out, static_cast<float>(v));
      else
        appendNumber(out, v);
    };
    out += '{';
    field("min", s.min, true);
    out += ", ";
    field("max", s.max, true);
    out += ", ";
    field("mean", s.mean, false);
    out += ", ";
    field("stddev", s.stddev, false);
    out += ", \"inside\": ";
    if (s.count == 0)
      out += "null";
    else
      appendNumber(out, s.inside);
    out += '}';
  }
  out += "}\n";
  std::fputs(out.c_str(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
