// U3D export speed on a synthetic measured sheet of 1,000,000 points and about 2,000,000
// triangles: the whole export from the session file, and the parts of it.
#include "analysis/ColourScale.h"
#include "export/U3dExport.h"
#include "export/U3dFile.h"
#include "export/U3dScene.h"
#include "session/SessionModel.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

constexpr std::size_t kSide = 1000; // 1,000,000 points

std::unique_ptr<SessionModel> makeSheet() {
  auto m = std::make_unique<SessionModel>();
  const std::size_t n = kSide * kSide;
  m->SetPath("sheet.ses");
  m->pointCount = static_cast<std::int32_t>(n);
  m->points.allocate(n);
  m->normals.allocate(n);
  m->deviations.allocate(n);
  for (std::size_t j = 0; j < kSide; ++j)
    for (std::size_t i = 0; i < kSide; ++i) {
      const double x = -400.0 + 0.8 * static_cast<double>(i);
      const double y = -250.0 + 0.5 * static_cast<double>(j);
      const double z = 35.0 * std::sin(x / 90.0) * std::cos(y / 70.0) + 120.0;
      const std::size_t k = j * kSide + i;
      m->points[k] = {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
      m->normals[k] = {0, 0, 1};
      m->deviations[k] = static_cast<float>(0.3 * std::sin(x / 60.0) * std::sin(y / 45.0));
    }
  const std::size_t cells = (kSide - 1) * (kSide - 1);
  m->triangleCount = static_cast<std::int32_t>(2 * cells);
  m->triangles.allocate(2 * cells);
  std::size_t t = 0;
  for (std::size_t j = 0; j + 1 < kSide; ++j)
    for (std::size_t i = 0; i + 1 < kSide; ++i) {
      const auto a = static_cast<std::int32_t>(j * kSide + i);
      const auto b = a + 1, c = a + static_cast<std::int32_t>(kSide), d = c + 1;
      m->triangles[t] = {a, b, d};
      ++t;
      m->triangles[t] = {a, d, c};
      ++t;
    }
  return m;
}

// Removes the scratch folder (session file, export, listing) when the program ends.
struct ScratchFolder {
  std::filesystem::path path;
  ~ScratchFolder() {
    std::error_code ec;
    if (!path.empty())
      std::filesystem::remove_all(path, ec);
  }
};

std::filesystem::path scratch() {
  static const ScratchFolder dir{[] {
    auto d = std::filesystem::temp_directory_path() /
             ("velmora-bench-u3d-" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    // Keep the diagnostic listing out of the user's cache.
    ::setenv("XDG_CACHE_HOME", (d / "cache").c_str(), 1);
    return d;
  }()};
  return dir.path;
}

SessionModel &sheet() {
  static std::unique_ptr<SessionModel> m = makeSheet();
  return *m;
}

std::string sessionFile() {
  static const std::string path = [] {
    const SessionModel &m = sheet();
    const std::string p = (scratch() / "sheet.ses").string();
    std::ofstream out(p, std::ios::binary);
    const std::int32_t header[4] = {0, m.pointCount, m.triangleCount, 0};
    out.write(reinterpret_cast<const char *>(header), sizeof header);
    const auto n = static_cast<std::streamsize>(m.pointCount);
    out.write(reinterpret_cast<const char *>(m.points.data()), 12 * n);
    out.write(reinterpret_cast<const char *>(m.normals.data()), 12 * n);
    out.write(reinterpret_cast<const char *>(m.deviations.data()), 4 * n);
    for (std::size_t t = 0; t < m.triangles.size(); ++t) {
      const TriangleRecord r = m.recordOf(t);
      out.write(reinterpret_cast<const char *>(&r), sizeof r);
    }
    return p;
  }();
  return path;
}

const ColourScale kScale(0.25f, -0.25f, 10, 0, false, false);

// The whole export as the command runs it: re-read, normals, mesh, listing, encode, write.
void BM_U3dExportFromSessionFile(benchmark::State &state) {
  const std::string ses = sessionFile();
  const std::string target = (scratch() / "sheet.u3d").string();
  for (auto _ : state) {
    const ExportResult r = exportU3dFile(target, ses, kScale);
    if (!r.ok)
      state.SkipWithError(r.message.c_str());
  }
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(target));
}
BENCHMARK(BM_U3dExportFromSessionFile)->Unit(benchmark::kMillisecond)->Iterations(3);

// Encoding alone: the scene's blocks from a filled mesh, no file.
void BM_U3dEncodeScene(benchmark::State &state) {
  U3dMesh mesh;
  if (!FillAuthorMesh(&mesh, sheet(), kScale).ok)
    state.SkipWithError("fill failed");
  for (auto _ : state) {
    const U3dFileLayout layout(buildU3dSceneBlocks(mesh));
    benchmark::DoNotOptimize(layout.fileSize());
  }
}
BENCHMARK(BM_U3dEncodeScene)->Unit(benchmark::kMillisecond)->Iterations(3);

// Filling the mesh, which includes formatting the diagnostic listing.
void BM_U3dFillMeshAndListing(benchmark::State &state) {
  scratch();
  for (auto _ : state) {
    U3dMesh mesh;
    benchmark::DoNotOptimize(FillAuthorMesh(&mesh, sheet(), kScale).ok);
  }
}
BENCHMARK(BM_U3dFillMeshAndListing)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
