// Temperature sweeps and multicomponent estimates against the window's runs, a water built to
// be in equilibrium with quartz, and statistics on curves whose minimum is known.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "form/calculation.h"
#include "geothermometry/estimate.h"
#include "geothermometry/sweep.h"

namespace geofluid::geothermometry {
namespace {

using engine::Dataset;
using engine::Sample;

Sample NaClWater() {
  Sample s;
  s.id = "nacl";
  const double values[] = {0.01, 0.04,  0.004,  0.0005, 1e-5, 5e-6,
                           2e-5, 0.002, 0.0004, 0.0002, 0.04, 5e-5};
  for (int c = 0; c < engine::kComponentCount; ++c) {
    s.component[static_cast<std::size_t>(c)] = values[c];
  }
  s.steam_co2 = 0.02;
  s.steam_h2s = 0.002;
  s.ph = 8.5;
  s.ph_temperature = 25;
  s.separation_temperature = 100;
  return s;
}

std::string Text(double v) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.17g", v);
  return buffer;
}

// The sample typed into the window's boxes, run at `t`.
form::CalculationInput Boxes(const Sample& s, thermo::Dataset d, bool option1, double t) {
  form::CalculationInput in;
  in.dataset = d;
  for (int c = 1; c <= 12; ++c) in.box[static_cast<std::size_t>(c)] = Text(s.component[c - 1]);
  in.box[13] = Text(s.ph);
  in.box[14] = Text(s.water);
  in.box[15] = Text(s.steam_co2);
  in.box[16] = Text(s.steam_h2s);
  in.box[17] = Text(t);
  in.box[18] = Text(s.separation_temperature);
  in.option1 = option1;
  return in;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class SweepTest : public ::testing::TestWithParam<thermo::Dataset> {};

// A user who measures the pH at 25 °C and then runs the window's second mode at 150 or 250 °C
// sees the sweep's pH and indices at those temperatures, bit for bit, serial or parallel.
TEST_P(SweepTest, GridPointEqualsTheWindowsSecondMode) {
  const Sample s = NaClWater();
  const Dataset& d = Dataset::Of(GetParam());
  engine::ConditionsCache cache;
  SweepOptions options;
  options.search = engine::Search::kDecimal;
  const Sweep serial = RunSweep(s, d, options, cache);
  options.parallel = true;
  const Sweep parallel = RunSweep(s, d, options, cache);
  ASSERT_TRUE(serial.ok()) << serial.error;
  ASSERT_EQ(serial.points.size(), 41u);

  const form::CalculationResult measured =
      form::Calculate(Boxes(s, GetParam(), true, 25.0), nullptr, engine::Search::kDecimal);
  EXPECT_TRUE(SameBits(serial.measured_toth, measured.toth));
  for (const std::size_t i : {std::size_t{10}, std::size_t{30}}) {
    const SweepPoint& p = serial.points[i];
    form::CalculationInput other = Boxes(s, GetParam(), false, p.temperature);
    other.stored_toth = measured.toth;
    const form::CalculationResult window =
        form::Calculate(other, nullptr, engine::Search::kDecimal);
    ASSERT_TRUE(p.ok()) << p.error;
    EXPECT_TRUE(SameBits(p.ph, window.ph)) << p.temperature << ": " << p.ph << " " << window.ph;
    EXPECT_TRUE(SameBits(p.steam_fraction, window.steam_fraction));
    ASSERT_EQ(static_cast<int>(p.si.size()), d.MineralCount());
    for (int m = 1; m <= d.MineralCount(); ++m) {
      EXPECT_TRUE(SameBits(serial.Si(i, m), window.saturation_index[m])) << d.MineralName(m);
    }
  }
  for (std::size_t i = 0; i < serial.points.size(); ++i) {
    EXPECT_TRUE(SameBits(serial.points[i].ph, parallel.points[i].ph));
    EXPECT_EQ(serial.points[i].si, parallel.points[i].si);
  }
  // Off the grid, a point is evaluated the same way.
  const SweepPoint off = EvaluatePoint(s, serial, 150.0, options, cache);
  EXPECT_TRUE(SameBits(off.ph, serial.points[10].ph));
}

// The set's names are those the dataset prints, and a wrong name lists them.
TEST_P(SweepTest, MineralSetsAreCheckedByName) {
  const Dataset& d = Dataset::Of(GetParam());
  EXPECT_EQ(MineralIndices(d, DefaultMinerals(d)).size(), 11u);
  try {
    MineralIndices(d, {"QUARTZ", "Quartz"});
    FAIL() << "no error for a misspelt mineral";
  } catch (const UnknownMineral& e) {
    EXPECT_NE(std::string(e.what()).find("\"Quartz\""), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("WAIRAKITE"), std::string::npos);
  }
  EXPECT_THROW(MineralIndices(d, {"QUARTZ", "QUARTZ"}), std::invalid_argument);
}

// Silica of a water in equilibrium with quartz at 220 °C after the pH is carried there:
// bisection on log SiO2 (the quartz index rises with silica at fixed temperature).
TEST_P(SweepTest, WaterSaturatedWithQuartzAt220CrossesThere) {
  const Dataset& d = Dataset::Of(GetParam());
  engine::ConditionsCache cache;
  Sample s = NaClWater();
  s.ph = 7.0;
  SweepOptions at220;
  at220.temperatures = {220.0};
  const int quartz = d.MineralIndex("QUARTZ");
  auto si = [&](double log_silica) {
    s.Component("SiO2") = std::pow(10.0, log_silica);
    const Sweep sweep = RunSweep(s, d, at220, cache);
    EXPECT_TRUE(sweep.ok() && sweep.points[0].ok());
    return sweep.Si(0, quartz);
  };
  double low = -4.0;
  double high = -1.0;
  ASSERT_LT(si(low), 0.0);
  ASSERT_GT(si(high), 0.0);
  for (int i = 0; i < 50; ++i) {
    const double mid = 0.5 * (low + high);
    (si(mid) < 0.0 ? low : high) = mid;
  }
  si(0.5 * (low + high));

  // A grid that does not hold 220 °C: the crossing is interpolated between 217 and 222.
  SweepOptions options;
  options.temperatures = TemperatureGrid(102.0, 297.0, 5.0);
  const Estimate e = EstimateTemperature(s, d, {"QUARTZ"}, options, cache);
  std::vector<double> below_280;
  for (double t : e.crossings.at("QUARTZ")) {
    if (t < 280.0) below_280.push_back(t);
  }
  // (The specified interpolation of the SUPCRT98 tables swings above 280 °C and adds false
  // crossings there; the interpolation tests look at them.)
  ASSERT_EQ(below_280.size(), 1u);
  EXPECT_NEAR(below_280[0], 220.0, 0.5);
  // With one mineral the RMS is |SI|: its minimum is the crossing, refined between grid points.
  ASSERT_TRUE(e.rms.celsius);
  EXPECT_FALSE(e.rms.on_edge);
  EXPECT_NEAR(*e.rms.celsius, 220.0, 0.1);
  EXPECT_NEAR(*e.mean.celsius, 220.0, 0.1);
}

INSTANTIATE_TEST_SUITE_P(BothDatasets, SweepTest,
                         ::testing::Values(thermo::Dataset::kSolveq, thermo::Dataset::kSupcrt),
                         [](const auto& info) {
                           return info.param == thermo::Dataset::kSolveq ? "Solveq" : "Supcrt";
                         });

}  // namespace
}  // namespace geofluid::geothermometry
