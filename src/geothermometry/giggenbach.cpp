#include "geothermometry/giggenbach.h"

#include <array>
#include <cmath>
#include <cstdio>

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
  const bool mg_below = (w.below_detection & kSoluteMg) != 0;
  if (mg_below) {
    c.point = TrianglePoint(w.na, w.k, 0.0);
    if (!(w.na > 0.0 && w.k > 0.0 && w.mg_limit > 0.0)) {
      c.reason =
          "Mg not detected: the water lies on the Na-K edge; without a detection limit "
          "its maturity is unknown";
      return c;
    }
  } else if (!(w.na > 0.0 && w.k > 0.0 && w.mg > 0.0)) {
    c.reason = "the maturity index needs Na, K and Mg above 0 mg/kg";
    return c;
  }
  const double mg = mg_below ? w.mg_limit : w.mg;
  const double mi = kMaturityCoefficient * std::log10(w.k * w.k / mg) - std::log10(w.k / w.na);
  c.maturity_index = mi;
  if (mg_below) {
    char text[96];
    std::snprintf(text, sizeof text,
                  "Mg below detection: on the Na-K edge, maturity index at least %.2f", mi);
    c.reason = text;
  }
  if (mi >= kFullEquilibriumIndex) {
    c.maturity = Maturity::kFullEquilibrium;
  } else if (mi >= kPartialEquilibriumIndex) {
    c.maturity = Maturity::kPartialEquilibration;
  } else {
    c.maturity = Maturity::kImmature;
  }
  return c;
}

namespace {

bool StartsWith(std::string_view key, std::string_view prefix) {
  return key.substr(0, prefix.size()) == prefix;
}

// The geothermometers that rest on Na, K, Ca and Mg exchanged with the rock: where the water
// has not equilibrated with it (Giggenbach 1988) they do not apply.
bool IsCation(std::string_view key) { return StartsWith(key, "na_k") || StartsWith(key, "k_mg"); }

// One flag per code: a second reason for the same code joins the first.
void AddFlag(SoluteTemperature& r, std::string_view code, const std::string& reason) {
  for (SoluteFlag& f : r.flags) {
    if (f.code == code) {
      f.reason += "; " + reason;
      return;
    }
  }
  r.flags.push_back({code, reason});
}

}  // namespace

void FlagSolutes(std::vector<SoluteTemperature>& results, const SoluteAnalysis& w,
                 const GiggenbachClassification& g) {
  const auto uses = [](std::string_view key) {
    unsigned bits = 0;
    if (StartsWith(key, "quartz") || StartsWith(key, "chalcedony") ||
        StartsWith(key, "amorphous") || StartsWith(key, "cristobalite"))
      bits |= kSoluteSiO2;
    if (StartsWith(key, "na_")) bits |= kSoluteNa;
    if (StartsWith(key, "na_k") || StartsWith(key, "k_mg")) bits |= kSoluteK;
    if (StartsWith(key, "na_k_ca")) bits |= kSoluteCa;
    if (StartsWith(key, "k_mg") || StartsWith(key, "mg_li") ||
        key == "na_k_ca_mg_fournier_potter1979")
      bits |= kSoluteMg;
    if (key.find("_li_") != std::string_view::npos) bits |= kSoluteLi;
    return bits;
  };
  static constexpr std::array<std::pair<unsigned, std::string_view>, 6> kNames = {
      {{kSoluteSiO2, "SiO2"},
       {kSoluteNa, "Na"},
       {kSoluteK, "K"},
       {kSoluteCa, "Ca"},
       {kSoluteMg, "Mg"},
       {kSoluteLi, "Li"}}};
  for (SoluteTemperature& r : results) {
    r.flags.clear();
    if (!r.warning.empty() && r.celsius && (*r.celsius < r.valid_from || *r.celsius > r.valid_to)) {
      char text[160];
      std::snprintf(text, sizeof text, "%.1f °C lies outside the range %.0f-%.0f °C of %.*s",
                    *r.celsius, r.valid_from, r.valid_to, static_cast<int>(r.citation.size()),
                    r.citation.data());
      AddFlag(r, "out_of_range", text);
    }
    if (r.warning.find("sqrt(Ca)/Na") != std::string::npos) {
      AddFlag(r, "condition",
              "sqrt(Ca)/Na in moles exceeds 1: Na/K overestimates (Fournier & "
              "Truesdell 1973), prefer Na-K-Ca");
    }
    if (IsCation(r.key) && g.maturity == Maturity::kImmature) {
      r.flags.push_back(
          {"immature", "immature water on Giggenbach's triangle (maturity index " + [&] {
             char t[16];
             std::snprintf(t, sizeof t, "%.2f", *g.maturity_index);
             return std::string(t);
           }() + " < 2): Na, K and Mg have not equilibrated with the rock"});
      AddFlag(r, "not_applicable", "a cation geothermometer of an immature water");
    }
    if (StartsWith(r.key, "na_k_") && !StartsWith(r.key, "na_k_ca") &&
        g.maturity == Maturity::kPartialEquilibration) {
      AddFlag(r, "partial_equilibrium",
              "partially equilibrated water: Na/K, the slowest to re-equilibrate, is "
              "uncertain (Giggenbach 1988)");
    }
    if (StartsWith(r.key, "chalcedony") && r.celsius && *r.celsius > 180.0) {
      AddFlag(r, "not_applicable",
              "above about 180 °C quartz, not chalcedony, controls dissolved silica "
              "(Arnórsson et al. 1983)");
    }
    if (r.key == "na_k_ca_mg_fournier_potter1979" && !r.celsius && r.reason.find("R = ") == 0) {
      AddFlag(r, "not_applicable", r.reason);
    }
    const unsigned below = uses(r.key) & w.below_detection;
    if (below != 0) {
      std::string names;
      for (const auto& [bit, name] : kNames) {
        if (below & bit) names += (names.empty() ? "" : ", ") + std::string(name);
      }
      AddFlag(
          r, "below_detection",
          names + " below detection: " +
              (r.bound == "lower" && (below & kSoluteMg) && StartsWith(r.key, "k_mg")
                   ? "with Mg at its limit this is a lower bound"
                   : "the value rests on a stated fraction of the limit (0 where not detected)"));
    }
  }
}

}  // namespace geofluid::geothermometry
