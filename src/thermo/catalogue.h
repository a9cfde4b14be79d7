#pragma once

#include <span>
#include <string_view>

#include "thermo/table_types.h"

namespace geofluid::thermo {

enum class Dataset { kSolveq, kSupcrt };

inline constexpr int kBasisCount = 14;  // 1..12 components, 13 H(+), 14 water
inline constexpr int kHydrogen = 13;
inline constexpr int kWater = 14;
inline constexpr int kMaxSpecies = 61;   // largest catalogue
inline constexpr int kMaxMinerals = 47;  // largest mineral list
inline constexpr int kMineralSlots = 48;

// The species and mineral catalogue of one dataset. Index 0 is never used.
struct Catalogue {
  Dataset dataset;
  int species_count;
  int mineral_count;
  std::span<const SpeciesEntry> species;
  std::span<const std::string_view> mineral_labels;

  std::string_view Name(int i) const { return species[i].name; }
  int Charge(int i) const { return species[i].charge; }
  double IonSize(int i) const { return species[i].ion_size; }
  std::string_view MineralLabel(int m) const { return mineral_labels[m]; }
};

const Catalogue& CatalogueOf(Dataset dataset);

// A catalogue text without its leading and trailing blanks and the " =" of the SOLVEQ labels.
std::string_view TrimmedName(std::string_view text);

}  // namespace geofluid::thermo
