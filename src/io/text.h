#pragma once

// Numbers and labels as text, independent of the locale: the one place that writes and reads
// numbers for the tables, reports and messages of the layers above the core.

#include <optional>
#include <string>
#include <string_view>

namespace geofluid::io {

// Without the blanks and tabs around it.
std::string_view Trim(std::string_view text);

// ---- Numbers ---------------------------------------------------------------------------------

// A finite decimal number filling the whole text (blanks around it and a leading '+'
// allowed); nullopt for anything else, "inf", "nan" and hexadecimal included.
std::optional<double> ParseNumber(std::string_view text);

// The shortest text that reads back to the same double ("0.1", "1e+05", "123.25"): what the
// tables write.
std::string Shortest(double value);
void AppendShortest(std::string& out, double value);
// printf's %.15g, or %.16g or %.17g where fewer digits do not read back ("100000", not
// "1e+05"): the layout the geothermometry and scaling tables have always had.
std::string ShortestGeneral(double value);
// printf's %.*f, %.*g and %.*e.
std::string Fixed(double value, int decimals);
std::string General(double value, int precision = 6);
std::string Scientific(double value, int decimals);

// ---- Labels ----------------------------------------------------------------------------------

bool IsValidUtf8(std::string_view text);

// A cell quoted for a message: at most 40 characters, bytes that are not printable UTF-8
// shown as \xNN.
std::string QuoteCell(std::string_view text);

// A label (a sample's id) as every output writes it: control characters (C0, DEL, and the C1
// range U+0080-U+009F) and bytes that are not UTF-8 become visible escapes (\x0A, \u0085,
// \xFF), so that a newline or a NUL can neither split a row nor cut the label short. Other
// text, backslashes included, is kept as it is.
std::string EscapeLabel(std::string_view text);

}  // namespace geofluid::io
