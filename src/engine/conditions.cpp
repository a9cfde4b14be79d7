#include <algorithm>
#include <cmath>
#include <cstdio>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <tuple>

#include "engine/engine.h"
#include "platform/errors.h"
#include "platform/fp_status.h"
#include "steam/steam_fraction.h"
#include "thermo/interpolation.h"
#include "thermo/tables.h"

namespace geofluid::engine {

namespace {

class Specified final : public TableScheme {
 public:
  std::string_view Name() const override { return "specified"; }
  void Interpolate(thermo::ThermoStorage& storage) const override { storage.InterpolateTables(); }
};

std::string Celsius(double t) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", t);
  return text;
}

}  // namespace

const TableScheme& SpecifiedScheme() {
  static const Specified scheme;
  return scheme;
}

Conditions ConditionsFrom(const Dataset& dataset, const thermo::ThermoStorage& storage,
                          const TableScheme& scheme) {
  Conditions c;
  c.dataset = &dataset;
  c.temperature = storage.calculation_temperature;
  c.scheme = &scheme;
  c.constants = thermo::ConstantsFor(dataset.id, storage);
  c.activity = {storage.debye_huckel_a, storage.debye_huckel_b, storage.bdot};
  c.liquid_enthalpy = storage.liquid_enthalpy_t;
  return c;
}

std::shared_ptr<const Conditions> Prepare(const Dataset& dataset, double temperature,
                                          const TableScheme& scheme) {
  if (!std::isfinite(temperature)) {
    throw ArithmeticError("the calculation temperature " + Celsius(temperature) +
                          " is not a finite number");
  }
  thermo::ThermoStorage storage;
  storage.calculation_temperature = temperature;
  storage.separation_temperature = temperature;
  platform::ClearFpFaults();
  scheme.Interpolate(storage);
  platform::CheckFp("the interpolation of the tables to " + Celsius(temperature) + " °C");
  auto c = std::make_shared<Conditions>(ConditionsFrom(dataset, storage, scheme));
  platform::CheckFp("the equilibrium constants at " + Celsius(temperature) + " °C");
  return c;
}

double SteamFraction(const Conditions& at, double separation_temperature, bool steam_correction) {
  if (!steam_correction) return 0.0;
  if (!std::isfinite(separation_temperature)) {
    throw ArithmeticError("the separation temperature " + Celsius(separation_temperature) +
                          " is not a finite number");
  }
  thermo::ThermoStorage storage;
  storage.calculation_temperature = at.temperature;
  storage.separation_temperature = separation_temperature;
  platform::ClearFpFaults();
  if (at.scheme == nullptr || at.scheme == &SpecifiedScheme()) {
    // Only the enthalpies: the same weights and sums as the full interpolation.
    const auto weights = thermo::LagrangeWeights(thermo::kStandardGrid, separation_temperature);
    storage.liquid_enthalpy_ts = thermo::Interpolate(weights, thermo::data::kSteamLiquidEnthalpy);
    storage.vapour_enthalpy_ts = thermo::Interpolate(weights, thermo::data::kSteamVapourEnthalpy);
  } else {
    at.scheme->Interpolate(storage);
  }
  storage.liquid_enthalpy_t = at.liquid_enthalpy;
  // The message only for a fault: formatting the temperature at every point cost four times
  // the rest of this function.
  if (platform::FpFaultRaised())
    platform::CheckFp("the steam table at " + Celsius(separation_temperature) + " °C");
  const double y = steam::FractionOfSteam(storage);
  platform::CheckFp("the fraction of steam");
  return y;
}

struct ConditionsCache::Impl {
  using Key = std::tuple<const Dataset*, double, const TableScheme*>;
  struct Entry {
    Key key;
    std::shared_ptr<const Conditions> conditions;
  };
  std::size_t capacity = 1;
  mutable std::mutex mutex;
  std::list<Entry> recent;  // most recently asked for first
  std::map<Key, std::list<Entry>::iterator> prepared;
};

ConditionsCache::ConditionsCache(std::size_t capacity) : impl_(std::make_unique<Impl>()) {
  impl_->capacity = std::max<std::size_t>(1, capacity);
}
ConditionsCache::~ConditionsCache() = default;

std::size_t ConditionsCache::Size() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->prepared.size();
}

std::shared_ptr<const Conditions> ConditionsCache::Get(const Dataset& dataset, double temperature,
                                                       const TableScheme& scheme) {
  if (!std::isfinite(temperature)) return Prepare(dataset, temperature, scheme);  // throws
  const auto key = std::make_tuple(&dataset, temperature, &scheme);
  Impl& c = *impl_;
  {
    std::lock_guard lock(c.mutex);
    if (auto it = c.prepared.find(key); it != c.prepared.end()) {
      c.recent.splice(c.recent.begin(), c.recent, it->second);
      return it->second->conditions;
    }
  }
  // Prepared outside the lock: two threads may both prepare the same key, and the first one
  // stored wins; both results are identical.
  auto prepared = Prepare(dataset, temperature, scheme);
  std::lock_guard lock(c.mutex);
  if (auto it = c.prepared.find(key); it != c.prepared.end()) return it->second->conditions;
  c.recent.push_front(Impl::Entry{key, std::move(prepared)});
  c.prepared.emplace(key, c.recent.begin());
  while (c.prepared.size() > c.capacity) {
    c.prepared.erase(c.recent.back().key);
    c.recent.pop_back();
  }
  return c.recent.front().conditions;
}

}  // namespace geofluid::engine
