#pragma once

#include <array>
#include <optional>

#include "speciation/solver.h"

namespace geofluid::speciation {

// Two speciations of the same totals at two pH values, run side by side in the two halves of
// the processor's 128-bit registers. Each half takes exactly the operations of Speciate in its
// order, and IEEE 754 rounds each alike whatever the width, so each result is Speciate's bit for
// bit. The pass-limit hook is not called: `converged` tells. nullopt, with nothing else changed,
// where either raised a floating-point fault: the caller then speciates one after the other, so
// that the fault and its message are Speciate's.
//
// The pH search asks for two independent speciations at a time twice per warm point (pH 10 with
// the hint, and the last two trials); side by side they share their loads, loops and divisions.
std::optional<std::array<Speciation, 2>> SpeciatePair(const Totals& totals,
                                                      std::array<double, 2> ph,
                                                      const thermo::EquilibriumConstants& constants,
                                                      const ActivityModel& model);

}  // namespace geofluid::speciation
