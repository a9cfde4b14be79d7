#include <unordered_map>

#include "interp/steffen.h"
#include "thermo/interpolation.h"
#include "thermo/tables.h"

namespace geofluid::interp {
namespace {

// A SteffenTable for every node table of the program, keyed by where its values lie. Built once,
// then only read, from any thread.
class PreparedTables {
 public:
  PreparedTables() {
    for (const auto& row : thermo::data::kSolveqAqueousLogK) Add(thermo::kStandardGrid, row);
    for (const auto& row : thermo::data::kSupcrtAqueousGibbs) Add(thermo::kStandardGrid, row);
    for (const auto& row : thermo::data::kSupcrtMineralGibbs) Add(thermo::kStandardGrid, row);
    Add(thermo::kStandardGrid, thermo::data::kSteamLiquidEnthalpy);
    Add(thermo::kStandardGrid, thermo::data::kSteamVapourEnthalpy);
    Add(thermo::kFineGrid, thermo::data::kDebyeHuckelA);
    Add(thermo::kFineGrid, thermo::data::kDebyeHuckelB);
    Add(thermo::data::kBdotNodes, thermo::data::kBdot);
  }

  double Value(std::span<const double> nodes, std::span<const double> values, double t) const {
    const auto found = tables_.find(values.data());
    if (found != tables_.end() && found->second.nodes == nodes.data()) {
      return found->second.table.Value(t);
    }
    return SteffenValue(nodes, values, t);  // a table of someone else's: prepared on the spot
  }

 private:
  struct Entry {
    const double* nodes;
    SteffenTable table;
  };
  template <std::size_t N>
  void Add(const std::array<double, N>& nodes, const std::array<double, N>& values) {
    tables_.emplace(values.data(), Entry{nodes.data(), SteffenTable(nodes, values)});
  }
  std::unordered_map<const double*, Entry> tables_;
};

const PreparedTables& Prepared() {
  static const PreparedTables tables;
  return tables;
}

class Steffen final : public engine::TableScheme {
 public:
  std::string_view Name() const override { return "steffen"; }
  void Interpolate(thermo::ThermoStorage& storage) const override {
    const PreparedTables& tables = Prepared();
    storage.InterpolateTables([&tables](std::span<const double> nodes,
                                        std::span<const double> values,
                                        double t) { return tables.Value(nodes, values, t); });
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
