#pragma once

#include "thermo/thermo_storage.h"

namespace geofluid::steam {

// Mass fraction of steam formed when the fluid boils at constant enthalpy from T down to Ts:
// 0 with option1 (the pH measurement temperature) or check1 (no steam correction), and 0 when
// the quotient is not >= 0. Throws ArithmeticError when the latent heat at Ts is not positive,
// which only happens far outside the steam table.
double FractionOfSteam(const thermo::ThermoStorage& storage, bool option1, bool check1);

}  // namespace geofluid::steam
