#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>

#include "batch/batch.h"
#include "cli_commands.h"
#include "cli_io.h"
#include "geothermometry/sweep.h"
#include "interp/steffen.h"
#include "option_checks.h"
#include "platform/files.h"

namespace geofluid::cli {

CLI::App* AddBatchCommand(CLI::App& app, BatchOptions& options) {
  CLI::App* batch = app.add_subcommand(
      "batch", "Calculate every sample of a CSV table at one or more temperatures");
  batch->add_option("input", options.input, "CSV table, one sample per row (- for stdin)")
      ->required();
  AddTemperatureOptions(*batch, options.temperatures, std::nullopt,
                        "default: none, the measured mode at each sample's pH temperature only");
  AddDatasetOption(*batch, options.datasets, DatasetUse::kOneOrBoth);
  AddUnitsOption(*batch, options.units);
  AddSteamUnitsOption(*batch, options.steam_units);
  batch->add_flag("--no-steam-correction", options.no_steam_correction,
                  "carry the pH without the steam correction");
  AddFormatOption(*batch, options.format, {Format::kCsv, Format::kJson, Format::kJsonl},
                  "csv (default), json or jsonl");
  AddOutOption(*batch, options.out);
  batch->add_option("--species", options.species, "also write the species in long form here")
      ->type_name("FILE");
  AddJobsOption(*batch, options.jobs);
  AddInterpolationOption(*batch, options.interpolation);
  batch
      ->add_option("--fix", options.fix,
                   "COMPONENT=MINERAL: at each temperature solve the component's total (Al, Mg, "
                   "Fe, SiO2) that saturates the mineral, reported as fixed_<COMPONENT>; a "
                   "row's fix_<COMPONENT> cell overrides it; repeatable")
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  RefuseEmptyValues(*batch);
  return batch;
}

int RunBatchCommand(const BatchOptions& options, std::istream& stdin_stream, std::ostream& out,
                    std::ostream& err) {
  batch::BatchOptions run;
  run.threads = options.jobs;
  run.input.unit = options.units;
  if (options.steam_units) run.input.gas_unit = *options.steam_units;
  run.input.steam_correction = !options.no_steam_correction;
  run.evaluation.steam_correction = !options.no_steam_correction;
  run.evaluation.scheme = options.interpolation;
  run.evaluation.datasets = options.datasets;
  run.input.temperatures = options.temperatures.list;
  const auto format = options.format == Format::kJson    ? batch::Format::kJson
                      : options.format == Format::kJsonl ? batch::Format::kJsonl
                                                         : batch::Format::kCsv;
  try {
    std::vector<geothermometry::FixedComponent> fixes;
    for (const std::string& option : options.fix) {
      std::stringstream items(option);
      for (std::string item; std::getline(items, item, ',');)
        fixes.push_back(geothermometry::ParseFix(item));
    }
    for (const auto* d : run.evaluation.datasets) geothermometry::ResolveFixes(*d, fixes);
    for (auto& f : fixes) run.evaluation.fix.emplace_back(f.component, f.mineral);
  } catch (const std::invalid_argument& e) {
    err << "error: " << e.what() << '\n';
    return kUsageError;
  }

  // By device and inode, so that a link, another name or stdin redirected from the table is
  // caught before the output empties it.
  for (const std::string* output : {&options.out, &options.species}) {
    if (SameRegularFile(options.input, *output)) {
      err << "error: the output " << (*output == "-" ? "on stdout" : *output)
          << " would overwrite the input table "
          << (options.input == "-" ? "on stdin" : options.input) << '\n';
      return kUsageError;
    }
  }
  if (options.species == "-" && options.out == "-") {
    err << "error: --species - and the table both go to stdout: give --out FILE or --species "
           "FILE\n";
    return kUsageError;
  }
  if (!options.species.empty() &&
      (options.species == options.out || SameRegularFile(options.species, options.out))) {
    err << "error: --species and --out name the same file " << options.species << '\n';
    return kUsageError;
  }

  InterruptGuard guard;
  std::atomic<bool>& cancel = InterruptGuard::Requested();
  std::optional<PollingInBuf> file_buffer;
  std::optional<std::istream> file;
  std::istream* in = &stdin_stream;
  if (options.input != "-") {
    std::error_code ec;
    if (std::filesystem::is_directory(options.input, ec)) {
      err << "error: " << options.input << " is a directory, not a CSV table\n";
      return kUsageError;
    }
    const int fd = OpenInput(options.input);
    if (fd < 0) {
      err << "error: cannot open the table " << options.input << ": " << platform::ErrorText(errno)
          << '\n';
      return kUsageError;
    }
    file.emplace(&file_buffer.emplace(fd, true, cancel));
    in = &*file;
  }

  const auto interrupted = [&](const std::string& written) {
    err << InterruptGuard::What() << ": " << written << '\n';
    return InterruptGuard::ExitStatus();
  };
  try {
    // The header is checked before any output file is touched.
    std::optional<batch::CsvInput> input;
    try {
      input.emplace(*in, run.input);
    } catch (const std::exception&) {
      if (cancel.load()) return interrupted("nothing was written");
      throw;
    }

    // Opened as descriptors: a FIFO nobody reads yet is waited for without blocking Ctrl-C, and
    // a write that fails keeps its cause for the message.
    const auto open = [&](const std::string& path, const char* what,
                          std::optional<FdOutBuf>& buffer, std::optional<std::ostream>& stream) {
      const int fd = OpenOutput(path, cancel);
      if (fd < 0) {
        if (errno == EINTR && cancel.load()) return false;
        err << "error: cannot open " << what << ' ' << path << ": " << platform::ErrorText(errno)
            << '\n';
        return false;
      }
      stream.emplace(&buffer.emplace(fd, true));
      return true;
    };
    std::optional<FdOutBuf> out_buffer, species_buffer;
    std::optional<std::ostream> out_file, species_file;
    std::ostream* table_stream = &out;
    if (options.out != "-") {
      if (!open(options.out, "the output file", out_buffer, out_file))
        return cancel.load() ? interrupted("nothing was written") : kUsageError;
      table_stream = &*out_file;
    }
    std::ostream* species_stream = nullptr;
    if (!options.species.empty()) {
      if (options.species == "-") {
        species_stream = &out;
      } else {
        if (!open(options.species, "the species file", species_buffer, species_file))
          return cancel.load() ? interrupted("nothing was written") : kUsageError;
        species_stream = &*species_file;
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

    // The first output that cannot be written, with its cause; the run then stops.
    std::string failed_output;
    int failed_error = 0;
    const auto check_outputs = [&] {
      if (!failed_output.empty()) return;
      const std::pair<std::ostream*, const std::string*> outputs[] = {
          {table_stream, &options.out}, {species_stream, &options.species}};
      for (const auto& [stream, path] : outputs) {
        if (stream == nullptr || *stream) continue;
        failed_output = *path;
        failed_error = OutputError(*stream);
        cancel.store(true);
        return;
      }
    };

    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    bool progress_shown = false;
    const auto progress = [&](const batch::Progress& p) {
      check_outputs();
      if (!terminal) return;
      err << "\rbatch: " << p.samples << " samples, " << p.rows << " rows, " << p.errors
          << " errors" << std::flush;
      progress_shown = true;
    };
    batch::Summary summary;
    try {
      summary = batch::RunBatch(*input, run, sink, progress, cancel);
    } catch (const std::exception& e) {
      // The output is closed well formed by the run; say how far it got.
      if (progress_shown) err << '\n';
      err << "error: " << e.what() << "; the output is incomplete\n";
      return kRunError;
    }
    if (progress_shown) err << '\n';

    const auto written = [&] {
      const auto count = [](std::size_t n, const char* what) {
        return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
      };
      return count(summary.progress.samples, "sample") + " (" +
             count(summary.progress.rows, "row") + ")";
    };
    for (std::ostream* stream : {table_stream, species_stream})
      if (stream != nullptr) stream->flush();
    if (out_buffer) out_buffer->Close();
    if (species_buffer) species_buffer->Close();
    check_outputs();
    if (failed_output.empty()) {
      if (out_buffer && out_buffer->Error() != 0) {
        failed_output = options.out;
        failed_error = out_buffer->Error();
      } else if (species_buffer && species_buffer->Error() != 0) {
        failed_output = options.species;
        failed_error = species_buffer->Error();
      }
    }
    // A failed stdout is reported once, where the command line ends.
    if (failed_output == "-") return kRunError;
    if (!failed_output.empty()) {
      err << "error: " << IncompleteOutput(failed_output, failed_error) << " (it stopped after "
          << written() << ")\n";
      return kRunError;
    }
    if (summary.interrupted)
      return interrupted("the output holds the first " + written() + ", each row complete");
    if (!summary.broken_input.empty()) {
      if (cancel.load())
        return interrupted("the output holds the first " + written() + ", each row complete");
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
