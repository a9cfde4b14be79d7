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
  std::string reason;  // why the water is unclassified, or what the class rests on
};

// With Mg below its detection limit the water lies on the Na-K edge; the maturity index is then
// at least its value with Mg at the limit, and the class is taken from that bound.
GiggenbachClassification ClassifyGiggenbach(const SoluteAnalysis& water);

// Adds to each result the flags of when not to trust it, with their one-line reasons:
// out_of_range (outside the published range), immature and not_applicable (cation
// geothermometers of an immature water, Giggenbach 1988), partial_equilibrium (Na/K of a partially
// equilibrated water), not_applicable (chalcedony above 180 °C, where quartz controls silica;
// Na-K-Ca-Mg with R > 50), condition (a published condition not met: Fournier & Truesdell's
// sqrt(Ca)/Na for Na/K), below_detection (a concentration used was below detection).
void FlagSolutes(std::vector<SoluteTemperature>& results, const SoluteAnalysis& water,
                 const GiggenbachClassification& giggenbach);

}  // namespace geofluid::geothermometry
