#pragma once

// The Python functions' arguments, checked as the command line checks its options and refused
// with its messages (ValueError).

#include <pybind11/pybind11.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "batch/batch.h"

namespace geofluid::python {

namespace py = pybind11;

// Throws geofluid::Error "<argument>='<value>' is not one of <set>", which reaches Python as
// geofluid.Error (a ValueError).
[[noreturn]] void NotIn(std::string_view argument, const std::string& value, std::string_view set);

// `text` as a Python literal of a str: 'a\'b'.
std::string Quoted(const std::string& text);

// A library message in the words of the Python functions: the command line's options (--jobs)
// become the arguments that take their place (threads).
std::string PythonWords(std::string message);

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

// Runs `work` on a thread of its own while the calling thread, which holds the GIL, looks for a
// signal every 50 ms: Python runs its handlers only on the main thread and only with the GIL,
// so a run cannot ask from inside. On Ctrl-C the flag `work` reads is set, the run is waited
// for (the library stops within one speciation per thread) and KeyboardInterrupt is raised;
// otherwise what `work` threw is thrown here. `work` must not touch Python objects.
void Interruptible(const std::function<void(const std::atomic<bool>& cancel)>& work);

}  // namespace geofluid::python
