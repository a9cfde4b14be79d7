// The forward path of the example water: reservoir at 250 °C, 10 separation temperatures x 10
// reinjection temperatures, both datasets, one thread, the constants of every temperature
// prepared beforehand and shared as in a run over many samples.
#include <benchmark/benchmark.h>

#include "scaling/scaling.h"

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

void Grid(benchmark::State& state, scaling::Degassing degassing) {
  const engine::Sample s = Water();
  engine::ConditionsCache cache;
  scaling::Options o;
  o.datasets = {engine::Dataset::FromKey("solveq"), engine::Dataset::FromKey("supcrt")};
  o.reservoir.celsius = 250.0;
  o.separation = {220, 200, 190, 180, 170, 160, 150, 140, 120, 100};
  o.cooling = {95, 90, 85, 80, 70, 60, 50, 40, 30, 20};
  o.degassing = degassing;
  benchmark::DoNotOptimize(scaling::RunScaling(s, o, cache));  // prepares the constants
  for (auto _ : state) benchmark::DoNotOptimize(scaling::RunScaling(s, o, cache));
}

void ClosedGrid(benchmark::State& state) { Grid(state, scaling::Degassing::kClosed); }
void OpenGrid(benchmark::State& state) { Grid(state, scaling::Degassing::kOpen); }
BENCHMARK(ClosedGrid)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenGrid)->Unit(benchmark::kMillisecond);

}  // namespace
