#include <algorithm>
#include <cmath>
#include <span>
#include <stdexcept>
#include <string>

#include "engine/engine.h"
#include "engine/ph_trail.h"
#include "platform/errors.h"
#include "platform/fp_status.h"
#include "saturation/saturation_index.h"
#include "speciation/pair.h"
#include "speciation/ph_estimate.h"
#include "speciation/ph_search.h"

namespace geofluid::engine {

speciation::Totals TotalFluid(const Sample& s, double y) {
  speciation::Totals t{};
  platform::ClearFpFaults();
  for (int i = 1; i <= kComponentCount; ++i) {
    const double x = s.component[static_cast<std::size_t>(i - 1)];
    if (i == 8) {
      t[i] = x * (1.0 - y) + s.steam_co2 * y;
    } else if (i == 10) {
      t[i] = x * (1.0 - y) + y * s.steam_h2s;
    } else {
      t[i] = x * (1.0 - y);
    }
    if (platform::FpFaultRaised()) {
      platform::CheckFp("the total of " +
                        std::string(kComponentKeys[static_cast<std::size_t>(i - 1)]));
    }
  }
  t[thermo::kHydrogen] = std::pow(10.0, -9.05);
  t[thermo::kWater] = s.water;
  for (int i = 1; i <= kComponentCount; ++i) {
    if (t[i] == 0.0) t[i] = kZeroTotal;
  }
  return t;
}

namespace {

// The fast search ends at the decimal search's pH in a fifth of the trials, some of them at pH
// values the decimal search never tries. Each trial of the decimal search that stops at the pass
// limit is shown (the window opens a box for each). The stops fall far from the root: in the
// 554 carried points of 82,000 (1,000 waters, 100-300 °C, both datasets) where one stopped, it
// was the first trial, pH 10, every time, and only there. The fast search asks for pH 10 too;
// where that stopped, the other whole-unit trials of the decimal search's first stage, the next
// farthest, are asked for as well, and the answer once more. The stops shown are those of the
// decimal path's trials, each as often as the path holds it. Throws where the fast search
// fails; with a stop noted, the caller then runs the decimal search, so that the user sees the
// same stops and error.
void FastSearch(const std::function<double(double)>& mismatch,
                const speciation::MismatchSideBySide& side_by_side,
                std::optional<speciation::PhEstimate> estimate, const Hooks& hooks,
                std::vector<double>& stops_at, const std::vector<double>& asked, Evaluation& e) {
  const speciation::PhSearchResult r =
      speciation::FastPhSearch(mismatch, hooks.ph_hint, hooks.ph_slope, side_by_side,
                               estimate ? std::optional(estimate->ph) : std::nullopt);
  const auto on_path = [&](double ph) {
    return std::find(r.path.begin(), r.path.end(), ph) != r.path.end();
  };
  if (std::any_of(stops_at.begin(), stops_at.end(), on_path)) {
    bool more = false;
    for (const double ph : r.path) {
      if (ph == std::floor(ph) && std::find(asked.begin(), asked.end(), ph) == asked.end()) {
        mismatch(ph);
        more = true;
      }
    }
    if (more) mismatch(r.ph);  // the final speciation is the answer's
    std::sort(stops_at.begin(), stops_at.end());
    stops_at.erase(std::unique(stops_at.begin(), stops_at.end()), stops_at.end());
    for (const double ph : stops_at) {
      for (long n = std::count(r.path.begin(), r.path.end(), ph); n > 0; --n) {
        ++e.non_convergences;
        if (hooks.on_non_convergence) hooks.on_non_convergence();
      }
    }
  }
  // The slope of the estimate's last secant step where the search's own trials were too close.
  e.ph_slope = r.slope == 0.0 && estimate ? estimate->slope : r.slope;
  e.decimal_trials = static_cast<int>(r.path.size());
}

}  // namespace

Evaluation Evaluate(const Sample& sample, const std::shared_ptr<const Conditions>& at,
                    double steam_fraction, std::optional<double> stored_toth, const Hooks& hooks) {
  const Dataset& dataset = *at->dataset;
  Evaluation e;
  e.dataset = &dataset;
  e.conditions = at;
  e.temperature = at->temperature;
  e.separation_temperature = sample.separation_temperature;
  e.steam_fraction = steam_fraction;
  e.totals = TotalFluid(sample, steam_fraction);

  // While the fast search runs, stops at the pass limit are only noted (see below).
  bool noting_stops = false;
  std::vector<double> stops_at, asked;
  auto pass_limit = [&] {
    if (noting_stops) {
      stops_at.push_back(e.ph);
      return;
    }
    ++e.non_convergences;
    if (hooks.on_non_convergence) hooks.on_non_convergence();
  };
  // What a speciation at `ph` leaves: its pH and speciation the current ones, its stop told.
  auto keep = [&](double ph, const speciation::Speciation& s) {
    e.ph = ph;
    if (noting_stops) asked.push_back(ph);
    if (!s.converged) {
      pass_limit();
      platform::ClearFpFaults();
    }
    e.speciation = s;
    ++e.trials;
  };
  auto speciate = [&](double ph) {
    e.ph = ph;
    if (noting_stops) asked.push_back(ph);
    e.speciation = speciation::Speciate(e.totals, ph, at->constants, at->activity, pass_limit);
    ++e.trials;
  };

  if (!stored_toth) {
    speciate(sample.ph);
    e.toth = e.speciation.tnew[thermo::kHydrogen];
  } else {
    // Each trial speciates at its pH and compares the TOTH with the target; the result is the
    // speciation of the last trial, whose pH is the one found.
    // A speciation that returns leaves the status clear of faults.
    const double target =
        dataset.TothTarget(*stored_toth, steam_fraction, sample.steam_co2, sample.steam_h2s);
    auto difference = [&] {
      e.toth = target;
      const double d = e.toth - e.speciation.tnew[thermo::kHydrogen];
      platform::CheckFp("the TOTH of the pH search");
      return d;
    };
    auto mismatch = [&](double ph) {
      speciate(ph);
      return difference();
    };
    // Speciations side by side, each as `mismatch` would have made it, in turn.
    speciation::MismatchSideBySide side_by_side = [&](std::span<const double> ph,
                                                      std::span<double> d) {
      const auto all = speciation::SpeciateSideBySide(e.totals, ph, at->constants, at->activity);
      if (!all) return false;
      for (std::size_t i = 0; i < ph.size(); ++i) {
        keep(ph[i], (*all)[i]);
        d[i] = difference();
      }
      return true;
    };
    bool found = false;
    if (hooks.search == Search::kFast) {
      // The search asks first for the last trials around an estimate of the pH; the sample's
      // measured pH is where the estimate starts without a neighbouring solution.
      const std::optional<speciation::PhEstimate> estimate =
          speciation::EstimatePh(e.totals, target, at->constants, at->activity,
                                 {hooks.ph_hint, hooks.ph_slope, sample.ph});
      noting_stops = true;
      try {
        FastSearch(mismatch, side_by_side, estimate, hooks, stops_at, asked, e);
        found = true;
      } catch (const Error&) {
        if (stops_at.empty()) throw;
      }
      noting_stops = false;
    }
    if (!found) {
      e.trials = 0;
      e.decimal_trials = speciation::DecimalPhSearch(mismatch).trials;
    }
  }

  e.saturation_index = saturation::SaturationIndices(e.speciation.activity, at->constants);
  return e;
}

Evaluation EvaluateMeasured(const Sample& sample, const std::shared_ptr<const Conditions>& at,
                            const Hooks& hooks) {
  return Evaluate(sample, at, 0.0, std::nullopt, hooks);
}

Evaluation EvaluateFromToth(const Sample& sample, double toth,
                            const std::shared_ptr<const Conditions>& at, bool steam_correction,
                            const Hooks& hooks) {
  const double y = SteamFraction(*at, sample.separation_temperature, steam_correction);
  return Evaluate(sample, at, y, toth, hooks);
}

Carried Carry(const Sample& sample, const std::shared_ptr<const Conditions>& at_ph_temperature,
              std::span<const std::shared_ptr<const Conditions>> targets, bool steam_correction,
              const Hooks& hooks) {
  Carried c;
  c.measured = EvaluateMeasured(sample, at_ph_temperature, hooks);
  c.at.reserve(targets.size());
  // Each target's search starts from the pH found at the ones before.
  Hooks warm = hooks;
  PhTrail trail;
  for (const auto& target : targets) {
    if (target->dataset != at_ph_temperature->dataset) {
      throw std::invalid_argument("Carry: a TOTH is carried within one dataset only");
    }
    if (const std::optional<double> hint = trail.Hint(target->temperature)) warm.ph_hint = hint;
    warm.ph_slope = trail.Slope(target->temperature);
    c.at.push_back(EvaluateFromToth(sample, c.measured.toth, target, steam_correction, warm));
    trail.Add(target->temperature, c.at.back().ph, c.at.back().ph_slope);
  }
  return c;
}

double Evaluation::ChargeBalancePercent() const {
  const Dataset& d = *dataset;
  double cations = 0.0;
  double anions = 0.0;
  for (int i = 1; i <= d.SpeciesCount(); ++i) {
    const int z = d.catalogue.Charge(i);
    const double equivalents = speciation.molality[i] * z;
    if (z > 0) cations += equivalents;
    if (z < 0) anions -= equivalents;
  }
  const double sum = cations + anions;
  return sum > 0.0 ? 100.0 * (cations - anions) / sum : 0.0;
}

std::vector<SpeciesResult> Evaluation::Species() const {
  std::vector<SpeciesResult> species;
  species.reserve(static_cast<std::size_t>(dataset->SpeciesCount()));
  for (int i = 1; i <= dataset->SpeciesCount(); ++i) species.push_back(Species({dataset, i}));
  return species;
}

SpeciesResult Evaluation::Species(SpeciesHandle handle) const {
  const Dataset& d = *dataset;
  if (handle.dataset != dataset) {
    throw NameError("a species handle of " +
                    std::string(handle.dataset ? handle.dataset->title : "no dataset") +
                    " used on a result of " + std::string(d.title));
  }
  if (handle.index < 1 || handle.index > d.SpeciesCount()) {
    throw NameError("species handle " + std::to_string(handle.index) + " is not one of " +
                    std::string(d.title) + "'s species 1.." + std::to_string(d.SpeciesCount()));
  }
  const int i = handle.index;
  SpeciesResult s;
  s.printed_name = d.catalogue.Name(i);
  s.name = d.SpeciesName(i);
  s.charge = d.catalogue.Charge(i);
  s.molality = speciation.molality[i];
  s.gamma = speciation.gamma[i];
  s.activity = speciation.activity[i];
  s.log_activity = std::log10(s.activity);
  s.switched_off =
      i > thermo::kWater && conditions->constants.aqueous_logk[i] == thermo::kSwitchedOffLogK;
  return s;
}

SpeciesResult Evaluation::Species(std::string_view name) const {
  return Species(dataset->Species(name));
}

std::vector<MineralResult> Evaluation::Minerals() const {
  std::vector<MineralResult> minerals;
  minerals.reserve(static_cast<std::size_t>(dataset->MineralCount()));
  for (int m = 1; m <= dataset->MineralCount(); ++m) minerals.push_back(Mineral({dataset, m}));
  return minerals;
}

MineralResult Evaluation::Mineral(MineralHandle handle) const {
  const Dataset& d = *dataset;
  if (handle.dataset != dataset) {
    throw NameError("a mineral handle of " +
                    std::string(handle.dataset ? handle.dataset->title : "no dataset") +
                    " used on a result of " + std::string(d.title));
  }
  if (handle.index < 1 || handle.index > d.MineralCount()) {
    throw NameError("mineral handle " + std::to_string(handle.index) + " is not one of " +
                    std::string(d.title) + "'s minerals 1.." + std::to_string(d.MineralCount()));
  }
  const int m = handle.index;
  MineralResult r;
  r.name = d.MineralName(m);
  r.log_k = conditions->constants.mineral_logk[m];
  r.si = saturation_index[m];
  // The index is ln(IAP/K) over the dataset's divisor; log IAP is the true log10.
  r.log_iap = r.si * d.si_divisor / std::log(10.0) + r.log_k;
  return r;
}

MineralResult Evaluation::Mineral(std::string_view name) const {
  return Mineral(dataset->Mineral(name));
}

double Evaluation::Si(std::string_view mineral_name) const {
  const std::optional<int> m = dataset->MineralIndex(mineral_name);
  if (!m) {
    throw std::out_of_range(std::string(dataset->title) + " has no mineral \"" +
                            std::string(mineral_name) + "\"");
  }
  return saturation_index[*m];
}

}  // namespace geofluid::engine
