#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"

namespace geofluid::report {

// The report's captions of one dataset.
struct ReportLayout {
  std::string_view title;
  std::size_t section_ruler;
  std::string_view composition;
  std::string_view column_header;
  std::string_view toth_caption;
  bool totals_in_display_format;  // SOLVEQ prints totals through 0.000E+00
};
const ReportLayout& LayoutOf(const engine::Dataset& dataset);

// A number item of the print statement: sign position (blank or "-"), the value with at most 15
// significant digits in general form (".5", "7", "1.234E-05"), one trailing blank.
// `quantity` names the value in the error raised when it is not finite.
// Throws ArithmeticError for NaN and infinities.
std::string NumberItem(double v, std::string_view quantity = "a number of the report");

// The display formats of the report: "0.000E+00", "0.000" and "00.000". Rounding is half away
// from zero on the exact value of the double; a negative value that rounds to zero keeps its "-"
// ("-0.000"). Each throws ArithmeticError naming `quantity` when `v` is not finite.
std::string FormatScientific(double v, std::string_view quantity = "a number of the report");
std::string FormatFixed(double v, std::string_view quantity = "a number of the report");
std::string FormatFixedTwoDigits(double v, std::string_view quantity = "a number of the report");

// A formatted text read back as a number and printed as a number item: FormatScientific of
// 0.015 is "1.500E-02", printed " .015 ".
std::string AsNumberItem(std::string_view formatted, std::string_view quantity);

// The lines of the report of an evaluation, the temperature printed as typed, without line ends:
// 137 for SOLVEQ, 139 for SUPCRT98. Throws ArithmeticError naming the quantity when a value cannot
// be printed (a non-finite value, or a species whose activity is not positive so that its log
// activity does not exist).
std::vector<std::string> ReportLines(const engine::Evaluation& r,
                                     std::string_view temperature_text);

// The report file's contents: every line ended by CR LF.
std::string ReportText(const engine::Evaluation& r, std::string_view temperature_text);

}  // namespace geofluid::report
