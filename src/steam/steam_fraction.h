#pragma once

#include "thermo/thermo_storage.h"

namespace geofluid::steam {

// Mass fraction of steam formed when the fluid boils at constant enthalpy from T down to Ts:
// 0 with option1 (the pH measurement temperature) or check1 (no steam correction), and 0 when
// the quotient is not >= 0. Throws ArithmeticError when the latent heat at Ts is not positive,
// which only happens far outside the steam table.
double FractionOfSteam(const thermo::ThermoStorage& storage, bool option1, bool check1);

// The same balance for a liquid at `celsius` boiled down to `separation_celsius`, with the
// enthalpies of the steam table interpolated as the specified scheme does (Lagrange through the
// 0-300 °C nodes): 0 where celsius <= separation_celsius. Throws ArithmeticError outside the
// steam table. Cheap enough to call inside a root search.
double SteamFractionBetween(double celsius, double separation_celsius);

}  // namespace geofluid::steam
