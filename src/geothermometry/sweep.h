#pragma once

// Temperature sweeps: the pH and the saturation index of every mineral of a dataset over a grid
// of temperatures, the pH carried from its measurement temperature through TOTH with the steam
// correction at each temperature, exactly as the second mode of a single run does.
//
// A sweep is a pure function of its typed inputs. Constants come from an
// engine::ConditionsCache shared by every sample and thread; nothing else is shared.

#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"

namespace geofluid::geothermometry {

// from, from + step, ..., to (the last point is `to` when (to - from) / step is a whole number
// within 1e-9 of a step). Throws std::invalid_argument, naming the option, for a step <= 0,
// from > to, values that are not finite, or more than 10,001 points.
std::vector<double> TemperatureGrid(double from, double to, double step);

// A component whose total is not taken from the analysis but found at every temperature by
// equilibrium with a mineral: the total that brings the mineral's saturation index to zero there,
// as field analyses rarely report Al (and often lack Mg or Fe) (Pang & Reed 1998, Geochim.
// Cosmochim. Acta 62, 1083-1091).
struct FixedComponent {
  std::string component;  // a key of engine::kComponentKeys: "Al", "Mg", "Fe", "SiO2", ...
  std::string mineral;    // either dataset's spelling or the common name ("microcline")
};

// "Al=MICROCLINE" (blanks around either side ignored). Throws std::invalid_argument saying how
// to write it.
FixedComponent ParseFix(std::string_view text);

// The bracket of a fixed total, mol/kg of water: from far below any analysis to well above the
// solubility of any of these components at reservoir temperatures.
inline constexpr double kFixLowest = 1e-16;
inline constexpr double kFixHighest = 0.1;

// A fixed component resolved in one dataset.
struct ResolvedFix {
  int component = 0;   // 0-based, as engine::kComponentKeys
  int mineral = 0;     // 1-based in the dataset
  double moles = 0.0;  // of the component in the mineral's reaction
  double slope = 0.0;  // d SI / d log10(total) while the component is a trace
  std::string key;     // "Al"
  std::string name;    // the mineral as the dataset spells it
};

// Each fix resolved in `dataset`. Throws std::invalid_argument naming the fix for an unknown
// component or mineral, a mineral without the component, a component fixed twice or a mineral
// fixing two components.
std::vector<ResolvedFix> ResolveFixes(const engine::Dataset& dataset,
                                      const std::vector<FixedComponent>& fixes);

// A list of temperatures given in any order made ascending with each once, as an estimate's
// minimum and its edges need; true when that changed the list. Throws std::invalid_argument for
// a temperature that is not finite.
bool SortTemperatures(std::vector<double>& temperatures);
// What a run says when SortTemperatures changed the list.
std::string SortedTemperaturesNote(std::size_t count);

struct SweepOptions {
  std::vector<double> temperatures = TemperatureGrid(100.0, 300.0, 5.0);
  bool steam_correction = true;
  // Never null; the object must outlive every call using the options.
  const engine::TableScheme* scheme = &engine::SpecifiedScheme();
  engine::Search search = engine::Search::kFast;
  // Evaluate the temperatures of one sample in parallel (oneTBB, in the caller's task arena).
  // Leave false when the caller already runs many samples or draws in parallel.
  bool parallel = false;
  // Totals found by equilibrium at every temperature (empty: the analysis as it stands).
  std::vector<FixedComponent> fix;
  // The estimate's statistics over each mineral's log(Q/K) divided by the moles of its reaction
  // (engine::Dataset::ReactionMoles), so that every mineral weighs alike; the sweep's SI stay
  // as printed.
  bool normalize = false;
  // What the sampling hides, reversed before each evaluation. steam_loss: the fraction of the
  // separated water's mass lost as steam (with the gases of the sampled steam) before sampling,
  // negative where steam condensed into it; it adds to the steam fraction of the separation,
  // y' = y + steam_loss (1 - y). dilution: the fraction of the sampled fluid that is water free
  // of solutes, mixed in before boiling; every total, the steam's gases and TOTH are divided
  // by (1 - dilution).
  double steam_loss = 0.0;
  double dilution = 0.0;
  // Found with the temperature by EstimateTemperature (minimising the set's RMS) instead of
  // taken as given, within kSteamLossBounds / kDilutionBounds.
  bool optimize_steam_loss = false;
  bool optimize_dilution = false;
  // Where the search at the first temperature starts (a draw of a Monte Carlo run: the nominal
  // sample's pH there); each later one starts from the pH found before it. Only fewer
  // speciations: the pH is the same whatever the hint.
  std::optional<double> ph_hint;
  // The nominal sample's pH at each of `temperatures` (NaN where it has none), for a draw of a
  // Monte Carlo run: each search starts from the pH found before it moved as the nominal's
  // moves. Empty: none.
  std::vector<double> ph_guide;
  // Set by another thread to stop the run (null: never): the temperatures not yet evaluated are
  // left out and the sweep ends with the error "interrupted". Whoever sets it drops the results.
  const std::atomic<bool>* cancel = nullptr;
};

inline constexpr double kSteamLossBounds[2] = {-0.2, 0.5};
inline constexpr double kDilutionBounds[2] = {0.0, 0.9};

struct SweepPoint {
  double temperature = 0.0;
  double ph = 0.0;
  double steam_fraction = 0.0;
  double toth = 0.0;         // the second mode's TOTH target at this temperature
  std::vector<double> si;    // per mineral of the dataset, index m - 1; empty on error
  int non_convergences = 0;  // speciations stopped at their pass limit
  double ph_slope = 0.0;     // the pH search's dD/dpH there: the next search's first step
  // The totals found for the fixed components at this temperature, mol/kg of water, by key.
  std::map<std::string, double> fixed;
  std::string error;  // empty when evaluated; else what failed, for the user

  bool ok() const { return error.empty(); }
};

struct Sweep {
  const engine::Dataset* dataset = nullptr;
  const engine::TableScheme* scheme = nullptr;
  bool steam_correction = true;
  double steam_loss = 0.0;  // as SweepOptions
  double dilution = 0.0;
  double measured_toth = 0.0;      // TOTH of the first mode at the pH measurement temperature
  std::vector<ResolvedFix> fixes;  // the fixed components in this dataset
  // The conditions at the pH measurement temperature: with fixed components, each trial total
  // has its own measured TOTH.
  std::shared_ptr<const engine::Conditions> at_ph;
  std::string error;               // the first mode failed: no points
  std::vector<SweepPoint> points;  // in the order of SweepOptions::temperatures

  bool ok() const { return error.empty(); }
  // SI of 1-based mineral m at point p (the point must be ok()).
  double Si(std::size_t p, int m) const { return points[p].si[static_cast<std::size_t>(m - 1)]; }
};

// The first mode at the sample's ph_temperature, its TOTH then carried to each temperature.
// Failures are recorded in the sweep (Sweep::error, SweepPoint::error), never thrown, except
// std::invalid_argument for options that cannot be used (no scheme, a fix ResolveFixes refuses).
// With fixed components each point solves their totals (the pH searched at every trial) so that
// each fixing mineral's SI is zero; a point where no total in [kFixLowest, kFixHighest] does so
// records the error with the bracket.
Sweep RunSweep(const engine::Sample& sample, const engine::Dataset& dataset,
               const SweepOptions& options, engine::ConditionsCache& cache);

// The whole evaluation at one temperature with the sweep's fixed components solved there (a
// table's row carried to its own temperature): the second mode from the TOTH of the first,
// each trial total entering both. The totals found go in `fixed`, by key. Throws
// std::runtime_error naming the bracket where no total in it saturates the mineral, or what
// failed. The sweep must be ok(); its points are not used.
engine::Evaluation EvaluateFixed(const engine::Sample& sample, const Sweep& sweep,
                                 const std::shared_ptr<const engine::Conditions>& conditions,
                                 engine::Search search, std::map<std::string, double>& fixed);
// The same in the first mode at the pH measurement temperature (sweep.at_ph), the measured pH
// standing.
engine::Evaluation EvaluateMeasuredFixed(const engine::Sample& sample, const Sweep& sweep,
                                         engine::Search search,
                                         std::map<std::string, double>& fixed);

// One point off the grid (or on it), with the measured TOTH of a sweep: for refining between
// grid points. Conditions off the cache's grid are prepared for the call and not kept, so that
// refinements do not grow the shared cache. Failures are recorded in the point.
SweepPoint EvaluatePoint(const engine::Sample& sample, const Sweep& sweep, double temperature,
                         const SweepOptions& options, engine::ConditionsCache& cache);

}  // namespace geofluid::geothermometry
