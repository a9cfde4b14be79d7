// The compiled part of the Python module: options checked as the command line checks them,
// the batch run with the GIL released on the library's own threads, results as columns.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <cmath>

#include "batch/batch.h"
#include "engine/engine.h"
#include "geothermometry/estimate.h"
#include "io/text.h"
#include "options.h"
#include "platform/errors.h"
#include "reservoir.h"
#include "scaling_table.h"
#include "table.h"
#include "typed.h"
#include "uncertainty.h"
#include "uncertainty/uncertainty.h"

namespace geofluid::python {

namespace {

py::dict Run(const std::vector<std::string>& names, const std::vector<py::array>& columns,
             const std::vector<std::string>& labels, const RunOptions& options, bool table,
             bool species) {
  const batch::BatchOptions run = BatchOptionsOf(options);
  Jobs jobs = ReadJobs(names, columns, labels, run.input);

  TableColumns table_columns;
  SpeciesColumns species_columns;
  std::vector<batch::RowSink*> sinks;
  if (table) sinks.push_back(&table_columns);
  if (species) sinks.push_back(&species_columns);
  batch::SinkList sink(sinks);

  std::atomic<bool> cancel{false};
  bool interrupted_by_python = false;
  {
    py::gil_scoped_release release;
    // Between chunks: Ctrl-C in the interpreter stops the run.
    const auto progress = [&](const batch::Progress&) {
      py::gil_scoped_acquire acquire;
      if (PyErr_CheckSignals() != 0) {
        interrupted_by_python = true;
        cancel.store(true);
      }
    };
    JobList input(jobs);
    try {
      batch::RunBatch(input, run, sink, progress, cancel);
    } catch (const batch::UsageError& e) {
      throw Error(e.what());
    }
  }
  if (interrupted_by_python) throw py::error_already_set();

  py::dict out;
  if (table) out["table"] = table_columns.ToPython(labels);
  if (species) out["species"] = species_columns.ToPython();
  return out;
}

py::dict Constants(const std::string& dataset_key, double temperature) {
  const engine::Dataset* dataset = engine::Dataset::FromKey(dataset_key);
  if (dataset == nullptr) NotIn("dataset", dataset_key, "{solveq,supcrt}");
  std::shared_ptr<const engine::Conditions> at;
  {
    py::gil_scoped_release release;
    try {
      at = engine::Prepare(*dataset, temperature);
    } catch (const Error& e) {
      throw Error(e.what());
    }
  }
  const thermo::Catalogue& catalogue = dataset->catalogue;
  py::list kind, index, name;
  std::vector<double> value;
  for (int i = thermo::kFirstComplex; i <= catalogue.species_count; ++i) {
    kind.append("aqueous");
    index.append(i);
    name.append(py::str(std::string(dataset->SpeciesName(i))));
    value.push_back(at->constants.aqueous_logk[static_cast<std::size_t>(i)]);
  }
  for (int m = 1; m <= catalogue.mineral_count; ++m) {
    kind.append("mineral");
    index.append(m);
    name.append(py::str(std::string(dataset->MineralName(m))));
    value.push_back(at->constants.mineral_logk[static_cast<std::size_t>(m)]);
  }
  for (const auto& [key, v] : {std::pair{"A", at->activity.a}, std::pair{"B", at->activity.b},
                               std::pair{"Bdot", at->activity.bdot}}) {
    kind.append("param");
    index.append(py::none());
    name.append(key);
    value.push_back(v);
  }
  py::dict out;
  out["kind"] = kind;
  out["index"] = index;
  out["name"] = name;
  out["value"] = ToArray(std::move(value));
  return out;
}

std::vector<std::string> MineralColumns(const std::string& dataset) {
  const auto datasets = Datasets(dataset);
  std::vector<std::string> out;
  for (const auto name : batch::MineralColumns(datasets)) out.emplace_back(name);
  return out;
}

std::vector<std::string> InputColumns() {
  std::vector<std::string> out;
  for (const auto name : batch::InputColumns()) out.emplace_back(name);
  return out;
}

// geofluid.Error: every failure the library reports (geofluid::Error) and every argument it
// refuses, named as the Python functions name them. A ValueError, as a bad argument is in
// Python, and a RuntimeError, as the library's failures were before it, so that callers
// catching either keep working.
void AddError(py::module_& m) {
  static PyObject* const error_type = [&] {
    py::tuple bases = py::make_tuple(py::handle(PyExc_ValueError), py::handle(PyExc_RuntimeError));
    PyObject* type = PyErr_NewExceptionWithDoc(
        "geofluid.Error",
        "A failure reported by geofluid: which input, which row, which step. Also a ValueError "
        "and a RuntimeError.",
        bases.ptr(), nullptr);
    if (type == nullptr) throw py::error_already_set();
    return type;
  }();
  m.attr("Error") = py::handle(error_type);
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const geofluid::Error& e) {
      PyErr_SetString(error_type, PythonWords(e.what()).c_str());
    } catch (const std::invalid_argument& e) {
      PyErr_SetString(error_type, PythonWords(e.what()).c_str());
    }
  });
}

void AddRun(py::module_& m) {
  m.def(
      "run",
      [](const std::vector<std::string>& names, const std::vector<py::array>& columns,
         const std::vector<std::string>& labels, py::object temperatures,
         const std::string& dataset, const std::string& units,
         std::optional<std::string> steam_units, bool steam_correction, int threads,
         const std::string& interpolation, bool table, bool species) {
        RunOptions options{std::move(temperatures), dataset, units,        std::move(steam_units),
                           steam_correction,        threads, interpolation};
        return Run(names, columns, labels, options, table, species);
      },
      py::arg("names"), py::arg("columns"), py::arg("labels"), py::arg("temperatures"),
      py::arg("dataset"), py::arg("units"), py::arg("steam_units"), py::arg("steam_correction"),
      py::arg("threads"), py::arg("interpolation"), py::arg("table"), py::arg("species"),
      "Evaluates the table given as columns; returns the results as arrays. Used by "
      "geofluid.evaluate and geofluid.species.");
}

void AddReservoir(py::module_& m) {
  const auto reservoir_arguments =
      [](py::object temperatures, const std::string& dataset, const std::string& units,
         std::optional<std::string> steam_units, bool steam_correction, int threads,
         const std::string& interpolation, std::optional<std::vector<std::string>> minerals) {
        return ReservoirArguments{RunOptions{std::move(temperatures), dataset, units,
                                             std::move(steam_units), steam_correction, threads},
                                  interpolation,
                                  std::move(minerals),
                                  {},
                                  false,
                                  {}};
      };
  m.def(
      "sweep",
      [=](const std::vector<std::string>& names, const std::vector<py::array>& columns,
          const std::vector<std::string>& labels, py::object temperatures,
          const std::string& dataset, const std::string& units,
          std::optional<std::string> steam_units, bool steam_correction, int threads,
          const std::string& interpolation) {
        return SweepTable(
            names, columns, labels,
            reservoir_arguments(std::move(temperatures), dataset, units, std::move(steam_units),
                                steam_correction, threads, interpolation, std::nullopt));
      },
      py::arg("names"), py::arg("columns"), py::arg("labels"), py::arg("temperatures"),
      py::arg("dataset"), py::arg("units"), py::arg("steam_units"), py::arg("steam_correction"),
      py::arg("threads"), py::arg("interpolation"),
      "Sweeps every sample over a temperature grid; used by geofluid.sweep.");
  m.def(
      "geothermometry",
      [=](const std::vector<std::string>& names, const std::vector<py::array>& columns,
          const std::vector<std::string>& labels, py::object temperatures,
          const std::string& dataset, const std::string& units,
          std::optional<std::string> steam_units, bool steam_correction, int threads,
          const std::string& interpolation, std::optional<std::vector<std::string>> minerals,
          std::map<std::string, std::string> fix, bool normalize,
          std::vector<std::string> optimize) {
        ReservoirArguments a =
            reservoir_arguments(std::move(temperatures), dataset, units, std::move(steam_units),
                                steam_correction, threads, interpolation, std::move(minerals));
        a.fix = std::move(fix);
        a.normalize = normalize;
        a.optimize = std::move(optimize);
        return ReservoirTable(names, columns, labels, a);
      },
      py::arg("names"), py::arg("columns"), py::arg("labels"), py::arg("temperatures"),
      py::arg("dataset"), py::arg("units"), py::arg("steam_units"), py::arg("steam_correction"),
      py::arg("threads"), py::arg("interpolation"), py::arg("minerals"), py::arg("fix"),
      py::arg("normalize"), py::arg("optimize"),
      "Reservoir temperatures of every sample; used by geofluid.geothermometry.");
}

void AddUncertainty(py::module_& m) {
  m.def(
      "uncertainty",
      [](const std::vector<std::string>& names, const std::vector<py::array>& columns,
         const std::vector<std::string>& labels, py::object temperatures,
         const std::string& dataset, const std::string& units, bool steam_correction, int threads,
         std::vector<std::string> errors, int draws, std::uint64_t seed,
         std::optional<std::vector<std::string>> minerals, std::map<std::string, std::string> fix,
         bool normalize, std::vector<std::string> optimize) {
        UncertaintyArguments a{RunOptions{std::move(temperatures), dataset, units, std::nullopt,
                                          steam_correction, threads},
                               std::move(errors),
                               draws,
                               seed,
                               std::move(minerals),
                               std::move(fix),
                               normalize,
                               std::move(optimize)};
        return UncertaintyTable(names, columns, labels, a);
      },
      py::arg("names"), py::arg("columns"), py::arg("labels"), py::arg("temperatures"),
      py::arg("dataset"), py::arg("units"), py::arg("steam_correction"), py::arg("threads"),
      py::arg("errors"), py::arg("draws"), py::arg("seed"), py::arg("minerals"), py::arg("fix"),
      py::arg("normalize"), py::arg("optimize"),
      "Monte Carlo uncertainty of every sample; used by geofluid.uncertainty.");
}

// The reference data: constants and the names of columns and minerals.
void AddReference(py::module_& m) {
  m.def("constants", &Constants, py::arg("dataset"), py::arg("temperature"),
        "The equilibrium constants and activity-model parameters as arrays; used by "
        "geofluid.constants.");
  m.def("mineral_columns", &MineralColumns, py::arg("dataset"),
        "The minerals of the SI_ columns for dataset solveq, supcrt or both, in output order.");
  m.def(
      "default_minerals",
      [](const std::string& dataset) {
        const geofluid::engine::Dataset* d = geofluid::engine::Dataset::FromKey(dataset);
        if (d == nullptr) NotIn("dataset", dataset, "{solveq,supcrt}");
        return geofluid::geothermometry::DefaultMinerals(*d);
      },
      py::arg("dataset"), "The mineral set of the multicomponent estimate in a dataset.");
  m.def("input_columns", &InputColumns, "The columns an input table may have.");
}

}  // namespace

}  // namespace geofluid::python

PYBIND11_MODULE(_geofluid, m) {
  using namespace geofluid::python;
  m.doc() =
      "The compiled part of geofluid. Use the functions of the package `geofluid`, which take "
      "and give pandas DataFrames.";
  AddScaling(m);
  AddTypes(m);
  AddError(m);
  AddRun(m);
  AddReservoir(m);
  AddUncertainty(m);
  AddReference(m);
}
