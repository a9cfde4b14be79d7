#include "interp/steffen.h"

namespace geofluid::interp {
namespace {

class Steffen final : public engine::TableScheme {
 public:
  std::string_view Name() const override { return "steffen"; }
  void Interpolate(thermo::ThermoStorage& storage) const override {
    storage.InterpolateTables(&SteffenValue);
  }
};

}  // namespace

const engine::TableScheme& SteffenScheme() {
  static const Steffen scheme;
  return scheme;
}

const engine::TableScheme* SchemeByName(std::string_view name) {
  if (name == "specified") return &engine::SpecifiedScheme();
  if (name == "steffen") return &SteffenScheme();
  return nullptr;
}

}  // namespace geofluid::interp
