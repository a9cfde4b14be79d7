#include "reservoir.h"

#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>

#include "geothermometry/estimate.h"
#include "interp/steffen.h"
#include "table.h"

namespace geofluid::python {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

const engine::TableScheme& Scheme(const std::string& name) {
  const engine::TableScheme* scheme = interp::SchemeByName(name);
  if (scheme == nullptr) NotIn("interpolation", name, "{specified,steffen}");
  return *scheme;
}

std::string Fixed(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.1f", v);
  return text;
}

// The options shared by sweeps and estimates; the jobs read from the DataFrame.
struct Prepared {
  geothermometry::ReservoirOptions options;
  Jobs jobs;
  int threads = 0;
};

Prepared Prepare(const std::vector<std::string>& names, const std::vector<py::array>& columns,
                 const std::vector<std::string>& labels, const ReservoirArguments& a) {
  RunOptions run = a.run;
  const py::object grid = run.temperatures;
  run.temperatures = py::none();
  const batch::BatchOptions batch = BatchOptionsOf(run);
  Prepared p;
  p.threads = batch.threads;
  p.options.datasets = batch.evaluation.datasets;
  p.options.sweep.scheme = &Scheme(a.interpolation);
  p.options.sweep.steam_correction = a.run.steam_correction;
  if (!grid.is_none()) {
    p.options.sweep.temperatures = Temperatures(grid);
    // The estimate's minimum and its edges are found along the list.
    if (geothermometry::SortTemperatures(p.options.sweep.temperatures)) {
      const std::string note =
          geothermometry::SortedTemperaturesNote(p.options.sweep.temperatures.size());
      if (PyErr_WarnEx(PyExc_UserWarning, note.c_str(), 1) != 0) throw py::error_already_set();
    }
  }
  for (const auto& [component, mineral] : a.fix)
    p.options.sweep.fix.push_back({component, mineral});
  p.options.sweep.normalize = a.normalize;
  for (const std::string& unknown : a.optimize) {
    if (unknown == "steam_loss")
      p.options.sweep.optimize_steam_loss = true;
    else if (unknown == "dilution")
      p.options.sweep.optimize_dilution = true;
    else
      throw Error("optimize: \"" + unknown + "\" is not steam_loss or dilution");
  }
  if (a.minerals) p.options.minerals = *a.minerals;
  try {
    for (const engine::Dataset* d : p.options.datasets) {
      if (a.minerals) geothermometry::MineralIndices(*d, p.options.minerals);
      geothermometry::ResolveFixes(*d, p.options.sweep.fix);
    }
  } catch (const std::invalid_argument& e) {
    throw Error(e.what());
  } catch (const geothermometry::UnknownMineral& e) {
    throw Error(e.what());
  }
  p.jobs = ReadJobs(names, columns, labels, batch.input);
  return p;
}

// Runs `work(i, options)` for every readable job on the module's threads (oneTBB), without the
// GIL; Ctrl-C stops it (KeyboardInterrupt). `options` carry the cancel flag.
template <class Work>
void ForEachJob(const Prepared& p, Work work) {
  Interruptible([&](const std::atomic<bool>& cancel) {
    geothermometry::ReservoirOptions options = p.options;
    options.sweep.cancel = &cancel;
    tbb::task_arena arena(p.threads > 0 ? p.threads : tbb::task_arena::automatic);
    arena.execute([&] {
      tbb::parallel_for(std::size_t{0}, p.jobs.jobs.size(), [&](std::size_t i) {
        if (p.jobs.jobs[i].fault.empty() && !cancel.load()) work(i, options);
      });
    });
  });
}

}  // namespace

namespace {

// The sweep's rows as columns: one per sample, dataset and temperature, the SI by mineral name.
class SweepColumns {
 public:
  explicit SweepColumns(std::span<const engine::Dataset* const> datasets)
      : minerals_(batch::MineralColumns(datasets)),
        column_of_(datasets.size()),
        si_(minerals_.size()) {
    for (std::size_t k = 0; k < datasets.size(); ++k)
      for (int m = 1; m <= datasets[k]->MineralCount(); ++m)
        column_of_[k].push_back(static_cast<int>(
            std::find(minerals_.begin(), minerals_.end(), datasets[k]->MineralName(m)) -
            minerals_.begin()));
  }

  // A row of job `j` with dataset k: a point of its sweep, or (point null) a fault's row.
  void Add(const batch::Job& j, const engine::Dataset* d, std::size_t k, double t, std::string text,
           const geothermometry::SweepPoint* point) {
    row_.push_back(static_cast<std::int64_t>(RowOf(j.line)));
    job_.push_back(&j);
    dataset_.push_back(d);
    temperature_.push_back(t);
    const bool good = point != nullptr && point->ok();
    ok_.push_back(good ? 1 : 0);
    message_.push_back(std::move(text));
    ph_.push_back(good ? point->ph : kNaN);
    steam_fraction_.push_back(good ? point->steam_fraction : kNaN);
    toth_.push_back(good ? point->toth : kNaN);
    converged_.push_back(good && point->non_convergences == 0 ? 1 : 0);
    for (auto& c : si_) c.push_back(kNaN);
    if (good)
      for (std::size_t m = 0; m < point->si.size(); ++m)
        si_[column_of_[k][m]].back() = point->si[m];
  }

  py::dict ToPython(std::string_view interpolation) {
    Interned interned;
    const std::size_t rows = row_.size();
    py::dict out;
    out["id"] =
        ObjectArray(rows, [&](std::size_t r) { return py::object(py::str(job_[r]->sample.id)); });
    out["dataset"] =
        ObjectArray(rows, [&](std::size_t r) { return interned.Get(dataset_[r]->key); });
    out["interpolation"] =
        ObjectArray(rows, [&](std::size_t) { return interned.Get(interpolation); });
    out["temperature"] = ToArray(std::move(temperature_));
    out["status"] = ObjectArray(rows, [&](std::size_t r) {
      return interned.Get(!ok_[r] ? "error" : message_[r].empty() ? "ok" : "warning");
    });
    out["message"] =
        ObjectArray(rows, [&](std::size_t r) { return py::object(py::str(message_[r])); });
    out["pH"] = ToArray(std::move(ph_));
    out["steam_fraction"] = ToArray(std::move(steam_fraction_));
    out["toth"] = ToArray(std::move(toth_));
    out["converged"] = BoolArray(std::move(converged_));
    out["evaluated"] = BoolArray(std::move(ok_));
    py::list mineral_names, si_columns;
    for (std::size_t c = 0; c < minerals_.size(); ++c) {
      mineral_names.append(py::str(minerals_[c].data(), minerals_[c].size()));
      si_columns.append(ToArray(std::move(si_[c])));
    }
    out["minerals"] = mineral_names;
    out["si"] = si_columns;
    out["row"] = ToArray(std::move(row_));
    return out;
  }

 private:
  std::vector<std::string_view> minerals_;
  std::vector<std::vector<int>> column_of_;  // [dataset][m - 1]
  std::vector<std::int64_t> row_;
  std::vector<const batch::Job*> job_;
  std::vector<const engine::Dataset*> dataset_;
  std::vector<double> temperature_, ph_, steam_fraction_, toth_;
  std::vector<std::string> message_;
  std::vector<std::uint8_t> ok_, converged_;
  std::vector<std::vector<double>> si_;
};

// The rows of one sample with dataset k: its fault, its sweep's fault, or its points.
void AddSweep(SweepColumns& table, const batch::Job& j, const engine::Dataset* d, std::size_t k,
              const geothermometry::Sweep* s, const std::string& label) {
  if (!j.fault.empty()) {
    table.Add(j, d, k, kNaN, RowMessage(j.fault, j.line, label), nullptr);
    return;
  }
  const std::string where = "row " + label +
                            (j.sample.id.empty() ? "" : " (id " + j.sample.id + ")") + ", " +
                            std::string(d->title);
  if (!s->ok()) {
    table.Add(j, d, k, kNaN, where + ": " + s->error, nullptr);
    return;
  }
  for (const geothermometry::SweepPoint& point : s->points) {
    std::string text;
    if (!point.ok())
      text = where + " at " + Fixed(point.temperature) + " °C: " + point.error;
    else if (point.non_convergences > 0)
      text =
          "a speciation did not converge within its pass limit: the numbers are those of "
          "its last pass";
    table.Add(j, d, k, point.temperature, std::move(text), &point);
  }
}

}  // namespace

py::dict SweepTable(const std::vector<std::string>& names, const std::vector<py::array>& columns,
                    const std::vector<std::string>& labels, const ReservoirArguments& a) {
  const Prepared p = Prepare(names, columns, labels, a);
  const auto& datasets = p.options.datasets;
  const std::size_t n = p.jobs.jobs.size();
  std::vector<std::vector<geothermometry::Sweep>> sweeps(n);
  engine::ConditionsCache cache;
  ForEachJob(p, [&](std::size_t i, const geothermometry::ReservoirOptions& options) {
    for (const engine::Dataset* d : datasets)
      sweeps[i].push_back(
          geothermometry::RunSweep(p.jobs.jobs[i].sample, *d, options.sweep, cache));
  });
  SweepColumns table(datasets);
  for (std::size_t i = 0; i < n; ++i) {
    const batch::Job& j = p.jobs.jobs[i];
    const std::string label = Label(labels, RowOf(j.line));
    for (std::size_t k = 0; k < datasets.size(); ++k)
      AddSweep(table, j, datasets[k], k, j.fault.empty() ? &sweeps[i][k] : nullptr, label);
  }
  return table.ToPython(p.options.sweep.scheme->Name());
}

namespace {

using Results = std::vector<geothermometry::Reservoir>;

// Where the two interpolations part inside the swept range, per dataset: the same for every
// sample.
std::vector<std::vector<std::string>> CompareInterpolations(const Prepared& p) {
  const auto& datasets = p.options.datasets;
  const engine::TableScheme& scheme = *p.options.sweep.scheme;
  const engine::TableScheme& other =
      *interp::SchemeByName(scheme.Name() == "steffen" ? "specified" : "steffen");
  std::vector<std::vector<std::string>> comparison(datasets.size());
  py::gil_scoped_release release;
  try {
    for (std::size_t k = 0; k < datasets.size(); ++k)
      comparison[k] = geothermometry::CompareInterpolations(
          *datasets[k], p.options.minerals, p.options.sweep.temperatures.front(),
          p.options.sweep.temperatures.back(), scheme, other);
  } catch (const std::exception& e) {
    throw Error(std::string("the tables cannot be interpolated over ") +
                Fixed(p.options.sweep.temperatures.front()) + "-" +
                Fixed(p.options.sweep.temperatures.back()) + " °C: " + e.what());
  }
  return comparison;
}

// id, interpolation and error: why a sample has no estimate.
void AddIdentity(py::dict& out, const Prepared& p, const Results& results,
                 const std::vector<std::string>& labels) {
  std::vector<std::string> id, error;
  for (std::size_t i = 0; i < p.jobs.jobs.size(); ++i) {
    const batch::Job& j = p.jobs.jobs[i];
    id.push_back(j.sample.id);
    std::string text = RowMessage(j.fault, j.line, Label(labels, RowOf(j.line)));
    if (j.fault.empty())
      for (const auto& e : results[i].estimates)
        if (!e.sweep.ok() && text.empty())
          text = std::string(e.dataset->title) + ": " + e.sweep.error;
    error.push_back(std::move(text));
  }
  out["id"] = StrArray(id);
  out["interpolation"] = py::str(std::string(p.options.sweep.scheme->Name()));
  out["error"] = StrArray(error);
}

// <dataset>_steam_loss and its _sd (fractions), the unknowns found with the temperature.
void AddUnknowns(py::dict& out, const Prepared& p, const Results& results, std::size_t k) {
  const std::size_t n = p.jobs.jobs.size();
  const std::string key(p.options.datasets[k]->key);
  std::vector<std::string> unknowns;
  if (p.options.sweep.optimize_steam_loss) unknowns.emplace_back("steam_loss");
  if (p.options.sweep.optimize_dilution) unknowns.emplace_back("dilution");
  for (const std::string& unknown : unknowns) {
    std::vector<double> value(n, kNaN), sd(n, kNaN);
    for (std::size_t i = 0; i < n; ++i) {
      if (!p.jobs.jobs[i].fault.empty()) continue;
      const auto& optimized = results[i].estimates[k].optimized;
      if (const auto it = optimized.find(unknown); it != optimized.end()) {
        value[i] = it->second.value;
        sd[i] = it->second.sd.value_or(kNaN);
      }
    }
    out[py::str(key + "_" + unknown)] = ToArray(std::move(value));
    out[py::str(key + "_" + unknown + "_sd")] = ToArray(std::move(sd));
  }
}

// Per dataset: the estimates by criterion, the unknowns, the crossings and the warnings.
void AddEstimates(py::dict& out, const Prepared& p, const Results& results) {
  const std::size_t n = p.jobs.jobs.size();
  for (std::size_t k = 0; k < p.options.datasets.size(); ++k) {
    const std::string key(p.options.datasets[k]->key);
    for (const auto criterion : geothermometry::kCriteria) {
      std::vector<double> values(n, kNaN);
      for (std::size_t i = 0; i < n; ++i)
        if (p.jobs.jobs[i].fault.empty())
          values[i] = results[i].estimates[k].Get(criterion).celsius.value_or(kNaN);
      out[py::str(key + "_" + geothermometry::CriterionKey(criterion))] =
          ToArray(std::move(values));
    }
    AddUnknowns(out, p, results, k);
    std::vector<std::string> crossings, warnings;
    for (std::size_t i = 0; i < n; ++i) {
      std::string c, w;
      if (p.jobs.jobs[i].fault.empty()) {
        const auto& e = results[i].estimates[k];
        for (const auto& name : e.minerals)
          for (const double t : e.crossings.at(name))
            c += (c.empty() ? "" : "; ") + name + " " + Fixed(t);
        for (const auto& text : e.warnings) w += (w.empty() ? "" : "; ") + text;
      }
      crossings.push_back(std::move(c));
      warnings.push_back(std::move(w));
    }
    out[py::str(key + "_crossings")] = StrArray(crossings);
    out[py::str(key + "_warnings")] = StrArray(warnings);
  }
}

// The solute geothermometer `key` of every sample, of the separated water or of the reservoir
// liquid, °C.
py::array SoluteValues(const Results& results, std::string_view key, bool reservoir) {
  std::vector<double> values(results.size(), kNaN);
  for (std::size_t i = 0; i < results.size(); ++i) {
    const auto& list = reservoir ? results[i].solute_reservoir : results[i].solute;
    if (const auto* t = geothermometry::FindSolute(list, key))
      values[i] = t->celsius.value_or(kNaN);
  }
  return ToArray(std::move(values));
}

// Giggenbach's triangle: the point, the maturity index and the class.
void AddGiggenbach(py::dict& out, const Prepared& p, const Results& results) {
  const std::size_t n = results.size();
  std::vector<double> na(n, kNaN), k(n, kNaN), mg(n, kNaN), mi(n, kNaN);
  std::vector<std::string> maturity;
  for (std::size_t i = 0; i < n; ++i) {
    const auto& c = results[i].giggenbach;
    if (c.point) {
      na[i] = c.point->na;
      k[i] = c.point->k;
      mg[i] = c.point->mg;
    }
    mi[i] = c.maturity_index.value_or(kNaN);
    maturity.push_back(p.jobs.jobs[i].fault.empty()
                           ? std::string(geothermometry::MaturityName(c.maturity))
                           : std::string());
  }
  out["giggenbach_na"] = ToArray(std::move(na));
  out["giggenbach_k"] = ToArray(std::move(k));
  out["giggenbach_mg"] = ToArray(std::move(mg));
  out["maturity_index"] = ToArray(std::move(mi));
  out["giggenbach_class"] = StrArray(maturity);
}

// flags_<key> and reservoir_flags_<key> (codes joined by ";"); the flags' reasons and bounds go
// to each sample's notes.
void AddFlags(py::dict& out, const Results& results, std::vector<std::string>& note_text) {
  const auto keys = geothermometry::SoluteKeys();
  const std::size_t n = results.size();
  for (const auto key : keys) {
    std::vector<std::string> flags;
    for (std::size_t i = 0; i < n; ++i) {
      std::string codes;
      if (const auto* t = geothermometry::FindSolute(results[i].solute, key)) {
        for (const auto& f : t->flags) {
          codes += (codes.empty() ? "" : ";") + std::string(f.code);
          note_text[i] += (note_text[i].empty() ? "" : "; ") + std::string(key) + ": " + f.reason;
        }
        if (!t->bound.empty())
          note_text[i] += (note_text[i].empty() ? "" : "; ") + std::string(key) + ": " +
                          std::string(t->bound) + " bound";
      }
      flags.push_back(std::move(codes));
    }
    out[py::str("flags_" + std::string(key))] = StrArray(flags);
  }
  for (const auto key : keys) {
    std::vector<std::string> flags;
    for (std::size_t i = 0; i < n; ++i) {
      std::string codes;
      if (const auto* t = geothermometry::FindSolute(results[i].solute_reservoir, key))
        for (const auto& f : t->flags) codes += (codes.empty() ? "" : ";") + std::string(f.code);
      flags.push_back(std::move(codes));
    }
    out[py::str("reservoir_flags_" + std::string(key))] = StrArray(flags);
  }
}

// The separation temperature, what was below detection, and the notes.
void AddInputNotes(py::dict& out, const Prepared& p, const Results& results,
                   std::vector<std::string>& note_text) {
  const std::size_t n = results.size();
  std::vector<double> separation(n, kNaN);
  std::vector<std::string> below;
  for (std::size_t i = 0; i < n; ++i) {
    const auto& r = results[i];
    const auto& job = p.jobs.jobs[i];
    if (job.sample.separation_given) separation[i] = job.sample.separation_temperature;
    if (!r.reservoir_reason.empty())
      note_text[i] += (note_text[i].empty() ? "" : "; ") + r.reservoir_reason;
    if (!r.giggenbach.reason.empty())
      note_text[i] +=
          (note_text[i].empty() ? "" : "; ") + std::string("giggenbach: ") + r.giggenbach.reason;
    std::string b;
    for (const auto& text : job.below_detection) b += (b.empty() ? "" : "; ") + text;
    below.push_back(std::move(b));
  }
  out["separation"] = ToArray(std::move(separation));
  out["below_detection"] = StrArray(below);
  out["notes"] = StrArray(note_text);
}

// The solute geothermometers in the command line's order: the nine of the first releases, the
// triangle, the later ones, the reservoir liquid (reservoir_<key>), the flags, the separation
// temperature, what was below detection, and the notes (the flags' reasons and why a reservoir
// value is missing).
void AddSolute(py::dict& out, const Prepared& p, const Results& results) {
  const auto keys = geothermometry::SoluteKeys();
  constexpr std::size_t kFirst = 9;
  for (std::size_t k = 0; k < kFirst; ++k)
    out[py::str(std::string(keys[k]))] = SoluteValues(results, keys[k], false);
  AddGiggenbach(out, p, results);
  for (std::size_t k = kFirst; k < keys.size(); ++k)
    out[py::str(std::string(keys[k]))] = SoluteValues(results, keys[k], false);
  for (const auto key : keys)
    out[py::str("reservoir_" + std::string(key))] = SoluteValues(results, key, true);
  std::vector<std::string> note_text(results.size());
  AddFlags(out, results, note_text);
  AddInputNotes(out, p, results, note_text);
}

}  // namespace

py::dict ReservoirTable(const std::vector<std::string>& names,
                        const std::vector<py::array>& columns,
                        const std::vector<std::string>& labels, const ReservoirArguments& a) {
  const Prepared p = Prepare(names, columns, labels, a);
  const std::vector<std::vector<std::string>> comparison = CompareInterpolations(p);
  Results results(p.jobs.jobs.size());
  engine::ConditionsCache cache;
  ForEachJob(p, [&](std::size_t i, const geothermometry::ReservoirOptions& options) {
    results[i] = geothermometry::AssessReservoir(p.jobs.jobs[i].sample, options, cache);
    for (std::size_t k = 0; k < results[i].estimates.size(); ++k) {
      auto& w = results[i].estimates[k].warnings;
      w.insert(w.end(), comparison[k].begin(), comparison[k].end());
    }
  });

  py::dict out;
  AddIdentity(out, p, results, labels);
  AddEstimates(out, p, results);
  AddSolute(out, p, results);
  std::vector<std::int64_t> row(results.size());
  for (std::size_t i = 0; i < row.size(); ++i)
    row[i] = static_cast<std::int64_t>(RowOf(p.jobs.jobs[i].line));
  out["row"] = ToArray(std::move(row));
  return out;
}

}  // namespace geofluid::python
