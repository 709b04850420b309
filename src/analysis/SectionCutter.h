#pragma once
#include "analysis/ColourScale.h"
#include "analysis/NearestPointIndex.h"
#include "analysis/SectionChainer.h"
#include "geometry/Vec3d.h"
#include "geometry/Vec3f.h"
#include "session/SessionModel.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// The triangle mesh a section is cut from, as plain arrays.
struct SectionMesh {
  const Vec3f *points = nullptr;
  std::size_t pointCount = 0;
  const Triangle *triangles = nullptr;
  std::size_t triangleCount = 0;
  const float *deviations = nullptr; // may be null: every deviation reads as 0

  static SectionMesh of(const SessionModel &model);
};

// A computed section: sample points in chain order and, per point, the nearest measured
// point, its deviation and its colour.
struct SectionResult {
  std::vector<Vec3d> points;
  std::vector<int> nearestIndex; // -1 only when the mesh has no points
  std::vector<float> deviations;
  std::vector<Colour> colours;
  std::size_t segmentCount = 0;  // segments kept (at most the capacity)
  bool capacityReached = false;  // later crossing triangles were dropped
  bool samplesTruncated = false; // the sample limit cut the output short
};

// Cuts a triangle mesh with a plane, chains the pieces into one curve and samples it at a fixed
// step; the view shows the samples coloured by the nearest measured point's deviation.
class SectionCutter {
public:
  static constexpr std::size_t kCapacity = 900000;
  static constexpr double kStep = 0.001;
  static constexpr float kGapLimit = 0.01f;
  // Segments whose length plus carry reach kStep * kLongSegment are sampled at every step.
  static constexpr double kLongSegment = 1000000.0;
  // Upper bound of the samples such long segments may add, so a huge degenerate triangle
  // cannot exhaust memory; ordinary sampling stays far below it.
  static constexpr std::size_t kMaxSamples = 20000000;

  explicit SectionCutter(std::size_t capacity = kCapacity) : capacity_(capacity) {}

  // Intersection segments of every triangle with the plane through planePoint with normal n,
  // in triangle order, at most the capacity of them. capacityReached is set when a crossing
  // triangle was dropped.
  std::vector<SectionSegment> cutSegments(const SectionMesh &mesh, const std::array<int, 3> &n,
                                          const Vec3d &planePoint,
                                          bool *capacityReached = nullptr) const;

  // Sample positions along chained segments: one per ordinary segment, small gaps filled at
  // the step, larger gaps jumped. limitHit is set when kMaxSamples stopped long segments.
  static std::vector<Vec3d> sample(const std::vector<SectionSegment> &chain,
                                   bool *limitHit = nullptr, std::size_t maxSamples = kMaxSamples);

  // The whole section with colours. index must be built over mesh.points (the view keeps
  // one per model); without it one is built here.
  SectionResult cut(const SectionMesh &mesh, const std::array<int, 3> &n, const Vec3d &planePoint,
                    const ColourScale &scale, const NearestPointIndex *index = nullptr) const;

  // The same with the quadratic chaining and a linear nearest-point scan: the reference.
  SectionResult cutReference(const SectionMesh &mesh, const std::array<int, 3> &n,
                             const Vec3d &planePoint, const ColourScale &scale) const;

private:
  template <class Chain, class Nearest>
  SectionResult run(const SectionMesh &mesh, const std::array<int, 3> &n, const Vec3d &planePoint,
                    const ColourScale &scale, Chain chain, Nearest nearest) const;

  std::size_t capacity_;
};
