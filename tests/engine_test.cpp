// The typed engine against the window's own sequence of steps, and under threads.
#include "engine/engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "engine/ph_trail.h"
#include "form/calculation.h"
#include "platform/errors.h"
#include "report/report.h"
#include "typed_sample.h"

namespace geofluid::engine {
namespace {

Sample NaClWater() { return testing::TypedNaClWater(); }

form::CalculationInput Boxes(const Sample& s, thermo::DatasetId d, bool option1, double t) {
  return testing::BoxesOf(s, d, option1, t);
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class EngineTest : public ::testing::TestWithParam<thermo::DatasetId> {};

// Carrying the pH in memory gives the window's two runs bit for bit: measured at 25 °C, the
// TOTH handed over, then 250 °C with the steam correction; the reports are the same text.
TEST_P(EngineTest, CarryEqualsTheWindowsTwoRuns) {
  const Sample s = NaClWater();
  const Dataset& d = Dataset::Of(GetParam());
  ConditionsCache cache;
  const auto at_ph = cache.Get(d, s.ph_temperature);
  const std::vector targets = {cache.Get(d, 150.0), cache.Get(d, 250.0)};
  const Carried carried = Carry(s, at_ph, targets, true);

  const form::CalculationResult measured =
      form::Calculate(Boxes(s, GetParam(), true, 25.0), nullptr, Search::kDecimal);
  EXPECT_TRUE(SameBits(carried.measured.toth, measured.toth));
  EXPECT_EQ(report::ReportText(carried.measured, "25"), report::ReportText(measured, "25"));

  for (std::size_t i = 0; i < targets.size(); ++i) {
    form::CalculationInput other = Boxes(s, GetParam(), false, targets[i]->temperature);
    other.stored_toth = measured.toth;
    const form::CalculationResult window = form::Calculate(other, nullptr, Search::kDecimal);
    const Evaluation& e = carried.at[i];
    EXPECT_TRUE(SameBits(e.ph, window.ph)) << e.ph << " " << window.ph;
    EXPECT_TRUE(SameBits(e.steam_fraction, window.steam_fraction));
    EXPECT_EQ(report::ReportText(e, "T"), report::ReportText(window, "T"));
    EXPECT_GT(e.steam_fraction, 0.0);
  }
  // A higher temperature boils off more steam.
  EXPECT_LT(carried.at[0].steam_fraction, carried.at[1].steam_fraction);
}

TEST_P(EngineTest, NamedResultsAgreeWithTheArrays) {
  const Sample s = NaClWater();
  const Dataset& d = Dataset::Of(GetParam());
  const Evaluation e = EvaluateMeasured(s, Prepare(d, 25.0));
  const auto species = e.Species();
  ASSERT_EQ(static_cast<int>(species.size()), d.SpeciesCount());
  int switched_off = 0;
  for (const SpeciesResult& sp : species) {
    EXPECT_FALSE(sp.name.empty());
    EXPECT_EQ(sp.name.front() == ' ' || sp.name.back() == ' ', false) << sp.name;
    switched_off += sp.switched_off;
    if (sp.switched_off) EXPECT_EQ(sp.molality, speciation::kFloor) << sp.name;
  }
  EXPECT_EQ(switched_off, GetParam() == thermo::DatasetId::kSolveq ? 7 : 1);
  const auto minerals = e.Minerals();
  ASSERT_EQ(static_cast<int>(minerals.size()), d.MineralCount());
  const int quartz = d.HeldMineralIndex("QUARTZ");
  ASSERT_GT(quartz, 0);
  EXPECT_EQ(e.Si("QUARTZ"), e.saturation_index[quartz]);
  EXPECT_THROW(e.Si("UNOBTAINIUM"), std::out_of_range);
  // The index is ln(IAP/K) over the dataset's divisor; log IAP - log K brings it back in log10.
  const MineralResult& q = minerals[static_cast<std::size_t>(quartz - 1)];
  EXPECT_NEAR((q.log_iap - q.log_k) * std::log(10.0) / d.si_divisor, q.si, 1e-12);
  // A Na-Cl water is close to electrically neutral once the pH fixes H(+)/OH(-).
  EXPECT_LT(std::fabs(e.ChargeBalancePercent()), 25.0);
}

INSTANTIATE_TEST_SUITE_P(BothDatasets, EngineTest,
                         ::testing::Values(thermo::DatasetId::kSolveq, thermo::DatasetId::kSupcrt),
                         [](const auto& info) { return std::string(Dataset::Of(info.param).key); });

// Conditions shared by eight threads give every thread the serial results bit for bit.
// The hint only saves speciations, but a wrong one costs them: a smooth trail must be followed
// closely, and a broken one must not be extrapolated.
TEST(PhTrail, FollowsASmoothTrailAndDoesNotExtrapolateAJump) {
  const auto ph = [](double t) { return 7.0 - 0.004 * t + 6e-6 * t * t; };
  PhTrail trail;
  EXPECT_FALSE(trail.Hint(100.0));
  EXPECT_EQ(trail.Slope(100.0), 0.0);
  trail.Add(100.0, ph(100.0), 2.0);
  EXPECT_EQ(*trail.Hint(105.0), ph(100.0));
  trail.Add(105.0, ph(105.0), 2.2);
  // Two points: the line, and the slope along its line.
  EXPECT_NEAR(*trail.Hint(110.0), 2.0 * ph(105.0) - ph(100.0), 1e-12);
  EXPECT_NEAR(trail.Slope(110.0), 2.4, 1e-12);
  // Three points of a parabola: its next value, not the line's.
  trail.Add(110.0, ph(110.0), 2.4);
  EXPECT_NEAR(*trail.Hint(115.0), ph(115.0), 1e-12);
  EXPECT_GT(std::fabs(*trail.Hint(115.0) - (2.0 * ph(110.0) - ph(105.0))), 1e-4);
  // A slope that would turn negative or more than double is not extrapolated.
  trail.Add(115.0, ph(115.0), 0.1);
  EXPECT_EQ(trail.Slope(120.0), 0.1);
  // A jump of a unit after steps of hundredths: the last pH, not a line through the jump.
  trail.Add(120.0, ph(120.0) + 1.0, 2.0);
  EXPECT_EQ(*trail.Hint(220.0), ph(120.0) + 1.0);
  // A guide moves the last pH by its own change.
  EXPECT_NEAR(*trail.Hint(125.0, 6.5, 6.45), ph(120.0) + 1.0 - 0.05, 1e-12);
}

TEST(EngineThreads, SharedConditionsGiveTheSerialResults) {
  ConditionsCache cache;
  std::vector<Sample> samples;
  for (int k = 0; k < 16; ++k) {
    Sample s = NaClWater();
    s.component[1] *= 1.0 + 0.05 * k;
    s.ph = 6.0 + 0.2 * k;
    samples.push_back(s);
  }
  const Dataset& d = Dataset::Of(thermo::DatasetId::kSupcrt);
  const std::vector targets = {cache.Get(d, 200.0), cache.Get(d, 280.0)};
  auto run = [&](const Sample& s) { return Carry(s, cache.Get(d, 25.0), targets, true); };
  std::vector<Carried> serial;
  for (const Sample& s : samples) serial.push_back(run(s));

  std::vector<std::vector<Carried>> parallel(8);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (const Sample& s : samples) parallel[static_cast<std::size_t>(t)].push_back(run(s));
    });
  }
  for (auto& t : threads) t.join();
  for (const auto& results : parallel) {
    for (std::size_t i = 0; i < samples.size(); ++i) {
      for (std::size_t j = 0; j < targets.size(); ++j) {
        EXPECT_TRUE(SameBits(results[i].at[j].ph, serial[i].at[j].ph));
        EXPECT_EQ(results[i].at[j].saturation_index, serial[i].at[j].saturation_index);
      }
    }
  }
  // One object per (dataset, temperature): the cache hands out the same conditions.
  EXPECT_EQ(cache.Get(d, 200.0).get(), targets[0].get());
}

TEST(EngineErrors, UnusableTemperaturesAreErrorsNotNaN) {
  const Dataset& d = Dataset::Of(thermo::DatasetId::kSolveq);
  EXPECT_THROW(Prepare(d, std::nan("")), ArithmeticError);
  ConditionsCache cache;
  EXPECT_THROW(cache.Get(d, std::nan("")), ArithmeticError);
  const auto at = Prepare(d, 200.0);
  EXPECT_THROW(SteamFraction(*at, 900.0, true), ArithmeticError);
  // Far outside, the interpolation itself fails, and says where.
  try {
    SteamFraction(*at, 1e200, true);
    ADD_FAILURE() << "no error";
  } catch (const ArithmeticError& e) {
    EXPECT_NE(std::string(e.what()).find("in the steam table at 1e+200 °C"), std::string::npos)
        << e.what();
  }
  // Without the steam correction the separation temperature plays no part.
  EXPECT_EQ(SteamFraction(*at, 900.0, false), 0.0);
  EXPECT_EQ(Dataset::FromKey("supcrt"), &Dataset::Of(thermo::DatasetId::kSupcrt));
  EXPECT_EQ(Dataset::FromKey("SUPCRT"), nullptr);
}

}  // namespace
}  // namespace geofluid::engine
