#include "speciation/ph_estimate.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/errors.h"
#include "platform/fp_status.h"
#include "speciation/iteration.h"
#include "speciation/toth_newton.h"

namespace geofluid::speciation {

namespace {

// The tolerances, chosen by the passes they cost over the 100 x 41 and 1,000 x 250 °C tables
// of bench/ (each a pass of Speciate's): a coarse run takes about 6 passes, a fine one 10.
constexpr double kCoarse = 1e-2;  // steps towards the sign change
constexpr double kFirst = 1e-6;   // the first fine run, from the start row
constexpr double kFine = 1e-9;    // the fine runs after it, each from the last
// A run still going after this many passes is no cheap estimate (Speciate's take about 20).
constexpr int kMostPasses = 80;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// D at a loose tolerance, the fine runs started from the molalities of the last run.
class LooseMismatch {
 public:
  LooseMismatch(const Totals& totals, double target, const thermo::EquilibriumConstants& constants,
                const ActivityModel& model)
      : totals_(totals), target_(target), constants_(constants), model_(model) {}

  // NaN where the run does not converge in time; throws ArithmeticError on a fault.
  double operator()(double ph, double tolerance, bool from_last) {
    Iteration iteration(constants_, model_, tolerance);
    iteration.Start(totals_, ph);
    Iteration::State state = iteration.Pass();
    if (from_last && have_last_ && state == Iteration::State::kContinue) {
      // Pass 1 fixes the hydrogen molality of this pH (10^-pH over the coefficient of the
      // start row); the other molalities start from the last answer.
      Iteration::SpeciesVector start = last_;
      start[thermo::kHydrogen] = iteration.Scaled()[thermo::kHydrogen];
      iteration.Resume(totals_, start, start, 2);
    }
    while (state == Iteration::State::kContinue) {
      if (iteration.PassCounter() > kMostPasses) return kNaN;
      state = iteration.Pass();
    }
    if (state != Iteration::State::kConverged) return kNaN;
    last_ = iteration.Scaled();
    have_last_ = true;
    return target_ - TotalHydrogen(constants_.dataset, last_);
  }

 private:
  const Totals& totals_;
  double target_;
  const thermo::EquilibriumConstants& constants_;
  const ActivityModel& model_;
  Iteration::SpeciesVector last_{};
  bool have_last_ = false;
};

// Secant steps in pH on D at the coarse tolerance from `first`, kept inside the bracket once
// there is one, until a step is shorter than a thousandth of a unit.
std::optional<PhEstimate> Coarse(LooseMismatch& mismatch, double first) {
  constexpr double kLowest = -5.0, kHighest = 16.0, kClose = 1e-3;
  constexpr double kInf = std::numeric_limits<double>::infinity();
  double below = -kInf, above = kInf;  // the highest pH with D < 0, the lowest with D > 0
  double x0 = first, f0 = mismatch(x0, kCoarse, false);
  double x1 = x0 + (f0 > 0.0 ? -1.0 : 1.0), f1 = f0;
  if (f0 != 0.0) f1 = mismatch(x1, kCoarse, false);
  for (int i = 0; i < 16; ++i) {
    if (!std::isfinite(f0) || !std::isfinite(f1)) return std::nullopt;
    if (f1 == 0.0) return PhEstimate{x1, 0.0};
    for (const auto& [x, f] : {std::pair{x0, f0}, std::pair{x1, f1}}) {
      if (f < 0.0) below = std::max(below, x);
      if (f > 0.0) above = std::min(above, x);
    }
    if (!(below < above)) return std::nullopt;  // D does not rise with pH
    double x2 = f1 != f0 ? x1 - f1 * (x1 - x0) / (f1 - f0) : x1 + (f1 > 0.0 ? -1.0 : 1.0);
    // A secant on the flank of a titration curve may go far: two units at most, and into the
    // bracket where there is one.
    x2 = std::clamp(x2, x1 - 2.0, x1 + 2.0);
    if (below > -kInf && above < kInf && !(x2 > below && x2 < above)) x2 = 0.5 * (below + above);
    if (!std::isfinite(x2) || x2 < kLowest || x2 > kHighest) return std::nullopt;
    if (std::fabs(x2 - x1) < kClose) return PhEstimate{x2, (f1 - f0) / (x1 - x0)};
    x0 = x1;
    f0 = f1;
    x1 = x2;
    f1 = mismatch(x1, kCoarse, false);
  }
  return std::nullopt;
}

// Secant steps on D at the fine tolerance from x0 (the first from `slope`, or a short one)
// until the next step's error, about the product of the last two steps, is far below the last
// decimal step.
std::optional<PhEstimate> Refine(LooseMismatch& mismatch, double x0, double slope, double window) {
  constexpr double kEnough = 1e-9;
  const double lowest = x0 - window, highest = x0 + window;
  double f0 = mismatch(x0, kFirst, true);
  if (!std::isfinite(f0)) return std::nullopt;
  if (f0 == 0.0) return PhEstimate{x0, slope};
  if (!(slope > 0.0 && std::isfinite(slope))) slope = 0.0;
  double step = f0 > 0.0 ? 1e-3 : -1e-3;
  if (slope > 0.0) {
    step = std::clamp(f0 / slope, -window, window);
    if (std::fabs(step) < 1e-11) return PhEstimate{x0 - step, slope};  // Newton's step settles it
  }
  double x1 = x0 - step;
  for (int i = 0; i < 8; ++i) {
    if (!(x1 >= lowest && x1 <= highest)) return std::nullopt;
    const double f1 = mismatch(x1, kFine, true);
    if (!std::isfinite(f1) || f1 == f0) return std::nullopt;
    const double secant = (f1 - f0) / (x1 - x0);
    if (f1 == 0.0) return PhEstimate{x1, secant};
    const double x2 = x1 - f1 / secant;
    if (!std::isfinite(x2)) return std::nullopt;
    if (2.0 * std::fabs(x2 - x1) * std::fabs(x1 - x0) < kEnough || std::fabs(x2 - x1) < 1e-13) {
      return PhEstimate{x2, secant};
    }
    x0 = x1;
    f0 = f1;
    x1 = x2;
  }
  return std::nullopt;
}

}  // namespace

std::optional<PhEstimate> EstimatePh(const Totals& totals, double target,
                                     const thermo::EquilibriumConstants& constants,
                                     const ActivityModel& model, const EstimateStart& start) {
  std::optional<PhEstimate> estimate;
  try {
    LooseMismatch mismatch(totals, target, constants, model);
    // Newton's steps on the balances first, from the neighbouring solution's pH or the first
    // guess; the loose runs of the passes where they do not settle.
    const bool hinted = start.hint && *start.hint >= 0.0 && *start.hint <= 14.0;
    if (start.newton && (hinted || std::isfinite(start.first))) {
      const double from = hinted ? *start.hint : std::clamp(start.first, 0.0, 14.0);
      if (const std::optional<TothRoot> root =
              SolveForToth(totals, target, constants, model, from)) {
        estimate = PhEstimate{root->ph, root->slope};
      }
    }
    // A neighbouring solution's pH is near enough for the fine steps alone.
    if (!estimate && hinted) estimate = Refine(mismatch, *start.hint, start.slope, 1.0);
    if (!estimate && std::isfinite(start.first)) {
      if (const std::optional<PhEstimate> coarse =
              Coarse(mismatch, std::clamp(start.first, 0.0, 14.0))) {
        estimate = Refine(mismatch, coarse->ph, coarse->slope, 0.1);
      }
    }
  } catch (const Error&) {
    estimate.reset();
  }
  platform::ClearFpFaults();
  return estimate;
}

}  // namespace geofluid::speciation
