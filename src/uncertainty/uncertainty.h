#pragma once

// How sure is the answer: the errors of a sample's analysis, pH and temperatures drawn many
// times (Monte Carlo), each draw a whole evaluation carried through TOTH and the steam
// correction, summarised as medians and 5-95 % intervals of the pH, every saturation index, the
// multicomponent temperature estimate and the solute geothermometers; and which inputs matter
// most, one at a time at +-1 sigma.
//
// A run is a function of its inputs and the seed: draw i takes its random numbers from
// (seed, i, input) alone, so the output does not depend on the number of threads.

#include <array>
#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "batch/batch.h"
#include "engine/engine.h"
#include "geothermometry/sweep.h"
#include "platform/errors.h"

namespace geofluid::uncertainty {

// An --error item, an [errors] key or an err_ cell that cannot be used; the message names it.
class ErrorSyntax : public Error {
 public:
  using Error::Error;
};

enum class Distribution {
  kNormal,     // concentrations: relative 1 sigma, truncated at 0 by drawing again
  kLogNormal,  // a factor: the value times factor^z, z standard normal; median the value
};

struct ErrorSpec {
  Distribution distribution = Distribution::kNormal;
  // kNormal: relative 1 sigma for concentrations (0.05 = 5 %), absolute for pH and the
  // temperatures (pH units, °C). kLogNormal: the 1-sigma factor, >= 1 (concentrations only).
  double sigma = 0.0;

  bool Zero() const { return distribution == Distribution::kNormal ? sigma == 0.0 : sigma == 1.0; }
};

// The inputs that carry an error, in the order they are drawn and listed.
enum class Input : int {
  // 0..11: the components in the order of engine::kComponentKeys
  kSteamCo2 = engine::kComponentCount,
  kSteamH2s,
  kPh,
  kPhTemperature,
  kSeparationTemperature,
  kCalculationTemperature,
};
inline constexpr int kInputCount = engine::kComponentCount + 6;

// "SiO2" ... "NH3", "CO2", "H2S", "pH", "ph_temperature", "separation", "temperature".
std::string_view InputKey(int input);
// True for the components and the steam gases (relative errors, never below 0).
bool IsConcentration(int input);

struct InputErrors {
  std::array<ErrorSpec, kInputCount> spec{};

  // 5 % (normal) for every component and steam gas, 0.1 for the pH, 0 for the temperatures.
  static InputErrors Defaults();
  const ErrorSpec& operator[](int input) const { return spec[static_cast<std::size_t>(input)]; }
  ErrorSpec& operator[](int input) { return spec[static_cast<std::size_t>(input)]; }
  bool AllZero() const;
};

// Sets one error from its text: `key` an input key (case as above; "calculation" is taken for
// "temperature", "components" sets all twelve components and "gases" both steam gases),
// `value` "3%" (normal, relative: concentrations only), "x2" (log-normal factor 2:
// concentrations only) or a plain number (absolute: pH and temperatures; for a concentration
// only 0). Throws ErrorSyntax naming the item.
void SetError(InputErrors& errors, std::string_view key, std::string_view value);
// "KEY=VALUE" as on the command line.
void SetError(InputErrors& errors, std::string_view item);
// The items of one list (a file's [errors] section, the --error options) under one rule,
// whatever their order: an input named on its own keeps its error, and a group (components,
// gases) sets only those of its inputs not named on their own. A later list still overrides
// an earlier one.
class ErrorList {
 public:
  explicit ErrorList(InputErrors& errors) : errors_(errors) {}
  // As SetError; returns a warning when a group leaves an input named before it alone, else "".
  std::string Set(std::string_view key, std::string_view value);
  std::string Set(std::string_view item);

 private:
  InputErrors& errors_;
  std::array<bool, kInputCount> named_{};
};
// The error as SetError reads it: "5%", "x2", "0.1".
std::string ErrorText(const InputErrors& errors, int input);
// What --help says about the syntax.
std::string ErrorSyntaxHelp();

// ---- Drawing -------------------------------------------------------------------------------

// The random numbers of (seed, draw, input): a 64-bit Mersenne twister seeded by SplitMix64 of
// the three. A stream per input keeps every other input's draws unchanged when one error is
// changed or set to zero.
std::mt19937_64 Stream(std::uint64_t seed, std::uint64_t draw, int input);

// One draw of the sample: every input moved by its error. `temperature_offset` receives the
// draw of the calculation temperature's error (added to every temperature of the run).
engine::Sample DrawSample(const engine::Sample& nominal, const InputErrors& errors,
                          std::uint64_t seed, std::uint64_t draw, double* temperature_offset);

// ---- Statistics ----------------------------------------------------------------------------

struct Interval {
  double median = 0.0;
  double q05 = 0.0;
  double q95 = 0.0;
  std::size_t n = 0;  // draws counted; the others failed
};
// Median and 5 %, 95 % quantiles (linear between order statistics, Hyndman & Fan type 7) of the
// finite values; n = 0 and NaNs when there is none. Sorts `values`.
Interval Summarize(std::vector<double>& values);

// ---- The run -------------------------------------------------------------------------------

struct Options {
  int draws = 1000;
  std::uint64_t seed = 1;
  int threads = 0;                               // 0: all cores
  std::vector<double> temperatures;              // °C; the pH is carried to each
  std::vector<const engine::Dataset*> datasets;  // each evaluated, in order
  bool steam_correction = true;
  engine::Search search = engine::Search::kFast;
  std::vector<std::string> minerals;  // the set of the estimate; empty: the default set
  // Totals fixed by equilibrium with a mineral at every temperature of every draw, and the
  // normalised statistics, as geothermometry::SweepOptions.
  std::vector<geothermometry::FixedComponent> fix;
  bool normalize = false;
  // The steam loss and/or dilution found with the temperature in every draw, so that the
  // interval includes what the optimisation cannot pin down (each draw then costs about
  // twenty sweeps).
  bool optimize_steam_loss = false;
  bool optimize_dilution = false;
  bool estimate = true;     // the multicomponent temperature per draw
  bool solute = true;       // the solute geothermometers per draw
  bool sensitivity = true;  // one at a time at +-1 sigma
  // Set by another thread to stop the run (null: never): Run then throws geofluid::Interrupted
  // within a draw's sweep.
  const std::atomic<bool>* cancel = nullptr;
};

struct Named {
  std::string name;
  Interval interval;
};

struct TemperatureResult {
  double temperature = 0.0;
  double nominal_ph = 0.0;  // the draw-free evaluation; NaN where it failed
  Interval ph;
  std::vector<Named> si;  // every mineral of the dataset, in its order
  std::vector<double> nominal_si;
  // The RMS and the median of the SI over the estimate's mineral set (without an estimate: empty).
  Interval set_rms, set_median;
  std::size_t failed = 0;  // draws that failed at this temperature
};

// One input's weight: the sample evaluated with that input alone at -1 and +1 sigma.
struct Sensitivity {
  std::string input;  // InputKey
  std::string error;  // ErrorText
  // The RMS temperature estimate at -1 and +1 sigma, °C (absent where it has none).
  std::optional<double> estimate_minus, estimate_plus;
  // Half the change of the estimate, °C, and the RMS over the mineral set of half the change of
  // the SI at the reference temperature.
  std::optional<double> estimate_effect;
  std::optional<double> si_effect;
  // The effect squared as a percentage of the sum over every input: for small, independent
  // errors the share of the estimate's variance.
  std::optional<double> estimate_share;
  std::string note;  // e.g. one-sided where -1 sigma would leave a concentration below 0
};

struct EstimateResult {
  std::vector<std::string> minerals;  // the set
  // "rms", "median", "mean", "sd": the estimate's distribution; draws without an estimate (a
  // minimum on neither side of the range, a failed sweep) are counted out and n says so.
  std::vector<Named> criteria;
  std::vector<std::optional<double>> nominal;  // per criterion, the draw-free estimate
  // Per criterion: whether the nominal minimum lies on the first or last temperature, and how
  // many draws' minima do (an edge is a bound, not a minimum: widen the range).
  std::vector<bool> nominal_on_edge;
  std::vector<std::size_t> on_edge;
  std::vector<std::vector<double>> draws;  // per criterion, the estimate of each draw (NaN: none)
  // With Options::optimize_*: "steam_loss" and/or "dilution" as each draw found them with its
  // temperature, and the draw-free sample's value with its curvature spread.
  struct Unknown {
    std::string name;
    Interval interval;
    std::optional<double> nominal;
    std::optional<double> nominal_sd;
    bool nominal_on_bound = false;
  };
  std::vector<Unknown> optimized;
};

struct DatasetResult {
  const engine::Dataset* dataset = nullptr;
  std::vector<TemperatureResult> temperatures;
  std::size_t failed_draws = 0;       // draws that failed at one temperature or more
  std::vector<std::string> failures;  // the first few messages, for the user
  std::optional<EstimateResult> estimate;
  double sensitivity_temperature = 0.0;  // where the SI effects are taken
  std::vector<Sensitivity> sensitivity;  // largest effect first
};

struct SoluteResult {
  std::string key;
  std::string citation;
  std::string label;  // for a reader: "Na/K, Giggenbach (1988)"
  std::optional<double> nominal;
  Interval interval;
};

struct Result {
  std::string id;
  int draws = 0;
  std::uint64_t seed = 0;
  InputErrors errors;
  std::size_t failed_draws = 0;  // draws that failed with any dataset
  std::vector<DatasetResult> datasets;
  std::vector<SoluteResult> solute;
  std::vector<std::string> warnings;
};

// Draws and evaluates. Throws std::invalid_argument for unusable options (no datasets, no
// temperatures, draws < 1); every failure of a draw is counted in the result.
Result Run(const engine::Sample& sample, const InputErrors& errors, const Options& options,
           engine::ConditionsCache& cache);

// ---- Output --------------------------------------------------------------------------------

// The table for a reader: per dataset and temperature the pH and the SI of the mineral set
// (median and 5-95 %), the estimate, the solute geothermometers and the ranked inputs.
void WriteText(std::ostream& out, const Result& result);
// Long form: id, dataset, temperature, quantity, nominal, median, q05, q95, n.
void WriteCsvHeader(std::ostream& out);
void WriteCsv(std::ostream& out, const Result& result);
// One JSON object per result; with `as_list` (a table's samples) {"samples": [...]}.
std::string ToJson(const Result& result, int indent = 2);
void WriteJson(std::ostream& out, const std::vector<Result>& results, bool as_list);

// ---- Input ---------------------------------------------------------------------------------

// A sample of a CSV table with its own errors (err_<key> columns).
struct TableSample {
  std::size_t line = 0;
  engine::Sample sample;
  std::vector<double> temperatures;  // from the row's `temperatures` cell; empty: the options'
  InputErrors errors;
  std::string fault;  // the row cannot be used, and why
};
// Reads a batch table (the columns of `geofluid-cli batch`) with optional err_<key> columns,
// e.g. err_Na = 3%, err_pH = 0.05, err_Al = x2. An empty err_ cell leaves `base` in place.
// Throws ErrorSyntax / std::runtime_error for a table that cannot be read at all.
std::vector<TableSample> ReadTable(std::istream& in, const std::string& name,
                                   const InputErrors& base, bool steam_correction,
                                   const std::string& units);
// The same in steps, for a table that is not a CSV text (a DataFrame): the reader's options,
// which claim the err_ columns (their names checked, refused naming `name` and the header's
// line), and one row's job with its err_ cells over `base`. Its fault starts with `name`.
batch::InputOptions TableInput(const std::string& name, bool steam_correction,
                               const std::string& units);
TableSample TableSampleOf(batch::Job&& job, const InputErrors& base, const std::string& name);

}  // namespace geofluid::uncertainty
