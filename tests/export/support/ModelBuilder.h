#pragma once
#include "session/SessionModel.h"

#include <array>
#include <string>
#include <vector>

namespace exporttest {

struct TestPoint {
  float x, y, z, deviation;
};

// An in-memory model with the given points, deviations and triangles (the fourth integer, the
// normal index, kept as a file would keep it).
SessionModel makeModel(const std::vector<TestPoint> &points,
                       const std::vector<std::array<int, 4>> &triangles = {});

// The bytes of a session file with these points (normals 0,0,1), triangles and, when
// `nominal`, nominal points (each point shifted by 0.5 in z).
std::string sessionFileBytes(const std::vector<TestPoint> &points,
                             const std::vector<std::array<int, 4>> &triangles, bool nominal);

// Counts of a model as a VRML reader saw it.
struct ParsedCounts {
  bool parsed = false;     // the tool ran, exited 0 and reported no problem
  std::string diagnostics; // what it printed on standard error
  std::vector<double> points, colours;
  std::vector<int> indices; // with the -1 separators
};

// Whether the independent VRML reader (tovrmlx3d) is installed.
bool haveVrmlReader();
// Reads `path` with it and returns the numbers of the X3D output.
ParsedCounts readWithVrmlReader(const std::string &path);

} // namespace exporttest
