#include "speciation/solver.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "saturation/saturation_index.h"
#include "speciation/dataset_model.h"
#include "speciation/iteration.h"
#include "speciation/pair.h"
#include "speciation/ph_estimate.h"
#include "speciation/power.h"
#include "speciation/toth_newton.h"
#include "thermo/equilibrium_constants.h"
#include "thermo/thermo_storage.h"

namespace geofluid::speciation {
namespace {

using thermo::DatasetId;

// A Na-Cl geothermal water, molal.
Totals GeothermalWater() {
  Totals t{};
  const double values[13] = {0,    0.01,  0.04,   0.004,  0.0005, 1e-5, 5e-6,
                             2e-5, 0.002, 0.0004, 0.0002, 0.04,   5e-5};
  for (int i = 1; i <= 12; ++i) t[i] = values[i];
  t[13] = std::pow(10.0, -9.05);
  t[14] = 1.0;
  return t;
}

struct Conditions {
  thermo::EquilibriumConstants k;
  ActivityModel model;
};

Conditions At(DatasetId dataset, double temperature) {
  thermo::ThermoStorage s;
  s.calculation_temperature = temperature;
  s.separation_temperature = temperature;
  s.InterpolateTables();
  return {thermo::ConstantsFor(dataset, s), {s.debye_huckel_a, s.debye_huckel_b, s.bdot}};
}

class SpeciationOfBothDatasets : public ::testing::TestWithParam<DatasetId> {};
INSTANTIATE_TEST_SUITE_P(Speciation, SpeciationOfBothDatasets,
                         ::testing::Values(DatasetId::kSolveq, DatasetId::kSupcrt));

// Every bit of 400 speciations of random waters (both datasets, 20-300 °C, pH 3-10) as the
// passes computed them before they shared activity coefficients by charge squared and powers
// between complexes: tests/data/iteration_bits.txt holds the inputs and a hash of each result.
std::uint64_t BitHash(const Speciation& s, int count) {
  std::uint64_t h = 1469598103934665603ull;  // FNV-1a
  const auto mix = [&](double v) {
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    for (int i = 0; i < 8; ++i) {
      h ^= (b >> (8 * i)) & 0xFF;
      h *= 1099511628211ull;
    }
  };
  for (int i = 1; i <= count; ++i) {
    mix(s.molality[i]);
    mix(s.gamma[i]);
    mix(s.activity[i]);
  }
  for (int c = 1; c <= 13; ++c) mix(s.tnew[c]);
  mix(s.ionic_strength);
  mix(s.passes);
  mix(s.converged);
  return h;
}

// The random waters of tests/data/iteration_bits.txt: dataset, temperature, pH, the twelve
// totals and the hash of the speciation's bits.
struct BitsCase {
  DatasetId dataset;
  double temperature, ph;
  Totals totals;
  std::uint64_t hash;
};
std::vector<BitsCase> BitsCases() {
  std::ifstream in(std::string(GEOFLUID_SOURCE_DIR) + "/tests/data/iteration_bits.txt");
  EXPECT_TRUE(in);
  std::vector<BitsCase> cases;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    int supcrt = 0;
    std::string t_text, ph_text, hash_text;
    fields >> supcrt >> t_text >> ph_text;
    BitsCase c{supcrt ? DatasetId::kSupcrt : DatasetId::kSolveq,
               std::strtod(t_text.c_str(), nullptr),
               std::strtod(ph_text.c_str(), nullptr),
               {},
               0};
    for (int i = 1; i <= 12; ++i) {
      std::string x;
      fields >> x;
      c.totals[i] = std::strtod(x.c_str(), nullptr);
    }
    c.totals[14] = 55.51;
    fields >> hash_text;
    c.hash = std::stoull(hash_text, nullptr, 16);
    cases.push_back(c);
  }
  return cases;
}

TEST(Speciation, EveryBitAsBeforeOnRandomWaters) {
  const std::vector<BitsCase> cases = BitsCases();
  ASSERT_EQ(cases.size(), 400u);
  for (const BitsCase& w : cases) {
    const Conditions c = At(w.dataset, w.temperature);
    const Speciation s = Speciate(w.totals, w.ph, c.k, c.model, nullptr);
    EXPECT_EQ(BitHash(s, w.dataset == DatasetId::kSupcrt ? 54 : 61), w.hash)
        << w.temperature << " °C, pH " << w.ph;
  }
}

bool SameBits(const Speciation& a, const Speciation& b) {
  const auto same = [](const auto& x, const auto& y) {
    return std::memcmp(x.data(), y.data(), sizeof x) == 0;
  };
  return a.passes == b.passes && a.converged == b.converged && same(a.molality, b.molality) &&
         same(a.tnew, b.tnew) && same(a.gamma, b.gamma) && same(a.activity, b.activity) &&
         std::memcmp(&a.ionic_strength, &b.ionic_strength, sizeof(double)) == 0;
}

// Side by side, each lane is Speciate to the bit, whichever ends first and whichever lane it is
// in, and so is a third started in the lane that ended first; a stop at the pass limit is told
// by `converged`, in a lane ahead of the other or behind; where any faults, there is none.
TEST(SpeciateSideBySide, EachIsSpeciateToTheBitOrThereIsNone) {
  const std::vector<BitsCase> cases = BitsCases();
  ASSERT_GE(cases.size(), 200u);
  int ends_apart = 0;
  for (std::size_t n = 0; n < 200; ++n) {
    const BitsCase& w = cases[n];
    const Conditions c = At(w.dataset, w.temperature);
    const Totals& t = w.totals;
    const double ph = w.ph;
    const std::string line = std::to_string(n);
    for (const std::array<double, 2> both : {std::array{ph, 10.0}, std::array{10.0, ph}}) {
      const auto pair = SpeciateSideBySide(t, both, c.k, c.model);
      ASSERT_TRUE(pair) << line;
      for (int lane = 0; lane < 2; ++lane) {
        const Speciation alone = Speciate(t, both[lane], c.k, c.model, nullptr);
        EXPECT_TRUE(SameBits((*pair)[lane], alone)) << line << " lane " << lane;
      }
      ends_apart += (*pair)[0].passes != (*pair)[1].passes;
    }
  }
  EXPECT_GT(ends_apart, 300);
  for (std::size_t n = 200; n < 300; ++n) {
    const BitsCase& w = cases[n];
    const Conditions c = At(w.dataset, w.temperature);
    const double ph = w.ph;
    for (const std::array<double, 3> three :
         {std::array{10.0, ph, ph + 1e-9}, std::array{ph, 10.0, ph - 0.3}}) {
      const auto all = SpeciateSideBySide(w.totals, three, c.k, c.model);
      ASSERT_TRUE(all) << n;
      for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(SameBits((*all)[i], Speciate(w.totals, three[i], c.k, c.model, nullptr)))
            << n << " speciation " << i;
      }
    }
  }

  // 11.187 stops at the pass limit at 200 °C; 11.19 diverges; 10^-400 is 0.
  const Conditions c = At(DatasetId::kSolveq, 200.0);
  const auto stop = SpeciateSideBySide(GeothermalWater(), std::array{7.0, 11.187}, c.k, c.model);
  ASSERT_TRUE(stop);
  EXPECT_TRUE(SameBits((*stop)[1], Speciate(GeothermalWater(), 11.187, c.k, c.model, nullptr)));
  EXPECT_FALSE((*stop)[1].converged);
  for (const std::array<double, 3> three :
       {std::array{11.187, 7.0, 6.5}, std::array{7.0, 11.187, 6.5}, std::array{7.0, 6.5, 11.187}}) {
    const auto all = SpeciateSideBySide(GeothermalWater(), three, c.k, c.model);
    ASSERT_TRUE(all);
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_TRUE(SameBits((*all)[i], Speciate(GeothermalWater(), three[i], c.k, c.model, nullptr)))
          << "speciation " << i << " of " << three[0] << ", " << three[1] << ", " << three[2];
      EXPECT_EQ((*all)[i].converged, three[i] != 11.187);
    }
  }
  for (const std::array<double, 2> both :
       {std::array{7.0, 11.19}, std::array{11.19, 7.0}, std::array{400.0, 7.0}}) {
    EXPECT_FALSE(SpeciateSideBySide(GeothermalWater(), both, c.k, c.model));
    EXPECT_EQ(std::fetestexcept(FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW), 0);
  }
  for (const std::array<double, 3> three :
       {std::array{7.0, 6.5, 11.19}, std::array{7.0, 6.5, 400.0}}) {
    EXPECT_FALSE(SpeciateSideBySide(GeothermalWater(), three, c.k, c.model));
    EXPECT_EQ(std::fetestexcept(FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW), 0);
  }
}

// The powers of the activities must be std::pow's to the bit: every speciation depends on them.
TEST(RaiseTo, IsStdPowToTheBit) {
  std::mt19937_64 random(20261208);
  std::uniform_real_distribution<double> log10_x(-45.0, 5.0);
  std::vector<double> xs;
  for (int i = 0; i < 400000; ++i) xs.push_back(std::pow(10.0, log10_x(random)));
  // Squares and cubes with few significant bits, powers of two and their neighbours, both ends
  // of the fast range and beyond, signs, zeros and the non-finite.
  for (int k = 1; k < 4096; ++k) xs.push_back(1.0 + k * 0x1p-26);
  for (int e = -300; e <= 300; e += 7) {
    const double p = std::ldexp(1.0, e);
    xs.insert(xs.end(), {p, std::nextafter(p, 0.0), std::nextafter(p, 1e308), 3.0 * p});
  }
  xs.insert(xs.end(),
            {0x1p-200, 0x1p200, std::nextafter(0x1p-200, 0.0), 0.0, -0.0,
             std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::infinity(),
             std::numeric_limits<double>::quiet_NaN()});
  const std::size_t positive = xs.size();
  for (std::size_t i = 0; i < positive; i += 97) xs.push_back(-xs[i]);
  const auto bits = [](double v) {
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
  };
  for (const double exponent : {2.0, 3.0, 4.0, -2.0, -3.0, -4.0, 0.125, -0.5, 1.125}) {
    const RaiseTo raise(exponent);
    int differing = 0;
    for (const double x : xs) {
      const double expected = std::pow(x, exponent), got = raise(x);
      if (bits(expected) != bits(got) && !(std::isnan(expected) && std::isnan(got))) {
        if (++differing <= 3)
          ADD_FAILURE() << x << "^" << exponent << ": " << got << " not " << expected;
      }
    }
    EXPECT_EQ(differing, 0) << "exponent " << exponent;
  }
}

// The activity coefficients must be std::pow(10, log gamma)'s to the bit, computed in place or
// not, and raise the floating-point status as the calls to pow do (a raised fault names a step).
TEST(TenTo, IsStdPowToTheBitAndRaisesWhatPowRaises) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<double> special = {
      0.0,      -0.0,  0x1p-61, 0x1p-60,
      -0x1p-60, 300.0, -300.0,  300.001,
      -300.001, 400.0, -400.0,  1e308,
      -1e308,   inf,   -inf,    std::numeric_limits<double>::quiet_NaN(),
      1e-310,   1.0,   -1.0,    2.0,
      308.25,   -323.5};
  std::mt19937_64 random(20261209);
  std::vector<double> ys = special;
  for (const auto& [lo, hi] : {std::pair{-3.0, 0.5}, {-300.0, 300.0}, {-1e-9, 1e-9}}) {
    std::uniform_real_distribution<double> y(lo, hi);
    for (int i = 0; i < 200000; ++i) ys.push_back(y(random));
  }
  ys.push_back(0.25);  // a tail after the fours
  const auto bits = [](double v) {
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
  };
  std::vector<double> out(ys.size()), in_place = ys;
  TenTo(ys.data(), static_cast<int>(ys.size()), out.data());
  TenTo(in_place.data(), static_cast<int>(in_place.size()), in_place.data());
  int differing = 0;
  for (std::size_t i = 0; i < ys.size(); ++i) {
    const std::uint64_t expected = bits(std::pow(10.0, ys[i]));
    if ((bits(out[i]) != expected || bits(in_place[i]) != expected) && ++differing <= 3)
      ADD_FAILURE() << "10^" << ys[i] << ": " << out[i] << ", " << in_place[i];
  }
  EXPECT_EQ(differing, 0);
  // Each special value among ordinary ones.
  constexpr int kFaults = FE_INVALID | FE_OVERFLOW | FE_DIVBYZERO | FE_UNDERFLOW;
  [[maybe_unused]] volatile double sink = 0.0;
  for (const double v : special) {
    double four[4] = {-0.5, v, -1.5, 0.75};
    std::feclearexcept(FE_ALL_EXCEPT);
    for (const double x : four) sink = std::pow(10.0, x);
    const int expected = std::fetestexcept(kFaults);
    std::feclearexcept(FE_ALL_EXCEPT);
    TenTo(four, 4, four);
    EXPECT_EQ(std::fetestexcept(kFaults), expected) << "10^" << v;
    std::feclearexcept(FE_ALL_EXCEPT);
  }
}

TEST(ActivityModel, DebyeHuckelWithSubtractedBdot) {
  const ActivityModel m{0.5114, 0.3288, 0.041};
  EXPECT_EQ(ActivityCoefficient(m, 2, 6.0, 0.0), 1.0);
  const double expected =
      std::pow(10.0, -(0.5114 * std::sqrt(0.1)) / (1 + 4 * 0.3288 * std::sqrt(0.1)) - 0.041 * 0.1);
  EXPECT_DOUBLE_EQ(ActivityCoefficient(m, 1, 4.0, 0.1), expected);
  EXPECT_DOUBLE_EQ(ActivityCoefficient(m, 0, 0.0, 0.1), std::pow(10.0, -0.0041));
  EXPECT_EQ(ActivityCoefficient({1.2555, 0.3965, 0.0}, 0, 0.0, 2.0), 1.0);
}

// The slopes Newton's steps take are the derivative of the logarithms themselves: central
// differences in ln I agree to the difference's own error.
TEST(ActivityModel, SlopesAreTheDerivativeInLnI) {
  const ActivityModel m{0.5114, 0.3288, 0.041};
  const int charge[] = {1, 2, 3, 0};
  const double size[] = {9.0, 6.0, 4.0, 0.0};
  for (const double i : {1e-4, 0.05, 1.0, 3.0}) {
    double slope[4], up[4], down[4];
    LogActivityCoefficientSlopes(m, charge, size, 4, i, slope);
    LogActivityCoefficients(m, charge, size, 4, i * std::exp(1e-5), up);
    LogActivityCoefficients(m, charge, size, 4, i * std::exp(-1e-5), down);
    for (int k = 0; k < 4; ++k) {
      EXPECT_NEAR(slope[k], (up[k] - down[k]) / 2e-5, 1e-7 * std::fabs(slope[k]))
          << "I " << i << " charge " << charge[k];
    }
  }
}

// What Newton's Jacobian takes of each complex: d ln m / d ln m_b through the complexes its
// product takes, and an order in which those come first.
TEST(DatasetModel, ExponentsReachThroughTheComplexesAProductTakes) {
  const auto exponents = [](DatasetId d, int k) {
    const DatasetModel& m = ModelOf(d);
    std::vector<std::pair<int, double>> r;
    for (int e = 0; e < m.exponent_count[k - thermo::kFirstComplex]; ++e) {
      const DatasetModel::Exponent& x = m.exponents[k - thermo::kFirstComplex][e];
      r.push_back({x.basis, x.value});
    }
    return r;
  };
  using E = std::vector<std::pair<int, double>>;
  // SOLVEQ OH- = 1/H+; Ca(OH)+ = Ca2+ OH-; Fe3+ = Fe2+ H+ SO4^(1/8) S^(-1/8) H2O^(-1/2), water
  // left out; Fe(OH)2+ = Fe3+ OH-, where H+ cancels.
  EXPECT_EQ(exponents(DatasetId::kSolveq, 61), (E{{13, -1.0}}));
  EXPECT_EQ(exponents(DatasetId::kSolveq, 25), (E{{4, 1.0}, {13, -1.0}}));
  EXPECT_EQ(exponents(DatasetId::kSolveq, 37), (E{{6, 1.0}, {9, 0.125}, {10, -0.125}, {13, 1.0}}));
  EXPECT_EQ(exponents(DatasetId::kSolveq, 43), (E{{6, 1.0}, {9, 0.125}, {10, -0.125}}));
  EXPECT_EQ(exponents(DatasetId::kSupcrt, 37),
            (E{{6, 1.0}, {9, 0.125}, {10, -0.125}, {13, 1.125}}));
  const DatasetModel& solveq = ModelOf(DatasetId::kSolveq);
  EXPECT_EQ(solveq.complex_order[0], 37);
  EXPECT_EQ(solveq.complex_order[1], 61);
  EXPECT_EQ(solveq.complex_order[2], 15);
}

TEST_P(SpeciationOfBothDatasets, ConvergesWithMassBalance) {
  const Conditions c = At(GetParam(), 250.0);
  const Totals t = GeothermalWater();
  bool limit = false;
  const Speciation s = Speciate(t, 6.2, c.k, c.model, [&] { limit = true; });
  EXPECT_TRUE(s.converged);
  EXPECT_FALSE(limit);
  EXPECT_GT(s.passes, 2);
  for (int comp = 1; comp <= 12; ++comp) EXPECT_NEAR(s.tnew[comp] / t[comp], 1.0, 1e-9) << comp;
  EXPECT_EQ(s.activity[thermo::kWater], 1.0);
  for (int i = 1; i <= thermo::CatalogueOf(GetParam()).species_count; ++i) {
    EXPECT_TRUE(std::isfinite(s.molality[i]) && s.molality[i] > 0) << i;
    EXPECT_GE(s.molality[i], kFloor) << i;
  }
  // From pass 2 on the hydrogen molality stays 10^-pH / gamma(pass 1).
  EXPECT_NEAR(-std::log10(s.molality[13] * s.gamma[13]), 6.2, 0.05);
}

TEST(Speciation, SwitchedOffComplexesEndAtTheFloor) {
  const Conditions sq = At(DatasetId::kSolveq, 250.0);
  const Speciation s = Speciate(GeothermalWater(), 6.2, sq.k, sq.model, nullptr);
  for (int k : thermo::kSolveqSwitchedOff) EXPECT_EQ(s.molality[k], kFloor) << k;
  const Conditions sp = At(DatasetId::kSupcrt, 250.0);
  EXPECT_EQ(Speciate(GeothermalWater(), 6.2, sp.k, sp.model, nullptr).molality[51], kFloor);
}

TEST(Speciation, FirstPassComplexesOnFerricIronOrHydroxideStartAtZeroInSolveqOnly) {
  const Conditions sq = At(DatasetId::kSolveq, 200.0);
  Iteration it(sq.k, sq.model);
  it.Start(GeothermalWater(), 7.0);
  ASSERT_EQ(it.Pass(), Iteration::State::kContinue);
  const int on_fe3_or_oh[] = {25, 29, 33, 34, 35, 36, 38, 39, 40, 41,
                              42, 43, 44, 45, 46, 47, 48, 49, 50, 60};
  for (int k : on_fe3_or_oh) {
    EXPECT_EQ(it.UnscaledComplexes()[k], 0.0) << k;
    EXPECT_EQ(it.Scaled()[k], kFloor) << k;
  }
  EXPECT_GT(it.UnscaledComplexes()[37], 0.0);
  EXPECT_GT(it.UnscaledComplexes()[61], 0.0);

  const Conditions sp = At(DatasetId::kSupcrt, 200.0);
  Iteration it2(sp.k, sp.model);
  it2.Start(GeothermalWater(), 7.0);
  it2.Pass();
  for (int k = 15; k <= 54; ++k) {
    if (k != 51) {
      EXPECT_GT(it2.UnscaledComplexes()[k], 0.0) << k;
    }
  }
}

TEST(Speciation, WaterValueDoesNotChangeTheDistribution) {
  const Conditions c = At(DatasetId::kSolveq, 150.0);
  Totals t = GeothermalWater();
  const Speciation one = Speciate(t, 7.0, c.k, c.model, nullptr);
  t[14] = 55.51;
  const Speciation other = Speciate(t, 7.0, c.k, c.model, nullptr);
  for (int i = 1; i <= 61; ++i) {
    if (i != 14) {
      EXPECT_NEAR(one.molality[i] / other.molality[i], 1.0, 1e-12) << i;
    }
  }
}

TEST_P(SpeciationOfBothDatasets, ZeroWaterIsAnArithmeticErrorNamingWater) {
  const Conditions c = At(GetParam(), 100.0);
  Totals t = GeothermalWater();
  t[14] = 0.0;
  try {
    Speciate(t, 7.0, c.k, c.model, nullptr);
    FAIL() << "no error";
  } catch (const ArithmeticError& e) {
    EXPECT_NE(std::string(e.what()).find("water (H2O) is 0"), std::string::npos) << e.what();
  }
}

TEST_P(SpeciationOfBothDatasets, ExtremePhIsAnErrorNotANan) {
  const Conditions c = At(GetParam(), 100.0);
  EXPECT_THROW(Speciate(GeothermalWater(), 400.0, c.k, c.model, nullptr), ArithmeticError);
  EXPECT_THROW(Speciate(GeothermalWater(), -400.0, c.k, c.model, nullptr), ArithmeticError);
}

TEST_P(SpeciationOfBothDatasets, MeasuredPhIsFoundAgainFromItsToth) {
  const DatasetId d = GetParam();
  const Conditions c = At(d, 25.0);
  const Totals t = GeothermalWater();
  const Speciation measured = Speciate(t, 8.3, c.k, c.model, nullptr);
  const double stored = measured.tnew[13];
  FindPhForToth search;
  Speciation s;
  do {
    s = Speciate(t, search.Ph(), c.k, c.model, nullptr);
  } while (search.Next(TothTarget(d, stored, 0.0, 0.02, 0.002) - s.tnew[13]));
  EXPECT_NEAR(search.Ph(), 8.3, 2e-9);
  EXPECT_GE(search.Trials(), 19);
}

// The estimate the pH search starts from, by Newton's steps and by the loose runs alone: near
// the pH a TOTH was computed at, from a cold start or from a hint, and none (with the status
// clear) where a run faults or D is no number.
TEST_P(SpeciationOfBothDatasets, EstimatedPhIsNearTheMeasuredOrThereIsNone) {
  const DatasetId d = GetParam();
  const Conditions c = At(d, 25.0);
  const Totals t = GeothermalWater();
  const double stored = Speciate(t, 8.3, c.k, c.model, nullptr).tnew[13];
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const bool newton : {true, false}) {
    SCOPED_TRACE(newton ? "Newton" : "loose runs");
    for (EstimateStart start : {EstimateStart{std::nullopt, 0.0, 7.0},
                                EstimateStart{8.25, 0.0, 7.0}, EstimateStart{-3.0, 0.0, 2.0}}) {
      start.newton = newton;
      const std::optional<PhEstimate> estimate = EstimatePh(t, stored, c.k, c.model, start);
      ASSERT_TRUE(estimate);
      // Within a tenth of the last decimal step: Speciate converged to 1e-10, the loose runs to
      // 1e-9, Newton's steps to their root.
      EXPECT_NEAR(estimate->ph, 8.3, 1e-10);
      EXPECT_GT(estimate->slope, 0.0);
    }
    Totals no_water = t;
    no_water[14] = 0.0;
    EXPECT_FALSE(EstimatePh(no_water, stored, c.k, c.model, {std::nullopt, 0.0, 7.0, newton}));
    EXPECT_EQ(std::fetestexcept(FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW), 0);
    EXPECT_FALSE(EstimatePh(t, nan, c.k, c.model, {8.0, 0.0, 7.0, newton}));
    EXPECT_EQ(std::fetestexcept(FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW), 0);
    EXPECT_FALSE(EstimatePh(t, stored, c.k, c.model, {std::nullopt, 0.0, nan, newton}));
  }
}

// Newton's root is the speciation's: D of Speciate changes sign there (within a tenth of the last
// decimal step) at 100-300 °C, in a few steps from near and more from far (quadratically: with
// the activity coefficients held in the Jacobian they take more), and its slope is D's
// difference quotient around it, the activity coefficients moving with the ionic strength.
TEST_P(SpeciationOfBothDatasets, NewtonsRootIsTheSpeciationsRoot) {
  const DatasetId d = GetParam();
  const Totals t = GeothermalWater();
  for (const double temperature : {100.0, 200.0, 300.0}) {
    SCOPED_TRACE(temperature);
    const Conditions c = At(d, temperature);
    const double target = Speciate(t, 6.4, c.k, c.model, nullptr).tnew[13];
    const auto d_at = [&](double ph) {
      return target - Speciate(t, ph, c.k, c.model, nullptr).tnew[13];
    };
    for (const double start : {6.4, 6.35, 4.0, 9.0}) {
      const std::optional<TothRoot> root = SolveForToth(t, target, c.k, c.model, start);
      ASSERT_TRUE(root) << start;
      EXPECT_NEAR(root->ph, 6.4, 1e-10) << start;
      EXPECT_LE(root->steps, start > 6.0 && start < 7.0 ? 5 : 18);
      const double quotient = (d_at(6.4 + 1e-5) - d_at(6.4 - 1e-5)) / 2e-5;
      EXPECT_NEAR(root->slope, quotient, 1e-5 * quotient);
    }
  }
  const Conditions c = At(d, 25.0);
  EXPECT_FALSE(SolveForToth(t, std::numeric_limits<double>::quiet_NaN(), c.k, c.model, 7.0));
  std::feclearexcept(FE_ALL_EXCEPT);
}

TEST(PhSearch, DecimalStagesAsTabled) {
  FindPhForToth s;
  EXPECT_TRUE(s.Next(+1));  // stage 0, D > 0: down by 1
  EXPECT_DOUBLE_EQ(s.Ph(), 9.0);
  EXPECT_TRUE(s.Next(-1));  // to stage 1, pH unchanged
  EXPECT_EQ(s.Stage(), 1);
  EXPECT_DOUBLE_EQ(s.Ph(), 9.0);
  EXPECT_TRUE(s.Next(-1));  // stage 1, D < 0: up by 0.1
  EXPECT_DOUBLE_EQ(s.Ph(), 9.1);
  EXPECT_TRUE(s.Next(+1));  // to stage 2
  EXPECT_TRUE(s.Next(+1));  // down by 0.01
  EXPECT_DOUBLE_EQ(s.Ph(), 9.09);
  FindPhForToth zero;
  EXPECT_FALSE(zero.Next(0.0));
  // With D < 0 at pH 10 and one step per stage the 19th trial ends the search.
  FindPhForToth shortest;
  int trials = 0;
  bool more = true;
  while (more) {
    ++trials;
    const int stage = shortest.Stage();
    const bool step = trials % 2 == 0;  // odd trials change the stage, even ones step
    more = shortest.Next((stage % 2 == 0) == step ? 1.0 : -1.0);
  }
  EXPECT_EQ(trials, 19);
  EXPECT_EQ(shortest.Stage(), 9);
}

TEST(PhSearch, EndlessSearchIsBounded) {
  FindPhForToth s;
  EXPECT_THROW(
      {
        while (s.Next(1.0)) {
        }
      },
      SearchError);
  EXPECT_EQ(s.Trials(), FindPhForToth::kTrialLimit);
}

// At 200 °C this water sits at the edge between a slow convergence (pH 11.186: 275 passes) and
// a divergence (pH 11.1875): at pH 11.187 it is still creeping when the pass limit ends it.
TEST(Speciation, SlowAlkalineWaterStopsAtThePassLimitWithItsLastRow) {
  const Conditions c = At(DatasetId::kSolveq, 200.0);
  int calls = 0;
  const Speciation s = Speciate(GeothermalWater(), 11.187, c.k, c.model, [&] { ++calls; });
  EXPECT_FALSE(s.converged);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(s.passes, kPassLimit + 1);
  for (int i = 1; i <= 61; ++i) EXPECT_TRUE(std::isfinite(s.molality[i]) && s.molality[i] > 0) << i;
  EXPECT_TRUE(std::isfinite(s.tnew[13]));
  // One step further the iteration runs away: an error that says so, not a bare fault.
  try {
    Speciate(GeothermalWater(), 11.19, c.k, c.model, nullptr);
    FAIL() << "no error";
  } catch (const ArithmeticError& e) {
    EXPECT_NE(std::string(e.what()).find("speciation diverged at pass"), std::string::npos)
        << e.what();
  }
}

TEST(SaturationIndex, SharedProductsAndDivisors) {
  std::array<double, thermo::kMaxSpecies + 1> a{};
  a.fill(1e-3);
  a[14] = 1.0;
  thermo::EquilibriumConstants sq;
  sq.dataset = DatasetId::kSolveq;
  sq.mineral_k.fill(1.0);
  sq.mineral_k[32] = 1e-4;  // QUARTZ: IAP / K = 10
  const auto si = saturation::SaturationIndices(a, sq);
  EXPECT_DOUBLE_EQ(si[32], std::log(10.0) / 2.303);
  EXPECT_LT(si[32], 1.0);
  EXPECT_EQ(si[9], si[9]);
  thermo::EquilibriumConstants sp;
  sp.dataset = DatasetId::kSupcrt;
  sp.mineral_k.fill(1.0);
  sp.mineral_k[41] = 1e-4;
  const auto si2 = saturation::SaturationIndices(a, sp);
  EXPECT_NEAR(si2[41], 1.0, 1e-15);
  EXPECT_EQ(si2[12], si2[18]);  // chalcedony and cristobalite share a(SiO2)
  EXPECT_EQ(si2[11], si2[8]);   // calcite and aragonite
  EXPECT_EQ(si2[14], si2[15]);  // the clinochlores
  EXPECT_EQ(si2[19], si2[25]);  // diaspore and gibbsite
}

TEST(SaturationIndex, OutOfRangeProductStillGivesAFiniteIndexAndNegativeActivityFails) {
  std::array<double, thermo::kMaxSpecies + 1> a{};
  a.fill(1e-33);
  a[13] = 1e-3;
  thermo::EquilibriumConstants k;
  k.dataset = DatasetId::kSupcrt;
  k.mineral_k.fill(1.0);
  const auto si = saturation::SaturationIndices(a, k);
  for (int m = 1; m <= 47; ++m) EXPECT_TRUE(std::isfinite(si[m])) << m;
  EXPECT_NEAR(
      si[44],
      (2 * std::log(1e-33) + 5 * std::log(1e-33) - 14 * std::log(1e-3) + 8 * std::log(1e-33)) /
          std::log(10.0),
      1e-9);
  a[4] = -1e-3;
  EXPECT_THROW(saturation::SaturationIndices(a, k), ArithmeticError);
}

}  // namespace
}  // namespace geofluid::speciation
