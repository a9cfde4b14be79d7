#include "geothermometry/giggenbach.h"

#include <cmath>

namespace geofluid::geothermometry {
namespace {

constexpr double kKelvin = 273.15;

// The triangle point of a water given by log(K/Na) and log(K^2/Mg), mg/kg. With K = 1 the
// corners are Na/1000 = (Na/K)/1000, K/100 = 1/100 and sqrt(Mg) = 1/sqrt(K^2/Mg); only the two
// ratios matter, which is why Giggenbach took the square root of Mg.
TernaryPoint FromRatios(double log_k_na, double log_k2_mg) {
  const double na = std::pow(10.0, -log_k_na) / 1000.0;
  const double k = 1.0 / 100.0;
  const double mg = std::pow(10.0, -0.5 * log_k2_mg);
  const double sum = na + k + mg;
  return {100.0 * na / sum, 100.0 * k / sum, 100.0 * mg / sum};
}

}  // namespace

std::optional<TernaryPoint> TrianglePoint(double na, double k, double mg) {
  for (double v : {na, k, mg}) {
    if (!std::isfinite(v) || v < 0.0) return std::nullopt;
  }
  const double a = na / 1000.0;
  const double b = k / 100.0;
  const double c = std::sqrt(mg);
  const double sum = a + b + c;
  if (!(sum > 0.0)) return std::nullopt;
  return TernaryPoint{100.0 * a / sum, 100.0 * b / sum, 100.0 * c / sum};
}

TernaryPoint FullEquilibriumPoint(double celsius) {
  const double t = celsius + kKelvin;
  return FromRatios(1.75 - 1390.0 / t, 14.0 - 4410.0 / t);
}

std::vector<LabelledPoint> FullEquilibriumLine(double from, double to, double step) {
  std::vector<LabelledPoint> line;
  if (!(step > 0.0) || !(to >= from)) return line;
  // Counted, not accumulated, so that the last temperature is `to` itself.
  const int n = static_cast<int>(std::floor((to - from) / step + 1e-9));
  for (int i = 0; i <= n; ++i) {
    const double t = from + step * i;
    line.push_back({t, FullEquilibriumPoint(t)});
  }
  return line;
}

std::vector<TernaryPoint> PartialEquilibriumBoundary() {
  // MI = 2.0: log(K/Na) = 0.315 log(K^2/Mg) - 2.0. From log(K^2/Mg) = -6 (99 % sqrt(Mg)) to 12
  // (99.8 % K) the curve runs from the Mg corner through about 22 % Na to the K corner.
  std::vector<TernaryPoint> curve;
  for (int i = 0; i <= 72; ++i) {
    const double log_k2_mg = -6.0 + 0.25 * i;
    curve.push_back(
        FromRatios(kMaturityCoefficient * log_k2_mg - kPartialEquilibriumIndex, log_k2_mg));
  }
  return curve;
}

std::string_view MaturityName(Maturity m) {
  switch (m) {
    case Maturity::kFullEquilibrium:
      return "full equilibrium";
    case Maturity::kPartialEquilibration:
      return "partial equilibration";
    case Maturity::kImmature:
      return "immature water";
    case Maturity::kUnclassified:
      break;
  }
  return "unclassified";
}

GiggenbachClassification ClassifyGiggenbach(const SoluteAnalysis& w) {
  GiggenbachClassification c;
  c.point = TrianglePoint(w.na, w.k, w.mg);
  if (!c.point) {
    c.reason = "Na, K and Mg must be numbers >= 0 mg/kg, not all zero";
    return c;
  }
  if (!(w.na > 0.0 && w.k > 0.0 && w.mg > 0.0)) {
    c.reason = "the maturity index needs Na, K and Mg above 0 mg/kg";
    return c;
  }
  const double mi = kMaturityCoefficient * std::log10(w.k * w.k / w.mg) - std::log10(w.k / w.na);
  c.maturity_index = mi;
  if (mi >= kFullEquilibriumIndex) {
    c.maturity = Maturity::kFullEquilibrium;
  } else if (mi >= kPartialEquilibriumIndex) {
    c.maturity = Maturity::kPartialEquilibration;
  } else {
    c.maturity = Maturity::kImmature;
  }
  return c;
}

}  // namespace geofluid::geothermometry
