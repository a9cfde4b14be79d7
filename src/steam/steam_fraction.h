#pragma once

#include "thermo/thermo_storage.h"

namespace geofluid::steam {

// Mass fraction of steam formed when the fluid boils at constant enthalpy from T down to Ts;
// 0 when the quotient is not >= 0. Throws ArithmeticError when the latent heat at Ts is not
// positive, which only happens far outside the steam table.
double FractionOfSteam(const thermo::ThermoStorage& storage);

// The same balance for a liquid at `celsius` boiled down to `separation_celsius`, with the
// enthalpies of the steam table interpolated as the specified scheme does (Lagrange through the
// 0-300 °C nodes): 0 where celsius <= separation_celsius. Throws ArithmeticError outside the
// steam table. Cheap enough to call inside a root search.
double SteamFractionBetween(double celsius, double separation_celsius);

// The enthalpies of the steam table at a separation temperature, for a search that evaluates
// the balance at many temperatures above one separator: SteamFractionFrom(t, SeparationAt(ts))
// equals SteamFractionBetween(t, ts) to the last bit. SeparationAt throws ArithmeticError as
// FractionOfSteam does.
struct Separation {
  double celsius = 0.0;
  double liquid_enthalpy = 0.0;  // h_l(Ts), kJ/kg
  double vapour_enthalpy = 0.0;  // h_v(Ts)
};
Separation SeparationAt(double separation_celsius);
double SteamFractionFrom(double celsius, const Separation& separation);

}  // namespace geofluid::steam
