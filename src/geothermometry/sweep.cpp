#include "geothermometry/sweep.h"

#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>

namespace geofluid::geothermometry {

namespace {

std::string Celsius(double t) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", t);
  return text;
}

engine::Hooks HooksOf(engine::Search search, std::optional<double> ph_hint = std::nullopt) {
  engine::Hooks hooks;
  hooks.search = search;
  hooks.ph_hint = ph_hint;
  return hooks;
}

void Fill(SweepPoint& point, const engine::Evaluation& e) {
  const int n = e.dataset->MineralCount();
  point.ph = e.ph;
  point.steam_fraction = e.steam_fraction;
  point.toth = e.toth;
  point.non_convergences = e.non_convergences;
  point.si.assign(e.saturation_index.begin() + 1, e.saturation_index.begin() + 1 + n);
}

// The second mode at one temperature; any failure is kept in the point, with the temperature.
SweepPoint At(const engine::Sample& sample, const Sweep& sweep,
              const std::shared_ptr<const engine::Conditions>& conditions, engine::Search search,
              std::optional<double> ph_hint = std::nullopt) {
  SweepPoint point;
  point.temperature = conditions->temperature;
  try {
    Fill(point, engine::EvaluateFromToth(sample, sweep.measured_toth, conditions,
                                         sweep.steam_correction, HooksOf(search, ph_hint)));
  } catch (const std::exception& e) {
    point.si.clear();
    point.error = "at " + Celsius(point.temperature) + " °C: " + e.what();
  }
  return point;
}

}  // namespace

std::vector<double> TemperatureGrid(double from, double to, double step) {
  if (!std::isfinite(from) || !std::isfinite(to) || !std::isfinite(step)) {
    throw std::invalid_argument("--from, --to and --step must be finite numbers");
  }
  if (step <= 0.0)
    throw std::invalid_argument("--step must be greater than 0 (is " + Celsius(step) + ")");
  if (from > to) {
    throw std::invalid_argument("--from (" + Celsius(from) + ") is above --to (" + Celsius(to) +
                                ")");
  }
  const double intervals = (to - from) / step;
  if (intervals > 10000.0) {
    throw std::invalid_argument("--from " + Celsius(from) + " --to " + Celsius(to) + " --step " +
                                Celsius(step) + " gives more than 10,001 temperatures");
  }
  // Each point from its index, so that 100 + 40 * 5 is exactly 300 and no error accumulates.
  const double whole = std::round(intervals);
  const bool exact = std::abs(intervals - whole) <= 1e-9 * std::max(1.0, whole);
  const auto n = static_cast<std::size_t>(exact ? whole : std::floor(intervals));
  std::vector<double> grid;
  grid.reserve(n + 1);
  for (std::size_t i = 0; i <= n; ++i) grid.push_back(from + static_cast<double>(i) * step);
  if (exact) grid.back() = to;
  return grid;
}

Sweep RunSweep(const engine::Sample& sample, const engine::Dataset& dataset,
               const SweepOptions& options, engine::ConditionsCache& cache) {
  if (options.scheme == nullptr) throw std::invalid_argument("RunSweep: no interpolation scheme");
  Sweep sweep;
  sweep.dataset = &dataset;
  sweep.scheme = options.scheme;
  sweep.steam_correction = options.steam_correction;
  try {
    // The first mode at the pH measurement temperature, as the window's measured run.
    const auto at_ph = cache.Get(dataset, sample.ph_temperature, *options.scheme);
    sweep.measured_toth = engine::EvaluateMeasured(sample, at_ph, HooksOf(options.search)).toth;
  } catch (const std::exception& e) {
    sweep.error = "the pH at its measurement temperature " + Celsius(sample.ph_temperature) +
                  " °C: " + e.what();
    return sweep;
  }

  const std::vector<double>& t = options.temperatures;
  sweep.points.resize(t.size());
  auto one = [&](std::size_t i, std::optional<double> ph_hint) {
    std::shared_ptr<const engine::Conditions> conditions;
    try {
      conditions = cache.Get(dataset, t[i], *options.scheme);
    } catch (const std::exception& e) {
      sweep.points[i].temperature = t[i];
      sweep.points[i].error = "at " + Celsius(t[i]) + " °C: " + e.what();
      return;
    }
    sweep.points[i] = At(sample, sweep, conditions, options.search, ph_hint);
  };
  if (options.parallel) {
    tbb::parallel_for(std::size_t{0}, t.size(), [&](std::size_t i) { one(i, std::nullopt); });
  } else {
    // Each temperature's search starts from the pH found at the one before.
    std::optional<double> ph_hint = options.ph_hint;
    for (std::size_t i = 0; i < t.size(); ++i) {
      one(i, ph_hint);
      if (sweep.points[i].ok()) ph_hint = sweep.points[i].ph;
    }
  }
  return sweep;
}

SweepPoint EvaluatePoint(const engine::Sample& sample, const Sweep& sweep, double temperature,
                         const SweepOptions& options, engine::ConditionsCache& cache) {
  SweepPoint point;
  point.temperature = temperature;
  if (!sweep.ok()) {
    point.error = sweep.error;
    return point;
  }
  const bool on_grid = std::find(options.temperatures.begin(), options.temperatures.end(),
                                 temperature) != options.temperatures.end();
  std::shared_ptr<const engine::Conditions> conditions;
  try {
    conditions = on_grid ? cache.Get(*sweep.dataset, temperature, *sweep.scheme)
                         : engine::Prepare(*sweep.dataset, temperature, *sweep.scheme);
  } catch (const std::exception& e) {
    point.error = "at " + Celsius(temperature) + " °C: " + e.what();
    return point;
  }
  // The search starts from the pH of the nearest grid point.
  std::optional<double> ph_hint;
  double nearest = std::numeric_limits<double>::infinity();
  for (const SweepPoint& p : sweep.points) {
    if (p.ok() && std::abs(p.temperature - temperature) < nearest) {
      nearest = std::abs(p.temperature - temperature);
      ph_hint = p.ph;
    }
  }
  return At(sample, sweep, conditions, options.search, ph_hint);
}

}  // namespace geofluid::geothermometry
