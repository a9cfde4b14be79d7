#pragma once

#include <optional>
#include <string_view>

namespace geofluid::form {

// The number a box holds: decimal text with optional sign, decimals and exponent, blanks around
// it allowed. Not numbers: empty or blank text, "inf", "nan", hexadecimal, a decimal comma,
// trailing garbage, and values beyond the range of a double. Independent of the locale.
std::optional<double> ParseNumber(std::string_view text);

// True when the text has the form of a decimal number but its value is beyond a double.
bool OutOfRange(std::string_view text);

}  // namespace geofluid::form
