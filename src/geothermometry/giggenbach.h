#pragma once

// The Na-K-Mg^1/2 triangle of Giggenbach (1988, Geochim. Cosmochim. Acta 52, 2749-2765): where a
// water plots against the compositions of full equilibrium with the alteration assemblage, and
// how far it has come towards them.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "geothermometry/solute.h"

namespace geofluid::geothermometry {

// Percent of Na/1000, K/100 and sqrt(Mg) (mg/kg) in their sum; the three add up to 100.
struct TernaryPoint {
  double na = 0.0;
  double k = 0.0;
  double mg = 0.0;
};

// From concentrations in mg/kg; nullopt when Na, K or Mg is negative or not a number, or all
// three are zero.
std::optional<TernaryPoint> TrianglePoint(double na, double k, double mg);

// The composition in full equilibrium at `celsius`: Na/K from log(K/Na) = 1.75 - 1390/T and
// K/sqrt(Mg) from log(K^2/Mg) = 14.0 - 4410/T (T in K), Giggenbach (1988).
TernaryPoint FullEquilibriumPoint(double celsius);

struct LabelledPoint {
  double celsius = 0.0;
  TernaryPoint point;
};
// The full-equilibrium line at from, from + step, ..., to (°C); 100..340 by 20 as Giggenbach draws
// it.
std::vector<LabelledPoint> FullEquilibriumLine(double from = 100.0, double to = 340.0,
                                               double step = 20.0);

// Maturity index, Giggenbach (1988): MI = 0.315 log(K^2/Mg) - log(K/Na), mg/kg. On the
// full-equilibrium line MI = 0.315 * 14.0 - 1.75 = 2.66 (1390/4410 = 0.315).
inline constexpr double kMaturityCoefficient = 0.315;
inline constexpr double kFullEquilibriumIndex = 2.66;
inline constexpr double kPartialEquilibriumIndex = 2.0;

// The boundary between immature waters and partial equilibration, MI = 2.0, as points of the
// triangle, from near the Na-Mg side to near the K-Mg side.
std::vector<TernaryPoint> PartialEquilibriumBoundary();

enum class Maturity { kFullEquilibrium, kPartialEquilibration, kImmature, kUnclassified };

// "full equilibrium", "partial equilibration", "immature water", "unclassified".
std::string_view MaturityName(Maturity m);

struct GiggenbachClassification {
  std::optional<TernaryPoint> point;
  std::optional<double> maturity_index;
  // MI >= 2.66: full equilibrium; 2.0 <= MI < 2.66: partial equilibration; MI < 2.0: immature
  // (Giggenbach 1988; the 2.66 of the line rounded as he gives it).
  Maturity maturity = Maturity::kUnclassified;
  std::string reason;  // why the water is unclassified
};

GiggenbachClassification ClassifyGiggenbach(const SoluteAnalysis& water);

}  // namespace geofluid::geothermometry
