// 1,000 draws of the example water carried to 41 temperatures (100-300 °C by 5) with one
// dataset: the whole uncertainty run, with and without the multicomponent estimate per draw.
#include <benchmark/benchmark.h>

#include "engine/engine.h"
#include "uncertainty/uncertainty.h"

namespace {

using namespace geofluid;

engine::Sample NaClWater() {
  engine::Sample s;
  s.component = {0.01,    0.04,  0.004,  0.0005, 0.00001, 0.000005,
                 0.00002, 0.002, 0.0004, 0.0002, 0.04,    0.00005};
  s.steam_co2 = 0.02;
  s.steam_h2s = 0.002;
  s.ph = 8.5;
  s.ph_temperature = 25.0;
  s.separation_temperature = 100.0;
  return s;
}

// Arguments: threads, estimate (0/1).
void BM_Uncertainty1000x41(benchmark::State& state) {
  uncertainty::Options o;
  o.draws = 1000;
  o.threads = static_cast<int>(state.range(0));
  o.estimate = state.range(1) != 0;
  o.sensitivity = o.estimate;
  for (double t = 100.0; t <= 300.0; t += 5.0) o.temperatures.push_back(t);
  o.datasets = {&engine::Dataset::Of(thermo::DatasetId::kSolveq)};
  const engine::Sample sample = NaClWater();
  const uncertainty::InputErrors errors = uncertainty::InputErrors::Defaults();
  engine::ConditionsCache cache;
  std::size_t failed = 0;
  for (auto _ : state) {
    const uncertainty::Result r = uncertainty::Run(sample, errors, o, cache);
    failed += r.failed_draws;
    benchmark::DoNotOptimize(r.datasets.front().temperatures.back().ph.median);
  }
  state.counters["failed_draws"] = static_cast<double>(failed);
}
BENCHMARK(BM_Uncertainty1000x41)
    ->ArgsProduct({{1, 2}, {0, 1}})
    ->ArgNames({"threads", "estimate"})
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

}  // namespace
