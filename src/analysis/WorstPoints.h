#pragma once
#include "geometry/Vec3f.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class BoundingBox;
class SessionModel;

// What to call out: how many points, how far apart, against which tolerance band.
struct WorstPointsRequest {
  static constexpr int kMaxCount = 100; // the most the commands ask for
  int count = 10;
  // Chosen points are at least this far apart (mm); 0 lets them coincide.
  double spacing = 0;
  double lower = -0.25, upper = 0.25;
  bool gradient = false; // judge as the continuous colours do (both limits inside)
};

// The worst points of a measurement: among the points with a finite deviation outside the
// tolerance band (above or below, see toleranceStatus), greedily in descending |deviation| (ties:
// the lower index first), each point that is not closer than `spacing` to an already chosen one,
// until `count` are chosen. Fewer come back when fewer qualify; a count of 0 or less gives none.
//
// "Closer" is std::sqrt(dx * dx + dy * dy + dz * dz) < spacing with the float coordinates
// widened to double, so a point exactly `spacing` away is kept. Points with a deviation that
// is not finite are never chosen: they are out of the statistics too.
//
// Only points that can still be chosen are ever ordered: candidates are gathered in growing
// slices of the largest remaining deviations, each slice thinned against everything chosen
// before it, so a large model costs a few linear passes over its deviations.
std::vector<std::int32_t> worstPoints(const Vec3f *points, const float *deviations,
                                      std::size_t count, const WorstPointsRequest &request);
std::vector<std::int32_t> worstPoints(const SessionModel &model, const WorstPointsRequest &request);

// The default spacing: 2 % of the diagonal of the bounding box (the box --info reports).
double defaultWorstPointSpacing(const BoundingBox &box);
