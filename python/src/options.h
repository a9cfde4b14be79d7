#pragma once

// The Python functions' arguments, checked as the command line checks its options and refused
// with its messages (ValueError).

#include <pybind11/pybind11.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "batch/batch.h"

namespace geofluid::python {

namespace py = pybind11;

// Throws ValueError "<option>: <value> not in <set>", CLI11's words.
[[noreturn]] void NotIn(std::string_view option, const std::string& value, std::string_view set);

// "solveq", "supcrt" or "both".
std::vector<const engine::Dataset*> Datasets(const std::string& dataset);

// None: none (the measured mode); a text as --temperatures takes it; a number or numbers.
// Numbers go through the same reading as the text, so that a list is refused with the same
// message (NaN, more than the batch takes).
std::vector<double> Temperatures(const py::object& temperatures);

struct RunOptions {
  py::object temperatures;
  std::string dataset;
  std::string units;
  std::optional<std::string> steam_units;
  bool steam_correction = true;
  int threads = 0;
  std::string interpolation = "specified";  // of the tables: specified or steffen
};

batch::BatchOptions BatchOptionsOf(const RunOptions& options);

}  // namespace geofluid::python
