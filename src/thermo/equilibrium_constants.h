#pragma once

#include <array>

#include "thermo/catalogue.h"
#include "thermo/thermo_storage.h"

namespace geofluid::thermo {

// Equilibrium constants of one run at its calculation temperature, K = 10^(log K).
// Aqueous constants are dissociation constants of the complexes 15..N, mineral constants
// dissolution constants of the minerals 1..M.
struct EquilibriumConstants {
  DatasetId dataset = DatasetId::kSolveq;
  std::array<double, kMaxSpecies + 1> aqueous_logk{};
  std::array<double, kMaxSpecies + 1> aqueous_k{};
  std::array<double, kMineralSlots> mineral_logk{};
  std::array<double, kMineralSlots> mineral_k{};
  double rt_ln10 = 0.0;  // SUPCRT98 only, kJ/mol
};

// Complexes of the SOLVEQ table without data; they carry log K = 100 and so take no part.
inline constexpr std::array<int, 7> kSolveqSwitchedOff = {17, 36, 43, 44, 49, 55, 60};
// The SUPCRT98 complex without a reaction.
inline constexpr int kSupcrtSwitchedOff = 51;
inline constexpr double kSwitchedOffLogK = 100.0;

// SOLVEQ: the interpolated log K with the seven markers, and the mineral polynomials.
EquilibriumConstants SolveqConstants(const ThermoStorage& storage);

// SUPCRT98: log K of every reaction from the interpolated Gibbs energies.
EquilibriumConstants SupcrtConstants(const ThermoStorage& storage);

// Gibbs energy of reaction (products minus reactants), kJ/mol, at the storage's temperature.
double SupcrtComplexReactionGibbs(const ThermoStorage& storage, int complex);
double SupcrtMineralReactionGibbs(const ThermoStorage& storage, int mineral);

// Prepares the constants of the dataset: the step between InterpolateTables and the steam
// fraction.
EquilibriumConstants ConstantsFor(DatasetId dataset, const ThermoStorage& storage);

}  // namespace geofluid::thermo
