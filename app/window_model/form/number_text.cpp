#include "form/number_text.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace geofluid::form {

namespace {
bool Blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}
bool Digit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

namespace {
enum class Parse { kNumber, kNotNumber, kOutOfRange };

Parse ParseText(std::string_view text, double& result) {
  while (!text.empty() && Blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && Blank(text.back())) text.remove_suffix(1);
  if (text.empty()) return Parse::kNotNumber;
  // from_chars takes no '+' and accepts inf, nan and hexadecimal forms on request only; the
  // grammar is checked here so that exactly [sign] digits [. digits] [e [sign] digits] passes.
  bool negative = false;
  if (text.front() == '+' || text.front() == '-') {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::size_t i = 0;
  std::size_t digits = 0;
  while (i < text.size() && Digit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && Digit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return Parse::kNotNumber;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exponent_digits = 0;
    while (i < text.size() && Digit(text[i])) ++i, ++exponent_digits;
    if (exponent_digits == 0) return Parse::kNotNumber;
  }
  if (i != text.size()) return Parse::kNotNumber;

  double value = 0.0;
  const auto [end, ec] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (end != text.data() + text.size()) return Parse::kNotNumber;
  // Out of range covers both too large and too small for a double.
  if (ec == std::errc::result_out_of_range) return Parse::kOutOfRange;
  if (ec != std::errc() || !std::isfinite(value)) return Parse::kNotNumber;
  result = negative ? -value : value;
  return Parse::kNumber;
}
}  // namespace

std::optional<double> ParseNumber(std::string_view text) {
  double value = 0.0;
  if (ParseText(text, value) != Parse::kNumber) return std::nullopt;
  return value;
}

bool OutOfRange(std::string_view text) {
  double value = 0.0;
  return ParseText(text, value) == Parse::kOutOfRange;
}

}  // namespace geofluid::form
