// Preparing the constants of one temperature with either interpolation of the tables.
#include <benchmark/benchmark.h>

#include "engine/engine.h"
#include "interp/steffen.h"

namespace geofluid {
namespace {

void Prepare(benchmark::State& state, thermo::DatasetId id, const char* scheme) {
  const engine::Dataset& d = engine::Dataset::Of(id);
  const engine::TableScheme& s = *interp::SchemeByName(scheme);
  double t = 237.5;
  for (auto _ : state) {
    benchmark::DoNotOptimize(engine::Prepare(d, t, s));
  }
}

BENCHMARK_CAPTURE(Prepare, solveq_specified, thermo::DatasetId::kSolveq, "specified")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Prepare, solveq_steffen, thermo::DatasetId::kSolveq, "steffen")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Prepare, supcrt_specified, thermo::DatasetId::kSupcrt, "specified")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Prepare, supcrt_steffen, thermo::DatasetId::kSupcrt, "steffen")
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace geofluid
