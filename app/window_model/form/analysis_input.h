#pragma once

#include <array>
#include <string>

#include "engine/engine.h"
#include "speciation/solver.h"

namespace geofluid::form {

// The number in a box; throws ConversionError naming the box and its label, e.g.
// `Text5 (Mg): "abc" is not a number`.
double BoxNumber(const std::array<std::string, 19>& box, int index);
// Why `text` is not a number, as BoxNumber says it after the box's name: `"abc" is not a
// number`, `the box is empty, not a number`.
std::string NumberProblem(const std::string& text);

// The component totals of the total fluid from the boxes and the fraction of steam: the liquid
// weighted by (1 - f), carbonate and sulphide recombined with the vapour CO2 and H2S, water as
// typed, zero components replaced by 1E-21.
struct Analysis {
  speciation::Totals totals{};
  double vapour_co2 = 0.0;
  double vapour_h2s = 0.0;
};
Analysis ReadAnalysis(const std::array<std::string, 19>& box, double steam_fraction);

inline constexpr double kZeroTotal = engine::kZeroTotal;

}  // namespace geofluid::form
