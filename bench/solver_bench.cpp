// Speciation and complete second-mode searches of a Na-Cl geothermal water at 250 °C.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <vector>

#include "random_waters.h"
#include "speciation/pair.h"
#include "speciation/ph_search.h"
#include "speciation/power.h"
#include "speciation/solver.h"
#include "thermo/equilibrium_constants.h"
#include "thermo/thermo_storage.h"

namespace {

using namespace geofluid;

speciation::Totals Water() {
  speciation::Totals t{};
  const double v[13] = {0,    0.01,  0.04,   0.004,  0.0005, 1e-5, 5e-6,
                        2e-5, 0.002, 0.0004, 0.0002, 0.04,   5e-5};
  for (int i = 1; i <= 12; ++i) t[i] = v[i];
  t[13] = std::pow(10.0, -9.05);
  t[14] = 1.0;
  return t;
}

struct Setup {
  thermo::EquilibriumConstants k;
  speciation::ActivityModel model;
};

Setup At(thermo::DatasetId d, double temperature) {
  thermo::ThermoStorage s;
  s.calculation_temperature = temperature;
  s.separation_temperature = temperature;
  s.InterpolateTables();
  return {thermo::ConstantsFor(d, s), {s.debye_huckel_a, s.debye_huckel_b, s.bdot}};
}

void Speciation(benchmark::State& state, thermo::DatasetId d) {
  const Setup s = At(d, 250.0);
  const speciation::Totals t = Water();
  int passes = 0;
  for (auto _ : state) {
    auto r = speciation::Speciate(t, 6.2, s.k, s.model, nullptr);
    passes = r.passes;
    benchmark::DoNotOptimize(r);
  }
  state.counters["passes"] = passes;
}

// The two speciations a warm search asks for together (pH 10 and a hint near the answer), in
// turn and side by side.
void TwoInTurn(benchmark::State& state) {
  const Setup s = At(thermo::DatasetId::kSolveq, 250.0);
  const speciation::Totals t = Water();
  for (auto _ : state) {
    benchmark::DoNotOptimize(speciation::Speciate(t, 10.0, s.k, s.model, nullptr));
    benchmark::DoNotOptimize(speciation::Speciate(t, 6.2, s.k, s.model, nullptr));
  }
}

void TwoSideBySide(benchmark::State& state) {
  const Setup s = At(thermo::DatasetId::kSolveq, 250.0);
  const speciation::Totals t = Water();
  for (auto _ : state)
    benchmark::DoNotOptimize(
        speciation::SpeciateSideBySide(t, std::array{10.0, 6.2}, s.k, s.model));
}

// The three a search from an estimate asks for (pH 10 and the last two trials), in turn and
// side by side, the third started in the lane the first of the others frees.
void ThreeInTurn(benchmark::State& state) {
  const Setup s = At(thermo::DatasetId::kSolveq, 250.0);
  const speciation::Totals t = Water();
  for (auto _ : state) {
    for (const double ph : {10.0, 6.2, 6.2 + 1e-9})
      benchmark::DoNotOptimize(speciation::Speciate(t, ph, s.k, s.model, nullptr));
  }
}

void ThreeSideBySide(benchmark::State& state) {
  const Setup s = At(thermo::DatasetId::kSolveq, 250.0);
  const speciation::Totals t = Water();
  const std::array<double, 3> ph{10.0, 6.2, 6.2 + 1e-9};
  for (auto _ : state)
    benchmark::DoNotOptimize(speciation::SpeciateSideBySide(t, ph, s.k, s.model));
}

// The TOTH of the water measured at pH 8.3 at 25 °C, searched for at 250 °C.
void Search(benchmark::State& state, thermo::DatasetId d) {
  const Setup at25 = At(d, 25.0);
  const Setup s = At(d, 250.0);
  const speciation::Totals t = Water();
  const double stored = speciation::Speciate(t, 8.3, at25.k, at25.model, nullptr).tnew[13];
  int trials = 0;
  double ph = 0;
  for (auto _ : state) {
    speciation::FindPhForToth search;
    for (;;) {
      auto r = speciation::Speciate(t, search.Ph(), s.k, s.model, nullptr);
      if (!search.Next(stored - r.tnew[13])) break;
    }
    trials = search.Trials();
    ph = search.Ph();
  }
  state.counters["trials"] = trials;
  state.counters["pH"] = ph;
}

// Complete second-mode searches over 200 random waters (those of the equality test) at
// 100-300 °C: time per search and the calls of the mismatch function.
using SearchFunction = speciation::PhSearchResult (*)(const std::function<double(double)>&);

void SearchRandom(benchmark::State& state, thermo::DatasetId d, SearchFunction search) {
  std::mt19937_64 random(d == thermo::DatasetId::kSolveq ? 1208 : 812);
  std::vector<std::unique_ptr<testing::SecondMode>> modes;
  while (modes.size() < 200) {
    const testing::Case c = testing::MakeCase(random, d);
    modes.push_back(
        std::make_unique<testing::SecondMode>(d, c.second.box, c.second.stored_toth, true));
  }
  std::vector<int> trials;
  for (auto _ : state) {
    trials.clear();
    for (const auto& mode : modes) {
      const speciation::PhSearchResult r = search([&](double ph) { return (*mode)(ph); });
      trials.push_back(r.trials);
      benchmark::DoNotOptimize(r);
    }
  }
  std::sort(trials.begin(), trials.end());
  double sum = 0;
  for (int t : trials) sum += t;
  state.counters["searches"] = benchmark::Counter(static_cast<double>(trials.size()),
                                                  benchmark::Counter::kIsIterationInvariantRate);
  state.counters["trials_mean"] = sum / trials.size();
  state.counters["trials_median"] = trials[trials.size() / 2];
  state.counters["trials_max"] = trials.back();
}

// Second-mode searches of 20 random waters through 41 temperatures, 100-300 °C, as a serial
// sweep makes them: cold from pH 10 at every temperature, or warm from the pH found at the one
// before. Time per point and speciations per point.
void SweepSearches(benchmark::State& state, thermo::DatasetId d, bool warm) {
  std::mt19937_64 random(d == thermo::DatasetId::kSolveq ? 41 : 14);
  std::vector<std::vector<std::unique_ptr<testing::SecondMode>>> waters;
  while (waters.size() < 20) {
    const testing::Case c = testing::MakeCase(random, d);
    auto& sweep = waters.emplace_back();
    for (int i = 0; i <= 40; ++i) {
      auto box = c.second.box;
      box[17] = testing::Text(100.0 + 5.0 * i);
      sweep.push_back(std::make_unique<testing::SecondMode>(d, box, c.second.stored_toth, true));
    }
  }
  long calls = 0, points = 0;
  for (auto _ : state) {
    for (const auto& sweep : waters) {
      std::optional<double> hint;
      for (const auto& mode : sweep) {
        const speciation::PhSearchResult r =
            speciation::FastPhSearch([&](double ph) { return (*mode)(ph); }, hint);
        if (warm) hint = r.ph;
        calls += r.trials;
        ++points;
        benchmark::DoNotOptimize(r);
      }
    }
  }
  state.counters["points"] = benchmark::Counter(static_cast<double>(points) / state.iterations(),
                                                benchmark::Counter::kIsIterationInvariantRate);
  state.counters["speciations_per_point"] = static_cast<double>(calls) / points;
}

// An activity to an integer power: std::pow against RaiseTo, over activities of 1e-12..1.
std::vector<double> Activities() {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> log10_a(-12.0, 0.0);
  std::vector<double> a(4096);
  for (double& x : a) x = std::pow(10.0, log10_a(random));
  return a;
}
void PowerStd(benchmark::State& state, double exponent) {
  const std::vector<double> a = Activities();
  for (auto _ : state) {
    for (const double x : a) benchmark::DoNotOptimize(std::pow(x, exponent));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(a.size()));
}
void PowerRaiseTo(benchmark::State& state, double exponent) {
  const std::vector<double> a = Activities();
  const speciation::RaiseTo raise(exponent);
  for (auto _ : state) {
    for (const double x : a) benchmark::DoNotOptimize(raise(x));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(a.size()));
}

// Sixteen activity coefficients from their logarithms (-2.5..0), as a pass computes them.
std::vector<double> LogGammas() {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> log_gamma(-2.5, 0.0);
  std::vector<double> y(4096);
  for (double& x : y) x = log_gamma(random);
  return y;
}
void TenStd(benchmark::State& state) {
  const std::vector<double> y = LogGammas();
  std::vector<double> out(y.size());
  for (auto _ : state) {
    for (std::size_t i = 0; i < y.size(); ++i) out[i] = std::pow(10.0, y[i]);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(y.size()));
}
void TenTo(benchmark::State& state) {
  const std::vector<double> y = LogGammas();
  std::vector<double> out(y.size());
  for (auto _ : state) {
    for (std::size_t i = 0; i < y.size(); i += 16) speciation::TenTo(&y[i], 16, &out[i]);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(y.size()));
}

BENCHMARK(TenStd);
BENCHMARK(TenTo);
BENCHMARK_CAPTURE(PowerStd, square, 2.0);
BENCHMARK_CAPTURE(PowerRaiseTo, square, 2.0);
BENCHMARK_CAPTURE(PowerStd, cube, 3.0);
BENCHMARK_CAPTURE(PowerRaiseTo, cube, 3.0);
BENCHMARK_CAPTURE(PowerStd, fourth, 4.0);
BENCHMARK_CAPTURE(PowerRaiseTo, fourth, 4.0);
BENCHMARK_CAPTURE(PowerStd, inverse_square, -2.0);
BENCHMARK_CAPTURE(PowerStd, inverse_cube, -3.0);
BENCHMARK_CAPTURE(PowerRaiseTo, inverse_cube, -3.0);
BENCHMARK_CAPTURE(PowerRaiseTo, inverse_square, -2.0);
BENCHMARK(TwoInTurn)->Unit(benchmark::kMicrosecond);
BENCHMARK(TwoSideBySide)->Unit(benchmark::kMicrosecond);
BENCHMARK(ThreeInTurn)->Unit(benchmark::kMicrosecond);
BENCHMARK(ThreeSideBySide)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Speciation, solveq, thermo::DatasetId::kSolveq)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Speciation, supcrt, thermo::DatasetId::kSupcrt)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Search, solveq, thermo::DatasetId::kSolveq)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Search, supcrt, thermo::DatasetId::kSupcrt)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SearchRandom, decimal_solveq, thermo::DatasetId::kSolveq,
                  speciation::DecimalPhSearch)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SearchRandom, fast_solveq, thermo::DatasetId::kSolveq, speciation::FastPhSearch)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SearchRandom, decimal_supcrt, thermo::DatasetId::kSupcrt,
                  speciation::DecimalPhSearch)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SearchRandom, fast_supcrt, thermo::DatasetId::kSupcrt, speciation::FastPhSearch)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(SweepSearches, cold_solveq, thermo::DatasetId::kSolveq, false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SweepSearches, warm_solveq, thermo::DatasetId::kSolveq, true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SweepSearches, cold_supcrt, thermo::DatasetId::kSupcrt, false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SweepSearches, warm_supcrt, thermo::DatasetId::kSupcrt, true)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
