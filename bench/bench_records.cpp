// Annotation records on the 10,000,000-point benchmark file: the worst-point callouts after
// loading (as --worst 100 runs them), the point checksum that ties a record to its model, and
// reading and matching a record with 1,000 callouts.
//   bench_records [--file PATH] [--points N] [benchmark options]
// A missing file is written first (as make-session --synthetic --points N writes it).
#include "analysis/WorstPoints.h"
#include "records/AnnotationsFile.h"
#include "session/SessionModel.h"

#include "../tools/SessionMaker.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace {

std::string gFile = "/tmp/bench-10M.ses";
long long gPoints = 10000000;

SessionModel &model() {
  static std::unique_ptr<SessionModel> m;
  if (!m) {
    m = std::make_unique<SessionModel>();
    std::string error;
    bool isSession = false;
    if (!std::filesystem::exists(gFile) &&
        !sessionmaker::writeSyntheticSession(gFile, gPoints, 1, false, error))
      std::fprintf(stderr, "%s\n", error.c_str());
    if (!readModelFile(gFile, *m, isSession, error))
      std::fprintf(stderr, "%s\n", error.c_str());
  }
  return *m;
}

// Arguments: count, tolerance in micrometres, spacing in percent of the default (0: none).
void BM_WorstPoints(benchmark::State &state) {
  SessionModel &m = model();
  WorstPointsRequest r;
  r.count = static_cast<int>(state.range(0));
  r.upper = static_cast<double>(state.range(1)) / 1000;
  r.lower = -r.upper;
  r.spacing =
      defaultWorstPointSpacing(m.GetBoundingBox()) * static_cast<double>(state.range(2)) / 100;
  std::size_t found = 0;
  for (auto _ : state)
    found = worstPoints(m, r).size();
  std::size_t outside = 0;
  for (std::size_t i = 0; i < m.deviations.size(); ++i)
    outside += m.deviations[i] > float(r.upper) || m.deviations[i] < float(r.lower);
  state.counters["found"] = static_cast<double>(found);
  state.counters["outside"] = static_cast<double>(outside);
  state.counters["spacing_mm"] = r.spacing;
}
BENCHMARK(BM_WorstPoints)
    ->Args({100, 250, 100})  // --worst 100 with the defaults
    ->Args({100, 50, 100})   // a tight band: most points outside
    ->Args({100, 250, 0})    // no spacing
    ->Args({100, 250, 1000}) // ten times the spacing: few qualify, most are thinned away
    ->Unit(benchmark::kMillisecond);

void BM_PointChecksum(benchmark::State &state) {
  SessionModel &m = model();
  const auto n = std::min<std::size_t>(static_cast<std::size_t>(state.range(0)), m.points.size());
  for (auto _ : state)
    benchmark::DoNotOptimize(pointBlockChecksum(m.points.data(), n));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n * 12));
}
BENCHMARK(BM_PointChecksum)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMillisecond);

// A record with 1,000 callouts (700 banners, 300 distances) and 100 comments, all with texts.
std::string recordFile(const ModelIdentity &id) {
  const std::string path = gFile + ".velmora.json";
  Annotations a;
  a.session = id;
  a.camera.rotation = std::array<double, 16>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  a.camera.distance = 250;
  const auto pick = [&](int k) { return static_cast<std::int32_t>((k * 9973LL) % id.pointCount); };
  for (int k = 0; k < 700; ++k)
    a.banners.push_back(
        {pick(k), {1.5 * k, -2.25, 0.125}, "banner comment number " + std::to_string(k)});
  for (int k = 0; k < 300; ++k)
    a.distances.push_back({pick(k), pick(k + 1000), {0, 3.5, 0}, "distance " + std::to_string(k)});
  for (int k = 0; k < 100; ++k)
    a.comments.push_back({"comment text " + std::to_string(k), 10.0 + k, 400, 20, 0, k % 2 == 0});
  const ExportResult r = writeAnnotations(path, a, gFile, ExistingFile::Replace);
  if (!r.ok)
    std::fprintf(stderr, "%s\n", r.message.c_str());
  return path;
}

void BM_ReadAndMatchRecord(benchmark::State &state) {
  const ModelIdentity id = ModelIdentity::of(model());
  const std::string path = recordFile(id);
  std::size_t callouts = 0;
  for (auto _ : state) {
    const AnnotationsReadResult r = readAnnotationsFor(path, id);
    callouts = r.annotations.banners.size() + r.annotations.distances.size();
  }
  state.counters["callouts"] = static_cast<double>(callouts);
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
}
BENCHMARK(BM_ReadAndMatchRecord)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
  std::vector<char *> rest{argv[0]};
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--file") && i + 1 < argc)
      gFile = argv[++i];
    else if (!std::strcmp(argv[i], "--points") && i + 1 < argc)
      gPoints = std::atoll(argv[++i]);
    else
      rest.push_back(argv[i]);
  }
  int n = static_cast<int>(rest.size());
  benchmark::Initialize(&n, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
