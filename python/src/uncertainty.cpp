#include "uncertainty.h"

#include <pybind11/stl.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "geothermometry/sweep.h"
#include "options.h"
#include "platform/errors.h"
#include "table.h"
#include "uncertainty/uncertainty.h"

namespace geofluid::python {

namespace {

constexpr std::string_view kName = "the DataFrame";
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The reader names the table and the row; a DataFrame's row is named by its label.
std::string RowFault(const uncertainty::TableSample& s, const std::string& label) {
  const std::string prefix = std::string(kName) + ", ";
  const std::string rest = s.fault.starts_with(prefix) ? s.fault.substr(prefix.size()) : s.fault;
  return RowMessage(rest, s.line, label);
}

// The layer's options from the Python arguments, checked as the command line checks them.
uncertainty::Options OptionsOf(const UncertaintyArguments& a, const batch::BatchOptions& batch) {
  uncertainty::Options options;
  options.draws = a.draws;
  options.seed = a.seed;
  options.threads = batch.threads;
  options.datasets = batch.evaluation.datasets;
  options.steam_correction = a.run.steam_correction;
  options.sensitivity = false;  // not part of the table
  if (a.minerals) options.minerals = *a.minerals;
  for (const auto& [component, mineral] : a.fix) options.fix.push_back({component, mineral});
  options.normalize = a.normalize;
  for (const std::string& unknown : a.optimize) {
    if (unknown == "steam_loss")
      options.optimize_steam_loss = true;
    else if (unknown == "dilution")
      options.optimize_dilution = true;
    else
      throw Error("optimize: \"" + unknown + "\" is not steam_loss or dilution");
  }
  try {
    for (const engine::Dataset* d : options.datasets) geothermometry::ResolveFixes(*d, options.fix);
  } catch (const std::invalid_argument& e) {
    throw Error(e.what());
  }
  return options;
}

// The DataFrame's rows with their err_ columns, the `errors` argument over them.
std::vector<uncertainty::TableSample> ReadSamples(const std::vector<std::string>& names,
                                                  const std::vector<py::array>& columns,
                                                  const std::vector<std::string>& labels,
                                                  const UncertaintyArguments& a) {
  const std::string name(kName);
  FrameCells cells(names, columns);
  try {
    std::unique_ptr<batch::RowReader> reader;
    try {
      reader = HeaderOf(names, uncertainty::TableInput(name, a.run.steam_correction, a.run.units));
    } catch (const batch::UsageError& e) {
      throw uncertainty::ErrorSyntax(name + ": " + e.what());
    }
    std::vector<uncertainty::TableSample> samples;
    for (batch::Job& job : ReadRows(*reader, cells, labels)) {
      // The reader named the row; the err_ cells' faults are named by its line (RowFault).
      samples.push_back(
          uncertainty::TableSampleOf(std::move(job), uncertainty::InputErrors::Defaults(), name));
      for (const std::string& item : a.errors) uncertainty::SetError(samples.back().errors, item);
    }
    return samples;
  } catch (const uncertainty::ErrorSyntax& e) {
    throw Error(e.what());
  }
}

// The long table of `geofluid-cli uncertainty --format csv` as columns: a number the text leaves
// empty (none, or not finite) is NaN.
struct LongTable {
  std::vector<std::int64_t> row;
  std::vector<std::string> id;
  std::vector<std::string_view> dataset;
  std::vector<double> temperature;
  std::vector<std::string> quantity;
  std::vector<double> nominal, median, q05, q95;
  std::vector<std::int64_t> n;

  static double Value(std::optional<double> v) { return v && std::isfinite(*v) ? *v : kNaN; }
  void Add(std::size_t r, const std::string& sample, std::string_view d, double t, std::string q,
           std::optional<double> nominal_value, const uncertainty::Interval& i) {
    row.push_back(static_cast<std::int64_t>(r));
    id.push_back(sample);
    dataset.push_back(d);
    temperature.push_back(Value(t));
    quantity.push_back(std::move(q));
    nominal.push_back(Value(nominal_value));
    median.push_back(Value(i.median));
    q05.push_back(Value(i.q05));
    q95.push_back(Value(i.q95));
    n.push_back(static_cast<std::int64_t>(i.n));
  }
  // In the order uncertainty::WriteCsv writes the rows.
  void Add(std::size_t r, const std::string& sample, const uncertainty::Result& result) {
    for (const uncertainty::DatasetResult& d : result.datasets) {
      for (const uncertainty::TemperatureResult& t : d.temperatures) {
        Add(r, sample, d.dataset->key, t.temperature, "pH", t.nominal_ph, t.ph);
        for (std::size_t m = 0; m < t.si.size(); ++m)
          Add(r, sample, d.dataset->key, t.temperature, "SI_" + t.si[m].name, t.nominal_si[m],
              t.si[m].interval);
      }
      if (!d.estimate) continue;
      for (std::size_t c = 0; c < d.estimate->criteria.size(); ++c)
        Add(r, sample, d.dataset->key, kNaN, "estimate_" + d.estimate->criteria[c].name,
            d.estimate->nominal[c], d.estimate->criteria[c].interval);
      for (const auto& u : d.estimate->optimized)
        Add(r, sample, d.dataset->key, kNaN, "optimized_" + u.name, u.nominal, u.interval);
    }
    for (const uncertainty::SoluteResult& s : result.solute)
      Add(r, sample, "", kNaN, "solute_" + s.key, s.nominal, s.interval);
  }
  py::dict ToPython() {
    Interned interned;
    const std::size_t rows = row.size();
    py::dict out;
    out["id"] = ObjectArray(rows, [&](std::size_t k) { return py::object(py::str(id[k])); });
    out["dataset"] = ObjectArray(rows, [&](std::size_t k) { return interned.Get(dataset[k]); });
    out["temperature"] = ToArray(std::move(temperature));
    out["quantity"] = ObjectArray(rows, [&](std::size_t k) { return interned.Get(quantity[k]); });
    out["nominal"] = ToArray(std::move(nominal));
    out["median"] = ToArray(std::move(median));
    out["q05"] = ToArray(std::move(q05));
    out["q95"] = ToArray(std::move(q95));
    out["n"] = ToArray(std::move(n));
    out["row"] = ToArray(std::move(row));
    return out;
  }
};

// A row's errors and warnings, beside the long table.
struct Notes {
  std::vector<std::int64_t> row;
  std::vector<std::string> id, kind, text;

  void Add(std::size_t r, const uncertainty::TableSample& s, std::string k, std::string t) {
    row.push_back(static_cast<std::int64_t>(r));
    id.push_back(s.sample.id);
    kind.push_back(std::move(k));
    text.push_back(std::move(t));
  }
};

}  // namespace

py::dict UncertaintyTable(const std::vector<std::string>& names,
                          const std::vector<py::array>& columns,
                          const std::vector<std::string>& labels, const UncertaintyArguments& a) {
  RunOptions checked = a.run;
  const py::object grid = checked.temperatures;
  checked.temperatures = py::none();
  uncertainty::Options options = OptionsOf(a, BatchOptionsOf(checked));
  const std::vector<double> temperatures =
      grid.is_none() ? geothermometry::TemperatureGrid(100.0, 300.0, 5.0) : Temperatures(grid);
  if (a.draws < 1 || a.draws > 1000000)
    throw Error("draws=" + std::to_string(a.draws) + " is not in the range 1 to 1000000");
  const std::vector<uncertainty::TableSample> samples = ReadSamples(names, columns, labels, a);

  LongTable table;
  Notes notes;
  Interruptible([&](const std::atomic<bool>& cancel) {
    options.cancel = &cancel;
    engine::ConditionsCache cache;
    for (const uncertainty::TableSample& s : samples) {
      const std::size_t row = RowOf(s.line);
      const std::string label = Label(labels, row);
      if (!s.fault.empty()) {
        notes.Add(row, s, "error", RowFault(s, label));
        continue;
      }
      options.temperatures = s.temperatures.empty() ? temperatures : s.temperatures;
      uncertainty::Result r;
      try {
        r = uncertainty::Run(s.sample, s.errors, options, cache);
      } catch (const Interrupted&) {
        throw;
      } catch (const std::exception& e) {
        notes.Add(row, s, "error",
                  "row " + label + (s.sample.id.empty() ? "" : " (id " + s.sample.id + ")") + ": " +
                      e.what());
        continue;
      }
      for (const std::string& w : r.warnings) notes.Add(row, s, "warning", w);
      table.Add(row, s.sample.id, r);
    }
  });
  py::dict out;
  out["table"] = table.ToPython();
  out["note_rows"] = ToArray(std::move(notes.row));
  out["note_ids"] = notes.id;
  out["note_kinds"] = notes.kind;
  out["note_texts"] = notes.text;
  return out;
}

}  // namespace geofluid::python
