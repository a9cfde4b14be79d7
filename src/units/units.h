#pragma once

// Concentrations as laboratories report them, and the molalities the calculation takes.
// Standard library only: the layer knows the components by their keys, not the engine.

#include <optional>
#include <span>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "platform/errors.h"

namespace geofluid::units {

// Standard atomic weights, g/mol: IUPAC 2021 (CIAAW), T. Prohaska et al., "Standard atomic
// weights of the elements 2021 (IUPAC Technical Report)", Pure Appl. Chem. 94 (2022) 573-600.
// Elements whose weight is an interval (H, C, N, O, Mg, Si, S, Cl) take the conventional value
// of that report's Table 3; the others their standard value.
namespace atomic_weight {
inline constexpr double kH = 1.008;
inline constexpr double kC = 12.011;
inline constexpr double kN = 14.007;
inline constexpr double kO = 15.999;
inline constexpr double kNa = 22.98976928;
inline constexpr double kMg = 24.305;
inline constexpr double kAl = 26.9815384;
inline constexpr double kSi = 28.085;
inline constexpr double kS = 32.06;
inline constexpr double kCl = 35.45;
inline constexpr double kK = 39.0983;
inline constexpr double kCa = 40.078;
inline constexpr double kFe = 55.845;
}  // namespace atomic_weight

// A chemical form in which a laboratory reports an analysed component. One mole of the form is
// one mole of the component (HCO3 and total CO2 are total carbonate, H2S total sulphide, NH4
// total ammonia), so only the molar mass differs.
struct Form {
  std::string_view key;        // the column or key: "SiO2", "CO3(2-)", "HCO3", "total_CO2"
  std::string_view component;  // the component's key: "SiO2", "CO3(2-)", "HS(-)", "NH3"
  double molar_mass;           // g/mol, of the form as named (electron masses neglected)
};

// Every form: first the twelve components as the calculation names them, in its order, then
// the alternatives.
std::span<const Form> Forms();
// The form of a key, or nullptr.
const Form* FindForm(std::string_view key);
// The form in which the calculation itself names a component ("CO3(2-)" for CO3(2-)), or nullptr.
const Form* StandardForm(std::string_view component);

// The gases of the steam: CO2 and H2S.
struct Gas {
  std::string_view key;
  double molar_mass;
};
std::span<const Gas> SteamGases();
const Gas* FindGas(std::string_view key);

// How the analysis of the water is given.
enum class Concentration {
  kMolPerKgWater,    // "mol/kg": molality, the calculation's own unit
  kMgPerKgSolution,  // "mg/kg"
  kMgPerLitre,       // "mg/L": mg/kg times the solution's density in kg/L
};
std::optional<Concentration> ConcentrationFromText(std::string_view text);
std::string_view Text(Concentration unit);

// How the gases of the steam are given, per kg of steam.
enum class GasUnit { kMolPerKg, kMmolPerKg, kMgPerKg };
std::optional<GasUnit> GasUnitFromText(std::string_view text);
std::string_view Text(GasUnit unit);
// The steam gases follow the water's unit unless given: mol/kg with molalities, mg/kg else.
GasUnit DefaultGasUnit(Concentration water_unit);

// An amount of one form, in the unit of the call.
struct Amount {
  const Form* form = nullptr;
  double value = 0.0;
};

// A value the conversion cannot take: negative, not finite, a density that is not positive,
// dissolved solids that leave no water.
class UnitError : public Error {
 public:
  using Error::Error;
};

// Total dissolved solids of the analysis in mg/kg of solution: the sum of the given
// concentrations (mg/kg, or mg/L divided by the density). Zero for molalities.
double DissolvedSolids(std::span<const Amount> amounts, Concentration unit, double density = 1.0);

// Molality (mol/kg H2O) of each amount, in the order given. For mg/kg and mg/L the mass of the
// dissolved solids is taken out of the solution:
//   m = c / (1000 M) / (1 - TDS / 10^6),  c and TDS in mg/kg of solution.
// Throws UnitError naming the form.
std::vector<double> ToMolality(std::span<const Amount> amounts, Concentration unit,
                               double density = 1.0);
// The inverse: amounts given as molalities to `unit`. The solution's mass is 1 kg of water
// plus the solids of these amounts.
std::vector<double> FromMolality(std::span<const Amount> molalities, Concentration unit,
                                 double density = 1.0);

// The twelve components of a sample (molalities in the calculation's order, each as its
// standard form) in `unit`: what the solute geothermometers take as mg/kg. The solution is 1 kg
// of water plus all twelve. Throws UnitError unless there are twelve values.
std::vector<double> ComponentsFromMolality(std::span<const double> molality,
                                           Concentration unit = Concentration::kMgPerKgSolution,
                                           double density = 1.0);

// A steam gas to mol/kg of steam and back. Throws UnitError for a negative or non-finite value.
double GasToMolPerKg(const Gas& gas, double value, GasUnit unit);
double GasFromMolPerKg(const Gas& gas, double mol_per_kg, GasUnit unit);

}  // namespace geofluid::units
