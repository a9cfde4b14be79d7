#pragma once

// Concentrations as laboratories report them (mg/kg, mg/L, mol/kg, and the steam's gases) and
// the molalities the calculation takes: geofluid::units::ToMolality, Concentration,
// DissolvedSolids. Throws units::UnitError (a geofluid::Error).

#include "geofluid/error.h"
#include "units/units.h"
