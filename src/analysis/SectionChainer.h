#pragma once
#include "geometry/Vec3d.h"

#include <cmath>
#include <vector>

// One piece of a section curve: where the plane enters and leaves a triangle.
struct SectionSegment {
  Vec3d start, end;
  friend bool operator==(const SectionSegment &, const SectionSegment &) = default;
};

// Distance between chain end points as the chaining compares them: the double differences are
// rounded to float and squared, summed and rooted in single precision. Distances that differ
// in double may be equal here, and the tie rules then decide.
inline float chainDistance(const Vec3d &a, const Vec3d &b) {
  const float dx = static_cast<float>(b.x - a.x);
  const float dy = static_cast<float>(b.y - a.y);
  const float dz = static_cast<float>(b.z - a.z);
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// Orders segments into one chain: start with segment 0 as it is, then repeatedly append the
// unchained segment with an end point nearest to the current chain end (chainDistance,
// strictly nearer wins, lower segment index and its start before its end on ties), oriented so
// that the found end point comes first. Separate pieces are joined; there is no distance
// limit. End points must be finite.
std::vector<SectionSegment> chainSegments(const std::vector<SectionSegment> &segments);

// The same greedy choice by looking at every unchained segment at every step (quadratic); the
// reference for tests and benchmarks.
std::vector<SectionSegment> chainSegmentsReference(const std::vector<SectionSegment> &segments);
