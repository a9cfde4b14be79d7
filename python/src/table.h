#pragma once

// Between pandas and the batch library. A DataFrame is handed to the batch as its cells (numbers
// exact, never through text) and its results come back as whole columns (numpy arrays), never
// row by row.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "batch/batch.h"

namespace geofluid::python {

namespace py = pybind11;

// The cells of a DataFrame, row by row, as the batch's RowReader takes them, so that its rows
// are read, converted and refused exactly as `geofluid-cli batch` reads a file. A float64 cell
// is its exact double (NaN: empty); an object cell is None (empty), a float (exact), a str (its
// text) or anything else as str() gives it. Needs the GIL.
class FrameCells {
 public:
  // Each column a float64 or an object array, all one-dimensional and of one length.
  FrameCells(const std::vector<std::string>& names, const std::vector<py::array>& columns);
  std::size_t Rows() const { return rows_; }
  // The cells of row r; valid until the next call.
  std::span<const batch::Cell> Row(std::size_t r);

 private:
  std::size_t rows_ = 0;
  std::vector<py::array_t<double>> numbers_;
  std::vector<PyObject* const*> objects_;
  std::vector<py::array> held_;  // keeps the contiguous copies alive
  std::vector<batch::Cell> cells_;
  std::deque<std::string> texts_;  // str() of the other objects of the current row
};

// How messages name row r: by the DataFrame's index label (`labels` empty: by its position).
std::string Label(const std::vector<std::string>& labels, std::size_t row);

// A DataFrame's header read as the batch reads a table's first line. Throws batch::UsageError.
std::unique_ptr<batch::RowReader> HeaderOf(const std::vector<std::string>& names,
                                           const batch::InputOptions& input);

// Every row of the DataFrame but the blank ones as a job, faults naming the row by its label.
// Job::line is the row's position + 1 (RowOf gives it back). Needs the GIL.
std::vector<batch::Job> ReadRows(const batch::RowReader& reader, FrameCells& cells,
                                 const std::vector<std::string>& labels);
inline std::size_t RowOf(std::size_t line) { return line - 1; }

// The rows of a DataFrame read as jobs; throws Error for the header's mistakes. Needs the GIL.
struct Jobs {
  std::vector<batch::Job> jobs;
  std::vector<std::string> fix_columns;
};
Jobs ReadJobs(const std::vector<std::string>& names, const std::vector<py::array>& columns,
              const std::vector<std::string>& labels, const batch::InputOptions& input);

// Jobs already read, handed to batch::RunBatch one by one.
class JobList : public batch::JobSource {
 public:
  explicit JobList(Jobs& jobs) : jobs_(jobs) {}
  bool Next(batch::Job& job) override {
    if (next_ == jobs_.jobs.size()) return false;
    job = std::move(jobs_.jobs[next_++]);
    return true;
  }
  std::vector<std::string> FixColumns() const override { return jobs_.fix_columns; }

 private:
  Jobs& jobs_;
  std::size_t next_ = 0;
};

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
  py::dict ToPython(const std::vector<std::string>& labels);

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
  py::dict ToPython();

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

// An object array of Python str, one per text.
inline py::array StrArray(const std::vector<std::string>& texts) {
  return ObjectArray(texts.size(), [&](std::size_t i) { return py::object(py::str(texts[i])); });
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
