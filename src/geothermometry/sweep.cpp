#include "geothermometry/sweep.h"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_roots.h>
#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

#include "engine/ph_trail.h"
#include "io/text.h"

namespace geofluid::geothermometry {

namespace {

std::string Celsius(double t) { return io::General(t); }

engine::Hooks HooksOf(engine::Search search, std::optional<double> ph_hint = std::nullopt,
                      double ph_slope = 0.0) {
  engine::Hooks hooks;
  hooks.search = search;
  hooks.ph_hint = ph_hint;
  hooks.ph_slope = ph_slope;
  return hooks;
}

void Fill(SweepPoint& point, const engine::Evaluation& e) {
  const int n = e.dataset->MineralCount();
  point.ph = e.ph;
  point.steam_fraction = e.steam_fraction;
  point.toth = e.toth;
  point.non_convergences = e.non_convergences;
  point.ph_slope = e.ph_slope;
  point.si.assign(e.saturation_index.begin() + 1, e.saturation_index.begin() + 1 + n);
}

// The second mode at `at` from the TOTH measured on the sample as analysed, with what the
// sampling hid (SweepOptions::steam_loss, dilution) reversed; the window's exact path without.
engine::Evaluation SecondMode(const engine::Sample& sample, double toth, const Sweep& sweep,
                              const std::shared_ptr<const engine::Conditions>& at,
                              engine::Search search, std::optional<double> ph_hint = std::nullopt,
                              double ph_slope = 0.0) {
  if (sweep.steam_loss == 0.0 && sweep.dilution == 0.0) {
    return engine::EvaluateFromToth(sample, toth, at, sweep.steam_correction,
                                    HooksOf(search, ph_hint, ph_slope));
  }
  engine::Sample reservoir = sample;
  const double kept = 1.0 - sweep.dilution;
  for (double& c : reservoir.component) c /= kept;
  reservoir.steam_co2 /= kept;
  reservoir.steam_h2s /= kept;
  const double y =
      engine::SteamFraction(*at, sample.separation_temperature, sweep.steam_correction);
  const double y_lost = y + sweep.steam_loss * (1.0 - y);
  return engine::Evaluate(reservoir, at, y_lost, toth / kept, HooksOf(search, ph_hint, ph_slope));
}

// |SI| at which a fixing mineral counts as saturated. The pH search steps in decimals, so an
// index is not continuous in the total below about this.
constexpr double kFixTolerance = 1e-6;

std::string Molal(double v) { return io::Scientific(v, 0); }

void QuietGsl() {
  // GSL aborts the process on an error by default; here every status is checked instead.
  static std::once_flag once;
  std::call_once(once, [] { gsl_set_error_handler_off(); });
}

// Trials of one fixed total: log10 of the total in, the fixing mineral's SI out, the evaluation
// of the last trial kept. A failure is kept here and the trial returns NaN, since exceptions may
// not cross GSL's C frames.
struct Trials {
  Trials(engine::Sample& s, const ResolvedFix& f,
         const std::function<engine::Evaluation(const engine::Sample&)>& e)
      : sample(s), fix(f), evaluate(e) {}

  engine::Sample& sample;
  const ResolvedFix& fix;
  const std::function<engine::Evaluation(const engine::Sample&)>& evaluate;
  engine::Evaluation last;
  bool have_last = false;
  std::exception_ptr failure;
  // The trial nearest to saturation, in case the search stalls on a step of the pH.
  double best_x = std::numeric_limits<double>::quiet_NaN();
  double best_si = std::numeric_limits<double>::infinity();
  engine::Evaluation best;

  double Si(double x) {
    if (failure) return std::numeric_limits<double>::quiet_NaN();
    try {
      sample.component[static_cast<std::size_t>(fix.component)] = std::pow(10.0, x);
      last = evaluate(sample);
      have_last = true;
      const double si = last.saturation_index[fix.mineral];
      if (std::abs(si) < std::abs(best_si)) {
        best_x = x;
        best_si = si;
        best = last;
      }
      return si;
    } catch (...) {
      failure = std::current_exception();
      return std::numeric_limits<double>::quiet_NaN();
    }
  }
};

double TrialSi(double x, void* p) { return static_cast<Trials*>(p)->Si(x); }

// The SI rises with the total by about its moles in the reaction per decade, while the
// component is a trace: the secant's first slope.
void TrialSiSlope(double x, void* p, double* f, double* df) {
  auto* t = static_cast<Trials*>(p);
  *f = t->Si(x);
  *df = t->fix.slope;
}
double TrialSlope(double x, void* p) {
  double f, df;
  TrialSiSlope(x, p, &f, &df);
  return df;
}

// The total of one fixed component that saturates its mineral, the others held: the secant
// from the current total with the stoichiometric slope, which lands in two or three trials
// while the component is a trace; else Brent's method over the whole bracket. The sample keeps
// the total found, `trials.best` its evaluation.
void SolveFix(Trials& trials, double temperature) {
  QuietGsl();
  const double lo = std::log10(kFixLowest);
  const double hi = std::log10(kFixHighest);
  double& total = trials.sample.component[static_cast<std::size_t>(trials.fix.component)];
  double x = total > 0.0 ? std::clamp(std::log10(total), lo, hi) : -6.0;
  auto rethrow = [&] {
    if (trials.failure) std::rethrow_exception(trials.failure);
  };
  auto done = [&] { return std::abs(trials.best_si) <= kFixTolerance; };

  gsl_function_fdf fdf{&TrialSi, &TrialSlope, &TrialSiSlope, &trials};
  gsl_root_fdfsolver* secant = gsl_root_fdfsolver_alloc(gsl_root_fdfsolver_secant);
  if (secant != nullptr && gsl_root_fdfsolver_set(secant, &fdf, x) == GSL_SUCCESS) {
    for (int i = 0; i < 12 && !done() && !trials.failure; ++i) {
      const double before = gsl_root_fdfsolver_root(secant);
      if (gsl_root_fdfsolver_iterate(secant) != GSL_SUCCESS) break;
      const double now = gsl_root_fdfsolver_root(secant);
      if (now < lo || now > hi || gsl_root_test_delta(now, before, 1e-10, 0.0) == GSL_SUCCESS) {
        break;
      }
    }
  }
  if (secant != nullptr) gsl_root_fdfsolver_free(secant);
  // A secant step far out may fail to speciate: the bracket then decides.
  trials.failure = nullptr;

  if (!done()) {
    const std::string bracket = "no total of " + trials.fix.key + " between " + Molal(kFixLowest) +
                                " and " + Molal(kFixHighest) + " mol/kg brings " + trials.fix.name +
                                " to SI = 0 at " + Celsius(temperature) + " °C";
    const double f_lo = TrialSi(lo, &trials);
    const double f_hi = TrialSi(hi, &trials);
    if (trials.failure) {
      try {
        rethrow();
      } catch (const std::exception& e) {
        throw std::runtime_error(bracket + ": " + e.what());
      }
    }
    if ((f_lo < 0.0) == (f_hi < 0.0)) {
      char range[96];
      std::snprintf(range, sizeof range, " (its SI runs from %.2f to %.2f)", f_lo, f_hi);
      throw std::runtime_error(bracket + range);
    }
    gsl_function f{&TrialSi, &trials};
    gsl_root_fsolver* brent = gsl_root_fsolver_alloc(gsl_root_fsolver_brent);
    if (brent != nullptr && gsl_root_fsolver_set(brent, &f, lo, hi) == GSL_SUCCESS) {
      for (int i = 0; i < 100 && !done() && !trials.failure; ++i) {
        if (gsl_root_fsolver_iterate(brent) != GSL_SUCCESS) break;
        if (gsl_root_test_interval(gsl_root_fsolver_x_lower(brent), gsl_root_fsolver_x_upper(brent),
                                   1e-10, 0.0) == GSL_SUCCESS) {
          break;
        }
      }
    }
    if (brent != nullptr) gsl_root_fsolver_free(brent);
    rethrow();
  }
  // A step of the pH search can leave a small jump at the root: the trial nearest to it stands,
  // unless even that is far from saturation.
  if (!(std::abs(trials.best_si) <= 1e-3)) {
    char text[64];
    std::snprintf(text, sizeof text, " (closest SI %.2g)", trials.best_si);
    throw std::runtime_error("the total of " + trials.fix.key + " saturating " + trials.fix.name +
                             " at " + Celsius(temperature) + " °C was not found" + text);
  }
  total = std::pow(10.0, trials.best_x);
}

// The fixed totals solved at one temperature, each in turn until every fixing mineral is
// saturated (they couple where one mineral holds two fixed components); `evaluate` is the mode
// the totals are solved in.
engine::Evaluation SolveFixes(
    const engine::Sample& sample, std::span<const ResolvedFix> fixes,
    const std::function<engine::Evaluation(const engine::Sample&)>& evaluate, double temperature,
    std::map<std::string, double>& fixed) {
  engine::Sample s = sample;
  engine::Evaluation result;
  for (int round = 0; round < 10; ++round) {
    for (const ResolvedFix& fix : fixes) {
      Trials trials(s, fix, evaluate);
      SolveFix(trials, temperature);
      result = std::move(trials.best);
    }
    bool saturated = true;
    for (const ResolvedFix& fix : fixes) {
      saturated = saturated && std::abs(result.saturation_index[fix.mineral]) <= 1e-3;
    }
    if (fixes.size() == 1 || saturated) {
      for (const ResolvedFix& fix : fixes) {
        fixed[fix.key] = s.component[static_cast<std::size_t>(fix.component)];
      }
      return result;
    }
  }
  throw std::runtime_error("the fixed totals did not settle together in 10 rounds at " +
                           Celsius(temperature) + " °C");
}

// The second mode at one temperature; any failure is kept in the point, with the temperature.
SweepPoint At(const engine::Sample& sample, const Sweep& sweep,
              const std::shared_ptr<const engine::Conditions>& conditions, engine::Search search,
              std::optional<double> ph_hint = std::nullopt, double ph_slope = 0.0) {
  SweepPoint point;
  point.temperature = conditions->temperature;
  try {
    if (sweep.fixes.empty()) {
      Fill(point,
           SecondMode(sample, sweep.measured_toth, sweep, conditions, search, ph_hint, ph_slope));
    } else {
      Fill(point, EvaluateFixed(sample, sweep, conditions, search, point.fixed));
    }
  } catch (const std::exception& e) {
    point.si.clear();
    point.fixed.clear();
    point.error = "at " + Celsius(point.temperature) + " °C: " + e.what();
  }
  return point;
}

}  // namespace

engine::Evaluation EvaluateFixed(const engine::Sample& sample, const Sweep& sweep,
                                 const std::shared_ptr<const engine::Conditions>& conditions,
                                 engine::Search search, std::map<std::string, double>& fixed) {
  const std::function<engine::Evaluation(const engine::Sample&)> evaluate =
      [&](const engine::Sample& trial) {
        // The trial total enters the measured speciation too: TOTH is the fluid's, Al and all.
        const double toth = engine::EvaluateMeasured(trial, sweep.at_ph, HooksOf(search)).toth;
        return SecondMode(trial, toth, sweep, conditions, search);
      };
  return SolveFixes(sample, sweep.fixes, evaluate, conditions->temperature, fixed);
}

engine::Evaluation EvaluateMeasuredFixed(const engine::Sample& sample, const Sweep& sweep,
                                         engine::Search search,
                                         std::map<std::string, double>& fixed) {
  const std::function<engine::Evaluation(const engine::Sample&)> evaluate =
      [&](const engine::Sample& trial) {
        return engine::EvaluateMeasured(trial, sweep.at_ph, HooksOf(search));
      };
  return SolveFixes(sample, sweep.fixes, evaluate, sweep.at_ph->temperature, fixed);
}

FixedComponent ParseFix(std::string_view text) {
  auto trim = [](std::string_view t) {
    const auto first = t.find_first_not_of(" \t");
    if (first == std::string_view::npos) return std::string();
    return std::string(t.substr(first, t.find_last_not_of(" \t") - first + 1));
  };
  const auto eq = text.find('=');
  FixedComponent f;
  if (eq != std::string_view::npos) {
    f.component = trim(text.substr(0, eq));
    f.mineral = trim(text.substr(eq + 1));
  }
  if (f.component.empty() || f.mineral.empty()) {
    throw std::invalid_argument("--fix \"" + std::string(text) +
                                "\": write COMPONENT=MINERAL, e.g. --fix Al=MICROCLINE");
  }
  return f;
}

std::vector<ResolvedFix> ResolveFixes(const engine::Dataset& dataset,
                                      const std::vector<FixedComponent>& fixes) {
  std::vector<ResolvedFix> resolved;
  for (const FixedComponent& f : fixes) {
    const std::string what = "--fix " + f.component + "=" + f.mineral;
    const auto c = engine::ComponentIndex(f.component);
    if (!c) {
      std::string keys;
      for (auto k : engine::kComponentKeys) keys += (keys.empty() ? "" : ", ") + std::string(k);
      throw std::invalid_argument(what + ": \"" + f.component +
                                  "\" is not a component; the components are " + keys);
    }
    const std::optional<int> found = dataset.MineralIndexOf(f.mineral);
    if (!found) {
      throw std::invalid_argument(what + ": " + std::string(dataset.title) + " has no mineral \"" +
                                  f.mineral + "\"");
    }
    const int m = *found;
    ResolvedFix r;
    r.component = *c;
    r.mineral = m;
    r.moles = dataset.ComponentMoles(m, *c);
    // SI = ln(IAP/K) / divisor: a decade of a trace total moves it by moles ln 10 / divisor.
    r.slope = r.moles * std::log(10.0) / dataset.si_divisor;
    r.key = f.component;
    r.name = std::string(dataset.MineralName(m));
    if (r.moles <= 0.0) {
      throw std::invalid_argument(what + ": " + r.name + " holds no " + f.component +
                                  ", so it cannot fix it");
    }
    for (const ResolvedFix& other : resolved) {
      if (other.component == r.component) {
        throw std::invalid_argument(what + ": " + f.component + " is fixed twice");
      }
      if (other.mineral == r.mineral) {
        throw std::invalid_argument(what + ": " + r.name + " already fixes " + other.key +
                                    "; one mineral fixes one component");
      }
    }
    resolved.push_back(std::move(r));
  }
  return resolved;
}

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
  if (from < to && step > to - from) {
    throw std::invalid_argument("--step (" + Celsius(step) + ") is larger than the range --from " +
                                Celsius(from) + " --to " + Celsius(to) +
                                ": the sweep would have one temperature");
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

bool SortTemperatures(std::vector<double>& temperatures) {
  for (const double t : temperatures)
    if (!std::isfinite(t))
      throw std::invalid_argument("the temperature " + Celsius(t) + " is not a finite number");
  std::vector<double> sorted = temperatures;
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  if (sorted == temperatures) return false;
  temperatures = std::move(sorted);
  return true;
}

std::string SortedTemperaturesNote(std::size_t count) {
  return "the temperatures were not given in ascending order, each once: they are taken "
         "sorted, " +
         std::to_string(count) + " temperature" + (count == 1 ? "" : "s");
}

namespace {

// The sweep's settings, checked; its measured TOTH is still to find.
Sweep SweepOf(const engine::Dataset& dataset, const SweepOptions& options) {
  if (options.scheme == nullptr) throw std::invalid_argument("RunSweep: no interpolation scheme");
  Sweep sweep;
  sweep.dataset = &dataset;
  sweep.scheme = options.scheme;
  sweep.steam_correction = options.steam_correction;
  sweep.fixes = ResolveFixes(dataset, options.fix);
  if (!(options.steam_loss >= kSteamLossBounds[0] && options.steam_loss <= kSteamLossBounds[1])) {
    throw std::invalid_argument("the steam loss " + Celsius(options.steam_loss) + " lies outside " +
                                Celsius(kSteamLossBounds[0]) + " to " +
                                Celsius(kSteamLossBounds[1]));
  }
  if (!(options.dilution >= kDilutionBounds[0] && options.dilution <= kDilutionBounds[1])) {
    throw std::invalid_argument("the dilution " + Celsius(options.dilution) + " lies outside " +
                                Celsius(kDilutionBounds[0]) + " to " + Celsius(kDilutionBounds[1]));
  }
  sweep.steam_loss = options.steam_loss;
  sweep.dilution = options.dilution;
  return sweep;
}

}  // namespace

Sweep RunSweep(const engine::Sample& sample, const engine::Dataset& dataset,
               const SweepOptions& options, engine::ConditionsCache& cache) {
  Sweep sweep = SweepOf(dataset, options);
  try {
    // The first mode at the pH measurement temperature, as the window's measured run.
    sweep.at_ph = cache.Get(dataset, sample.ph_temperature, *options.scheme);
    sweep.measured_toth =
        engine::EvaluateMeasured(sample, sweep.at_ph, HooksOf(options.search)).toth;
  } catch (const std::exception& e) {
    sweep.error = "the pH at its measurement temperature " + Celsius(sample.ph_temperature) +
                  " °C: " + e.what();
    return sweep;
  }

  const std::vector<double>& t = options.temperatures;
  sweep.points.resize(t.size());
  // Stopping leaves the sweep failed rather than throwing: an optimisation calls the sweep from
  // inside a GSL minimiser, through which no exception may pass.
  const auto cancelled = [&] {
    if (options.cancel == nullptr || !options.cancel->load(std::memory_order_relaxed)) return false;
    sweep.error = "interrupted";
    return true;
  };
  auto one = [&](std::size_t i, std::optional<double> ph_hint, double ph_slope) {
    std::shared_ptr<const engine::Conditions> conditions;
    try {
      conditions = cache.Get(dataset, t[i], *options.scheme);
    } catch (const std::exception& e) {
      sweep.points[i].temperature = t[i];
      sweep.points[i].error = "at " + Celsius(t[i]) + " °C: " + e.what();
      return;
    }
    sweep.points[i] = At(sample, sweep, conditions, options.search, ph_hint, ph_slope);
  };
  const auto guide = [&](std::size_t i) {
    return i < options.ph_guide.size() ? options.ph_guide[i]
                                       : std::numeric_limits<double>::quiet_NaN();
  };
  // Each temperature's search starts from the pH found at the ones before; the first from the
  // guide or the caller's hint. Only the count of speciations depends on where a run of
  // temperatures begins, never a pH.
  const auto run = [&](std::size_t begin, std::size_t end) {
    engine::PhTrail trail;
    std::size_t last = 0;
    bool any = false;
    for (std::size_t i = begin; i < end; ++i) {
      if (options.cancel != nullptr && options.cancel->load(std::memory_order_relaxed)) return;
      std::optional<double> hint;
      if (!any) {
        hint = std::isfinite(guide(i)) ? std::optional(guide(i))
               : i == 0                ? options.ph_hint
                                       : std::nullopt;
      } else if (std::isfinite(guide(last)) && std::isfinite(guide(i))) {
        hint = trail.Hint(t[i], guide(last), guide(i));
      } else {
        hint = trail.Hint(t[i]);
      }
      one(i, hint, trail.Slope(t[i]));
      if (sweep.points[i].ok()) {
        trail.Add(t[i], sweep.points[i].ph, sweep.points[i].ph_slope);
        last = i;
        any = true;
      }
    }
  };
  if (options.parallel) {
    tbb::parallel_for(tbb::blocked_range<std::size_t>(0, t.size()),
                      [&](const tbb::blocked_range<std::size_t>& r) { run(r.begin(), r.end()); });
  } else {
    run(0, t.size());
  }
  cancelled();
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
  // The search starts from the pH of the three grid points nearest, on the parabola through
  // them (the pH bends smoothly with temperature: a hundred times closer than the line between
  // two 5 °C apart, and each closer start saves a secant step), or of the nearest one; the
  // slope of its first step is that of the nearest.
  std::vector<const SweepPoint*> near;
  for (const SweepPoint& p : sweep.points) {
    if (p.ok()) near.push_back(&p);
  }
  const auto distance = [&](const SweepPoint* p) { return std::abs(p->temperature - temperature); };
  const std::size_t kept = std::min<std::size_t>(3, near.size());
  std::partial_sort(
      near.begin(), near.begin() + kept, near.end(),
      [&](const SweepPoint* a, const SweepPoint* b) { return distance(a) < distance(b); });
  near.resize(kept);
  std::optional<double> ph_hint;
  const double ph_slope = near.empty() ? 0.0 : near[0]->ph_slope;
  if (!near.empty()) ph_hint = near[0]->ph;
  if (near.size() == 3) {
    // Lagrange's form; three distinct grid temperatures.
    double value = 0.0;
    for (std::size_t i = 0; i < 3; ++i) {
      double weight = 1.0;
      for (std::size_t j = 0; j < 3; ++j) {
        if (j != i) {
          weight *=
              (temperature - near[j]->temperature) / (near[i]->temperature - near[j]->temperature);
        }
      }
      value += weight * near[i]->ph;
    }
    if (std::isfinite(value) && std::abs(value - near[0]->ph) < 0.5) ph_hint = value;
  }
  return At(sample, sweep, conditions, options.search, ph_hint, ph_slope);
}

}  // namespace geofluid::geothermometry
