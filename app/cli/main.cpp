// geofluid-cli: the command line of Geofluid.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli_commands.h"
#include "cli_io.h"
#include "geofluid/version.h"
#include "option_checks.h"
#include "output_file.h"
#include "platform/files.h"
#include "shared_options.h"

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
  // --out of the commands that write one output (batch has its own, beside --species).
  std::string out_path = "-";
  for (CLI::App* command :
       {constants_command, geothermometry_command, uncertainty_command, scaling_command})
    geofluid::cli::AddOutOption(*command, out_path)->check(geofluid::cli::NotEmpty());
  const std::vector<std::string> args = geofluid::cli::EmptyValuesSpelledOut(argc, argv);
  std::vector<const char*> arg_texts;
  for (const std::string& arg : args) arg_texts.push_back(arg.c_str());
  try {
    app.parse(static_cast<int>(arg_texts.size()), arg_texts.data());
  } catch (const CLI::Success& e) {  // --help, --version
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "error: " << e.what() << "\n";
    return geofluid::cli::kUsageError;
  }
  // stdout through a buffer that keeps the cause of a failed write, so that a full disk or a
  // file-size limit is reported instead of ending in a silent, partial output; stdin polled, so
  // that waiting on a terminal or an idle pipe ends at Ctrl-C.
  geofluid::cli::FdOutBuf stdout_buffer(STDOUT_FILENO, false);
  std::ostream out(&stdout_buffer);
  std::optional<geofluid::cli::OutputFile> out_file;
  if (out_path != "-") {
    const std::string& input = geothermometry_command->parsed() ? geothermometry.input
                               : uncertainty_command->parsed()  ? uncertainty.input
                               : scaling_command->parsed()      ? scaling.input
                                                                : std::string();
    if (!input.empty() && geofluid::cli::SameRegularFile(input, out_path)) {
      std::cerr << "error: the output " << out_path << " would overwrite the input "
                << (input == "-" ? "on stdin" : input) << '\n';
      return geofluid::cli::kUsageError;
    }
    out.rdbuf(&out_file.emplace(out_path));
  }
  geofluid::cli::PollingInBuf stdin_buffer(STDIN_FILENO, false,
                                           geofluid::cli::InterruptGuard::Requested());
  std::istream in(&stdin_buffer);
  int status = geofluid::cli::kUsageError;
  if (constants_command->parsed()) status = geofluid::cli::RunConstants(constants, out, std::cerr);
  if (run_command->parsed()) status = geofluid::cli::RunRun(run, out, std::cerr);
  if (batch_command->parsed()) status = geofluid::cli::RunBatchCommand(batch, in, out, std::cerr);
  if (geothermometry_command->parsed())
    status = geofluid::cli::RunGeothermometry(geothermometry, out, std::cerr);
  if (uncertainty_command->parsed())
    status = geofluid::cli::RunUncertainty(uncertainty, in, out, std::cerr);
  if (scaling_command->parsed()) status = geofluid::cli::RunScaling(scaling, out, std::cerr);
  out.flush();
  if (out_file) {
    // A command that ran and wrote nothing still leaves its (empty) output.
    if (status != geofluid::cli::kUsageError && out_file->Untouched()) out_file->Open();
    if (!out_file->Close()) {
      std::cerr << "error: " << geofluid::cli::IncompleteOutput(out_path, out_file->Error())
                << '\n';
      return status == geofluid::cli::kOk ? geofluid::cli::kRunError : status;
    }
  }
  if (!stdout_buffer.Close()) {
    std::cerr << "error: " << geofluid::cli::IncompleteOutput("-", stdout_buffer.Error()) << '\n';
    return status == geofluid::cli::kOk ? geofluid::cli::kRunError : status;
  }
  return status;
}
