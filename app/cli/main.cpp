// geofluid-cli: the command line of Geofluid.
#include <CLI/CLI.hpp>
#include <iostream>
#include <string>

#include "cli_commands.h"
#include "geofluid/version.h"
#include "platform/files.h"

int main(int argc, char** argv) {
  geofluid::platform::IgnoreFileSizeSignal();
  CLI::App app{"Geofluid: chemistry of geothermal fluids"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("geofluid-cli ") + GEOFLUID_VERSION);
  geofluid::cli::ConstantsOptions constants;
  CLI::App* constants_command = geofluid::cli::AddConstantsCommand(app, constants);
  geofluid::cli::RunOptions run;
  CLI::App* run_command = geofluid::cli::AddRunCommand(app, run);
  geofluid::cli::BatchOptions batch;
  CLI::App* batch_command = geofluid::cli::AddBatchCommand(app, batch);
  geofluid::cli::GeothermometryOptions geothermometry;
  CLI::App* geothermometry_command = geofluid::cli::AddGeothermometryCommand(app, geothermometry);
  geofluid::cli::UncertaintyOptions uncertainty;
  CLI::App* uncertainty_command = geofluid::cli::AddUncertaintyCommand(app, uncertainty);
  geofluid::cli::ScalingOptions scaling;
  CLI::App* scaling_command = geofluid::cli::AddScalingCommand(app, scaling);
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {  // --help, --version
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "error: " << e.what() << "\n";
    return geofluid::cli::kUsageError;
  }
  if (constants_command->parsed())
    return geofluid::cli::RunConstants(constants, std::cout, std::cerr);
  if (run_command->parsed()) return geofluid::cli::RunRun(run, std::cout, std::cerr);
  if (batch_command->parsed())
    return geofluid::cli::RunBatchCommand(batch, std::cin, std::cout, std::cerr);
  if (geothermometry_command->parsed())
    return geofluid::cli::RunGeothermometry(geothermometry, std::cout, std::cerr);
  if (uncertainty_command->parsed())
    return geofluid::cli::RunUncertainty(uncertainty, std::cout, std::cerr);
  if (scaling_command->parsed()) return geofluid::cli::RunScaling(scaling, std::cout, std::cerr);
  return geofluid::cli::kUsageError;
}
