// The number of a box: accepted only for decimal text, always finite, and the value strtod
// gives for the same text.
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "form/number_text.h"
#include "fuzz_check.h"

namespace {

bool Blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}
bool Digit(char c) { return c >= '0' && c <= '9'; }

// [blanks] [sign] (digits [. [digits]] | . digits) [(e|E) [sign] digits] [blanks], written
// independently of the parser under test.
bool DecimalGrammar(std::string_view s) {
  std::size_t i = 0;
  const auto digits = [&] {
    const std::size_t start = i;
    while (i < s.size() && Digit(s[i])) ++i;
    return i - start;
  };
  while (i < s.size() && Blank(s[i])) ++i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t mantissa = digits();
  if (i < s.size() && s[i] == '.') {
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (digits() == 0) return false;
  }
  while (i < s.size() && Blank(s[i])) ++i;
  return i == s.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::optional<double> value = geofluid::form::ParseNumber(text);
  const bool grammar = DecimalGrammar(text);
  if (value) {
    FUZZ_CHECK(grammar, "accepted non-decimal text [%s]", text.c_str());
    FUZZ_CHECK(std::isfinite(*value), "non-finite value for [%s]", text.c_str());
  }
  if (!grammar) return 0;
  // The reference: strtod in the "C" locale (the harness never changes the locale) on the
  // same text; an embedded NUL cannot be part of a decimal text, so c_str() is complete.
  errno = 0;
  char* end = nullptr;
  const double reference = std::strtod(text.c_str(), &end);
  const bool in_range = errno != ERANGE && std::isfinite(reference);
  if (in_range) {
    FUZZ_CHECK(value.has_value(), "rejected [%s] (%.17g)", text.c_str(), reference);
    FUZZ_CHECK(*value == reference, "[%s] gave %.17g, expected %.17g", text.c_str(), *value,
               reference);
  } else if (value) {
    // Beyond the range of a double: an accepted value is at most the rounding of it.
    FUZZ_CHECK(std::fabs(*value) <= 1.0 || *value == reference, "[%s] out of range gave %.17g",
               text.c_str(), *value);
  }
  return 0;
}
