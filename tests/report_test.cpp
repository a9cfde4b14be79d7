#include "report/report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "form/calculation.h"
#include "platform/errors.h"
#include "thermo/catalogue.h"

namespace geofluid::report {
namespace {

using thermo::DatasetId;

// A window run's result prints with the temperature as typed.
std::vector<std::string> ReportLines(const form::CalculationResult& r) {
  return report::ReportLines(r, r.temperature_text);
}
std::string ReportText(const form::CalculationResult& r) {
  return report::ReportText(r, r.temperature_text);
}

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The activity whose log activity, ln a / 2.303, is `log_activity`.
double ActivityOfLog(double log_activity) { return std::exp(log_activity * 2.303); }

TEST(ReportNumberItem, PrintsTheGeneralForm) {
  EXPECT_EQ(NumberItem(0.015), " .015 ");
  EXPECT_EQ(NumberItem(0.152), " .152 ");
  EXPECT_EQ(NumberItem(1e-21), " 1E-21 ");
  EXPECT_EQ(NumberItem(7), " 7 ");
  EXPECT_EQ(NumberItem(-1.5), "-1.5 ");
  EXPECT_EQ(NumberItem(-0.5), "-.5 ");
  EXPECT_EQ(NumberItem(0.0), " 0 ");
  EXPECT_EQ(NumberItem(-0.0), " 0 ");
  EXPECT_EQ(NumberItem(1234.5), " 1234.5 ");
  EXPECT_EQ(NumberItem(-0.001234), "-.001234 ");
}

TEST(ReportNumberItem, RoundsToFifteenSignificantDigits) {
  EXPECT_EQ(NumberItem(0.1 + 0.2), " .3 ");
  EXPECT_EQ(NumberItem(1.0 / 3.0), " .333333333333333 ");
  EXPECT_EQ(NumberItem(2.0 / 3.0), " .666666666666667 ");
  EXPECT_EQ(NumberItem(123456789012345.0), " 123456789012345 ");
  EXPECT_EQ(NumberItem(123456789012345678.0), " 1.23456789012346E+17 ");
  // The carry of the rounding moves the value into exponent form.
  EXPECT_EQ(NumberItem(999999999999999.9), " 1E+15 ");
  EXPECT_EQ(NumberItem(0.99999999999999999), " 1 ");
}

TEST(ReportNumberItem, SwitchesToExponentFormBelow1EMinus4AndFrom1E15) {
  EXPECT_EQ(NumberItem(0.0001), " .0001 ");
  EXPECT_EQ(NumberItem(0.00001), " 1E-05 ");
  EXPECT_EQ(NumberItem(2.5e-5), " 2.5E-05 ");
  EXPECT_EQ(NumberItem(1e14), " 100000000000000 ");
  EXPECT_EQ(NumberItem(1e15), " 1E+15 ");
  EXPECT_EQ(NumberItem(1.5e20), " 1.5E+20 ");
  EXPECT_EQ(NumberItem(1e-100), " 1E-100 ");
  EXPECT_EQ(NumberItem(1.7976931348623157e308), " 1.79769313486232E+308 ");
  EXPECT_EQ(NumberItem(std::numeric_limits<double>::denorm_min()), " 4.94065645841247E-324 ");
}

TEST(ReportNumberItem, RefusesNonFiniteValuesNamingThem) {
  EXPECT_THROW(NumberItem(kNan), ArithmeticError);
  EXPECT_THROW(NumberItem(-kInf), ArithmeticError);
  try {
    NumberItem(kInf, "TOTH");
    FAIL() << "no error";
  } catch (const ArithmeticError& e) {
    EXPECT_NE(std::string(e.what()).find("TOTH"), std::string::npos) << e.what();
  }
}

TEST(ReportFormat, Scientific) {
  EXPECT_EQ(FormatScientific(1.234e-5), "1.234E-05");
  EXPECT_EQ(FormatScientific(0.2301), "2.301E-01");
  EXPECT_EQ(FormatScientific(1.5e-21), "1.500E-21");
  EXPECT_EQ(FormatScientific(1e-100), "1.000E-100");
  EXPECT_EQ(FormatScientific(-1.234e-5), "-1.234E-05");
  EXPECT_EQ(FormatScientific(0.0), "0.000E+00");
  EXPECT_EQ(FormatScientific(-0.0), "0.000E+00");
  EXPECT_EQ(FormatScientific(9.99951), "1.000E+01");
  // An exact tie rounds away from zero; a value just below one does not.
  EXPECT_EQ(FormatScientific(1.0625), "1.063E+00");
  EXPECT_EQ(FormatScientific(1.2345), "1.234E+00");  // 1.23449999... as a double
  EXPECT_THROW(FormatScientific(kNan), ArithmeticError);
}

TEST(ReportFormat, FixedWithOneAndTwoIntegerDigits) {
  EXPECT_EQ(FormatFixed(0.705), "0.705");
  EXPECT_EQ(FormatFixed(-0.944), "-0.944");
  EXPECT_EQ(FormatFixed(12.3456), "12.346");
  EXPECT_EQ(FormatFixed(0.0), "0.000");
  EXPECT_EQ(FormatFixed(0.0625), "0.063");
  EXPECT_EQ(FormatFixed(-0.0625), "-0.063");
  EXPECT_EQ(FormatFixed(0.9996), "1.000");
  EXPECT_EQ(FormatFixed(0.0005), "0.001");  // 5.0000000000000001E-04 as a double
  EXPECT_EQ(FormatFixed(-0.0001), "-0.000");
  EXPECT_EQ(FormatFixed(-0.0), "0.000");

  EXPECT_EQ(FormatFixedTwoDigits(1.5), "01.500");
  EXPECT_EQ(FormatFixedTwoDigits(-1.5), "-01.500");
  EXPECT_EQ(FormatFixedTwoDigits(-12.3456), "-12.346");
  EXPECT_EQ(FormatFixedTwoDigits(0.0), "00.000");
  EXPECT_EQ(FormatFixedTwoDigits(9.9996), "10.000");
  EXPECT_EQ(FormatFixedTwoDigits(-0.0004), "-00.000");
  EXPECT_THROW(FormatFixed(kInf), ArithmeticError);
  EXPECT_THROW(FormatFixedTwoDigits(kNan), ArithmeticError);
}

TEST(ReportFormat, FormattedTextPrintedAsNumber) {
  EXPECT_EQ(AsNumberItem(FormatScientific(0.015), "x"), " .015 ");
  EXPECT_EQ(AsNumberItem(FormatScientific(0.0123456789), "x"), " .01235 ");
  EXPECT_EQ(AsNumberItem(FormatFixedTwoDigits(1.5), "x"), " 1.5 ");
  EXPECT_EQ(AsNumberItem(FormatFixedTwoDigits(-0.0004), "x"), " 0 ");
  EXPECT_THROW(AsNumberItem("", "x"), ArithmeticError);
}

// A run's result with every printed value set and positive activities.
form::CalculationResult Synthetic(DatasetId dataset) {
  const thermo::Catalogue& catalogue = thermo::CatalogueOf(dataset);
  form::CalculationResult r;
  r.dataset = &engine::Dataset::Of(dataset);
  r.temperature_text = "250.0";
  r.steam_fraction = 0.152;
  for (int i = 1; i <= 14; ++i) r.totals[i] = 0.001 * i;
  for (int i = 1; i <= 13; ++i) r.speciation.tnew[i] = 0.002 * i;
  for (int i = 1; i <= catalogue.species_count; ++i) {
    r.speciation.molality[i] = 1e-6 * i;
    r.speciation.gamma[i] = 0.9;
    r.speciation.activity[i] = 0.9e-6 * i;
  }
  r.speciation.molality[1] = 1.234e-5;
  r.speciation.gamma[1] = 0.512;
  r.speciation.activity[1] = ActivityOfLog(-5.448);
  r.speciation.molality[2] = 0.2301;
  r.speciation.gamma[2] = 0.705;
  r.speciation.activity[2] = ActivityOfLog(-0.944);
  r.speciation.activity[thermo::kWater] = 1.0;
  r.speciation.ionic_strength = 0.01874;
  r.toth = -1.23456e-3;
  for (int m = 1; m <= catalogue.mineral_count; ++m) r.saturation_index[m] = 0.25 * m;
  return r;
}

// Positions of the fixed lines, counted from 0.
constexpr std::size_t kTitle = 1, kTemperature = 2, kComposition = 4, kFirstTotal = 5,
                      kMassBalance = 17, kFirstBalance = 18, kHeader = 31, kFirstSpecies = 32;

TEST(ReportSolveq, HasTheLinesOfItsLayout) {
  const std::vector<std::string> lines = ReportLines(Synthetic(DatasetId::kSolveq));
  ASSERT_EQ(lines.size(), 137u);
  const std::size_t after = kFirstSpecies + 61;
  const std::string stars(84, '*');
  EXPECT_EQ(lines[0], std::string(84, '='));
  EXPECT_EQ(lines[kTitle], "Used thermodynamic data is SOLVEQ(Reed,1982)");
  EXPECT_EQ(lines[kTemperature], "Temperature=250.0\xE2\x84\x83");
  EXPECT_EQ(lines[3], stars);
  EXPECT_EQ(lines[kComposition], "Chemical compositions");
  EXPECT_EQ(lines[kMassBalance], "Mass-balance");
  EXPECT_EQ(lines[30], stars);
  EXPECT_EQ(lines[kHeader],
            "NO.             Species                   Molality     Act coef.      Log(Activity)");
  EXPECT_EQ(lines[kFirstSpecies], " 1 H2SiO4   (2-)1.234E-050.512-5.448");
  EXPECT_EQ(lines[kFirstSpecies + 1], " 2 Na        (+)2.301E-010.705-0.944");
  EXPECT_EQ(lines[kFirstSpecies + 13], " 14 H2O1.400E-050.9000.000");
  EXPECT_EQ(lines[after - 1].substr(0, 4), " 61 ");
  EXPECT_EQ(lines[after], "Fraction of steam= .152 ");
  EXPECT_EQ(lines[after + 1], "Ionic strength=1.874E-02");
  EXPECT_EQ(lines[after + 2], "pH-function(TOTH) =-1.235E-03");
  EXPECT_EQ(lines[after + 3], stars);
  EXPECT_EQ(lines[after + 4], "Saturation Index");
  EXPECT_EQ(lines[after + 5], " 1 LOW-ALBITE     =  .25 ");
  EXPECT_EQ(lines[after + 4 + 38].substr(0, 4), " 38 ");
  EXPECT_EQ(lines.back(), std::string(84, '-'));
}

TEST(ReportSolveq, RoundsTotalsAndMassBalanceBeforePrintingThemAsNumbers) {
  form::CalculationResult r = Synthetic(DatasetId::kSolveq);
  r.totals[1] = 0.015;
  r.totals[2] = 1e-21;  // what the run puts in place of a component typed as 0
  r.totals[3] = 0.0123456789;
  r.speciation.tnew[1] = 0.0123456789;
  r.speciation.tnew[12] = 2.5e-5;
  const std::vector<std::string> lines = ReportLines(r);
  EXPECT_EQ(lines[kFirstTotal], "H2SiO4   (2-) .015 ");
  EXPECT_EQ(lines[kFirstTotal + 1], "Na        (+) 1E-21 ");
  EXPECT_EQ(lines[kFirstTotal + 2], "K         (+) .01235 ");
  EXPECT_EQ(lines[kFirstBalance], "H2SiO4   (2-) .01235 ");
  EXPECT_EQ(lines[kFirstBalance + 11], "NH4      (+) 2.5E-05 ");
}

TEST(ReportSolveq, PrintsSaturationIndicesAndSteamFractionAsNumbers) {
  form::CalculationResult r = Synthetic(DatasetId::kSolveq);
  r.saturation_index[1] = -1.5;
  r.saturation_index[2] = 1.5;
  r.saturation_index[3] = 0.0;
  r.saturation_index[4] = -12.34567;
  r.saturation_index[5] = -0.0004;
  r.steam_fraction = 0.0;
  const std::vector<std::string> lines = ReportLines(r);
  const std::size_t steam = kFirstSpecies + 61, first_mineral = steam + 5;
  EXPECT_EQ(lines[steam], "Fraction of steam= 0 ");
  EXPECT_EQ(lines[first_mineral], " 1 LOW-ALBITE     = -1.5 ");
  EXPECT_EQ(lines[first_mineral + 1], " 2 ALUNITE        =  1.5 ");
  EXPECT_EQ(lines[first_mineral + 2], " 3 ANALCIME       =  0 ");
  EXPECT_EQ(lines[first_mineral + 3], " 4 ANDALUCITE     = -12.346 ");
  EXPECT_EQ(lines[first_mineral + 4], " 5 ANHYDRITE      =  0 ");
}

TEST(ReportSolveq, PrintsTheTemperatureAsTyped) {
  form::CalculationResult r = Synthetic(DatasetId::kSolveq);
  r.temperature_text = "250";
  EXPECT_EQ(ReportLines(r)[kTemperature], "Temperature=250\xE2\x84\x83");
  r.temperature_text = " 2.5E2";
  EXPECT_EQ(ReportLines(r)[kTemperature], "Temperature= 2.5E2\xE2\x84\x83");
  // A line break in the text would split the line and shift every line after it.
  r.temperature_text = "250\r\n";
  const std::vector<std::string> lines = ReportLines(r);
  EXPECT_EQ(lines[kTemperature], "Temperature=250\xE2\x84\x83");
  EXPECT_EQ(ReportText(r).find("250\r\n"), std::string::npos);
}

TEST(ReportSupcrt, HasTheLinesOfItsLayoutAndUnroundedTotals) {
  form::CalculationResult r = Synthetic(DatasetId::kSupcrt);
  r.totals[1] = 0.0123456789;
  r.totals[2] = 1e-21;
  r.speciation.tnew[1] = 0.0123456789;
  r.speciation.tnew[3] = 1.0 / 3.0;
  r.saturation_index[1] = 1.5;
  r.saturation_index[47] = -1.5;
  r.speciation.molality[10] = 3.21e-4;
  r.speciation.gamma[10] = 0.83;
  r.speciation.activity[10] = ActivityOfLog(-3.61);
  const std::vector<std::string> lines = ReportLines(r);
  ASSERT_EQ(lines.size(), 139u);
  const std::size_t after = kFirstSpecies + 54;
  const std::string stars(72, '*');
  EXPECT_EQ(lines[0], std::string(84, '='));
  EXPECT_EQ(lines[kTitle], "Used thermodynamic data is SUPCRT98");
  EXPECT_EQ(lines[kTemperature], "Temperature=250.0\xE2\x84\x83");
  EXPECT_EQ(lines[3], stars);
  EXPECT_EQ(lines[kComposition], "Chemical composition");
  EXPECT_EQ(lines[kFirstTotal], "HSiO3  (-) .0123456789 ");
  EXPECT_EQ(lines[kFirstTotal + 1], "Na     (+) 1E-21 ");
  EXPECT_EQ(lines[kMassBalance], "Mass-balance");
  EXPECT_EQ(lines[kFirstBalance], "HSiO3  (-) .0123456789 ");
  EXPECT_EQ(lines[kFirstBalance + 2], "K      (+) .333333333333333 ");
  EXPECT_EQ(lines[30], stars);
  EXPECT_EQ(lines[kHeader], "No.           Species       Molality      Act coef.     Log(Act)");
  EXPECT_EQ(lines[kFirstSpecies], " 1 HSiO3  (-)1.234E-050.512-5.448");
  EXPECT_EQ(lines[kFirstSpecies + 9], " 10 HS     (-)3.210E-040.830-3.610");
  EXPECT_EQ(lines[after - 1].substr(0, 4), " 54 ");
  EXPECT_EQ(lines[after], "Fraction of steam= .152 ");
  EXPECT_EQ(lines[after + 1], "Ionic strength=1.874E-02");
  EXPECT_EQ(lines[after + 2], "TOTH(pH-function) =-1.235E-03");
  EXPECT_EQ(lines[after + 3], stars);
  EXPECT_EQ(lines[after + 4], "Saturation Index");
  EXPECT_EQ(lines[after + 5], " 1 ALBITE_LOW        1.5 ");
  EXPECT_EQ(lines[after + 4 + 47], " 47 ZOISITE          -1.5 ");
  EXPECT_EQ(lines.back(), std::string(84, '-'));
}

TEST(ReportText, EndsEveryLineWithCrLf) {
  for (DatasetId dataset : {DatasetId::kSolveq, DatasetId::kSupcrt}) {
    const form::CalculationResult r = Synthetic(dataset);
    const std::vector<std::string> lines = ReportLines(r);
    std::string expected;
    for (const std::string& line : lines) expected += line + "\r\n";
    const std::string text = ReportText(r);
    EXPECT_EQ(text, expected);
    std::size_t breaks = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n') {
        ++breaks;
        EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "bare line feed at " << i;
      } else if (text[i] == '\r') {
        EXPECT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "bare carriage return at " << i;
      }
    }
    EXPECT_EQ(breaks, lines.size());
    // The degree sign is the only non-ASCII text.
    std::size_t high = 0;
    for (unsigned char c : text) high += c >= 0x80;
    EXPECT_EQ(high, 3u);
  }
}

TEST(ReportLines, RefusesValuesItCannotPrintNamingThem) {
  auto message = [](const form::CalculationResult& r) -> std::string {
    try {
      ReportLines(r);
    } catch (const ArithmeticError& e) {
      return e.what();
    }
    return "no error";
  };
  auto expect_named = [&](const form::CalculationResult& r, const std::string& name) {
    const std::string text = message(r);
    EXPECT_NE(text.find(name), std::string::npos) << text;
  };

  form::CalculationResult r = Synthetic(DatasetId::kSolveq);
  r.speciation.activity[2] = 0.0;
  expect_named(r, "log activity of Na (+)");
  r.speciation.activity[2] = -1e-9;
  expect_named(r, "log activity of Na (+)");

  r = Synthetic(DatasetId::kSolveq);
  r.saturation_index[32] = kInf;
  expect_named(r, "saturation index of QUARTZ");

  r = Synthetic(DatasetId::kSupcrt);
  r.speciation.molality[15] = kNan;
  expect_named(r, "molality of SiO2 (aq)");

  r = Synthetic(DatasetId::kSupcrt);
  r.speciation.tnew[4] = kNan;
  expect_named(r, "mass balance of Ca (2+)");
}

}  // namespace
}  // namespace geofluid::report
