#include "options.h"

#include <limits>

#include "batch/text.h"
#include "interp/steffen.h"

namespace geofluid::python {

// The command line's words for an option value it does not take.
void NotIn(std::string_view option, const std::string& value, std::string_view set) {
  throw py::value_error(std::string(option) + ": " + value + " not in " + std::string(set));
}

std::vector<const engine::Dataset*> Datasets(const std::string& dataset) {
  std::vector<const engine::Dataset*> out = engine::DatasetsFor(dataset);
  if (out.empty()) NotIn("--dataset", dataset, "{solveq,supcrt,both}");
  return out;
}

// None: the measured mode only; a text as --temperatures takes it; a number or numbers.
// Numbers go through the same reading as the text, so that a list is refused with the same
// message (NaN, more than the batch takes).
std::vector<double> Temperatures(const py::object& temperatures) {
  if (temperatures.is_none()) return {};
  std::string list;
  if (py::isinstance<py::str>(temperatures)) {
    list = temperatures.cast<std::string>();
  } else if (PyNumber_Check(temperatures.ptr()) && !py::isinstance<py::sequence>(temperatures)) {
    batch::AppendNumber(list, temperatures.cast<double>());
  } else {
    for (const py::handle item : temperatures) {
      if (!list.empty()) list += ',';
      double value = 0.0;
      try {
        value = py::cast<double>(item);
      } catch (const py::cast_error&) {
        throw py::value_error("temperatures: " + py::repr(item).cast<std::string>() +
                              " is not a number (give numbers, or a text such as 100:300:10)");
      }
      batch::AppendNumber(list, value);
    }
  }
  try {
    return batch::ParseTemperatures(list);
  } catch (const batch::UsageError& e) {
    throw py::value_error(e.what());
  }
}

batch::BatchOptions BatchOptionsOf(const RunOptions& o) {
  batch::BatchOptions run;
  if (o.threads < 0)
    throw py::value_error("--jobs: Value " + std::to_string(o.threads) + " not in range " +
                          std::to_string(0.0) + " to " +
                          std::to_string(std::numeric_limits<double>::max()));
  run.threads = o.threads;
  run.evaluation.datasets = Datasets(o.dataset);
  run.evaluation.scheme = interp::SchemeByName(o.interpolation);
  if (run.evaluation.scheme == nullptr)
    NotIn("--interpolation", o.interpolation, "{specified,steffen}");
  // The command line takes these names exactly as written.
  const auto unit = units::ConcentrationFromText(o.units);
  if (!unit || (o.units != "mol/kg" && o.units != "mg/kg" && o.units != "mg/L"))
    NotIn("--units", o.units, "{mol/kg,mg/kg,mg/L}");
  run.input.unit = *unit;
  if (o.steam_units) {
    const std::string& u = *o.steam_units;
    run.input.gas_unit = units::GasUnitFromText(u);
    if (!run.input.gas_unit || (u != "mol/kg" && u != "mmol/kg" && u != "mg/kg"))
      NotIn("--steam-units", u, "{mol/kg,mmol/kg,mg/kg}");
  }
  run.input.steam_correction = o.steam_correction;
  run.evaluation.steam_correction = o.steam_correction;
  run.input.temperatures = Temperatures(o.temperatures);
  return run;
}

}  // namespace geofluid::python
