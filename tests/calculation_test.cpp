#include "form/calculation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "form/analysis_input.h"
#include "form/number_text.h"
#include "platform/errors.h"

namespace geofluid::form {
namespace {

using thermo::DatasetId;

TEST(NumberText, AcceptsDecimalTextOnly) {
  EXPECT_EQ(ParseNumber("1.5"), 1.5);
  EXPECT_EQ(ParseNumber("  -2.5e-3 "), -2.5e-3);
  EXPECT_EQ(ParseNumber("+7"), 7.0);
  EXPECT_EQ(ParseNumber(".5"), 0.5);
  EXPECT_EQ(ParseNumber("5."), 5.0);
  EXPECT_EQ(ParseNumber("1E+02"), 100.0);
  for (const char* bad : {"", "  ", "abc", "1,5", "0x10", "inf", "-inf", "nan", "1e999", "-1e999",
                          "1e-999", "1.5x", "1e", "e5", ".", "+", "--1", "1 2", "１"}) {
    EXPECT_FALSE(ParseNumber(bad).has_value()) << bad;
  }
}

std::array<std::string, 19> Boxes() {
  std::array<std::string, 19> b{};
  const char* texts[19] = {"",     "0.01",  "0.04",   "0.004",  "0.0005", "1e-5", "5e-6",
                           "2e-5", "0.002", "0.0004", "0.0002", "0.04",   "5e-5", "8.3",
                           "1",    "0.02",  "0.002",  "25",     "100"};
  for (int i = 1; i <= 18; ++i) b[i] = texts[i];
  return b;
}

TEST(AnalysisInput, TotalsOfTheTotalFluid) {
  auto b = Boxes();
  const Analysis plain = ReadAnalysis(b, 0.0);
  for (int i = 1; i <= 12; ++i) EXPECT_EQ(plain.totals[i], *ParseNumber(b[i])) << i;
  EXPECT_EQ(plain.totals[14], 1.0);
  EXPECT_EQ(plain.totals[13], std::pow(10.0, -9.05));

  const double f = 0.2;
  const Analysis steam = ReadAnalysis(b, f);
  EXPECT_EQ(steam.totals[2], 0.04 * (1 - f));
  EXPECT_EQ(steam.totals[8], 0.002 * (1 - f) + 0.02 * f);
  EXPECT_EQ(steam.totals[10], 0.0002 * (1 - f) + f * 0.002);
  EXPECT_EQ(steam.totals[14], 1.0);  // water never gets (1 - f)

  b[8] = "0";
  b[5] = "0";
  const Analysis zeros = ReadAnalysis(b, f);
  EXPECT_EQ(zeros.totals[8], 0.02 * f);  // the vapour CO2 alone
  EXPECT_EQ(zeros.totals[5], kZeroTotal);
  EXPECT_EQ(ReadAnalysis(b, 0.0).totals[8], kZeroTotal);
}

TEST(AnalysisInput, ConversionErrorNamesTheBoxAndItsLabel) {
  auto b = Boxes();
  b[5] = "abc";
  try {
    ReadAnalysis(b, 0.0);
    FAIL();
  } catch (const ConversionError& e) {
    EXPECT_STREQ(e.what(), "Text5 (Mg): \"abc\" is not a number");
  }
  b[5] = "1e999";
  EXPECT_THROW(
      {
        try {
          ReadAnalysis(b, 0.0);
        } catch (const ConversionError& e) {
          EXPECT_STREQ(e.what(),
                       "Text5 (Mg): \"1e999\" is not a number (out of the range of a double)");
          throw;
        }
      },
      ConversionError);
  b[5] = std::string(39, 'x') + "äöü";  // cut to 40 bytes without splitting a character
  try {
    ReadAnalysis(b, 0.0);
  } catch (const ConversionError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Text5 (Mg): \"" + std::string(39, 'x') + "...\" is not a number");
  }
  b[5] = "1";
  b[15] = "";  // the vapour boxes must hold numbers even without steam
  EXPECT_THROW(ReadAnalysis(b, 0.0), ConversionError);
}

CalculationInput Input(DatasetId d, bool option1) {
  CalculationInput in;
  in.dataset = d;
  in.box = Boxes();
  in.option1 = option1;
  in.check1 = option1 ? 1 : 0;
  return in;
}

class CalculationOfBothDatasets : public ::testing::TestWithParam<DatasetId> {};
INSTANTIATE_TEST_SUITE_P(Calculation, CalculationOfBothDatasets,
                         ::testing::Values(DatasetId::kSolveq, DatasetId::kSupcrt));

TEST_P(CalculationOfBothDatasets, MeasuredModeThenSecondModeAtTheSameTemperatureGivesThePhBack) {
  const CalculationResult measured = Calculate(Input(GetParam(), true), nullptr);
  EXPECT_EQ(measured.trials, 1);
  EXPECT_EQ(measured.steam_fraction, 0.0);
  EXPECT_EQ(measured.toth, measured.speciation.tnew[13]);
  CalculationInput other = Input(GetParam(), false);
  other.check1 = 1;
  other.stored_toth = measured.toth;
  // At least 19 trials is the decimal search's; the fast search ends on the same pH.
  const CalculationResult found = Calculate(other, nullptr, engine::Search::kDecimal);
  EXPECT_NEAR(found.ph, 8.3, 2e-9);
  EXPECT_GE(found.trials, 19);
  EXPECT_EQ(Calculate(other, nullptr, engine::Search::kFast).ph, found.ph);
  EXPECT_EQ(found.toth, measured.toth);  // the target, without steam
}

TEST_P(CalculationOfBothDatasets, SecondModeAtReservoirTemperatureWithSteam) {
  CalculationInput in = Input(GetParam(), false);
  in.box[17] = "250";
  in.stored_toth = Calculate(Input(GetParam(), true), nullptr).toth;
  const CalculationResult r = Calculate(in, nullptr);
  EXPECT_GT(r.steam_fraction, 0.2);
  EXPECT_GT(r.ph, 4.0);
  EXPECT_LT(r.ph, 9.0);
  for (int m = 1; m <= thermo::CatalogueOf(GetParam()).mineral_count; ++m) {
    EXPECT_TRUE(std::isfinite(r.saturation_index[m])) << m;
  }
}

TEST(Calculation, NonConvergenceIsReportedAndTheRunGoesOn) {
  CalculationInput in = Input(DatasetId::kSolveq, true);
  in.box[17] = "200";
  in.box[13] = "11.187";
  int messages = 0;
  const CalculationResult r = Calculate(in, [&] { ++messages; });
  EXPECT_EQ(messages, 1);
  EXPECT_EQ(r.non_convergences, 1);
  EXPECT_FALSE(r.speciation.converged);
  EXPECT_TRUE(std::isfinite(r.toth));
}

TEST(Calculation, ErrorsNameTheirCause) {
  auto message = [](CalculationInput in) -> std::string {
    try {
      Calculate(in, nullptr);
    } catch (const Error& e) {
      return e.what();
    }
    return "no error";
  };
  CalculationInput in = Input(DatasetId::kSupcrt, true);
  in.box[17] = "";
  EXPECT_EQ(message(in), "Text17 (計算温度): the box is empty, not a number");
  in = Input(DatasetId::kSolveq, true);
  in.box[13] = "7,0";
  EXPECT_EQ(message(in), "Text13 (pH): \"7,0\" is not a number");
  in = Input(DatasetId::kSolveq, false);
  in.box[17] = "250";
  in.box[18] = "1000";
  EXPECT_NE(message(in).find("outside the steam table"), std::string::npos) << message(in);
  in = Input(DatasetId::kSolveq, true);
  in.box[9] = "-0.01";  // a negative sulphate has no eighth root
  EXPECT_NE(message(in).find("arithmetic error"), std::string::npos) << message(in);
}

}  // namespace
}  // namespace geofluid::form
