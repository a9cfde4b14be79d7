#pragma once

// Temperature sweeps and the reservoir temperature of every row of a DataFrame.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <map>
#include <string>

#include "options.h"

namespace geofluid::python {

struct ReservoirArguments {
  RunOptions run;  // temperatures: the sweep's grid (None: 100 to 300 °C by 5)
  std::string interpolation;
  std::optional<std::vector<std::string>> minerals;
  std::map<std::string, std::string> fix;  // component -> mineral, as `--fix Al=MICROCLINE`
  bool normalize = false;
  std::vector<std::string> optimize;  // steam_loss, dilution
};

// Columns of the sweep: one row per sample, dataset and temperature.
py::dict SweepTable(const std::vector<std::string>& names, const std::vector<py::array>& columns,
                    const std::vector<std::string>& labels, const ReservoirArguments& arguments);

// Columns of the reservoir temperatures: one row per sample, as `geofluid-cli geothermometry
// --format csv` writes them.
py::dict ReservoirTable(const std::vector<std::string>& names,
                        const std::vector<py::array>& columns,
                        const std::vector<std::string>& labels,
                        const ReservoirArguments& arguments);

}  // namespace geofluid::python
