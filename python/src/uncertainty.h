#pragma once

// Monte Carlo uncertainty of every row of a DataFrame.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <map>

#include "options.h"

namespace geofluid::python {

struct UncertaintyArguments {
  RunOptions run;                   // temperatures: None for the layer's default grid
  std::vector<std::string> errors;  // KEY=VALUE, over the table's err_ columns
  int draws = 1000;
  std::uint64_t seed = 1;
  std::optional<std::vector<std::string>> minerals;
  std::map<std::string, std::string> fix;  // component -> mineral, as `--fix Al=MICROCLINE`
  bool normalize = false;
  std::vector<std::string> optimize;  // steam_loss, dilution
};

// The long table of `geofluid-cli uncertainty --format csv` as columns (in row order, each line
// with its row), and the errors and warnings per row.
py::dict UncertaintyTable(const std::vector<std::string>& names,
                          const std::vector<py::array>& columns,
                          const std::vector<std::string>& labels, const UncertaintyArguments& a);

}  // namespace geofluid::python
