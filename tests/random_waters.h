// Random but plausible geothermal waters and the second mode of a run on them, for the tests
// and benchmarks of the pH search.
#pragma once

#include <array>
#include <cmath>
#include <cstdio>
#include <random>
#include <span>
#include <string>

#include "form/analysis_input.h"
#include "form/calculation.h"
#include "speciation/pair.h"
#include "speciation/ph_estimate.h"
#include "speciation/solver.h"
#include "steam/steam_fraction.h"
#include "thermo/equilibrium_constants.h"
#include "thermo/thermo_storage.h"

namespace geofluid::testing {

using speciation::ActivityModel;
using speciation::Totals;
using thermo::DatasetId;

inline std::string Text(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", x);
  return text;
}

// A random but plausible geothermal water: molalities log-uniform over the ranges of Na-Cl,
// acid sulfate and dilute bicarbonate waters, the pH measured at 25 °C, a reservoir at
// 100-300 °C and a separation temperature below it.
struct RandomWater {
  std::array<std::string, 19> box{};
  double reservoir = 0.0;
};

inline RandomWater MakeWater(std::mt19937_64& random) {
  const auto log_uniform = [&](double low, double high) {
    return std::pow(
        10.0, std::uniform_real_distribution<double>(std::log10(low), std::log10(high))(random));
  };
  const auto uniform = [&](double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(random);
  };
  static constexpr double kRange[12][2] = {
      {1e-3, 1.5e-2}, {1e-3, 1.0},  {1e-4, 0.1},  {1e-5, 5e-2}, {1e-6, 1e-2}, {1e-7, 1e-3},
      {1e-7, 1e-3},   {1e-4, 5e-2}, {1e-5, 2e-2}, {1e-6, 1e-3}, {1e-3, 1.0},  {1e-6, 1e-3}};
  RandomWater w;
  for (int i = 1; i <= 12; ++i) w.box[i] = Text(log_uniform(kRange[i - 1][0], kRange[i - 1][1]));
  w.box[13] = Text(uniform(3.0, 10.0));
  w.box[14] = "55.51";
  w.box[15] = Text(log_uniform(1e-4, 0.1));
  w.box[16] = Text(log_uniform(1e-5, 1e-2));
  w.reservoir = uniform(100.0, 300.0);
  w.box[17] = "25";
  w.box[18] = Text(uniform(100.0, w.reservoir));
  return w;
}

// The second mode of a run, as the calculation sets it up: mismatch(pH) = target - TOTH.
class SecondMode {
 public:
  SecondMode(DatasetId dataset, const std::array<std::string, 19>& box, double stored_toth,
             bool steam_correction)
      : dataset_(dataset) {
    thermo::ThermoStorage storage;
    storage.calculation_temperature = form::BoxNumber(box, 17);
    storage.separation_temperature = form::BoxNumber(box, 18);
    storage.InterpolateTables();
    constants_ = thermo::ConstantsFor(dataset, storage);
    model_ = {storage.debye_huckel_a, storage.debye_huckel_b, storage.bdot};
    const double y = form::WindowSteamFraction(storage, false, !steam_correction);
    const form::Analysis analysis = form::ReadAnalysis(box, y);
    totals_ = analysis.totals;
    target_ =
        speciation::TothTarget(dataset, stored_toth, y, analysis.vapour_co2, analysis.vapour_h2s);
  }
  double operator()(double ph) const {
    return target_ -
           speciation::Speciate(totals_, ph, constants_, model_, nullptr).tnew[thermo::kHydrogen];
  }
  // The estimate the engine's search starts from.
  std::optional<speciation::PhEstimate> Estimate(const speciation::EstimateStart& start) const {
    return speciation::EstimatePh(totals_, target_, constants_, model_, start);
  }
  // The same at two or three pH values side by side, where they do not fault.
  bool SideBySide(std::span<const double> ph, std::span<double> d) const {
    const auto all = speciation::SpeciateSideBySide(totals_, ph, constants_, model_);
    if (!all) return false;
    for (std::size_t i = 0; i < ph.size(); ++i) d[i] = target_ - (*all)[i].tnew[thermo::kHydrogen];
    return true;
  }

 private:
  DatasetId dataset_;
  thermo::EquilibriumConstants constants_;
  ActivityModel model_;
  Totals totals_{};
  double target_ = 0.0;
};

struct Case {
  RandomWater water;
  form::CalculationInput second;  // the run at the reservoir temperature
};

inline Case MakeCase(std::mt19937_64& random, DatasetId dataset) {
  Case c{MakeWater(random), {}};
  form::CalculationInput measured{dataset, c.water.box, true, 0, 0.0};
  const double toth = form::Calculate(measured, nullptr).toth;
  c.second = {dataset, c.water.box, false, 0, toth};
  c.second.box[17] = Text(c.water.reservoir);
  return c;
}

}  // namespace geofluid::testing
