#pragma once

// Between pandas and the batch library. A DataFrame is handed to the batch as the CSV text of
// its cells, so that its rows are read, converted and refused exactly as `geofluid-cli batch`
// reads a file; the results come back as whole columns (numpy arrays), never row by row.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "batch/batch.h"

namespace geofluid::python {

namespace py = pybind11;

// The cells of a DataFrame as CSV: a header of `names`, then one record per row. Each column is
// a float64 array (NaN: an empty cell) or an object array (None: an empty cell; str as it is;
// numbers in their shortest round-trip text). Needs the GIL.
struct CsvText {
  std::string text;
  std::vector<std::size_t> row_line;  // [row]: the line its record starts on
};
CsvText ToCsv(const std::vector<std::string>& names, const std::vector<py::array>& columns);

// Finds the row of a result from the line the batch gives it.
class RowIndex {
 public:
  RowIndex() = default;
  explicit RowIndex(std::vector<std::size_t> row_line) : row_line_(std::move(row_line)) {}
  std::size_t Row(std::size_t line) const;

 private:
  std::vector<std::size_t> row_line_;
};

// Every row of a DataFrame read as the batch reads a table (faults kept in Job::fault), and
// where each starts. Throws ValueError for the header's mistakes. Needs the GIL.
struct Jobs {
  std::vector<batch::Job> jobs;
  RowIndex rows;
};
Jobs ReadJobs(const std::vector<std::string>& names, const std::vector<py::array>& columns,
              const batch::InputOptions& input);

// A DataFrame has rows, not lines: "line 7 (id W3): ..." becomes "row <label> (id W3): ...",
// the label being that of the DataFrame's index.
std::string RowMessage(const std::string& message, std::size_t line, const std::string& label);

// The table of results as columns, in the order the batch writes them.
class TableColumns : public batch::RowSink {
 public:
  void Begin(std::span<const engine::Dataset* const> datasets) override;
  void FixedComponents(std::span<const std::string> keys) override;
  void Write(const batch::Result& result) override;

  // Needs the GIL. `labels` are the index labels of the rows as text.
  py::dict ToPython(const RowIndex& rows, const std::vector<std::string>& labels);

 private:
  std::vector<std::string_view> minerals_;
  std::unordered_map<std::string_view, std::size_t> column_of_;
  std::vector<std::size_t> line_;
  std::vector<std::string> id_;
  std::vector<const engine::Dataset*> dataset_;
  std::vector<double> temperature_;
  std::vector<batch::Status> status_;
  std::vector<std::string> message_;
  std::vector<double> ph_, ionic_strength_, toth_, steam_fraction_, charge_balance_;
  std::vector<std::int64_t> passes_, trials_;
  std::vector<std::uint8_t> converged_, evaluated_;
  std::vector<std::vector<double>> si_;  // [mineral column][row]
  std::vector<std::string> fixed_keys_;
  std::vector<std::vector<double>> fixed_;  // [fixed component][row], mol/kg
};

// The species in long form: one row per species of every evaluated result.
class SpeciesColumns : public batch::RowSink {
 public:
  void Write(const batch::Result& result) override;
  py::dict ToPython(const RowIndex& rows);

 private:
  std::vector<std::size_t> line_;
  std::vector<std::string> id_;      // [result]
  std::vector<std::size_t> result_;  // [species row]: index into id_
  std::vector<const engine::Dataset*> dataset_;
  std::vector<double> temperature_;
  std::vector<std::string_view> species_;
  std::vector<std::int64_t> charge_;
  std::vector<double> molality_, gamma_, activity_, log_activity_;
};

// An object array of `n` elements made by `make(i)` (a new reference each).
template <class Make>
py::array ObjectArray(std::size_t n, Make make) {
  py::array out(py::dtype("O"), py::array::ShapeContainer{static_cast<py::ssize_t>(n)},
                py::array::StridesContainer{});
  auto** data = static_cast<PyObject**>(out.mutable_data());
  for (std::size_t i = 0; i < n; ++i) {
    PyObject* value = make(i).release().ptr();
    Py_XDECREF(data[i]);
    data[i] = value;
  }
  return out;
}

inline py::array BoolArray(std::vector<std::uint8_t>&& values) {
  auto* owned = new std::vector<std::uint8_t>(std::move(values));
  py::capsule owner(owned, [](void* p) { delete static_cast<std::vector<std::uint8_t>*>(p); });
  return py::array(py::dtype("bool"),
                   py::array::ShapeContainer{static_cast<py::ssize_t>(owned->size())},
                   py::array::StridesContainer{}, owned->data(), owner);
}

// The same Python str for every row that shows the same text.
class Interned {
 public:
  py::object Get(std::string_view text) {
    auto it = strings_.find(text);
    if (it == strings_.end()) it = strings_.emplace(text, py::str(text.data(), text.size())).first;
    return it->second;
  }

 private:
  std::unordered_map<std::string_view, py::object> strings_;
};

// A vector handed to numpy without a copy.
template <class T>
py::array_t<T> ToArray(std::vector<T>&& values) {
  auto* owned = new std::vector<T>(std::move(values));
  py::capsule owner(owned, [](void* p) { delete static_cast<std::vector<T>*>(p); });
  return py::array_t<T>(static_cast<py::ssize_t>(owned->size()), owned->data(), owner);
}

}  // namespace geofluid::python
