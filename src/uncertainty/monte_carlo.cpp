#include <gsl/gsl_statistics_double.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <mutex>
#include <set>
#include <thread>

#include "geothermometry/estimate.h"
#include "geothermometry/solute.h"
#include "geothermometry/sweep.h"
#include "io/text.h"
#include "platform/errors.h"
#include "uncertainty/uncertainty.h"
#include "units/units.h"

namespace geofluid::uncertainty {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::size_t kFailuresShown = 3;
constexpr std::size_t kFewestForAnEstimate = 3;
// The per-draw results a run may keep at once.
constexpr std::size_t kMostKeptBytes = std::size_t{4} << 30;

std::string Celsius(double t) { return io::General(t); }

// What one evaluation of a sample (a draw or the nominal sample) gives for one dataset.
struct Outcome {
  geothermometry::Sweep sweep;
  std::optional<geothermometry::Estimate> estimate;
  std::string failure;  // the first failure, empty when every temperature was evaluated
};

// The fixed part of a run for one dataset.
struct DatasetPlan {
  const engine::Dataset* dataset = nullptr;
  std::vector<std::string> minerals;  // the estimate's set
  std::vector<int> set_indices;       // 1-based
  std::optional<double> first_ph;     // the nominal sample's at the first temperature
  std::vector<double> ph_guide;       // the nominal sample's at each temperature, NaN if none
};

struct Plan {
  const Options* options = nullptr;
  std::vector<DatasetPlan> datasets;
  engine::ConditionsCache* cache = nullptr;  // the caller's, or the run's own (see Run)

  Outcome Evaluate(const engine::Sample& sample, double temperature_offset,
                   const DatasetPlan& d) const {
    geothermometry::SweepOptions so;
    so.temperatures = options->temperatures;
    for (double& t : so.temperatures) t += temperature_offset;
    so.steam_correction = options->steam_correction;
    so.search = options->search;
    so.fix = options->fix;
    so.normalize = options->normalize;
    so.ph_hint = d.first_ph;
    so.ph_guide = d.ph_guide;
    so.cancel = options->cancel;
    // Temperatures moved by a draw are prepared for this draw only: the shared cache would
    // otherwise keep one set per draw.
    std::optional<engine::ConditionsCache> own;
    engine::ConditionsCache* c = cache;
    if (temperature_offset != 0.0) c = &own.emplace();

    so.optimize_steam_loss = options->optimize_steam_loss;
    so.optimize_dilution = options->optimize_dilution;
    const bool optimize = so.optimize_steam_loss || so.optimize_dilution;

    Outcome o;
    if (optimize) {
      // The sweep at the unknowns found is the draw's sweep.
      o.estimate = geothermometry::EstimateTemperature(sample, *d.dataset, d.minerals, so, *c);
      o.sweep = o.estimate->sweep;
    } else {
      o.sweep = geothermometry::RunSweep(sample, *d.dataset, so, *c);
    }
    if (!o.sweep.ok()) {
      o.failure = o.sweep.error;
    } else {
      for (const auto& p : o.sweep.points) {
        if (!p.ok()) {
          o.failure = p.error;
          break;
        }
        if (p.non_convergences > 0) {
          o.failure = "at " + Celsius(p.temperature) +
                      " °C a speciation stopped at its pass limit without converging";
          break;
        }
      }
    }
    if (!optimize && options->estimate && o.sweep.ok()) {
      auto sweep = o.sweep;
      o.estimate = geothermometry::EstimateFromSweep(sample, std::move(sweep), d.minerals, so, *c);
    }
    return o;
  }
};

bool PointUsable(const geothermometry::SweepPoint& p) { return p.ok() && p.non_convergences == 0; }

std::optional<double> EstimateOf(const geothermometry::Estimate& e, geothermometry::Criterion c) {
  return e.Get(c).celsius;
}

// The solute geothermometers of a sample's separated water, mg/kg.
std::vector<geothermometry::SoluteTemperature> Solute(const engine::Sample& s) {
  std::vector<units::Amount> amounts;
  for (int i = 0; i < engine::kComponentCount; ++i) {
    const units::Form* form =
        units::StandardForm(engine::kComponentKeys[static_cast<std::size_t>(i)]);
    if (form != nullptr) amounts.push_back({form, s.component[static_cast<std::size_t>(i)]});
  }
  const std::vector<double> mg =
      units::FromMolality(amounts, units::Concentration::kMgPerKgSolution);
  geothermometry::SoluteAnalysis water;
  for (std::size_t k = 0; k < amounts.size(); ++k) {
    const std::string_view key = amounts[k].form->component;
    if (key == "SiO2") water.sio2 = mg[k];
    if (key == "Na") water.na = mg[k];
    if (key == "K") water.k = mg[k];
    if (key == "Ca") water.ca = mg[k];
    if (key == "Mg") water.mg = mg[k];
  }
  return geothermometry::SoluteGeothermometers(water);
}

// The sample with one input at +-1 sigma; nullopt where that side leaves the range (a
// concentration at or below zero).
std::optional<engine::Sample> Moved(const engine::Sample& nominal, const InputErrors& errors,
                                    int input, double side, double* temperature_offset) {
  engine::Sample s = nominal;
  *temperature_offset = 0.0;
  const ErrorSpec& e = errors[input];
  const auto move = [&](double value) -> std::optional<double> {
    if (e.distribution == Distribution::kLogNormal) return value * std::pow(e.sigma, side);
    if (!IsConcentration(input)) return value + side * e.sigma;
    const double x = value * (1.0 + side * e.sigma);
    if (x <= 0.0) return std::nullopt;
    return x;
  };
  std::optional<double> v;
  if (input < engine::kComponentCount) {
    v = move(s.component[static_cast<std::size_t>(input)]);
    if (v) s.component[static_cast<std::size_t>(input)] = *v;
  } else {
    switch (static_cast<Input>(input)) {
      case Input::kSteamCo2:
        if ((v = move(s.steam_co2))) s.steam_co2 = *v;
        break;
      case Input::kSteamH2s:
        if ((v = move(s.steam_h2s))) s.steam_h2s = *v;
        break;
      case Input::kPh:
        if ((v = move(s.ph))) s.ph = *v;
        break;
      case Input::kPhTemperature:
        if ((v = move(s.ph_temperature))) s.ph_temperature = *v;
        break;
      case Input::kSeparationTemperature:
        if ((v = move(s.separation_temperature))) s.separation_temperature = *v;
        break;
      case Input::kCalculationTemperature:
        if ((v = move(0.0))) *temperature_offset = *v;
        break;
    }
  }
  if (!v) return std::nullopt;
  return s;
}

// Whether an input's error can move anything: a relative error of a zero concentration cannot.
bool Matters(const engine::Sample& s, const InputErrors& errors, int input) {
  if (errors[input].Zero()) return false;
  if (input < engine::kComponentCount) return s.component[static_cast<std::size_t>(input)] != 0.0;
  if (input == static_cast<int>(Input::kSteamCo2)) return s.steam_co2 != 0.0;
  if (input == static_cast<int>(Input::kSteamH2s)) return s.steam_h2s != 0.0;
  return true;
}

void RunParallel(int count, int threads, const std::function<void(int)>& one);

std::vector<Sensitivity> Sensitivities(const Plan& plan, const DatasetPlan& d,
                                       const engine::Sample& nominal, const InputErrors& errors,
                                       std::size_t reference) {
  std::vector<Sensitivity> list;
  const auto rms = geothermometry::Criterion::kRms;
  // Every input at -1 and +1 sigma, on the run's threads.
  std::vector<std::optional<Outcome>> outcomes(2 * kInputCount);
  RunParallel(2 * kInputCount, plan.options->threads, [&](int j) {
    ThrowIfCancelled(plan.options->cancel);
    const int input = j / 2;
    if (!Matters(nominal, errors, input)) return;
    double offset = 0.0;
    const auto moved = Moved(nominal, errors, input, j % 2 == 0 ? -1.0 : 1.0, &offset);
    if (moved) outcomes[static_cast<std::size_t>(j)] = plan.Evaluate(*moved, offset, d);
  });
  for (int input = 0; input < kInputCount; ++input) {
    if (!Matters(nominal, errors, input)) continue;
    Sensitivity s;
    s.input = std::string(InputKey(input));
    s.error = ErrorText(errors, input);
    std::optional<Outcome> side[2] = {std::move(outcomes[static_cast<std::size_t>(2 * input)]),
                                      std::move(outcomes[static_cast<std::size_t>(2 * input + 1)])};
    // One-sided where -1 sigma leaves the range: the change from the nominal value is taken.
    if (!side[0]) {
      s.note = "one-sided: -1 sigma would leave " + s.input + " at or below 0";
      side[0] = plan.Evaluate(nominal, 0.0, d);
    }
    const double divisor = s.note.empty() ? 2.0 : 1.0;
    if (plan.options->estimate && side[0]->estimate && side[1]->estimate) {
      s.estimate_minus = EstimateOf(*side[0]->estimate, rms);
      s.estimate_plus = EstimateOf(*side[1]->estimate, rms);
      if (s.estimate_minus && s.estimate_plus)
        s.estimate_effect = (*s.estimate_plus - *s.estimate_minus) / divisor;
    }
    const auto& a = side[0]->sweep;
    const auto& b = side[1]->sweep;
    if (a.ok() && b.ok() && reference < a.points.size() && PointUsable(a.points[reference]) &&
        PointUsable(b.points[reference]) && !d.set_indices.empty()) {
      double sum = 0.0;
      for (int m : d.set_indices) {
        const double h = (b.Si(reference, m) - a.Si(reference, m)) / divisor;
        sum += h * h;
      }
      s.si_effect = std::sqrt(sum / static_cast<double>(d.set_indices.size()));
    }
    if (!s.estimate_effect && !s.si_effect && s.note.empty())
      s.note = "an evaluation at -1 or +1 sigma failed";
    list.push_back(std::move(s));
  }
  // Largest first: by the estimate where both have one, else by the SI.
  const auto key = [](const Sensitivity& s) {
    return std::make_pair(s.estimate_effect ? std::abs(*s.estimate_effect) : -1.0,
                          s.si_effect ? *s.si_effect : -1.0);
  };
  double total = 0.0;
  for (const Sensitivity& s : list)
    if (s.estimate_effect) total += *s.estimate_effect * *s.estimate_effect;
  if (total > 0.0)
    for (Sensitivity& s : list)
      if (s.estimate_effect)
        s.estimate_share = 100.0 * *s.estimate_effect * *s.estimate_effect / total;
  std::stable_sort(list.begin(), list.end(),
                   [&](const Sensitivity& x, const Sensitivity& y) { return key(x) > key(y); });
  return list;
}

// What a geothermometer's key says it measures: "quartz_fournier1977" -> "Quartz".
std::string SoluteLabel(std::string_view key) {
  static constexpr std::pair<std::string_view, std::string_view> kKinds[] = {
      {"quartz_steam_loss", "Quartz, steam loss"},
      {"quartz", "Quartz"},
      {"chalcedony", "Chalcedony"},
      {"na_k_ca", "Na-K-Ca"},
      {"na_k", "Na/K"},
      {"k_mg", "K-Mg"}};
  for (const auto& [prefix, label] : kKinds)
    if (key.starts_with(prefix)) return std::string(label);
  return std::string(key);
}

void RunParallel(int draws, int threads, const std::function<void(int)>& one) {
  int n = threads > 0 ? threads : static_cast<int>(std::thread::hardware_concurrency());
  n = std::clamp(n, 1, draws);
  std::atomic<int> next{0};
  std::exception_ptr fault;
  std::mutex fault_mutex;
  auto work = [&] {
    for (int i = next++; i < draws; i = next++) {
      try {
        one(i);
      } catch (...) {
        std::lock_guard lock(fault_mutex);
        if (!fault) fault = std::current_exception();
      }
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < n; ++t) pool.emplace_back(work);
  work();
  for (auto& t : pool) t.join();
  if (fault) std::rethrow_exception(fault);
}

}  // namespace

Interval Summarize(std::vector<double>& values) {
  std::erase_if(values, [](double v) { return !std::isfinite(v); });
  Interval r;
  r.n = values.size();
  if (values.empty()) {
    r.median = r.q05 = r.q95 = kNaN;
    return r;
  }
  std::sort(values.begin(), values.end());
  r.median = gsl_stats_quantile_from_sorted_data(values.data(), 1, values.size(), 0.5);
  r.q05 = gsl_stats_quantile_from_sorted_data(values.data(), 1, values.size(), 0.05);
  r.q95 = gsl_stats_quantile_from_sorted_data(values.data(), 1, values.size(), 0.95);
  return r;
}

namespace {

// Every draw's numbers, in slots of its own: the statistics do not see the thread order.
struct Store {
  std::size_t minerals = 0;
  std::vector<double> ph;             // [draw][t]
  std::vector<double> si;             // [draw][t][m]
  std::vector<double> estimate;       // [criterion][draw]
  std::vector<char> on_edge;          // [criterion][draw]
  std::vector<std::string> unknowns;  // found with the temperature in every draw
  std::vector<double> optimized;      // [unknown][draw]
  std::vector<std::string> failure;   // [draw]

  // Keeps draw `draw`'s outcome at the nt temperatures of a run of `draws`.
  void Keep(std::size_t draw, const Outcome& o, std::size_t nt, std::size_t draws) {
    failure[draw] = o.failure;
    if (o.sweep.ok()) {
      for (std::size_t t = 0; t < nt; ++t) {
        const auto& p = o.sweep.points[t];
        if (!PointUsable(p)) continue;
        ph[draw * nt + t] = p.ph;
        std::copy(p.si.begin(), p.si.begin() + static_cast<std::ptrdiff_t>(minerals),
                  si.begin() + static_cast<std::ptrdiff_t>((draw * nt + t) * minerals));
      }
    }
    if (o.estimate)
      for (std::size_t c = 0; c < std::size(geothermometry::kCriteria); ++c)
        if (auto v = EstimateOf(*o.estimate, geothermometry::kCriteria[c])) {
          estimate[c * draws + draw] = *v;
          on_edge[c * draws + draw] = o.estimate->Get(geothermometry::kCriteria[c]).on_edge;
        }
    if (o.estimate && o.failure.empty())
      for (std::size_t u = 0; u < unknowns.size(); ++u)
        if (const auto it = o.estimate->optimized.find(unknowns[u]);
            it != o.estimate->optimized.end())
          optimized[u * draws + draw] = it->second.value;
  }
};

// The sample without errors; its estimate says which minerals of the set enter (those whose
// components the sample has), and the set's statistics and sensitivities take the same ones.
std::vector<Outcome> EvaluateNominals(Plan& plan, const engine::Sample& sample) {
  std::vector<Outcome> nominals;
  for (DatasetPlan& d : plan.datasets) {
    nominals.push_back(plan.Evaluate(sample, 0.0, d));
    const geothermometry::Sweep& nominal = nominals.back().sweep;
    if (nominal.ok() && !nominal.points.empty() && nominal.points[0].ok())
      d.first_ph = nominal.points[0].ph;
    if (nominal.ok()) {
      for (const auto& p : nominal.points)
        d.ph_guide.push_back(p.ok() ? p.ph : std::numeric_limits<double>::quiet_NaN());
    }
    if (nominals.back().estimate && !nominals.back().estimate->used.empty())
      d.set_indices = geothermometry::MineralIndices(*d.dataset, nominals.back().estimate->used);
  }
  return nominals;
}

// Every draw's SI at every temperature is kept until its quantiles are taken: refused up front
// where that would not fit, rather than ending out of memory after hours of draws.
void CheckKeptBytes(const Plan& plan, int draw_count, std::size_t nt) {
  const std::size_t nd = plan.datasets.size();
  const auto draws = static_cast<std::size_t>(draw_count);
  double bytes = 0.0;
  for (const DatasetPlan& d : plan.datasets)
    bytes += static_cast<double>(draws) * static_cast<double>(nt) *
             static_cast<double>(d.dataset->MineralCount() + 1) * sizeof(double);
  if (bytes > static_cast<double>(kMostKeptBytes)) {
    const auto most = static_cast<long long>(static_cast<double>(draws) *
                                             static_cast<double>(kMostKeptBytes) / bytes);
    char text[320];
    std::snprintf(text, sizeof text,
                  "%d draws at %zu temperatures with %zu dataset%s would keep %.1f GB of "
                  "results, more than the limit of %.1f GB: at most %lld draws here, or fewer "
                  "temperatures",
                  draw_count, nt, nd, nd == 1 ? "" : "s", bytes / 1e9,
                  static_cast<double>(kMostKeptBytes) / 1e9, most);
    throw std::invalid_argument(text);
  }
}

std::vector<Store> EmptyStores(const Plan& plan, std::size_t draws, std::size_t nt) {
  const auto criteria = std::size(geothermometry::kCriteria);
  std::vector<Store> store(plan.datasets.size());
  for (std::size_t k = 0; k < store.size(); ++k) {
    Store& s = store[k];
    s.minerals = static_cast<std::size_t>(plan.datasets[k].dataset->MineralCount());
    s.ph.assign(draws * nt, kNaN);
    s.si.assign(draws * nt * s.minerals, kNaN);
    s.estimate.assign(criteria * draws, kNaN);
    s.on_edge.assign(criteria * draws, 0);
    if (plan.options->optimize_steam_loss) s.unknowns.emplace_back("steam_loss");
    if (plan.options->optimize_dilution) s.unknowns.emplace_back("dilution");
    s.optimized.assign(s.unknowns.size() * draws, kNaN);
    s.failure.resize(draws);
  }
  return store;
}

// The statistics over the draws of one dataset at temperature t of the list.
TemperatureResult SummarizeTemperature(const DatasetPlan& d, const Store& s, const Outcome& nominal,
                                       const Options& options, std::size_t t, std::size_t draws) {
  const std::size_t nt = options.temperatures.size();
  std::vector<double> column(draws);
  TemperatureResult tr;
  tr.temperature = options.temperatures[t];
  const bool nominal_ok = nominal.sweep.ok() && PointUsable(nominal.sweep.points[t]);
  tr.nominal_ph = nominal_ok ? nominal.sweep.points[t].ph : kNaN;
  for (std::size_t i = 0; i < draws; ++i) column[i] = s.ph[i * nt + t];
  tr.ph = Summarize(column);
  tr.failed = draws - tr.ph.n;
  for (std::size_t m = 0; m < s.minerals; ++m) {
    column.resize(draws);
    for (std::size_t i = 0; i < draws; ++i) column[i] = s.si[(i * nt + t) * s.minerals + m];
    tr.si.push_back(
        {std::string(d.dataset->MineralName(static_cast<int>(m) + 1)), Summarize(column)});
    tr.nominal_si.push_back(nominal_ok ? nominal.sweep.points[t].si[m] : kNaN);
  }
  if (options.estimate) {
    std::vector<double> rms(draws, kNaN), median(draws, kNaN);
    std::vector<double> si(d.set_indices.size());
    for (std::size_t i = 0; i < draws; ++i) {
      if (std::isnan(s.ph[i * nt + t])) continue;
      for (std::size_t k = 0; k < si.size(); ++k)
        si[k] = s.si[(i * nt + t) * s.minerals + static_cast<std::size_t>(d.set_indices[k] - 1)] /
                (options.normalize ? d.dataset->ReactionMoles(d.set_indices[k]) : 1.0);
      if (const auto st = geothermometry::Statistics(tr.temperature, si)) {
        rms[i] = st->rms;
        median[i] = st->median;
      }
    }
    tr.set_rms = Summarize(rms);
    tr.set_median = Summarize(median);
  }
  return tr;
}

// The estimate's statistics over the draws of one dataset. `reference` becomes the grid
// temperature nearest the nominal RMS estimate, where the SI effects are taken.
EstimateResult SummarizeEstimate(const DatasetPlan& d, const Store& s, const Outcome& nominal,
                                 const Options& options, std::size_t draws,
                                 std::size_t& reference) {
  const auto criteria = std::size(geothermometry::kCriteria);
  EstimateResult e;
  e.minerals = nominal.estimate ? nominal.estimate->used : d.minerals;
  for (std::size_t c = 0; c < criteria; ++c) {
    const auto criterion = geothermometry::kCriteria[c];
    std::vector<double> values(s.estimate.begin() + static_cast<std::ptrdiff_t>(c * draws),
                               s.estimate.begin() + static_cast<std::ptrdiff_t>((c + 1) * draws));
    e.draws.push_back(values);
    e.criteria.push_back({geothermometry::CriterionKey(criterion), Summarize(values)});
    e.nominal.push_back(nominal.estimate ? EstimateOf(*nominal.estimate, criterion) : std::nullopt);
    e.nominal_on_edge.push_back(nominal.estimate && nominal.estimate->Get(criterion).on_edge);
    e.on_edge.push_back(static_cast<std::size_t>(
        std::count(s.on_edge.begin() + static_cast<std::ptrdiff_t>(c * draws),
                   s.on_edge.begin() + static_cast<std::ptrdiff_t>((c + 1) * draws), 1)));
  }
  for (std::size_t u = 0; u < s.unknowns.size(); ++u) {
    EstimateResult::Unknown unknown;
    unknown.name = s.unknowns[u];
    std::vector<double> values(s.optimized.begin() + static_cast<std::ptrdiff_t>(u * draws),
                               s.optimized.begin() + static_cast<std::ptrdiff_t>((u + 1) * draws));
    unknown.interval = Summarize(values);
    if (nominal.estimate && nominal.failure.empty())
      if (const auto it = nominal.estimate->optimized.find(s.unknowns[u]);
          it != nominal.estimate->optimized.end()) {
        unknown.nominal = it->second.value;
        unknown.nominal_sd = it->second.sd;
        unknown.nominal_on_bound = it->second.on_bound;
      }
    e.optimized.push_back(std::move(unknown));
  }
  if (e.nominal[0]) {
    double best = std::numeric_limits<double>::infinity();
    for (std::size_t t = 0; t < options.temperatures.size(); ++t)
      if (std::abs(options.temperatures[t] - *e.nominal[0]) < best) {
        best = std::abs(options.temperatures[t] - *e.nominal[0]);
        reference = t;
      }
  }
  return e;
}

// One dataset's results over the draws, with the sensitivities when asked. The nominal
// sample's warnings go to `warnings`; each failed draw is marked in `any_failed`.
DatasetResult SummarizeDataset(const Plan& plan, const DatasetPlan& d, const Store& s,
                               const Outcome& nominal, const engine::Sample& sample,
                               const InputErrors& errors, std::vector<std::string>& warnings,
                               std::vector<bool>& any_failed) {
  const Options& options = *plan.options;
  const std::size_t nt = options.temperatures.size();
  const std::size_t draws = any_failed.size();
  DatasetResult r;
  r.dataset = d.dataset;
  if (!nominal.failure.empty())
    warnings.push_back(std::string(d.dataset->title) +
                       ": the sample itself, without errors, fails: " + nominal.failure);
  if (nominal.estimate)
    for (const std::string& w : nominal.estimate->warnings)
      warnings.push_back(std::string(d.dataset->title) + ": " + w);

  std::set<std::string> seen;
  for (std::size_t i = 0; i < draws; ++i) {
    if (s.failure[i].empty()) continue;
    ++r.failed_draws;
    any_failed[i] = true;
    if (r.failures.size() < kFailuresShown && seen.insert(s.failure[i]).second)
      r.failures.push_back("draw " + std::to_string(i) + ": " + s.failure[i]);
  }

  for (std::size_t t = 0; t < nt; ++t)
    r.temperatures.push_back(SummarizeTemperature(d, s, nominal, options, t, draws));

  std::size_t reference = nt / 2;
  if (options.estimate) r.estimate = SummarizeEstimate(d, s, nominal, options, draws, reference);
  r.sensitivity_temperature = options.temperatures[reference];
  if (options.sensitivity) r.sensitivity = Sensitivities(plan, d, sample, errors, reference);
  return r;
}

// The solute geothermometers' intervals; `solute` holds [geothermometer][draw].
std::vector<SoluteResult> SummarizeSolute(
    const std::vector<geothermometry::SoluteTemperature>& nominal_solute,
    const std::vector<double>& solute, std::size_t draws) {
  std::vector<SoluteResult> out;
  for (std::size_t g = 0; g < nominal_solute.size(); ++g) {
    SoluteResult sr;
    sr.key = std::string(nominal_solute[g].key);
    sr.citation = std::string(nominal_solute[g].citation);
    sr.label = SoluteLabel(sr.key) + ", " + sr.citation;
    sr.nominal = nominal_solute[g].celsius;
    std::vector<double> values(solute.begin() + static_cast<std::ptrdiff_t>(g * draws),
                               solute.begin() + static_cast<std::ptrdiff_t>((g + 1) * draws));
    sr.interval = Summarize(values);
    out.push_back(std::move(sr));
  }
  return out;
}

// The options as the run takes them: temperatures sorted, the estimate dropped where too few
// temperatures allow one, each change said in the result's warnings.
Options Checked(const Options& asked, Result& result) {
  if (asked.draws < 1) throw std::invalid_argument("the number of draws must be at least 1");
  if (asked.datasets.empty()) throw std::invalid_argument("no dataset to evaluate");
  if (asked.temperatures.empty()) throw std::invalid_argument("no temperature to carry the pH to");
  Options options = asked;
  // The estimate's minimum and its edges are found along the list: out of order or repeated,
  // they would be wrong without a word.
  if (geothermometry::SortTemperatures(options.temperatures))
    result.warnings.push_back(geothermometry::SortedTemperaturesNote(options.temperatures.size()));
  // A minimum needs a temperature on either side: with fewer than three the estimate would only
  // repeat a temperature of the list.
  if (options.estimate && options.temperatures.size() < kFewestForAnEstimate) {
    options.estimate = false;
    result.warnings.push_back("no temperature estimate: it needs at least " +
                              std::to_string(kFewestForAnEstimate) + " temperatures");
  }
  return options;
}

void AddDatasets(Plan& plan, const Options& options) {
  for (const engine::Dataset* ds : options.datasets) {
    DatasetPlan d;
    d.dataset = ds;
    d.minerals = options.minerals.empty() ? geothermometry::DefaultMinerals(*ds) : options.minerals;
    d.set_indices = geothermometry::MineralIndices(*ds, d.minerals);
    geothermometry::ResolveFixes(*ds, options.fix);
    plan.datasets.push_back(std::move(d));
  }
}

}  // namespace

Result Run(const engine::Sample& sample, const InputErrors& errors, const Options& asked,
           engine::ConditionsCache& cache) {
  Result result;
  const Options options = Checked(asked, result);
  result.id = sample.id;
  result.draws = options.draws;
  result.seed = options.seed;
  result.errors = errors;

  // A pH temperature that moves with each draw would leave one prepared set of constants per
  // draw in the caller's cache: the run then keeps its own, freed at its end.
  std::optional<engine::ConditionsCache> own;
  Plan plan;
  plan.options = &options;
  plan.cache = errors[static_cast<int>(Input::kPhTemperature)].Zero() ? &cache : &own.emplace();
  AddDatasets(plan, options);
  const std::vector<Outcome> nominals = EvaluateNominals(plan, sample);

  ThrowIfCancelled(options.cancel);
  const std::size_t nd = plan.datasets.size();
  const std::size_t nt = options.temperatures.size();
  const auto draws = static_cast<std::size_t>(options.draws);

  CheckKeptBytes(plan, options.draws, nt);
  std::vector<Store> store = EmptyStores(plan, draws, nt);
  std::vector<geothermometry::SoluteTemperature> nominal_solute;
  if (options.solute) nominal_solute = Solute(sample);
  std::vector<double> solute(nominal_solute.size() * draws, kNaN);  // [geothermometer][draw]

  RunParallel(options.draws, options.threads, [&](int i) {
    ThrowIfCancelled(options.cancel);
    const auto draw = static_cast<std::size_t>(i);
    double offset = 0.0;
    const engine::Sample drawn =
        DrawSample(sample, errors, options.seed, static_cast<std::uint64_t>(i), &offset);
    for (std::size_t k = 0; k < nd; ++k)
      store[k].Keep(draw, plan.Evaluate(drawn, offset, plan.datasets[k]), nt, draws);
    if (options.solute) {
      const auto temps = Solute(drawn);
      for (std::size_t g = 0; g < temps.size() && g < nominal_solute.size(); ++g)
        if (temps[g].celsius) solute[g * draws + draw] = *temps[g].celsius;
    }
  });

  // A draw cut short by the flag would count as failed.
  ThrowIfCancelled(options.cancel);
  std::vector<bool> any_failed(draws, false);
  for (std::size_t k = 0; k < nd; ++k) {
    result.datasets.push_back(SummarizeDataset(plan, plan.datasets[k], store[k], nominals[k],
                                               sample, errors, result.warnings, any_failed));
    store[k] = Store{};  // summarised: its draws are no longer needed
  }
  result.failed_draws =
      static_cast<std::size_t>(std::count(any_failed.begin(), any_failed.end(), true));

  result.solute = SummarizeSolute(nominal_solute, solute, draws);
  ThrowIfCancelled(options.cancel);  // a sensitivity cut short
  return result;
}

}  // namespace geofluid::uncertainty
