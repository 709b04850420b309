#include "analysis/SectionCsv.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> split(const std::string &s, char sep) {
  std::vector<std::string> parts;
  std::string cur;
  std::istringstream in(s);
  while (std::getline(in, cur, sep))
    parts.push_back(cur);
  return parts;
}

} // namespace

TEST(SectionCsv, HeaderOnlyForAnEmptySection) {
  EXPECT_EQ(sectionCsv(SectionResult{}), "x,y,z,deviation,r,g,b\n");
}

TEST(SectionCsv, ShortestFormsThatReadBackExactly) {
  SectionResult r;
  r.points = {{0.1, -2, 1e-7}, {1.0 / 3, 12345.678901234567, -0.0}};
  r.deviations = {0.1f, -0.25f};
  r.colours = {{1, 0.4, 0}, {0, 2.0 / 13, 1}};
  r.nearestIndex = {0, 1};
  const std::string csv = sectionCsv(r);
  const auto lines = split(csv, '\n');
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "x,y,z,deviation,r,g,b");
  // The float deviation prints as the float it is, not as its widened double.
  EXPECT_EQ(lines[1], "0.1,-2,1e-07,0.1,1,0.4,0");
  EXPECT_EQ(csv.back(), '\n');
  for (std::size_t i = 0; i < 2; ++i) {
    const auto f = split(lines[i + 1], ',');
    ASSERT_EQ(f.size(), 7u);
    EXPECT_EQ(std::strtod(f[0].c_str(), nullptr), r.points[i].x);
    EXPECT_EQ(std::strtod(f[1].c_str(), nullptr), r.points[i].y);
    EXPECT_EQ(std::strtod(f[2].c_str(), nullptr), r.points[i].z);
    EXPECT_EQ(std::strtof(f[3].c_str(), nullptr), r.deviations[i]);
    EXPECT_EQ(std::strtod(f[4].c_str(), nullptr), r.colours[i].r);
    EXPECT_EQ(std::strtod(f[5].c_str(), nullptr), r.colours[i].g);
    EXPECT_EQ(std::strtod(f[6].c_str(), nullptr), r.colours[i].b);
  }
}
