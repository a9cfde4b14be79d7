#pragma once

#include <array>
#include <optional>
#include <span>
#include <vector>

#include "speciation/solver.h"

namespace geofluid::speciation {

// Two or more speciations of the same totals, in the order of `ph`, run side by side in the two
// halves of the processor's 128-bit registers: each lane, once its speciation ends, starts the
// next, so a long one (pH 10, far from the root) runs beside two short ones. Each half takes
// exactly the operations of Speciate in its order, and IEEE 754 rounds each alike whatever the
// width, so each result is Speciate's bit for bit. The pass-limit hook is not called:
// `converged` tells. nullopt, with nothing else changed, where any raised a floating-point
// fault: the caller then speciates one after the other, so that the fault and its message are
// Speciate's.
//
// The pH search asks for two or three independent speciations at a time (pH 10 with the last
// two trials, for one); side by side they share their loads, loops and divisions.
std::optional<std::vector<Speciation>> SpeciateSideBySide(
    const Totals& totals, std::span<const double> ph, const thermo::EquilibriumConstants& constants,
    const ActivityModel& model);

}  // namespace geofluid::speciation
