#pragma once

// Numbers and quoted cells of the batch tables, independent of the locale.

#include <optional>
#include <string>
#include <string_view>

namespace geofluid::batch {

// A finite decimal number filling the whole text (blanks around it allowed); nullopt for
// anything else, "inf", "nan" and hexadecimal included.
std::optional<double> ParseNumber(std::string_view text);

// The shortest text that reads back to the same double.
std::string FormatNumber(double value);
void AppendNumber(std::string& out, double value);

// A cell quoted for a message: at most 40 characters, bytes that are not printable UTF-8
// shown as \xNN.
std::string QuoteCell(std::string_view text);

bool IsValidUtf8(std::string_view text);

}  // namespace geofluid::batch
