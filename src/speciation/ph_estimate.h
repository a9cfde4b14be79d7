#pragma once

#include <cmath>
#include <optional>

#include "speciation/solver.h"
#include "thermo/equilibrium_constants.h"

namespace geofluid::speciation {

// Where D = target - TOTH of a speciation changes sign, for the fast pH search to ask first for
// the decimal search's last two trials around it (FastPhSearch's `estimate`). Newton's steps on
// the balances find it (SolveForToth); where they do not settle, runs of the same passes
// converged to looser tolerances do.
//
// The iteration's error at a tolerance moves D smoothly with pH, so it moves the sign change far
// less than the tolerance: over 30 random waters at 100-300 °C, the sign change of D at a
// tolerance of 1e-2 lay mostly within 1e-5 of that at 1e-12 (1.2e-4 at worst), and at 1e-8
// within about 1e-11, against 1e-9 for the last decimal step. So secant steps on D at 1e-2 (about 6
// passes a run) come near the sign change, and secant steps at 1e-9 settle it, each fine run after
// the first starting from the last one's molalities (the same fixed point, in fewer passes). From a
// neighbouring solution's pH the fine steps alone go.
struct EstimateStart {
  std::optional<double> hint;  // a neighbouring solution's pH
  double slope = 0.0;          // its dD/dpH, where positive
  double first = NAN;          // where to start without a hint (or where it misses)
  bool newton = true;          // false: the loose runs alone
};
struct PhEstimate {
  double ph = 0.0;
  double slope = 0.0;  // dD/dpH from the last secant step
};
// nullopt where there is no estimate: a floating-point fault, a run that does not converge within
// a few times Speciate's usual passes, no sign change in pH -5..16, steps that do not settle.
// The floating-point status is left clear.
std::optional<PhEstimate> EstimatePh(const Totals& totals, double target,
                                     const thermo::EquilibriumConstants& constants,
                                     const ActivityModel& model, const EstimateStart& start);

}  // namespace geofluid::speciation
