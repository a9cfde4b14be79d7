// Temperature sweeps and multicomponent estimates of one Na-Cl water (the example sample file),
// the constants of every temperature prepared beforehand and shared, as in a run over many
// samples.
#include <benchmark/benchmark.h>

#include "engine/engine.h"
#include "geothermometry/estimate.h"
#include "geothermometry/sweep.h"

namespace {

using namespace geofluid;

engine::Sample Water() {
  engine::Sample s;
  const double v[] = {0.01, 0.04,  0.004,  0.0005, 1e-5, 5e-6,
                      2e-5, 0.002, 0.0004, 0.0002, 0.04, 5e-5};
  for (int c = 0; c < engine::kComponentCount; ++c) s.component[static_cast<std::size_t>(c)] = v[c];
  s.steam_co2 = 0.02;
  s.steam_h2s = 0.002;
  s.ph = 8.5;
  s.ph_temperature = 25.0;
  s.separation_temperature = 100.0;
  return s;
}

// 41 temperatures, 100-300 °C, in both datasets, on one thread.
void SweepBothDatasets(benchmark::State& state, engine::Search search) {
  const engine::Sample s = Water();
  engine::ConditionsCache cache;
  geothermometry::SweepOptions options;
  options.search = search;
  const engine::Dataset* datasets[] = {engine::Dataset::FromKey("solveq"),
                                       engine::Dataset::FromKey("supcrt")};
  for (const auto* d : datasets) geothermometry::RunSweep(s, *d, options, cache);  // warm
  for (auto _ : state) {
    for (const auto* d : datasets) {
      benchmark::DoNotOptimize(geothermometry::RunSweep(s, *d, options, cache));
    }
  }
}
BENCHMARK_CAPTURE(SweepBothDatasets, decimal, engine::Search::kDecimal)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SweepBothDatasets, fast, engine::Search::kFast)->Unit(benchmark::kMillisecond);

// The same with the estimates: the statistics refined between grid points and the crossings.
void EstimateBothDatasets(benchmark::State& state) {
  const engine::Sample s = Water();
  engine::ConditionsCache cache;
  geothermometry::ReservoirOptions options;
  options.datasets = {engine::Dataset::FromKey("solveq"), engine::Dataset::FromKey("supcrt")};
  geothermometry::AssessReservoir(s, options, cache);  // warm
  for (auto _ : state) benchmark::DoNotOptimize(geothermometry::AssessReservoir(s, options, cache));
}
BENCHMARK(EstimateBothDatasets)->Unit(benchmark::kMillisecond);

// The estimates of a water without Al: as analysed (the aluminosilicates leave the set), with Al
// fixed by microcline at every temperature, and with the steam loss found with the temperature.
enum class Mode { kPlain, kFixAl, kOptimizeSteamLoss };
void EstimateWithoutAl(benchmark::State& state, Mode mode) {
  engine::Sample s = Water();
  s.Component("Al") = 0.0;
  engine::ConditionsCache cache;
  geothermometry::ReservoirOptions options;
  options.datasets = {engine::Dataset::FromKey("solveq"), engine::Dataset::FromKey("supcrt")};
  if (mode == Mode::kFixAl) options.sweep.fix = {{"Al", "MICROCLINE"}};
  if (mode == Mode::kOptimizeSteamLoss) options.sweep.optimize_steam_loss = true;
  geothermometry::AssessReservoir(s, options, cache);  // warm
  for (auto _ : state) benchmark::DoNotOptimize(geothermometry::AssessReservoir(s, options, cache));
}
BENCHMARK_CAPTURE(EstimateWithoutAl, plain, Mode::kPlain)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(EstimateWithoutAl, fix_al_microcline, Mode::kFixAl)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(EstimateWithoutAl, optimize_steam_loss, Mode::kOptimizeSteamLoss)
    ->Unit(benchmark::kMillisecond);

// Preparing the constants of one temperature: what the cache saves per sample.
void PrepareOneTemperature(benchmark::State& state) {
  const auto& d = *engine::Dataset::FromKey("supcrt");
  for (auto _ : state) benchmark::DoNotOptimize(engine::Prepare(d, 217.5));
}
BENCHMARK(PrepareOneTemperature)->Unit(benchmark::kMicrosecond);

}  // namespace
