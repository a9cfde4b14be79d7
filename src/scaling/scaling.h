#pragma once

// From the reservoir to the reinjection well: the reservoir fluid of a sample at a reservoir
// temperature, its adiabatic boiling to one or more separation temperatures with CO2 and H2S
// leaving in the steam, the conductive cooling of the separated water, and the saturation of
// the scaling minerals at every step.
//
// A run is a function of its typed inputs; constants come from an engine::ConditionsCache
// shared read-only by every sample and thread.

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "scaling/published.h"

namespace geofluid::scaling {

// The supplementary mineral beside each dataset's own, by this name.
inline constexpr std::string_view kAmorphousSilica = "AMORPHOUS_SILICA";

// AMORPHOUS_SILICA, QUARTZ, CALCITE, ANHYDRITE.
std::vector<std::string> DefaultMinerals();

// The set resolved in a dataset: names as printed, and the dataset's 1-based mineral index of
// each (0 for amorphous silica). Names match without regard to case, blanks or '-' and '_', so
// that "amorphous silica" and "low-albite" are found. Throws std::invalid_argument naming an
// unknown, empty or repeated name and listing the dataset's names.
struct MineralSet {
  std::vector<std::string> names;
  std::vector<int> index;
};
MineralSet ResolveMinerals(const engine::Dataset& dataset, const std::vector<std::string>& names);

// Where the reservoir temperature comes from: a number of °C, or a key: a solute
// geothermometer's (quartz_fournier1977, ...) or "multicomponent" (each dataset's RMS estimate).
struct ReservoirChoice {
  std::optional<double> celsius;
  std::string key;
};
// A number, or a key known to the geothermometry layer; throws std::invalid_argument listing
// the keys for anything else.
ReservoirChoice ParseReservoir(std::string_view text);
// The keys ParseReservoir accepts besides numbers.
std::vector<std::string> ReservoirKeys();
// The solute geothermometer `key` of the sample, °C; nullopt with `reason` set where it cannot
// be applied or the key is unknown.
std::optional<double> SoluteTemperature(const engine::Sample& sample, std::string_view key,
                                        std::string& reason);

enum class Degassing { kClosed, kOpen };

struct Options {
  ReservoirChoice reservoir;
  std::vector<double> separation;  // °C, each from the reservoir; with `stages`, a sequence
  bool stages = false;
  std::vector<double> cooling;  // reinjection temperatures, °C, each from every separation
  Degassing degassing = Degassing::kClosed;
  double open_step = 1.0;             // °C, the steps of open degassing
  std::vector<std::string> minerals;  // empty: DefaultMinerals()
  std::vector<const engine::Dataset*> datasets;
  const engine::TableScheme* scheme = &engine::SpecifiedScheme();
  // Set by another thread to stop the run (null: never): RunScaling then throws
  // geofluid::Interrupted between its steps.
  const std::atomic<bool>* cancel = nullptr;
};
// Throws std::invalid_argument naming the option for empty or non-finite lists, a step that is
// not positive, or stages that do not fall.
void CheckOptions(const Options& options);

// One water at one temperature. Totals are of the liquid, mol/kg H2O, in the engine's order
// (T1..T12, T13 unused, T14 water).
struct Water {
  double temperature = 0.0;
  double ph = 0.0;
  double toth = 0.0;
  speciation::Totals totals{};
  // The boiling step that made this water (0 for the reservoir and after cooling): the mass
  // fraction of steam of the water that entered the step, and of the reservoir fluid.
  double steam_fraction = 0.0;
  double total_steam_fraction = 0.0;
  // Gases of that steam, mol/kg of steam (over all steps of open degassing).
  double steam_co2 = 0.0;
  double steam_h2s = 0.0;
  double LiquidCo2() const { return totals[8]; }   // total dissolved carbonate, mol/kg
  double LiquidH2s() const { return totals[10]; }  // total dissolved sulphide, mol/kg
  double ssi_amorphous_silica = 0.0;               // SiO2 / solubility of amorphous silica
  std::vector<double> si;                          // in the order of the mineral set
  bool converged = true;                           // the final speciation met its tolerance
  speciation::Speciation speciation;
};

struct Separation {
  Water water;
  std::vector<Water> cooling;               // in the order of Options::cooling
  std::vector<std::string> cooling_errors;  // per cooling temperature, empty when evaluated
  std::string error;                        // the separated water could not be evaluated
  bool ok() const { return error.empty(); }
};

struct DatasetPath {
  const engine::Dataset* dataset = nullptr;
  MineralSet minerals;
  std::string reservoir_source;  // "given" or the key
  Water reservoir;
  std::vector<Separation> separation;  // in the order of Options::separation
  std::string error;                   // the reservoir fluid could not be formed
  std::vector<std::string> warnings;
  bool ok() const { return error.empty(); }
  // Index of `name` in the mineral set, or -1.
  int MineralPosition(std::string_view name) const;
};

struct Path {
  std::string id;
  std::vector<DatasetPath> datasets;  // in the order of Options::datasets
};

// The whole path of one sample with every dataset. Throws std::invalid_argument for unusable
// options or minerals; every failure of the calculation is recorded in the result.
Path RunScaling(const engine::Sample& sample, const Options& options,
                engine::ConditionsCache& cache);

// The steps, for callers that build their own paths.

// The sample's total fluid at `celsius`, its pH found through TOTH as the carried mode does
// (the measured mode at the pH temperature, the steam correction to the sample's separation
// temperature). Throws the engine's errors.
Water ReservoirFluid(const engine::Sample& sample, const engine::Dataset& dataset, double celsius,
                     const MineralSet& minerals, engine::ConditionsCache& cache,
                     const engine::TableScheme& scheme = engine::SpecifiedScheme());

// Adiabatic boiling of `feed` to `celsius`. Closed: one step, the steam fraction from the
// enthalpy balance of the steam correction, CO2 and H2S shared between the steam and the
// neutral aqueous species of the liquid by their distribution constants, TOTH of the liquid
// lowered by the hydrogen that leaves with them. Open: the same in steps of `open_step` °C,
// each step's steam removed. Throws the engine's errors, and Interrupted between steps once
// `cancel` is set.
Water Boil(const Water& feed, double celsius, Degassing degassing, double open_step,
           const engine::Dataset& dataset, const MineralSet& minerals,
           engine::ConditionsCache& cache,
           const engine::TableScheme& scheme = engine::SpecifiedScheme(),
           const std::atomic<bool>* cancel = nullptr);

// The water at another temperature with its totals and TOTH fixed, the pH found anew.
Water Cool(const Water& water, double celsius, const engine::Dataset& dataset,
           const MineralSet& minerals, engine::ConditionsCache& cache,
           const engine::TableScheme& scheme = engine::SpecifiedScheme());

// Hydrogen counted in TOTH per CO2 and per H2S leaving the liquid, in the dataset's basis.
struct GasHydrogen {
  double co2 = 0.0;
  double h2s = 0.0;
};
GasHydrogen HydrogenOfGases(const engine::Dataset& dataset);

// The answer in words for one dataset: the lowest separation temperature at which amorphous
// silica stays undersaturated, the lowest reinjection temperature at each separation
// temperature, and where calcite becomes oversaturated on boiling.
struct Verdict {
  std::optional<double> lowest_separation;                // amorphous silica SI < 0 there and above
  std::vector<std::optional<double>> lowest_reinjection;  // per separation
  std::optional<double> calcite_oversaturated_at;         // the first Ts on boiling with SI > 0
  bool calcite_followed = false;
  bool silica_followed = false;
};
Verdict Judge(const DatasetPath& path, const Options& options);
std::string Answer(const DatasetPath& path, const Options& options);

}  // namespace geofluid::scaling
