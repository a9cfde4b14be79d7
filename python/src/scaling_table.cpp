#include "scaling_table.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <limits>
#include <stdexcept>

#include "interp/steffen.h"
#include "options.h"
#include "scaling/scaling.h"
#include "table.h"

namespace geofluid::python {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Arguments {
  RunOptions run;
  std::string reservoir;
  std::vector<double> separation;
  bool stages = false;
  std::vector<double> cooling;
  std::string degassing;
  double step = 1.0;
  std::optional<std::vector<std::string>> minerals;
};

// The layer's options from the arguments, and the minerals of the SI_ columns (the first
// dataset's names). Throws Error with the argument's name.
scaling::Options OptionsOf(const Arguments& a, const batch::BatchOptions& batch,
                           std::vector<std::string>& minerals) {
  scaling::Options o;
  try {
    o.datasets = batch.evaluation.datasets;
    o.reservoir = scaling::ParseReservoir(a.reservoir);
    o.separation = a.separation;
    o.stages = a.stages;
    o.cooling = a.cooling;
    if (a.degassing != "closed" && a.degassing != "open") {
      NotIn("degassing", a.degassing, "{closed,open}");
    }
    o.degassing = a.degassing == "open" ? scaling::Degassing::kOpen : scaling::Degassing::kClosed;
    o.open_step = a.step;
    if (a.minerals) o.minerals = *a.minerals;
    o.scheme = interp::SchemeByName(a.run.interpolation);
    if (o.scheme == nullptr) NotIn("interpolation", a.run.interpolation, "{specified,steffen}");
    scaling::CheckOptions(o);
    for (const auto* d : o.datasets) {
      const auto set = scaling::ResolveMinerals(
          *d, o.minerals.empty() ? scaling::DefaultMinerals() : o.minerals);
      if (d == o.datasets.front()) minerals = set.names;
    }
  } catch (const std::invalid_argument& e) {
    throw Error(e.what());
  }
  return o;
}

// Every readable job's path on the module's threads, without the GIL; Ctrl-C stops it.
std::vector<scaling::Path> RunAll(const Jobs& jobs, scaling::Options o, int threads) {
  const std::size_t n = jobs.jobs.size();
  std::vector<scaling::Path> paths(n);
  Interruptible([&](const std::atomic<bool>& cancel) {
    o.cancel = &cancel;
    engine::ConditionsCache cache;
    tbb::task_arena arena(threads > 0 ? threads : tbb::task_arena::automatic);
    arena.execute([&] {
      tbb::parallel_for(std::size_t{0}, n, [&](std::size_t i) {
        if (jobs.jobs[i].fault.empty() && !cancel.load())
          paths[i] = scaling::RunScaling(jobs.jobs[i].sample, o, cache);
      });
    });
  });
  return paths;
}

// The long table: one row per sample, dataset and water.
class ScalingColumns {
 public:
  explicit ScalingColumns(std::size_t minerals) : si_(minerals) {}

  // A water of job `j` (null: a step that failed; `boiled`: a separator's, with its steam).
  void Add(const batch::Job& j, const engine::Dataset* d, const char* kind, double ts, double t,
           const scaling::Water* w, bool boiled, std::string text) {
    row_.push_back(static_cast<std::int64_t>(RowOf(j.line)));
    job_.push_back(&j);
    dataset_.push_back(d);
    step_.push_back(kind);
    separation_.push_back(ts);
    temperature_.push_back(t);
    ok_.push_back(w != nullptr ? 1 : 0);
    message_.push_back(std::move(text));
    steam_fraction_.push_back(w && boiled ? w->steam_fraction : kNaN);
    total_steam_fraction_.push_back(w ? w->total_steam_fraction : kNaN);
    ph_.push_back(w ? w->ph : kNaN);
    steam_co2_.push_back(w && boiled ? w->steam_co2 : kNaN);
    steam_h2s_.push_back(w && boiled ? w->steam_h2s : kNaN);
    liquid_co2_.push_back(w ? w->LiquidCo2() : kNaN);
    liquid_h2s_.push_back(w ? w->LiquidH2s() : kNaN);
    ssi_.push_back(w ? w->ssi_amorphous_silica : kNaN);
    for (std::size_t m = 0; m < si_.size(); ++m) si_[m].push_back(w ? w->si[m] : kNaN);
  }

  // The rows of one sample with one dataset: its fault, or its reservoir, separators and
  // cooled waters.
  void AddPath(const batch::Job& j, const engine::Dataset* d, const scaling::Path& path,
               const std::string& label) {
    if (!j.fault.empty()) {
      Add(j, d, "reservoir", kNaN, kNaN, nullptr, false, RowMessage(j.fault, j.line, label));
      return;
    }
    const scaling::DatasetPath* p = nullptr;
    for (const auto& candidate : path.datasets)
      if (candidate.dataset == d) p = &candidate;
    const std::string where = "row " + label +
                              (j.sample.id.empty() ? "" : " (id " + j.sample.id + ")") + ", " +
                              std::string(d->title) + ": ";
    if (!p->ok()) {
      Add(j, d, "reservoir", kNaN, kNaN, nullptr, false, where + p->error);
      return;
    }
    std::string warnings;
    for (const auto& w : p->warnings) warnings += (warnings.empty() ? "" : "; ") + w;
    Add(j, d, "reservoir", kNaN, p->reservoir.temperature, &p->reservoir, false, warnings);
    for (const auto& s : p->separation) {
      const double ts = s.water.temperature;
      Add(j, d, "separation", ts, ts, s.ok() ? &s.water : nullptr, true,
          s.ok() ? "" : where + s.error);
      for (std::size_t k = 0; k < s.cooling.size(); ++k) {
        const bool good = s.ok() && s.cooling_errors[k].empty();
        Add(j, d, "cooling", ts, s.cooling[k].temperature, good ? &s.cooling[k] : nullptr, false,
            good ? "" : where + s.cooling_errors[k]);
      }
    }
  }

  py::dict ToPython(const std::vector<std::string>& minerals) {
    Interned interned;
    const std::size_t rows = row_.size();
    py::dict out;
    out["id"] =
        ObjectArray(rows, [&](std::size_t k) { return py::object(py::str(job_[k]->sample.id)); });
    out["dataset"] =
        ObjectArray(rows, [&](std::size_t k) { return interned.Get(dataset_[k]->key); });
    out["step"] = ObjectArray(rows, [&](std::size_t k) { return interned.Get(step_[k]); });
    out["separation"] = ToArray(std::move(separation_));
    out["temperature"] = ToArray(std::move(temperature_));
    out["status"] = ObjectArray(rows, [&](std::size_t k) {
      return interned.Get(!ok_[k] ? "error" : message_[k].empty() ? "ok" : "warning");
    });
    out["message"] =
        ObjectArray(rows, [&](std::size_t k) { return py::object(py::str(message_[k])); });
    out["steam_fraction"] = ToArray(std::move(steam_fraction_));
    out["total_steam_fraction"] = ToArray(std::move(total_steam_fraction_));
    out["pH"] = ToArray(std::move(ph_));
    out["steam_CO2"] = ToArray(std::move(steam_co2_));
    out["steam_H2S"] = ToArray(std::move(steam_h2s_));
    out["liquid_CO2"] = ToArray(std::move(liquid_co2_));
    out["liquid_H2S"] = ToArray(std::move(liquid_h2s_));
    out["ssi_amorphous_silica"] = ToArray(std::move(ssi_));
    for (std::size_t m = 0; m < minerals.size(); ++m)
      out[py::str("SI_" + minerals[m])] = ToArray(std::move(si_[m]));
    out["row"] = ToArray(std::move(row_));
    return out;
  }

 private:
  std::vector<std::int64_t> row_;
  std::vector<const batch::Job*> job_;
  std::vector<const engine::Dataset*> dataset_;
  std::vector<const char*> step_;
  std::vector<double> separation_, temperature_, steam_fraction_, total_steam_fraction_, ph_,
      steam_co2_, steam_h2s_, liquid_co2_, liquid_h2s_, ssi_;
  std::vector<std::string> message_;
  std::vector<std::uint8_t> ok_;
  std::vector<std::vector<double>> si_;
};

py::dict ScalingTable(const std::vector<std::string>& names, const std::vector<py::array>& columns,
                      const std::vector<std::string>& labels, const Arguments& a) {
  const batch::BatchOptions batch = BatchOptionsOf(a.run);
  std::vector<std::string> minerals;
  const scaling::Options o = OptionsOf(a, batch, minerals);
  const Jobs jobs = ReadJobs(names, columns, labels, batch.input);
  const std::vector<scaling::Path> paths = RunAll(jobs, o, batch.threads);
  ScalingColumns table(minerals.size());
  for (std::size_t i = 0; i < jobs.jobs.size(); ++i) {
    const batch::Job& j = jobs.jobs[i];
    const std::string label = Label(labels, RowOf(j.line));
    for (const engine::Dataset* d : o.datasets) table.AddPath(j, d, paths[i], label);
  }
  return table.ToPython(minerals);
}

}  // namespace

void AddScaling(py::module_& m) {
  m.def(
      "scaling",
      [](const std::vector<std::string>& names, const std::vector<py::array>& columns,
         const std::vector<std::string>& labels, const std::string& reservoir,
         std::vector<double> separation, bool stages, std::vector<double> cooling,
         const std::string& degassing, double step, const std::string& dataset,
         const std::string& units, std::optional<std::string> steam_units, int threads,
         const std::string& interpolation, std::optional<std::vector<std::string>> minerals) {
        Arguments a{RunOptions{py::none(), dataset, units, std::move(steam_units), true, threads,
                               interpolation},
                    reservoir,
                    std::move(separation),
                    stages,
                    std::move(cooling),
                    degassing,
                    step,
                    std::move(minerals)};
        return ScalingTable(names, columns, labels, a);
      },
      py::arg("names"), py::arg("columns"), py::arg("labels"), py::arg("reservoir"),
      py::arg("separation"), py::arg("stages"), py::arg("cooling"), py::arg("degassing"),
      py::arg("step"), py::arg("dataset"), py::arg("units"), py::arg("steam_units"),
      py::arg("threads"), py::arg("interpolation"), py::arg("minerals"),
      "Boils and cools every sample's reservoir fluid; used by geofluid.scaling.");
}

}  // namespace geofluid::python
