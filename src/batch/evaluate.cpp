#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <thread>

#include "batch/batch.h"
#include "engine/ph_trail.h"
#include "geothermometry/sweep.h"
#include "io/text.h"

namespace geofluid::batch {

namespace {

constexpr std::size_t kMaxTemperatures = 1000;

double TemperatureItem(std::string_view item, std::string_view list) {
  const auto value = io::ParseNumber(item);
  if (!value)
    throw UsageError("temperatures " + io::QuoteCell(list) + ": " + io::QuoteCell(item) +
                     " is not a number (a list is 150,200,250 or 100:300:10)");
  return *value;
}

std::string Where(const Job& job) {
  std::string where = job.line > 0 ? "line " + std::to_string(job.line) : std::string("sample");
  if (!job.sample.id.empty()) where += " (id " + io::EscapeLabel(job.sample.id) + ")";
  return where;
}

std::string Degrees(double t) { return io::Shortest(t) + " °C"; }

void AddWarning(Result& result, const std::string& text) {
  result.status = Status::kWarning;
  if (!result.message.empty()) result.message += "; ";
  result.message += text;
}

// Why an evaluation is not quite to be trusted, or "". The engine counts every speciation that
// stopped at its pass limit, the search's trials included (the window shows a box for each).
std::string NonConvergence(const engine::Evaluation& e) {
  if (e.Converged()) return "";
  if (!e.speciation.converged)
    return "the speciation did not converge within " + std::to_string(e.Passes()) +
           " passes: the numbers are those of its last pass";
  return std::to_string(e.non_convergences) + " of the " + std::to_string(e.decimal_trials) +
         " speciations of the pH search stopped at the pass limit (the final one converged)";
}

// What a user should know about an evaluation that did not fail.
// `separation`: the separation temperature where the steam correction used it.
void Review(Result& result, const engine::Evaluation* measured,
            std::optional<double> separation = std::nullopt) {
  const engine::Evaluation& e = *result.evaluation;
  if (measured != nullptr && !measured->Converged())
    AddWarning(result, "at the pH temperature, " + NonConvergence(*measured) +
                           ": the TOTH carried is that of its last pass");
  if (!e.Converged()) AddWarning(result, NonConvergence(e));
  const auto outside = [&](double t, const char* what) {
    if (t < 0.0 || t > 300.0)
      AddWarning(result, std::string(what) + " " + Degrees(t) +
                             " is outside the tables (0-300 °C): the constants are extrapolated");
  };
  if (measured != nullptr) outside(measured->temperature, "the pH temperature");
  outside(e.temperature, "the temperature");
  if (separation) outside(*separation, "the separation temperature");
}

// A row that used a fraction of a detection limit (or 0 for "n.d.") says so.
void MarkBelowDetection(Result& result, const Job& job) {
  if (job.below_detection.empty()) return;
  std::string text = "below detection:";
  for (const std::string& b : job.below_detection) text += " " + b + ",";
  text.pop_back();
  AddWarning(result, text);
}

void Fail(Result& result, std::string message) {
  result.status = Status::kError;
  result.message = std::move(message);
  result.evaluation.reset();
}

// What fixes the row's totals in `dataset`: the sweep's resolved fixes and its first mode at the
// pH temperature, with no points. A row's cell replaces the option for its component. Throws
// std::invalid_argument naming the column (or the option) for a fix the dataset cannot make.
geothermometry::Sweep FixingSweep(const Job& job, const EvaluationOptions& options,
                                  const engine::Dataset& dataset, const engine::TableScheme& scheme,
                                  engine::ConditionsCache& cache) {
  geothermometry::SweepOptions sweep_options;
  sweep_options.temperatures.clear();
  sweep_options.steam_correction = options.steam_correction;
  sweep_options.scheme = &scheme;
  sweep_options.search = options.search;
  for (const auto& [component, mineral] : job.fix) {
    const std::string what = "column fix_" + component + " (" + mineral + ")";
    try {
      geothermometry::ResolveFixes(dataset, {{component, mineral}});
    } catch (const std::invalid_argument& e) {
      // ResolveFixes names the option; a cell is named by its column.
      const std::string_view text = e.what();
      const auto colon = text.find(": ");
      throw std::invalid_argument(
          what + ": " +
          std::string(colon == std::string_view::npos ? text : text.substr(colon + 2)));
    }
    sweep_options.fix.push_back({component, mineral});
  }
  for (const auto& [component, mineral] : options.fix) {
    const bool by_cell = std::any_of(job.fix.begin(), job.fix.end(),
                                     [&](const auto& f) { return f.first == component; });
    if (!by_cell) sweep_options.fix.push_back({component, mineral});
  }
  geothermometry::Sweep sweep = geothermometry::RunSweep(job.sample, dataset, sweep_options, cache);
  return sweep;
}

}  // namespace

std::string_view Text(Status status) {
  switch (status) {
    case Status::kOk:
      return "ok";
    case Status::kWarning:
      return "warning";
    case Status::kError:
      return "error";
  }
  return "";
}

std::vector<double> ParseTemperatures(std::string_view list) {
  std::vector<double> temperatures;
  if (io::Trim(list).empty()) throw UsageError("temperatures: the list is empty");
  std::size_t start = 0;
  while (start <= list.size()) {
    auto comma = list.find(',', start);
    if (comma == std::string_view::npos) comma = list.size();
    const std::string_view item = io::Trim(list.substr(start, comma - start));
    start = comma + 1;
    if (item.empty())
      throw UsageError("temperatures " + io::QuoteCell(list) + ": an empty item between commas");
    const auto colon = item.find(':');
    if (colon == std::string_view::npos) {
      temperatures.push_back(TemperatureItem(item, list));
    } else {
      const auto second = item.find(':', colon + 1);
      if (second == std::string_view::npos || item.find(':', second + 1) != std::string_view::npos)
        throw UsageError("temperatures " + io::QuoteCell(list) + ": " + io::QuoteCell(item) +
                         " is not a range start:stop:step such as 100:300:10");
      const double from = TemperatureItem(item.substr(0, colon), list);
      const double to = TemperatureItem(item.substr(colon + 1, second - colon - 1), list);
      const double step = TemperatureItem(item.substr(second + 1), list);
      if (!(step > 0.0) || to < from)
        throw UsageError("temperatures " + io::QuoteCell(list) + ": the range " +
                         io::QuoteCell(item) + " needs start <= stop and a positive step");
      // Each temperature from the start, not by adding steps, so 100:300:10 gives 300 exactly.
      const double count = std::floor((to - from) / step + 1e-9);
      if (count + 1 > static_cast<double>(kMaxTemperatures))
        throw UsageError("temperatures " + io::QuoteCell(list) + ": more than " +
                         std::to_string(kMaxTemperatures) + " temperatures");
      for (int i = 0; i <= static_cast<int>(count); ++i) temperatures.push_back(from + i * step);
    }
    if (temperatures.size() > kMaxTemperatures)
      throw UsageError("temperatures " + io::QuoteCell(list) + ": more than " +
                       std::to_string(kMaxTemperatures) + " temperatures");
  }
  return temperatures;
}

namespace {
// A job left half done by a cancel; its rows are not written.
struct JobCancelled {};

// What a job's rows in one dataset share: the fixing sweep, the measured evaluation at the pH
// temperature (or why there is none) and the prefix of its messages.
struct DatasetRun {
  const Job& job;
  const EvaluationOptions& options;
  const engine::Dataset& dataset;
  const engine::TableScheme& scheme;
  engine::ConditionsCache& cache;
  std::optional<geothermometry::Sweep> fixing;
  std::optional<engine::Evaluation> measured;
  std::string measured_fault;
  std::string at_ph;
};

// The row of a job without temperatures: the measured evaluation itself.
Result MeasuredRow(DatasetRun& run, const Result& base) {
  const Job& job = run.job;
  Result r = base;
  r.temperature = job.sample.ph_temperature;
  r.measured = true;
  if (run.measured && run.fixing) {
    try {
      r.evaluation = geothermometry::EvaluateMeasuredFixed(job.sample, *run.fixing,
                                                           run.options.search, r.fixed);
      Review(r, nullptr);
      MarkBelowDetection(r, job);
    } catch (const std::exception& e) {
      Fail(r, run.at_ph + e.what());
      r.fixed.clear();
    }
  } else if (run.measured) {
    r.evaluation = std::move(run.measured);
    Review(r, nullptr);
    MarkBelowDetection(r, job);
  } else {
    Fail(r, run.at_ph + run.measured_fault);
  }
  return r;
}

// The rows of a job carried to its temperatures, each search starting from the pH found at the
// ones before.
void CarriedRows(const DatasetRun& run, const Result& base, engine::Hooks hooks,
                 const std::atomic<bool>* cancel, std::vector<Result>& results) {
  const Job& job = run.job;
  const EvaluationOptions& options = run.options;
  engine::PhTrail trail;
  for (const double t : job.temperatures) {
    // A sample carried to many temperatures takes long: a cancel need not wait for it.
    if (cancel != nullptr && cancel->load()) throw JobCancelled{};
    Result r = base;
    r.temperature = t;
    if (!run.measured) {
      Fail(r, run.at_ph + run.measured_fault + " (so there is no TOTH to carry)");
      results.push_back(std::move(r));
      continue;
    }
    try {
      hooks.ph_hint = trail.Hint(t);
      hooks.ph_slope = trail.Slope(t);
      const auto at = run.cache.Get(run.dataset, t, run.scheme);
      if (run.fixing) {
        r.evaluation =
            geothermometry::EvaluateFixed(job.sample, *run.fixing, at, options.search, r.fixed);
      } else {
        r.evaluation = engine::EvaluateFromToth(job.sample, run.measured->toth, at,
                                                options.steam_correction, hooks);
      }
      trail.Add(t, r.evaluation->ph, r.evaluation->ph_slope);
      Review(r, &*run.measured,
             options.steam_correction ? std::optional(job.sample.separation_temperature)
                                      : std::nullopt);
      MarkBelowDetection(r, job);
    } catch (const std::exception& e) {
      Fail(r, Where(job) + ", " + std::string(run.dataset.title) + " at " + Degrees(t) + ": " +
                  e.what());
      r.fixed.clear();
    }
    results.push_back(std::move(r));
  }
}

// EvaluateJob into `results`, emptied first.
void EvaluateJobInto(const Job& job, const EvaluationOptions& options,
                     engine::ConditionsCache& cache, const std::atomic<bool>* cancel,
                     std::vector<Result>& results) {
  const engine::TableScheme& scheme =
      options.scheme != nullptr ? *options.scheme : engine::SpecifiedScheme();
  engine::Hooks hooks;
  hooks.search = options.search;
  results.clear();
  results.reserve(options.datasets.size() * std::max<std::size_t>(1, job.temperatures.size()));
  for (const engine::Dataset* dataset : options.datasets) {
    Result base;
    base.line = job.line;
    base.id = job.sample.id;
    base.dataset = dataset;
    if (!job.fault.empty()) {
      Fail(base, job.fault);
      results.push_back(std::move(base));
      continue;
    }
    DatasetRun run{job, options, *dataset, scheme, cache, {}, {}, {}, {}};
    // The components fixed in this row: its cells over the option, each resolved in the dataset.
    if (!job.fix.empty() || !options.fix.empty()) {
      try {
        run.fixing = FixingSweep(job, options, *dataset, scheme, cache);
      } catch (const std::invalid_argument& e) {
        Fail(base, Where(job) + ": " + e.what());
        results.push_back(std::move(base));
        continue;
      }
    }
    const double ph_t = job.sample.ph_temperature;
    run.at_ph = Where(job) + ", " + std::string(dataset->title) + " at the pH temperature " +
                Degrees(ph_t) + ": ";
    try {
      run.measured = engine::EvaluateMeasured(job.sample, cache.Get(*dataset, ph_t, scheme), hooks);
    } catch (const std::exception& e) {
      run.measured_fault = e.what();
    }
    if (job.temperatures.empty()) {
      results.push_back(MeasuredRow(run, base));
    } else {
      CarriedRows(run, base, hooks, cancel, results);
    }
  }
}

}  // namespace

std::vector<Result> EvaluateJob(const Job& job, const EvaluationOptions& options,
                                engine::ConditionsCache& cache, const std::atomic<bool>* cancel) {
  std::vector<Result> results;
  EvaluateJobInto(job, options, cache, cancel, results);
  return results;
}

Evaluated EvaluateJobs(std::span<const Job> jobs, const EvaluationOptions& options,
                       engine::ConditionsCache& cache, int threads,
                       const std::atomic<bool>* cancel) {
  Evaluated out;
  EvaluateJobs(jobs, options, cache, threads, cancel, out);
  return out;
}

void EvaluateJobs(std::span<const Job> jobs, const EvaluationOptions& options,
                  engine::ConditionsCache& cache, int threads, const std::atomic<bool>* cancel,
                  Evaluated& out) {
  // Shrinking keeps the vectors of the jobs that stay, and their capacity.
  out.per_job.resize(jobs.size());
  for (std::vector<Result>& results : out.per_job) results.clear();
  out.complete = 0;
  std::vector<char> done(jobs.size(), 0);
  std::atomic<std::size_t> next{0};
  std::exception_ptr failure;
  std::atomic<bool> failed{false};
  const auto work = [&] {
    try {
      for (std::size_t i; (i = next.fetch_add(1)) < jobs.size();) {
        if ((cancel != nullptr && cancel->load()) || failed.load()) break;
        try {
          EvaluateJobInto(jobs[i], options, cache, cancel, out.per_job[i]);
          done[i] = 1;
        } catch (const JobCancelled&) {
          break;
        }
      }
    } catch (...) {
      // Only what EvaluateJob does not turn into a row (out of memory): the first one wins.
      if (!failed.exchange(true)) failure = std::current_exception();
    }
  };
  std::size_t count = threads > 0 ? static_cast<std::size_t>(threads)
                                  : std::max(1u, std::thread::hardware_concurrency());
  count = std::min(count, jobs.size());
  if (count <= 1) {
    work();
  } else {
    std::vector<std::jthread> pool;
    pool.reserve(count - 1);
    for (std::size_t k = 1; k < count; ++k) pool.emplace_back(work);
    work();
  }
  if (failure) std::rethrow_exception(failure);
  while (out.complete < jobs.size() && done[out.complete]) ++out.complete;
}

std::vector<Result> EvaluateSamples(std::span<const engine::Sample> samples,
                                    std::span<const double> temperatures,
                                    const EvaluationOptions& options,
                                    engine::ConditionsCache& cache, int threads) {
  std::vector<Job> jobs(samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    jobs[i].sample = samples[i];
    jobs[i].temperatures.assign(temperatures.begin(), temperatures.end());
  }
  Evaluated evaluated = EvaluateJobs(jobs, options, cache, threads);
  std::vector<Result> results;
  for (auto& per_job : evaluated.per_job)
    for (auto& r : per_job) results.push_back(std::move(r));
  return results;
}

}  // namespace geofluid::batch
