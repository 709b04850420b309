// Deviation statistics over 10,000,000 values: the full summary (one pass, percentiles by
// selection, histogram over the 17 entries of the default legend), the per-entry counts alone
// (what the legend's percentages cost on a change of settings), and a full sort for scale.
#include "analysis/DeviationStats.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

const std::vector<float> &values() {
  static const std::vector<float> v = [] {
    std::mt19937 rng(3);
    std::normal_distribution<float> dist(0.02f, 0.15f);
    std::vector<float> out(10000000);
    for (float &f : out)
      f = dist(rng);
    return out;
  }();
  return v;
}

void Compute(benchmark::State &state) {
  const ColourScale scale(0.25f, -0.25f, static_cast<int>(state.range(0)), 0, false, false);
  const auto &v = values();
  for (auto _ : state)
    benchmark::DoNotOptimize(DeviationStats::compute(v.data(), v.size(), -0.25, 0.25, &scale));
}
BENCHMARK(Compute)->Arg(15)->Arg(1000)->Unit(benchmark::kMillisecond);

void CountBands(benchmark::State &state) {
  const ColourScale scale(0.25f, -0.25f, 15, 0, state.range(0) != 0, false);
  const auto &v = values();
  for (auto _ : state)
    benchmark::DoNotOptimize(DeviationStats::countBands(v.data(), v.size(), scale));
}
BENCHMARK(CountBands)->ArgName("gradient")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void FullSort(benchmark::State &state) {
  for (auto _ : state) {
    std::vector<float> copy = values();
    std::sort(copy.begin(), copy.end());
    benchmark::DoNotOptimize(copy.data());
  }
}
BENCHMARK(FullSort)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
