#include "support/ModelBuilder.h"
#include "support/TempDir.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace exporttest {

SessionModel makeModel(const std::vector<TestPoint> &points,
                       const std::vector<std::array<int, 4>> &triangles) {
  SessionModel m;
  m.pointCount = static_cast<std::int32_t>(points.size());
  m.points.allocate(points.size());
  m.normals.allocate(points.size());
  m.deviations.allocate(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    m.points[i] = Vec3f{points[i].x, points[i].y, points[i].z};
    m.normals[i] = Vec3f{0, 0, 1};
    m.deviations[i] = points[i].deviation;
  }
  m.triangleCount = static_cast<std::int32_t>(triangles.size());
  if (!triangles.empty()) {
    m.triangles.allocate(triangles.size());
    for (std::size_t i = 0; i < triangles.size(); ++i) {
      m.triangles[i] = {triangles[i][0], triangles[i][1], triangles[i][2]};
      if (triangles[i][3] != static_cast<int>(i)) {
        m.storeNormalIndices();
        m.triangleNormalIndices[i] = triangles[i][3];
      }
    }
  }
  return m;
}

namespace {
void putI32(std::string &s, std::int32_t v) {
  for (int i = 0; i < 4; ++i)
    s += static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF);
}
void putF32(std::string &s, float v) {
  std::uint32_t bits;
  std::memcpy(&bits, &v, 4);
  putI32(s, static_cast<std::int32_t>(bits));
}
} // namespace

std::string sessionFileBytes(const std::vector<TestPoint> &points,
                             const std::vector<std::array<int, 4>> &triangles, bool nominal) {
  std::string s;
  putI32(s, nominal ? 16 : 0);
  putI32(s, static_cast<std::int32_t>(points.size()));
  putI32(s, static_cast<std::int32_t>(triangles.size()));
  putI32(s, 0);
  for (const TestPoint &p : points) {
    putF32(s, p.x);
    putF32(s, p.y);
    putF32(s, p.z);
  }
  for (std::size_t i = 0; i < points.size(); ++i) {
    putF32(s, 0);
    putF32(s, 0);
    putF32(s, 1);
  }
  for (const TestPoint &p : points)
    putF32(s, p.deviation);
  for (const auto &t : triangles)
    for (int v : t)
      putI32(s, v);
  if (nominal)
    for (const TestPoint &p : points) {
      putF32(s, p.x);
      putF32(s, p.y);
      putF32(s, p.z + 0.5f);
    }
  return s;
}

bool haveVrmlReader() {
  int status = 0;
  runCommand("command -v tovrmlx3d >/dev/null 2>&1", status);
  return status == 0;
}

namespace {
// The numbers of attribute `name` in the X3D XML text; empty when absent.
std::vector<double> attributeNumbers(const std::string &xml, const std::string &name) {
  std::vector<double> out;
  const std::string key = " " + name + "=\"";
  std::size_t at = xml.find(key);
  if (at == std::string::npos) {
    const std::string key2 = "\t" + name + "=\"";
    at = xml.find(key2);
    if (at == std::string::npos)
      return out;
  }
  at = xml.find('"', at) + 1;
  const std::size_t end = xml.find('"', at);
  std::istringstream in(xml.substr(at, end - at));
  double v;
  while (in >> v)
    out.push_back(v);
  return out;
}
} // namespace

ParsedCounts readWithVrmlReader(const std::string &path) {
  ParsedCounts r;
  TempDir dir;
  const std::string errFile = dir.file("stderr.txt");
  int status = 0;
  const std::string xml = runCommand(
      "tovrmlx3d --encoding=xml " + shellQuote(path) + " 2>" + shellQuote(errFile), status);
  r.diagnostics = readWholeFile(errFile);
  // The tool exits 0 even when it skips a broken part of the file; its warnings tell.
  r.parsed = status == 0 && r.diagnostics.empty() && xml.find("<X3D") != std::string::npos;
  r.points = attributeNumbers(xml, "point");
  r.colours = attributeNumbers(xml, "color");
  for (double v : attributeNumbers(xml, "coordIndex"))
    r.indices.push_back(static_cast<int>(v));
  return r;
}

} // namespace exporttest
