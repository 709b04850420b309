#include "analysis/SectionCutter.h"

#include <cmath>

namespace {

int signOf(double s) { return s > 0 ? 1 : (s < 0 ? -1 : 0); }

bool finite(const Vec3f &p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

Vec3d widen(const Vec3f &p) { return {p.x, p.y, p.z}; }

Vec3d divided(const Vec3d &v, double s) { return {v.x / s, v.y / s, v.z / s}; }

} // namespace

SectionMesh SectionMesh::of(const SessionModel &model) {
  SectionMesh m;
  if (model.points.present() && model.pointCount > 0) {
    m.points = model.points.data();
    m.pointCount = std::min(static_cast<std::size_t>(model.pointCount), model.points.size());
  }
  if (model.hasTriangles()) {
    m.triangles = model.triangles.data();
    m.triangleCount =
        std::min(static_cast<std::size_t>(model.triangleCount), model.triangles.size());
  }
  if (model.deviations.present() && model.deviations.size() >= m.pointCount)
    m.deviations = model.deviations.data();
  return m;
}

std::vector<SectionSegment> SectionCutter::cutSegments(const SectionMesh &mesh,
                                                       const std::array<int, 3> &n,
                                                       const Vec3d &planePoint,
                                                       bool *capacityReached) const {
  std::vector<SectionSegment> segs;
  if (capacityReached)
    *capacityReached = false;
  const Vec3d nd{static_cast<double>(n[0]), static_cast<double>(n[1]), static_cast<double>(n[2])};
  const double d = dot(nd, planePoint);
  int axis = -1;
  for (int k = 0; k < 3; ++k)
    if (n[k] == 1 && n[(k + 1) % 3] == 0 && n[(k + 2) % 3] == 0)
      axis = k;
  for (std::size_t t = 0; t < mesh.triangleCount; ++t) {
    const Triangle &tr = mesh.triangles[t];
    // Corner indices outside the points cannot be read; negative ones wrap to large values.
    const std::size_t np = mesh.pointCount;
    if (static_cast<std::uint32_t>(tr.a) >= np || static_cast<std::uint32_t>(tr.b) >= np ||
        static_cast<std::uint32_t>(tr.c) >= np)
      continue;
    if (axis >= 0) {
      // Only the signs of the plane distances matter, and for a unit axis normal the full dot
      // product n . (P - A) has the sign of the one coordinate difference: decide from that.
      const double p = planePoint[axis];
      const double s0 = p - mesh.points[tr.a][axis], s1 = p - mesh.points[tr.b][axis],
                   s2 = p - mesh.points[tr.c][axis];
      if ((s0 >= 0 && s1 >= 0 && s2 >= 0) || (s0 <= 0 && s1 <= 0 && s2 <= 0))
        continue;
    }
    const Vec3d v[3] = {widen(mesh.points[tr.a]), widen(mesh.points[tr.b]),
                        widen(mesh.points[tr.c])};
    const double s[3] = {dot(nd, planePoint - v[0]), dot(nd, planePoint - v[1]),
                         dot(nd, planePoint - v[2])};
    if ((s[0] >= 0 && s[1] >= 0 && s[2] >= 0) || (s[0] <= 0 && s[1] <= 0 && s[2] <= 0))
      continue;
    // A non-finite corner cannot be cut meaningfully; checked only for the few triangles that
    // get this far (a NaN distance fails both tests above).
    if (!finite(mesh.points[tr.a]) || !finite(mesh.points[tr.b]) || !finite(mesh.points[tr.c]))
      continue;
    Vec3d found[3];
    int count = 0;
    static constexpr int kEdges[3][2] = {{0, 1}, {0, 2}, {1, 2}};
    for (const auto &e : kEdges) {
      const int sa = signOf(s[e[0]]), sb = signOf(s[e[1]]);
      if (sa == sb || sa + sb == 2 || sa + sb == -2)
        continue;
      const Vec3d &a = v[e[0]];
      const Vec3d ab = a - v[e[1]];
      const double den = dot(nd, ab);
      if (den == 0)
        continue;
      const double t = (d - dot(nd, a)) / den;
      found[count++] = a + ab * t;
    }
    // A corner on the plane between corners on opposite sides gives three points: no segment.
    if (count != 2)
      continue;
    if (segs.size() >= capacity_) {
      if (capacityReached)
        *capacityReached = true;
      break;
    }
    segs.push_back({found[0], found[1]});
  }
  return segs;
}

std::vector<Vec3d> SectionCutter::sample(const std::vector<SectionSegment> &chain, bool *limitHit,
                                         std::size_t maxSamples) {
  std::vector<Vec3d> out;
  if (limitHit)
    *limitHit = false;
  // Every ordinary segment gives one point and a filled gap at most about twenty.
  out.reserve(chain.size() + 16);
  const double step = kStep;
  const double gapLimit = kGapLimit;
  // Points base + j * step * u for j = 1..k. The limit is only reached with absurd segment
  // lengths (whose carry loses all precision), never by a real section.
  const auto emitRun = [&](const Vec3d &base, const Vec3d &u, double k) {
    for (double j = 1; j <= k; ++j) {
      if (out.size() >= maxSamples) {
        if (limitHit)
          *limitHit = true;
        return;
      }
      out.push_back(base + u * (j * step));
    }
  };
  double carry = 0;
  for (std::size_t i = 0; i < chain.size(); ++i) {
    const Vec3d a = chain[i].start, b = chain[i].end;
    if (i > 0) {
      const Vec3d prev = chain[i - 1].end;
      const Vec3d g = a - prev;
      const double len = length(g);
      if (len > gapLimit) {
        carry = gapLimit;
      } else if (len > 0) {
        const Vec3d u = divided(g, len);
        const double k = std::trunc((len + carry) / step);
        emitRun(prev - u * carry, u, k);
        carry = (len + carry) - k * step;
      }
    }
    const Vec3d ab = b - a;
    const double len = length(ab);
    if (len > 0) {
      const Vec3d u = divided(ab, len);
      const double k = std::trunc((len + carry) / step);
      // Segments of a metre and more are sampled at every step, as gaps are filled, so that
      // such a segment is not a hole in the curve; shorter ones give one point.
      emitRun(a - u * carry, u, (len + carry) / (step * kLongSegment) < 1 ? 1.0 : k);
      carry = (len + carry) - k * step;
    }
  }
  return out;
}

template <class Chain, class Nearest>
SectionResult SectionCutter::run(const SectionMesh &mesh, const std::array<int, 3> &n,
                                 const Vec3d &planePoint, const ColourScale &scale, Chain chain,
                                 Nearest nearest) const {
  SectionResult r;
  const std::vector<SectionSegment> segs = cutSegments(mesh, n, planePoint, &r.capacityReached);
  r.segmentCount = segs.size();
  r.points = sample(chain(segs), &r.samplesTruncated);
  const std::size_t count = r.points.size();
  r.nearestIndex.resize(count);
  r.deviations.resize(count);
  r.colours.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const int k = nearest(r.points[i]);
    const float dev = (k >= 0 && mesh.deviations) ? mesh.deviations[k] : 0.0f;
    r.nearestIndex[i] = k;
    r.deviations[i] = dev;
    r.colours[i] = scale.colourFor(dev);
  }
  return r;
}

SectionResult SectionCutter::cut(const SectionMesh &mesh, const std::array<int, 3> &n,
                                 const Vec3d &planePoint, const ColourScale &scale,
                                 const NearestPointIndex *index) const {
  // Without a prepared index one is built on the first sample, so a plane that misses the
  // model costs nothing.
  NearestPointIndex own;
  bool built = false;
  return run(mesh, n, planePoint, scale, chainSegments, [&](const Vec3d &q) {
    if (!index) {
      if (!built)
        own = NearestPointIndex(mesh.points, mesh.pointCount);
      built = true;
      return own.nearest(q);
    }
    return index->nearest(q);
  });
}

SectionResult SectionCutter::cutReference(const SectionMesh &mesh, const std::array<int, 3> &n,
                                          const Vec3d &planePoint, const ColourScale &scale) const {
  return run(mesh, n, planePoint, scale, chainSegmentsReference, [&mesh](const Vec3d &q) {
    return nearestPointLinear(mesh.points, mesh.pointCount, q);
  });
}
