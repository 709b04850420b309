#pragma once
#include "analysis/SectionCutter.h"

#include <charconv>
#include <string>

// Appends v in the shortest form that reads back to the same value (of its own type).
template <class T> void appendShortest(std::string &out, T v) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

// The section as CSV text: a header line "x,y,z,deviation,r,g,b", then one line per section
// point in chain order with the deviation and colour (0..1) of its nearest measured point.
// Numbers are in the shortest form that reads back to the same value (the deviation as the
// float it is stored as).
std::string sectionCsv(const SectionResult &section);

// One data line without its line feed.
void appendSectionCsvLine(std::string &out, const Vec3d &p, float deviation, const Colour &c);
