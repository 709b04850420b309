#include "analysis/SectionPlane.h"

std::optional<AxisRecord> axisRecordFromName(const std::string &name) {
  if (name == "X/Y")
    return AxisRecord{{1, 1, 0}};
  if (name == "Y/Z")
    return AxisRecord{{0, 1, 1}};
  if (name == "X/Z")
    return AxisRecord{{1, 0, 1}};
  return std::nullopt;
}

std::array<Vec3d, 4> sectionPlaneCorners(const AxisRecord &record, const Vec3d &p,
                                         const Vec3d &boxMin, const Vec3d &boxMax) {
  const Vec3d lo{widenAwayFromZero(boxMin.x), widenAwayFromZero(boxMin.y),
                 widenAwayFromZero(boxMin.z)};
  const Vec3d hi{widenAwayFromZero(boxMax.x), widenAwayFromZero(boxMax.y),
                 widenAwayFromZero(boxMax.z)};
  const int *r = record.r;
  std::array<Vec3d, 4> c{};
  // Records with two equal entries pick a case; a later matching case replaces an earlier
  // one, which only matters for records that are not one of the three planes.
  if (r[0] == r[1])
    c = {Vec3d{lo.x, lo.y, p.z}, {hi.x, lo.y, p.z}, {hi.x, hi.y, p.z}, {lo.x, hi.y, p.z}};
  if (r[1] == r[2])
    c = {Vec3d{p.x, lo.y, lo.z}, {p.x, hi.y, lo.z}, {p.x, hi.y, hi.z}, {p.x, lo.y, hi.z}};
  if (r[0] == r[2])
    c = {Vec3d{lo.x, p.y, lo.z}, {hi.x, p.y, lo.z}, {hi.x, p.y, hi.z}, {lo.x, p.y, hi.z}};
  return c;
}
