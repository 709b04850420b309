#pragma once
// Builds session files from meshes: normals, a deterministic deviation field, the measured
// points and the binary layout. Header-only because each tools/*.cpp is its own program.
#include "MeshReader.h"
#include "geometry/Vec3d.h"
#include "geometry/Vec3f.h"
#include "session/SessionModel.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace sessionmaker {

// mt19937_64's output sequence is fixed by the standard; the distributions of <random> are
// not, so the seed gives the same file with every standard library.
class Random {
public:
  explicit Random(std::uint64_t seed) : engine_(seed) {}
  double uniform() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; } // [0, 1)
  double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
  double normal() {
    const double u1 = 1.0 - uniform(); // (0, 1]
    const double u2 = uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
  }

private:
  std::mt19937_64 engine_;
};

inline Vec3f toFloat(const Vec3d &v) {
  return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}

// Moves the mesh's box centre to the origin and scales it so that the largest extent is
// `size`. Returns false for a mesh without extent.
inline bool fitToSize(Mesh &mesh, double size) {
  if (mesh.vertices.empty())
    return false;
  Vec3d lo = mesh.vertices[0], hi = lo;
  for (const Vec3d &v : mesh.vertices)
    for (int k = 0; k < 3; ++k) {
      lo[k] = std::min(lo[k], v[k]);
      hi[k] = std::max(hi[k], v[k]);
    }
  const double extent = std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z});
  if (!(extent > 0))
    return false;
  const Vec3d centre = (lo + hi) * 0.5;
  const double s = size / extent;
  for (Vec3d &v : mesh.vertices)
    v = (v - centre) * s;
  return true;
}

// Per-vertex normals weighted by the adjacent triangles' areas (the unnormalised cross
// product carries twice the area). Vertices on no triangle get (0, 0, 1).
inline std::vector<Vec3d> areaWeightedNormals(const Mesh &mesh) {
  std::vector<Vec3d> n(mesh.vertices.size());
  for (const auto &t : mesh.triangles) {
    const Vec3d &a = mesh.vertices[static_cast<std::size_t>(t[0])];
    const Vec3d &b = mesh.vertices[static_cast<std::size_t>(t[1])];
    const Vec3d &c = mesh.vertices[static_cast<std::size_t>(t[2])];
    const Vec3d f = cross(b - a, c - a);
    for (int k = 0; k < 3; ++k)
      n[static_cast<std::size_t>(t[k])] = n[static_cast<std::size_t>(t[k])] + f;
  }
  for (Vec3d &v : n) {
    const double len = length(v);
    v = len > 0 ? v * (1.0 / len) : Vec3d{0, 0, 1};
  }
  return n;
}

// A smooth field of Gaussian dents and bulges on the surface plus a little noise, in
// millimetres: what a measured part's deviations from its nominal shape look like.
class DeviationField {
public:
  struct Bump {
    Vec3d centre;
    double amplitude, radius;
  };

  DeviationField(const std::vector<Vec3d> &surface, double modelSize, std::uint64_t seed,
                 int bumpCount = 9, double noise = 0.01)
      : random_(seed), noise_(noise) {
    for (int i = 0; i < bumpCount && !surface.empty(); ++i) {
      const auto at = static_cast<std::size_t>(random_.uniform() * surface.size());
      const double sign = random_.uniform() < 0.5 ? -1.0 : 1.0;
      bumps_.push_back({surface[std::min(at, surface.size() - 1)],
                        sign * random_.uniform(0.1, 0.45), modelSize * random_.uniform(0.06, 0.2)});
    }
  }

  // Smooth part only.
  double smooth(const Vec3d &p) const {
    double d = 0;
    for (const Bump &b : bumps_) {
      const Vec3d q = p - b.centre;
      d += b.amplitude * std::exp(-dot(q, q) / (2 * b.radius * b.radius));
    }
    return d;
  }
  // Smooth part plus noise; call in a fixed order for a reproducible file.
  double operator()(const Vec3d &p) { return smooth(p) + noise_ * random_.normal(); }

  const std::vector<Bump> &bumps() const { return bumps_; }

private:
  Random random_;
  double noise_;
  std::vector<Bump> bumps_;
};

// The arrays of one session file.
struct SessionData {
  std::vector<Vec3f> points, normals, nominal;
  std::vector<float> deviations;
  std::vector<TriangleRecord> triangles;
  bool withNominal = false;
};

// Measured point = nominal + deviation x normal; the mesh vertices are the nominal points.
inline SessionData makeSession(const Mesh &mesh, std::uint64_t seed, bool withNominal,
                               double modelSize) {
  SessionData s;
  s.withNominal = withNominal;
  const std::vector<Vec3d> normals = areaWeightedNormals(mesh);
  DeviationField field(mesh.vertices, modelSize, seed);
  const std::size_t n = mesh.vertices.size();
  s.points.resize(n);
  s.normals.resize(n);
  s.deviations.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double d = field(mesh.vertices[i]);
    s.deviations[i] = static_cast<float>(d);
    s.normals[i] = toFloat(normals[i]);
    s.points[i] = toFloat(mesh.vertices[i] + normals[i] * d);
  }
  if (withNominal)
    for (const Vec3d &v : mesh.vertices)
      s.nominal.push_back(toFloat(v));
  s.triangles.reserve(mesh.triangles.size());
  for (std::size_t t = 0; t < mesh.triangles.size(); ++t)
    s.triangles.push_back({mesh.triangles[t][0], mesh.triangles[t][1], mesh.triangles[t][2],
                           static_cast<std::int32_t>(t)});
  return s;
}

struct FileCloser {
  void operator()(std::FILE *f) const {
    if (f)
      std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

inline bool closeChecked(FilePtr &f) {
  std::FILE *raw = f.release();
  return std::fclose(raw) == 0;
}

inline bool writeSession(const std::string &path, const SessionData &s, std::string &error) {
  FilePtr f(std::fopen(path.c_str(), "wb"));
  if (!f) {
    error = path + ": cannot create the file";
    return false;
  }
  const std::int32_t header[4] = {s.withNominal ? 16 : 0,
                                  static_cast<std::int32_t>(s.points.size()),
                                  static_cast<std::int32_t>(s.triangles.size()), 0};
  const auto put = [&](const void *p, std::size_t bytes) {
    return bytes == 0 || std::fwrite(p, 1, bytes, f.get()) == bytes;
  };
  bool ok = put(header, sizeof header) && put(s.points.data(), s.points.size() * 12) &&
            put(s.normals.data(), s.normals.size() * 12) &&
            put(s.deviations.data(), s.deviations.size() * 4) &&
            put(s.triangles.data(), s.triangles.size() * 16);
  if (ok && s.withNominal)
    ok = put(s.nominal.data(), s.nominal.size() * 12);
  ok = closeChecked(f) && ok;
  if (!ok)
    error = path + ": writing failed";
  return ok;
}

// "X Y Z" header line, then one "x y z" line per point in shortest round-trip form.
inline bool writePointText(const std::string &path, const std::vector<Vec3f> &points,
                           std::string &error) {
  FilePtr f(std::fopen(path.c_str(), "wb"));
  if (!f) {
    error = path + ": cannot create the file";
    return false;
  }
  std::string out = "X Y Z\n";
  char buf[32];
  for (const Vec3f &p : points) {
    for (int k = 0; k < 3; ++k) {
      const auto r = std::to_chars(buf, buf + sizeof buf, p[k]);
      out.append(buf, r.ptr);
      out += k < 2 ? ' ' : '\n';
    }
  }
  const bool ok = std::fwrite(out.data(), 1, out.size(), f.get()) == out.size() && closeChecked(f);
  if (!ok)
    error = path + ": writing failed";
  return ok;
}

// A large synthetic session: a gently waved grid of exactly `n` points (the last row may be
// partial) with two triangles per complete grid cell, about 2n, and the deviation field of
// a few bumps. Written block by block so that the generator needs little memory.
inline bool writeSyntheticSession(const std::string &path, std::int64_t n, std::uint64_t seed,
                                  bool withNominal, std::string &error,
                                  std::int64_t *trianglesOut = nullptr, bool withTriangles = true) {
  if (n < 1 || n > INT32_MAX) {
    error = "the point count must be 1.." + std::to_string(INT32_MAX);
    return false;
  }
  const std::int64_t w =
      std::max<std::int64_t>(2, static_cast<std::int64_t>(std::ceil(std::sqrt(double(n)))));
  const std::int64_t fullRows = n / w;
  const std::int64_t rest = n % w;
  // Complete cells between full rows, plus the cells the partial last row closes.
  std::int64_t cells = (fullRows > 0 ? (fullRows - 1) * (w - 1) : 0);
  if (fullRows > 0 && rest > 1)
    cells += rest - 1;
  const std::int64_t t = withTriangles ? 2 * cells : 0;
  if (t > INT32_MAX) {
    error = "too many triangles";
    return false;
  }
  const double step = 100.0 / static_cast<double>(w - 1); // 100 mm wide
  const auto surface = [&](std::int64_t i) {
    const double x = static_cast<double>(i % w) * step, y = static_cast<double>(i / w) * step;
    const double z = 3.0 * std::sin(x * 0.06) * std::cos(y * 0.045);
    const Vec3d nrm =
        normalised(Vec3d{-3.0 * 0.06 * std::cos(x * 0.06) * std::cos(y * 0.045),
                         3.0 * 0.045 * std::sin(x * 0.06) * std::sin(y * 0.045), 1.0});
    return std::pair{Vec3d{x, y, z}, nrm};
  };
  std::vector<Vec3d> anchors;
  {
    Random r(seed ^ 0x5eedULL);
    for (int k = 0; k < 16; ++k)
      anchors.push_back(surface(static_cast<std::int64_t>(r.uniform() * double(n))).first);
  }
  DeviationField field(anchors, 100.0, seed);

  FilePtr f(std::fopen(path.c_str(), "wb"));
  if (!f) {
    error = path + ": cannot create the file";
    return false;
  }
  bool ok = true;
  std::vector<char> buf;
  buf.reserve(1 << 22);
  const auto flush = [&] {
    if (!buf.empty() && std::fwrite(buf.data(), 1, buf.size(), f.get()) != buf.size())
      ok = false;
    buf.clear();
  };
  const auto put = [&](const void *p, std::size_t bytes) {
    const char *c = static_cast<const char *>(p);
    buf.insert(buf.end(), c, c + bytes);
    if (buf.size() >= (1u << 22))
      flush();
  };
  const std::int32_t header[4] = {withNominal ? 16 : 0, static_cast<std::int32_t>(n),
                                  static_cast<std::int32_t>(t), 0};
  put(header, sizeof header);
  // The deviations decide the measured points, so they are computed first.
  std::vector<float> dev(static_cast<std::size_t>(n));
  for (std::int64_t i = 0; i < n; ++i)
    dev[static_cast<std::size_t>(i)] = static_cast<float>(field(surface(i).first));
  for (std::int64_t i = 0; i < n; ++i) {
    const auto [p, nrm] = surface(i);
    const Vec3f v = toFloat(p + nrm * dev[static_cast<std::size_t>(i)]);
    put(&v, sizeof v);
  }
  for (std::int64_t i = 0; i < n; ++i) {
    const Vec3f v = toFloat(surface(i).second);
    put(&v, sizeof v);
  }
  put(dev.data(), dev.size() * sizeof(float));
  dev = {};
  std::int32_t index = 0;
  for (std::int64_t row = 0; t > 0 && row + 1 < fullRows + (rest > 1 ? 1 : 0); ++row) {
    const std::int64_t cols = row + 1 < fullRows ? w - 1 : rest - 1;
    for (std::int64_t c = 0; c < cols; ++c) {
      const auto a = static_cast<std::int32_t>(row * w + c);
      const auto b = a + 1, d = static_cast<std::int32_t>(a + w), e = d + 1;
      const TriangleRecord t1{a, b, e, index++}, t2{a, e, d, index++};
      put(&t1, sizeof t1);
      put(&t2, sizeof t2);
    }
  }
  if (withNominal)
    for (std::int64_t i = 0; i < n; ++i) {
      const Vec3f v = toFloat(surface(i).first);
      put(&v, sizeof v);
    }
  flush();
  ok = closeChecked(f) && ok;
  if (!ok)
    error = path + ": writing failed";
  if (trianglesOut)
    *trianglesOut = t;
  return ok && index == t;
}

} // namespace sessionmaker
