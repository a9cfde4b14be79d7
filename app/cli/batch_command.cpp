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

namespace {

// The settings of the run, --fix resolved in every dataset; false with the usage error written.
bool Prepare(const BatchOptions& options, batch::BatchOptions& run, std::ostream& err) {
  run.threads = options.jobs;
  run.input.unit = options.units;
  if (options.steam_units) run.input.gas_unit = *options.steam_units;
  run.input.steam_correction = !options.no_steam_correction;
  run.evaluation.steam_correction = !options.no_steam_correction;
  run.evaluation.scheme = options.interpolation;
  run.evaluation.datasets = options.datasets;
  run.input.temperatures = options.temperatures.list;
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
    return false;
  }
  return true;
}

// No output may empty the input table or another output; false with the usage error written.
bool CheckOutputPaths(const BatchOptions& options, std::ostream& err) {
  // By device and inode, so that a link, another name or stdin redirected from the table is
  // caught before the output empties it.
  for (const std::string* output : {&options.out, &options.species}) {
    if (SameRegularFile(options.input, *output)) {
      err << "error: the output " << (*output == "-" ? "on stdout" : *output)
          << " would overwrite the input table "
          << (options.input == "-" ? "on stdin" : options.input) << '\n';
      return false;
    }
  }
  if (options.species == "-" && options.out == "-") {
    err << "error: --species - and the table both go to stdout: give --out FILE or --species "
           "FILE\n";
    return false;
  }
  if (!options.species.empty() &&
      (options.species == options.out || SameRegularFile(options.species, options.out))) {
    err << "error: --species and --out name the same file " << options.species << '\n';
    return false;
  }
  return true;
}

// The input table: stdin, or a file read in short polls so that Ctrl-C ends a wait for it.
struct InputTable {
  std::optional<PollingInBuf> buffer;
  std::optional<std::istream> file;
  std::istream* stream = nullptr;
};

// False with the usage error written.
bool OpenInputTable(const std::string& path, std::istream& stdin_stream,
                    const std::atomic<bool>& cancel, InputTable& table, std::ostream& err) {
  table.stream = &stdin_stream;
  if (path == "-") return true;
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    err << "error: " << path << " is a directory, not a CSV table\n";
    return false;
  }
  const int fd = OpenInput(path);
  if (fd < 0) {
    err << "error: cannot open the table " << path << ": " << platform::ErrorText(errno) << '\n';
    return false;
  }
  table.file.emplace(&table.buffer.emplace(fd, true, cancel));
  table.stream = &*table.file;
  return true;
}

// The table and species outputs of a run, and the first of them that could not be written
// whole, with its cause.
class BatchOutputs {
 public:
  BatchOutputs(const BatchOptions& options, std::atomic<bool>& cancel)
      : options_(options), cancel_(cancel) {}

  // --out and --species, "-" being `out`. False when one cannot be opened: with the usage error
  // written, or quietly when the wait for it was cancelled.
  bool Open(std::ostream& out, std::ostream& err) {
    table_ = &out;
    if (options_.out != "-") {
      if (!OpenFile(options_.out, "the output file", out_buffer_, out_file_, err)) return false;
      table_ = &*out_file_;
    }
    if (options_.species == "-") {
      species_ = &out;
    } else if (!options_.species.empty()) {
      if (!OpenFile(options_.species, "the species file", species_buffer_, species_file_, err))
        return false;
      species_ = &*species_file_;
    }
    return true;
  }

  std::ostream& Table() const { return *table_; }
  std::ostream* Species() const { return species_; }

  // Notes the first output that went bad, and stops the run.
  void Check() {
    if (!failed_output_.empty()) return;
    const std::pair<std::ostream*, const std::string*> outputs[] = {{table_, &options_.out},
                                                                    {species_, &options_.species}};
    for (const auto& [stream, path] : outputs) {
      if (stream == nullptr || *stream) continue;
      failed_output_ = *path;
      failed_error_ = OutputError(*stream);
      cancel_.store(true);
      return;
    }
  }

  // Writes out what is buffered and closes the files, then notes a failure as Check does.
  void Close() {
    for (std::ostream* stream : {table_, species_})
      if (stream != nullptr) stream->flush();
    if (out_buffer_) out_buffer_->Close();
    if (species_buffer_) species_buffer_->Close();
    Check();
    if (!failed_output_.empty()) return;
    if (out_buffer_ && out_buffer_->Error() != 0) {
      failed_output_ = options_.out;
      failed_error_ = out_buffer_->Error();
    } else if (species_buffer_ && species_buffer_->Error() != 0) {
      failed_output_ = options_.species;
      failed_error_ = species_buffer_->Error();
    }
  }

  // Empty while every output is whole.
  const std::string& FailedOutput() const { return failed_output_; }
  int FailedError() const { return failed_error_; }

 private:
  // Opened as descriptors: a FIFO nobody reads yet is waited for without blocking Ctrl-C, and a
  // write that fails keeps its cause for the message.
  bool OpenFile(const std::string& path, const char* what, std::optional<FdOutBuf>& buffer,
                std::optional<std::ostream>& stream, std::ostream& err) {
    const int fd = OpenOutput(path, cancel_);
    if (fd < 0) {
      if (errno == EINTR && cancel_.load()) return false;
      err << "error: cannot open " << what << ' ' << path << ": " << platform::ErrorText(errno)
          << '\n';
      return false;
    }
    stream.emplace(&buffer.emplace(fd, true));
    return true;
  }

  const BatchOptions& options_;
  std::atomic<bool>& cancel_;
  std::optional<FdOutBuf> out_buffer_, species_buffer_;
  std::optional<std::ostream> out_file_, species_file_;
  std::ostream* table_ = nullptr;
  std::ostream* species_ = nullptr;
  std::string failed_output_;
  int failed_error_ = 0;
};

// "12 samples (36 rows)".
std::string Written(const batch::Summary& summary) {
  const auto count = [](std::size_t n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
  };
  return count(summary.progress.samples, "sample") + " (" + count(summary.progress.rows, "row") +
         ")";
}

int Interrupted(std::ostream& err, const std::string& written) {
  err << InterruptGuard::What() << ": " << written << '\n';
  return InterruptGuard::ExitStatus();
}

// The end of a run that was not refused: what became of the outputs, and the exit status.
int Conclude(const batch::Summary& summary, const BatchOutputs& outputs,
             const std::atomic<bool>& cancel, std::ostream& err) {
  // A failed stdout is reported once, where the command line ends.
  if (outputs.FailedOutput() == "-") return kRunError;
  if (!outputs.FailedOutput().empty()) {
    err << "error: " << IncompleteOutput(outputs.FailedOutput(), outputs.FailedError())
        << " (it stopped after " << Written(summary) << ")\n";
    return kRunError;
  }
  if (summary.interrupted)
    return Interrupted(err,
                       "the output holds the first " + Written(summary) + ", each row complete");
  if (!summary.broken_input.empty()) {
    if (cancel.load())
      return Interrupted(err,
                         "the output holds the first " + Written(summary) + ", each row complete");
    err << "error: " << summary.broken_input << "; the output holds the first " << Written(summary)
        << '\n';
    return kRunError;
  }
  if (summary.progress.errors > 0 || summary.warnings > 0)
    err << "batch: " << Written(summary) << ": " << summary.progress.errors << " rows failed, "
        << summary.warnings << " with warnings (see the status and message columns)\n";
  return summary.progress.errors > 0 ? kRunError : kOk;
}

}  // namespace

int RunBatchCommand(const BatchOptions& options, std::istream& stdin_stream, std::ostream& out,
                    std::ostream& err) {
  batch::BatchOptions run;
  if (!Prepare(options, run, err) || !CheckOutputPaths(options, err)) return kUsageError;
  const auto format = options.format == Format::kJson    ? batch::Format::kJson
                      : options.format == Format::kJsonl ? batch::Format::kJsonl
                                                         : batch::Format::kCsv;
  InterruptGuard guard;
  std::atomic<bool>& cancel = InterruptGuard::Requested();
  InputTable in;
  if (!OpenInputTable(options.input, stdin_stream, cancel, in, err)) return kUsageError;
  try {
    // The header is checked before any output file is touched.
    std::optional<batch::CsvInput> input;
    try {
      input.emplace(*in.stream, run.input);
    } catch (const std::exception&) {
      if (cancel.load()) return Interrupted(err, "nothing was written");
      throw;
    }
    BatchOutputs outputs(options, cancel);
    if (!outputs.Open(out, err))
      return cancel.load() ? Interrupted(err, "nothing was written") : kUsageError;

    auto table = batch::MakeTableWriter(outputs.Table(), format);
    std::vector<batch::RowSink*> sinks = {table.get()};
    std::unique_ptr<batch::RowSink> species;
    if (outputs.Species() != nullptr) {
      species = batch::MakeSpeciesWriter(*outputs.Species(), format);
      sinks.push_back(species.get());
    }
    batch::SinkList sink(sinks);

    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    bool progress_shown = false;
    const auto progress = [&](const batch::Progress& p) {
      outputs.Check();
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
    outputs.Close();
    return Conclude(summary, outputs, cancel, err);
  } catch (const batch::UsageError& e) {
    err << "error: " << e.what() << '\n';
    return kUsageError;
  } catch (const std::exception& e) {
    err << "error: " << e.what() << '\n';
    return kRunError;
  }
}

}  // namespace geofluid::cli
