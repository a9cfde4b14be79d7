#include "speciation/ph_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "form/calculation.h"
#include "platform/errors.h"
#include "random_waters.h"
#include "speciation/ph_estimate.h"
#include "speciation/solver.h"

namespace geofluid::speciation {
namespace {

using testing::Case;
using testing::MakeCase;
using testing::SecondMode;
using testing::Text;
using thermo::DatasetId;

class FastSearchOfBothDatasets : public ::testing::TestWithParam<DatasetId> {};
INSTANTIATE_TEST_SUITE_P(PhSearch, FastSearchOfBothDatasets,
                         ::testing::Values(DatasetId::kSolveq, DatasetId::kSupcrt));

// The run's own decimal search is the reference; the fast search must return its pH bit for
// bit, make its last call there, and need far fewer calls.
TEST_P(FastSearchOfBothDatasets, SamePhBitForBitOnRandomWaters) {
  const DatasetId dataset = GetParam();
  std::mt19937_64 random(dataset == DatasetId::kSolveq ? 20261208 : 8121602);
  // GEOFLUID_PH_SEARCH_CASES=n searches longer (and from another seed).
  const char* more = std::getenv("GEOFLUID_PH_SEARCH_CASES");
  const int kCases = more ? std::atoi(more) : 1000;
  if (more) random.seed(random() + kCases);
  int failures_alike = 0, stopping = 0;
  long decimal_calls = 0, fast_calls = 0, near_calls = 0, slope_calls = 0, estimated_calls = 0;
  int estimated = 0, estimated_within_step = 0;
  int loosely_estimated = 0, loosely_within_step = 0;  // by the loose runs alone
  for (int n = 0; n < kCases; ++n) {
    Case c = MakeCase(random, dataset);
    SCOPED_TRACE("case " + std::to_string(n) + " at " + c.second.box[17] + " °C, pH " +
                 c.water.box[13]);
    c.second.check1 = n % 3 == 0;  // every third run without the steam correction
    const SecondMode mismatch(dataset, c.second.box, c.second.stored_toth, c.second.check1 == 0);
    std::vector<double> calls;
    const auto recorded = [&](double ph) {
      calls.push_back(ph);
      return mismatch(ph);
    };
    // The warm searches ask for two at once, as the engine's do.
    const MismatchSideBySide pair = [&](std::span<const double> ph, std::span<double> d) {
      if (!mismatch.SideBySide(ph, d)) return false;
      calls.insert(calls.end(), ph.begin(), ph.end());
      return true;
    };
    form::CalculationResult reference;
    try {
      reference = form::Calculate(c.second, nullptr, engine::Search::kDecimal);
    } catch (const Error& e) {
      // The fast search must fail alike.
      for (const std::optional<double> hint : {std::optional<double>(), std::optional(7.0)}) {
        try {
          FastPhSearch(recorded, hint, 0.0, pair, hint);
          ADD_FAILURE() << "no error; the decimal search failed with " << e.what();
        } catch (const Error& fast) {
          EXPECT_STREQ(fast.what(), e.what());
          EXPECT_EQ(typeid(fast), typeid(e));
        }
      }
      ++failures_alike;
      continue;
    }
    const PhSearchResult fast = FastPhSearch(recorded);
    ASSERT_EQ(fast.ph, reference.ph) << Text(fast.ph) << " != " << Text(reference.ph);
    EXPECT_EQ(calls.back(), fast.ph);
    EXPECT_EQ(fast.trials, static_cast<int>(calls.size()));
    // As the engine searches: from the estimate, started at the sample's pH (the window's second
    // mode reads none, and takes 7).
    const double measured = form::BoxNumber(c.water.box, 13);
    const std::optional<PhEstimate> estimate = mismatch.Estimate({std::nullopt, 0.0, 7.0});
    calls.clear();
    const PhSearchResult from_estimate = FastPhSearch(
        recorded, std::nullopt, 0.0, pair, estimate ? std::optional(estimate->ph) : std::nullopt);
    ASSERT_EQ(from_estimate.ph, reference.ph);
    EXPECT_EQ(calls.back(), from_estimate.ph);
    EXPECT_EQ(from_estimate.trials, static_cast<int>(calls.size()));
    if (estimate) {
      ++estimated;
      // The last decimal step is 1e-9: the answer is its trial nearest the root below or above.
      if (std::fabs(estimate->ph - reference.ph) < 1e-9) ++estimated_within_step;
      estimated_calls += from_estimate.trials;
    }
    if (const std::optional<PhEstimate> loose =
            mismatch.Estimate({std::nullopt, 0.0, 7.0, false})) {
      ++loosely_estimated;
      if (std::fabs(loose->ph - reference.ph) < 1e-9) ++loosely_within_step;
    }
    // Through the engine the run keeps the speciation of the last trial: everything the report
    // prints is the decimal search's.
    const form::CalculationResult run = form::Calculate(c.second, nullptr, engine::Search::kFast);
    EXPECT_EQ(run.ph, reference.ph);
    // A decimal trial that stopped at the pass limit is shown to the user (a few random waters
    // at high temperature stop at pH 10): the run counts the same stops, out of as many decimal
    // trials, with a few more speciations than the fast search's only: the decimal path's
    // whole units below pH 10 it did not ask for (at most 9 above pH 0), and the answer again.
    EXPECT_EQ(run.decimal_trials, reference.trials);
    if (reference.non_convergences == 0) {
      EXPECT_EQ(run.trials, from_estimate.trials);
    } else {
      ++stopping;
      EXPECT_LE(run.trials, from_estimate.trials + 10);
    }
    EXPECT_EQ(run.toth, reference.toth);
    EXPECT_EQ(run.non_convergences, reference.non_convergences);
    EXPECT_TRUE(run.speciation.molality == reference.speciation.molality);
    EXPECT_TRUE(run.speciation.activity == reference.speciation.activity);
    EXPECT_TRUE(run.saturation_index == reference.saturation_index);
    if (n % 20 == 0) {
      const PhSearchResult decimal = DecimalPhSearch(mismatch);
      EXPECT_EQ(decimal.ph, reference.ph);
      EXPECT_EQ(decimal.trials, reference.trials);
      EXPECT_EQ(fast.path, decimal.path);  // the replay saw what the decimal search saw
    }
    decimal_calls += reference.trials;
    fast_calls += fast.trials;

    // Warm starts: from near the answer (a neighbouring temperature of a sweep, a draw), from
    // the pH measured at 25 °C, and from the ends of the pH range. Each ends on the decimal
    // search's pH with its last call there.
    std::mt19937_64 offsets(n);
    const double near = reference.ph + std::uniform_real_distribution<double>(-0.1, 0.1)(offsets);
    for (const double hint : {near, measured, -5.0, 16.0, reference.ph}) {
      SCOPED_TRACE("hint " + Text(hint));
      calls.clear();
      const PhSearchResult warm = FastPhSearch(recorded, hint, 0.0, pair);
      ASSERT_EQ(warm.ph, reference.ph) << Text(warm.ph) << " != " << Text(reference.ph);
      EXPECT_EQ(calls.back(), warm.ph);
      EXPECT_EQ(warm.trials, static_cast<int>(calls.size()));
      if (hint == near) near_calls += warm.trials;
    }
    // With the slope of the answer's own search, as a neighbour's would give it, and with
    // slopes far off: the first step is Newton's, and only the count of calls may differ.
    for (const double slope : {fast.slope, 1e-30, 1e30}) {
      SCOPED_TRACE("slope " + Text(slope));
      calls.clear();
      const PhSearchResult warm = FastPhSearch(recorded, near, slope, pair);
      ASSERT_EQ(warm.ph, reference.ph) << Text(warm.ph) << " != " << Text(reference.ph);
      EXPECT_EQ(calls.back(), warm.ph);
      if (slope == fast.slope) slope_calls += warm.trials;
    }
    EXPECT_GT(fast.slope, 0.0);
    // Estimates off by a step, a little, a lot, or out of range: the pH is the same.
    for (const double off : {1e-9, -3e-9, 1e-6, 0.3, -2.0, 20.0}) {
      SCOPED_TRACE("estimate off by " + Text(off));
      calls.clear();
      const PhSearchResult missed =
          FastPhSearch(recorded, std::nullopt, 0.0, pair, reference.ph + off);
      ASSERT_EQ(missed.ph, reference.ph) << Text(missed.ph) << " != " << Text(reference.ph);
      EXPECT_EQ(calls.back(), missed.ph);
    }
  }
  EXPECT_LT(failures_alike, kCases / 10);
  // Some of SOLVEQ's waters stop, so the way above is taken.
  if (dataset == DatasetId::kSolveq) {
    EXPECT_GT(stopping, 0);
  }
  // Far fewer speciations over all cases, and fewer again from near the answer.
  EXPECT_LT(3 * fast_calls, decimal_calls);
  EXPECT_LT(fast_calls, 12 * kCases);  // from pH 10 (12.6 by secant steps alone)
  EXPECT_LT(10 * near_calls, 7 * fast_calls);
  EXPECT_LT(slope_calls, near_calls);
  // Nearly every water has an estimate, and nearly every estimate is right to a last decimal
  // step: its search asks for pH 10 and the last two trials, and little else.
  EXPECT_GT(estimated, kCases * 95 / 100);
  EXPECT_GT(estimated_within_step, estimated * 9 / 10);
  EXPECT_LT(estimated_calls, 4 * estimated);
  EXPECT_GT(loosely_estimated, kCases * 95 / 100);
  EXPECT_GT(loosely_within_step, loosely_estimated * 9 / 10);
  std::printf(
      "calls per search: decimal %.2f, fast %.2f, from near the answer %.2f, with its slope "
      "%.2f, from the estimate %.2f; %d of %d estimates within a last step (by the loose runs "
      "alone %d of %d); %d with a stop at the pass limit\n",
      static_cast<double>(decimal_calls) / kCases, static_cast<double>(fast_calls) / kCases,
      static_cast<double>(near_calls) / kCases, static_cast<double>(slope_calls) / kCases,
      static_cast<double>(estimated_calls) / std::max(estimated, 1), estimated_within_step,
      estimated, loosely_within_step, loosely_estimated, stopping);
}

// Mismatch functions that break what the fast search takes for granted: it must still end
// where the decimal search ends, or fail with the same error.
struct Synthetic {
  const char* name;
  std::function<double(double)> mismatch;
};

std::vector<Synthetic> Synthetics() {
  return {
      {"rising", [](double ph) { return std::pow(10.0, ph - 14) - std::pow(10.0, -ph) + 1e-5; }},
      {"zero at pH 10", [](double ph) { return ph - 10.0; }},
      {"zero at pH 7", [](double ph) { return ph - 7.0; }},
      {"root above 10", [](double ph) { return ph - 10.734; }},
      {"two roots", [](double ph) { return (ph - 4.25) * (ph - 7.5) * (ph - 9.6); }},
      {"falling", [](double ph) { return 5.5 - ph; }},
      {"flat step", [](double ph) { return ph < 6.31   ? -1.0
                                           : ph < 6.32 ? 0.0
                                                       : 1.0; }},
      {"fails away from the path",
       [](double ph) {
         if (ph < 6.0 || ph > 10.0) throw ArithmeticError("arithmetic error at pH " + Text(ph));
         return ph - 7.77;
       }},
      {"fails on the path",
       [](double ph) {
         if (ph < 8.5) throw ArithmeticError("arithmetic error at pH " + Text(ph));
         return ph - 7.77;
       }},
      // As a SOLVEQ speciation at 250 °C: the decimal path's trial a tenth above the root fails.
      {"fails above a root above 10",
       [](double ph) {
         if (ph > 11.05) throw ArithmeticError("arithmetic error at pH " + Text(ph));
         return ph - 11.0;
       }},
      {"no sign change below", [](double) { return 1.0; }},
      {"no sign change above", [](double) { return -1.0; }},
      {"NaN", [](double ph) { return ph < 7.3 ? std::nan("") : ph - 7.0; }},
  };
}

TEST(PhSearch, FastEqualsDecimalWhereItsAssumptionsFail) {
  for (const Synthetic& s : Synthetics()) {
    SCOPED_TRACE(s.name);
    std::string decimal_error;
    PhSearchResult decimal{};
    double last = std::nan("");
    try {
      decimal = DecimalPhSearch(s.mismatch);
    } catch (const Error& e) {
      decimal_error = e.what();
    }
    // The fast search from a start: its result, or its error.
    const auto search = [&](std::optional<double> hint, double slope,
                            std::optional<double> estimate) {
      std::pair<PhSearchResult, std::string> r;
      try {
        r.first = FastPhSearch(
            [&](double ph) {
              last = ph;
              return s.mismatch(ph);
            },
            hint, slope, {}, estimate);
      } catch (const Error& e) {
        r.second = e.what();
      }
      return r;
    };
    const auto expect_decimal = [&](const std::pair<PhSearchResult, std::string>& r) {
      EXPECT_EQ(r.second, decimal_error);
      if (decimal_error.empty()) {
        EXPECT_EQ(r.first.ph, decimal.ph) << Text(r.first.ph) << " != " << Text(decimal.ph);
        EXPECT_EQ(last, r.first.ph);
        EXPECT_EQ(r.first.path, decimal.path);
      }
    };
    const auto cold = search(std::nullopt, 0.0, std::nullopt);
    expect_decimal(cold);
    if (decimal_error.empty()) EXPECT_LE(cold.first.trials, decimal.trials + 40);
    // A warm start from anywhere in the range, on either side of the answer or on it, and the
    // same point as an estimate of the root, alone and beside a hint. Two roots break the
    // assumption that D rises with pH between the start and pH 10: there a start near the
    // lower root finds that one, and only starts above it are asked for.
    const bool two_roots = std::string(s.name) == "two roots";
    for (const double start :
         {-5.0, 3.0, 6.3, 7.0, 7.77, 9.0, 10.0, 10.734, 11.0, 12.0, 16.0, 40.0, std::nan("")}) {
      if (two_roots && !(start > 7.5)) continue;
      SCOPED_TRACE("start " + Text(start));
      for (const double slope : {0.0, 1e-12, 1.0, 1e12, -1.0}) {
        SCOPED_TRACE("slope " + Text(slope));
        expect_decimal(search(start, slope, std::nullopt));
      }
      expect_decimal(search(std::nullopt, 0.0, start));
      expect_decimal(search(8.0, 0.0, start));
    }
  }
}

}  // namespace
}  // namespace geofluid::speciation
