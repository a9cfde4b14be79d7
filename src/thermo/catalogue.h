#pragma once

#include <span>
#include <string_view>

#include "thermo/table_types.h"

namespace geofluid::thermo {

enum class DatasetId { kSolveq, kSupcrt };

struct EquilibriumConstants;
struct ThermoStorage;

inline constexpr int kBasisCount = 14;  // 1..12 components, 13 H(+), 14 water
inline constexpr int kHydrogen = 13;
inline constexpr int kWater = 14;
inline constexpr int kMaxSpecies = 61;   // largest catalogue
inline constexpr int kMaxMinerals = 47;  // largest mineral list
inline constexpr int kMineralSlots = 48;
inline constexpr int kFirstComplex = kBasisCount + 1;  // species 15.. are complexes

// Everything the calculation needs to know of one dataset, in one place: its species and
// minerals, how its complexes and balances are written, its activity products and the way its
// indices and TOTH are formed. Index 0 of the species and minerals is never used.
struct Catalogue {
  DatasetId dataset;
  std::string_view key;    // "solveq", "supcrt"
  std::string_view title;  // "SOLVEQ", "SUPCRT98"
  int species_count;
  int mineral_count;
  std::span<const SpeciesEntry> species;
  std::span<const std::string_view> mineral_labels;
  const ComplexDefinition* complexes;  // [k - kFirstComplex]
  const BalanceDefinition* balances;   // [c - 1]
  const double* hydrogen;              // [i]: hydrogens of species i counted in TOTH
  const IapDefinition* iap;            // [m - 1]
  // ln(IAP/K) / si_divisor is the saturation index: SOLVEQ uses the constant 2.303, SUPCRT98
  // ln 10 itself.
  double si_divisor;
  // Hydrogens the steam's H2S brings to TOTH: the SOLVEQ sulfide basis S(2-) takes two, the
  // SUPCRT98 basis HS(-) one.
  double sulfide_hydrogens;
  // The equilibrium constants at the storage's temperature.
  EquilibriumConstants (*form_constants)(const ThermoStorage& storage);

  std::string_view Name(int i) const { return species[i].name; }
  int Charge(int i) const { return species[i].charge; }
  double IonSize(int i) const { return species[i].ion_size; }
  std::string_view MineralLabel(int m) const { return mineral_labels[m]; }
};

const Catalogue& CatalogueOf(DatasetId dataset);
// Both datasets, SOLVEQ first.
std::span<const Catalogue* const> Catalogues();

// A catalogue text without its leading and trailing blanks and the " =" of the SOLVEQ labels.
std::string_view TrimmedName(std::string_view text);

}  // namespace geofluid::thermo
