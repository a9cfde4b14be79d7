#include "options.h"

#include <cctype>
#include <chrono>
#include <exception>
#include <future>
#include <limits>
#include <thread>
#include <utility>

#include "interp/steffen.h"
#include "io/text.h"

namespace geofluid::python {

void NotIn(std::string_view argument, const std::string& value, std::string_view set) {
  throw Error(std::string(argument) + "=" + Quoted(value) + " is not one of " + std::string(set));
}

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\\' || c == '\'') out += '\\';
    out += c;
  }
  return out + "'";
}

std::string PythonWords(std::string message) {
  // The command line's options that are arguments of the Python functions, longest first.
  static constexpr std::pair<std::string_view, std::string_view> kArguments[] = {
      {"--interpolation", "interpolation"},
      {"--steam-units", "steam_units"},
      {"--temperatures", "temperatures"},
      {"--separation", "separation"},
      {"--reservoir", "reservoir"},
      {"--degassing", "degassing"},
      {"--minerals", "minerals"},
      {"--optimize", "optimize"},
      {"--dataset", "dataset"},
      {"--cooling", "cooling"},
      {"--errors", "errors"},
      {"--stages", "stages"},
      {"--error", "errors"},
      {"--draws", "draws"},
      {"--units", "units"},
      {"--jobs", "threads"},
      {"--seed", "seed"},
      {"--fix", "fix"}};
  for (const auto& [option, argument] : kArguments) {
    for (std::size_t at = message.find(option); at != std::string::npos;
         at = message.find(option, at)) {
      const std::size_t end = at + option.size();
      const bool whole =
          end == message.size() || !(std::isalnum(static_cast<unsigned char>(message[end])) ||
                                     message[end] == '-' || message[end] == '_');
      if (whole) {
        message.replace(at, option.size(), argument);
        at += argument.size();
      } else {
        at = end;
      }
    }
  }
  return message;
}

std::vector<const engine::Dataset*> Datasets(const std::string& dataset) {
  std::vector<const engine::Dataset*> out = engine::DatasetsFor(dataset);
  if (out.empty()) NotIn("dataset", dataset, "{solveq,supcrt,both}");
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
    io::AppendShortest(list, temperatures.cast<double>());
  } else {
    for (const py::handle item : temperatures) {
      if (!list.empty()) list += ',';
      double value = 0.0;
      try {
        value = py::cast<double>(item);
      } catch (const py::cast_error&) {
        throw Error("temperatures: " + py::repr(item).cast<std::string>() +
                    " is not a number (give numbers, or a text such as 100:300:10)");
      }
      io::AppendShortest(list, value);
    }
  }
  try {
    return batch::ParseTemperatures(list);
  } catch (const batch::UsageError& e) {
    throw Error(e.what());
  }
}

batch::BatchOptions BatchOptionsOf(const RunOptions& o) {
  batch::BatchOptions run;
  if (o.threads < 0)
    throw Error("threads=" + std::to_string(o.threads) +
                " is not a number of threads (0: as many as the machine has cores)");
  run.threads = o.threads;
  run.evaluation.datasets = Datasets(o.dataset);
  run.evaluation.scheme = interp::SchemeByName(o.interpolation);
  if (run.evaluation.scheme == nullptr)
    NotIn("interpolation", o.interpolation, "{specified,steffen}");
  // The command line takes these names exactly as written.
  const auto unit = units::ConcentrationFromText(o.units);
  if (!unit || (o.units != "mol/kg" && o.units != "mg/kg" && o.units != "mg/L"))
    NotIn("units", o.units, "{mol/kg,mg/kg,mg/L}");
  run.input.unit = *unit;
  if (o.steam_units) {
    const std::string& u = *o.steam_units;
    run.input.gas_unit = units::GasUnitFromText(u);
    if (!run.input.gas_unit || (u != "mol/kg" && u != "mmol/kg" && u != "mg/kg"))
      NotIn("steam_units", u, "{mol/kg,mmol/kg,mg/kg}");
  }
  run.input.steam_correction = o.steam_correction;
  run.evaluation.steam_correction = o.steam_correction;
  run.input.temperatures = Temperatures(o.temperatures);
  return run;
}

void Interruptible(const std::function<void(const std::atomic<bool>& cancel)>& work) {
  std::atomic<bool> cancel{false};
  std::exception_ptr fault;
  std::promise<void> done;
  std::future<void> finished = done.get_future();
  std::thread runner([&] {
    try {
      work(cancel);
    } catch (...) {
      fault = std::current_exception();
    }
    done.set_value();
  });
  bool interrupted = false;
  for (;;) {
    bool ready = false;
    {
      py::gil_scoped_release release;
      ready = finished.wait_for(std::chrono::milliseconds(50)) == std::future_status::ready;
    }
    if (ready) break;
    if (PyErr_CheckSignals() != 0) {
      interrupted = true;
      cancel.store(true);
      break;
    }
  }
  {
    py::gil_scoped_release release;
    runner.join();
  }
  if (interrupted) throw py::error_already_set();  // the KeyboardInterrupt the handler raised
  if (fault) std::rethrow_exception(fault);
}

}  // namespace geofluid::python
