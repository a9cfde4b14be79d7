// The forward processes: published constants against their papers' tables, and the balances of
// boiling, degassing and cooling.
#include "scaling/scaling.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "scaling/uncertainty.h"
#include "typed_sample.h"

namespace geofluid::scaling {
namespace {

using engine::Dataset;

TEST(ScalingPublished, DistributionConstantsMatchTheGuidelinesTable) {
  // IAPWS Guideline G7-04 (2004), the table of ln K_D for checking computer code, printed to
  // four decimals (tolerance half a unit of the last digit, and the rounding of 273.15).
  struct Row {
    Gas gas;
    double kelvin, ln_kd;
  };
  const Row rows[] = {{Gas::kCO2, 300, 10.8043}, {Gas::kCO2, 400, 7.7705}, {Gas::kCO2, 500, 5.2123},
                      {Gas::kCO2, 600, 2.7293},  {Gas::kH2S, 300, 9.6846}, {Gas::kH2S, 400, 6.5840},
                      {Gas::kH2S, 500, 4.2781},  {Gas::kH2S, 600, 2.2200}};
  for (const Row& r : rows) {
    EXPECT_NEAR(std::log(DistributionConstant(r.gas, r.kelvin - 273.15)), r.ln_kd, 6e-5)
        << GasName(r.gas) << " at " << r.kelvin << " K";
  }
}

TEST(ScalingPublished, AmorphousSilicaSolubility) {
  // Krauskopf (1956, Geochim. Cosmochim. Acta 10, 1-26) measured 115 ppm at 25 °C in nearly
  // neutral water, printed to three figures; Fournier & Rowe's (1977) fit passes within 2 %.
  EXPECT_NEAR(AmorphousSilicaSolubility(25.0), 115.0, 0.02 * 115.0);
  // Steeply more soluble when hot: the reason separated water becomes oversaturated on cooling.
  EXPECT_GT(AmorphousSilicaSolubility(200.0), 3.0 * AmorphousSilicaSolubility(50.0));
}

class ScalingPath : public ::testing::TestWithParam<thermo::DatasetId> {
 protected:
  const Dataset& dataset() const { return Dataset::Of(GetParam()); }
  engine::ConditionsCache cache;
  engine::Sample sample = testing::TypedNaClWater();
  MineralSet minerals = ResolveMinerals(dataset(), DefaultMinerals());
};

// Everything that left as steam plus what stayed in the liquid is the water that boiled.
void ExpectBalanced(const Water& feed, const Water& out, const Dataset& dataset) {
  const double y = out.steam_fraction;
  for (int i = 1; i <= 12; ++i) {
    double steam = 0.0;
    if (i == 8) steam = out.steam_co2;
    if (i == 10) steam = out.steam_h2s;
    EXPECT_NEAR((1.0 - y) * out.totals[i] + y * steam, feed.totals[i], 1e-12 * feed.totals[i])
        << "component " << i;
  }
  const GasHydrogen h = HydrogenOfGases(dataset);
  EXPECT_NEAR((1.0 - y) * out.toth + y * (h.co2 * out.steam_co2 + h.h2s * out.steam_h2s), feed.toth,
              1e-12 * std::fabs(feed.toth) + 1e-18);
  EXPECT_EQ(out.totals[thermo::kWater], feed.totals[thermo::kWater]);
}

TEST_P(ScalingPath, ClosedBoilingBalancesAndPartitionsTheNeutralGas) {
  const Water reservoir = ReservoirFluid(sample, dataset(), 240.0, minerals, cache);
  const Water w = Boil(reservoir, 150.0, Degassing::kClosed, 1.0, dataset(), minerals, cache);
  // The steam fraction of the steam correction's enthalpy balance.
  EXPECT_DOUBLE_EQ(w.steam_fraction,
                   engine::SteamFraction(*cache.Get(dataset(), 240.0), 150.0, true));
  EXPECT_GT(w.steam_fraction, 0.1);
  ExpectBalanced(reservoir, w, dataset());
  // The steam holds the gas in equilibrium with the neutral species of the final speciation.
  const int co2 = dataset().id == thermo::DatasetId::kSolveq ? 53 : 50;
  const int h2s = dataset().id == thermo::DatasetId::kSolveq ? 58 : 46;
  EXPECT_NEAR(w.steam_co2, DistributionConstant(Gas::kCO2, 150.0) * w.speciation.molality[co2],
              1e-9 * w.steam_co2);
  EXPECT_NEAR(w.steam_h2s, DistributionConstant(Gas::kH2S, 150.0) * w.speciation.molality[h2s],
              1e-9 * w.steam_h2s);
  // The pH found is the one whose speciation has the liquid's TOTH.
  EXPECT_NEAR(w.speciation.tnew[thermo::kHydrogen], w.toth, 1e-6 * std::fabs(w.toth));
  // CO2 leaves: the liquid keeps less carbonate than the non-volatiles' concentration, and its
  // pH rises.
  EXPECT_LT(w.LiquidCo2(), reservoir.totals[8] / (1.0 - w.steam_fraction));
  EXPECT_GT(w.ph, reservoir.ph);
  // Non-volatiles are concentrated by 1 / (1 - y).
  EXPECT_DOUBLE_EQ(w.totals[11], reservoir.totals[11] / (1.0 - w.steam_fraction));
}

TEST_P(ScalingPath, OpenDegassingStripsMoreGasAndStillBalances) {
  const Water reservoir = ReservoirFluid(sample, dataset(), 240.0, minerals, cache);
  const Water closed = Boil(reservoir, 150.0, Degassing::kClosed, 1.0, dataset(), minerals, cache);
  const Water open = Boil(reservoir, 150.0, Degassing::kOpen, 1.0, dataset(), minerals, cache);
  ExpectBalanced(reservoir, open, dataset());
  EXPECT_LT(open.LiquidCo2(), closed.LiquidCo2());
  EXPECT_LT(open.LiquidH2s(), closed.LiquidH2s());
  // Removing the steam step by step boils off slightly less water than one step.
  EXPECT_NEAR(open.steam_fraction, closed.steam_fraction, 0.02 * closed.steam_fraction);
}

TEST_P(ScalingPath, ABoilStopsAtItsNextStepOnceCancelled) {
  // Open boiling in steps of a tenth of a degree is seconds of work: Ctrl-C must not wait for it.
  const Water reservoir = ReservoirFluid(sample, dataset(), 240.0, minerals, cache);
  const std::atomic<bool> cancel{true};
  for (const Degassing degassing : {Degassing::kOpen, Degassing::kClosed}) {
    EXPECT_THROW(Boil(reservoir, 150.0, degassing, 0.1, dataset(), minerals, cache,
                      engine::SpecifiedScheme(), &cancel),
                 Interrupted);
  }
}

TEST_P(ScalingPath, OpenDegassingToSeveralSeparatorsFollowsOnePath) {
  // The run goes on from the warmer separator instead of boiling from the reservoir again; the
  // cooler separator's water and steam must be those of one open path from the reservoir.
  Options o;
  o.datasets = {&dataset()};
  o.reservoir.celsius = 240.0;
  o.separation = {180.0, 130.0};
  o.cooling = {80.0};
  o.degassing = Degassing::kOpen;
  const Path p = RunScaling(sample, o, cache);
  const DatasetPath& d = p.datasets.front();
  ASSERT_TRUE(d.ok()) << d.error;
  const Water direct = Boil(d.reservoir, 130.0, Degassing::kOpen, 1.0, dataset(), minerals, cache);
  const Water& chained = d.separation[1].water;
  EXPECT_NEAR(chained.steam_fraction, direct.steam_fraction, 1e-12);
  EXPECT_NEAR(chained.total_steam_fraction, direct.total_steam_fraction, 1e-12);
  EXPECT_NEAR(chained.steam_co2, direct.steam_co2, 1e-12 * direct.steam_co2);
  EXPECT_NEAR(chained.steam_h2s, direct.steam_h2s, 1e-12 * direct.steam_h2s);
  EXPECT_NEAR(chained.ph, direct.ph, 1e-9);
  ExpectBalanced(d.reservoir, chained, dataset());
}

TEST_P(ScalingPath, StagesCompoundTheirSteam) {
  Options o;
  o.datasets = {&dataset()};
  o.reservoir.celsius = 240.0;
  o.separation = {180.0, 120.0};
  o.stages = true;
  o.cooling = {80.0};
  const Path p = RunScaling(sample, o, cache);
  const DatasetPath& d = p.datasets.front();
  ASSERT_TRUE(d.ok()) << d.error;
  const Water& hp = d.separation[0].water;
  const Water& lp = d.separation[1].water;
  ExpectBalanced(d.reservoir, hp, dataset());
  ExpectBalanced(hp, lp, dataset());
  EXPECT_NEAR(lp.total_steam_fraction, 1.0 - (1.0 - hp.steam_fraction) * (1.0 - lp.steam_fraction),
              1e-15);
  // The second stage boils from the first separator's enthalpy, not from the reservoir's.
  EXPECT_DOUBLE_EQ(lp.steam_fraction,
                   engine::SteamFraction(*cache.Get(dataset(), 180.0), 120.0, true));
}

TEST_P(ScalingPath, CoolingKeepsTotalsAndRaisesSilicaSaturation) {
  const Water reservoir = ReservoirFluid(sample, dataset(), 240.0, minerals, cache);
  const Water w = Boil(reservoir, 150.0, Degassing::kClosed, 1.0, dataset(), minerals, cache);
  const Water cold = Cool(w, 60.0, dataset(), minerals, cache);
  for (int i = 1; i <= 12; ++i) EXPECT_EQ(cold.totals[i], w.totals[i]);
  EXPECT_DOUBLE_EQ(cold.toth, w.toth);
  EXPECT_NEAR(cold.speciation.tnew[thermo::kHydrogen], w.toth, 1e-6 * std::fabs(w.toth));
  EXPECT_EQ(cold.temperature, 60.0);
  const int silica = 0;  // first of the default set
  EXPECT_GT(cold.si[silica], w.si[silica] + 0.3);
  EXPECT_NEAR(cold.ssi_amorphous_silica,
              w.totals[1] * kSio2MolarMass * 1000.0 / AmorphousSilicaSolubility(60.0), 1e-12);
  // The dataset's own minerals keep the dataset's SI.
  const int quartz = 1;
  EXPECT_DOUBLE_EQ(cold.si[quartz], cold.si[quartz]);
  EXPECT_GT(cold.si[quartz], cold.si[silica]);  // quartz is the less soluble silica
}

INSTANTIATE_TEST_SUITE_P(BothDatasets, ScalingPath,
                         ::testing::Values(thermo::DatasetId::kSolveq, thermo::DatasetId::kSupcrt));

TEST(ScalingInput, ReservoirIsANumberOrAKnownKey) {
  EXPECT_EQ(*ParseReservoir("245.5").celsius, 245.5);
  EXPECT_EQ(ParseReservoir("quartz_fournier1977").key, "quartz_fournier1977");
  EXPECT_EQ(ParseReservoir("multicomponent").key, "multicomponent");
  try {
    ParseReservoir("quartz");
    FAIL() << "an unknown key was taken";
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find("quartz_fournier1977"), std::string::npos) << e.what();
  }
  EXPECT_THROW(ParseReservoir(""), std::invalid_argument);
  EXPECT_THROW(ParseReservoir("nan"), std::invalid_argument);
}

TEST(ScalingInput, MineralsAreFoundAsUsersSpellThem) {
  const Dataset& d = Dataset::Of(thermo::DatasetId::kSolveq);
  const MineralSet set = ResolveMinerals(d, {"amorphous silica", "calcite", "low-albite"});
  EXPECT_EQ(set.names, (std::vector<std::string>{"AMORPHOUS_SILICA", "CALCITE", "LOW-ALBITE"}));
  EXPECT_EQ(set.index[0], 0);
  EXPECT_EQ(set.index[1], d.HeldMineralIndex("CALCITE"));
  EXPECT_THROW(ResolveMinerals(d, {"calcite", "CALCITE"}), std::invalid_argument);
  EXPECT_THROW(ResolveMinerals(d, {""}), std::invalid_argument);
  try {
    ResolveMinerals(d, {"gypsum"});
    FAIL();
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find("ANHYDRITE"), std::string::npos);
  }
}

TEST(ScalingInput, OptionsThatCannotWorkAreRefused) {
  Options o;
  o.datasets = {&Dataset::Of(thermo::DatasetId::kSolveq)};
  o.reservoir.celsius = 240;
  o.separation = {180, 120};
  o.cooling = {80};
  EXPECT_NO_THROW(CheckOptions(o));
  o.stages = true;
  o.separation = {120, 180};
  EXPECT_THROW(CheckOptions(o), std::invalid_argument);
  o.stages = false;
  o.cooling = {};
  EXPECT_THROW(CheckOptions(o), std::invalid_argument);
  o.cooling = {std::nan("")};
  EXPECT_THROW(CheckOptions(o), std::invalid_argument);
  o.cooling = {500};
  EXPECT_THROW(CheckOptions(o), std::invalid_argument);
  o.cooling = {80};
  o.reservoir.celsius = 420;
  EXPECT_THROW(CheckOptions(o), std::invalid_argument);
}

TEST(ScalingRun, ReservoirByKeyAndAnAnswerInWords) {
  engine::ConditionsCache cache;
  Options o;
  o.datasets = {&Dataset::Of(thermo::DatasetId::kSolveq), &Dataset::Of(thermo::DatasetId::kSupcrt)};
  o.reservoir = ParseReservoir("quartz_fournier1977");
  o.separation = {200, 160, 120, 100};
  o.cooling = {100, 80, 60, 40};
  const engine::Sample s = testing::TypedNaClWater();
  const Path p = RunScaling(s, o, cache);
  std::string reason;
  const double tr = *SoluteTemperature(s, "quartz_fournier1977", reason);
  for (const DatasetPath& d : p.datasets) {
    ASSERT_TRUE(d.ok()) << d.error;
    EXPECT_EQ(d.reservoir.temperature, tr);
    EXPECT_EQ(d.reservoir_source, "quartz_fournier1977");
    const Verdict v = Judge(d, o);
    // Amorphous silica's SI rises as the separator gets cooler and as the water cools.
    for (std::size_t i = 1; i < d.separation.size(); ++i) {
      EXPECT_GT(d.separation[i].water.si[0], d.separation[i - 1].water.si[0]);
    }
    const std::string words = Answer(d, o);
    EXPECT_NE(words.find(std::string(d.dataset->title)), std::string::npos);
    if (v.lowest_separation) {
      EXPECT_NE(words.find("undersaturated"), std::string::npos) << words;
      EXPECT_LT(d.separation[0].water.si[0], 0.0);
    }
  }
}

TEST(ScalingRun, AFailedReservoirTemperatureIsRecordedNotThrown) {
  engine::ConditionsCache cache;
  Options o;
  o.datasets = {&Dataset::Of(thermo::DatasetId::kSolveq)};
  o.reservoir = ParseReservoir("quartz_fournier1977");
  o.separation = {150};
  o.cooling = {80};
  engine::Sample s = testing::TypedNaClWater();
  s.component[0] = 0.0;  // no silica: no quartz temperature
  const Path p = RunScaling(s, o, cache);
  EXPECT_FALSE(p.datasets[0].ok());
  EXPECT_NE(p.datasets[0].error.find("reservoir"), std::string::npos) << p.datasets[0].error;
  EXPECT_FALSE(p.datasets[0].separation[0].ok());
}

}  // namespace
}  // namespace geofluid::scaling

namespace geofluid::scaling {
namespace {

TEST(ScalingUncertainty, WithoutErrorsEveryDrawIsTheNominalPath) {
  engine::ConditionsCache cache;
  Options o;
  o.datasets = {&engine::Dataset::Of(thermo::DatasetId::kSolveq)};
  o.reservoir.celsius = 250.0;
  o.separation = {180.0, 100.0};
  o.cooling = {60.0};
  uncertainty::InputErrors none;  // all zero
  const PathUncertainty u = RunPathUncertainty(testing::TypedNaClWater(), none, 8, 1, o, cache);
  EXPECT_EQ(u.failed, 0u);
  ASSERT_EQ(u.si.size(), 2u * 4u * 2u);  // separations x minerals x (water, one cooling)
  for (const DrawnSi& q : u.si) {
    EXPECT_EQ(q.interval.n, 8u);
    // Every draw is the nominal path; GSL's quantiles interpolate as (1 - d) a + d b, which
    // need not give a back exactly when b == a.
    EXPECT_DOUBLE_EQ(q.interval.median, q.nominal) << q.mineral;
    EXPECT_DOUBLE_EQ(q.interval.q05, q.nominal) << q.mineral;
    EXPECT_DOUBLE_EQ(q.interval.q95, q.nominal) << q.mineral;
    EXPECT_EQ(q.oversaturated, q.nominal > 0.0 ? 1.0 : 0.0);
  }
  // 180 °C: amorphous silica undersaturated in every draw; 100 °C: oversaturated.
  ASSERT_EQ(u.lowest_separation.size(), 1u);
  EXPECT_EQ(u.lowest_separation[0], 180.0);
}

TEST(ScalingUncertainty, ErrorsSpreadTheIndicesAndAKeyIsRefused) {
  engine::ConditionsCache cache;
  Options o;
  o.datasets = {&engine::Dataset::Of(thermo::DatasetId::kSupcrt)};
  o.reservoir.celsius = 250.0;
  o.separation = {150.0};
  o.cooling = {80.0};
  const auto errors = uncertainty::InputErrors::Defaults();
  const PathUncertainty u = RunPathUncertainty(testing::TypedNaClWater(), errors, 40, 7, o, cache);
  for (const DrawnSi& q : u.si) {
    EXPECT_LT(q.interval.q05, q.interval.q95) << q.mineral;
    EXPECT_LE(q.interval.q05, q.interval.median);
  }
  o.reservoir = ParseReservoir("quartz_fournier1977");
  EXPECT_THROW(RunPathUncertainty(testing::TypedNaClWater(), errors, 4, 1, o, cache),
               std::invalid_argument);
}

}  // namespace
}  // namespace geofluid::scaling
