#include "geothermometry/estimate.h"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_min.h>
#include <gsl/gsl_multimin.h>
#include <gsl/gsl_roots.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "io/text.h"
#include "thermo/interpolation.h"
#include "units/units.h"

namespace geofluid::geothermometry {

namespace {

std::string Fixed(double v, int digits = 1) { return io::Fixed(v, digits); }

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
    const thermo::ComplexDefinition& complex =
        dataset.model.complexes[species - thermo::kFirstComplex];
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
  return {dataset.default_minerals.begin(), dataset.default_minerals.end()};
}

bool IsAutoSet(const std::vector<std::string>& minerals) {
  return minerals.size() == 1 && minerals[0] == "auto";
}

MineralSet ResolveMinerals(const engine::Dataset& dataset, const std::vector<std::string>& asked) {
  const std::vector<std::string>& names = IsAutoSet(asked) ? DefaultMinerals(dataset) : asked;
  MineralSet set;
  const engine::Dataset& other = dataset.Other();
  for (const std::string& name : names) {
    if (name.empty()) throw std::invalid_argument("an empty mineral name in the set");
    const std::optional<int> found = dataset.MineralIndexOf(name);
    if (!found) {
      if (other.MineralIndexOf(name)) {
        set.absent.push_back(name);
        continue;
      }
      throw UnknownMineral(std::string(dataset.title) + " has no mineral \"" + name +
                           "\"; its minerals are: " + Names(dataset));
    }
    const int m = *found;
    if (std::find(set.indices.begin(), set.indices.end(), m) != set.indices.end()) {
      throw std::invalid_argument("mineral \"" + name + "\" is named twice in the set");
    }
    set.indices.push_back(m);
    set.names.emplace_back(dataset.MineralName(m));
  }
  if (set.indices.empty() && !names.empty()) {
    throw std::invalid_argument(std::string(dataset.title) +
                                " has none of the minerals of the set");
  }
  return set;
}

std::vector<int> MineralIndices(const engine::Dataset& dataset,
                                const std::vector<std::string>& names) {
  return ResolveMinerals(dataset, names).indices;
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

namespace {
Estimate Optimize(const engine::Sample& sample, const engine::Dataset& dataset,
                  const std::vector<std::string>& minerals, const SweepOptions& options,
                  engine::ConditionsCache& cache);
}  // namespace

Estimate EstimateTemperature(const engine::Sample& sample, const engine::Dataset& dataset,
                             const std::vector<std::string>& minerals, const SweepOptions& options,
                             engine::ConditionsCache& cache) {
  // An unusable set or fix is the caller's mistake: said before any calculation.
  MineralIndices(dataset, minerals.empty() ? DefaultMinerals(dataset) : minerals);
  ResolveFixes(dataset, options.fix);
  if (options.optimize_steam_loss || options.optimize_dilution) {
    return Optimize(sample, dataset, minerals, options, cache);
  }
  return EstimateFromSweep(sample, RunSweep(sample, dataset, options, cache), minerals, options,
                           cache);
}

namespace {

// The minerals of `all` that enter the statistics: not one that fixes a component, nor one
// whose components the sample lacks (each said in a warning). Their names go to e.used.
std::vector<int> StatisticsSet(const engine::Sample& sample, const std::vector<int>& all,
                               Estimate& e) {
  const engine::Dataset& dataset = *e.dataset;
  const Sweep& s = e.sweep;
  std::vector<int> set;
  for (std::size_t i = 0; i < all.size(); ++i) {
    const auto fixing = std::find_if(s.fixes.begin(), s.fixes.end(),
                                     [&](const ResolvedFix& f) { return f.mineral == all[i]; });
    if (fixing != s.fixes.end()) {
      e.warnings.push_back(e.minerals[i] + " left out of the statistics: it fixes " + fixing->key +
                           ", so its SI is zero by construction");
      continue;
    }
    std::string missing;
    for (int c : ComponentsOf(dataset, all[i])) {
      const bool fixed = std::any_of(s.fixes.begin(), s.fixes.end(),
                                     [&](const ResolvedFix& f) { return f.component == c; });
      if (fixed || !Absent(sample, c)) continue;
      missing += (missing.empty() ? "" : ", ") + std::string(engine::kComponentKeys[c]);
    }
    if (missing.empty()) {
      set.push_back(all[i]);
      e.used.push_back(e.minerals[i]);
    } else {
      e.warnings.push_back(e.minerals[i] + " left out of the statistics: the sample has no " +
                           missing + " (--fix " + missing.substr(0, missing.find(',')) +
                           "=MINERAL finds it by equilibrium with a mineral)");
    }
  }
  return set;
}

// The auto set drops the minerals whose index stays far from zero over the whole sweep.
void DropFarFromZero(std::vector<int>& set, Estimate& e) {
  const Sweep& s = e.sweep;
  std::vector<int> kept;
  std::vector<std::string> kept_names;
  for (std::size_t k = 0; k < set.size(); ++k) {
    double closest = std::numeric_limits<double>::infinity();
    double where = 0.0;
    for (const SweepPoint& p : s.points) {
      if (!p.ok()) continue;
      const double si = p.si[static_cast<std::size_t>(set[k] - 1)];
      if (std::abs(si) < std::abs(closest)) {
        closest = si;
        where = p.temperature;
      }
    }
    if (std::isfinite(closest) && std::abs(closest) > kAutoFarFromZero) {
      e.warnings.push_back("auto set: " + e.used[k] + " dropped, its SI stays beyond ±" +
                           Fixed(kAutoFarFromZero, 1) + " over the range (closest " +
                           Fixed(closest, 2) + " at " + Fixed(where, 0) + " °C)");
      continue;
    }
    kept.push_back(set[k]);
    kept_names.push_back(e.used[k]);
  }
  set = std::move(kept);
  e.used = std::move(kept_names);
}

// What the sweep's range and its failed or stalled temperatures mean for the estimate.
void WarnOfSweep(Estimate& e) {
  const Sweep& s = e.sweep;
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
}

// Zero crossings of each mineral of the set between neighbouring evaluated points.
void FindCrossings(const std::vector<int>& all, const std::vector<int>& set, Estimate& e) {
  const Sweep& s = e.sweep;
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
}

// Each criterion at its minimum over the set's curve; one on the edge of the range is said.
void MinimiseCriteria(SetCurve& curve, Estimate& e) {
  for (geothermometry::Criterion c : kCriteria) {
    TemperatureEstimate& estimate = Slot(e, c);
    estimate = Minimise(e.curves, c, curve);
    if (estimate.on_edge) {
      e.warnings.push_back(std::string("the minimum of ") + CriterionTitle(c) +
                           " lies on the edge of the range, at " + Fixed(*estimate.celsius, 0) +
                           " °C: the equilibrium temperature may lie beyond it");
    }
  }
}

// Spycher et al. (2014) trust a clustering only where several minerals reach equilibrium.
void WarnIfWeaklyConstrained(Estimate& e) {
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
}

Estimate EstimateOf(const engine::Sample& sample, Sweep sweep,
                    const std::vector<std::string>& minerals, const SweepOptions& options,
                    engine::ConditionsCache& cache, bool refine) {
  Estimate e;
  e.dataset = sweep.dataset;
  e.scheme = sweep.scheme;
  e.normalized = options.normalize;
  const engine::Dataset& dataset = *sweep.dataset;
  const MineralSet resolved =
      ResolveMinerals(dataset, minerals.empty() ? DefaultMinerals(dataset) : minerals);
  e.minerals = resolved.names;
  const std::vector<int>& all = resolved.indices;
  e.sweep = std::move(sweep);
  const Sweep& s = e.sweep;
  for (const std::string& name : resolved.absent) {
    e.warnings.push_back(name + " left out of the set: " + std::string(dataset.title) +
                         " does not have it");
  }

  std::vector<int> set = StatisticsSet(sample, all, e);
  if (IsAutoSet(minerals) && s.ok()) DropFarFromZero(set, e);
  // Each index over the moles of its reaction when normalised (Pang & Reed 1998), so that a
  // 26-mole clinochlore weighs no more than quartz.
  std::vector<double> divisor;
  for (int m : set) divisor.push_back(options.normalize ? dataset.ReactionMoles(m) : 1.0);
  auto set_si = [&](const SweepPoint& p) {
    std::vector<double> si;
    for (std::size_t k = 0; k < set.size(); ++k) {
      si.push_back(p.si[static_cast<std::size_t>(set[k] - 1)] / divisor[k]);
    }
    return si;
  };
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

  WarnOfSweep(e);
  FindCrossings(all, set, e);

  for (const SweepPoint& p : s.points) {
    if (p.ok()) e.curves.push_back(*Statistics(p.temperature, set_si(p)));
  }
  std::string refinement_error;
  const SetSi si_at = !refine ? SetSi() : [&](double t) -> std::optional<std::vector<double>> {
    const SweepPoint p = EvaluatePoint(sample, s, t, options, cache);
    if (!p.ok()) {
      if (refinement_error.empty()) refinement_error = p.error;
      return std::nullopt;
    }
    return set_si(p);
  };
  SetCurve curve(e.curves, si_at);
  MinimiseCriteria(curve, e);
  if (!refinement_error.empty()) {
    e.warnings.push_back("a refinement between grid points failed, the grid's value stands: " +
                         refinement_error);
  }

  WarnIfWeaklyConstrained(e);
  return e;
}

// The set's least sum of squared indices over the temperature: n RMS^2 at the grid's RMS
// minimum, lowered to the vertex of the parabola through its neighbours so that it varies
// smoothly with the unknowns. nullopt where nothing could be evaluated.
struct Misfit {
  double squares = 0.0;
  int count = 0;
};
std::optional<Misfit> LeastSquares(const std::vector<SetStatistics>& curves) {
  if (curves.empty()) return std::nullopt;
  std::size_t b = 0;
  for (std::size_t j = 1; j < curves.size(); ++j) {
    if (curves[j].rms < curves[b].rms) b = j;
  }
  const double n = curves[b].count;
  double least = n * curves[b].rms * curves[b].rms;
  if (b > 0 && b + 1 < curves.size()) {
    const double x0 = curves[b - 1].temperature, x1 = curves[b].temperature,
                 x2 = curves[b + 1].temperature;
    const double y0 = n * curves[b - 1].rms * curves[b - 1].rms, y1 = least,
                 y2 = n * curves[b + 1].rms * curves[b + 1].rms;
    // The parabola's vertex value from divided differences.
    const double d1 = (y1 - y0) / (x1 - x0);
    const double d2 = ((y2 - y1) / (x2 - x1) - d1) / (x2 - x0);
    if (d2 > 0.0) {
      const double xv = 0.5 * (x0 + x1) - d1 / (2.0 * d2);
      const double yv = y0 + d1 * (xv - x0) + d2 * (xv - x0) * (xv - x1);
      if (yv >= 0.0 && yv <= least) least = yv;
    }
  }
  return Misfit{least, curves[b].count};
}

struct Unknowns {
  SweepOptions base;       // optimize_* cleared
  std::vector<int> which;  // 0: steam loss, 1: dilution
  const engine::Sample* sample;
  const engine::Dataset* dataset;
  const std::vector<std::string>* minerals;
  engine::ConditionsCache* cache;
  int count = 0;  // minerals in the statistics

  static const double* Bounds(int w) { return w == 0 ? kSteamLossBounds : kDilutionBounds; }
  SweepOptions At(const std::vector<double>& v) const {
    SweepOptions o = base;
    for (std::size_t i = 0; i < which.size(); ++i)
      (which[i] == 0 ? o.steam_loss : o.dilution) = v[i];
    return o;
  }
  // The misfit at `v`, clamped into the bounds; +inf where the sweep fails.
  double Squares(std::vector<double> v) {
    for (std::size_t i = 0; i < which.size(); ++i) {
      v[i] = std::clamp(v[i], Bounds(which[i])[0], Bounds(which[i])[1]);
    }
    const SweepOptions o = At(v);
    Sweep sweep = RunSweep(*sample, *dataset, o, *cache);
    if (!sweep.ok()) return std::numeric_limits<double>::infinity();
    const Estimate e = EstimateOf(*sample, std::move(sweep), *minerals, o, *cache, false);
    const auto m = LeastSquares(e.curves);
    if (!m) return std::numeric_limits<double>::infinity();
    count = m->count;
    return m->squares;
  }
};

double UnknownSquares(double x, void* params) {
  auto* u = static_cast<Unknowns*>(params);
  return u->Squares({x});
}

double SimplexSquares(const gsl_vector* x, void* params) {
  auto* u = static_cast<Unknowns*>(params);
  std::vector<double> v(x->size);
  double outside = 0.0;
  for (std::size_t i = 0; i < v.size(); ++i) {
    v[i] = gsl_vector_get(x, i);
    const double* b = Unknowns::Bounds(u->which[i]);
    const double over = std::max(b[0] - v[i], v[i] - b[1]);
    if (over > 0.0) outside += over;
  }
  // Outside the bounds the misfit at the nearest bound, raised so that the simplex turns back.
  return u->Squares(v) * (1.0 + 100.0 * outside) + 100.0 * outside;
}

// One unknown: the best of six starts over its bounds, then Brent's method around it, or golden
// sections towards the inside when the best start is a bound.
void SearchOne(Unknowns& u, std::vector<double>& best, double& best_value) {
  const double* b = Unknowns::Bounds(u.which[0]);
  constexpr int kStarts = 6;
  std::vector<double> x(kStarts), f(kStarts);
  std::size_t k = 0;
  for (int i = 0; i < kStarts; ++i) {
    x[i] = b[0] + (b[1] - b[0]) * i / (kStarts - 1);
    f[i] = u.Squares({x[i]});
    if (f[i] < f[k]) k = static_cast<std::size_t>(i);
  }
  best = {x[k]};
  best_value = f[k];
  if (k > 0 && k + 1 < x.size() && std::isfinite(f[k])) {
    gsl_function fn{&UnknownSquares, &u};
    gsl_min_fminimizer* m = gsl_min_fminimizer_alloc(gsl_min_fminimizer_brent);
    if (m != nullptr && gsl_min_fminimizer_set_with_values(m, &fn, x[k], f[k], x[k - 1], f[k - 1],
                                                           x[k + 1], f[k + 1]) == GSL_SUCCESS) {
      for (int i = 0; i < 60; ++i) {
        if (gsl_min_fminimizer_iterate(m) != GSL_SUCCESS) break;
        if (gsl_min_test_interval(gsl_min_fminimizer_x_lower(m), gsl_min_fminimizer_x_upper(m),
                                  1e-3 * (b[1] - b[0]), 0.0) == GSL_SUCCESS)
          break;
      }
      best = {gsl_min_fminimizer_x_minimum(m)};
      best_value = gsl_min_fminimizer_f_minimum(m);
    }
    if (m != nullptr) gsl_min_fminimizer_free(m);
  } else if (std::isfinite(f[k])) {
    // The best start is a bound: golden sections between it and its neighbour show whether
    // the minimum lies inside.
    const double inner = x[k == 0 ? 1 : k - 1];
    double lo = std::min(x[k], inner), hi = std::max(x[k], inner);
    for (int i = 0; i < 20 && hi - lo > 1e-3 * (b[1] - b[0]); ++i) {
      const double c = lo + 0.381966 * (hi - lo), d = hi - 0.381966 * (hi - lo);
      if (u.Squares({c}) < u.Squares({d}))
        hi = d;
      else
        lo = c;
    }
    const double mid = 0.5 * (lo + hi);
    const double f_mid = u.Squares({mid});
    if (f_mid < best_value) {
      best = {mid};
      best_value = f_mid;
    }
  }
}

// Two unknowns: the best of a 4 x 4 grid of starts, then the simplex from there.
void SearchTwo(Unknowns& u, std::vector<double>& best, double& best_value) {
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      std::vector<double> v(2);
      for (std::size_t d = 0; d < 2; ++d) {
        const double* b = Unknowns::Bounds(u.which[d]);
        v[d] = b[0] + (b[1] - b[0]) * (d == 0 ? i : j) / 3.0;
      }
      const double f = u.Squares(v);
      if (f < best_value) {
        best_value = f;
        best = v;
      }
    }
  }
  gsl_multimin_function fn{&SimplexSquares, 2, &u};
  gsl_vector* x = gsl_vector_alloc(2);
  gsl_vector* step = gsl_vector_alloc(2);
  for (std::size_t d = 0; d < 2; ++d) {
    const double* b = Unknowns::Bounds(u.which[d]);
    gsl_vector_set(x, d, best[d]);
    gsl_vector_set(step, d, (b[1] - b[0]) / 8.0);
  }
  gsl_multimin_fminimizer* m = gsl_multimin_fminimizer_alloc(gsl_multimin_fminimizer_nmsimplex2, 2);
  if (m != nullptr && std::isfinite(best_value) &&
      gsl_multimin_fminimizer_set(m, &fn, x, step) == GSL_SUCCESS) {
    for (int i = 0; i < 100; ++i) {
      if (gsl_multimin_fminimizer_iterate(m) != GSL_SUCCESS) break;
      if (gsl_multimin_test_size(gsl_multimin_fminimizer_size(m), 1e-3) == GSL_SUCCESS) break;
    }
    if (m->fval < best_value) {
      best_value = m->fval;
      for (std::size_t d = 0; d < 2; ++d) {
        const double* b = Unknowns::Bounds(u.which[d]);
        best[d] = std::clamp(gsl_vector_get(m->x, d), b[0], b[1]);
      }
    }
  }
  if (m != nullptr) gsl_multimin_fminimizer_free(m);
  gsl_vector_free(x);
  gsl_vector_free(step);
}

// The diagonal of the inverse of the misfit's Hessian at `best`, by central differences; NaN
// where it does not pin an unknown down (a step would leave the bounds, or the curvature is not
// positive).
std::vector<double> InverseHessianDiagonal(Unknowns& u, const std::vector<double>& best,
                                           double best_value) {
  const std::size_t dims = best.size();
  std::vector<double> h(dims), hess(dims * dims, 0.0);
  for (std::size_t d = 0; d < dims; ++d) {
    const double* b = Unknowns::Bounds(u.which[d]);
    h[d] = 0.02 * (b[1] - b[0]);
  }
  auto shifted = [&](std::size_t a, double da, std::size_t c, double dc) {
    std::vector<double> v = best;
    v[a] += da;
    v[c] += dc;
    return u.Squares(v);
  };
  bool inside = true;
  for (std::size_t d = 0; d < dims; ++d) {
    const double* b = Unknowns::Bounds(u.which[d]);
    inside = inside && best[d] - h[d] >= b[0] && best[d] + h[d] <= b[1];
  }
  if (inside) {
    for (std::size_t a = 0; a < dims; ++a) {
      hess[a * dims + a] =
          (shifted(a, h[a], a, 0.0) - 2.0 * best_value + shifted(a, -h[a], a, 0.0)) / (h[a] * h[a]);
      for (std::size_t c = a + 1; c < dims; ++c) {
        const double mixed = (shifted(a, h[a], c, h[c]) - shifted(a, h[a], c, -h[c]) -
                              shifted(a, -h[a], c, h[c]) + shifted(a, -h[a], c, -h[c])) /
                             (4.0 * h[a] * h[c]);
        hess[a * dims + c] = hess[c * dims + a] = mixed;
      }
    }
  }
  std::vector<double> inverse_diagonal(dims, std::numeric_limits<double>::quiet_NaN());
  if (inside && dims == 1 && hess[0] > 0.0) inverse_diagonal[0] = 1.0 / hess[0];
  if (inside && dims == 2) {
    const double det = hess[0] * hess[3] - hess[1] * hess[2];
    if (det > 0.0 && hess[0] > 0.0) {
      inverse_diagonal[0] = hess[3] / det;
      inverse_diagonal[1] = hess[0] / det;
    }
  }
  return inverse_diagonal;
}

// The unknowns found, with their spread from `variance` and the inverse Hessian, and a warning
// for one on a bound of its search or not pinned down; `n` minerals entered the statistics,
// `p` the unknowns and the temperature.
void AddOptimized(Estimate& e, const Unknowns& u, const std::vector<double>& best, double variance,
                  const std::vector<double>& inverse_diagonal, int n, double p) {
  const std::size_t dims = best.size();
  for (std::size_t d = 0; d < dims; ++d) {
    const double* b = Unknowns::Bounds(u.which[d]);
    const std::string key = u.which[d] == 0 ? "steam_loss" : "dilution";
    const std::string title = u.which[d] == 0 ? "the steam loss" : "the dilution";
    OptimizedUnknown o;
    o.value = best[d];
    o.lower = b[0];
    o.upper = b[1];
    o.on_bound = best[d] - b[0] <= 2e-3 * (b[1] - b[0]) || b[1] - best[d] <= 2e-3 * (b[1] - b[0]);
    const double sd = std::sqrt(2.0 * variance * inverse_diagonal[d]);
    if (std::isfinite(sd)) o.sd = sd;
    if (o.on_bound) {
      e.warnings.push_back("the optimum of " + title + " lies on a bound of its search, " +
                           Fixed(o.value, 3) + " (" + Fixed(b[0], 2) + " to " + Fixed(b[1], 2) +
                           "): the fluid may lie beyond it, or the set cannot tell");
    } else if (!o.sd) {
      e.warnings.push_back("the curvature of the misfit does not pin down " + title +
                           (n <= p ? " (too few minerals in the statistics)" : ""));
    }
    e.optimized[key] = o;
  }
}

Estimate Optimize(const engine::Sample& sample, const engine::Dataset& dataset,
                  const std::vector<std::string>& minerals, const SweepOptions& options,
                  engine::ConditionsCache& cache) {
  QuietGsl();
  Unknowns u;
  u.base = options;
  u.base.optimize_steam_loss = u.base.optimize_dilution = false;
  if (options.optimize_steam_loss) u.which.push_back(0);
  if (options.optimize_dilution) u.which.push_back(1);
  u.sample = &sample;
  u.dataset = &dataset;
  u.minerals = &minerals;
  u.cache = &cache;
  const std::size_t dims = u.which.size();
  std::vector<double> best(dims);
  double best_value = std::numeric_limits<double>::infinity();

  if (dims == 1) {
    SearchOne(u, best, best_value);
  } else {
    SearchTwo(u, best, best_value);
  }

  const SweepOptions found = u.At(best);
  Estimate e =
      EstimateOf(sample, RunSweep(sample, dataset, found, cache), minerals, found, cache, true);
  if (!std::isfinite(best_value)) {
    e.warnings.push_back(
        "the steam loss and dilution could not be optimised: no trial value "
        "could be evaluated; the estimate takes them as given");
    return e;
  }

  // The spread from the curvature: S(v) ~ S_min + (v - v*)' H (v - v*) / 2, so the covariance
  // is 2 s^2 H^-1 with s^2 = S_min / (n - p), p the unknowns and the temperature.
  const int n = u.count;
  const double p = static_cast<double>(dims) + 1.0;
  const std::vector<double> inverse_diagonal = InverseHessianDiagonal(u, best, best_value);
  const double variance = n > p ? best_value / (n - p) : std::numeric_limits<double>::quiet_NaN();
  AddOptimized(e, u, best, variance, inverse_diagonal, n, p);
  return e;
}

}  // namespace

Estimate EstimateFromSweep(const engine::Sample& sample, Sweep sweep,
                           const std::vector<std::string>& minerals, const SweepOptions& options,
                           engine::ConditionsCache& cache) {
  return EstimateOf(sample, std::move(sweep), minerals, options, cache, true);
}

std::vector<std::string> CompareInterpolations(const engine::Dataset& dataset,
                                               const std::vector<std::string>& minerals,
                                               double from, double to, const engine::TableScheme& a,
                                               const engine::TableScheme& b, double tolerance) {
  const MineralSet resolved =
      ResolveMinerals(dataset, minerals.empty() ? DefaultMinerals(dataset) : minerals);
  const std::vector<std::string>& names = resolved.names;
  const std::vector<int>& set = resolved.indices;
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
    ResolveFixes(*d, options.sweep.fix);
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
