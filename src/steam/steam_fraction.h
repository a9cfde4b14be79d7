#pragma once

#include "thermo/thermo_storage.h"

namespace geofluid::steam {

// Mass fraction of steam formed when the fluid boils at constant enthalpy from T down to Ts;
// 0 when the quotient is not >= 0. Throws ArithmeticError when the latent heat at Ts is not
// positive, which only happens far outside the steam table.
double FractionOfSteam(const thermo::ThermoStorage& storage);

}  // namespace geofluid::steam
