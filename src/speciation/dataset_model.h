#pragma once

#include <array>

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
  // The distinct powers a_species^exponent with an exponent other than 1 or -1 in the activity
  // products of the complexes (a_OH^2 appears in three, for example): each pass computes each
  // once. power_of[k - thermo::kFirstComplex][f] indexes them for factor f of complex k, -1 for a
  // or 1/a.
  struct Power {
    int species;
    double exponent;
  };
  static constexpr int kMaxPowers = 24;
  int power_count = 0;
  std::array<Power, kMaxPowers> powers{};
  std::array<std::array<int, 5>, thermo::kMaxSpecies - 14> power_of{};
};

const DatasetModel& ModelOf(thermo::DatasetId dataset);

}  // namespace geofluid::speciation
