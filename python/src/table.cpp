#include "table.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

#include "io/csv.h"
#include "io/text.h"

namespace geofluid::python {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

using io::AppendCsvCell;

// The text of one object cell, as a user would have typed it into the table.
void AppendObject(std::string& out, PyObject* cell) {
  if (cell == Py_None) return;
  if (PyFloat_Check(cell)) {
    const double v = PyFloat_AS_DOUBLE(cell);
    if (!std::isnan(v)) io::AppendShortest(out, v);
    return;
  }
  if (PyUnicode_Check(cell)) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(cell, &size);
    if (data == nullptr) throw py::error_already_set();
    AppendCsvCell(out, std::string_view(data, static_cast<std::size_t>(size)));
    return;
  }
  AppendCsvCell(out, py::str(py::handle(cell)).cast<std::string>());
}

std::vector<std::int64_t> Rows(const RowIndex& rows, const std::vector<std::size_t>& lines) {
  std::vector<std::int64_t> out(lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i)
    out[i] = static_cast<std::int64_t>(rows.Row(lines[i]));
  return out;
}

}  // namespace

CsvText ToCsv(const std::vector<std::string>& names, const std::vector<py::array>& columns) {
  CsvText csv;
  std::size_t rows = 0;
  for (std::size_t c = 0; c < names.size(); ++c) {
    if (c > 0) csv.text += ',';
    AppendCsvCell(csv.text, names[c]);
    const auto n = static_cast<std::size_t>(columns[c].size());
    if (c == 0) rows = n;
    if (columns[c].ndim() != 1 || n != rows)
      throw std::invalid_argument("the columns must be one-dimensional and of equal length");
  }
  csv.text += '\n';
  std::size_t line = 2;

  std::vector<py::array_t<double>> numbers(columns.size());
  std::vector<PyObject* const*> objects(columns.size(), nullptr);
  std::vector<py::array> held;  // keeps the contiguous copies alive
  for (std::size_t c = 0; c < columns.size(); ++c) {
    if (columns[c].dtype().kind() == 'f') {
      numbers[c] =
          py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(columns[c]);
    } else if (columns[c].dtype().kind() == 'O') {
      py::array contiguous = py::array::ensure(columns[c], py::array::c_style);
      held.push_back(contiguous);
      objects[c] = static_cast<PyObject* const*>(contiguous.data());
    } else {
      throw std::invalid_argument("column " + names[c] + ": give float64 or object values");
    }
  }

  csv.row_line.reserve(rows);
  for (std::size_t r = 0; r < rows; ++r) {
    csv.row_line.push_back(line);
    const std::size_t start = csv.text.size();
    for (std::size_t c = 0; c < columns.size(); ++c) {
      if (c > 0) csv.text += ',';
      if (objects[c] != nullptr) {
        AppendObject(csv.text, objects[c][r]);
      } else {
        const double v = numbers[c].data()[r];
        if (!std::isnan(v)) io::AppendShortest(csv.text, v);
      }
    }
    // A quoted cell may hold line breaks: the next record starts further down, as it would
    // in the file pandas writes.
    line += 1 + static_cast<std::size_t>(std::count(
                    csv.text.begin() + static_cast<std::ptrdiff_t>(start), csv.text.end(), '\n'));
    csv.text += '\n';
  }
  return csv;
}

std::size_t RowIndex::Row(std::size_t line) const {
  const auto it = std::lower_bound(row_line_.begin(), row_line_.end(), line);
  return static_cast<std::size_t>(it - row_line_.begin());
}

std::string RowMessage(const std::string& message, std::size_t line, const std::string& label) {
  const std::string prefix = "line " + std::to_string(line);
  if (!message.starts_with(prefix) ||
      (message.size() > prefix.size() &&
       std::isdigit(static_cast<unsigned char>(message[prefix.size()]))))
    return message;
  return "row " + label + message.substr(prefix.size());
}

void TableColumns::Begin(std::span<const engine::Dataset* const> datasets) {
  minerals_ = batch::MineralColumns(datasets);
  for (std::size_t c = 0; c < minerals_.size(); ++c) column_of_[minerals_[c]] = c;
  si_.assign(minerals_.size(), {});
}

void TableColumns::FixedComponents(std::span<const std::string> keys) {
  fixed_keys_.assign(keys.begin(), keys.end());
  fixed_.assign(keys.size(), {});
}

void TableColumns::Write(const batch::Result& r) {
  for (std::size_t k = 0; k < fixed_keys_.size(); ++k) {
    const auto it = r.fixed.find(fixed_keys_[k]);
    fixed_[k].push_back(it != r.fixed.end() ? it->second : kNaN);
  }
  line_.push_back(r.line);
  id_.push_back(r.id);
  dataset_.push_back(r.dataset);
  temperature_.push_back(r.temperature.value_or(kNaN));
  status_.push_back(r.status);
  message_.push_back(r.message);
  const std::size_t row = line_.size() - 1;
  for (auto& column : si_) column.push_back(kNaN);
  if (!r.evaluation) {
    for (auto* v : {&ph_, &ionic_strength_, &toth_, &steam_fraction_, &charge_balance_})
      v->push_back(kNaN);
    passes_.push_back(0);
    trials_.push_back(0);
    converged_.push_back(0);
    evaluated_.push_back(0);
    return;
  }
  const engine::Evaluation& e = *r.evaluation;
  ph_.push_back(e.ph);
  ionic_strength_.push_back(e.IonicStrength());
  toth_.push_back(e.toth);
  steam_fraction_.push_back(e.steam_fraction);
  charge_balance_.push_back(e.ChargeBalancePercent());
  passes_.push_back(e.Passes());
  trials_.push_back(e.trials);
  converged_.push_back(e.Converged() ? 1 : 0);
  evaluated_.push_back(1);
  for (const engine::MineralResult& m : e.Minerals())
    if (const auto it = column_of_.find(m.name); it != column_of_.end())
      si_[it->second][row] = m.si;
}

py::dict TableColumns::ToPython(const RowIndex& rows, const std::vector<std::string>& labels) {
  Interned interned;
  const std::size_t n = line_.size();
  py::dict out;
  std::vector<std::int64_t> row = Rows(rows, line_);
  out["id"] = ObjectArray(n, [&](std::size_t i) { return py::object(py::str(id_[i])); });
  out["dataset"] = ObjectArray(n, [&](std::size_t i) { return interned.Get(dataset_[i]->key); });
  out["temperature"] = ToArray(std::move(temperature_));
  out["status"] =
      ObjectArray(n, [&](std::size_t i) { return interned.Get(batch::Text(status_[i])); });
  out["message"] = ObjectArray(n, [&](std::size_t i) {
    if (message_[i].empty()) return interned.Get("");
    const auto r = static_cast<std::size_t>(row[i]);
    const std::string label = r < labels.size() ? labels[r] : std::to_string(r);
    return py::object(py::str(RowMessage(message_[i], line_[i], label)));
  });
  out["pH"] = ToArray(std::move(ph_));
  out["ionic_strength"] = ToArray(std::move(ionic_strength_));
  out["toth"] = ToArray(std::move(toth_));
  out["steam_fraction"] = ToArray(std::move(steam_fraction_));
  out["charge_balance_percent"] = ToArray(std::move(charge_balance_));
  out["passes"] = ToArray(std::move(passes_));
  out["trials"] = ToArray(std::move(trials_));
  out["converged"] = BoolArray(std::move(converged_));
  out["evaluated"] = BoolArray(std::move(evaluated_));
  py::list minerals;
  py::list si;
  for (std::size_t c = 0; c < minerals_.size(); ++c) {
    minerals.append(py::str(minerals_[c].data(), minerals_[c].size()));
    si.append(ToArray(std::move(si_[c])));
  }
  out["minerals"] = minerals;
  out["si"] = si;
  py::list fixed_keys, fixed;
  for (std::size_t k = 0; k < fixed_keys_.size(); ++k) {
    fixed_keys.append(py::str(fixed_keys_[k]));
    fixed.append(ToArray(std::move(fixed_[k])));
  }
  out["fixed_keys"] = fixed_keys;
  out["fixed"] = fixed;
  out["row"] = ToArray(std::move(row));
  return out;
}

void SpeciesColumns::Write(const batch::Result& r) {
  if (!r.evaluation) return;
  const std::size_t result = id_.size();
  id_.push_back(r.id);
  line_.push_back(r.line);
  for (const engine::SpeciesResult& s : r.evaluation->Species()) {
    result_.push_back(result);
    dataset_.push_back(r.dataset);
    temperature_.push_back(*r.temperature);
    species_.push_back(s.name);
    charge_.push_back(s.charge);
    molality_.push_back(s.switched_off ? kNaN : s.molality);
    gamma_.push_back(s.switched_off ? kNaN : s.gamma);
    activity_.push_back(s.switched_off ? kNaN : s.activity);
    log_activity_.push_back(s.switched_off ? kNaN : s.log_activity);
  }
}

py::dict SpeciesColumns::ToPython(const RowIndex& rows) {
  Interned interned;
  std::vector<py::object> ids;
  ids.reserve(id_.size());
  for (const std::string& id : id_) ids.push_back(py::str(id));
  const std::vector<std::int64_t> result_rows = Rows(rows, line_);
  const std::size_t n = result_.size();
  std::vector<std::int64_t> row(n);
  for (std::size_t i = 0; i < n; ++i) row[i] = result_rows[result_[i]];
  py::dict out;
  out["id"] = ObjectArray(n, [&](std::size_t i) { return ids[result_[i]]; });
  out["dataset"] = ObjectArray(n, [&](std::size_t i) { return interned.Get(dataset_[i]->key); });
  out["temperature"] = ToArray(std::move(temperature_));
  out["species"] = ObjectArray(n, [&](std::size_t i) { return interned.Get(species_[i]); });
  out["charge"] = ToArray(std::move(charge_));
  out["molality"] = ToArray(std::move(molality_));
  out["gamma"] = ToArray(std::move(gamma_));
  out["activity"] = ToArray(std::move(activity_));
  out["log_activity"] = ToArray(std::move(log_activity_));
  out["row"] = ToArray(std::move(row));
  return out;
}

}  // namespace geofluid::python

namespace geofluid::python {

Jobs ReadJobs(const std::vector<std::string>& names, const std::vector<py::array>& columns,
              const batch::InputOptions& input) {
  CsvText csv = ToCsv(names, columns);
  Jobs out;
  out.rows = RowIndex(std::move(csv.row_line));
  py::gil_scoped_release release;
  std::istringstream in(std::move(csv.text));
  try {
    batch::CsvInput table(in, input);
    for (batch::Job job; table.Next(job);) out.jobs.push_back(std::move(job));
  } catch (const batch::UsageError& e) {
    throw Error(e.what());
  }
  return out;
}

}  // namespace geofluid::python
