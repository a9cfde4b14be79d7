#pragma once

// The two thermodynamic datasets, "solveq" and "supcrt": each object holds everything that
// differs between them (species, minerals, complexes, the saturation index's divisor).
// Species and minerals are found by name and kept as typed handles:
//
//   const geofluid::Dataset& d = *geofluid::Dataset::FromKey("supcrt");
//   const geofluid::MineralHandle quartz = d.Mineral("QUARTZ");   // throws NameError

#include "engine/engine.h"
#include "geofluid/error.h"

namespace geofluid {

using Dataset = engine::Dataset;
using SpeciesHandle = engine::SpeciesHandle;
using MineralHandle = engine::MineralHandle;

}  // namespace geofluid
