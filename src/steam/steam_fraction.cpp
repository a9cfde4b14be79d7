#include "steam/steam_fraction.h"

#include <cstdio>
#include <string>

#include "platform/errors.h"
#include "thermo/interpolation.h"
#include "thermo/tables.h"

namespace geofluid::steam {

double FractionOfSteam(const thermo::ThermoStorage& storage) {
  const double latent = storage.vapour_enthalpy_ts - storage.liquid_enthalpy_ts;
  // The extrapolated steam table has no latent heat there: the quotient would be meaningless.
  if (!(latent > 0.0)) {
    char ts[32];
    std::snprintf(ts, sizeof ts, "%g", storage.separation_temperature);
    throw ArithmeticError(std::string("the separation temperature ") + ts +
                          " °C is outside the steam table (its latent heat is not positive)");
  }
  double y = (storage.liquid_enthalpy_t - storage.liquid_enthalpy_ts) / latent;
  if (!(y >= 0.0)) y = 0.0;
  return y;
}

double SteamFractionBetween(double celsius, double separation_celsius) {
  thermo::ThermoStorage storage;
  storage.separation_temperature = separation_celsius;
  const auto at_ts = thermo::LagrangeWeights(thermo::kStandardGrid, separation_celsius);
  const auto at_t = thermo::LagrangeWeights(thermo::kStandardGrid, celsius);
  storage.liquid_enthalpy_t = thermo::Interpolate(at_t, thermo::data::kSteamLiquidEnthalpy);
  storage.liquid_enthalpy_ts = thermo::Interpolate(at_ts, thermo::data::kSteamLiquidEnthalpy);
  storage.vapour_enthalpy_ts = thermo::Interpolate(at_ts, thermo::data::kSteamVapourEnthalpy);
  return FractionOfSteam(storage);
}

}  // namespace geofluid::steam
