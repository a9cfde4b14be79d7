#pragma once

// Reservoir temperatures from the fluid, in geofluid::geothermometry: the multicomponent
// estimate from the saturation indices of a mineral set over a temperature sweep
// (EstimateTemperature, AssessReservoir), the solute geothermometers and the Na-K-Mg triangle.
// An unknown mineral throws geothermometry::UnknownMineral (a geofluid::Error).

#include "geofluid/evaluation.h"
#include "geothermometry/estimate.h"
