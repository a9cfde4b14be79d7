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
  const thermo::ComplexDefinition* complexes;  // [k - 15]
  const thermo::BalanceDefinition* balances;   // [c - 1]
  const double* hydrogen;                      // [i]
  std::array<double, thermo::kMaxSpecies + 1> z2{};
  // Species of equal charge and size share their activity coefficient: each pass computes
  // one power of ten per group instead of one per species.
  int group_count = 0;
  std::array<int, thermo::kMaxSpecies + 1> group{};
  std::array<int, thermo::kMaxSpecies + 1> group_charge{};
  std::array<double, thermo::kMaxSpecies + 1> group_size{};
};

const DatasetModel& ModelOf(thermo::Dataset dataset);

}  // namespace geofluid::speciation
