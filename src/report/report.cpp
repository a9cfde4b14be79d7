#include "report/report.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <string>
#include <system_error>

#include "platform/errors.h"
#include "thermo/catalogue.h"

namespace geofluid::report {

const ReportLayout& LayoutOf(const engine::Dataset& dataset) {
  // Indexed by thermo::DatasetId.
  static constexpr ReportLayout kLayouts[] = {
      {"Used thermodynamic data is SOLVEQ(Reed,1982)", 84, "Chemical compositions",
       "NO.             Species                   Molality     Act coef.      Log(Activity)",
       "pH-function(TOTH) =", true},
      {"Used thermodynamic data is SUPCRT98", 72, "Chemical composition",
       "No.           Species       Molality      Act coef.     Log(Act)",
       "TOTH(pH-function) =", false}};
  return kLayouts[static_cast<std::size_t>(dataset.id)];
}

namespace {

// The exact decimal value of a finite double, |v| = d1.d2d3... x 10^exponent. `digits` has no
// trailing zeros and is empty for zero.
struct Decimal {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

void RequireFinite(double v, std::string_view quantity) {
  if (!std::isfinite(v)) {
    throw ArithmeticError("arithmetic error (not a finite number) in the " + std::string(quantity));
  }
}

// The exact digits: the slow path, for the rare values whose rounding the short digits cannot
// decide.
Decimal ExactDecimal(double v) {
  Decimal d;
  if (v == 0.0) return d;  // -0.0 too: a zero has no sign in the report
  d.negative = std::signbit(v);
  // 767 significant digits hold the exact value of any double; to_chars writes them exactly
  // and without regard to the locale.
  char buffer[850];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(v),
                                       std::chars_format::scientific, 800);
  if (ec != std::errc()) throw ArithmeticError("arithmetic error (number text) in the report");
  const std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
  const std::size_t e = text.find('e');
  d.digits.push_back(text[0]);
  d.digits.append(text.substr(2, e - 2));
  const std::string_view exponent = text.substr(e + 1);
  int magnitude = 0;
  std::from_chars(exponent.data() + 1, exponent.data() + exponent.size(), magnitude);
  d.exponent = exponent[0] == '-' ? -magnitude : magnitude;
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  return d;
}

// Keeps `count` significant digits. Half away from zero is "the first dropped digit is 5 or
// more" because the digits are exact.
void RoundSignificant(Decimal& d, int count) {
  if (count < 0 || static_cast<int>(d.digits.size()) <= count) return;
  const bool up = d.digits[static_cast<std::size_t>(count)] >= '5';
  d.digits.resize(static_cast<std::size_t>(count));
  if (up) {
    int i = count - 1;
    while (i >= 0 && d.digits[static_cast<std::size_t>(i)] == '9') {
      d.digits[static_cast<std::size_t>(i)] = '0';
      --i;
    }
    if (i >= 0) {
      ++d.digits[static_cast<std::size_t>(i)];
    } else {
      d.digits.insert(d.digits.begin(), '1');
      ++d.exponent;
    }
  }
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
}

// Rounds to `decimals` places after the point; a value rounded to zero keeps its sign.
void RoundDecimals(Decimal& d, int decimals) {
  if (d.digits.empty()) return;
  const int kept = d.exponent + 1 + decimals;
  if (kept > 0) {
    RoundSignificant(d, kept);
  } else if (kept == 0 && d.digits[0] >= '5') {
    d.digits = "1";
    d.exponent = -decimals;
  } else {
    d.digits.clear();
  }
}

// Digits of to_chars output ("1.2345e-07" or "0.0012345") as a Decimal, trailing zeros kept.
Decimal ParseDigits(std::string_view text, bool negative) {
  Decimal d;
  d.negative = negative;
  const std::size_t e = text.find('e');
  const std::string_view mantissa = text.substr(0, e);
  int exponent = 0;
  if (e != std::string_view::npos) {
    const std::string_view x = text.substr(e + 1);
    std::from_chars(x.data() + 1, x.data() + x.size(), exponent);
    if (x[0] == '-') exponent = -exponent;
  }
  const std::size_t point = mantissa.find('.');
  const int integer_digits =
      static_cast<int>(point == std::string_view::npos ? mantissa.size() : point);
  int place = exponent + integer_digits - 1;  // of the first digit
  std::size_t i = 0;
  for (; i < mantissa.size() && (mantissa[i] == '0' || mantissa[i] == '.'); ++i) {
    if (mantissa[i] == '0') --place;
  }
  if (i == mantissa.size()) return d;
  d.exponent = place;
  const std::string_view rest = mantissa.substr(i);
  const std::size_t rest_point = rest.find('.');
  d.digits.assign(rest.substr(0, rest_point));
  if (rest_point != std::string_view::npos) d.digits.append(rest.substr(rest_point + 1));
  return d;
}

// The short digits are rounded (to nearest) a few places after the place the report rounds
// at. They decide that rounding as the exact digits would unless they show a 5 and only zeros
// from there on, which a rounding carry can also have made.
constexpr int kGuardDigits = 6;

bool Undecided(const Decimal& d, int kept) {
  if (kept < 0 || kept >= static_cast<int>(d.digits.size())) return false;
  if (d.digits[static_cast<std::size_t>(kept)] != '5') return false;
  return d.digits.find_first_not_of('0', static_cast<std::size_t>(kept) + 1) == std::string::npos;
}

void StripZeros(Decimal& d) {
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
}

// The value rounded half away from zero to `count` significant digits.
Decimal SignificantDecimal(double v, int count) {
  if (v == 0.0) return {};
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(v),
                                       std::chars_format::scientific, count - 1 + kGuardDigits);
  if (ec != std::errc()) throw ArithmeticError("arithmetic error (number text) in the report");
  Decimal d = ParseDigits({buffer, static_cast<std::size_t>(end - buffer)}, std::signbit(v));
  if (Undecided(d, count)) d = ExactDecimal(v);
  StripZeros(d);
  RoundSignificant(d, count);
  return d;
}

// The value rounded half away from zero to `decimals` places after the point.
Decimal FixedDecimal(double v, int decimals) {
  if (v == 0.0) return {};
  char buffer[400];  // 309 integer digits at most
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(v),
                                       std::chars_format::fixed, decimals + kGuardDigits);
  if (ec != std::errc()) throw ArithmeticError("arithmetic error (number text) in the report");
  Decimal d = ParseDigits({buffer, static_cast<std::size_t>(end - buffer)}, std::signbit(v));
  // Digits up to the place 10^-decimals are kept. No digits at all: below half a unit of the
  // last guard place, a zero (with its sign) whatever the exact digits.
  if (!d.digits.empty() && Undecided(d, d.exponent + 1 + decimals)) d = ExactDecimal(v);
  StripZeros(d);
  RoundDecimals(d, decimals);
  return d;
}

// The digit at the place of 10^place.
char DigitAt(const Decimal& d, int place) {
  const int index = d.exponent - place;
  if (index < 0 || index >= static_cast<int>(d.digits.size())) return '0';
  return d.digits[static_cast<std::size_t>(index)];
}

std::string ExponentText(int exponent) {
  std::string magnitude = std::to_string(exponent < 0 ? -exponent : exponent);
  if (magnitude.size() < 2) magnitude.insert(magnitude.begin(), '0');
  return (exponent < 0 ? "E-" : "E+") + magnitude;
}

// The general form switches to exponent form below 1E-04 and from 1E+15 on, where fixed form
// would need leading or trailing zeros beyond the 15 significant digits.
bool UsesExponentForm(int exponent) { return exponent < -4 || exponent >= 15; }

std::string FixedText(const Decimal& d, int decimals, int integer_digits) {
  std::string text = d.negative ? "-" : "";
  const int top = d.digits.empty() ? integer_digits - 1 : std::max(d.exponent, integer_digits - 1);
  for (int place = top; place >= 0; --place) text.push_back(DigitAt(d, place));
  text.push_back('.');
  for (int place = -1; place >= -decimals; --place) text.push_back(DigitAt(d, place));
  return text;
}

std::string ComponentTotal(const engine::Dataset& dataset, double v, std::string_view quantity) {
  return LayoutOf(dataset).totals_in_display_format
             ? AsNumberItem(FormatScientific(v, quantity), quantity)
             : NumberItem(v, quantity);
}

// A catalogue text for a message: outer blanks dropped, inner runs of blanks made one.
std::string MessageName(std::string_view text) {
  std::string name;
  for (char c : thermo::TrimmedName(text)) {
    if (c == ' ' && !name.empty() && name.back() == ' ') continue;
    name.push_back(c);
  }
  return name;
}

std::string LogActivity(double activity, std::string_view name) {
  const std::string quantity = "log activity of " + MessageName(name);
  RequireFinite(activity, quantity);
  if (activity <= 0.0) {
    throw ArithmeticError(
        "arithmetic error (logarithm of an activity that is not positive) in the " + quantity);
  }
  // 2.303 for both datasets, not ln 10: the magnitudes are 1.8E-04 (relative)
  // smaller than those of log10.
  return FormatFixed(std::log(activity) / 2.303, quantity);
}

// The temperature as typed, without any line break, which would split the report's line.
std::string TypedTemperature(std::string_view text) {
  std::string kept;
  for (char c : text) {
    if (c != '\r' && c != '\n') kept.push_back(c);
  }
  return kept;
}

}  // namespace

std::string NumberItem(double v, std::string_view quantity) {
  RequireFinite(v, quantity);
  Decimal d = SignificantDecimal(v, 15);
  if (d.digits.empty()) return " 0 ";
  std::string text = d.negative ? "-" : " ";
  if (UsesExponentForm(d.exponent)) {
    text.push_back(d.digits[0]);
    if (d.digits.size() > 1) text += "." + d.digits.substr(1);
    text += ExponentText(d.exponent);
  } else if (d.exponent < 0) {
    text += "." + std::string(static_cast<std::size_t>(-d.exponent - 1), '0') + d.digits;
  } else {
    for (int place = d.exponent; place >= 0; --place) text.push_back(DigitAt(d, place));
    const auto integer_digits = static_cast<std::size_t>(d.exponent + 1);
    if (d.digits.size() > integer_digits) text += "." + d.digits.substr(integer_digits);
  }
  text.push_back(' ');
  return text;
}

std::string FormatScientific(double v, std::string_view quantity) {
  RequireFinite(v, quantity);
  Decimal d = SignificantDecimal(v, 4);
  if (d.digits.empty()) return "0.000E+00";
  d.digits.resize(4, '0');
  return (d.negative ? "-" : "") + d.digits.substr(0, 1) + "." + d.digits.substr(1) +
         ExponentText(d.exponent);
}

std::string FormatFixed(double v, std::string_view quantity) {
  RequireFinite(v, quantity);
  Decimal d = FixedDecimal(v, 3);
  return FixedText(d, 3, 1);
}

std::string FormatFixedTwoDigits(double v, std::string_view quantity) {
  RequireFinite(v, quantity);
  Decimal d = FixedDecimal(v, 3);
  return FixedText(d, 3, 2);
}

std::string AsNumberItem(std::string_view formatted, std::string_view quantity) {
  double value = 0.0;
  const auto [end, ec] = std::from_chars(formatted.data(), formatted.data() + formatted.size(),
                                         value, std::chars_format::general);
  if (ec != std::errc() || end != formatted.data() + formatted.size()) {
    throw ArithmeticError("arithmetic error (unreadable number text \"" + std::string(formatted) +
                          "\") in the " + std::string(quantity));
  }
  return NumberItem(value, quantity);
}

std::vector<std::string> ReportLines(const engine::Evaluation& r,
                                     std::string_view temperature_text) {
  const engine::Dataset& dataset = *r.dataset;
  const thermo::Catalogue& catalogue = dataset.catalogue;
  const ReportLayout& layout = LayoutOf(dataset);
  const speciation::Speciation& s = r.speciation;

  std::vector<std::string> lines;
  lines.reserve(static_cast<std::size_t>(38 + catalogue.species_count + catalogue.mineral_count));
  lines.emplace_back(84, '=');
  lines.emplace_back(layout.title);
  // U+2103 DEGREE CELSIUS in UTF-8, the code page of the report.
  lines.push_back("Temperature=" + TypedTemperature(temperature_text) + "\xE2\x84\x83");
  lines.emplace_back(layout.section_ruler, '*');
  lines.emplace_back(layout.composition);
  for (int i = 1; i <= 12; ++i) {
    const std::string_view name = catalogue.Name(i);
    lines.push_back(std::string(name) +
                    ComponentTotal(dataset, r.totals[i], "total of " + MessageName(name)));
  }
  lines.emplace_back("Mass-balance");
  for (int i = 1; i <= 12; ++i) {
    const std::string_view name = catalogue.Name(i);
    lines.push_back(std::string(name) +
                    ComponentTotal(dataset, s.tnew[i], "mass balance of " + MessageName(name)));
  }
  lines.emplace_back(layout.section_ruler, '*');
  lines.emplace_back(layout.column_header);
  for (int i = 1; i <= catalogue.species_count; ++i) {
    const std::string_view name = catalogue.Name(i);
    const std::string shown = MessageName(name);
    lines.push_back(NumberItem(i) + std::string(name) +
                    FormatScientific(s.molality[i], "molality of " + shown) +
                    FormatFixed(s.gamma[i], "activity coefficient of " + shown) +
                    LogActivity(s.activity[i], name));
  }
  lines.push_back(
      "Fraction of steam=" +
      AsNumberItem(FormatFixed(r.steam_fraction, "fraction of steam"), "fraction of steam"));
  lines.push_back("Ionic strength=" + FormatScientific(s.ionic_strength, "ionic strength"));
  lines.push_back(std::string(layout.toth_caption) + FormatScientific(r.toth, "TOTH"));
  lines.emplace_back(layout.section_ruler, '*');
  lines.emplace_back("Saturation Index");
  for (int m = 1; m <= catalogue.mineral_count; ++m) {
    const std::string_view label = catalogue.MineralLabel(m);
    const std::string quantity = "saturation index of " + MessageName(label);
    lines.push_back(NumberItem(m) + std::string(label) +
                    AsNumberItem(FormatFixedTwoDigits(r.saturation_index[m], quantity), quantity));
  }
  lines.emplace_back(84, '-');
  return lines;
}

std::string ReportText(const engine::Evaluation& r, std::string_view temperature_text) {
  std::string text;
  for (const std::string& line : ReportLines(r, temperature_text)) {
    text += line;
    text += "\r\n";
  }
  return text;
}

}  // namespace geofluid::report
