#pragma once

// Many samples at once: a table of analyses in, one result per (sample, dataset, temperature)
// out, evaluated on several threads and written in input order. Front ends (command line,
// Python, the window) only translate to and from these types.

#include <atomic>
#include <cmath>
#include <cstddef>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/engine.h"
#include "platform/errors.h"
#include "units/units.h"

namespace geofluid::batch {

// A mistake in how the batch was asked for (options, the header of the table): nothing was
// evaluated.
class UsageError : public Error {
 public:
  using Error::Error;
};

// Temperatures in °C: "150,200,250", "100:300:10" (start:stop:step, stop included when a step
// lands on it) or both, "100:200:50,250". Throws UsageError with a message naming the item.
std::vector<double> ParseTemperatures(std::string_view list);

// One sample as read, or why it could not be read.
struct Job {
  // Line of the table where the row starts (for a table given as cells, the row's number from
  // 1); 0 when not read from one.
  std::size_t line = 0;
  engine::Sample sample;
  // Temperatures to carry the pH to; empty: only the measured mode at the pH temperature.
  std::vector<double> temperatures;
  // From fix_<component> cells: (component, mineral) whose equilibrium fixes the component's
  // total at each of this row's temperatures, over EvaluationOptions::fix.
  std::vector<std::pair<std::string, std::string>> fix;
  std::string fault;  // not empty: the row could not be read, and this says why
  // The columns given below a detection limit ("<0.01") or as not detected ("n.d."), each with
  // what the calculation took: "Mg <0.01 (0.005 used)".
  std::vector<std::string> below_detection;
  // The cells of the columns claimed by InputOptions::extra_column, (column, trimmed cell), in
  // the order of the header.
  std::vector<std::pair<std::string, std::string>> extra;
};

enum class Status { kOk, kWarning, kError };
std::string_view Text(Status status);

struct EvaluationOptions {
  std::vector<const engine::Dataset*> datasets;  // each sample is evaluated with each, in order
  bool steam_correction = true;
  const engine::TableScheme* scheme = nullptr;  // nullptr: the specified interpolation
  engine::Search search = engine::Search::kFast;
  // (component, mineral) for every row: the component's total solved at each temperature so
  // that the mineral's SI is zero there (a row's fix_<component> cell overrides it).
  std::vector<std::pair<std::string, std::string>> fix;
};

// One output row: a sample with one dataset at one temperature.
struct Result {
  std::size_t line = 0;
  std::string id;
  const engine::Dataset* dataset = nullptr;
  // °C; empty only for a row that could not be read.
  std::optional<double> temperature;
  // True for the measured mode at the pH temperature (no temperatures asked for).
  bool measured = false;
  Status status = Status::kOk;
  std::string message;
  std::optional<engine::Evaluation> evaluation;  // empty for status error
  // The totals solved for the fixed components, mol/kg of water, by key ("Al").
  std::map<std::string, double> fixed;
};

// Every result of one job: the datasets in the order of the options, each with its
// temperatures in order. A fault of one temperature leaves the others computed.
std::vector<Result> EvaluateJob(const Job& job, const EvaluationOptions& options,
                                engine::ConditionsCache& cache,
                                const std::atomic<bool>* cancel = nullptr);

// Many jobs on `threads` threads (0: all cores); the results in the order of the jobs, equal
// whatever the number of threads. Stops taking new jobs once `cancel` is set; the jobs not
// evaluated then have no results, and the returned count says how many leading jobs are
// complete.
struct Evaluated {
  std::vector<std::vector<Result>> per_job;  // [job]
  std::size_t complete = 0;                  // jobs 0..complete-1 are evaluated
};
Evaluated EvaluateJobs(std::span<const Job> jobs, const EvaluationOptions& options,
                       engine::ConditionsCache& cache, int threads,
                       const std::atomic<bool>* cancel = nullptr);
// The same into `out`, whose rows reuse the storage of its last chunk: a long table then
// touches one chunk's memory, not fresh pages for every chunk (a row holds a whole speciation).
void EvaluateJobs(std::span<const Job> jobs, const EvaluationOptions& options,
                  engine::ConditionsCache& cache, int threads, const std::atomic<bool>* cancel,
                  Evaluated& out);

// For callers holding typed samples (Python, the window): each sample carried to the same
// temperatures (empty: the measured mode only), results flattened in order.
std::vector<Result> EvaluateSamples(std::span<const engine::Sample> samples,
                                    std::span<const double> temperatures,
                                    const EvaluationOptions& options,
                                    engine::ConditionsCache& cache, int threads = 0);

// ---- The table of analyses (CSV) -----------------------------------------------------------

struct InputOptions {
  units::Concentration unit = units::Concentration::kMolPerKgWater;
  std::optional<units::GasUnit> gas_unit;  // empty: follows the unit of the row
  std::vector<double> temperatures;        // for rows without a `temperatures` cell
  bool steam_correction = true;            // the separation temperature is then needed
  // A concentration written "<x" (below a detection limit x) is taken as this fraction of x;
  // "n.d." (not detected, no limit) as 0. Either marks the row.
  double detection_fraction = 0.5;
  // A caller's own columns (uncertainty's err_<input>): called with each name of the header
  // and the header's line; true claims the column, whose cells then come in Job::extra instead of
  // being refused as unknown. May throw to refuse the header.
  std::function<bool(std::string_view name, std::size_t line)> extra_column;
};

// The columns a table may have, in the order the README lists them.
std::span<const std::string_view> InputColumns();

// One cell of a row: text as a user typed it (viewed, not copied: it must outlive the reading),
// or a number held exactly (a DataFrame's float64, which must not go through text). A NaN
// number is an empty cell.
class Cell {
 public:
  static Cell Text(std::string_view text) { return Cell(text); }
  static Cell Number(double value) { return std::isnan(value) ? Cell("") : Cell(value); }
  Cell() = default;
  bool IsNumber() const { return is_number_; }
  double number() const { return number_; }
  std::string_view text() const { return text_; }

 private:
  explicit Cell(std::string_view text) : text_(text) {}
  explicit Cell(double value) : number_(value), is_number_(true) {}
  std::string_view text_;
  double number_ = 0.0;
  bool is_number_ = false;
};

// A table's rows read into jobs: the one conversion from cells (a file's or a DataFrame's) to
// samples, with its units, refusals and messages.
class RowReader {
 public:
  // Checks the header: `names` of the columns, standing on `line` of the table. Throws
  // UsageError for an unknown or repeated column, or a missing pH, ph_temperature or (when
  // needed) separation column.
  RowReader(std::span<const std::string> names, std::size_t line, InputOptions options);
  ~RowReader();
  RowReader(const RowReader&) = delete;
  RowReader& operator=(const RowReader&) = delete;

  // True when no cell of the table's own columns holds anything: what spreadsheets leave below
  // a table, not a sample.
  bool Blank(std::span<const Cell> cells) const;
  // The row as a job (a row that cannot be read has a fault). `where` names the row at the
  // head of the fault ("line 7", "row W3"); `line` becomes Job::line.
  Job Read(std::span<const Cell> cells, std::size_t line, std::string_view where) const;
  // The components the header has a fix_<component> column for ("Al").
  std::vector<std::string> FixColumns() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Where RunBatch takes its jobs from, one at a time.
class JobSource {
 public:
  virtual ~JobSource() = default;
  // Appends the next job; false at the end. May throw std::runtime_error when the input breaks
  // off, naming where.
  virtual bool Next(Job& job) = 0;
  // The components the table fixes by a column ("Al").
  virtual std::vector<std::string> FixColumns() const = 0;
};

// Reads a CSV table (RFC 4180, UTF-8, a byte-order mark allowed) row by row, so that a table
// of any length takes bounded memory.
class CsvInput : public JobSource {
 public:
  // Reads the header. Throws UsageError for an unknown or repeated column, or a missing
  // pH, ph_temperature or (when needed) separation column; std::runtime_error when the input
  // cannot be read.
  CsvInput(std::istream& in, InputOptions options);
  ~CsvInput() override;
  CsvInput(const CsvInput&) = delete;
  CsvInput& operator=(const CsvInput&) = delete;

  // Appends the next row to `job`; false at the end of the table. A row that cannot be read is
  // a job with a fault. Throws std::runtime_error when the CSV itself is broken (an unclosed
  // quote), naming the line; nothing after it can be trusted.
  bool Next(Job& job) override;
  // The components the header has a fix_<component> column for ("Al").
  std::vector<std::string> FixColumns() const override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The next `count` rows into `jobs` (emptied first); false once the table has ended. When the
// CSV breaks off (the exception of CsvInput::Next) `jobs` keeps the rows read before it.
bool ReadChunk(CsvInput& input, std::size_t count, std::vector<Job>& jobs);

// ---- Output --------------------------------------------------------------------------------

// Receives the results in input order.
class RowSink {
 public:
  virtual ~RowSink() = default;
  virtual void Begin(std::span<const engine::Dataset* const> datasets) { (void)datasets; }
  // Before Begin, when the batch fixes components: their keys, in the order of
  // engine::kComponentKeys, each with a fixed_<key> value in the rows.
  virtual void FixedComponents(std::span<const std::string> keys) { (void)keys; }
  virtual void Write(const Result& result) = 0;
  // After each chunk: what was written so far reaches the file.
  virtual void Flush() {}
  // Called once at the end; `complete` is false when the run was cancelled or the table broke
  // off. Every sink leaves well-formed output either way.
  virtual void End(bool complete) { (void)complete; }
};

enum class Format { kCsv, kJson, kJsonl };
std::optional<Format> FormatFromText(std::string_view text);

// The minerals of the datasets, by clean name: the first dataset's in its order, then those of
// the next it does not have.
std::vector<std::string_view> MineralColumns(std::span<const engine::Dataset* const> datasets);

// The table: id, dataset, temperature, status, message, pH, ionic_strength, toth,
// steam_fraction, charge_balance_percent, passes, trials, converged, fixed_<component>... (when
// components are fixed), SI_<mineral>...
// Numbers are the shortest text that reads back to the same double.
std::unique_ptr<RowSink> MakeTableWriter(std::ostream& out, Format format);
// Species in long form: id, dataset, temperature, species, charge, molality, gamma, activity,
// log_activity. A species switched off (no data at this temperature) has empty values.
std::unique_ptr<RowSink> MakeSpeciesWriter(std::ostream& out, Format format);

// Several sinks fed the same rows.
class SinkList : public RowSink {
 public:
  explicit SinkList(std::vector<RowSink*> sinks) : sinks_(std::move(sinks)) {}
  void Begin(std::span<const engine::Dataset* const> datasets) override;
  void FixedComponents(std::span<const std::string> keys) override;
  void Write(const Result& result) override;
  void Flush() override;
  void End(bool complete) override;

 private:
  std::vector<RowSink*> sinks_;
};

// ---- The whole run -------------------------------------------------------------------------

struct BatchOptions {
  InputOptions input;
  EvaluationOptions evaluation;
  int threads = 0;  // 0: all cores
  // Results evaluated before they are written; bounds the memory whatever the table's length.
  // One thread writes every 64 at the latest.
  std::size_t chunk_results = 4096;
};

struct Progress {
  std::size_t samples = 0;  // rows of the table read and written
  std::size_t rows = 0;     // result rows written
  std::size_t errors = 0;   // result rows with status error
};

struct Summary {
  Progress progress;
  std::size_t warnings = 0;
  bool interrupted = false;  // `cancel` was set: the output ends after `progress.samples` rows
  std::string broken_input;  // not empty: the table broke off here (message), output ends there
};

// Reads the table, evaluates it chunk by chunk in parallel and writes each chunk in order.
// Throws UsageError before anything is written when the header or the options are wrong.
Summary RunBatch(std::istream& in, const BatchOptions& options, RowSink& sink,
                 const std::function<void(const Progress&)>& progress,
                 const std::atomic<bool>& cancel);
// The same from a table whose header has been read (a caller that opens its output files only
// once the header is accepted); options.input is then not used.
Summary RunBatch(JobSource& input, const BatchOptions& options, RowSink& sink,
                 const std::function<void(const Progress&)>& progress,
                 const std::atomic<bool>& cancel);

}  // namespace geofluid::batch
