#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace geofluid::engine {
struct Sample;
}
namespace geofluid::uncertainty {
struct InputErrors;
}
#include "shared_options.h"

namespace geofluid::cli {

inline constexpr int kOk = 0;
inline constexpr int kRunError = 1;
inline constexpr int kUsageError = 2;

struct ConstantsOptions {
  std::vector<const engine::Dataset*> datasets;
  double temperature = 0.0;
  std::string temperature_text;  // as given, for the messages
};

struct RunOptions {
  std::string sample;
  std::vector<const engine::Dataset*> datasets;
  std::string mode;  // "", "measured" or "other"
  bool no_steam_correction = false;
  // --temperature T, --separation TS and --set LABEL=TEXT in the order given, each as
  // LABEL=TEXT: the later of two for one box wins.
  std::vector<std::string> sets;
  std::optional<std::string> dir;   // as given; an empty name is a usage error
  std::optional<std::string> wait;  // seconds, as given
};

struct BatchOptions {
  std::string input;
  TemperatureList temperatures;  // none: each sample's pH temperature only
  std::vector<const engine::Dataset*> datasets;
  units::Concentration units = units::Concentration::kMolPerKgWater;
  std::optional<units::GasUnit> steam_units;
  bool no_steam_correction = false;
  Format format = Format::kCsv;
  std::string out = "-";
  std::string species;
  int jobs = 0;
  const engine::TableScheme* interpolation = nullptr;
  std::vector<std::string> fix;  // COMPONENT=MINERAL
};

struct GeothermometryOptions {
  std::string input;
  std::vector<const engine::Dataset*> datasets;
  TemperatureList temperatures;
  std::string minerals;  // A,B,...
  const engine::TableScheme* interpolation = nullptr;
  Format format = Format::kText;
  std::string plot;
  units::Concentration units = units::Concentration::kMolPerKgWater;
  std::optional<units::GasUnit> steam_units;
  bool no_steam_correction = false;
  int jobs = 0;
  double detection_fraction = 0.5;  // of a "<x" detection limit
  std::vector<std::string> fix;     // COMPONENT=MINERAL
  bool normalize = false;
  std::vector<std::string> optimize;  // steam_loss, dilution
  std::string minerals_file;
};

struct UncertaintyOptions {
  std::string input;
  DrawOptions draws;
  TemperatureList temperatures;
  std::vector<const engine::Dataset*> datasets;
  units::Concentration units = units::Concentration::kMolPerKgWater;
  bool no_steam_correction = false;
  Format format = Format::kText;
  std::string plot;
  int jobs = 0;
  std::vector<std::string> fix;  // COMPONENT=MINERAL
  bool normalize = false;
  std::vector<std::string> optimize;  // steam_loss, dilution
  // --scaling: the SI of the scaling minerals along the boiling and cooling path over the
  // draws, with the options of `scaling`.
  bool scaling = false;
  std::string reservoir, separation, stages, cooling, degassing = "closed", minerals;
};

struct ScalingOptions {
  std::string input;
  std::string reservoir;
  std::string separation;
  std::string stages;
  std::string cooling;
  std::string degassing = "closed";
  double step = 1.0;
  std::vector<const engine::Dataset*> datasets;
  std::string minerals;
  const engine::TableScheme* interpolation = nullptr;
  Format format = Format::kText;
  std::string plot;
  units::Concentration units = units::Concentration::kMolPerKgWater;
  std::optional<units::GasUnit> steam_units;
  int jobs = 0;
  DrawOptions draws;  // draws > 0: the uncertainty of the path
};
CLI::App* AddScalingCommand(CLI::App& app, ScalingOptions& options);
int RunScaling(const ScalingOptions& options, std::ostream& out, std::ostream& err);
// One sample's path and, with options.draws > 0, its uncertainty under `errors` (`scaling
// --draws` and `uncertainty --scaling` alike); options.input is not read.
int RunScalingOfSample(const ScalingOptions& options, const engine::Sample& sample,
                       const uncertainty::InputErrors& errors, std::ostream& out,
                       std::ostream& err);

CLI::App* AddConstantsCommand(CLI::App& app, ConstantsOptions& options);
CLI::App* AddRunCommand(CLI::App& app, RunOptions& options);

CLI::App* AddBatchCommand(CLI::App& app, BatchOptions& options);

CLI::App* AddGeothermometryCommand(CLI::App& app, GeothermometryOptions& options);
int RunGeothermometry(const GeothermometryOptions& options, std::ostream& out, std::ostream& err);
CLI::App* AddUncertaintyCommand(CLI::App& app, UncertaintyOptions& options);
int RunUncertainty(const UncertaintyOptions& options, std::istream& in, std::ostream& out,
                   std::ostream& err);

int RunConstants(const ConstantsOptions& options, std::ostream& out, std::ostream& err);
int RunRun(const RunOptions& options, std::ostream& out, std::ostream& err);
int RunBatchCommand(const BatchOptions& options, std::istream& in, std::ostream& out,
                    std::ostream& err);

}  // namespace geofluid::cli
