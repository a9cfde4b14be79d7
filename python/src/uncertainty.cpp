#include "uncertainty.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "geothermometry/sweep.h"
#include "options.h"
#include "platform/errors.h"
#include "table.h"
#include "uncertainty/uncertainty.h"

namespace geofluid::python {

namespace {

constexpr std::string_view kName = "the DataFrame";

// The reader names the table and the line; a DataFrame's row is named by its label.
std::string RowFault(const uncertainty::TableSample& s, const std::string& label) {
  const std::string prefix = std::string(kName) + ", ";
  const std::string rest = s.fault.starts_with(prefix) ? s.fault.substr(prefix.size()) : s.fault;
  return RowMessage(rest, s.line, label);
}

}  // namespace

py::dict UncertaintyTable(const std::vector<std::string>& names,
                          const std::vector<py::array>& columns,
                          const std::vector<std::string>& labels, const UncertaintyArguments& a) {
  RunOptions checked = a.run;
  const py::object grid = checked.temperatures;
  checked.temperatures = py::none();
  const batch::BatchOptions batch = BatchOptionsOf(checked);  // the shared arguments' checks
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
  const std::vector<double> temperatures =
      grid.is_none() ? geothermometry::TemperatureGrid(100.0, 300.0, 5.0) : Temperatures(grid);
  if (a.draws < 1 || a.draws > 1000000)
    throw Error("draws=" + std::to_string(a.draws) + " is not in the range 1 to 1000000");

  CsvText csv = ToCsv(names, columns);
  const RowIndex rows(std::move(csv.row_line));
  std::vector<uncertainty::TableSample> samples;
  {
    py::gil_scoped_release release;
    std::istringstream in(std::move(csv.text));
    try {
      samples = uncertainty::ReadTable(in, std::string(kName), uncertainty::InputErrors::Defaults(),
                                       options.steam_correction, a.run.units);
      for (auto& s : samples)
        for (const std::string& item : a.errors) uncertainty::SetError(s.errors, item);
    } catch (const uncertainty::ErrorSyntax& e) {
      throw Error(e.what());
    }
  }

  std::string table;
  std::vector<std::int64_t> table_rows;
  std::vector<std::string> table_ids;
  std::vector<std::int64_t> note_rows;
  std::vector<std::string> note_ids, note_kinds, note_texts;
  const auto note = [&](const uncertainty::TableSample& s, std::size_t row, std::string kind,
                        std::string text) {
    note_rows.push_back(static_cast<std::int64_t>(row));
    note_ids.push_back(s.sample.id);
    note_kinds.push_back(std::move(kind));
    note_texts.push_back(std::move(text));
  };
  Interruptible([&](const std::atomic<bool>& cancel) {
    options.cancel = &cancel;
    engine::ConditionsCache cache;
    std::ostringstream out;
    uncertainty::WriteCsvHeader(out);
    table = out.str();
    for (const uncertainty::TableSample& s : samples) {
      const std::size_t row = rows.Row(s.line);
      const std::string label = row < labels.size() ? labels[row] : std::to_string(row);
      if (!s.fault.empty()) {
        note(s, row, "error", RowFault(s, label));
        continue;
      }
      options.temperatures = s.temperatures.empty() ? temperatures : s.temperatures;
      uncertainty::Result r;
      try {
        r = uncertainty::Run(s.sample, s.errors, options, cache);
      } catch (const Interrupted&) {
        throw;
      } catch (const std::exception& e) {
        note(s, row, "error",
             "row " + label + (s.sample.id.empty() ? "" : " (id " + s.sample.id + ")") + ": " +
                 e.what());
        continue;
      }
      for (const std::string& w : r.warnings) note(s, row, "warning", w);
      // The id goes beside the text, not in it: one with a line break would add a line, and
      // the reader would cut one at a NUL.
      r.id.clear();
      std::ostringstream rows_out;
      uncertainty::WriteCsv(rows_out, r);
      const std::string text = rows_out.str();
      const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
      table += text;
      table_rows.insert(table_rows.end(), lines, static_cast<std::int64_t>(row));
      table_ids.insert(table_ids.end(), lines, s.sample.id);
    }
  });
  py::dict out;
  out["table"] = py::bytes(table);
  out["table_rows"] = ToArray(std::move(table_rows));
  out["table_ids"] = table_ids;
  out["note_rows"] = ToArray(std::move(note_rows));
  out["note_ids"] = note_ids;
  out["note_kinds"] = note_kinds;
  out["note_texts"] = note_texts;
  return out;
}

}  // namespace geofluid::python
