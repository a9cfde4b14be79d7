#include "geothermometry/estimate.h"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_min.h>
#include <gsl/gsl_roots.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "thermo/interpolation.h"
#include "units/units.h"

namespace geofluid::geothermometry {

namespace {

std::string Fixed(double v, int digits = 1) {
  char text[40];
  std::snprintf(text, sizeof text, "%.*f", digits, v);
  return text;
}

std::string Names(const engine::Dataset& dataset) {
  std::string list;
  for (int m = 1; m <= dataset.MineralCount(); ++m) {
    if (m > 1) list += ", ";
    list += dataset.MineralName(m);
  }
  return list;
}

// The components (0-based) a mineral's activity product is made of.
std::set<int> ComponentsOf(const engine::Dataset& dataset, int m) {
  std::set<int> components;
  auto basis = [&](int species) {
    if (species >= 1 && species <= engine::kComponentCount) components.insert(species - 1);
  };
  const thermo::IapDefinition& iap = dataset.iap[m - 1];
  for (int t = 0; t < iap.count; ++t) {
    const int species = iap.terms[static_cast<std::size_t>(t)].species;
    if (species <= thermo::kWater) {
      basis(species);
      continue;
    }
    const thermo::ComplexDefinition& complex = dataset.model.complexes[species - 15];
    for (int f = 0; f < complex.factor_count; ++f) {
      basis(complex.factors[static_cast<std::size_t>(f)].species);
    }
  }
  return components;
}

// A component absent from the whole fluid: not analysed in the water, and for carbonate and
// sulphide not in the steam either.
bool Absent(const engine::Sample& s, int c) {
  if (s.component[static_cast<std::size_t>(c)] != 0.0) return false;
  if (c == 7) return s.steam_co2 == 0.0;
  if (c == 9) return s.steam_h2s == 0.0;
  return true;
}

double Measure(const SetStatistics& s, geothermometry::Criterion c) {
  switch (c) {
    case Criterion::kRms:
      return s.rms;
    case Criterion::kMedian:
      return std::abs(s.median);
    case Criterion::kMean:
      return std::abs(s.mean);
    case Criterion::kSd:
      return s.sd;
  }
  return s.rms;
}

const char* CriterionTitle(geothermometry::Criterion c) {
  switch (c) {
    case Criterion::kRms:
      return "RMS";
    case Criterion::kMedian:
      return "|median|";
    case Criterion::kMean:
      return "|mean|";
    case Criterion::kSd:
      return "standard deviation";
  }
  return "";
}

void QuietGsl() {
  // GSL aborts the process on an error by default; here every status is checked instead.
  static std::once_flag once;
  std::call_once(once, [] { gsl_set_error_handler_off(); });
}

// The set's statistics at any temperature: the grid's where it has them, else evaluated once.
class SetCurve {
 public:
  SetCurve(const std::vector<SetStatistics>& grid, const SetSi& si_at)
      : grid_(grid), si_at_(si_at) {}

  std::optional<SetStatistics> At(double t) {
    for (const SetStatistics& s : grid_) {
      if (s.temperature == t) return s;
    }
    for (const auto& [temperature, statistics] : extra_) {
      if (temperature == t) return statistics;
    }
    std::optional<SetStatistics> s;
    if (si_at_) {
      if (const auto si = si_at_(t)) s = Statistics(t, *si);
    }
    extra_.emplace_back(t, s);
    return s;
  }

 private:
  const std::vector<SetStatistics>& grid_;
  const SetSi& si_at_;
  std::vector<std::pair<double, std::optional<SetStatistics>>> extra_;
};

struct Objective {
  SetCurve* curve;
  geothermometry::Criterion criterion;
  bool failed = false;
};

double Evaluate(double t, void* params) {
  auto* o = static_cast<Objective*>(params);
  const auto s = o->curve->At(t);
  if (!s) {
    o->failed = true;
    return std::numeric_limits<double>::max();
  }
  return Measure(*s, o->criterion);
}

// Brent's minimisation on [lower, upper] from the grid's best point `guess`, to 0.1 °C.
// nullopt when the bracket does not hold or an evaluation fails: the grid's value stands.
std::optional<std::pair<double, double>> Refine(SetCurve& curve, geothermometry::Criterion c,
                                                double lower, double guess, double upper,
                                                double f_guess) {
  QuietGsl();
  Objective objective{&curve, c};
  gsl_function f{&Evaluate, &objective};
  const double f_lower = Evaluate(lower, &objective);
  const double f_upper = Evaluate(upper, &objective);
  if (objective.failed || !(f_guess < f_lower) || !(f_guess < f_upper)) return std::nullopt;
  gsl_min_fminimizer* m = gsl_min_fminimizer_alloc(gsl_min_fminimizer_brent);
  if (m == nullptr) return std::nullopt;
  std::optional<std::pair<double, double>> result;
  if (gsl_min_fminimizer_set_with_values(m, &f, guess, f_guess, lower, f_lower, upper, f_upper) ==
      GSL_SUCCESS) {
    for (int i = 0; i < 100; ++i) {
      if (gsl_min_fminimizer_iterate(m) != GSL_SUCCESS || objective.failed) break;
      const double a = gsl_min_fminimizer_x_lower(m);
      const double b = gsl_min_fminimizer_x_upper(m);
      if (gsl_min_test_interval(a, b, 0.1, 0.0) == GSL_SUCCESS) {
        result = std::make_pair(gsl_min_fminimizer_x_minimum(m), gsl_min_fminimizer_f_minimum(m));
        break;
      }
    }
  }
  gsl_min_fminimizer_free(m);
  if (objective.failed) return std::nullopt;
  return result;
}

// |median| and |mean| reach their minimum, zero, where the signed statistic changes sign: a root
// found by Brent's method in a few evaluations, where minimising the V of the absolute value
// would take golden-section steps.
bool Signed(geothermometry::Criterion c) {
  return c == Criterion::kMedian || c == Criterion::kMean;
}

double SignedValue(const SetStatistics& s, geothermometry::Criterion c) {
  return c == Criterion::kMedian ? s.median : s.mean;
}

struct SignedObjective {
  SetCurve* curve;
  geothermometry::Criterion criterion;
  bool failed = false;
};

double EvaluateSigned(double t, void* params) {
  auto* o = static_cast<SignedObjective*>(params);
  const auto s = o->curve->At(t);
  if (!s) {
    o->failed = true;
    return 0.0;  // ends the search; the result is then discarded
  }
  return SignedValue(*s, o->criterion);
}

std::optional<std::pair<double, double>> RefineRoot(SetCurve& curve, geothermometry::Criterion c,
                                                    double lower, double upper) {
  QuietGsl();
  SignedObjective objective{&curve, c};
  gsl_function f{&EvaluateSigned, &objective};
  gsl_root_fsolver* solver = gsl_root_fsolver_alloc(gsl_root_fsolver_brent);
  if (solver == nullptr) return std::nullopt;
  std::optional<std::pair<double, double>> result;
  if (gsl_root_fsolver_set(solver, &f, lower, upper) == GSL_SUCCESS) {
    for (int i = 0; i < 100 && !objective.failed; ++i) {
      if (gsl_root_fsolver_iterate(solver) != GSL_SUCCESS || objective.failed) break;
      const double root = gsl_root_fsolver_root(solver);
      const double value = EvaluateSigned(root, &objective);
      if (value == 0.0 ||
          gsl_root_test_interval(gsl_root_fsolver_x_lower(solver), gsl_root_fsolver_x_upper(solver),
                                 0.1, 0.0) == GSL_SUCCESS) {
        result = std::make_pair(root, std::abs(value));
        break;
      }
    }
  }
  gsl_root_fsolver_free(solver);
  if (objective.failed) return std::nullopt;
  return result;
}

TemperatureEstimate Minimise(const std::vector<SetStatistics>& curves, geothermometry::Criterion c,
                             SetCurve& curve) {
  TemperatureEstimate estimate;
  if (curves.empty()) {
    estimate.reason = "no temperature of the range could be evaluated";
    return estimate;
  }
  std::size_t best = 0;
  for (std::size_t j = 1; j < curves.size(); ++j) {
    if (Measure(curves[j], c) < Measure(curves[best], c)) best = j;
  }
  estimate.celsius = curves[best].temperature;
  estimate.value = Measure(curves[best], c);
  if (Signed(c)) {
    if (estimate.value == 0.0) return estimate;
    const double here = SignedValue(curves[best], c);
    for (const std::size_t j : {best - 1, best + 1}) {
      if (j >= curves.size() || (SignedValue(curves[j], c) < 0.0) == (here < 0.0)) continue;
      const double a = curves[std::min(best, j)].temperature;
      const double b = curves[std::max(best, j)].temperature;
      if (const auto root = RefineRoot(curve, c, a, b)) {
        estimate.celsius = root->first;
        estimate.value = root->second;
      }
      return estimate;
    }
  }
  if (curves.size() > 1 && (best == 0 || best + 1 == curves.size())) {
    estimate.on_edge = true;
    return estimate;
  }
  if (curves.size() < 3) return estimate;
  const auto refined = Refine(curve, c, curves[best - 1].temperature, *estimate.celsius,
                              curves[best + 1].temperature, estimate.value);
  if (refined) {
    estimate.celsius = refined->first;
    estimate.value = refined->second;
  }
  return estimate;
}

TemperatureEstimate& Slot(Estimate& e, geothermometry::Criterion c) {
  return const_cast<TemperatureEstimate&>(std::as_const(e).Get(c));
}

}  // namespace

std::vector<std::string> DefaultMinerals(const engine::Dataset& dataset) {
  if (dataset.id == thermo::Dataset::kSolveq) {
    return {"QUARTZ",   "LOW-ALBITE", "MICROCLINE", "MUSCOVITE", "CLINOCHLORE 7A", "CLINOZOISITE",
            "PRHENITE", "WAIRAKITE",  "LAUMONTITE", "CALCITE",   "ANHYDRITE"};
  }
  return {"QUARTZ",   "ALBITE_LOW", "MICROCLINE", "MUSCOVITE", "CLINOCHLORE_14A", "CLINOZOISITE",
          "PREHNITE", "WAIRAKITE",  "LAUMONTITE", "CALCITE",   "ANHYDRITE"};
}

std::vector<int> MineralIndices(const engine::Dataset& dataset,
                                const std::vector<std::string>& names) {
  std::vector<int> indices;
  for (const std::string& name : names) {
    if (name.empty()) throw std::invalid_argument("an empty mineral name in the set");
    const int m = dataset.MineralIndex(name);
    if (m == 0) {
      throw UnknownMineral(std::string(dataset.title) + " has no mineral \"" + name +
                           "\"; its minerals are: " + Names(dataset));
    }
    if (std::find(indices.begin(), indices.end(), m) != indices.end()) {
      throw std::invalid_argument("mineral \"" + name + "\" is named twice in the set");
    }
    indices.push_back(m);
  }
  return indices;
}

std::optional<SetStatistics> Statistics(double temperature, const std::vector<double>& si) {
  if (si.empty()) return std::nullopt;
  SetStatistics s;
  s.temperature = temperature;
  s.count = static_cast<int>(si.size());
  const double n = static_cast<double>(si.size());
  double sum = 0.0;
  double squares = 0.0;
  for (double v : si) {
    sum += v;
    squares += v * v;
  }
  s.mean = sum / n;
  s.rms = std::sqrt(squares / n);
  double deviations = 0.0;
  for (double v : si) deviations += (v - s.mean) * (v - s.mean);
  s.sd = std::sqrt(deviations / n);
  std::vector<double> sorted = si;
  std::sort(sorted.begin(), sorted.end());
  const std::size_t half = sorted.size() / 2;
  s.median = sorted.size() % 2 == 1 ? sorted[half] : 0.5 * (sorted[half - 1] + sorted[half]);
  return s;
}

TemperatureEstimate Minimise(const std::vector<SetStatistics>& curves, Criterion criterion,
                             const SetSi& si_at) {
  SetCurve curve(curves, si_at);
  return Minimise(curves, criterion, curve);
}

std::vector<double> ZeroCrossings(const std::vector<double>& temperatures,
                                  const std::vector<double>& si) {
  std::vector<double> list;
  const std::size_t n = std::min(temperatures.size(), si.size());
  for (std::size_t i = 0; i < n; ++i) {
    const double a = si[i];
    if (!std::isfinite(a)) continue;
    if (a == 0.0) {
      list.push_back(temperatures[i]);
      continue;
    }
    if (i + 1 >= n || !std::isfinite(si[i + 1])) continue;
    const double b = si[i + 1];
    const double ta = temperatures[i];
    const double tb = temperatures[i + 1];
    if (b != 0.0 && (a < 0.0) != (b < 0.0)) list.push_back(ta + a / (a - b) * (tb - ta));
  }
  return list;
}

const char* CriterionKey(geothermometry::Criterion c) {
  switch (c) {
    case Criterion::kRms:
      return "rms";
    case Criterion::kMedian:
      return "median";
    case Criterion::kMean:
      return "mean";
    case Criterion::kSd:
      return "sd";
  }
  return "";
}

const TemperatureEstimate& Estimate::Get(geothermometry::Criterion c) const {
  switch (c) {
    case Criterion::kRms:
      return rms;
    case Criterion::kMedian:
      return median;
    case Criterion::kMean:
      return mean;
    case Criterion::kSd:
      return sd;
  }
  return rms;
}

Estimate EstimateTemperature(const engine::Sample& sample, const engine::Dataset& dataset,
                             const std::vector<std::string>& minerals, const SweepOptions& options,
                             engine::ConditionsCache& cache) {
  // An unusable set is the caller's mistake: said before any calculation.
  MineralIndices(dataset, minerals.empty() ? DefaultMinerals(dataset) : minerals);
  return EstimateFromSweep(sample, RunSweep(sample, dataset, options, cache), minerals, options,
                           cache);
}

Estimate EstimateFromSweep(const engine::Sample& sample, Sweep sweep,
                           const std::vector<std::string>& minerals, const SweepOptions& options,
                           engine::ConditionsCache& cache) {
  Estimate e;
  e.dataset = sweep.dataset;
  e.scheme = sweep.scheme;
  e.minerals = minerals.empty() ? DefaultMinerals(*sweep.dataset) : minerals;
  const engine::Dataset& dataset = *sweep.dataset;
  const std::vector<int> all = MineralIndices(dataset, e.minerals);
  e.sweep = std::move(sweep);
  const Sweep& s = e.sweep;

  std::vector<int> set;
  for (std::size_t i = 0; i < all.size(); ++i) {
    std::string missing;
    for (int c : ComponentsOf(dataset, all[i])) {
      if (!Absent(sample, c)) continue;
      missing += (missing.empty() ? "" : ", ") + std::string(engine::kComponentKeys[c]);
    }
    if (missing.empty()) {
      set.push_back(all[i]);
      e.used.push_back(e.minerals[i]);
    } else {
      e.warnings.push_back(e.minerals[i] + " left out of the statistics: the sample has no " +
                           missing);
    }
  }
  for (const std::string& name : e.minerals) e.crossings[name];

  const char* no_estimate = nullptr;
  if (!s.ok()) {
    e.warnings.push_back("no sweep: " + s.error);
    no_estimate = "the sweep failed";
  } else if (set.empty()) {
    no_estimate = "no mineral of the set can be evaluated";
  }
  if (no_estimate) {
    for (geothermometry::Criterion c : kCriteria) {
      Slot(e, c).reason = no_estimate;
    }
    return e;
  }

  // The tables hold nodes from 0 to 300 °C; beyond them every scheme extrapolates, and the
  // specified polynomial runs away within a few tens of degrees.
  const double first_node = thermo::kStandardGrid.front();
  const double last_node = thermo::kStandardGrid.back();
  if (!s.points.empty() &&
      (s.points.front().temperature < first_node || s.points.back().temperature > last_node)) {
    e.warnings.push_back("the range reaches beyond the tables' " + Fixed(first_node, 0) + "-" +
                         Fixed(last_node, 0) +
                         " °C: log K there is extrapolated and the indices are unreliable");
  }

  // Failed temperatures and pass limits, summed up once.
  int failed = 0;
  int stalled = 0;
  std::string first_error;
  for (const SweepPoint& p : s.points) {
    if (!p.ok()) {
      if (failed++ == 0) first_error = p.error;
    } else if (p.non_convergences > 0) {
      ++stalled;
    }
  }
  if (failed > 0) {
    e.warnings.push_back(std::to_string(failed) + " of " + std::to_string(s.points.size()) +
                         " temperatures could not be evaluated, the first " + first_error);
  }
  if (stalled > 0) {
    e.warnings.push_back("the speciation stopped at its pass limit at " + std::to_string(stalled) +
                         " temperatures");
  }

  // Zero crossings of each mineral between neighbouring evaluated points.
  std::vector<double> temperatures;
  for (const SweepPoint& p : s.points) temperatures.push_back(p.temperature);
  for (std::size_t k = 0; k < all.size(); ++k) {
    const int m = all[k];
    if (std::find(set.begin(), set.end(), m) == set.end()) continue;
    std::vector<double> si;
    for (const SweepPoint& p : s.points) {
      si.push_back(p.ok() ? p.si[static_cast<std::size_t>(m - 1)]
                          : std::numeric_limits<double>::quiet_NaN());
    }
    e.crossings[e.minerals[k]] = ZeroCrossings(temperatures, si);
  }

  for (const SweepPoint& p : s.points) {
    if (!p.ok()) continue;
    std::vector<double> si;
    for (int m : set) si.push_back(p.si[static_cast<std::size_t>(m - 1)]);
    e.curves.push_back(*Statistics(p.temperature, si));
  }
  std::string refinement_error;
  const SetSi si_at = [&](double t) -> std::optional<std::vector<double>> {
    const SweepPoint p = EvaluatePoint(sample, s, t, options, cache);
    if (!p.ok()) {
      if (refinement_error.empty()) refinement_error = p.error;
      return std::nullopt;
    }
    std::vector<double> si;
    for (int m : set) si.push_back(p.si[static_cast<std::size_t>(m - 1)]);
    return si;
  };
  SetCurve curve(e.curves, si_at);
  for (geothermometry::Criterion c : kCriteria) {
    TemperatureEstimate& estimate = Slot(e, c);
    estimate = Minimise(e.curves, c, curve);
    if (estimate.on_edge) {
      e.warnings.push_back(std::string("the minimum of ") + CriterionTitle(c) +
                           " lies on the edge of the range, at " + Fixed(*estimate.celsius, 0) +
                           " °C: the equilibrium temperature may lie beyond it");
    }
  }
  if (!refinement_error.empty()) {
    e.warnings.push_back("a refinement between grid points failed, the grid's value stands: " +
                         refinement_error);
  }

  // Spycher et al. (2014) trust a clustering only where several minerals reach equilibrium.
  if (e.rms.celsius && !e.rms.on_edge) {
    int near = 0;
    for (const auto& [name, list] : e.crossings) {
      for (double t : list) {
        if (std::abs(t - *e.rms.celsius) <= 25.0) {
          ++near;
          break;
        }
      }
    }
    if (near < 3) {
      e.warnings.push_back("only " + std::to_string(near) +
                           " minerals of the set cross SI = 0 within 25 °C of the RMS estimate (" +
                           Fixed(*e.rms.celsius) + " °C): the estimate is weakly constrained");
    }
  }
  return e;
}

std::vector<std::string> CompareInterpolations(const engine::Dataset& dataset,
                                               const std::vector<std::string>& minerals,
                                               double from, double to, const engine::TableScheme& a,
                                               const engine::TableScheme& b, double tolerance) {
  const std::vector<std::string> names = minerals.empty() ? DefaultMinerals(dataset) : minerals;
  const std::vector<int> set = MineralIndices(dataset, names);
  std::vector<double> worst(set.size(), 0.0);
  std::vector<double> where(set.size(), from);
  std::vector<double> grid = TemperatureGrid(from, to, 1.0);
  if (grid.back() != to) grid.push_back(to);
  for (double t : grid) {
    const auto ka = engine::Prepare(dataset, t, a);
    const auto kb = engine::Prepare(dataset, t, b);
    for (std::size_t i = 0; i < set.size(); ++i) {
      const double d =
          std::abs(ka->constants.mineral_logk[set[i]] - kb->constants.mineral_logk[set[i]]);
      if (d > worst[i]) {
        worst[i] = d;
        where[i] = t;
      }
    }
  }
  std::vector<std::string> warnings;
  for (std::size_t i = 0; i < set.size(); ++i) {
    if (worst[i] <= tolerance) continue;
    warnings.push_back(names[i] + ": log K by the " + std::string(a.Name()) + " and the " +
                       std::string(b.Name()) + " interpolation differ by " + Fixed(worst[i], 2) +
                       " at " + Fixed(where[i], 0) + " °C (more than " + Fixed(tolerance, 1) +
                       " in the swept range)");
  }
  return warnings;
}

namespace {

// Standard atomic weights, g/mol, IUPAC 2021 (as units::atomic_weight).
constexpr double kLithium = 6.94;
constexpr double kBoron = 10.81;

// Empty where the sample has a separation temperature, else why the reservoir liquid cannot be
// computed.
std::string MissingSeparation(const engine::Sample& sample) {
  if (!sample.separation_given) {
    return "no separation temperature given: the reservoir liquid is not computed (give the "
           "separation column; 100 °C for a spring)";
  }
  if (!std::isfinite(sample.separation_temperature)) {
    return "the separation temperature is not a number: the reservoir liquid is not computed";
  }
  return {};
}

}  // namespace

SoluteAnalysis SoluteAnalysisOf(const engine::Sample& sample) {
  const std::vector<double> mg = units::ComponentsFromMolality(sample.component);
  SoluteAnalysis water;
  water.sio2 = mg[*engine::ComponentIndex("SiO2")];
  water.na = mg[*engine::ComponentIndex("Na")];
  water.k = mg[*engine::ComponentIndex("K")];
  water.ca = mg[*engine::ComponentIndex("Ca")];
  water.mg = mg[*engine::ComponentIndex("Mg")];
  water.cl = mg[*engine::ComponentIndex("Cl")];
  // Li and B are carried outside the speciation, mol/kg H2O; to mg/kg of the same solution
  // (1 kg of water and the twelve components).
  double solution = 1.0;
  for (std::size_t i = 0; i < sample.component.size(); ++i)
    solution += sample.component[i] * units::Forms()[i].molar_mass / 1000.0;
  water.li = sample.lithium * kLithium * 1000.0 / solution;
  water.b = sample.boron * kBoron * 1000.0 / solution;
  const auto below = [&](std::string_view key) {
    return (sample.below_detection >> *engine::ComponentIndex(key)) & 1u;
  };
  water.below_detection =
      (below("SiO2") ? kSoluteSiO2 : 0u) | (below("Na") ? kSoluteNa : 0u) |
      (below("K") ? kSoluteK : 0u) | (below("Ca") ? kSoluteCa : 0u) |
      (below("Mg") ? kSoluteMg : 0u) |
      (sample.below_detection & engine::kBelowDetectionLithium ? kSoluteLi : 0u);
  water.mg_limit = sample.mg_detection_limit * units::atomic_weight::kMg * 1000.0 / solution;
  return water;
}

Reservoir AssessReservoir(const engine::Sample& sample, const ReservoirOptions& options,
                          engine::ConditionsCache& cache) {
  for (const engine::Dataset* d : options.datasets) {
    MineralIndices(*d, options.minerals.empty() ? DefaultMinerals(*d) : options.minerals);
  }
  Reservoir r;
  r.id = sample.id;
  for (const engine::Dataset* d : options.datasets) {
    r.estimates.push_back(EstimateTemperature(sample, *d, options.minerals, options.sweep, cache));
  }
  AssessSolutes(sample, r);
  return r;
}

void AssessSolutes(const engine::Sample& sample, Reservoir& r) {
  try {
    r.water = SoluteAnalysisOf(sample);
    r.giggenbach = ClassifyGiggenbach(r.water);
    r.solute = EverySoluteGeothermometer(r.water);
    FlagSolutes(r.solute, r.water, r.giggenbach);
    r.reservoir_reason = MissingSeparation(sample);
    if (r.reservoir_reason.empty()) {
      for (const SoluteTemperature& t : r.solute) {
        r.solute_reservoir.push_back(
            ReservoirSoluteByKey(t.key, r.water, sample.separation_temperature));
      }
      FlagSolutes(r.solute_reservoir, r.water, r.giggenbach);
    }
  } catch (const std::exception& e) {
    r.solute_error = e.what();
    r.giggenbach.reason = e.what();
  }
}

SoluteTemperature SoluteOfSample(const engine::Sample& sample, std::string_view key,
                                 bool reservoir_liquid) {
  const SoluteAnalysis water = SoluteAnalysisOf(sample);
  std::vector<SoluteTemperature> one;
  if (!reservoir_liquid) {
    one.push_back(SoluteByKey(key, water));
  } else if (const std::string missing = MissingSeparation(sample); !missing.empty()) {
    one.push_back(SoluteByKey(key, water));
    one.back().celsius.reset();
    one.back().warning.clear();
    one.back().reason = missing;
  } else {
    one.push_back(ReservoirSoluteByKey(key, water, sample.separation_temperature));
  }
  FlagSolutes(one, water, ClassifyGiggenbach(water));
  return std::move(one.front());
}

}  // namespace geofluid::geothermometry
