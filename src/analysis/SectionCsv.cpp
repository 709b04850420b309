#include "analysis/SectionCsv.h"

#include <charconv>

namespace {
template <class T> void appendNumber(std::string &out, T v) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}
} // namespace

void appendSectionCsvLine(std::string &out, const Vec3d &p, float deviation, const Colour &c) {
  appendNumber(out, p.x);
  out += ',';
  appendNumber(out, p.y);
  out += ',';
  appendNumber(out, p.z);
  out += ',';
  appendNumber(out, deviation);
  out += ',';
  appendNumber(out, c.r);
  out += ',';
  appendNumber(out, c.g);
  out += ',';
  appendNumber(out, c.b);
}

std::string sectionCsv(const SectionResult &section) {
  std::string out = "x,y,z,deviation,r,g,b\n";
  out.reserve(out.size() + section.points.size() * 64);
  for (std::size_t i = 0; i < section.points.size(); ++i) {
    appendSectionCsvLine(out, section.points[i], section.deviations[i], section.colours[i]);
    out += '\n';
  }
  return out;
}
