#pragma once

#include <array>
#include <functional>
#include <string>

#include "engine/engine.h"
#include "thermo/catalogue.h"
#include "thermo/thermo_storage.h"

namespace geofluid::form {

// The boxes after the twelve components, Text13 .. Text18.
inline constexpr int kPhBox = 13;
inline constexpr int kWaterBox = 14;
inline constexpr int kSteamCo2Box = 15;
inline constexpr int kSteamH2sBox = 16;
inline constexpr int kCalculationBox = 17;
inline constexpr int kSeparationBox = 18;
// Text1 .. Text16 hold the analysis, locked in the second mode.
inline constexpr int kAnalysisBoxes = kSteamH2sBox;

// What a run reads from the window.
struct CalculationInput {
  thermo::DatasetId dataset = thermo::DatasetId::kSolveq;
  std::array<std::string, 19> box{};  // texts of Text1 .. Text18 at [1..18]
  bool option1 = false;               // the mode at the pH measurement temperature
  int check1 = 0;                     // 1: no steam correction
  double stored_toth = 0.0;           // from the hand-over file; read when option1 is false
};

// The typed result of a run and the temperature as typed, which the report prints.
struct CalculationResult : engine::Evaluation {
  std::string temperature_text;  // Text17 as typed
};

// The boxes as a typed sample: the window's conversions in the window's order, so that the
// first bad box is the one named. Text13 (pH) is read in the first mode only.
engine::Sample SampleFromBoxes(const CalculationInput& input);

// The window's fraction of steam: none in the mode at the pH measurement temperature
// (option1); none without the steam correction (check1), though the separation temperature
// must still lie within the steam table, as the window has always checked.
double WindowSteamFraction(const thermo::ThermoStorage& storage, bool option1, bool check1);

// Steps 4 to 11 of a run without the files: temperatures, tables, constants, fraction of steam,
// the trials, saturation indices and TOTH. Re-entrant; no I/O. `on_non_convergence` is called
// each time a speciation stops at the pass limit.
// Throws ConversionError, ArithmeticError or SearchError with a message for the user.
CalculationResult Calculate(const CalculationInput& input,
                            const std::function<void()>& on_non_convergence,
                            engine::Search search = engine::Search::kFast);

}  // namespace geofluid::form
