#include "geothermometry/solute.h"

#include <cmath>
#include <cstdio>

namespace geofluid::geothermometry {
namespace {

constexpr double kKelvin = 273.15;

std::string Number(double v, int decimals = 1) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

struct Definition {
  std::string_view key;
  std::string_view citation;
  std::string_view equation;
  double valid_from;
  double valid_to;
};

// The ranges are those the authors give for their calibrations. Giggenbach (1988) states no
// limits; we use the span of the full-equilibrium grid of his Na-K-Mg diagram.
constexpr Definition kQuartz{"quartz_fournier1977", "Fournier (1977)",
                             "t = 1309 / (5.19 - log SiO2) - 273.15", 0.0, 250.0};
constexpr Definition kQuartzSteamLoss{"quartz_steam_loss_fournier1977", "Fournier (1977)",
                                      "t = 1522 / (5.75 - log SiO2) - 273.15", 0.0, 250.0};
constexpr Definition kChalcedony{"chalcedony_fournier1977", "Fournier (1977)",
                                 "t = 1032 / (4.69 - log SiO2) - 273.15", 0.0, 250.0};
constexpr Definition kNaKTruesdell{"na_k_truesdell1976", "Truesdell (1976)",
                                   "t = 855.6 / (0.8573 + log(Na/K)) - 273.15", 100.0, 275.0};
constexpr Definition kNaKFournier{"na_k_fournier1979", "Fournier (1979)",
                                  "t = 1217 / (1.483 + log(Na/K)) - 273.15", 150.0, 350.0};
constexpr Definition kNaKArnorsson{"na_k_arnorsson1983", "Arnórsson et al. (1983)",
                                   "t = 933 / (0.993 + log(Na/K)) - 273.15", 25.0, 250.0};
constexpr Definition kNaKGiggenbach{"na_k_giggenbach1988", "Giggenbach (1988)",
                                    "t = 1390 / (1.75 + log(Na/K)) - 273.15", 100.0, 340.0};
constexpr Definition kNaKCa{
    "na_k_ca_fournier_truesdell1973", "Fournier & Truesdell (1973)",
    "t = 1647 / (log(Na/K) + beta (log(sqrt(Ca)/Na) + 2.06) + 2.47) - 273.15", 4.0, 340.0};
constexpr Definition kKMg{"k_mg_giggenbach1988", "Giggenbach (1988)",
                          "t = 4410 / (14.0 - log(K^2/Mg)) - 273.15", 0.0, 340.0};

SoluteTemperature Start(const Definition& d) {
  SoluteTemperature r;
  r.key = d.key;
  r.citation = d.citation;
  r.equation = d.equation;
  r.valid_from = d.valid_from;
  r.valid_to = d.valid_to;
  return r;
}

// Empty when `value` is a usable concentration, else the reason.
std::string Unusable(std::string_view name, double value) {
  if (!std::isfinite(value)) return std::string(name) + " is not a number";
  if (value < 0.0) return std::string(name) + " is negative (" + Number(value, 3) + " mg/kg)";
  if (value == 0.0) return std::string(name) + " is 0 mg/kg: its logarithm is undefined";
  return {};
}

// Fills `r` from t = numerator / denominator - 273.15 (every equation here has this form).
void Solve(SoluteTemperature& r, double numerator, double denominator) {
  const double kelvin = numerator / denominator;
  if (!(denominator > 0.0) || !std::isfinite(kelvin)) {
    r.reason = "the concentrations lie outside the domain of the equation (denominator " +
               Number(denominator, 3) + ")";
    return;
  }
  const double t = kelvin - kKelvin;
  r.celsius = t;
  if (t < r.valid_from || t > r.valid_to) {
    r.warning = Number(t) + " °C lies outside the range " + Number(r.valid_from, 0) + "-" +
                Number(r.valid_to, 0) + " °C of " + std::string(r.citation);
  }
}

SoluteTemperature Silica(const Definition& d, double a, double b, const SoluteAnalysis& w) {
  SoluteTemperature r = Start(d);
  r.reason = Unusable("SiO2", w.sio2);
  if (r.reason.empty()) Solve(r, a, b - std::log10(w.sio2));
  return r;
}

SoluteTemperature NaK(const Definition& d, double a, double b, const SoluteAnalysis& w) {
  SoluteTemperature r = Start(d);
  r.reason = Unusable("Na", w.na);
  if (r.reason.empty()) r.reason = Unusable("K", w.k);
  if (!r.reason.empty()) return r;
  Solve(r, a, b + std::log10(w.na / w.k));
  // Fournier & Truesdell (1973): where sqrt(M_Ca)/M_Na > 1 (molal) Na/K gives temperatures far
  // too high. log(sqrt(M_Ca)/M_Na) = log(sqrt(Ca)/Na) + 2.06 with Ca, Na in mg/kg.
  if (r.celsius && w.ca > 0.0 && std::log10(std::sqrt(w.ca) / w.na) + 2.06 > 0.0) {
    if (!r.warning.empty()) r.warning += "; ";
    r.warning +=
        "sqrt(Ca)/Na in moles exceeds 1: Na/K overestimates here (Fournier & Truesdell 1973), "
        "prefer Na-K-Ca";
  }
  return r;
}

}  // namespace

std::optional<double> NaKCaTemperature(const SoluteAnalysis& w, double beta) {
  if (!(w.na > 0.0 && w.k > 0.0 && w.ca > 0.0)) return std::nullopt;
  const double denominator =
      std::log10(w.na / w.k) + beta * (std::log10(std::sqrt(w.ca) / w.na) + 2.06) + 2.47;
  const double kelvin = 1647.0 / denominator;
  if (!(denominator > 0.0) || !std::isfinite(kelvin)) return std::nullopt;
  return kelvin - kKelvin;
}

std::vector<SoluteTemperature> SoluteGeothermometers(const SoluteAnalysis& w) {
  std::vector<SoluteTemperature> out;
  out.reserve(9);
  // Fournier (1977), Geothermics 5, 41-50, silica in mg/kg:
  //   quartz, no steam loss:            t = 1309 / (5.19 - log SiO2) - 273.15
  //   quartz, maximum steam loss:       t = 1522 / (5.75 - log SiO2) - 273.15
  //     (adiabatic boiling to 100 °C; the silica is that of the separated water)
  //   chalcedony:                       t = 1032 / (4.69 - log SiO2) - 273.15
  out.push_back(Silica(kQuartz, 1309.0, 5.19, w));
  out.push_back(Silica(kQuartzSteamLoss, 1522.0, 5.75, w));
  out.push_back(Silica(kChalcedony, 1032.0, 4.69, w));
  // Na/K, mg/kg:
  //   Truesdell (1976):              t = 855.6 / (0.8573 + log(Na/K)) - 273.15
  //   Fournier (1979):               t = 1217 / (1.483 + log(Na/K)) - 273.15
  //   Arnórsson et al. (1983), 25-250 °C: t = 933 / (0.993 + log(Na/K)) - 273.15
  //   Giggenbach (1988):             t = 1390 / (1.75 + log(Na/K)) - 273.15
  out.push_back(NaK(kNaKTruesdell, 855.6, 0.8573, w));
  out.push_back(NaK(kNaKFournier, 1217.0, 1.483, w));
  out.push_back(NaK(kNaKArnorsson, 933.0, 0.993, w));
  out.push_back(NaK(kNaKGiggenbach, 1390.0, 1.75, w));

  // Fournier & Truesdell (1973), Geochim. Cosmochim. Acta 37, 1255-1275, in its mg/kg form:
  //   t = 1647 / (log(Na/K) + beta (log(sqrt(Ca)/Na) + 2.06) + 2.47) - 273.15
  // The molal form has log(Na/K) + beta log(sqrt(Ca)/Na) + 2.24; 2.06 and 2.47 - 2.24 carry the
  // molar masses. Their rule for beta: compute with beta = 4/3; if that temperature is below
  // 100 °C and log(sqrt(Ca)/Na) in molal units is positive, keep it; if it is above 100 °C or the
  // logarithm is negative, recompute with beta = 1/3. The molal logarithm is the bracket above.
  {
    SoluteTemperature r = Start(kNaKCa);
    for (auto [name, value] : {std::pair{"Na", w.na}, {"K", w.k}, {"Ca", w.ca}}) {
      if (r.reason.empty()) r.reason = Unusable(name, value);
    }
    if (r.reason.empty()) {
      const double log_ca_na_molal = std::log10(std::sqrt(w.ca) / w.na) + 2.06;
      const std::optional<double> t43 = NaKCaTemperature(w, 4.0 / 3.0);
      const bool keep43 = t43 && *t43 < 100.0 && log_ca_na_molal > 0.0;
      const double beta = keep43 ? 4.0 / 3.0 : 1.0 / 3.0;
      Solve(r, 1647.0,
            std::log10(w.na / w.k) + beta * (std::log10(std::sqrt(w.ca) / w.na) + 2.06) + 2.47);
      if (r.celsius) r.note = keep43 ? "beta = 4/3" : "beta = 1/3";
    }
    out.push_back(std::move(r));
  }

  // Giggenbach (1988), Geochim. Cosmochim. Acta 52, 2749-2765, mg/kg:
  //   log(K^2/Mg) = 14.0 - 4410/T  =>  t = 4410 / (14.0 - log(K^2/Mg)) - 273.15
  {
    SoluteTemperature r = Start(kKMg);
    r.reason = Unusable("K", w.k);
    if (r.reason.empty()) r.reason = Unusable("Mg", w.mg);
    if (r.reason.empty()) Solve(r, 4410.0, 14.0 - std::log10(w.k * w.k / w.mg));
    out.push_back(std::move(r));
  }
  return out;
}

const SoluteTemperature* FindSolute(const std::vector<SoluteTemperature>& results,
                                    std::string_view key) {
  for (const SoluteTemperature& r : results) {
    if (r.key == key) return &r;
  }
  return nullptr;
}

}  // namespace geofluid::geothermometry
