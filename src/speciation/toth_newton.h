#pragma once

#include <optional>

#include "speciation/solver.h"
#include "thermo/equilibrium_constants.h"

namespace geofluid::speciation {

// The pH at which the speciation's fixed point has TOTH = `target`, by Newton's method on the
// balances themselves rather than by the passes, which converge linearly (about a decade in
// 1.5 passes) where Newton's steps converge quadratically.
//
// The fixed point of the passes is the state in which every balance is met (the recomputed
// totals equal the totals), every complex is in equilibrium with the basis activities and the
// activity coefficients are those of the state's own ionic strength; the hydrogen molality is
// the one pass 1 fixes from the pH. Newton's steps solve the twelve balances and TOTH = target
// for the logarithms of the thirteen basis molalities (H+ included), with the activity
// coefficients of each step's ionic strength held in its Jacobian. The pH is then the one whose
// pass 1 gives that hydrogen molality.
struct TothRoot {
  double ph = 0.0;
  double slope = 0.0;  // dD/dpH there (D = target - TOTH), with the coefficients held
  int steps = 0;       // Newton steps taken
};
// nullopt where the steps do not settle within a few dozen, a Jacobian is singular or a value is
// not finite. Starts from pass 1 at `start_ph`. May raise floating-point flags; the caller
// clears them.
std::optional<TothRoot> SolveForToth(const Totals& totals, double target,
                                     const thermo::EquilibriumConstants& constants,
                                     const ActivityModel& model, double start_ph);

}  // namespace geofluid::speciation
