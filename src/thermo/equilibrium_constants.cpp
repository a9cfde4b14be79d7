#include "thermo/equilibrium_constants.h"

#include <cmath>

#include "thermo/tables.h"

namespace geofluid::thermo {

EquilibriumConstants SolveqConstants(const ThermoStorage& storage) {
  EquilibriumConstants k;
  k.dataset = DatasetId::kSolveq;
  for (int i = kFirstComplex; i <= 61; ++i) k.aqueous_logk[i] = storage.solveq_logk[i];
  for (int i : kSolveqSwitchedOff) k.aqueous_logk[i] = kSwitchedOffLogK;
  for (int i = kFirstComplex; i <= 61; ++i) k.aqueous_k[i] = std::pow(10.0, k.aqueous_logk[i]);
  for (int m = 1; m <= 38; ++m) {
    k.mineral_logk[m] = storage.solveq_mineral_logk[m];
    k.mineral_k[m] = std::pow(10.0, k.mineral_logk[m]);
  }
  return k;
}

namespace {

double SideGibbs(const std::array<Term, 8>& terms, int count, const std::array<double, 55>& gibbs) {
  double sum = 0.0;
  for (int t = 0; t < count; ++t) sum += terms[t].coefficient * gibbs[terms[t].species];
  return sum;
}

double RtLn10(double t) { return 0.0083145 * (t + 273.15) * std::log(10.0); }

}  // namespace

double SupcrtComplexReactionGibbs(const ThermoStorage& storage, int complex) {
  const Reaction& r = data::kSupcrtComplexReactions[complex - kFirstComplex];
  const auto& g = storage.supcrt_aqueous_gibbs;
  return SideGibbs(r.products, r.product_count, g) - SideGibbs(r.reactants, r.reactant_count, g);
}

double SupcrtMineralReactionGibbs(const ThermoStorage& storage, int mineral) {
  const Reaction& r = data::kSupcrtMineralReactions[mineral - 1];
  const auto& g = storage.supcrt_aqueous_gibbs;
  const double aqueous =
      SideGibbs(r.products, r.product_count, g) - SideGibbs(r.reactants, r.reactant_count, g);
  return aqueous - storage.supcrt_mineral_gibbs[mineral];
}

EquilibriumConstants SupcrtConstants(const ThermoStorage& storage) {
  EquilibriumConstants k;
  k.dataset = DatasetId::kSupcrt;
  k.rt_ln10 = RtLn10(storage.calculation_temperature);
  for (int c = kFirstComplex; c <= storage.supcrt_species_count; ++c) {
    if (data::kSupcrtComplexReactions[c - kFirstComplex].defined) {
      k.aqueous_logk[c] = -SupcrtComplexReactionGibbs(storage, c) / k.rt_ln10;
    } else {
      k.aqueous_logk[c] = kSwitchedOffLogK;
    }
    k.aqueous_k[c] = std::pow(10.0, k.aqueous_logk[c]);
  }
  for (int m = 1; m <= storage.supcrt_mineral_count; ++m) {
    k.mineral_logk[m] = -SupcrtMineralReactionGibbs(storage, m) / k.rt_ln10;
    k.mineral_k[m] = std::pow(10.0, k.mineral_logk[m]);
  }
  return k;
}

EquilibriumConstants ConstantsFor(DatasetId dataset, const ThermoStorage& storage) {
  return CatalogueOf(dataset).form_constants(storage);
}

}  // namespace geofluid::thermo
