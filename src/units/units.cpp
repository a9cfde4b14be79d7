#include "units/units.h"

#include <array>
#include <cmath>
#include <string>

namespace geofluid::units {

namespace {

namespace aw = atomic_weight;

constexpr std::array<Form, 16> kForms = {{
    {"SiO2", "SiO2", aw::kSi + 2 * aw::kO},
    {"Na", "Na", aw::kNa},
    {"K", "K", aw::kK},
    {"Ca", "Ca", aw::kCa},
    {"Mg", "Mg", aw::kMg},
    {"Fe", "Fe", aw::kFe},
    {"Al", "Al", aw::kAl},
    {"CO3(2-)", "CO3(2-)", aw::kC + 3 * aw::kO},
    {"SO4(2-)", "SO4(2-)", aw::kS + 4 * aw::kO},
    {"HS(-)", "HS(-)", aw::kH + aw::kS},
    {"Cl", "Cl", aw::kCl},
    {"NH3", "NH3", aw::kN + 3 * aw::kH},
    // Carbonate as bicarbonate or as total CO2, sulphide as H2S, ammonia as ammonium.
    {"HCO3", "CO3(2-)", aw::kH + aw::kC + 3 * aw::kO},
    {"total_CO2", "CO3(2-)", aw::kC + 2 * aw::kO},
    {"total_H2S", "HS(-)", 2 * aw::kH + aw::kS},
    {"NH4", "NH3", aw::kN + 4 * aw::kH},
}};
constexpr std::size_t kStandardForms = 12;

constexpr std::array<Gas, 2> kGases = {{
    {"CO2", aw::kC + 2 * aw::kO},
    {"H2S", 2 * aw::kH + aw::kS},
}};

void CheckValue(std::string_view key, double value) {
  if (!std::isfinite(value))
    throw UnitError(std::string(key) + ": the concentration is not a finite number");
  if (value < 0.0) throw UnitError(std::string(key) + ": a concentration cannot be negative");
}

void CheckDensity(double density) {
  if (!std::isfinite(density) || density <= 0.0)
    throw UnitError("density: the density of the solution must be a positive number (kg/L)");
}

}  // namespace

std::span<const Form> Forms() { return kForms; }

const Form* FindForm(std::string_view key) {
  for (const Form& f : kForms)
    if (f.key == key) return &f;
  return nullptr;
}

const Form* StandardForm(std::string_view component) {
  for (std::size_t i = 0; i < kStandardForms; ++i)
    if (kForms[i].component == component) return &kForms[i];
  return nullptr;
}

std::span<const Gas> SteamGases() { return kGases; }

const Gas* FindGas(std::string_view key) {
  for (const Gas& g : kGases)
    if (g.key == key) return &g;
  return nullptr;
}

std::optional<Concentration> ConcentrationFromText(std::string_view text) {
  if (text == "mol/kg") return Concentration::kMolPerKgWater;
  if (text == "mg/kg") return Concentration::kMgPerKgSolution;
  if (text == "mg/L" || text == "mg/l") return Concentration::kMgPerLitre;
  return std::nullopt;
}

std::string_view Text(Concentration unit) {
  switch (unit) {
    case Concentration::kMolPerKgWater:
      return "mol/kg";
    case Concentration::kMgPerKgSolution:
      return "mg/kg";
    case Concentration::kMgPerLitre:
      return "mg/L";
  }
  return "";
}

std::optional<GasUnit> GasUnitFromText(std::string_view text) {
  if (text == "mol/kg") return GasUnit::kMolPerKg;
  if (text == "mmol/kg") return GasUnit::kMmolPerKg;
  if (text == "mg/kg") return GasUnit::kMgPerKg;
  return std::nullopt;
}

std::string_view Text(GasUnit unit) {
  switch (unit) {
    case GasUnit::kMolPerKg:
      return "mol/kg";
    case GasUnit::kMmolPerKg:
      return "mmol/kg";
    case GasUnit::kMgPerKg:
      return "mg/kg";
  }
  return "";
}

GasUnit DefaultGasUnit(Concentration water_unit) {
  return water_unit == Concentration::kMolPerKgWater ? GasUnit::kMolPerKg : GasUnit::kMgPerKg;
}

double DissolvedSolids(std::span<const Amount> amounts, Concentration unit, double density) {
  if (unit == Concentration::kMolPerKgWater) return 0.0;
  CheckDensity(density);
  double sum = 0.0;
  for (const Amount& a : amounts) {
    CheckValue(a.form->key, a.value);
    sum += a.value;
  }
  return unit == Concentration::kMgPerLitre ? sum / density : sum;
}

std::vector<double> ToMolality(std::span<const Amount> amounts, Concentration unit,
                               double density) {
  std::vector<double> molality;
  molality.reserve(amounts.size());
  if (unit == Concentration::kMolPerKgWater) {
    for (const Amount& a : amounts) {
      CheckValue(a.form->key, a.value);
      molality.push_back(a.value);
    }
    return molality;
  }
  const double tds = DissolvedSolids(amounts, unit, density);
  const double water_fraction = 1.0 - tds / 1e6;
  if (!(water_fraction > 0.0))
    throw UnitError("the dissolved solids add up to " + std::to_string(tds) +
                    " mg/kg, which leaves no water in the solution: check the unit");
  for (const Amount& a : amounts) {
    const double mg_per_kg = unit == Concentration::kMgPerLitre ? a.value / density : a.value;
    molality.push_back(mg_per_kg / (1000.0 * a.form->molar_mass) / water_fraction);
  }
  return molality;
}

std::vector<double> FromMolality(std::span<const Amount> molalities, Concentration unit,
                                 double density) {
  std::vector<double> out;
  out.reserve(molalities.size());
  if (unit == Concentration::kMolPerKgWater) {
    for (const Amount& a : molalities) {
      CheckValue(a.form->key, a.value);
      out.push_back(a.value);
    }
    return out;
  }
  CheckDensity(density);
  // Grams of solids per kg of water; the solution weighs 1000 + solids grams.
  double solids = 0.0;
  for (const Amount& a : molalities) {
    CheckValue(a.form->key, a.value);
    solids += a.value * a.form->molar_mass;
  }
  const double kg_solution = 1.0 + solids / 1000.0;
  for (const Amount& a : molalities) {
    const double mg_per_kg = a.value * a.form->molar_mass * 1000.0 / kg_solution;
    out.push_back(unit == Concentration::kMgPerLitre ? mg_per_kg * density : mg_per_kg);
  }
  return out;
}

std::vector<double> ComponentsFromMolality(std::span<const double> molality, Concentration unit,
                                           double density) {
  if (molality.size() != kStandardForms)
    throw UnitError("a sample has " + std::to_string(kStandardForms) + " components, not " +
                    std::to_string(molality.size()));
  std::vector<Amount> amounts;
  for (std::size_t i = 0; i < kStandardForms; ++i) amounts.push_back({&kForms[i], molality[i]});
  return FromMolality(amounts, unit, density);
}

double GasToMolPerKg(const Gas& gas, double value, GasUnit unit) {
  CheckValue(gas.key, value);
  switch (unit) {
    case GasUnit::kMolPerKg:
      return value;
    case GasUnit::kMmolPerKg:
      return value / 1000.0;
    case GasUnit::kMgPerKg:
      return value / (1000.0 * gas.molar_mass);
  }
  return value;
}

double GasFromMolPerKg(const Gas& gas, double mol_per_kg, GasUnit unit) {
  CheckValue(gas.key, mol_per_kg);
  switch (unit) {
    case GasUnit::kMolPerKg:
      return mol_per_kg;
    case GasUnit::kMmolPerKg:
      return mol_per_kg * 1000.0;
    case GasUnit::kMgPerKg:
      return mol_per_kg * 1000.0 * gas.molar_mass;
  }
  return mol_per_kg;
}

}  // namespace geofluid::units
