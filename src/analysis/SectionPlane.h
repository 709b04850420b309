#pragma once
#include "geometry/Vec3d.h"

#include <array>
#include <optional>
#include <string>

// Which coordinate axes lie in an axis-parallel cutting plane: 1 for each axis in the plane,
// e.g. X/Y is (1, 1, 0). The plane normal is the complement.
struct AxisRecord {
  int r[3] = {1, 1, 0};

  std::array<int, 3> normal() const { return {1 - r[0], 1 - r[1], 1 - r[2]}; }
  friend bool operator==(const AxisRecord &, const AxisRecord &) = default;
};

// "X/Y", "Y/Z" or "X/Z" (the entries of the plane list); nothing for any other text.
std::optional<AxisRecord> axisRecordFromName(const std::string &name);

// Corners of the translucent plane shown while a section is being set up: the model's
// bounding box widened away from zero by 1.5 in every coordinate, cut at the plane point
// along the plane's fixed axis. Corner order is the drawing order.
std::array<Vec3d, 4> sectionPlaneCorners(const AxisRecord &record, const Vec3d &planePoint,
                                         const Vec3d &boxMin, const Vec3d &boxMax);

// One coordinate moved away from zero by 1.5 (zero itself moves down).
constexpr double widenAwayFromZero(double c) { return c > 0 ? c + 1.5 : c - 1.5; }
