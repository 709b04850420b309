// VRML export speed: the writer against a printf-based writer that formats every number with
// the C library (as the text was first produced), on a measured-surface-like grid mesh.
#include "analysis/ColourScale.h"
#include "export/VrmlWriter.h"
#include "io/AtomicFile.h"
#include "session/SessionModel.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>

namespace {

// A wavy sheet of about `points` points (a square grid) with two triangles per cell and a
// smooth deviation field with noise, coordinates in millimetres as a scanner gives them.
std::unique_ptr<SessionModel> makeSheet(std::size_t points) {
  const auto side = static_cast<std::size_t>(std::sqrt(static_cast<double>(points)));
  const std::size_t n = side * side;
  auto m = std::make_unique<SessionModel>();
  m->pointCount = static_cast<std::int32_t>(n);
  m->points.allocate(n);
  m->normals.allocate(n);
  m->deviations.allocate(n);
  std::mt19937 rng(42);
  std::normal_distribution<float> noise(0.0f, 0.02f);
  const double pitch = 800.0 / static_cast<double>(side);
  for (std::size_t j = 0; j < side; ++j)
    for (std::size_t i = 0; i < side; ++i) {
      const double x = -400.0 + pitch * static_cast<double>(i);
      const double y = -250.0 + pitch * static_cast<double>(j) * 0.6;
      const double z = 35.0 * std::sin(x / 90.0) * std::cos(y / 70.0) + 120.0;
      const std::size_t k = j * side + i;
      m->points[k] = Vec3f{static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
      m->normals[k] = Vec3f{0, 0, 1};
      m->deviations[k] =
          static_cast<float>(0.3 * std::sin(x / 60.0) * std::sin(y / 45.0)) + noise(rng);
    }
  const std::size_t cells = (side - 1) * (side - 1);
  m->triangleCount = static_cast<std::int32_t>(2 * cells);
  m->triangles.allocate(2 * cells);
  std::size_t t = 0;
  for (std::size_t j = 0; j + 1 < side; ++j)
    for (std::size_t i = 0; i + 1 < side; ++i) {
      const auto a = static_cast<std::int32_t>(j * side + i);
      const auto b = a + 1, c = a + static_cast<std::int32_t>(side), d = c + 1;
      m->triangles[t] = {a, b, d};
      ++t;
      m->triangles[t] = {a, d, c};
      ++t;
    }
  return m;
}

const SessionModel &sheet(std::size_t points) {
  static std::map<std::size_t, std::unique_ptr<SessionModel>> cache;
  auto &m = cache[points];
  if (!m)
    m = makeSheet(points);
  return *m;
}

std::string scratchPath(const char *name) {
  return (std::filesystem::temp_directory_path() /
          ("velmora-bench-" + std::to_string(::getpid()) + "-" + name))
      .string();
}

// The session file of a sheet, written once per size.
std::string sessionFileOf(std::size_t points) {
  static std::map<std::size_t, std::string> files;
  std::string &path = files[points];
  if (!path.empty())
    return path;
  path = scratchPath(("sheet-" + std::to_string(points) + ".ses").c_str());
  const SessionModel &m = sheet(points);
  FILE *f = std::fopen(path.c_str(), "wb");
  const std::int32_t header[4] = {0, m.pointCount, m.triangleCount, 0};
  std::fwrite(header, sizeof header, 1, f);
  const auto n = static_cast<std::size_t>(m.pointCount);
  std::fwrite(m.points.data(), sizeof(Vec3f), n, f);
  std::fwrite(m.normals.data(), sizeof(Vec3f), n, f);
  std::fwrite(m.deviations.data(), sizeof(float), n, f);
  for (std::size_t t = 0; t < m.triangles.size(); ++t) {
    const TriangleRecord r = m.recordOf(t);
    std::fwrite(&r, sizeof r, 1, f);
  }
  std::fclose(f);
  return path;
}

const ColourScale kScale(0.25f, -0.25f, 15, 0, false, false);

// The line-by-line writer with the C library's formatting: "%g" for every coordinate, the
// colour cut through "%f", a flush after every line.
bool printfVrml(FILE *f, const SessionModel &m, const ColourScale &scale) {
  const auto cut = [](double c) {
    char buf[10];
    std::snprintf(buf, sizeof buf, "%f", c);
    if (char *dot = std::strchr(buf, '.'))
      if (dot + 3 < buf + sizeof buf)
        dot[3] = '\0';
    return std::atof(buf);
  };
  const auto n = static_cast<std::size_t>(m.pointCount);
  std::fputs("#VRML V2.0 utf8\nShape {\n\tgeometry IndexedFaceSet {\n\t\tcoord Coordinate {\n", f);
  std::fputs("point [", f);
  for (std::size_t i = 0; i < n; ++i) {
    const Vec3f &p = m.points[i];
    std::fprintf(f, "%g   %g  %g, ", double{p.x}, double{p.y}, double{p.z});
  }
  std::fputs("]\n", f);
  std::fflush(f);
  std::fputs("\t\t}\n\t\tcolor Color {\n\t\t\tcolor[", f);
  for (std::size_t i = 0; i < n; ++i) {
    const Colour c = scale.colourFor(m.deviations[i]);
    std::fprintf(f, "%g %g %g, ", cut(c.r), cut(c.g), cut(c.b));
  }
  std::fputs("]\n\t\t}\n\t\tcoordIndex [\n", f);
  std::fflush(f);
  for (std::int32_t i = 0; i < m.triangleCount; ++i) {
    const Triangle &t = m.triangles[static_cast<std::size_t>(i)];
    std::fprintf(f, "%d, %d, %d,  -1,", t.a, t.b, t.c);
  }
  std::fputs("]\n\t}\n}\nBackground {\n\tskyAngle [ 1.4, 1.5 ]\n"
             "\tskyColor [ 0.2 0.2 1, 0.5 0.5 1, 0.9 0.9 1 ]\n}\n",
             f);
  return std::fflush(f) == 0 && !std::ferror(f);
}

void setCounters(benchmark::State &state, std::size_t bytes, const SessionModel &m) {
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes) *
                          static_cast<std::int64_t>(state.iterations()));
  state.counters["points"] = static_cast<double>(m.pointCount);
  state.counters["triangles"] = static_cast<double>(m.triangleCount);
  state.counters["MB_out"] = static_cast<double>(bytes) / 1e6;
}

// Formatting alone: the text is produced and dropped.
void BM_VrmlFormat(benchmark::State &state) {
  const SessionModel &m = sheet(static_cast<std::size_t>(state.range(0)));
  std::size_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    const ExportResult r = formatVrml(m, kScale, [&](const char *data, std::size_t size) {
      benchmark::DoNotOptimize(data);
      bytes += size;
      return true;
    });
    if (!r.ok)
      state.SkipWithError(r.message.c_str());
  }
  setCounters(state, bytes, m);
}

// The printf-based writer into /dev/null: formatting with the C library alone.
void BM_PrintfFormat(benchmark::State &state) {
  const SessionModel &m = sheet(static_cast<std::size_t>(state.range(0)));
  long bytes = 0;
  for (auto _ : state) {
    FILE *f = std::fopen("/dev/null", "w");
    printfVrml(f, m, kScale);
    bytes = std::ftell(f);
    std::fclose(f);
  }
  // ftell on /dev/null does not count; measure the size once through a counting file.
  if (bytes <= 0) {
    const std::string path = scratchPath("count.wrl");
    FILE *f = std::fopen(path.c_str(), "w");
    printfVrml(f, m, kScale);
    bytes = std::ftell(f);
    std::fclose(f);
    std::remove(path.c_str());
  }
  setCounters(state, static_cast<std::size_t>(bytes), m);
}

// The whole file: temporary, buffered writes, flush to disk, rename.
void BM_VrmlFile(benchmark::State &state) {
  const SessionModel &m = sheet(static_cast<std::size_t>(state.range(0)));
  const std::string path = scratchPath("out.wrl");
  for (auto _ : state) {
    const ExportResult r = writeVrmlFile(path, m, kScale);
    if (!r.ok)
      state.SkipWithError(r.message.c_str());
  }
  setCounters(state, std::filesystem::file_size(path), m);
  std::filesystem::remove(path);
}

// The same without forcing the data to disk: what the formatting and the system's page
// cache cost, apart from the device.
void BM_VrmlFileNoSync(benchmark::State &state) {
  const SessionModel &m = sheet(static_cast<std::size_t>(state.range(0)));
  const std::string path = scratchPath("nosync.wrl");
  for (auto _ : state) {
    AtomicFile file(path);
    file.setSync(false);
    const ExportResult r = formatVrml(
        m, kScale, [&file](const char *data, std::size_t size) { return file.write(data, size); });
    if (!r.ok || !file.commit())
      state.SkipWithError("write failed");
  }
  setCounters(state, std::filesystem::file_size(path), m);
  std::filesystem::remove(path);
}

// The printf-based writer into a real file (no flush to disk).
void BM_PrintfFile(benchmark::State &state) {
  const SessionModel &m = sheet(static_cast<std::size_t>(state.range(0)));
  const std::string path = scratchPath("printf.wrl");
  for (auto _ : state) {
    FILE *f = std::fopen(path.c_str(), "w");
    printfVrml(f, m, kScale);
    std::fclose(f);
  }
  setCounters(state, std::filesystem::file_size(path), m);
  std::filesystem::remove(path);
}

// The export as the command runs it: the session file read afresh, then written.
void BM_ExportSessionFile(benchmark::State &state) {
  const auto points = static_cast<std::size_t>(state.range(0));
  const std::string ses = sessionFileOf(points);
  const std::string path = scratchPath("export.wrl");
  for (auto _ : state) {
    const ExportResult r = exportVrmlFile(path, ses, kScale);
    if (!r.ok)
      state.SkipWithError(r.message.c_str());
  }
  setCounters(state, std::filesystem::file_size(path), sheet(points));
  std::filesystem::remove(path);
}

constexpr std::int64_t kMesh = 1'000'000;
constexpr std::int64_t kLarge = 10'000'000;

BENCHMARK(BM_VrmlFormat)->Arg(kMesh)->Arg(kLarge)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_PrintfFormat)->Arg(kMesh)->Arg(kLarge)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_VrmlFile)->Arg(kMesh)->Arg(kLarge)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_VrmlFileNoSync)->Arg(kMesh)->Arg(kLarge)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_PrintfFile)->Arg(kMesh)->Arg(kLarge)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ExportSessionFile)
    ->Arg(kMesh)
    ->Arg(kLarge)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

} // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const auto &e : std::filesystem::directory_iterator(std::filesystem::temp_directory_path()))
    if (e.path().filename().string().rfind("velmora-bench-" + std::to_string(::getpid()) + "-",
                                           0) == 0)
      std::filesystem::remove(e.path());
  return 0;
}
