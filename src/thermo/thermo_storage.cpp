#include "thermo/thermo_storage.h"

#include <cmath>

#include "thermo/catalogue.h"
#include "thermo/interpolation.h"
#include "thermo/tables.h"

namespace geofluid::thermo {

void ThermoStorage::LoadSupcrtAqueousGibbs() {
  supcrt_species_count = 54;
  supcrt_aqueous_ = &data::kSupcrtAqueousGibbs;
}

void ThermoStorage::LoadSupcrtMineralGibbs() {
  supcrt_mineral_count = 47;
  supcrt_minerals_ = &data::kSupcrtMineralGibbs;
}

void ThermoStorage::LoadSolveqAqueousLogK() { solveq_aqueous_ = &data::kSolveqAqueousLogK; }

double CarbonateTerm(double t) {
  return -10.682 + 0.019359 * t - 0.22928E-3 * std::pow(t, 2.0) + 0.11024E-5 * std::pow(t, 3.0) -
         0.21767E-8 * std::pow(t, 4.0);
}

double SulfideTerm(double t) {
  return -18.471 + 0.058011 * t - 0.22097E-3 * std::pow(t, 2.0) + 0.55638E-6 * std::pow(t, 3.0) -
         0.78222E-9 * std::pow(t, 4.0);
}

void ThermoStorage::SolveqMineralLogK() {
  const double t = calculation_temperature;
  for (int m = 1; m <= 38; ++m) {
    const MineralPolynomial& p = data::kSolveqMineralPolynomials[m - 1];
    double logk = p.a[0] + p.a[1] * t + p.a[2] * std::pow(t, 2.0) + p.a[3] * std::pow(t, 3.0) +
                  p.a[4] * std::pow(t, 4.0);
    if (p.a[5] != 0.0) logk += p.a[5] * std::pow(t, 5.0);
    if (p.term == kCarbonateTerm) logk += p.multiplier * CarbonateTerm(t);
    if (p.term == kSulfideTerm) logk += p.multiplier * SulfideTerm(t);
    solveq_mineral_logk[m] = logk;
  }
}

void ThermoStorage::LoadWaterTables() {
  liquid_enthalpy_ = &data::kSteamLiquidEnthalpy;
  vapour_enthalpy_ = &data::kSteamVapourEnthalpy;
  a_table_ = &data::kDebyeHuckelA;
  b_table_ = &data::kDebyeHuckelB;
  bdot_nodes_ = &data::kBdotNodes;
  bdot_table_ = &data::kBdot;
}

void ThermoStorage::InterpolateTables() {
  LoadSupcrtAqueousGibbs();
  LoadSupcrtMineralGibbs();
  LoadSolveqAqueousLogK();
  SolveqMineralLogK();
  LoadWaterTables();

  const double t = calculation_temperature;
  const auto at_t = LagrangeWeights(kStandardGrid, t);
  const auto at_ts = LagrangeWeights(kStandardGrid, separation_temperature);
  const auto fine = LagrangeWeights(kFineGrid, t);
  const auto bdot_weights = LagrangeWeights(*bdot_nodes_, t);

  for (int k = kFirstComplex; k <= 61; ++k)
    solveq_logk[k] = Interpolate(at_t, (*solveq_aqueous_)[k - kFirstComplex]);
  for (int i = 1; i <= supcrt_species_count; ++i) {
    supcrt_aqueous_gibbs[i] = Interpolate(at_t, (*supcrt_aqueous_)[i - 1]);
  }
  for (int m = 1; m <= supcrt_mineral_count; ++m) {
    supcrt_mineral_gibbs[m] = Interpolate(at_t, (*supcrt_minerals_)[m - 1]);
  }
  liquid_enthalpy_t = Interpolate(at_t, *liquid_enthalpy_);
  liquid_enthalpy_ts = Interpolate(at_ts, *liquid_enthalpy_);
  vapour_enthalpy_ts = Interpolate(at_ts, *vapour_enthalpy_);
  debye_huckel_a = Interpolate(fine, *a_table_);
  debye_huckel_b = Interpolate(fine, *b_table_);
  bdot = Interpolate(bdot_weights, *bdot_table_);
}

void ThermoStorage::InterpolateTables(const TableInterpolation& interpolate) {
  LoadSupcrtAqueousGibbs();
  LoadSupcrtMineralGibbs();
  LoadSolveqAqueousLogK();
  SolveqMineralLogK();
  LoadWaterTables();

  const double t = calculation_temperature;
  const double ts = separation_temperature;
  for (int k = kFirstComplex; k <= 61; ++k) {
    solveq_logk[k] = interpolate(kStandardGrid, (*solveq_aqueous_)[k - kFirstComplex], t);
  }
  for (int i = 1; i <= supcrt_species_count; ++i) {
    supcrt_aqueous_gibbs[i] = interpolate(kStandardGrid, (*supcrt_aqueous_)[i - 1], t);
  }
  for (int m = 1; m <= supcrt_mineral_count; ++m) {
    supcrt_mineral_gibbs[m] = interpolate(kStandardGrid, (*supcrt_minerals_)[m - 1], t);
  }
  liquid_enthalpy_t = interpolate(kStandardGrid, *liquid_enthalpy_, t);
  liquid_enthalpy_ts = interpolate(kStandardGrid, *liquid_enthalpy_, ts);
  vapour_enthalpy_ts = interpolate(kStandardGrid, *vapour_enthalpy_, ts);
  debye_huckel_a = interpolate(kFineGrid, *a_table_, t);
  debye_huckel_b = interpolate(kFineGrid, *b_table_, t);
  bdot = interpolate(*bdot_nodes_, *bdot_table_, t);
}

}  // namespace geofluid::thermo
