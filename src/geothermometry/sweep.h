#pragma once

// Temperature sweeps: the pH and the saturation index of every mineral of a dataset over a grid
// of temperatures, the pH carried from its measurement temperature through TOTH with the steam
// correction at each temperature, exactly as the second mode of a single run does.
//
// A sweep is a pure function of its typed inputs. Constants come from an
// engine::ConditionsCache shared by every sample and thread; nothing else is shared.

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace geofluid::geothermometry {

// from, from + step, ..., to (the last point is `to` when (to - from) / step is a whole number
// within 1e-9 of a step). Throws std::invalid_argument, naming the option, for a step <= 0,
// from > to, values that are not finite, or more than 10,001 points.
std::vector<double> TemperatureGrid(double from, double to, double step);

struct SweepOptions {
  std::vector<double> temperatures = TemperatureGrid(100.0, 300.0, 5.0);
  bool steam_correction = true;
  // Never null; the object must outlive every call using the options.
  const engine::TableScheme* scheme = &engine::SpecifiedScheme();
  engine::Search search = engine::Search::kFast;
  // Evaluate the temperatures of one sample in parallel (oneTBB, in the caller's task arena).
  // Leave false when the caller already runs many samples or draws in parallel.
  bool parallel = false;
  // Where the search at the first temperature starts (a draw of a Monte Carlo run: the nominal
  // sample's pH there); each later one starts from the pH found before it. Only fewer
  // speciations: the pH is the same whatever the hint.
  std::optional<double> ph_hint;
};

struct SweepPoint {
  double temperature = 0.0;
  double ph = 0.0;
  double steam_fraction = 0.0;
  double toth = 0.0;         // the second mode's TOTH target at this temperature
  std::vector<double> si;    // per mineral of the dataset, index m - 1; empty on error
  int non_convergences = 0;  // speciations stopped at their pass limit
  std::string error;         // empty when evaluated; else what failed, for the user

  bool ok() const { return error.empty(); }
};

struct Sweep {
  const engine::Dataset* dataset = nullptr;
  const engine::TableScheme* scheme = nullptr;
  bool steam_correction = true;
  double measured_toth = 0.0;      // TOTH of the first mode at the pH measurement temperature
  std::string error;               // the first mode failed: no points
  std::vector<SweepPoint> points;  // in the order of SweepOptions::temperatures

  bool ok() const { return error.empty(); }
  // SI of 1-based mineral m at point p (the point must be ok()).
  double Si(std::size_t p, int m) const { return points[p].si[static_cast<std::size_t>(m - 1)]; }
};

// The first mode at the sample's ph_temperature, its TOTH then carried to each temperature.
// Failures are recorded in the sweep (Sweep::error, SweepPoint::error), never thrown, except
// std::invalid_argument for options that cannot be used (no scheme).
Sweep RunSweep(const engine::Sample& sample, const engine::Dataset& dataset,
               const SweepOptions& options, engine::ConditionsCache& cache);

// One point off the grid (or on it), with the measured TOTH of a sweep: for refining between
// grid points. Conditions off the cache's grid are prepared for the call and not kept, so that
// refinements do not grow the shared cache. Failures are recorded in the point.
SweepPoint EvaluatePoint(const engine::Sample& sample, const Sweep& sweep, double temperature,
                         const SweepOptions& options, engine::ConditionsCache& cache);

}  // namespace geofluid::geothermometry
