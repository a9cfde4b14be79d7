#pragma once

// Multicomponent geothermometry: the temperature at which the saturation indices of a
// reservoir's alteration minerals cluster around zero (Reed & Spycher 1984, Geochim. Cosmochim.
// Acta 48, 1479-1492), judged by the statistics of Spycher et al. (2014, Geothermics 51,
// 113-123): the median, mean, standard deviation and root mean square of the SI over the set.

#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "geothermometry/giggenbach.h"
#include "geothermometry/solute.h"
#include "geothermometry/sweep.h"
#include "platform/errors.h"

namespace geofluid::geothermometry {

// The usual alteration assemblage, spelt as engine::Dataset::MineralName prints them: quartz,
// low albite, microcline, muscovite, clinochlore, clinozoisite, prehnite, wairakite, laumontite,
// calcite, anhydrite. SUPCRT98 offers both clinochlore polytypes; the set takes 14A, the chlorite
// of geothermal alteration (7A is a metastable serpentine-like polytype, and it is SOLVEQ's only
// clinochlore).
std::vector<std::string> DefaultMinerals(const engine::Dataset& dataset);

// The set {"auto"}: the default set, less the minerals that cannot inform the estimate of this
// sample, each named in a warning with the reason: those whose components the sample lacks and
// no fix supplies, those that fix a component, and those whose |SI| stays above
// kAutoFarFromZero at every temperature of the range (a curve that never approaches zero cannot
// place the temperature; it only pulls the statistics towards the range's edge).
inline constexpr double kAutoFarFromZero = 1.0;
bool IsAutoSet(const std::vector<std::string>& minerals);

// A mineral name the dataset does not have; what() lists the dataset's names.
class UnknownMineral : public Error {
 public:
  using Error::Error;
};

// A set of minerals in one dataset. Names may be either dataset's spelling or the common name
// (engine::Dataset::MineralIndexOf), so that one set serves both datasets.
struct MineralSet {
  std::vector<int> indices;         // 1-based
  std::vector<std::string> names;   // as this dataset spells them, in the order asked
  std::vector<std::string> absent;  // asked for, known to the other dataset only
};
// Throws UnknownMineral for a name neither dataset knows, std::invalid_argument for an empty or
// repeated name or a set of which this dataset has nothing.
MineralSet ResolveMinerals(const engine::Dataset& dataset, const std::vector<std::string>& names);

// ResolveMinerals(...).indices.
std::vector<int> MineralIndices(const engine::Dataset& dataset,
                                const std::vector<std::string>& names);

// The statistics of the set's SI at one temperature.
struct SetStatistics {
  double temperature = 0.0;
  int count = 0;  // minerals that entered (0 where the point failed)
  double median = 0.0;
  double mean = 0.0;
  double sd = 0.0;  // population standard deviation (divisor n)
  double rms = 0.0;
};
// nullopt when `si` is empty.
std::optional<SetStatistics> Statistics(double temperature, const std::vector<double>& si);

enum class Criterion { kRms, kMedian, kMean, kSd };
inline constexpr Criterion kCriteria[] = {Criterion::kRms, Criterion::kMedian, Criterion::kMean,
                                          Criterion::kSd};
const char* CriterionKey(Criterion c);  // "rms", "median", "mean", "sd"

// The temperature minimising one criterion (|median|, |mean|, sd, RMS), refined to 0.1 °C
// between grid points with extra evaluations.
struct TemperatureEstimate {
  std::optional<double> celsius;
  double value = 0.0;    // the criterion at `celsius` (|median|, |mean|, sd or RMS)
  bool on_edge = false;  // the minimum lies on the first or last temperature of the range
  std::string reason;    // why `celsius` is absent
};

// The set's SI at a temperature between grid points; nullopt where it cannot be evaluated.
using SetSi = std::function<std::optional<std::vector<double>>(double temperature)>;

// The temperature minimising one criterion over the grid's statistics (ascending in
// temperature), refined between the best point's neighbours with Brent's method (GSL) and extra
// evaluations of `si_at`, to 0.1 °C. A minimum on the first or last point is not refined and is
// marked on_edge; where `si_at` fails the grid's value stands.
TemperatureEstimate Minimise(const std::vector<SetStatistics>& curves, Criterion criterion,
                             const SetSi& si_at);

// Every temperature where `si` changes sign between neighbours (linear interpolation), or is 0
// at a point; NaN marks a point not evaluated, across which nothing is interpolated.
std::vector<double> ZeroCrossings(const std::vector<double>& temperatures,
                                  const std::vector<double>& si);

// An unknown of the sampling (steam lost or gained, dilution) found with the temperature.
struct OptimizedUnknown {
  double value = 0.0;
  // One standard deviation from the curvature of the set's sum of squared indices at the
  // minimum (profiled over the temperature); absent where the curvature does not pin it down.
  std::optional<double> sd;
  bool on_bound = false;  // the minimum lies on a bound of the search
  double lower = 0.0;
  double upper = 0.0;
};

struct Estimate {
  const engine::Dataset* dataset = nullptr;
  const engine::TableScheme* scheme = nullptr;
  std::vector<std::string> minerals;  // the set, as the dataset spells them
  std::vector<std::string> used;      // those that entered the statistics
  bool normalized = false;            // statistics over log(Q/K) / the moles of each reaction
  // With SweepOptions::optimize_*: "steam_loss" and/or "dilution", the values the sweep used.
  std::map<std::string, OptimizedUnknown> optimized;
  TemperatureEstimate rms, median, mean, sd;
  std::vector<SetStatistics> curves;  // per point of the sweep that was evaluated
  // Every temperature where a mineral's SI changes sign between neighbouring grid points,
  // linearly interpolated; per mineral of the set, ascending; empty lists kept.
  std::map<std::string, std::vector<double>> crossings;
  std::vector<std::string> warnings;
  Sweep sweep;

  const TemperatureEstimate& Get(Criterion c) const;
};

// The sweep, then the estimates and the crossings over `minerals` (either dataset's spelling or
// the common name; empty: the default set). A mineral whose components the sample lacks, or
// that fixes a component (its SI is zero by construction), leaves the statistics with a
// warning, as does one only the other dataset has.
// Throws UnknownMineral / std::invalid_argument for an unusable set; every failure of the
// calculation is recorded in the result (reasons, warnings, the sweep's errors).
Estimate EstimateTemperature(const engine::Sample& sample, const engine::Dataset& dataset,
                             const std::vector<std::string>& minerals, const SweepOptions& options,
                             engine::ConditionsCache& cache);

// With SweepOptions::optimize_steam_loss or optimize_dilution, the steam loss and/or dilution
// are found with the temperature, minimising the set's RMS: the sum of squared indices at the
// RMS minimum over the grid (a parabola through its neighbours), over the unknowns, by Brent's
// method from the best of six starts across the bounds for one unknown, by the Nelder-Mead
// simplex (GSL) from the best of a 4 x 4 grid for both; then the estimate at the values found.

// The same from a sweep already run with `options` (its optimize_* flags are not looked at).
Estimate EstimateFromSweep(const engine::Sample& sample, Sweep sweep,
                           const std::vector<std::string>& minerals, const SweepOptions& options,
                           engine::ConditionsCache& cache);

// Minerals of the set whose log K differs by more than `tolerance` between two interpolations
// somewhere within [from, to] (checked every 1 °C and at the grid's temperatures); one warning
// each, naming the mineral, the largest difference and where. Independent of the sample: run once
// per dataset and range.
std::vector<std::string> CompareInterpolations(const engine::Dataset& dataset,
                                               const std::vector<std::string>& minerals,
                                               double from, double to, const engine::TableScheme& a,
                                               const engine::TableScheme& b,
                                               double tolerance = 0.1);

// ---- A sample's reservoir temperature, all methods -------------------------------------------

// The separated water's SiO2, Na, K, Ca, Mg, Cl (and Li, B where given) in mg/kg of solution,
// from the sample's molalities (all twelve components, so that the dissolved solids are taken
// into the solution's mass), with what was below detection. Throws units::UnitError for a
// negative or non-finite molality.
SoluteAnalysis SoluteAnalysisOf(const engine::Sample& sample);

// One solute geothermometer of a typed sample by key (solute.h lists the keys): for the water
// as sampled, or with `reservoir_liquid` for the liquid before it lost steam down to the
// sample's separation temperature (ReservoirSoluteByKey). Where the sample has no separation
// temperature the reservoir value is absent and its reason says so. Flags are set as in
// AssessReservoir. Throws std::invalid_argument for an unknown key, units::UnitError for a bad
// molality.
SoluteTemperature SoluteOfSample(const engine::Sample& sample, std::string_view key,
                                 bool reservoir_liquid);

struct ReservoirOptions {
  std::vector<const engine::Dataset*> datasets;  // each in turn
  std::vector<std::string> minerals;             // empty: each dataset's default set
  SweepOptions sweep;
};

struct Reservoir {
  std::string id;
  std::vector<Estimate> estimates;        // per dataset, in the order of the options
  std::vector<SoluteTemperature> solute;  // the water as sampled; empty when solute_error is set
  // The same keys for the reservoir liquid; empty where the separation temperature is missing
  // (reservoir_reason says why).
  std::vector<SoluteTemperature> solute_reservoir;
  std::string reservoir_reason;
  SoluteAnalysis water;  // what the solute geothermometers used, mg/kg
  GiggenbachClassification giggenbach;
  std::string solute_error;
};

// The multicomponent estimates with each dataset, every solute geothermometer for the water as
// sampled and for the reservoir liquid, flagged, and the Giggenbach class. Throws UnknownMineral /
// std::invalid_argument for an unusable set (checked for every dataset before any calculation);
// every other failure is recorded in the result.
Reservoir AssessReservoir(const engine::Sample& sample, const ReservoirOptions& options,
                          engine::ConditionsCache& cache);

// Only the solute part of AssessReservoir: fills r.water, r.giggenbach, r.solute,
// r.solute_reservoir, r.reservoir_reason and r.solute_error (where the analysis cannot be read).
void AssessSolutes(const engine::Sample& sample, Reservoir& r);

}  // namespace geofluid::geothermometry
