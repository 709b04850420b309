// Session file loading against the I/O floor (the same bytes read into one buffer), and
// the point text reader. The large input is generated once if it is missing:
//   bench_session_reader [--file PATH] [--points N] [benchmark options]
//   bench_session_reader --rss PATH   (one load; prints peak memory against the arrays)
#include "../tools/SessionMaker.h"
#include "session/SessionModel.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string gFile = "/tmp/bench-10M.ses";
std::string gTextFile;
long long gPoints = 10000000;

long long fileSize(const std::string &path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// Reads the whole file into a fresh buffer, as the reader fills fresh arrays: heap memory
// (4 KiB pages), or memory from the model arrays' allocator (huge pages).
std::size_t readIntoOneBuffer(const std::string &path, bool hugePages = false) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0)
    return 0;
  const auto size = static_cast<std::size_t>(fileSize(path));
  PodArray<char> huge;
  std::unique_ptr<char[]> heap;
  if (hugePages)
    huge.allocate(size);
  else
    heap.reset(new char[size]);
  char *const buf = hugePages ? huge.data() : heap.get();
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(fd, buf + done, std::min<std::size_t>(size - done, 1u << 30));
    if (got <= 0)
      break;
    done += static_cast<std::size_t>(got);
  }
  ::close(fd);
  benchmark::DoNotOptimize(buf);
  return done;
}

void BM_ReadIntoOneBuffer(benchmark::State &state) {
  readIntoOneBuffer(gFile); // warm the page cache
  std::size_t bytes = 0;
  for (auto _ : state)
    bytes += readIntoOneBuffer(gFile, state.range(0) != 0);
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}

void BM_ReadSessionFile(benchmark::State &state) {
  readIntoOneBuffer(gFile);
  std::size_t bytes = 0;
  for (auto _ : state) {
    SessionModel m;
    m.SetPath(gFile.c_str());
    if (!m.ReadSessionFile()) {
      state.SkipWithError(m.error().c_str());
      return;
    }
    benchmark::DoNotOptimize(m.points.data());
    bytes += static_cast<std::size_t>(fileSize(gFile));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}

void BM_ReadPointTextFile(benchmark::State &state) {
  readIntoOneBuffer(gTextFile);
  std::int64_t points = 0;
  for (auto _ : state) {
    SessionModel m;
    m.SetPath(gTextFile.c_str());
    if (!m.ReadPointTextFile()) {
      state.SkipWithError(m.error().c_str());
      return;
    }
    points += m.pointCount;
  }
  state.SetItemsProcessed(points);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * fileSize(gTextFile));
}

long long statusKb(const char *field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::size_t len = std::strlen(field);
  while (std::getline(in, line))
    if (line.compare(0, len, field) == 0)
      return std::atoll(line.c_str() + len + 1);
  return -1;
}

int peakMemory(const std::string &path) {
  const long long before = statusKb("VmHWM:");
  SessionModel m;
  m.SetPath(path.c_str());
  if (!m.ReadSessionFile()) {
    std::fprintf(stderr, "%s\n", m.error().c_str());
    return 1;
  }
  const double arrays = double(m.points.size() + m.normals.size() + m.nominalPoints.size()) * 12 +
                        double(m.deviations.size()) * 4 +
                        double(m.triangles.size()) * sizeof(Triangle) +
                        double(m.triangleNormalIndices.size()) * 4;
  const long long after = statusKb("VmHWM:");
  std::printf("points %d, triangles %d\n", m.pointCount, m.triangleCount);
  std::printf("model arrays            %10.1f MiB\n", arrays / 1048576.0);
  std::printf("peak RSS before load    %10.1f MiB\n", before / 1024.0);
  std::printf("peak RSS after load     %10.1f MiB\n", after / 1024.0);
  std::printf("peak / arrays           %10.3f\n", after * 1024.0 / arrays);
  std::printf("(peak - start) / arrays %10.3f\n", (after - before) * 1024.0 / arrays);
  return 0;
}

bool ensureSessionFile() {
  if (fileSize(gFile) > 0)
    return true;
  std::fprintf(stderr, "writing %s (%lld points)...\n", gFile.c_str(), gPoints);
  std::string error;
  if (!sessionmaker::writeSyntheticSession(gFile, gPoints, 1, false, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  return true;
}

bool ensureTextFile() {
  gTextFile = gFile + ".1M.txt";
  if (fileSize(gTextFile) > 0)
    return true;
  std::vector<Vec3f> pts;
  sessionmaker::Random r(5);
  for (int i = 0; i < 1000000; ++i)
    pts.push_back(
        {float(r.uniform(-100, 100)), float(r.uniform(-100, 100)), float(r.uniform(-10, 10))});
  std::string error;
  if (!sessionmaker::writePointText(gTextFile, pts, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  return true;
}

} // namespace

int main(int argc, char **argv) {
  std::vector<char *> rest{argv[0]};
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--rss") && i + 1 < argc)
      return peakMemory(argv[i + 1]);
    if (!std::strcmp(argv[i], "--file") && i + 1 < argc)
      gFile = argv[++i];
    else if (!std::strcmp(argv[i], "--points") && i + 1 < argc)
      gPoints = std::atoll(argv[++i]);
    else
      rest.push_back(argv[i]);
  }
  if (!ensureSessionFile() || !ensureTextFile())
    return 1;
  benchmark::RegisterBenchmark("ReadIntoOneBuffer", BM_ReadIntoOneBuffer)
      ->Arg(0)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("ReadIntoOneBuffer/HugePages", BM_ReadIntoOneBuffer)
      ->Arg(1)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("ReadSessionFile", BM_ReadSessionFile)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("ReadPointTextFile/1M", BM_ReadPointTextFile)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  int n = static_cast<int>(rest.size());
  benchmark::Initialize(&n, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
