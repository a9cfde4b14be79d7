#include "interp/steffen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "thermo/catalogue.h"
#include "thermo/equilibrium_constants.h"
#include "thermo/interpolation.h"
#include "thermo/tables.h"
#include "thermo/thermo_storage.h"

namespace geofluid::interp {
namespace {

using thermo::ThermoStorage;

ThermoStorage Specified(double t, double ts) {
  ThermoStorage s;
  s.calculation_temperature = t;
  s.separation_temperature = ts;
  s.InterpolateTables();
  return s;
}

ThermoStorage Steffen(double t, double ts) {
  ThermoStorage s;
  s.calculation_temperature = t;
  s.separation_temperature = ts;
  s.InterpolateTables(&SteffenValue);
  return s;
}

// At a node the Lagrange weights are exactly 1 and 0 and the Steffen cubic of the node's
// interval starts at the node's value, so both give the stored number.
TEST(Steffen, BothSchemesAgreeOnEveryNodeBitForBit) {
  for (double t : thermo::kStandardGrid) {
    const ThermoStorage a = Specified(t, t);
    const ThermoStorage b = Steffen(t, t);
    for (int k = 15; k <= 61; ++k) EXPECT_EQ(a.solveq_logk[k], b.solveq_logk[k]) << t;
    for (int i = 1; i <= 54; ++i)
      EXPECT_EQ(a.supcrt_aqueous_gibbs[i], b.supcrt_aqueous_gibbs[i]) << t << " " << i;
    for (int m = 1; m <= 47; ++m)
      EXPECT_EQ(a.supcrt_mineral_gibbs[m], b.supcrt_mineral_gibbs[m]) << t << " " << m;
    for (int m = 1; m <= 38; ++m) EXPECT_EQ(a.solveq_mineral_logk[m], b.solveq_mineral_logk[m]);
    EXPECT_EQ(a.liquid_enthalpy_t, b.liquid_enthalpy_t) << t;
    EXPECT_EQ(a.liquid_enthalpy_ts, b.liquid_enthalpy_ts) << t;
    EXPECT_EQ(a.vapour_enthalpy_ts, b.vapour_enthalpy_ts) << t;
  }
  for (double t : thermo::kFineGrid) {
    EXPECT_EQ(Specified(t, 100.0).debye_huckel_a, Steffen(t, 100.0).debye_huckel_a) << t;
    EXPECT_EQ(Specified(t, 100.0).debye_huckel_b, Steffen(t, 100.0).debye_huckel_b) << t;
  }
  for (double t : thermo::data::kBdotNodes) {
    EXPECT_EQ(Specified(t, 100.0).bdot, Steffen(t, 100.0).bdot) << t;
  }
}

int SupcrtMineral(std::string_view name) {
  const thermo::Catalogue& c = thermo::CatalogueOf(thermo::DatasetId::kSupcrt);
  for (int m = 1; m <= c.mineral_count; ++m) {
    if (thermo::TrimmedName(c.MineralLabel(m)) == name) return m;
  }
  ADD_FAILURE() << name;
  return 1;
}

double SupcrtLogK(const ThermoStorage& s, int mineral) {
  return thermo::SupcrtConstants(s).mineral_logk[mineral];
}

// The global polynomial puts SUPCRT98 quartz log K about 0.9 below both neighbouring nodes near
// 7 °C and 0.6 below near 290 °C; wollastonite is off by several log units near 7 °C. The
// Steffen values stay between the nodes.
TEST(Steffen, RemovesTheSwingOfTheGlobalPolynomial) {
  struct Case {
    std::string_view mineral;
    double t, below, above;
    double swing;  // the specified scheme's distance outside the nodes' span at least
  };
  for (const Case& c :
       {Case{"QUARTZ", 7.0, 0.0, 25.0, 0.5}, Case{"QUARTZ", 290.0, 275.0, 300.0, 0.3},
        Case{"WOLLASTONITE", 7.0, 0.0, 25.0, 2.0}}) {
    const int m = SupcrtMineral(c.mineral);
    const double lo_node = SupcrtLogK(Specified(c.below, 25.0), m);
    const double hi_node = SupcrtLogK(Specified(c.above, 25.0), m);
    const double lo = std::min(lo_node, hi_node);
    const double hi = std::max(lo_node, hi_node);
    const double specified = SupcrtLogK(Specified(c.t, 25.0), m);
    const double steffen = SupcrtLogK(Steffen(c.t, 25.0), m);
    EXPECT_TRUE(specified < lo - c.swing || specified > hi + c.swing)
        << c.mineral << " at " << c.t << ": " << specified << " vs " << lo << ".." << hi;
    EXPECT_GE(steffen, lo) << c.mineral << " at " << c.t;
    EXPECT_LE(steffen, hi) << c.mineral << " at " << c.t;
  }
}

TEST(Steffen, ContinuesLinearlyBeyondTheNodesAndRefusesBadInput) {
  const std::vector<double> x{0.0, 1.0, 2.0, 4.0};
  const std::vector<double> y{0.0, 1.0, 4.0, 3.0};
  // A local maximum at node 2 has slope 0 (Steffen's rule at extrema): never above 4 in between.
  for (double t = 2.0; t <= 4.0; t += 0.125) EXPECT_LE(SteffenValue(x, y, t), 4.0) << t;
  // Beyond the ends: straight lines with the end slopes, continuous at the ends.
  const double slope_lo = (SteffenValue(x, y, 1e-6) - 0.0) / 1e-6;
  EXPECT_NEAR(SteffenValue(x, y, -2.0), -2.0 * slope_lo, 1e-4);
  const double slope_hi = (3.0 - SteffenValue(x, y, 4.0 - 1e-6)) / 1e-6;
  EXPECT_NEAR(SteffenValue(x, y, 6.0), 3.0 + 2.0 * slope_hi, 1e-4);
  EXPECT_NE(SteffenValue(x, y, 6.0), SteffenValue(x, y, 5.0));  // no clamp
  // Far outside the tables a thermodynamic run stays finite (the global polynomial does too,
  // but by 10^5 kJ/mol for some Gibbs energies).
  const ThermoStorage far = Steffen(350.0, 100.0);
  for (int m = 1; m <= 47; ++m) EXPECT_TRUE(std::isfinite(far.supcrt_mineral_gibbs[m]));

  EXPECT_THROW(SteffenValue(x, y, NAN), std::invalid_argument);
  EXPECT_THROW(SteffenValue(std::vector<double>{0.0, 1.0}, std::vector<double>{0.0, 1.0}, 0.5),
               std::invalid_argument);
  EXPECT_THROW(SteffenValue(std::vector<double>{0.0, 2.0, 1.0},
                            std::span<const double>(y).subspan(0, 3), 0.5),
               std::invalid_argument);
  EXPECT_THROW(SteffenValue(x, std::vector<double>{0.0, 1.0, 2.0}, 0.5), std::invalid_argument);
}

TEST(SteffenScheme, NamedAndFoundByName) {
  EXPECT_EQ(SteffenScheme().Name(), "steffen");
  EXPECT_EQ(SchemeByName("steffen"), &SteffenScheme());
  EXPECT_EQ(SchemeByName("specified"), &engine::SpecifiedScheme());
  EXPECT_EQ(SchemeByName("Steffen"), nullptr);
  EXPECT_EQ(SchemeByName(""), nullptr);
}

// Through the engine: at every node the prepared constants of both schemes are the same numbers,
// between nodes Steffen keeps SUPCRT98 quartz between its neighbours, and it prepares every
// temperature of a sweep, beyond the tables too, without a floating-point fault.
TEST(SteffenScheme, PreparesConditionsLikeTheSpecifiedOneAtTheNodes) {
  for (thermo::DatasetId id : {thermo::DatasetId::kSolveq, thermo::DatasetId::kSupcrt}) {
    const engine::Dataset& d = engine::Dataset::Of(id);
    for (double t : thermo::kStandardGrid) {
      const auto a = engine::Prepare(d, t);
      const auto b = engine::Prepare(d, t, SteffenScheme());
      EXPECT_EQ(b->scheme, &SteffenScheme());
      for (int i = 15; i <= d.SpeciesCount(); ++i)
        EXPECT_EQ(a->constants.aqueous_logk[i], b->constants.aqueous_logk[i]) << t << " " << i;
      for (int m = 1; m <= d.MineralCount(); ++m)
        EXPECT_EQ(a->constants.mineral_logk[m], b->constants.mineral_logk[m]) << t << " " << m;
      EXPECT_EQ(a->liquid_enthalpy, b->liquid_enthalpy);
      if (t == 0.0 || t == 100.0 || t == 200.0 || t == 300.0) {  // nodes of all three grids
        EXPECT_EQ(a->activity.a, b->activity.a);
        EXPECT_EQ(a->activity.b, b->activity.b);
        EXPECT_EQ(a->activity.bdot, b->activity.bdot);
      }
      EXPECT_EQ(engine::SteamFraction(*a, 100.0, true), engine::SteamFraction(*b, 100.0, true));
    }
  }
  const engine::Dataset& supcrt = engine::Dataset::Of(thermo::DatasetId::kSupcrt);
  const int quartz = supcrt.HeldMineralIndex("QUARTZ");
  ASSERT_GT(quartz, 0);
  const double at275 = engine::Prepare(supcrt, 275.0)->constants.mineral_logk[quartz];
  const double at300 = engine::Prepare(supcrt, 300.0)->constants.mineral_logk[quartz];
  const double at290 =
      engine::Prepare(supcrt, 290.0, SteffenScheme())->constants.mineral_logk[quartz];
  // The scheme's tables, prepared once, give the numbers of a table prepared on the spot.
  const ThermoStorage on_the_spot = Steffen(290.0, 290.0);
  EXPECT_EQ(at290, thermo::SupcrtConstants(on_the_spot).mineral_logk[quartz]);
  EXPECT_GT(at290, std::min(at275, at300));
  EXPECT_LT(at290, std::max(at275, at300));
  for (double t = -20.0; t <= 350.0; t += 2.5) {
    EXPECT_NO_THROW(engine::Prepare(supcrt, t, SteffenScheme())) << t;
    EXPECT_NO_THROW(
        engine::Prepare(engine::Dataset::Of(thermo::DatasetId::kSolveq), t, SteffenScheme()))
        << t;
  }
}

// The tables are prepared on first use by whichever thread comes first, then shared: threads
// starting together get the numbers of a run alone.
TEST(SteffenScheme, ThreadsShareThePreparedTables) {
  const engine::Dataset& d = engine::Dataset::Of(thermo::DatasetId::kSupcrt);
  std::vector<double> temperatures;
  for (double t = 0.0; t <= 300.0; t += 7.5) temperatures.push_back(t);
  std::vector<std::vector<double>> seen(4);
  std::vector<std::thread> threads;
  for (std::size_t k = 0; k < seen.size(); ++k) {
    threads.emplace_back([&, k] {
      for (double t : temperatures) {
        const auto c = engine::Prepare(d, t, SteffenScheme());
        seen[k].insert(seen[k].end(), c->constants.mineral_logk.begin(),
                       c->constants.mineral_logk.end());
        seen[k].push_back(c->activity.a);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  std::vector<double> alone;
  for (double t : temperatures) {
    ThermoStorage s = Steffen(t, t);
    const auto k = thermo::SupcrtConstants(s);
    alone.insert(alone.end(), k.mineral_logk.begin(), k.mineral_logk.end());
    alone.push_back(s.debye_huckel_a);
  }
  for (const auto& v : seen) EXPECT_EQ(v, alone);
}

}  // namespace
}  // namespace geofluid::interp
