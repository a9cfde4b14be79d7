#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

#include "batch/batch.h"
#include "cli_commands.h"
#include "interp/steffen.h"

namespace geofluid::cli {

namespace {

// Set by SIGINT. A signal handler can reach nothing but process-wide state; the run itself
// only reads it, through the reference RunBatch takes.
std::atomic<bool> interrupt_requested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int) { interrupt_requested.store(true); }

// Installs the SIGINT handler for the lifetime of the run and restores the previous one.
class InterruptGuard {
 public:
  InterruptGuard() {
    interrupt_requested.store(false);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    // Restarted system calls: a write cut short by the signal would otherwise end the output
    // mid-row. The run sees the flag between chunks.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &previous_);
  }
  ~InterruptGuard() { ::sigaction(SIGINT, &previous_, nullptr); }
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

 private:
  struct sigaction previous_ {};
};

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return a != "-" && b != "-" && std::filesystem::equivalent(a, b, ec);
}

}  // namespace

CLI::App* AddBatchCommand(CLI::App& app, BatchOptions& options) {
  CLI::App* batch = app.add_subcommand(
      "batch", "Calculate every sample of a CSV table at one or more temperatures");
  batch->add_option("input", options.input, "CSV table, one sample per row (- for stdin)")
      ->required();
  batch->add_option("--temperatures", options.temperatures,
                    "°C to carry each pH to: 150,200,250 or 100:300:10 (default: the measured "
                    "mode at each sample's pH temperature only)");
  batch->add_option("--dataset", options.dataset, "solveq (default), supcrt or both")
      ->check(CLI::IsMember({"solveq", "supcrt", "both"}));
  batch
      ->add_option("--units", options.units,
                   "unit of the water's analysis: mol/kg (default), mg/kg or mg/L")
      ->check(CLI::IsMember({"mol/kg", "mg/kg", "mg/L"}));
  batch
      ->add_option("--steam-units", options.steam_units,
                   "unit of the steam's CO2 and H2S per kg of steam: mol/kg, mmol/kg or mg/kg "
                   "(default: mol/kg with mol/kg, else mg/kg)")
      ->check(CLI::IsMember({"mol/kg", "mmol/kg", "mg/kg"}));
  batch->add_flag("--no-steam-correction", options.no_steam_correction,
                  "carry the pH without the steam correction");
  batch->add_option("--format", options.format, "csv (default), json or jsonl")
      ->check(CLI::IsMember({"csv", "json", "jsonl"}));
  batch->add_option("--out", options.out, "output file (default - for stdout)");
  batch->add_option("--species", options.species, "also write the species in long form here");
  batch->add_option("--jobs", options.jobs, "threads (default 0: all cores)")
      ->check(CLI::NonNegativeNumber);
  batch
      ->add_option("--interpolation", options.interpolation,
                   "how the tables are carried to a temperature: specified (default, the "
                   "window's polynomial) or steffen (monotone piecewise cubic)")
      ->check(CLI::IsMember({"specified", "steffen"}));
  return batch;
}

int RunBatchCommand(const BatchOptions& options, std::istream& stdin_stream, std::ostream& out,
                    std::ostream& err) {
  batch::BatchOptions run;
  run.threads = options.jobs;
  run.input.unit = *units::ConcentrationFromText(options.units);
  if (!options.steam_units.empty())
    run.input.gas_unit = units::GasUnitFromText(options.steam_units);
  run.input.steam_correction = !options.no_steam_correction;
  run.evaluation.steam_correction = !options.no_steam_correction;
  run.evaluation.scheme = interp::SchemeByName(options.interpolation);
  if (run.evaluation.scheme == nullptr) {
    err << "error: --interpolation " << options.interpolation
        << ": unknown scheme (specified or steffen)\n";
    return kUsageError;
  }
  if (options.dataset != "supcrt")
    run.evaluation.datasets.push_back(engine::Dataset::FromKey("solveq"));
  if (options.dataset != "solveq")
    run.evaluation.datasets.push_back(engine::Dataset::FromKey("supcrt"));
  const auto format = *batch::FormatFromText(options.format);

  if (SameFile(options.input, options.out) || SameFile(options.input, options.species)) {
    err << "error: the output would overwrite the input table " << options.input << '\n';
    return kUsageError;
  }
  if (options.species == "-" && options.out == "-") {
    err << "error: --species - and the table both go to stdout: give --out FILE or --species "
           "FILE\n";
    return kUsageError;
  }
  if (!options.species.empty() &&
      (options.species == options.out || SameFile(options.species, options.out))) {
    err << "error: --species and --out name the same file " << options.species << '\n';
    return kUsageError;
  }

  std::ifstream file;
  std::istream* in = &stdin_stream;
  if (options.input != "-") {
    std::error_code ec;
    if (std::filesystem::is_directory(options.input, ec)) {
      err << "error: " << options.input << " is a directory, not a CSV table\n";
      return kUsageError;
    }
    file.open(options.input, std::ios::binary);
    if (!file) {
      err << "error: cannot open the table " << options.input << ": " << std::strerror(errno)
          << '\n';
      return kUsageError;
    }
    in = &file;
  }

  InterruptGuard guard;
  try {
    if (!options.temperatures.empty())
      run.input.temperatures = batch::ParseTemperatures(options.temperatures);
    // The header is checked before any output file is touched.
    batch::CsvInput input(*in, run.input);

    std::ofstream out_file;
    std::ostream* table_stream = &out;
    if (options.out != "-") {
      out_file.open(options.out, std::ios::binary | std::ios::trunc);
      if (!out_file) {
        err << "error: cannot open the output file " << options.out << ": " << std::strerror(errno)
            << '\n';
        return kUsageError;
      }
      table_stream = &out_file;
    }
    std::ofstream species_file;
    std::ostream* species_stream = nullptr;
    if (!options.species.empty()) {
      if (options.species == "-") {
        species_stream = &out;
      } else {
        species_file.open(options.species, std::ios::binary | std::ios::trunc);
        if (!species_file) {
          err << "error: cannot open the species file " << options.species << ": "
              << std::strerror(errno) << '\n';
          return kUsageError;
        }
        species_stream = &species_file;
      }
    }

    auto table = batch::MakeTableWriter(*table_stream, format);
    std::vector<batch::RowSink*> sinks = {table.get()};
    std::unique_ptr<batch::RowSink> species;
    if (species_stream != nullptr) {
      species = batch::MakeSpeciesWriter(*species_stream, format);
      sinks.push_back(species.get());
    }
    batch::SinkList sink(sinks);

    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    bool progress_shown = false;
    const auto progress = [&](const batch::Progress& p) {
      if (!terminal) return;
      err << "\rbatch: " << p.samples << " samples, " << p.rows << " rows, " << p.errors
          << " errors" << std::flush;
      progress_shown = true;
    };
    const batch::Summary summary = batch::RunBatch(input, run, sink, progress, interrupt_requested);
    if (progress_shown) err << '\n';

    const auto written = [&] {
      const auto count = [](std::size_t n, const char* what) {
        return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
      };
      return count(summary.progress.samples, "sample") + " (" +
             count(summary.progress.rows, "row") + ")";
    };
    if ((out_file.is_open() && !out_file) || (species_file.is_open() && !species_file) ||
        !*table_stream) {
      err << "error: cannot write the output: " << std::strerror(errno) << '\n';
      return kRunError;
    }
    if (summary.interrupted) {
      err << "interrupted: the output holds the first " << written() << ", each row complete\n";
      return 128 + SIGINT;
    }
    if (!summary.broken_input.empty()) {
      err << "error: " << summary.broken_input << "; the output holds the first " << written()
          << '\n';
      return kRunError;
    }
    if (summary.progress.errors > 0 || summary.warnings > 0)
      err << "batch: " << written() << ": " << summary.progress.errors << " rows failed, "
          << summary.warnings << " with warnings (see the status and message columns)\n";
    return summary.progress.errors > 0 ? kRunError : kOk;
  } catch (const batch::UsageError& e) {
    err << "error: " << e.what() << '\n';
    return kUsageError;
  } catch (const std::exception& e) {
    err << "error: " << e.what() << '\n';
    return kRunError;
  }
}

}  // namespace geofluid::cli
