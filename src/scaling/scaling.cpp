#include "scaling/scaling.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "geothermometry/estimate.h"
#include "io/text.h"
#include "platform/errors.h"
#include "platform/fp_status.h"
#include "saturation/saturation_index.h"
#include "speciation/dataset_model.h"
#include "speciation/ph_search.h"

namespace geofluid::scaling {

namespace {

std::string Celsius(double t) { return io::Fixed(t, 1); }

// Letters and digits only, upper case: "low-albite" and "LOW_ALBITE" meet.
std::string Folded(std::string_view name) {
  std::string s;
  for (unsigned char c : name) {
    if (std::isalnum(c) || c == '(' || c == ')' || c == '+')
      s += static_cast<char>(std::toupper(c));
  }
  return s;
}

// 1-based index of a species by its name without blanks, or a logic error: the tables define
// these species in both datasets.
int SpeciesIndex(const engine::Dataset& dataset, std::string_view name) {
  for (int i = 1; i <= dataset.SpeciesCount(); ++i) {
    if (Folded(dataset.SpeciesName(i)) == Folded(name)) return i;
  }
  throw std::logic_error(std::string(dataset.title) + " has no species " + std::string(name));
}

// The neutral species that partition into the steam, and neutral silica.
struct Neutral {
  int co2;
  int h2s;
  int silica;
};
Neutral FindNeutralSpecies(const engine::Dataset& dataset) {
  return {SpeciesIndex(dataset, dataset.aqueous_co2), SpeciesIndex(dataset, "H2S(aq)"),
          SpeciesIndex(dataset, dataset.aqueous_silica)};
}

// Looked up once per dataset: every water of every sample asks.
const Neutral& NeutralSpecies(const engine::Dataset& dataset) {
  static const std::array<Neutral, 2> neutral = [] {
    std::array<Neutral, 2> found{};  // indexed by thermo::DatasetId
    for (const engine::Dataset* d : engine::DatasetsFor("both")) {
      found[static_cast<std::size_t>(d->id)] = FindNeutralSpecies(*d);
    }
    return found;
  }();
  return neutral[static_cast<std::size_t>(dataset.id)];
}

// SSI and the SI of the set from a final speciation.
void Saturation(Water& w, const engine::Conditions& at, const MineralSet& minerals) {
  const engine::Dataset& dataset = *at.dataset;
  const auto si = saturation::SaturationIndices(w.speciation.activity, at.constants);
  const double solubility = AmorphousSilicaSolubility(w.temperature);  // mg/kg
  w.ssi_amorphous_silica = w.totals[1] * kSio2MolarMass * 1000.0 / solubility;
  // Amorphous silica + 2 H2O = H4SiO4 (or SiO2(aq)): K is the neutral silica's molality at
  // saturation in pure water, where it is nearly all of the dissolved silica.
  const double k = solubility / (kSio2MolarMass * 1000.0);
  const int silica = NeutralSpecies(dataset).silica;
  w.si.clear();
  for (std::size_t i = 0; i < minerals.index.size(); ++i) {
    const int m = minerals.index[i];
    if (m == 0) {
      w.si.push_back(std::log(w.speciation.activity[silica] / k) / dataset.si_divisor);
    } else {
      w.si.push_back(si[m]);
    }
  }
  w.converged = w.speciation.converged;
}

Water FromEvaluation(const engine::Evaluation& e, const MineralSet& minerals) {
  Water w;
  w.temperature = e.temperature;
  w.ph = e.ph;
  w.toth = e.toth;
  w.totals = e.totals;
  w.speciation = e.speciation;
  Saturation(w, *e.conditions, minerals);
  w.converged = e.Converged();
  return w;
}

// One closed boiling step: `feed` (liquid totals and TOTH per kg of the water entering) boils
// to the conditions `at` with steam fraction y.
Water BoilStep(const Water& feed, double y, const engine::Conditions& at) {
  const engine::Dataset& dataset = *at.dataset;
  const Neutral neutral = NeutralSpecies(dataset);
  const GasHydrogen hydrogen = HydrogenOfGases(dataset);
  const double kd_co2 = DistributionConstant(Gas::kCO2, at.temperature);
  const double kd_h2s = DistributionConstant(Gas::kH2S, at.temperature);
  const double liquid = 1.0 - y;

  Water w;
  w.temperature = at.temperature;
  w.steam_fraction = y;
  speciation::Totals t = feed.totals;
  for (int i = 1; i <= 12; ++i) t[i] = feed.totals[i] / liquid;
  t[thermo::kWater] = feed.totals[thermo::kWater];

  // The neutral fraction of each gas's total: taken from the last speciation and refined at each
  // trial pH until it no longer changes (at a fixed pH it depends on the totals only through the
  // activity coefficients, so two or three speciations settle it).
  double phi_co2 = 1.0, phi_h2s = 1.0;
  double steam_co2 = 0.0, steam_h2s = 0.0, target = 0.0;
  auto share = [&] {
    t[8] = feed.totals[8] / (liquid + y * kd_co2 * phi_co2);
    t[10] = feed.totals[10] / (liquid + y * kd_h2s * phi_h2s);
    steam_co2 = kd_co2 * phi_co2 * t[8];
    steam_h2s = kd_h2s * phi_h2s * t[10];
    target = (feed.toth - y * (hydrogen.co2 * steam_co2 + hydrogen.h2s * steam_h2s)) / liquid;
  };
  speciation::Speciation s;
  auto mismatch = [&](double ph) {
    for (int pass = 0; pass < 60; ++pass) {
      share();
      platform::ClearFpFaults();
      s = speciation::Speciate(t, ph, at.constants, at.activity, {});
      const double next_co2 = s.molality[neutral.co2] / t[8];
      const double next_h2s = s.molality[neutral.h2s] / t[10];
      if (platform::FpFaultRaised()) {
        platform::CheckFp("the share of CO2 and H2S between steam and water at " +
                          Celsius(at.temperature) + " °C");
      }
      const bool settled = std::fabs(next_co2 - phi_co2) <= 1e-13 + 1e-12 * next_co2 &&
                           std::fabs(next_h2s - phi_h2s) <= 1e-13 + 1e-12 * next_h2s;
      if (settled) break;
      phi_co2 = next_co2;
      phi_h2s = next_h2s;
    }
    return target - s.tnew[thermo::kHydrogen];
  };
  const speciation::PhSearchResult r = speciation::FastPhSearch(mismatch);
  // The search's last call was at the pH found: its totals, gases and speciation stand.
  w.ph = r.ph;
  w.totals = t;
  w.toth = target;
  w.steam_co2 = steam_co2;
  w.steam_h2s = steam_h2s;
  w.speciation = s;
  return w;
}

std::vector<double> OpenGrid(double from, double to, double step) {
  std::vector<double> grid;
  // Steps on multiples of `step` below `from`, so that many samples share the conditions.
  double t = std::floor(from / step) * step;
  if (t >= from) t -= step;
  for (; t > to; t -= step) grid.push_back(t);
  grid.push_back(to);
  return grid;
}

}  // namespace

std::vector<std::string> DefaultMinerals() {
  return {std::string(kAmorphousSilica), "QUARTZ", "CALCITE", "ANHYDRITE"};
}

MineralSet ResolveMinerals(const engine::Dataset& dataset, const std::vector<std::string>& names) {
  MineralSet set;
  for (const std::string& name : names) {
    const std::string folded = Folded(name);
    if (folded.empty()) throw std::invalid_argument("an empty mineral name in --minerals");
    int found = -1;
    std::string printed;
    if (folded == Folded(kAmorphousSilica)) {
      found = 0;
      printed = kAmorphousSilica;
    }
    for (int m = 1; found < 0 && m <= dataset.MineralCount(); ++m) {
      if (Folded(dataset.MineralName(m)) == folded) {
        found = m;
        printed = dataset.MineralName(m);
      }
    }
    if (found < 0) {
      std::string list(kAmorphousSilica);
      for (int m = 1; m <= dataset.MineralCount(); ++m)
        list += ", " + std::string(dataset.MineralName(m));
      throw std::invalid_argument(std::string(dataset.title) + " has no mineral \"" + name +
                                  "\"; its minerals: " + list);
    }
    if (std::find(set.names.begin(), set.names.end(), printed) != set.names.end()) {
      throw std::invalid_argument("the mineral " + printed + " is named twice");
    }
    set.names.push_back(printed);
    set.index.push_back(found);
  }
  return set;
}

std::vector<std::string> ReservoirKeys() {
  std::vector<std::string> keys;
  for (const auto& g : geothermometry::SoluteGeothermometers({})) keys.emplace_back(g.key);
  keys.emplace_back("multicomponent");
  return keys;
}

ReservoirChoice ParseReservoir(std::string_view text) {
  ReservoirChoice choice;
  const std::string s(text);
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (!s.empty() && end == s.c_str() + s.size()) {
    if (!std::isfinite(v)) throw std::invalid_argument("--reservoir: " + s + " is not finite");
    choice.celsius = v;
    return choice;
  }
  const auto keys = ReservoirKeys();
  if (std::find(keys.begin(), keys.end(), s) == keys.end()) {
    std::string list;
    for (const auto& k : keys) list += (list.empty() ? "" : ", ") + k;
    throw std::invalid_argument("--reservoir: \"" + s +
                                "\" is neither a temperature in °C nor a key: " + list);
  }
  choice.key = s;
  return choice;
}

std::optional<double> SoluteTemperature(const engine::Sample& sample, std::string_view key,
                                        std::string& reason) {
  // The one place that looks a solute geothermometer up by key. The path starts from the
  // reservoir, so the value is that of the reservoir liquid: silica and the other
  // concentration-dependent forms taken back through the steam lost down to separation.
  geothermometry::SoluteTemperature g;
  try {
    g = geothermometry::SoluteOfSample(sample, key, true);
  } catch (const std::exception& e) {
    reason = e.what();
    return std::nullopt;
  }
  if (!g.celsius) reason = std::string(key) + ": " + g.reason;
  return g.celsius;
}

void CheckOptions(const Options& o) {
  auto finite = [](const std::vector<double>& list, const char* option) {
    if (list.empty())
      throw std::invalid_argument(std::string(option) + ": give at least one temperature");
    for (double t : list) {
      if (!std::isfinite(t))
        throw std::invalid_argument(std::string(option) + ": a temperature is not finite");
      if (t < 0.0 || t > 350.0) {
        throw std::invalid_argument(std::string(option) + ": " + Celsius(t) +
                                    " °C is outside 0-350 °C, where the liquid water tables hold");
      }
    }
  };
  finite(o.separation, o.stages ? "--stages" : "--separation");
  finite(o.cooling, "--cooling");
  if (o.stages) {
    for (std::size_t i = 1; i < o.separation.size(); ++i) {
      if (!(o.separation[i] < o.separation[i - 1])) {
        throw std::invalid_argument("--stages: each separator must be cooler than the one before");
      }
    }
  }
  if (!(o.open_step > 0.0) || !std::isfinite(o.open_step)) {
    throw std::invalid_argument("the step of open degassing must be a positive number of °C");
  }
  if (o.reservoir.celsius && !(*o.reservoir.celsius >= 0.0 && *o.reservoir.celsius <= 350.0)) {
    throw std::invalid_argument("--reservoir: " + Celsius(*o.reservoir.celsius) +
                                " °C is outside 0-350 °C, where the liquid water tables hold");
  }
  if (o.datasets.empty()) throw std::invalid_argument("no dataset");
  if (o.scheme == nullptr) throw std::invalid_argument("no interpolation scheme");
}

GasHydrogen HydrogenOfGases(const engine::Dataset& dataset) {
  const Neutral n = NeutralSpecies(dataset);
  return {dataset.model.hydrogen[n.co2], dataset.model.hydrogen[n.h2s]};
}

Water ReservoirFluid(const engine::Sample& sample, const engine::Dataset& dataset, double celsius,
                     const MineralSet& minerals, engine::ConditionsCache& cache,
                     const engine::TableScheme& scheme) {
  const auto at_ph = cache.Get(dataset, sample.ph_temperature, scheme);
  const auto at = cache.Get(dataset, celsius, scheme);
  const std::shared_ptr<const engine::Conditions> targets[] = {at};
  const engine::Carried c = engine::Carry(sample, at_ph, targets, true);
  return FromEvaluation(c.at.front(), minerals);
}

Water Boil(const Water& feed, double celsius, Degassing degassing, double open_step,
           const engine::Dataset& dataset, const MineralSet& minerals,
           engine::ConditionsCache& cache, const engine::TableScheme& scheme,
           const std::atomic<bool>* cancel) {
  const std::vector<double> grid = degassing == Degassing::kClosed
                                       ? std::vector<double>{celsius}
                                       : OpenGrid(feed.temperature, celsius, open_step);
  Water w = feed;
  double liquid = 1.0;  // of the feed
  double steam = 0.0, co2 = 0.0, h2s = 0.0;
  std::shared_ptr<const engine::Conditions> at = cache.Get(dataset, feed.temperature, scheme);
  for (double t : grid) {
    // Open boiling in fine steps is the longest part of a path: Ctrl-C is not kept waiting.
    ThrowIfCancelled(cancel);
    const auto next = cache.Get(dataset, t, scheme);
    const double y = engine::SteamFraction(*at, t, true);
    w = BoilStep(w, y, *next);
    steam += liquid * y;
    co2 += liquid * y * w.steam_co2;
    h2s += liquid * y * w.steam_h2s;
    liquid *= 1.0 - y;
    at = next;
  }
  w.steam_fraction = steam;
  w.total_steam_fraction = 1.0 - (1.0 - feed.total_steam_fraction) * liquid;
  w.steam_co2 = steam > 0.0 ? co2 / steam : 0.0;
  w.steam_h2s = steam > 0.0 ? h2s / steam : 0.0;
  Saturation(w, *at, minerals);
  return w;
}

Water Cool(const Water& water, double celsius, const engine::Dataset& dataset,
           const MineralSet& minerals, engine::ConditionsCache& cache,
           const engine::TableScheme& scheme) {
  engine::Sample liquid;
  for (int i = 1; i <= engine::kComponentCount; ++i) {
    liquid.component[static_cast<std::size_t>(i - 1)] = water.totals[i];
  }
  liquid.water = water.totals[thermo::kWater];
  const engine::Evaluation e =
      engine::Evaluate(liquid, cache.Get(dataset, celsius, scheme), 0.0, water.toth);
  Water w = FromEvaluation(e, minerals);
  w.total_steam_fraction = water.total_steam_fraction;
  return w;
}

int DatasetPath::MineralPosition(std::string_view name) const {
  for (std::size_t i = 0; i < minerals.names.size(); ++i) {
    if (minerals.names[i] == name) return static_cast<int>(i);
  }
  return -1;
}

namespace {

// A dataset whose path cannot be followed from the start: every stage says why.
void FailAll(DatasetPath& d, const std::string& why) {
  d.error = why;
  for (auto& s : d.separation) s.error = why;
}

// The reservoir temperature, given or estimated; none (after FailAll) when it cannot be had.
std::optional<double> ReservoirTemperature(const engine::Sample& sample, const Options& options,
                                           engine::ConditionsCache& cache, DatasetPath& d) {
  std::optional<double> tr = options.reservoir.celsius;
  d.reservoir_source = tr ? "given" : options.reservoir.key;
  if (tr) return tr;
  std::string reason;
  if (options.reservoir.key == "multicomponent") {
    geothermometry::SweepOptions sweep;
    sweep.scheme = options.scheme;
    sweep.cancel = options.cancel;
    const auto e = geothermometry::EstimateTemperature(sample, *d.dataset, {}, sweep, cache);
    ThrowIfCancelled(options.cancel);  // the estimate was cut short
    tr = e.rms.celsius;
    reason = "the multicomponent estimate: " + e.rms.reason;
    if (tr && e.rms.on_edge) {
      d.warnings.push_back("the multicomponent estimate lies on the edge of its sweep");
    }
  } else {
    tr = SoluteTemperature(sample, options.reservoir.key, reason);
  }
  if (!tr) {
    FailAll(d, "no reservoir temperature: " + reason);
    return std::nullopt;
  }
  if (!(*tr >= 0.0 && *tr <= 350.0)) {
    FailAll(d, "the reservoir temperature " + Celsius(*tr) + " °C by " + options.reservoir.key +
                   " is outside 0-350 °C");
    return std::nullopt;
  }
  return tr;
}

// The separated water of stage `s` cooled to each reinjection temperature.
void CoolSeparated(Separation& s, const Options& options, engine::ConditionsCache& cache,
                   DatasetPath& d) {
  for (double tc : options.cooling) {
    try {
      s.cooling.push_back(Cool(s.water, tc, *d.dataset, d.minerals, cache, *options.scheme));
      s.cooling_errors.emplace_back();
      if (!s.cooling.back().converged) {
        d.warnings.push_back("a speciation at " + Celsius(tc) + " °C after separation at " +
                             Celsius(s.water.temperature) + " °C stopped at its pass limit");
      }
    } catch (const std::exception& e) {
      s.cooling.emplace_back();
      s.cooling.back().temperature = tc;
      s.cooling_errors.push_back("cooling to " + Celsius(tc) + " °C: " + e.what());
    }
  }
}

// Open degassing to a cooler separator passes through the warmer one `before`: it goes on from
// there, and counts the steam from the reservoir.
Water BoilOnFrom(const Water& before, double ts, const Options& options,
                 engine::ConditionsCache& cache, const DatasetPath& d) {
  Water w = Boil(before, ts, options.degassing, options.open_step, *d.dataset, d.minerals, cache,
                 *options.scheme, options.cancel);
  const double l1 = 1.0 - before.steam_fraction;
  const double steam = before.steam_fraction + l1 * w.steam_fraction;
  w.steam_co2 =
      steam > 0.0
          ? (before.steam_fraction * before.steam_co2 + l1 * w.steam_fraction * w.steam_co2) / steam
          : 0.0;
  w.steam_h2s =
      steam > 0.0
          ? (before.steam_fraction * before.steam_h2s + l1 * w.steam_fraction * w.steam_h2s) / steam
          : 0.0;
  w.steam_fraction = steam;
  return w;
}

// The separations of one dataset's path, each from the reservoir fluid (or, in stages, from the
// stage before), and the coolings of each.
void Separate(const Options& options, engine::ConditionsCache& cache, DatasetPath& d) {
  const Water* feed = &d.reservoir;
  for (std::size_t i = 0; i < options.separation.size(); ++i) {
    ThrowIfCancelled(options.cancel);
    const double ts = options.separation[i];
    Separation& s = d.separation[i];
    if (feed == nullptr) {
      s.error = "the stage before failed";
      continue;
    }
    if (ts >= feed->temperature) {
      d.warnings.push_back("separation at " + Celsius(ts) + " °C is not below " +
                           Celsius(feed->temperature) + " °C: the water does not boil");
    }
    try {
      if (options.degassing == Degassing::kOpen && !options.stages && i > 0 &&
          d.separation[i - 1].ok() && ts < options.separation[i - 1] &&
          options.separation[i - 1] < d.reservoir.temperature) {
        s.water = BoilOnFrom(d.separation[i - 1].water, ts, options, cache, d);
      } else {
        s.water = Boil(*feed, ts, options.degassing, options.open_step, *d.dataset, d.minerals,
                       cache, *options.scheme, options.cancel);
      }
    } catch (const Interrupted&) {
      throw;
    } catch (const std::exception& e) {
      s.error = "boiling to " + Celsius(ts) + " °C: " + e.what();
      if (options.stages) feed = nullptr;
      continue;
    }
    if (!s.water.converged) {
      d.warnings.push_back("the speciation at separation " + Celsius(ts) +
                           " °C stopped at its pass limit");
    }
    if (ts > kAmorphousSilicaTo) {
      d.warnings.push_back("amorphous silica at " + Celsius(ts) +
                           " °C: its solubility equation holds to 250 °C");
    }
    CoolSeparated(s, options, cache, d);
    if (options.stages) feed = &s.water;
  }
}

}  // namespace

Path RunScaling(const engine::Sample& sample, const Options& options,
                engine::ConditionsCache& cache) {
  CheckOptions(options);
  const std::vector<std::string> names =
      options.minerals.empty() ? DefaultMinerals() : options.minerals;
  Path path;
  path.id = sample.id;
  for (const engine::Dataset* dataset : options.datasets) {
    DatasetPath d;
    d.dataset = dataset;
    d.minerals = ResolveMinerals(*dataset, names);
    d.separation.resize(options.separation.size());
    path.datasets.push_back(std::move(d));
  }
  for (DatasetPath& d : path.datasets) {
    ThrowIfCancelled(options.cancel);
    const std::optional<double> tr = ReservoirTemperature(sample, options, cache, d);
    if (!tr) continue;
    try {
      d.reservoir = ReservoirFluid(sample, *d.dataset, *tr, d.minerals, cache, *options.scheme);
    } catch (const std::exception& e) {
      FailAll(d, "the reservoir fluid at " + Celsius(*tr) + " °C: " + e.what());
      continue;
    }
    if (!d.reservoir.converged) {
      d.warnings.push_back("a speciation of the reservoir fluid stopped at its pass limit");
    }
    Separate(options, cache, d);
  }
  return path;
}

Verdict Judge(const DatasetPath& d, const Options& options) {
  Verdict v;
  const int silica = d.MineralPosition(kAmorphousSilica);
  const int calcite = d.MineralPosition("CALCITE");
  v.silica_followed = silica >= 0;
  v.calcite_followed = calcite >= 0;
  v.lowest_reinjection.resize(d.separation.size());
  if (!d.ok()) return v;
  // Separation temperatures from the hottest down.
  std::vector<std::size_t> order(d.separation.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return options.separation[a] > options.separation[b];
  });
  bool under = true;
  for (std::size_t i : order) {
    const Separation& s = d.separation[i];
    if (!s.ok()) break;
    if (silica >= 0 && under) {
      if (s.water.si[static_cast<std::size_t>(silica)] < 0.0) {
        v.lowest_separation = s.water.temperature;
      } else {
        under = false;
      }
    }
    if (calcite >= 0 && !v.calcite_oversaturated_at &&
        s.water.si[static_cast<std::size_t>(calcite)] > 0.0) {
      v.calcite_oversaturated_at = s.water.temperature;
    }
  }
  if (silica < 0) return v;
  std::vector<std::size_t> cold(options.cooling.size());
  for (std::size_t j = 0; j < cold.size(); ++j) cold[j] = j;
  std::stable_sort(cold.begin(), cold.end(), [&](std::size_t a, std::size_t b) {
    return options.cooling[a] > options.cooling[b];
  });
  for (std::size_t i = 0; i < d.separation.size(); ++i) {
    const Separation& s = d.separation[i];
    if (!s.ok() || s.water.si[static_cast<std::size_t>(silica)] >= 0.0) continue;
    for (std::size_t j : cold) {
      if (options.cooling[j] > s.water.temperature) continue;  // not a cooling
      if (!s.cooling_errors[j].empty() ||
          s.cooling[j].si[static_cast<std::size_t>(silica)] >= 0.0) {
        break;
      }
      v.lowest_reinjection[i] = options.cooling[j];
    }
  }
  return v;
}

std::string Answer(const DatasetPath& d, const Options& options) {
  const std::string title(d.dataset->title);
  if (!d.ok()) return title + ": no answer, " + d.error + ".";
  const Verdict v = Judge(d, options);
  const double hottest = *std::max_element(options.separation.begin(), options.separation.end());
  std::string text = title + ": ";
  if (v.silica_followed) {
    const auto silica = static_cast<std::size_t>(d.MineralPosition(kAmorphousSilica));
    if (v.lowest_separation) {
      text +=
          "amorphous silica stays undersaturated in the separated water down to a "
          "separation temperature of " +
          Celsius(*v.lowest_separation) + " °C";
      for (const Separation& s : d.separation) {
        if (s.ok() && s.water.temperature == *v.lowest_separation) {
          char si[32];
          std::snprintf(si, sizeof si, "%.2f", s.water.si[silica]);
          text += std::string(" (SI ") + si + ")";
          break;
        }
      }
      std::string can, cannot;
      for (std::size_t i = 0; i < d.separation.size(); ++i) {
        const Separation& s = d.separation[i];
        if (!s.ok() || s.water.si[silica] >= 0.0) continue;
        if (v.lowest_reinjection[i]) {
          can += (can.empty() ? "" : ", ") + Celsius(*v.lowest_reinjection[i]) + " °C after " +
                 Celsius(s.water.temperature) + " °C";
        } else {
          cannot += (cannot.empty() ? "" : ", ") + Celsius(s.water.temperature);
        }
      }
      if (!can.empty()) text += "; it stays undersaturated on cooling to " + can;
      if (!cannot.empty()) {
        text += std::string(can.empty() ? "; but" : "; while") + " the water separated at " +
                cannot + " °C becomes oversaturated at every reinjection temperature asked for";
      }
      text += ".";
    } else {
      text += "amorphous silica is already oversaturated in the water separated at " +
              Celsius(hottest) + " °C, the hottest separation temperature asked for.";
    }
  }
  if (v.calcite_followed) {
    const auto calcite = static_cast<std::size_t>(d.MineralPosition("CALCITE"));
    text += v.silica_followed ? " " : "";
    if (d.reservoir.si[calcite] > 0.0) {
      text += "Calcite is oversaturated already in the reservoir fluid.";
    } else if (!v.calcite_oversaturated_at) {
      text += "Calcite stays undersaturated at every separation temperature.";
    } else if (*v.calcite_oversaturated_at == hottest) {
      text += "Calcite becomes oversaturated as soon as the fluid boils: at " + Celsius(hottest) +
              " °C, the hottest separation temperature asked for.";
    } else {
      text += "Calcite becomes oversaturated on boiling to " +
              Celsius(*v.calcite_oversaturated_at) + " °C.";
    }
  }
  return text;
}

}  // namespace geofluid::scaling
