// The report's number formats against the exact-digit formatter they replaced (kept here as
// the reference): every printed digit must stay, ties rounded half away from zero included.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "platform/errors.h"
#include "report/report.h"

namespace geofluid::report {
namespace {

namespace reference {

// The exact decimal value of a finite double, |v| = d1.d2d3... x 10^exponent, from 800 digits.
struct Decimal {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

void RequireFinite(double, std::string_view) {}

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

std::string NumberItem(double v, std::string_view quantity) {
  RequireFinite(v, quantity);
  Decimal d = ExactDecimal(v);
  RoundSignificant(d, 15);
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
  Decimal d = ExactDecimal(v);
  RoundSignificant(d, 4);
  if (d.digits.empty()) return "0.000E+00";
  d.digits.resize(4, '0');
  return (d.negative ? "-" : "") + d.digits.substr(0, 1) + "." + d.digits.substr(1) +
         ExponentText(d.exponent);
}

std::string FormatFixed(double v, std::string_view quantity) {
  RequireFinite(v, quantity);
  Decimal d = ExactDecimal(v);
  RoundDecimals(d, 3);
  return FixedText(d, 3, 1);
}

std::string FormatFixedTwoDigits(double v, std::string_view quantity) {
  RequireFinite(v, quantity);
  Decimal d = ExactDecimal(v);
  RoundDecimals(d, 3);
  return FixedText(d, 3, 2);
}

}  // namespace reference

std::vector<double> Values() {
  std::vector<double> values = {0.0,
                                -0.0,
                                1.0,
                                0.5,
                                5e-4,
                                5e-5,
                                0.0005,
                                0.00049999999999999,
                                9.9995,
                                99.9995,
                                0.99995,
                                9.99949999999,
                                1e15,
                                1e16,
                                999999999999999.5,
                                123456789012345.5,
                                0.125,
                                0.0625,
                                0.03125,
                                2.5,
                                1.0625,
                                0.1,
                                0.3,
                                1e-300,
                                5e-324,
                                1.7976931348623157e308,
                                2.2250738585072014e-308};
  // Exact ties at many places: n/2^k rounds half way at its last digit.
  for (int k = 0; k <= 24; ++k) {
    for (int n = 1; n < 400; n += 7) values.push_back(std::ldexp(static_cast<double>(n), -k));
  }
  // Values next to decimal ties, which a rounding carry in the short digits could confuse.
  for (const double tie : {0.0005, 0.0015, 0.0025, 1.2345, 0.12345, 1.00005, 9.9995, 0.99995,
                           2.0005, 1.23456789012345e-5, 9.99999999999995, 0.999999999999995}) {
    double below = tie, above = tie;
    for (int i = 0; i < 40; ++i) {
      values.push_back(below = std::nextafter(below, 0.0));
      values.push_back(above = std::nextafter(above, 1e300));
    }
  }
  std::mt19937_64 random(4242);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  std::uniform_int_distribution<int> exponent(-40, 40);
  for (int i = 0; i < 20000; ++i)
    values.push_back(mantissa(random) * std::pow(10.0, exponent(random)));
  std::uniform_int_distribution<std::uint64_t> bits;
  for (int i = 0; i < 5000; ++i) {
    const std::uint64_t b = bits(random);
    double v;
    std::memcpy(&v, &b, sizeof v);
    if (std::isfinite(v)) values.push_back(v);
  }
  const std::size_t n = values.size();
  for (std::size_t i = 0; i < n; ++i) values.push_back(-values[i]);
  return values;
}

TEST(NumberFormats, EveryDigitAsTheExactFormatterPrintedIt) {
  for (const double v : Values()) {
    SCOPED_TRACE(reference::NumberItem(v, ""));
    ASSERT_EQ(NumberItem(v), reference::NumberItem(v, ""));
    ASSERT_EQ(FormatScientific(v), reference::FormatScientific(v, ""));
    ASSERT_EQ(FormatFixed(v), reference::FormatFixed(v, ""));
    ASSERT_EQ(FormatFixedTwoDigits(v), reference::FormatFixedTwoDigits(v, ""));
  }
}

}  // namespace
}  // namespace geofluid::report
