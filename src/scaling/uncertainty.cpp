#include "scaling/uncertainty.h"

#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace geofluid::scaling {

namespace {

// A draw whose path broke off anywhere: a dataset, a separation or a cooling.
bool Failed(const Path& p) {
  bool bad = false;
  for (const auto& d : p.datasets) {
    if (!d.ok()) bad = true;
    for (const auto& s : d.separation) {
      if (!s.ok()) bad = true;
      for (const auto& e : s.cooling_errors) bad = bad || !e.empty();
    }
  }
  return bad;
}

// The SI of mineral m of dataset k at separation i and cooling j (-1: the separated water); NaN
// where that path broke off.
double SiOf(const Path& p, std::size_t k, std::size_t i, int j, std::size_t m) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const DatasetPath& d = p.datasets[k];
  if (!d.ok() || !d.separation[i].ok()) return nan;
  const Separation& s = d.separation[i];
  if (j < 0) return s.water.si[m];
  const auto jj = static_cast<std::size_t>(j);
  return s.cooling_errors[jj].empty() ? s.cooling[jj].si[m] : nan;
}

// One quantity, SiOf, over the draws.
DrawnSi Summarise(const Path& nominal, const std::vector<Path>& drawn, const Options& options,
                  std::size_t k, std::size_t i, int j, std::size_t m) {
  DrawnSi q;
  const DatasetPath& d = nominal.datasets[k];
  q.dataset = std::string(d.dataset->key);
  q.mineral = d.minerals.names[m];
  q.separation = options.separation[i];
  if (j >= 0) q.cooling = options.cooling[static_cast<std::size_t>(j)];
  q.nominal = SiOf(nominal, k, i, j, m);
  std::vector<double> values;
  values.reserve(drawn.size());
  std::size_t above = 0;
  for (const Path& p : drawn) {
    const double v = SiOf(p, k, i, j, m);
    values.push_back(v);
    if (std::isfinite(v) && v > 0.0) ++above;
  }
  q.interval = uncertainty::Summarize(values);
  q.oversaturated = q.interval.n > 0 ? static_cast<double>(above) / q.interval.n
                                     : std::numeric_limits<double>::quiet_NaN();
  return q;
}

}  // namespace

PathUncertainty RunPathUncertainty(const engine::Sample& sample,
                                   const uncertainty::InputErrors& errors, std::size_t draws,
                                   std::uint64_t seed, const Options& options,
                                   engine::ConditionsCache& cache, double risk) {
  CheckOptions(options);
  if (!options.reservoir.celsius) {
    throw std::invalid_argument(
        "the uncertainty of a scaling path needs the reservoir temperature as a number");
  }
  if (draws == 0) throw std::invalid_argument("--draws: at least one draw");
  const Path nominal = RunScaling(sample, options, cache);
  std::vector<Path> drawn(draws);
  tbb::parallel_for(std::size_t{0}, draws, [&](std::size_t i) {
    double offset = 0.0;
    const engine::Sample s = uncertainty::DrawSample(sample, errors, seed, i, &offset);
    drawn[i] = RunScaling(s, options, cache);
  });

  PathUncertainty u;
  u.draws = draws;
  u.risk = risk;
  for (const Path& p : drawn) u.failed += Failed(p) ? 1 : 0;
  for (std::size_t k = 0; k < nominal.datasets.size(); ++k) {
    const std::size_t minerals = nominal.datasets[k].minerals.names.size();
    std::optional<double> lowest;
    bool safe = true;
    std::vector<std::size_t> order(options.separation.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      return options.separation[a] > options.separation[b];
    });
    const int silica = nominal.datasets[k].MineralPosition(kAmorphousSilica);
    for (std::size_t i : order) {
      for (std::size_t m = 0; m < minerals; ++m) {
        const DrawnSi q = Summarise(nominal, drawn, options, k, i, -1, m);
        if (static_cast<int>(m) == silica && safe) {
          if (q.interval.n > 0 && q.oversaturated <= risk) {
            lowest = q.separation;
          } else {
            safe = false;
          }
        }
        u.si.push_back(q);
        for (std::size_t j = 0; j < options.cooling.size(); ++j) {
          u.si.push_back(Summarise(nominal, drawn, options, k, i, static_cast<int>(j), m));
        }
      }
    }
    u.lowest_separation.push_back(silica >= 0 ? lowest : std::nullopt);
  }
  return u;
}

}  // namespace geofluid::scaling
