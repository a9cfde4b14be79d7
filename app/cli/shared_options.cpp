#include "shared_options.h"

#include <memory>
#include <stdexcept>
#include <utility>

#include "batch/batch.h"
#include "geothermometry/sweep.h"
#include "interp/steffen.h"
#include "io/text.h"
#include "option_checks.h"
#include "uncertainty/uncertainty.h"

namespace geofluid::cli {

namespace {

// An option whose text must be one of `choices`, stored as its value when parsed.
template <typename T>
CLI::Option* AddChoice(CLI::App& command, const std::string& name, T& into,
                       std::vector<std::pair<std::string, T>> choices, const std::string& help) {
  // Worded as the parser's own check of a set, which the Python module repeats.
  std::string names;
  for (const auto& choice : choices) names += (names.empty() ? "" : ",") + choice.first;
  std::string type;
  for (const auto& choice : choices) type += (type.empty() ? "" : "|") + choice.first;
  return command
      .add_option_function<std::string>(
          name,
          [name, &into, choices, names](const std::string& text) {
            for (const auto& [key, value] : choices) {
              if (text == key) {
                into = value;
                return;
              }
            }
            throw CLI::ValidationError(name, text + " not in {" + names + "}");
          },
          help)
      ->type_name(type);
}

std::string Celsius(double t) { return io::General(t); }

}  // namespace

CLI::Option* AddDatasetOption(CLI::App& command, std::vector<const engine::Dataset*>& into,
                              DatasetUse use) {
  const engine::Dataset* solveq = &engine::Dataset::Of(thermo::DatasetId::kSolveq);
  const engine::Dataset* supcrt = &engine::Dataset::Of(thermo::DatasetId::kSupcrt);
  using List = std::vector<const engine::Dataset*>;
  if (use == DatasetUse::kOne) {
    into = {solveq};
    return AddChoice<List>(command, "--dataset", into, {{"solveq", {solveq}}, {"supcrt", {supcrt}}},
                           "the thermodynamic dataset: solveq (default) or supcrt");
  }
  into = {solveq, supcrt};
  return AddChoice<List>(
      command, "--dataset", into,
      {{"solveq", {solveq}}, {"supcrt", {supcrt}}, {"both", {solveq, supcrt}}},
      "the thermodynamic dataset: solveq, supcrt or both (default: each sample with each)");
}

CLI::Option* AddUnitsOption(CLI::App& command, units::Concentration& into) {
  into = units::Concentration::kMolPerKgWater;
  using units::Concentration;
  return AddChoice<Concentration>(command, "--units", into,
                                  {{"mol/kg", Concentration::kMolPerKgWater},
                                   {"mg/kg", Concentration::kMgPerKgSolution},
                                   {"mg/L", Concentration::kMgPerLitre}},
                                  "unit of a table's water analysis: mol/kg (default, per kg of "
                                  "water), mg/kg (per kg of solution) or mg/L");
}

CLI::Option* AddSteamUnitsOption(CLI::App& command, std::optional<units::GasUnit>& into) {
  into.reset();
  using units::GasUnit;
  return AddChoice<std::optional<GasUnit>>(
      command, "--steam-units", into,
      {{"mol/kg", GasUnit::kMolPerKg},
       {"mmol/kg", GasUnit::kMmolPerKg},
       {"mg/kg", GasUnit::kMgPerKg}},
      "unit of a table's steam CO2 and H2S per kg of steam: mol/kg, mmol/kg or mg/kg (default: "
      "mol/kg with --units mol/kg, else mg/kg)");
}

CLI::Option* AddInterpolationOption(CLI::App& command, const engine::TableScheme*& into) {
  into = interp::SchemeByName("specified");
  return AddChoice<const engine::TableScheme*>(
      command, "--interpolation", into,
      {{"specified", interp::SchemeByName("specified")},
       {"steffen", interp::SchemeByName("steffen")}},
      "how the thermodynamic tables are carried to a temperature: specified (default, the "
      "calculation's own polynomial) or steffen (monotone piecewise cubic)");
}

CLI::Option* AddFormatOption(CLI::App& command, Format& into, std::vector<Format> offered,
                             const std::string& help) {
  static const std::pair<const char*, Format> kNames[] = {{"text", Format::kText},
                                                          {"csv", Format::kCsv},
                                                          {"json", Format::kJson},
                                                          {"jsonl", Format::kJsonl}};
  std::vector<std::pair<std::string, Format>> choices;
  for (const Format format : offered)
    for (const auto& [name, value] : kNames)
      if (value == format) choices.emplace_back(name, value);
  into = offered.front();
  return AddChoice<Format>(command, "--format", into, std::move(choices), help);
}

CLI::Option* AddJobsOption(CLI::App& command, int& into) {
  into = 0;
  return command.add_option("--jobs", into, "threads (default 0: all cores)")
      ->type_name("N")
      ->check(JobsCount(1024));
}

CLI::Option* AddOutOption(CLI::App& command, std::string& into) {
  into = "-";
  return command.add_option("--out", into, "output file (default - for stdout)")->type_name("FILE");
}

void AddTemperatureOptions(CLI::App& command, TemperatureList& into, std::optional<Grid> grid,
                           const std::string& default_help) {
  into = {};
  // The parts of FROM:TO:STEP, kept until the whole command line is read.
  auto range = std::make_shared<std::optional<Grid>>();
  const auto part = [range, grid](double Grid::*field) {
    return [range, grid, field](double value) {
      if (!*range) *range = grid.value_or(Grid{100.0, 300.0, 5.0});
      (**range).*field = value;
    };
  };
  CLI::Option* list = command.add_option_function<std::string>(
      "--temperatures,--temperature",
      [&into](const std::string& text) {
        try {
          into.list = batch::ParseTemperatures(text);
        } catch (const std::exception& e) {
          throw CLI::ValidationError(e.what());  // it names the list
        }
        into.given = true;
      },
      "temperatures, °C: 150,200,250 or 100:300:10 or both, 100:200:50,250 (" + default_help + ")");
  list->type_name("LIST");
  const Grid shown = grid.value_or(Grid{100.0, 300.0, 5.0});
  CLI::Option* from = command.add_option_function<double>(
      "--from", part(&Grid::from),
      "first temperature, °C: --from/--to/--step is --temperatures FROM:TO:STEP (default " +
          Celsius(shown.from) + ")");
  CLI::Option* to = command.add_option_function<double>(
      "--to", part(&Grid::to), "last temperature, °C (default " + Celsius(shown.to) + ")");
  CLI::Option* step = command.add_option_function<double>(
      "--step", part(&Grid::step), "temperature step, °C (default " + Celsius(shown.step) + ")");
  for (CLI::Option* o : {from, to, step}) o->type_name("T")->excludes(list);
  command.callback([&into, range, grid] {
    if (into.given) return;
    const std::optional<Grid> g = *range ? *range : grid;
    if (!g) return;
    try {
      into.list = geothermometry::TemperatureGrid(g->from, g->to, g->step);
    } catch (const std::invalid_argument& e) {
      throw CLI::ValidationError(e.what());
    }
    into.given = range->has_value();
  });
}

void AddDrawOptions(CLI::App& command, DrawOptions& into, int default_draws, int least,
                    const std::string& draws_help) {
  into = {};
  into.draws = default_draws;
  command.add_option("--draws", into.draws, draws_help)
      ->type_name("N")
      ->check(
          CLI::Range(least, 1000000).description("from " + std::to_string(least) + " to 1000000"));
  command
      .add_option("--seed", into.seed,
                  "seed of the random numbers (default 1): the same seed gives the same output "
                  "whatever --jobs")
      ->check(SeedText());
  command
      .add_option("--error", into.errors,
                  "an input's 1-sigma error, KEY=VALUE (repeatable): --error Na=3% --error "
                  "pH=0.05 --error Al=x2. " +
                      uncertainty::ErrorSyntaxHelp())
      ->type_name("KEY=VALUE");
}

}  // namespace geofluid::cli
