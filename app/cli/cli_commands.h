#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace geofluid::cli {

inline constexpr int kOk = 0;
inline constexpr int kRunError = 1;
inline constexpr int kUsageError = 2;

struct ConstantsOptions {
  std::string dataset = "solveq";
  std::string temperature;
};

struct RunOptions {
  std::string sample;
  std::string dataset = "solveq";
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
  std::string temperatures;
  std::string dataset = "solveq";
  std::string units = "mol/kg";
  std::string steam_units;
  bool no_steam_correction = false;
  std::string format = "csv";
  std::string out = "-";
  std::string species;
  int jobs = 0;
  std::string interpolation = "specified";
  std::vector<std::string> fix;  // COMPONENT=MINERAL
};

struct GeothermometryOptions {
  std::string input;
  std::string dataset = "both";
  double from = 100.0;
  double to = 300.0;
  double step = 5.0;
  std::string minerals;  // A,B,...
  std::string interpolation = "specified";
  std::string format = "text";
  std::string plot;
  std::string units = "mol/kg";
  std::string steam_units;
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
  int draws = 1000;
  std::uint64_t seed = 1;
  std::vector<std::string> errors;  // KEY=VALUE
  std::string temperatures;
  double from = 100.0, to = 300.0, step = 5.0;
  std::string dataset = "solveq";
  std::string units = "mol/kg";
  bool no_steam_correction = false;
  std::string format = "text";
  std::string plot;
  int jobs = 0;
  std::vector<std::string> fix;  // COMPONENT=MINERAL
  bool normalize = false;
  std::vector<std::string> optimize;  // steam_loss, dilution
};

struct ScalingOptions {
  std::string input;
  std::string reservoir;
  std::string separation;
  std::string stages;
  std::string cooling;
  std::string degassing = "closed";
  double step = 1.0;
  std::string dataset = "both";
  std::string minerals;
  std::string interpolation = "specified";
  std::string format = "text";
  std::string plot;
  std::string units = "mol/kg";
  std::string steam_units;
  int jobs = 0;
  int draws = 0;  // > 0: the uncertainty of the path
  std::uint64_t seed = 1;
  std::vector<std::string> errors;  // KEY=VALUE
};
CLI::App* AddScalingCommand(CLI::App& app, ScalingOptions& options);
int RunScaling(const ScalingOptions& options, std::ostream& out, std::ostream& err);

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
