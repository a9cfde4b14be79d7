#include "table.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "io/csv.h"
#include "io/text.h"

namespace geofluid::python {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// One object cell as a user would have typed it into the table; `texts` keeps what str()
// made of an object that is neither None, a float nor a str.
batch::Cell ObjectCell(PyObject* cell, std::deque<std::string>& texts) {
  if (cell == Py_None) return batch::Cell::Text("");
  if (PyFloat_Check(cell)) return batch::Cell::Number(PyFloat_AS_DOUBLE(cell));
  if (PyUnicode_Check(cell)) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(cell, &size);
    if (data == nullptr) throw py::error_already_set();
    return batch::Cell::Text(std::string_view(data, static_cast<std::size_t>(size)));
  }
  return batch::Cell::Text(texts.emplace_back(py::str(py::handle(cell)).cast<std::string>()));
}

std::vector<std::int64_t> Rows(const std::vector<std::size_t>& lines) {
  std::vector<std::int64_t> out(lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i)
    out[i] = static_cast<std::int64_t>(RowOf(lines[i]));
  return out;
}

}  // namespace

FrameCells::FrameCells(const std::vector<std::string>& names, const std::vector<py::array>& columns)
    : numbers_(columns.size()), objects_(columns.size(), nullptr), cells_(columns.size()) {
  for (std::size_t c = 0; c < columns.size(); ++c) {
    const auto n = static_cast<std::size_t>(columns[c].size());
    if (c == 0) rows_ = n;
    if (columns[c].ndim() != 1 || n != rows_)
      throw std::invalid_argument("the columns must be one-dimensional and of equal length");
  }
  for (std::size_t c = 0; c < columns.size(); ++c) {
    if (columns[c].dtype().kind() == 'f') {
      numbers_[c] =
          py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(columns[c]);
    } else if (columns[c].dtype().kind() == 'O') {
      py::array contiguous = py::array::ensure(columns[c], py::array::c_style);
      held_.push_back(contiguous);
      objects_[c] = static_cast<PyObject* const*>(contiguous.data());
    } else {
      throw std::invalid_argument("column " + names[c] + ": give float64 or object values");
    }
  }
}

std::span<const batch::Cell> FrameCells::Row(std::size_t r) {
  texts_.clear();
  for (std::size_t c = 0; c < cells_.size(); ++c)
    cells_[c] = objects_[c] != nullptr ? ObjectCell(objects_[c][r], texts_)
                                       : batch::Cell::Number(numbers_[c].data()[r]);
  return cells_;
}

std::string Label(const std::vector<std::string>& labels, std::size_t row) {
  return row < labels.size() ? labels[row] : std::to_string(row);
}

std::unique_ptr<batch::RowReader> HeaderOf(const std::vector<std::string>& names,
                                           const batch::InputOptions& input) {
  // As a table whose first line names nothing.
  if (std::all_of(names.begin(), names.end(),
                  [](const std::string& name) { return io::Trim(name).empty(); }))
    throw batch::UsageError("the table is empty: the first line must name the columns");
  return std::make_unique<batch::RowReader>(names, 1, input);
}

std::vector<batch::Job> ReadRows(const batch::RowReader& reader, FrameCells& cells,
                                 const std::vector<std::string>& labels) {
  std::vector<batch::Job> jobs;
  jobs.reserve(cells.Rows());
  for (std::size_t r = 0; r < cells.Rows(); ++r) {
    const std::span<const batch::Cell> row = cells.Row(r);
    if (reader.Blank(row)) continue;
    jobs.push_back(reader.Read(row, r + 1, "row " + Label(labels, r)));
  }
  return jobs;
}

Jobs ReadJobs(const std::vector<std::string>& names, const std::vector<py::array>& columns,
              const std::vector<std::string>& labels, const batch::InputOptions& input) {
  FrameCells cells(names, columns);
  std::unique_ptr<batch::RowReader> reader;
  try {
    reader = HeaderOf(names, input);
  } catch (const batch::UsageError& e) {
    throw Error(e.what());
  }
  return Jobs{ReadRows(*reader, cells, labels), reader->FixColumns()};
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

py::dict TableColumns::ToPython(const std::vector<std::string>& labels) {
  Interned interned;
  const std::size_t n = line_.size();
  py::dict out;
  std::vector<std::int64_t> row = Rows(line_);
  out["id"] = ObjectArray(n, [&](std::size_t i) { return py::object(py::str(id_[i])); });
  out["dataset"] = ObjectArray(n, [&](std::size_t i) { return interned.Get(dataset_[i]->key); });
  out["temperature"] = ToArray(std::move(temperature_));
  out["status"] =
      ObjectArray(n, [&](std::size_t i) { return interned.Get(batch::Text(status_[i])); });
  out["message"] = ObjectArray(n, [&](std::size_t i) {
    if (message_[i].empty()) return interned.Get("");
    const std::string label = Label(labels, static_cast<std::size_t>(row[i]));
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

py::dict SpeciesColumns::ToPython() {
  Interned interned;
  std::vector<py::object> ids;
  ids.reserve(id_.size());
  for (const std::string& id : id_) ids.push_back(py::str(id));
  const std::vector<std::int64_t> result_rows = Rows(line_);
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
