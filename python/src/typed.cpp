#include "typed.h"

#include <pybind11/stl.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "batch/batch.h"
#include "engine/engine.h"
#include "geothermometry/estimate.h"
#include "geothermometry/sweep.h"
#include "interp/steffen.h"
#include "options.h"
#include "uncertainty/uncertainty.h"

namespace geofluid::python {

namespace {

namespace py = pybind11;

const engine::Dataset& DatasetOf(const std::string& key) {
  const engine::Dataset* d = engine::Dataset::FromKey(key);
  if (d == nullptr) NotIn("dataset", key, "{solveq,supcrt}");
  return *d;
}

template <class Name>
std::vector<std::string> Names(int count, Name name) {
  std::vector<std::string> out;
  for (int i = 1; i <= count; ++i) out.emplace_back(name(i));
  return out;
}

double& ComponentOf(engine::Sample& s, const std::string& key) {
  if (!engine::ComponentIndex(key)) throw py::key_error(key + " is not a component");
  return s.Component(key);
}

void NeedSeparation(const engine::Sample& sample, bool steam_correction) {
  // As a table's row without a separation cell: 100 °C must not stand in unasked.
  if (steam_correction && !sample.separation_given)
    throw Error(
        "sample.separation: missing; the steam correction needs the separation "
        "temperature (or give steam_correction=False)");
}

// Each dataset (in `dataset`'s order) at each temperature (None: the pH temperature's measured
// mode only), as evaluate() computes a row. Raises Error for a failed evaluation; a warning
// (no convergence, outside the tables) becomes a Python UserWarning.
std::vector<engine::Evaluation> EvaluateSample(const engine::Sample& sample,
                                               py::object temperatures, const std::string& dataset,
                                               bool steam_correction,
                                               const std::string& interpolation) {
  const batch::BatchOptions options =
      BatchOptionsOf(RunOptions{std::move(temperatures), dataset, "mol/kg", std::nullopt,
                                steam_correction, 1, interpolation});
  if (!options.input.temperatures.empty()) NeedSeparation(sample, steam_correction);
  batch::Job job;
  job.sample = sample;
  job.temperatures = options.input.temperatures;
  std::vector<batch::Result> results;
  {
    py::gil_scoped_release release;
    engine::ConditionsCache cache;
    results = batch::EvaluateJob(job, options.evaluation, cache);
  }
  std::vector<engine::Evaluation> out;
  for (batch::Result& r : results) {
    if (r.status == batch::Status::kError) throw Error(r.message);
    if (r.status == batch::Status::kWarning &&
        PyErr_WarnEx(PyExc_UserWarning, r.message.c_str(), 1) != 0)
      throw py::error_already_set();
    out.push_back(std::move(*r.evaluation));
  }
  return out;
}

// The temperature grid of an estimate: None for 100 to 300 °C by 5, sorted with a warning.
std::vector<double> Grid(const py::object& temperatures) {
  if (temperatures.is_none()) return geothermometry::TemperatureGrid(100.0, 300.0, 5.0);
  std::vector<double> grid = Temperatures(temperatures);
  if (geothermometry::SortTemperatures(grid)) {
    const std::string note = geothermometry::SortedTemperaturesNote(grid.size());
    if (PyErr_WarnEx(PyExc_UserWarning, note.c_str(), 1) != 0) throw py::error_already_set();
  }
  return grid;
}

// The multicomponent estimate of one sample with each dataset, as geothermometry() finds it.
std::vector<geothermometry::Estimate> EstimateSample(
    const engine::Sample& sample, const std::string& dataset,
    std::optional<std::vector<std::string>> minerals, py::object temperatures,
    bool steam_correction, const std::string& interpolation) {
  geothermometry::SweepOptions sweep;
  sweep.temperatures = Grid(temperatures);
  sweep.steam_correction = steam_correction;
  sweep.scheme = interp::SchemeByName(interpolation);
  if (sweep.scheme == nullptr) NotIn("interpolation", interpolation, "{specified,steffen}");
  const std::vector<const engine::Dataset*> datasets = Datasets(dataset);
  NeedSeparation(sample, steam_correction);
  const std::vector<std::string> set = minerals.value_or(std::vector<std::string>{});
  for (const engine::Dataset* d : datasets)
    if (!set.empty()) geothermometry::MineralIndices(*d, set);
  std::vector<geothermometry::Estimate> out;
  py::gil_scoped_release release;
  engine::ConditionsCache cache;
  for (const engine::Dataset* d : datasets)
    out.push_back(geothermometry::EstimateTemperature(sample, *d, set, sweep, cache));
  return out;
}

// The Monte Carlo of one sample, as uncertainty() runs a row.
uncertainty::Result UncertaintySample(const engine::Sample& sample, py::object temperatures,
                                      const std::string& dataset,
                                      const std::vector<std::string>& errors, int draws,
                                      std::uint64_t seed,
                                      std::optional<std::vector<std::string>> minerals,
                                      bool steam_correction, int threads) {
  uncertainty::Options options;
  options.datasets = Datasets(dataset);
  options.temperatures = temperatures.is_none() ? geothermometry::TemperatureGrid(100.0, 300.0, 5.0)
                                                : Temperatures(temperatures);
  if (draws < 1 || draws > 1000000)
    throw Error("draws=" + std::to_string(draws) + " is not in the range 1 to 1000000");
  if (threads < 0)
    throw Error("threads=" + std::to_string(threads) + " is not a number of threads");
  options.draws = draws;
  options.seed = seed;
  options.threads = threads;
  options.steam_correction = steam_correction;
  if (minerals) options.minerals = *minerals;
  NeedSeparation(sample, steam_correction);
  uncertainty::InputErrors input = uncertainty::InputErrors::Defaults();
  try {
    for (const std::string& item : errors) uncertainty::SetError(input, item);
  } catch (const uncertainty::ErrorSyntax& e) {
    throw Error(std::string("errors: ") + e.what());
  }
  uncertainty::Result result;
  Interruptible([&](const std::atomic<bool>& cancel) {
    options.cancel = &cancel;
    engine::ConditionsCache cache;
    result = uncertainty::Run(sample, input, options, cache);
  });
  return result;
}

std::optional<double> Celsius(const geothermometry::TemperatureEstimate& e) { return e.celsius; }

void AddSample(py::module_& m) {
  py::class_<engine::Sample>(m, "Sample", R"(One sample of separated water and its steam, typed.

Sample(id="", pH=7.0, ph_temperature=25.0, separation=None, components=None,
       steam_CO2=0.0, steam_H2S=0.0, H2O=55.51)
  components  {"Na": 0.04, "Cl": 0.05, ...}: totals of the separated water, mol/kg H2O,
              keys as INPUT_COLUMNS name the components (SiO2 ... NH3); others are 0
  separation  °C; None: not given (100 °C stands in, as an empty cell of a table)
  steam_CO2, steam_H2S  mol/kg of steam
sample["Na"] reads and sets a component (mol/kg H2O).)")
      .def(py::init([](std::string id, double ph, double ph_temperature,
                       std::optional<double> separation,
                       std::optional<std::map<std::string, double>> components, double co2,
                       double h2s, double water) {
             engine::Sample s;
             s.id = std::move(id);
             s.ph = ph;
             s.ph_temperature = ph_temperature;
             s.separation_given = separation.has_value();
             if (separation) s.separation_temperature = *separation;
             for (const auto& [key, value] : components.value_or(std::map<std::string, double>{})) {
               if (!engine::ComponentIndex(key))
                 throw Error("components: " + Quoted(key) + " is not a component");
               s.Component(key) = value;
             }
             s.steam_co2 = co2;
             s.steam_h2s = h2s;
             s.water = water;
             return s;
           }),
           py::arg("id") = "", py::arg("pH") = 7.0, py::arg("ph_temperature") = 25.0,
           py::arg("separation") = py::none(), py::arg("components") = py::none(),
           py::arg("steam_CO2") = 0.0, py::arg("steam_H2S") = 0.0, py::arg("H2O") = 55.51)
      .def_readwrite("id", &engine::Sample::id)
      .def_readwrite("pH", &engine::Sample::ph)
      .def_readwrite("ph_temperature", &engine::Sample::ph_temperature, "°C")
      .def_property(
          "separation",
          [](const engine::Sample& s) -> std::optional<double> {
            if (!s.separation_given) return std::nullopt;
            return s.separation_temperature;
          },
          [](engine::Sample& s, std::optional<double> t) {
            s.separation_given = t.has_value();
            s.separation_temperature = t.value_or(100.0);
          },
          "°C, or None")
      .def_readwrite("steam_CO2", &engine::Sample::steam_co2, "mol/kg of steam")
      .def_readwrite("steam_H2S", &engine::Sample::steam_h2s, "mol/kg of steam")
      .def_readwrite("H2O", &engine::Sample::water, "moles of water (55.51: 1 kg)")
      .def_property_readonly(
          "components",
          [](const engine::Sample& s) {
            std::map<std::string, double> out;
            for (std::size_t k = 0; k < engine::kComponentCount; ++k)
              out.emplace(std::string(engine::kComponentKeys[k]), s.component[k]);
            return out;
          },
          "Every component's total, mol/kg H2O (a copy)")
      .def("__getitem__",
           [](engine::Sample& s, const std::string& key) { return ComponentOf(s, key); })
      .def("__setitem__", [](engine::Sample& s, const std::string& key, double value) {
        ComponentOf(s, key) = value;
      });
}

void AddDataset(py::module_& m) {
  py::class_<engine::Dataset>(m, "Dataset",
                              "A thermodynamic dataset (geofluid.dataset(\"solveq\")): its "
                              "species and minerals by name.")
      .def_property_readonly("key", [](const engine::Dataset& d) { return std::string(d.key); })
      .def_property_readonly("title", [](const engine::Dataset& d) { return std::string(d.title); })
      .def_property_readonly("species",
                             [](const engine::Dataset& d) {
                               return Names(d.SpeciesCount(),
                                            [&](int i) { return d.SpeciesName(i); });
                             })
      .def_property_readonly("minerals",
                             [](const engine::Dataset& d) {
                               return Names(d.MineralCount(),
                                            [&](int i) { return d.MineralName(i); });
                             })
      .def_property_readonly("default_minerals",
                             [](const engine::Dataset& d) {
                               return std::vector<std::string>(d.default_minerals.begin(),
                                                               d.default_minerals.end());
                             })
      .def("__repr__", [](const engine::Dataset& d) {
        return "geofluid.dataset('" + std::string(d.key) + "')";
      });
  m.def("dataset", &DatasetOf, py::arg("key"), py::return_value_policy::reference,
        "The dataset \"solveq\" or \"supcrt\".");
}

void AddEvaluation(py::module_& m) {
  py::class_<engine::SpeciesResult>(m, "Species", "A species of an evaluation.")
      .def_property_readonly("name",
                             [](const engine::SpeciesResult& s) { return std::string(s.name); })
      .def_readonly("charge", &engine::SpeciesResult::charge)
      .def_readonly("molality", &engine::SpeciesResult::molality, "mol/kg H2O")
      .def_readonly("gamma", &engine::SpeciesResult::gamma, "activity coefficient")
      .def_readonly("activity", &engine::SpeciesResult::activity)
      .def_readonly("log_activity", &engine::SpeciesResult::log_activity, "log10")
      .def_readonly("switched_off", &engine::SpeciesResult::switched_off,
                    "no data at this temperature: the molality is the 1E-33 floor");
  py::class_<engine::MineralResult>(m, "Mineral", "A mineral's saturation in an evaluation.")
      .def_property_readonly("name",
                             [](const engine::MineralResult& r) { return std::string(r.name); })
      .def_readonly("log_k", &engine::MineralResult::log_k)
      .def_readonly("log_iap", &engine::MineralResult::log_iap)
      .def_readonly("si", &engine::MineralResult::si, "log(Q/K) as evaluate() gives it");
  py::class_<engine::Evaluation>(m, "Evaluation",
                                 "One sample with one dataset at one temperature "
                                 "(geofluid.evaluate_sample).")
      .def_property_readonly(
          "dataset", [](const engine::Evaluation& e) { return e.dataset; },
          py::return_value_policy::reference)
      .def_readonly("temperature", &engine::Evaluation::temperature, "°C")
      .def_readonly("pH", &engine::Evaluation::ph)
      .def_readonly("toth", &engine::Evaluation::toth, "total H+, mol/kg")
      .def_readonly("steam_fraction", &engine::Evaluation::steam_fraction, "mass fraction")
      .def_property_readonly("ionic_strength", &engine::Evaluation::IonicStrength, "mol/kg")
      .def_property_readonly("charge_balance_percent", &engine::Evaluation::ChargeBalancePercent)
      .def_property_readonly("converged", &engine::Evaluation::Converged)
      .def_property_readonly("passes", &engine::Evaluation::Passes)
      .def_readonly("trials", &engine::Evaluation::trials)
      .def(
          "species",
          [](const engine::Evaluation& e, std::optional<std::string> name) -> py::object {
            if (!name) return py::cast(e.Species());
            return py::cast(e.Species(*name));
          },
          py::arg("name") = py::none(),
          "The species by name (\"Na(+)\"), or all of them in the dataset's order.")
      .def(
          "mineral",
          [](const engine::Evaluation& e, const std::string& name) { return e.Mineral(name); },
          py::arg("name"), "A mineral by name, as the dataset spells it (\"QUARTZ\").")
      .def("minerals", &engine::Evaluation::Minerals, "Every mineral of the dataset.");
  m.def("evaluate_sample", &EvaluateSample, py::arg("sample"), py::arg("temperatures") = py::none(),
        py::arg("dataset") = "both", py::arg("steam_correction") = true,
        py::arg("interpolation") = "specified",
        "One Sample evaluated as evaluate() evaluates a row: a list of Evaluation, each "
        "dataset at each temperature (None: the measured mode at its ph_temperature). Raises "
        "geofluid.Error for a failed evaluation; warns (UserWarning) of a doubtful one.");
}

void AddEstimate(py::module_& m) {
  py::class_<geothermometry::Estimate>(
      m, "Estimate",
      "The multicomponent temperature estimate of one sample with one dataset "
      "(geofluid.estimate_sample): °C minimising the RMS, |median|, |mean| and sd of the set's "
      "log(Q/K), None where there is none.")
      .def_property_readonly(
          "dataset", [](const geothermometry::Estimate& e) { return e.dataset; },
          py::return_value_policy::reference)
      .def_readonly("minerals", &geothermometry::Estimate::minerals, "the set")
      .def_readonly("used", &geothermometry::Estimate::used, "those in the statistics")
      .def_property_readonly("rms",
                             [](const geothermometry::Estimate& e) { return Celsius(e.rms); })
      .def_property_readonly("median",
                             [](const geothermometry::Estimate& e) { return Celsius(e.median); })
      .def_property_readonly("mean",
                             [](const geothermometry::Estimate& e) { return Celsius(e.mean); })
      .def_property_readonly("sd", [](const geothermometry::Estimate& e) { return Celsius(e.sd); })
      .def_readonly("crossings", &geothermometry::Estimate::crossings,
                    "per mineral, the °C where its SI crosses 0")
      .def_readonly("warnings", &geothermometry::Estimate::warnings)
      .def_property_readonly(
          "error",
          [](const geothermometry::Estimate& e) { return e.sweep.ok() ? "" : e.sweep.error; },
          "why the sweep failed; empty when it did not");
  m.def("estimate_sample", &EstimateSample, py::arg("sample"), py::arg("dataset") = "both",
        py::arg("minerals") = py::none(), py::arg("temperatures") = py::none(),
        py::arg("steam_correction") = true, py::arg("interpolation") = "specified",
        "The multicomponent estimate of one Sample with each dataset, as geothermometry() finds "
        "it for a row (temperatures: the grid, None: 100 to 300 °C by 5; minerals: None for the "
        "default set): a list of Estimate.");
}

void AddUncertainty(py::module_& m) {
  py::class_<uncertainty::Interval>(m, "Interval", "Median and 5-95 % quantiles of the draws.")
      .def_readonly("median", &uncertainty::Interval::median)
      .def_readonly("q05", &uncertainty::Interval::q05)
      .def_readonly("q95", &uncertainty::Interval::q95)
      .def_readonly("n", &uncertainty::Interval::n, "draws counted (the others failed)");
  py::class_<uncertainty::Result>(m, "UncertaintyResult",
                                  "The Monte Carlo of one sample (geofluid.uncertainty_sample).")
      .def_readonly("draws", &uncertainty::Result::draws)
      .def_readonly("failed_draws", &uncertainty::Result::failed_draws)
      .def_readonly("warnings", &uncertainty::Result::warnings)
      .def(
          "pH",
          [](const uncertainty::Result& r, const std::string& dataset, double temperature) {
            for (const auto& d : r.datasets)
              for (const auto& t : d.temperatures)
                if (d.dataset->key == dataset && t.temperature == temperature) return t.ph;
            throw Error("no pH of " + dataset + " at " + std::to_string(temperature) + " °C");
          },
          py::arg("dataset"), py::arg("temperature"), "The pH's interval at a temperature.")
      .def(
          "si",
          [](const uncertainty::Result& r, const std::string& dataset, double temperature,
             const std::string& mineral) {
            for (const auto& d : r.datasets)
              for (const auto& t : d.temperatures)
                if (d.dataset->key == dataset && t.temperature == temperature)
                  for (const auto& s : t.si)
                    if (s.name == mineral) return s.interval;
            throw Error("no SI of " + mineral + " in " + dataset + " at " +
                        std::to_string(temperature) + " °C");
          },
          py::arg("dataset"), py::arg("temperature"), py::arg("mineral"),
          "A mineral's SI interval at a temperature.")
      .def(
          "estimate",
          [](const uncertainty::Result& r, const std::string& dataset,
             const std::string& criterion) {
            for (const auto& d : r.datasets)
              if (d.dataset->key == dataset && d.estimate)
                for (const auto& c : d.estimate->criteria)
                  if (c.name == criterion) return c.interval;
            throw Error("no estimate " + criterion + " of " + dataset);
          },
          py::arg("dataset"), py::arg("criterion") = "rms",
          "The temperature estimate's interval, °C (criterion rms, median, mean or sd).")
      .def(
          "solute",
          [](const uncertainty::Result& r, const std::string& key) {
            for (const auto& s : r.solute)
              if (s.key == key) return s.interval;
            throw Error("no solute geothermometer " + key);
          },
          py::arg("key"), "A solute geothermometer's interval, °C.");
  m.def("uncertainty_sample", &UncertaintySample, py::arg("sample"),
        py::arg("temperatures") = py::none(), py::arg("dataset") = "both",
        py::arg("errors") = std::vector<std::string>{}, py::arg("draws") = 1000,
        py::arg("seed") = 1, py::arg("minerals") = py::none(), py::arg("steam_correction") = true,
        py::arg("threads") = 0,
        "The Monte Carlo of one Sample as uncertainty() runs a row (errors: a list of "
        "\"KEY=VALUE\" over the defaults): an UncertaintyResult.");
}

}  // namespace

void AddTypes(py::module_& m) {
  AddSample(m);
  AddDataset(m);
  AddEvaluation(m);
  AddEstimate(m);
  AddUncertainty(m);
}

}  // namespace geofluid::python
