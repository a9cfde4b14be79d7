#pragma once

// Solute geothermometers of the separated water: temperatures from the silica content and the
// cation ratios, each with its published equation and range of validity.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace geofluid::geothermometry {

// Concentrations of the separated water, mg/kg.
struct SoluteAnalysis {
  double sio2 = 0.0;
  double na = 0.0;
  double k = 0.0;
  double ca = 0.0;
  double mg = 0.0;
};

struct SoluteTemperature {
  std::string_view key;       // "quartz_fournier1977", ...
  std::string_view citation;  // "Fournier (1977)"
  std::string_view equation;  // as published, concentrations in mg/kg
  double valid_from = 0.0;    // published range of validity, °C
  double valid_to = 0.0;
  std::optional<double> celsius;  // absent when the equation cannot be applied
  std::string reason;             // why `celsius` is absent
  std::string warning;            // set when the result lies outside the range, or is doubtful
  std::string note;               // the choice the equation made (beta of Na-K-Ca)
};

// Every geothermometer in a fixed order: quartz_fournier1977, quartz_steam_loss_fournier1977,
// chalcedony_fournier1977, na_k_truesdell1976, na_k_fournier1979, na_k_arnorsson1983,
// na_k_giggenbach1988, na_k_ca_fournier_truesdell1973, k_mg_giggenbach1988.
std::vector<SoluteTemperature> SoluteGeothermometers(const SoluteAnalysis& water);

// The entry of `results` with `key`, or nullptr.
const SoluteTemperature* FindSolute(const std::vector<SoluteTemperature>& results,
                                    std::string_view key);

// The Na-K-Ca temperature with a given beta (Fournier & Truesdell 1973, mg/kg form), without the
// rule that picks beta; nullopt where the equation has no solution.
std::optional<double> NaKCaTemperature(const SoluteAnalysis& water, double beta);

}  // namespace geofluid::geothermometry
