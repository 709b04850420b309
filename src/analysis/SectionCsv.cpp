#include "analysis/SectionCsv.h"

void appendSectionCsvLine(std::string &out, const Vec3d &p, float deviation, const Colour &c) {
  appendShortest(out, p.x);
  out += ',';
  appendShortest(out, p.y);
  out += ',';
  appendShortest(out, p.z);
  out += ',';
  appendShortest(out, deviation);
  out += ',';
  appendShortest(out, c.r);
  out += ',';
  appendShortest(out, c.g);
  out += ',';
  appendShortest(out, c.b);
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
