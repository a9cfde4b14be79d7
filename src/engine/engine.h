#pragma once

// The typed engine: every front end (window model, command line, batch, geothermometry,
// uncertainty, Python) calls the calculation through these types. No texts go in; results
// carry names. Nothing here holds mutable global state: a run is a function of its inputs,
// and `Conditions` are prepared once per (dataset, temperature) and then shared read-only.

#include <array>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "speciation/dataset_model.h"
#include "speciation/solver.h"
#include "thermo/catalogue.h"
#include "thermo/equilibrium_constants.h"
#include "thermo/thermo_storage.h"

namespace geofluid::engine {

inline constexpr int kComponentCount = 12;

// The analysed components in the order of the window's boxes Text1..Text12; the keys are those
// of the sample files.
inline constexpr std::array<std::string_view, kComponentCount> kComponentKeys = {
    "SiO2", "Na", "K", "Ca", "Mg", "Fe", "Al", "CO3(2-)", "SO4(2-)", "HS(-)", "Cl", "NH3"};

// 0-based index into kComponentKeys, or nullopt.
std::optional<int> ComponentIndex(std::string_view key);

inline constexpr unsigned kBelowDetectionLithium = 1u << kComponentCount;
inline constexpr unsigned kBelowDetectionBoron = 1u << (kComponentCount + 1);

// One sample of separated hot water and its steam, in typed values.
struct Sample {
  std::string id;
  // Totals of the separated water, mol/kg H2O, in the order of kComponentKeys.
  std::array<double, kComponentCount> component{};
  double water = 55.51;                   // T14 as the window takes it
  double steam_co2 = 0.0;                 // mol/kg of steam
  double steam_h2s = 0.0;                 // mol/kg of steam
  double ph = 7.0;                        // measured at ph_temperature
  double ph_temperature = 25.0;           // °C
  double separation_temperature = 100.0;  // °C
  // False where the input left the separation temperature empty and 100 °C stands in: the
  // reservoir liquid of the solute geothermometers is then not computed.
  bool separation_given = true;
  // Carried for the solute geothermometers only, not speciated: mol/kg H2O, NaN when not
  // analysed.
  double lithium = std::numeric_limits<double>::quiet_NaN();
  double boron = std::numeric_limits<double>::quiet_NaN();
  // Which concentrations a table gave below a detection limit: bit i for component i of
  // kComponentKeys, kBelowDetectionLithium and kBelowDetectionBoron; and Mg's limit, mol/kg H2O
  // (0: not stated).
  unsigned below_detection = 0;
  double mg_detection_limit = 0.0;

  double& Component(std::string_view key);  // throws std::out_of_range for an unknown key
  double Component(std::string_view key) const;
};

// How the node tables are carried to a temperature. The specified scheme (one global polynomial
// through all nodes, the window's) is built in; others, such as a monotone piecewise cubic,
// come from layers outside the core and are passed in by reference.
class TableScheme {
 public:
  virtual ~TableScheme() = default;
  virtual std::string_view Name() const = 0;  // "specified", "steffen", ...
  // Fills every interpolated field of `storage` at storage.calculation_temperature, the
  // enthalpies also at storage.separation_temperature, as ThermoStorage::InterpolateTables.
  virtual void Interpolate(thermo::ThermoStorage& storage) const = 0;
};
const TableScheme& SpecifiedScheme();

class Dataset;

// A species or a mineral of one dataset, looked up by name once and then used for many
// evaluations without a search. A handle belongs to the dataset that gave it.
struct SpeciesHandle {
  const Dataset* dataset = nullptr;
  int index = 0;  // 1-based, in the dataset's catalogue
};
struct MineralHandle {
  const Dataset* dataset = nullptr;
  int index = 0;  // 1-based
};

// Everything that differs between the two datasets. The calculation's differences live in the
// catalogue (complexes, balances, activity products, the index's divisor, the TOTH target);
// this object adds the names and the choices a user meets (default minerals, mineral
// identities across the datasets). The report's captions are the report's (report/report.h).
class Dataset {
 public:
  thermo::DatasetId id;
  std::string_view key;    // "solveq", "supcrt"
  std::string_view title;  // "SOLVEQ", "SUPCRT98"
  const thermo::Catalogue& catalogue;
  const speciation::DatasetModel& model;
  const thermo::IapDefinition* iap;  // [m - 1]
  double si_divisor;                 // ln(IAP/K) / divisor: 2.303 or ln 10
  // The minerals the multicomponent estimates use when none are asked for, in this dataset's
  // spelling.
  std::span<const std::string_view> default_minerals;
  // The neutral species of dissolved CO2 and silica as this dataset names them (the H2S(aq)
  // of both is one name).
  std::string_view aqueous_co2;
  std::string_view aqueous_silica;

  static const Dataset& Of(thermo::DatasetId id);
  // "solveq" or "supcrt"; nullptr otherwise.
  static const Dataset* FromKey(std::string_view key);
  // The other of the two datasets.
  const Dataset& Other() const;

  int SpeciesCount() const { return catalogue.species_count; }
  int MineralCount() const { return catalogue.mineral_count; }
  // Names without the blanks around them, as `geofluid-cli constants` prints them: "QUARTZ",
  // "LOW-ALBITE", "Na        (+)".
  std::string_view SpeciesName(int i) const;
  std::string_view MineralName(int m) const;
  // 1-based index of a mineral by its clean name (MineralName's spelling only); nothing when the
  // dataset has no mineral of that name.
  std::optional<int> MineralIndex(std::string_view name) const;
  // The same for a name taken from this dataset (an estimate's set, the minerals a sweep used),
  // where absence is a fault: throws NameError with the dataset's title and the name.
  int HeldMineralIndex(std::string_view name) const;
  // The mineral's name common to both datasets ("albite_low", "prehnite", "clinochlore_14a") and
  // its formula; a mineral outside the table keeps its own name and has no formula.
  std::string_view CommonName(int m) const;
  std::string_view Formula(int m) const;
  // 1-based index of a mineral by this dataset's name, its common name or the other dataset's
  // spelling, letters in either case; nothing when this dataset lacks it.
  std::optional<int> MineralIndexOf(std::string_view name) const;
  // Moles of a component (0-based, as kComponentKeys) in mineral m's activity product, through
  // the complexes its reaction is written in: 3 for SiO2 in albite (3 H4SiO4).
  double ComponentMoles(int m, int component) const;
  // Moles of every species of mineral m's reaction as the dataset writes it (H(+) included;
  // water is not written): the divisor of a normalised saturation index.
  double ReactionMoles(int m) const;
  // By name as SpeciesName and MineralName give it (a mineral also by MineralIndexOf's other
  // names); nullopt for a name the dataset does not hold. The blanks that align a species name in
  // the tables are optional: "Na(+)" finds "Na        (+)" of SOLVEQ and "Na     (+)" of SUPCRT98.
  std::optional<SpeciesHandle> FindSpecies(std::string_view name) const;
  std::optional<MineralHandle> FindMineral(std::string_view name) const;
  // The same, throwing NameError with the dataset's title and the name.
  SpeciesHandle Species(std::string_view name) const;
  MineralHandle Mineral(std::string_view name) const;
  // The second mode's TOTH target from a stored TOTH, the steam fraction and the steam gases.
  double TothTarget(double stored_toth, double steam_fraction, double co2, double h2s) const {
    return speciation::TothTarget(id, stored_toth, steam_fraction, co2, h2s);
  }
};

// The datasets a user's choice names: "solveq", "supcrt" or "both" (SOLVEQ first); empty for
// any other text. The one place where "both" is spelled out.
std::vector<const Dataset*> DatasetsFor(std::string_view choice);
inline constexpr std::string_view kDatasetChoices = "solveq, supcrt or both";

// The constants of one dataset at one temperature: prepared once, then shared read-only by
// every sample evaluated there, on any thread.
struct Conditions {
  const Dataset* dataset = nullptr;
  double temperature = 0.0;
  const TableScheme* scheme = nullptr;
  thermo::EquilibriumConstants constants;
  speciation::ActivityModel activity;
  double liquid_enthalpy = 0.0;  // h_l(T), kJ/kg, for the steam fraction
};

// Interpolates the tables to `temperature` and forms the dataset's constants.
// Throws ArithmeticError naming the step (far outside 0-300 °C the extrapolation overflows).
std::shared_ptr<const Conditions> Prepare(const Dataset& dataset, double temperature,
                                          const TableScheme& scheme = SpecifiedScheme());
// The same from a storage already interpolated (the window's own sequence of steps).
Conditions ConditionsFrom(const Dataset& dataset, const thermo::ThermoStorage& storage,
                          const TableScheme& scheme = SpecifiedScheme());

// Mass fraction of steam when the fluid boils from `at.temperature` to the separation
// temperature; 0 without the steam correction. Throws ArithmeticError outside the steam table.
double SteamFraction(const Conditions& at, double separation_temperature, bool steam_correction);

// Which pH search the second mode uses. Both give the same pH bit for bit; kFast needs far
// fewer speciations.
enum class Search { kDecimal, kFast };

struct Hooks {
  // Called each time a speciation stops at its pass limit (the window shows a box).
  std::function<void()> on_non_convergence;
  Search search = Search::kFast;
  // The second mode's fast search starts from this pH, that of a neighbouring solution (the
  // previous temperature of a sweep, the nominal sample of a draw): about half the
  // speciations, the same pH bit for bit. Without it the search starts cold.
  std::optional<double> ph_hint;
  // dD/dpH of that solution (Evaluation::ph_slope), 0 if unknown: the first step from the hint.
  double ph_slope = 0.0;
};

// A species of a result.
struct SpeciesResult {
  std::string_view printed_name;  // as the report prints it, blanks included
  std::string_view name;          // clean
  int charge = 0;
  double molality = 0.0;
  double gamma = 0.0;
  double activity = 0.0;
  double log_activity = 0.0;  // log10
  bool switched_off = false;  // log K = 100: no data, its molality is the 1E-33 floor
};

struct MineralResult {
  std::string_view name;  // clean
  double log_k = 0.0;
  double log_iap = 0.0;
  double si = 0.0;  // as the report prints it: ln(IAP/K) / the dataset's divisor
};

// One evaluation of a sample with one dataset at one temperature.
struct Evaluation {
  const Dataset* dataset = nullptr;
  std::shared_ptr<const Conditions> conditions;
  double temperature = 0.0;
  double separation_temperature = 0.0;
  double steam_fraction = 0.0;
  speciation::Totals totals{};  // T(1..14) of the total fluid
  speciation::Speciation speciation;
  double ph = 0.0;
  // The first mode: TOTH of the speciation; the second: the search's target.
  double toth = 0.0;
  std::array<double, thermo::kMineralSlots> saturation_index{};
  int trials = 0;  // speciations made
  // The trials of the decimal pH search whose answer this is (the fast search makes fewer and
  // ends at the same pH): the count the messages give. 0 without a search.
  int decimal_trials = 0;
  int non_convergences = 0;
  // dD/dpH where the second mode's fast search ended (0 if unknown), for the search at the next
  // temperature (Hooks::ph_slope).
  double ph_slope = 0.0;

  int Passes() const { return speciation.passes; }
  bool Converged() const { return non_convergences == 0; }
  double IonicStrength() const { return speciation.ionic_strength; }
  // 100 (sum cations - sum |anions|) / (sum cations + sum |anions|) in equivalents over every
  // species of the final speciation.
  double ChargeBalancePercent() const;
  std::vector<SpeciesResult> Species() const;
  std::vector<MineralResult> Minerals() const;
  // One species or mineral by clean name or by handle. Throws NameError for a name the
  // dataset does not hold or a handle of another dataset.
  SpeciesResult Species(std::string_view name) const;
  SpeciesResult Species(SpeciesHandle species) const;
  MineralResult Mineral(std::string_view name) const;
  MineralResult Mineral(MineralHandle mineral) const;
  double Si(std::string_view mineral_name) const;  // throws std::out_of_range
};

// A component left out of the analysis still enters the iteration, at a trace that divides.
inline constexpr double kZeroTotal = 1e-21;

// The component totals T(1..14) of the total fluid at steam fraction y: the liquid weighted by
// (1 - y), carbonate and sulphide recombined with the steam's CO2 and H2S, water as given,
// zero components replaced by kZeroTotal.
speciation::Totals TotalFluid(const Sample& sample, double steam_fraction);

// The core step: the sample at `at`, with a given steam fraction. Without `stored_toth` the
// first mode (pH as measured, TOTH computed); with it the second (pH searched so that TOTH
// meets the target of the stored TOTH, the steam fraction and the steam gases).
// Throws ArithmeticError or SearchError with a message for the user.
Evaluation Evaluate(const Sample& sample, const std::shared_ptr<const Conditions>& at,
                    double steam_fraction, std::optional<double> stored_toth,
                    const Hooks& hooks = {});

// (a) The first mode at the pH measurement temperature.
Evaluation EvaluateMeasured(const Sample& sample, const std::shared_ptr<const Conditions>& at,
                            const Hooks& hooks = {});
// (b) The second mode at `at` from a given TOTH.
Evaluation EvaluateFromToth(const Sample& sample, double toth,
                            const std::shared_ptr<const Conditions>& at, bool steam_correction,
                            const Hooks& hooks = {});
// (c) Both: the measured mode at the sample's pH temperature, its TOTH then carried to each
// temperature in `targets` (the same dataset), each search starting from the pH found for the
// target before. The TOTH never leaves memory.
struct Carried {
  Evaluation measured;
  std::vector<Evaluation> at;  // in the order of targets
};
Carried Carry(const Sample& sample, const std::shared_ptr<const Conditions>& at_ph_temperature,
              std::span<const std::shared_ptr<const Conditions>> targets, bool steam_correction,
              const Hooks& hooks = {});

// Prepared conditions by (dataset, temperature, interpolation), shared by threads: a caller
// asks for the same key many times and gets one object. At most `capacity` are kept, the least
// recently asked for dropped first (a holder keeps its own alive), so that a table whose every
// row has its own pH temperature does not grow the memory with its length.
class ConditionsCache {
 public:
  // A few KB each: the usual grids of a few hundred temperatures per dataset and scheme fit
  // many times over.
  static constexpr std::size_t kDefaultCapacity = 4096;
  explicit ConditionsCache(std::size_t capacity = kDefaultCapacity);
  // How many are kept now.
  std::size_t Size() const;
  ~ConditionsCache();
  ConditionsCache(const ConditionsCache&) = delete;
  ConditionsCache& operator=(const ConditionsCache&) = delete;
  std::shared_ptr<const Conditions> Get(const Dataset& dataset, double temperature,
                                        const TableScheme& scheme = SpecifiedScheme());

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace geofluid::engine
