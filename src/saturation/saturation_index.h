#pragma once

#include <array>

#include "thermo/catalogue.h"
#include "thermo/equilibrium_constants.h"

namespace geofluid::saturation {

// The divisor that turns ln(IAP/K) into the index (the catalogue's si_divisor).
double SaturationDivisor(thermo::DatasetId dataset);

// SI = ln(IAP/K) / divisor for every mineral 1..M of the dataset, from the final activities.
// Throws ArithmeticError naming the mineral on a floating-point fault.
std::array<double, thermo::kMineralSlots> SaturationIndices(
    const std::array<double, thermo::kMaxSpecies + 1>& activity,
    const thermo::EquilibriumConstants& constants);

}  // namespace geofluid::saturation
