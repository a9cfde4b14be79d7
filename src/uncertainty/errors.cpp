#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "io/text.h"
#include "uncertainty/uncertainty.h"

namespace geofluid::uncertainty {

namespace {

constexpr std::array<std::string_view, 6> kOtherKeys = {
    "CO2", "H2S", "pH", "ph_temperature", "separation", "temperature"};

using io::Trim;

std::optional<double> Number(std::string_view text) { return io::ParseNumber(text); }

std::string AllKeys() {
  std::string keys;
  for (int i = 0; i < kInputCount; ++i) keys += (i ? ", " : "") + std::string(InputKey(i));
  return keys + ", components, gases";
}

std::string Shortest(double v) { return io::General(v, 15); }

// SplitMix64 (Steele, Lea & Flood 2014): one step of the generator as a mixing function.
std::uint64_t SplitMix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

}  // namespace

std::string_view InputKey(int input) {
  if (input < engine::kComponentCount)
    return engine::kComponentKeys[static_cast<std::size_t>(input)];
  return kOtherKeys[static_cast<std::size_t>(input - engine::kComponentCount)];
}

bool IsConcentration(int input) { return input <= static_cast<int>(Input::kSteamH2s); }

InputErrors InputErrors::Defaults() {
  InputErrors e;
  for (int i = 0; i < kInputCount; ++i)
    e[i] = {Distribution::kNormal, IsConcentration(i) ? 0.05 : 0.0};
  e[static_cast<int>(Input::kPh)].sigma = 0.1;
  return e;
}

bool InputErrors::AllZero() const {
  for (const ErrorSpec& s : spec)
    if (!s.Zero()) return false;
  return true;
}

void SetError(InputErrors& errors, std::string_view key_text, std::string_view value_text) {
  const std::string_view key = Trim(key_text);
  const std::string_view value = Trim(value_text);
  const std::string item = std::string(key) + "=" + std::string(value);
  std::vector<int> inputs;
  if (key == "components") {
    for (int i = 0; i < engine::kComponentCount; ++i) inputs.push_back(i);
  } else if (key == "gases") {
    inputs = {static_cast<int>(Input::kSteamCo2), static_cast<int>(Input::kSteamH2s)};
  } else if (key == "calculation") {
    inputs = {static_cast<int>(Input::kCalculationTemperature)};
  } else {
    for (int i = 0; i < kInputCount; ++i)
      if (InputKey(i) == key) inputs.push_back(i);
  }
  if (inputs.empty())
    throw ErrorSyntax(item + ": unknown input \"" + std::string(key) + "\" (the inputs are " +
                      AllKeys() + ")");
  const bool concentration = IsConcentration(inputs.front());

  ErrorSpec spec;
  if (value.empty()) throw ErrorSyntax(item + ": no value after =");
  if (value.back() == '%') {
    const auto n = Number(value.substr(0, value.size() - 1));
    if (!concentration)
      throw ErrorSyntax(item + ": " + std::string(key) + " takes an absolute error (e.g. " +
                        std::string(key) + (key == "pH" ? "=0.05" : "=2") + "), not a percentage");
    if (!n || *n < 0.0) throw ErrorSyntax(item + ": expected a percentage such as 3%");
    spec = {Distribution::kNormal, *n / 100.0};
  } else if (value.front() == 'x' || value.front() == 'X') {
    const auto n = Number(value.substr(1));
    if (!concentration)
      throw ErrorSyntax(item + ": a factor (x2) is for concentrations; " + std::string(key) +
                        " takes an absolute error");
    if (!n || *n < 1.0) throw ErrorSyntax(item + ": expected a factor of 1 or more such as x2");
    spec = {Distribution::kLogNormal, *n};
  } else {
    const auto n = Number(value);
    if (!n || *n < 0.0)
      throw ErrorSyntax(item + ": expected " +
                        (concentration ? std::string("3% (relative) or x2 (a factor)")
                                       : std::string("an absolute error such as 0.1")));
    if (concentration && *n != 0.0)
      throw ErrorSyntax(item + ": a concentration's error is relative: write " +
                        Shortest(*n * 100.0) + "% for " + Shortest(*n) + " of the value, or x" +
                        "2 for a factor of 2");
    spec = {Distribution::kNormal, *n};
  }
  for (int i : inputs) errors[i] = spec;
}

void SetError(InputErrors& errors, std::string_view item) {
  const auto equals = item.find('=');
  if (equals == std::string_view::npos)
    throw ErrorSyntax(std::string(item) + ": expected KEY=VALUE, e.g. Na=3%");
  SetError(errors, item.substr(0, equals), item.substr(equals + 1));
}

std::string ErrorList::Set(std::string_view key_text, std::string_view value) {
  const std::string_view key = Trim(key_text);
  InputErrors changed = errors_;
  SetError(changed, key, value);
  const bool group = key == "components" || key == "gases";
  std::string kept;
  for (int i = 0; i < kInputCount; ++i) {
    if (changed[i].distribution == errors_[i].distribution && changed[i].sigma == errors_[i].sigma)
      continue;
    if (group && named_[i]) {
      kept += (kept.empty() ? "" : ", ") + std::string(InputKey(i)) + " " + ErrorText(errors_, i);
      continue;
    }
    errors_[i] = changed[i];
  }
  if (!group)
    for (int i = 0; i < kInputCount; ++i)
      if (InputKey(i) == key || (key == "calculation" && i == kInputCount - 1)) named_[i] = true;
  if (kept.empty()) return "";
  return std::string(key) + " = " + std::string(Trim(value)) +
         " leaves the inputs named on their own as they were (" + kept +
         "): an input's own error wins over its group's, in any order";
}

std::string ErrorList::Set(std::string_view item) {
  const auto equals = item.find('=');
  if (equals == std::string_view::npos)
    throw ErrorSyntax(std::string(item) + ": expected KEY=VALUE, e.g. Na=3%");
  return Set(item.substr(0, equals), item.substr(equals + 1));
}

std::string ErrorText(const InputErrors& errors, int input) {
  const ErrorSpec& s = errors[input];
  if (s.distribution == Distribution::kLogNormal) return "x" + Shortest(s.sigma);
  if (IsConcentration(input)) return Shortest(s.sigma * 100.0) + "%";
  return Shortest(s.sigma);
}

std::string ErrorSyntaxHelp() {
  return "Errors are 1 sigma. KEY is a component (SiO2 Na K Ca Mg Fe Al CO3(2-) SO4(2-) HS(-) Cl "
         "NH3), a steam gas (CO2 H2S), pH, ph_temperature, separation or temperature (the "
         "calculation temperatures); 'components' sets all twelve, 'gases' both gases. "
         "VALUE: 3% = normal with a relative 1 sigma of 3 % (concentrations; a draw below 0 is "
         "drawn again); x2 = log-normal, 1 sigma a factor of 2 (concentrations); 0.05 = normal, "
         "absolute (pH units, °C). Defaults: 5% for every concentration, pH=0.1, temperatures 0. "
         "An input's own error wins over its group's (Na=10% with components=2%) in any order; the "
         "command line overrides the file's [errors] section or err_KEY columns.";
}

std::mt19937_64 Stream(std::uint64_t seed, std::uint64_t draw, int input) {
  const std::uint64_t a = SplitMix(seed);
  const std::uint64_t b = SplitMix(a ^ draw);
  return std::mt19937_64(SplitMix(b ^ static_cast<std::uint64_t>(input)));
}

engine::Sample DrawSample(const engine::Sample& nominal, const InputErrors& errors,
                          std::uint64_t seed, std::uint64_t draw, double* temperature_offset) {
  engine::Sample s = nominal;
  // A fresh distribution per input and draw: nothing is carried between draws.
  const auto moved = [&](int input, double value) {
    const ErrorSpec& e = errors[input];
    if (e.Zero()) return value;
    std::mt19937_64 rng = Stream(seed, draw, input);
    std::normal_distribution<double> normal(0.0, 1.0);
    if (e.distribution == Distribution::kLogNormal) return value * std::pow(e.sigma, normal(rng));
    if (!IsConcentration(input)) return value + e.sigma * normal(rng);
    if (value == 0.0) return value;  // not detected: a relative error keeps it so
    // Truncated at zero by drawing again; with the mean above zero each try succeeds with a
    // probability above one half, so the bound is never met in practice.
    for (int attempt = 0; attempt < 1000; ++attempt) {
      const double x = value * (1.0 + e.sigma * normal(rng));
      if (x > 0.0) return x;
    }
    return value;
  };
  for (int i = 0; i < engine::kComponentCount; ++i)
    s.component[static_cast<std::size_t>(i)] = moved(i, s.component[static_cast<std::size_t>(i)]);
  s.steam_co2 = moved(static_cast<int>(Input::kSteamCo2), s.steam_co2);
  s.steam_h2s = moved(static_cast<int>(Input::kSteamH2s), s.steam_h2s);
  s.ph = moved(static_cast<int>(Input::kPh), s.ph);
  s.ph_temperature = moved(static_cast<int>(Input::kPhTemperature), s.ph_temperature);
  s.separation_temperature =
      moved(static_cast<int>(Input::kSeparationTemperature), s.separation_temperature);
  if (temperature_offset != nullptr)
    *temperature_offset = moved(static_cast<int>(Input::kCalculationTemperature), 0.0);
  return s;
}

}  // namespace geofluid::uncertainty
