#include <algorithm>
#include <thread>

#include "batch/batch.h"

namespace geofluid::batch {

Summary RunBatch(std::istream& in, const BatchOptions& options, RowSink& sink,
                 const std::function<void(const Progress&)>& progress,
                 const std::atomic<bool>& cancel) {
  CsvInput input(in, options.input);
  return RunBatch(input, options, sink, progress, cancel);
}

Summary RunBatch(JobSource& input, const BatchOptions& options, RowSink& sink,
                 const std::function<void(const Progress&)>& progress,
                 const std::atomic<bool>& cancel) {
  const auto& datasets = options.evaluation.datasets;
  if (datasets.empty()) throw UsageError("no dataset to evaluate with");
  engine::ConditionsCache cache;
  // A fixed_<key> value for each component the option or a column fixes, in the analysis' order.
  std::vector<std::string> fixed;
  const std::vector<std::string> columns = input.FixColumns();
  for (const std::string_view key : engine::kComponentKeys) {
    const bool by_option = std::any_of(options.evaluation.fix.begin(), options.evaluation.fix.end(),
                                       [&](const auto& f) { return f.first == key; });
    if (by_option || std::find(columns.begin(), columns.end(), key) != columns.end())
      fixed.emplace_back(key);
  }
  if (!fixed.empty()) sink.FixedComponents(fixed);
  sink.Begin(datasets);

  Summary summary;
  // Small chunks first, so that the first rows appear at once; then larger ones, so that the
  // threads rarely wait for each other at the end of a chunk. One thread waits for none: its
  // chunks stay small, and their rows' memory, reused from chunk to chunk, is touched once.
  const bool one_thread =
      options.threads > 0 ? options.threads == 1 : std::thread::hardware_concurrency() <= 1;
  const std::size_t first = 64;
  const std::size_t limit = std::max<std::size_t>(
      1, one_thread ? std::min(first, options.chunk_results) : options.chunk_results);
  std::size_t target = std::min(first, limit);
  std::vector<Job> chunk;
  Evaluated evaluated;
  bool more = true;
  while (more) {
    if (cancel.load()) {
      summary.interrupted = true;
      break;
    }
    chunk.clear();
    std::size_t expected = 0;
    try {
      while (expected < target) {
        Job job;
        if (!input.Next(job)) {
          more = false;
          break;
        }
        expected += datasets.size() * std::max<std::size_t>(1, job.temperatures.size());
        chunk.push_back(std::move(job));
      }
    } catch (const std::runtime_error& e) {
      // The rows before the break are still evaluated and written.
      summary.broken_input = e.what();
      more = false;
    }
    try {
      EvaluateJobs(chunk, options.evaluation, cache, options.threads, &cancel, evaluated);
    } catch (...) {
      // No threads to be had, no memory: what was written stays well formed.
      sink.End(false);
      throw;
    }
    for (std::size_t i = 0; i < evaluated.complete; ++i) {
      for (const Result& r : evaluated.per_job[i]) {
        sink.Write(r);
        ++summary.progress.rows;
        summary.progress.errors += r.status == Status::kError;
        summary.warnings += r.status == Status::kWarning;
      }
      ++summary.progress.samples;
    }
    sink.Flush();
    if (evaluated.complete < chunk.size()) {
      summary.interrupted = true;
      break;
    }
    if (progress) progress(summary.progress);
    target = std::min(target * 2, limit);
  }
  sink.End(!summary.interrupted && summary.broken_input.empty());
  return summary;
}

}  // namespace geofluid::batch
