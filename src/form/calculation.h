#pragma once

#include <array>
#include <functional>
#include <string>

#include "speciation/solver.h"
#include "thermo/catalogue.h"
#include "thermo/equilibrium_constants.h"

namespace geofluid::form {

// What a run reads from the window.
struct CalculationInput {
  thermo::Dataset dataset = thermo::Dataset::kSolveq;
  std::array<std::string, 19> box{};  // texts of Text1 .. Text18 at [1..18]
  bool option1 = false;               // the mode at the pH measurement temperature
  int check1 = 0;                     // 1: no steam correction
  double stored_toth = 0.0;           // from the hand-over file; read when option1 is false
};

// Everything a run computes before it writes: the values the report prints and the TOTH the
// first mode hands over.
struct CalculationResult {
  thermo::Dataset dataset = thermo::Dataset::kSolveq;
  std::string temperature_text;  // Text17 as typed
  double calculation_temperature = 0.0;
  double separation_temperature = 0.0;
  double fraction_of_steam = 0.0;
  speciation::Totals totals{};  // T(1..14) of the last trial
  speciation::Speciation speciation;
  double ph = 0.0;    // pH of the last trial
  double toth = 0.0;  // first mode: TOTH of the speciation; otherwise the search target
  std::array<double, thermo::kMineralSlots> saturation_index{};
  int trials = 0;
  int non_convergences = 0;
  thermo::EquilibriumConstants constants;
};

// Steps 4 to 11 of a run without the files: temperatures, tables, constants, fraction of steam,
// the trials, saturation indices and TOTH. Re-entrant; no I/O. `on_non_convergence` is called
// each time a speciation stops at the pass limit.
// Throws ConversionError, ArithmeticError or SearchError with a message for the user.
CalculationResult Calculate(const CalculationInput& input,
                            const std::function<void()>& on_non_convergence);

}  // namespace geofluid::form
