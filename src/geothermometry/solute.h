#pragma once

// Solute geothermometers: temperatures from the silica content and the cation ratios, each with
// its published equation and range of validity, for the water as sampled and for the reservoir
// liquid it came from.
//
// For another command that needs one geothermometer (the scaling command's reservoir
// temperature, say): SoluteByKey(key, water) gives the value for the water as sampled,
// ReservoirSoluteByKey(key, water, ts) the value for the reservoir liquid. Both take the
// analysis in mg/kg; from a typed sample use geothermometry::SoluteOfSample (estimate.h).

#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace geofluid::geothermometry {

// Which concentrations were below their detection limit (bits of SoluteAnalysis::below_detection).
enum SoluteComponent : unsigned {
  kSoluteSiO2 = 1u << 0,
  kSoluteNa = 1u << 1,
  kSoluteK = 1u << 2,
  kSoluteCa = 1u << 3,
  kSoluteMg = 1u << 4,
  kSoluteLi = 1u << 5,
};

// Concentrations of the water, mg/kg. Li and B are optional (NaN: not analysed); they do not
// enter the speciation. Cl only chooses the Na-Li equation of Fouillac & Michard (1981).
struct SoluteAnalysis {
  double sio2 = 0.0;
  double na = 0.0;
  double k = 0.0;
  double ca = 0.0;
  double mg = 0.0;
  double li = std::numeric_limits<double>::quiet_NaN();
  double b = std::numeric_limits<double>::quiet_NaN();
  double cl = 0.0;
  // Components reported below a detection limit; their value above is the stated fraction of
  // the limit. mg_limit is Mg's limit, mg/kg, from which K-Mg is given as a bound.
  unsigned below_detection = 0;
  double mg_limit = 0.0;
};

// A reason not to trust a value, machine-readable: `code` is one of out_of_range, immature,
// partial_equilibrium, below_detection, not_applicable, condition.
struct SoluteFlag {
  std::string_view code;
  std::string reason;  // one line
};

struct SoluteTemperature {
  std::string_view key;       // "quartz_fournier1977", ...
  std::string_view citation;  // "Fournier (1977)"
  std::string_view equation;  // as published, concentrations in mg/kg unless it says molar
  double valid_from = 0.0;    // published range of validity, °C
  double valid_to = 0.0;
  std::optional<double> celsius;  // absent when the equation cannot be applied
  std::string reason;             // why `celsius` is absent
  std::string warning;            // set when the result lies outside the range, or is doubtful
  std::string note;               // the choice the equation made (beta of Na-K-Ca, ...)
  // "lower" where the value is a lower bound (K-Mg with Mg below detection; the amorphous
  // silica and cristobalite temperatures), else empty.
  std::string_view bound;
  std::vector<SoluteFlag> flags;  // filled by FlagSolutes
  bool HasFlag(std::string_view code) const;
};

// The keys of every geothermometer, in the order of EverySoluteGeothermometer.
std::span<const std::string_view> SoluteKeys();

// The nine of Fournier, Truesdell, Arnórsson and Giggenbach, in a fixed order:
// quartz_fournier1977, quartz_steam_loss_fournier1977, chalcedony_fournier1977,
// na_k_truesdell1976, na_k_fournier1979, na_k_arnorsson1983, na_k_giggenbach1988,
// na_k_ca_fournier_truesdell1973, k_mg_giggenbach1988.
std::vector<SoluteTemperature> SoluteGeothermometers(const SoluteAnalysis& water);

// Those nine followed by quartz_fournier_potter1982, quartz_arnorsson2000,
// chalcedony_arnorsson1983, na_k_arnorsson1983_high, na_k_nieva1987, na_k_tonani1980,
// na_k_ca_mg_fournier_potter1979, na_li_fouillac_michard1981, na_li_kharaka1982,
// mg_li_kharaka_mariner1989, amorphous_silica_fournier1977, cristobalite_alpha_fournier1977,
// cristobalite_beta_fournier1977. No flags yet: see FlagSolutes.
std::vector<SoluteTemperature> EverySoluteGeothermometer(const SoluteAnalysis& water);

// One geothermometer by key, for the water as given. Throws std::invalid_argument naming the
// known keys for an unknown one.
SoluteTemperature SoluteByKey(std::string_view key, const SoluteAnalysis& water);

// True where the geothermometer's argument depends on the concentrations, not only on a ratio of
// two monovalent cations: silica, K-Mg, Na-K-Ca (and its Mg correction), Mg-Li.
bool DependsOnConcentration(std::string_view key);

// The reservoir liquid: the water was separated at `separation_celsius` from a liquid at t
// that lost the steam fraction y(t, Ts) of the steam table's enthalpy balance, so the liquid
// held c (1 - y). Solves t = f(c (1 - y(t, Ts))) with Brent's method on [Ts, 300 °C] (the steam
// table ends at 300 °C). A ratio of monovalent cations is unchanged; the quartz maximum-steam-loss
// form already assumes boiling to 100 °C and has no reservoir value. Where f(c) <= Ts the water
// did not boil and the value is that of the water as given. Throws std::invalid_argument for an
// unknown key.
SoluteTemperature ReservoirSoluteByKey(std::string_view key, const SoluteAnalysis& water,
                                       double separation_celsius);

// The entry of `results` with `key`, or nullptr.
const SoluteTemperature* FindSolute(const std::vector<SoluteTemperature>& results,
                                    std::string_view key);

// The Na-K-Ca temperature with a given beta (Fournier & Truesdell 1973, mg/kg form), without the
// rule that picks beta; nullopt where the equation has no solution.
std::optional<double> NaKCaTemperature(const SoluteAnalysis& water, double beta);

// R of Fournier & Potter (1979): 100 Mg / (Mg + Ca + K) in equivalents, from mg/kg.
double MagnesiumR(const SoluteAnalysis& water);

// Delta t_Mg of Fournier & Potter (1979), °C, to be subtracted from the Na-K-Ca temperature
// `nakca_celsius`; their two polynomials (R < 5 and 5 <= R < 50), without the rules of when to
// apply it.
double MagnesiumCorrection(double r, double nakca_celsius);

}  // namespace geofluid::geothermometry
