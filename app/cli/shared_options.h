#pragma once

// The options the commands have in common, declared once: each is checked and converted to its
// typed value while the command line is parsed, so that a command never meets an option as text
// and every command words, defaults and checks an option alike. A mistake is a usage error (exit
// 2) naming the option.

#include <CLI/CLI.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "units/units.h"

namespace geofluid::cli {

// The datasets a command evaluates, in the order solveq, supcrt. Every command that can give
// both gives both unless told otherwise, so that the two sets of thermodynamic data are compared
// by default; `run` and `constants` show one dataset at a time and take solveq unless told.
enum class DatasetUse { kOneOrBoth, kOne };
CLI::Option* AddDatasetOption(CLI::App& command, std::vector<const engine::Dataset*>& into,
                              DatasetUse use);

// --units: the unit of the water's analysis in a table (default mol/kg).
CLI::Option* AddUnitsOption(CLI::App& command, units::Concentration& into);
// --steam-units: the unit of the steam's CO2 and H2S in a table (unset: units::DefaultGasUnit).
CLI::Option* AddSteamUnitsOption(CLI::App& command, std::optional<units::GasUnit>& into);
// --interpolation: how the tables are carried to a temperature (default the specified one).
CLI::Option* AddInterpolationOption(CLI::App& command, const engine::TableScheme*& into);

enum class Format { kText, kCsv, kJson, kJsonl };
// --format, offering `offered` (the first is the default); `help` says what each gives.
CLI::Option* AddFormatOption(CLI::App& command, Format& into, std::vector<Format> offered,
                             const std::string& help);
// --jobs: threads, 0 for all cores (the default).
CLI::Option* AddJobsOption(CLI::App& command, int& into);
// --out: where the output goes, "-" (the default) for stdout.
CLI::Option* AddOutOption(CLI::App& command, std::string& into);

// The temperatures of a command, °C.
struct TemperatureList {
  std::vector<double> list;  // as given, or the command's default
  bool given = false;        // by --temperatures or --from/--to/--step
};
// --temperatures LIST (150,200,250 or 100:300:10; also spelled --temperature), and --from,
// --to, --step: the documented other way to write FROM:TO:STEP, each defaulting to the default
// grid's. `grid` is the default: {from, to, step}, or nullopt for none (an empty list).
struct Grid {
  double from, to, step;
};
void AddTemperatureOptions(CLI::App& command, TemperatureList& into, std::optional<Grid> grid,
                           const std::string& default_help);

// Monte Carlo draws of the inputs' errors: --draws, --seed, --error KEY=VALUE.
struct DrawOptions {
  int draws = 0;
  std::uint64_t seed = 1;
  std::vector<std::string> errors;  // KEY=VALUE, in the order given
};
// `least` is the smallest count (0: no draws unless asked), `draws_help` what the draws are of.
void AddDrawOptions(CLI::App& command, DrawOptions& into, int default_draws, int least,
                    const std::string& draws_help);

}  // namespace geofluid::cli
