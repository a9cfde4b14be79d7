#include "steam/steam_fraction.h"

#include <cstdio>
#include <string>

#include "platform/errors.h"

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

}  // namespace geofluid::steam
