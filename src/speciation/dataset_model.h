#pragma once

#include <array>

#include "speciation/power.h"
#include "thermo/catalogue.h"
#include "thermo/table_types.h"

namespace geofluid::speciation {

// What the iteration needs to know of a dataset's species, prepared once from the constant
// tables.
struct DatasetModel {
  const thermo::Catalogue* catalogue;
  int species_count;
  const thermo::ComplexDefinition* complexes;  // [k - thermo::kFirstComplex]
  const thermo::BalanceDefinition* balances;   // [c - 1]
  const double* hydrogen;                      // [i]
  std::array<double, thermo::kMaxSpecies + 1> z2{};
  // Species of equal charge squared and size share their activity coefficient: each pass
  // computes one power of ten per group instead of one per species.
  int group_count = 0;
  std::array<int, thermo::kMaxSpecies + 1> group{};
  std::array<int, thermo::kMaxSpecies + 1> group_charge{};
  std::array<double, thermo::kMaxSpecies + 1> group_size{};
  // The distinct powers a_species^exponent with an exponent other than 1 in the activity
  // products of the complexes (a_OH^2 appears in three, 1/a_H in nine, for example): each pass
  // computes each once, the powers and then the reciprocals 1/a (divisions, as the products
  // always had them), into the slots after the activities' (kFirstPower on).
  // factor_slot[k - thermo::kFirstComplex][f] is the slot of factor f of complex k.
  struct Power {
    int species = 0;
    double exponent = 1.0;
    RaiseTo raise{1.0};
  };
  static constexpr int kMaxPowers = 24, kMaxReciprocals = 4;
  static constexpr int kFirstPower = thermo::kMaxSpecies + 1;
  static constexpr int kSlots = kFirstPower + kMaxPowers + kMaxReciprocals;
  int power_count = 0;
  std::array<Power, kMaxPowers> powers{};
  int reciprocal_count = 0;
  std::array<int, kMaxReciprocals> reciprocal_of{};
  std::array<std::array<int, 5>, thermo::kMaxSpecies - 14> factor_slot{};
  // factor_power[k - thermo::kFirstComplex][f]: the exponent of factor f of complex k.
  std::array<std::array<double, 5>, thermo::kMaxSpecies - 14> factor_power{};
  // For Newton's method on the balances (SolveForToth): the complexes in an order in which
  // those that other complexes' products take (OH-, Fe3+) come first, and each complex's
  // d ln m / d ln m_b over the basis species b = 1..13 at fixed activity coefficients, through
  // those complexes too. Their own products take basis species and water only.
  std::array<int, thermo::kMaxSpecies - 14> complex_order{};
  struct Exponent {
    int basis = 0;
    double value = 0.0;
  };
  static constexpr int kMaxExponents = 6;
  std::array<std::array<Exponent, kMaxExponents>, thermo::kMaxSpecies - 14> exponents{};
  std::array<int, thermo::kMaxSpecies - 14> exponent_count{};
};

const DatasetModel& ModelOf(thermo::DatasetId dataset);

}  // namespace geofluid::speciation
