#pragma once

// Checks every command applies to its option values before they are converted, so that a
// mistake is a usage error naming the option instead of a silent zero or default.

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace geofluid::cli {

// The command line with every "--name=" written as "--name" "": the parser takes a bare "--name="
// as no value and would take the next argument (another option) as the value instead.
std::vector<std::string> EmptyValuesSpelledOut(int argc, const char* const* argv);

// A value that is not empty (nor blanks only).
CLI::Validator NotEmpty();

// Refuses an empty value ("--from ''", "--seed=") for every option of `command` that takes one;
// call it once all options are added.
void RefuseEmptyValues(CLI::App& command);

// A seed: a whole number from 0 to 18446744073709551615, digits only (no sign, no exponent), so
// that two different texts are never the same seed.
CLI::Validator SeedText();

// A count of threads from 0 (all cores) to `most`, named in the message.
CLI::Validator JobsCount(int most);

}  // namespace geofluid::cli
