// Many samples at once: the table read row by row with faults kept to their row, results equal
// to the engine's own, the same bytes whatever the number of threads, and output that stays
// well formed when the run is stopped.
#include "batch/batch.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

#include "cli_process.h"
#include "form_fixtures.h"
#include "geothermometry/sweep.h"
#include "interp/steffen.h"
#include "io/csv.h"
#include "io/text.h"
#include "typed_sample.h"

namespace geofluid::batch {
namespace {

using testing::ReadFile;
using testing::RunCli;
using testing::SplitLines;
using testing::TempDir;
using testing::WriteFile;

const std::string kWells = std::string(GEOFLUID_SOURCE_DIR) + "/examples/wells.csv";

std::vector<Job> ReadAll(const std::string& table, InputOptions options = {}) {
  std::istringstream in(table);
  CsvInput input(in, std::move(options));
  std::vector<Job> jobs;
  for (Job job; input.Next(job);) jobs.push_back(std::move(job));
  return jobs;
}

std::string UsageMessage(const std::string& table, InputOptions options = {}) {
  try {
    ReadAll(table, std::move(options));
  } catch (const UsageError& e) {
    return e.what();
  }
  return "(no usage error)";
}

// The example water of the sample file, in molalities.
engine::Sample NaClWater() {
  engine::Sample s = testing::TypedNaClWater();
  s.id = "nacl";
  return s;
}

// Samples around the example: pH, salinity and gas varied.
std::vector<engine::Sample> VariedWaters(int n) {
  std::vector<engine::Sample> samples;
  for (int i = 0; i < n; ++i) {
    engine::Sample s = NaClWater();
    s.id = "w" + std::to_string(i);
    s.ph = 6.5 + 0.1 * (i % 25);
    const double salt = 0.5 + 0.05 * (i % 17);
    s.component[1] *= salt;
    s.component[10] *= salt;
    s.steam_co2 *= 0.2 + 0.1 * (i % 9);
    s.ph_temperature = 20 + i % 6;
    s.separation_temperature = 100 + 10 * (i % 8);
    samples.push_back(s);
  }
  return samples;
}

InputOptions Temperatures(std::vector<double> temperatures, bool steam_correction = true) {
  InputOptions o;
  o.temperatures = std::move(temperatures);
  o.steam_correction = steam_correction;
  return o;
}

Job MakeJob(const engine::Sample& sample, std::vector<double> temperatures = {}) {
  Job job;
  job.sample = sample;
  job.temperatures = std::move(temperatures);
  return job;
}

EvaluationOptions BothDatasets() {
  EvaluationOptions o;
  o.datasets = {engine::Dataset::FromKey("solveq"), engine::Dataset::FromKey("supcrt")};
  return o;
}

std::uint64_t Bits(double v) {
  std::uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

// Every number a row prints, bit for bit.
void ExpectSameEvaluation(const engine::Evaluation& a, const engine::Evaluation& b,
                          const std::string& where) {
  EXPECT_EQ(Bits(a.ph), Bits(b.ph)) << where;
  EXPECT_EQ(Bits(a.toth), Bits(b.toth)) << where;
  EXPECT_EQ(Bits(a.steam_fraction), Bits(b.steam_fraction)) << where;
  EXPECT_EQ(Bits(a.IonicStrength()), Bits(b.IonicStrength())) << where;
  EXPECT_EQ(Bits(a.ChargeBalancePercent()), Bits(b.ChargeBalancePercent())) << where;
  EXPECT_EQ(a.trials, b.trials) << where;
  EXPECT_EQ(a.Passes(), b.Passes()) << where;
  const auto ma = a.Minerals();
  const auto mb = b.Minerals();
  ASSERT_EQ(ma.size(), mb.size()) << where;
  for (std::size_t m = 0; m < ma.size(); ++m) EXPECT_EQ(Bits(ma[m].si), Bits(mb[m].si)) << where;
  const auto sa = a.Species();
  const auto sb = b.Species();
  ASSERT_EQ(sa.size(), sb.size()) << where;
  for (std::size_t i = 0; i < sa.size(); ++i)
    EXPECT_EQ(Bits(sa[i].molality), Bits(sb[i].molality)) << where << " " << sa[i].name;
}

TEST(BatchTemperatures, ListsRangesAndMistakes) {
  EXPECT_EQ(ParseTemperatures("150,200,250"), (std::vector<double>{150, 200, 250}));
  const auto range = ParseTemperatures("100:300:10");
  ASSERT_EQ(range.size(), 21u);
  EXPECT_EQ(range.back(), 300.0);  // the stop is reached exactly, not 299.99999999999997
  EXPECT_EQ(ParseTemperatures(" 100:200:50 , 275"), (std::vector<double>{100, 150, 200, 275}));
  EXPECT_EQ(ParseTemperatures("150:300:100"), (std::vector<double>{150, 250}));
  EXPECT_EQ(ParseTemperatures("0:0.3:0.1").size(), 4u);
  for (const char* bad : {"", "150,,200", "abc", "300:100:10", "100:300:0", "100:300", "1:2:3:4",
                          "0:1e9:1", "150;200", "nan"})
    EXPECT_THROW(ParseTemperatures(bad), UsageError) << bad;
}

TEST(BatchInput, QuotedCellsByteOrderMarkAndLineNumbers) {
  const std::string table =
      "\xEF\xBB\xBFid,pH,ph_temperature,Na,Cl\r\n"
      "\"A, the first\",8.5,25,0.04,0.04\r\n"
      "\r\n"
      ",,,,\r\n"
      "\"B\nover two lines\",7.5,20,0.02,\"0.03\"\r\n"
      "C,  7.0 ,+25,1e-2,\r\n"
      "D,7.0,25,0.01,0.01";  // no line end at the end
  const auto jobs = ReadAll(table);
  ASSERT_EQ(jobs.size(), 4u);
  EXPECT_EQ(jobs[0].sample.id, "A, the first");
  EXPECT_EQ(jobs[0].line, 2u);
  EXPECT_EQ(jobs[1].sample.id, "B\nover two lines");
  EXPECT_EQ(jobs[1].line, 5u);
  EXPECT_EQ(jobs[1].sample.Component("Cl"), 0.03);
  EXPECT_EQ(jobs[2].line, 7u);
  EXPECT_EQ(jobs[3].line, 8u);
  for (const Job& j : jobs) EXPECT_EQ(j.fault, "") << j.line;
  // Blanks around a number and a leading + are taken; an empty cell is 0 for a component.
  EXPECT_EQ(jobs[2].sample.ph, 7.0);
  EXPECT_EQ(jobs[2].sample.ph_temperature, 25.0);
  EXPECT_EQ(jobs[2].sample.Component("Cl"), 0.0);
  // Columns left out: 0 for components, the defaults for water and gases.
  EXPECT_EQ(jobs[0].sample.Component("SiO2"), 0.0);
  EXPECT_EQ(jobs[0].sample.water, 55.51);
  EXPECT_EQ(jobs[0].sample.steam_co2, 0.0);
  EXPECT_TRUE(jobs[0].temperatures.empty());
}

TEST(BatchInput, RowFaultsNameLineIdColumnAndCause) {
  const std::string table =
      "id,pH,ph_temperature,separation,Na,CO3(2-),HCO3,CO2\n"
      "ok1,8.5,25,100,0.04,0.002,,0.02\n"
      "comma,\"8,5\",25,100,0.04,,,\n"
      "neg,8.5,25,100,-0.04,,,\n"
      "noph,,25,100,0.04,,,\n"
      "nopht,8.5,,100,0.04,,,\n"
      "both,8.5,25,100,0.04,0.002,0.003,\n"
      "short,8.5,25\n"
      "gas,8.5,25,100,0.04,,,-1\n"
      "hex,0x1p3,inf,100,0.04,,,\n"
      "ok2,7.5,25,100,0.04,,0.001,\n";
  const auto jobs = ReadAll(table, Temperatures({200}));
  ASSERT_EQ(jobs.size(), 10u);
  const auto expect_fault = [&](std::size_t k, std::vector<std::string> parts) {
    parts.insert(parts.begin(),
                 "line " + std::to_string(k + 2) + " (id " + jobs[k].sample.id + ")");
    for (const auto& p : parts)
      EXPECT_NE(jobs[k].fault.find(p), std::string::npos) << jobs[k].fault << " lacks " << p;
  };
  EXPECT_EQ(jobs[0].fault, "");
  expect_fault(1, {"column pH", "\"8,5\" is not a number"});
  expect_fault(2, {"column Na", "negative"});
  expect_fault(3, {"column pH", "missing"});
  expect_fault(4, {"column ph_temperature", "missing"});
  expect_fault(5, {"CO3(2-) and HCO3"});
  expect_fault(6, {"3 cells where the header has 8"});
  expect_fault(7, {"column CO2", "negative"});
  expect_fault(8, {"column pH", "column ph_temperature", "\"inf\""});
  EXPECT_EQ(jobs[9].fault, "");
  EXPECT_EQ(jobs[9].sample.Component("CO3(2-)"), 0.001);  // HCO3 counts as carbonate

  // The faulty rows become error rows; the others are computed.
  engine::ConditionsCache cache;
  EvaluationOptions options = BothDatasets();
  const Evaluated evaluated = EvaluateJobs(jobs, options, cache, 2);
  ASSERT_EQ(evaluated.complete, jobs.size());
  for (std::size_t k = 0; k < jobs.size(); ++k) {
    ASSERT_EQ(evaluated.per_job[k].size(), 2u);
    for (const Result& r : evaluated.per_job[k]) {
      const bool faulty = !jobs[k].fault.empty();
      EXPECT_EQ(r.status == Status::kError, faulty) << k << " " << r.message;
      EXPECT_EQ(r.evaluation.has_value(), !faulty) << k;
      if (faulty) {
        EXPECT_EQ(r.message, jobs[k].fault);
      }
      EXPECT_EQ(r.temperature.has_value(), !faulty);
    }
  }
}

// The header's names and each line's cells of a small table, a cell that reads as a number
// given as that number (as a DataFrame's float64 column gives it).
struct CellTable {
  std::vector<std::string> names;
  std::vector<std::vector<std::string>> texts;
  std::vector<std::vector<Cell>> Rows() const {
    std::vector<std::vector<Cell>> rows;
    for (const auto& line : texts) {
      rows.emplace_back();
      for (const std::string& t : line) {
        const auto number = io::ParseNumber(t);
        rows.back().push_back(number ? Cell::Number(*number) : Cell::Text(t));
      }
    }
    return rows;
  }
};

CellTable SplitTable(const std::string& table) {
  CellTable out;
  std::istringstream in(table);
  io::CsvReader reader(in);
  io::CsvRecord record;
  reader.Next(record);
  out.names = record.cells;
  while (reader.Next(record)) out.texts.push_back(record.cells);
  return out;
}

void ExpectSameJob(const Job& a, const Job& b, const std::string& where) {
  EXPECT_EQ(a.sample.id, b.sample.id) << where;
  for (std::size_t k = 0; k < engine::kComponentCount; ++k)
    EXPECT_EQ(Bits(a.sample.component[k]), Bits(b.sample.component[k])) << where << " " << k;
  for (const auto& [x, y] : {std::pair{a.sample.ph, b.sample.ph},
                             {a.sample.ph_temperature, b.sample.ph_temperature},
                             {a.sample.separation_temperature, b.sample.separation_temperature},
                             {a.sample.steam_co2, b.sample.steam_co2},
                             {a.sample.steam_h2s, b.sample.steam_h2s},
                             {a.sample.water, b.sample.water},
                             {a.sample.lithium, b.sample.lithium},
                             {a.sample.mg_detection_limit, b.sample.mg_detection_limit}})
    EXPECT_EQ(Bits(x), Bits(y)) << where;
  EXPECT_EQ(a.sample.below_detection, b.sample.below_detection) << where;
  EXPECT_EQ(a.sample.separation_given, b.sample.separation_given) << where;
  EXPECT_EQ(a.temperatures, b.temperatures) << where;
  EXPECT_EQ(a.fix, b.fix) << where;
  EXPECT_EQ(a.below_detection, b.below_detection) << where;
  EXPECT_EQ(a.extra, b.extra) << where;
}

TEST(BatchInput, NumbersGivenAsCellsReadAsTheirTextInAFile) {
  // Laboratory units per row, detection limits, gases, a per-row density and temperatures, and
  // the faults a number can have (negative, not finite, in a text column).
  const std::string table =
      "id,units,steam_units,density,pH,ph_temperature,separation,Na,K,Mg,HCO3,Li,CO2,H2S,"
      "temperatures,fix_Al,err_Na\n"
      "mg,mg/kg,mmol/kg,,8.35,25,140,962.0000000000001,179,<0.01,30,1.2,184,15.4,,MICROCLINE,3%\n"
      "mgl,mg/L,mg/kg,1.02,9.08,20,175,1103,161,n.d.,87,,145,15.2,\"150,200\",,\n"
      "mol,mol/kg,,,7.1,25,100,0.04,0.001,1e-300,0.002,,0.02,0.001,,,0.05\n"
      "7,,,,6.9,25,100,-4,0.001,,,,,,,,\n"
      "bad units,5,,,6.9,25,100,0.01,,,,,-0.5,,,,\n"
      "inf,,,,inf,25,100,0.01,,,,,,,,,\n"
      "dens,mg/L,,-1,6.9,25,100,10,,,,,,,,,\n";
  InputOptions options = Temperatures({200});
  options.extra_column = [](std::string_view name, std::size_t) { return name == "err_Na"; };
  const std::vector<Job> from_file = ReadAll(table, options);
  const CellTable cells = SplitTable(table);
  const RowReader reader(cells.names, 1, options);
  const auto rows = cells.Rows();
  ASSERT_EQ(from_file.size(), rows.size());
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const Job job = reader.Read(rows[k], k + 1, "row r" + std::to_string(k));
    ExpectSameJob(job, from_file[k], "row " + std::to_string(k));
    EXPECT_EQ(job.line, k + 1);
    // The same faults, the row named as the caller names it.
    const std::string line = "line " + std::to_string(k + 2);
    ASSERT_EQ(job.fault.empty(), from_file[k].fault.empty()) << from_file[k].fault;
    if (!job.fault.empty())
      EXPECT_EQ(job.fault, "row r" + std::to_string(k) + from_file[k].fault.substr(line.size()));
  }
  // The mg/kg row was converted, the n.d. and <x cells marked, Li carried.
  EXPECT_NEAR(from_file[0].sample.Component("Na"), 962.0 / 22989.77, 962.0 / 22989.77 / 100);
  EXPECT_EQ(from_file[0].below_detection, std::vector<std::string>{"Mg <0.01 (0.005 used)"});
  EXPECT_EQ(from_file[1].below_detection, std::vector<std::string>{"Mg n.d. (0 used)"});
  EXPECT_EQ(from_file[3].sample.id, "7");
  EXPECT_EQ(from_file[3].fault,
            "line 5 (id 7): column Na: \"-4\" is negative; a concentration cannot be");
  EXPECT_EQ(from_file[5].fault, "line 7 (id inf): column pH: \"inf\" is not a number");
  EXPECT_NE(from_file[4].fault.find("column units: \"5\" is not a unit"), std::string::npos);
  EXPECT_NE(from_file[4].fault.find("column CO2: \"-0.5\" is negative"), std::string::npos);
  EXPECT_NE(from_file[6].fault.find("column density: \"-1\": the density must be positive"),
            std::string::npos);
}

TEST(BatchInput, HeldNumbersAreExactAndNaNIsAnEmptyCell) {
  const std::vector<std::string> names = {"id", "pH", "ph_temperature", "Na", "err_x"};
  InputOptions options;
  options.extra_column = [](std::string_view name, std::size_t) { return name == "err_x"; };
  const RowReader reader(names, 1, options);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // 0.1 + 0.2 is not 0.3: the number is taken as it is, not through 15 digits of text.
  const std::vector<Cell> exact = {Cell::Number(12), Cell::Number(0.1 + 0.2), Cell::Text(" 25 "),
                                   Cell::Number(1e-310), Cell::Text("")};
  const Job job = reader.Read(exact, 1, "row a");
  EXPECT_EQ(job.fault, "");
  EXPECT_EQ(job.sample.id, "12");
  EXPECT_EQ(Bits(job.sample.ph), Bits(0.1 + 0.2));
  EXPECT_EQ(job.sample.ph_temperature, 25.0);
  EXPECT_EQ(Bits(job.sample.Component("Na")), Bits(1e-310));
  // NaN is an empty cell: a missing pH; a row of NaN is blank whatever its extra columns hold.
  const std::vector<Cell> gaps = {Cell::Text("w"), Cell::Number(nan), Cell::Number(25),
                                  Cell::Number(-std::numeric_limits<double>::infinity()),
                                  Cell::Text("")};
  EXPECT_EQ(reader.Read(gaps, 2, "row b").fault,
            "row b (id w): column Na: \"-inf\" is not a number; column pH: missing; every sample "
            "needs its measured pH");
  EXPECT_TRUE(reader.Blank(std::vector<Cell>{Cell::Text(" "), Cell::Number(nan), Cell::Number(nan),
                                             Cell::Text(""), Cell::Text("3%")}));
  EXPECT_FALSE(reader.Blank(std::vector<Cell>{Cell::Text(""), Cell::Number(nan), Cell::Number(0),
                                              Cell::Text(""), Cell::Text("")}));
}

TEST(BatchInput, HeaderMistakesAreUsageErrors) {
  // Li and B are columns (for the solute geothermometers); Rb and Cs are not.
  const std::string unknown = UsageMessage("id,pH,ph_temperature,Rb,Cs,Na\n");
  EXPECT_NE(unknown.find("\"Rb\" (column 4)"), std::string::npos) << unknown;
  EXPECT_NE(unknown.find("\"Cs\" (column 5)"), std::string::npos) << unknown;
  EXPECT_NE(unknown.find("the columns are id, SiO2"), std::string::npos) << unknown;
  EXPECT_NE(UsageMessage("id,pH,ph_temperature,Na,Na\n").find("Na is given twice"),
            std::string::npos);
  EXPECT_NE(UsageMessage("id,ph_temperature,Na\n").find("no pH column"), std::string::npos);
  EXPECT_NE(UsageMessage("id,pH,Na\n").find("no ph_temperature column"), std::string::npos);
  // The steam correction needs the separation temperature once a temperature is asked for.
  EXPECT_NE(UsageMessage("id,pH,ph_temperature\n", Temperatures({250})).find("separation"),
            std::string::npos);
  EXPECT_EQ(UsageMessage("id,pH,ph_temperature\n", Temperatures({250}, false)), "(no usage error)");
  EXPECT_NE(UsageMessage("").find("empty"), std::string::npos);
  // Column names are exact: a spreadsheet's "ph" is not the pH.
  EXPECT_NE(UsageMessage("id,ph,ph_temperature\n").find("\"ph\" (column 2, did you mean pH?)"),
            std::string::npos);
  EXPECT_NE(UsageMessage("id;pH;ph_temperature\n").find("semicolons"), std::string::npos);

  // An unclosed quote: at the end of the table, or long before it (the rest of a large table
  // is not swallowed into one cell).
  std::string long_table = "id,pH,ph_temperature\na,8,25\n\"b,8,25\n";
  for (int i = 0; i < 100000; ++i) long_table += "c" + std::to_string(i) + ",8,25\n";
  for (const std::string& table :
       {std::string("id,pH,ph_temperature\na,8,25\n\"b,8,25\nc,8,25\n"), long_table}) {
    std::istringstream broken(table);
    CsvInput input(broken, {});
    Job job;
    EXPECT_TRUE(input.Next(job));
    try {
      input.Next(job);
      ADD_FAILURE() << "an unclosed quote was taken";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find("quote"), std::string::npos) << e.what();
    }
  }
}

TEST(BatchInput, LaboratoryUnitsBecomeMolalities) {
  const std::string table =
      "id,units,steam_units,density,pH,ph_temperature,SiO2,Na,Cl,HCO3,total_H2S,NH4,CO2,H2S\n"
      "kg,mg/kg,mmol/kg,,8.5,25,600,1100,1800,,5,0.4,150,12\n"
      "litre,mg/L,,1.02,8.5,25,612,1122,1836,,5.1,0.408,6601,409\n"
      "mol,,,,8.5,25,0.01,0.05,0.05,0.002,,,0.1,0.01\n";
  const auto jobs = ReadAll(table);
  ASSERT_EQ(jobs.size(), 3u);
  for (const Job& j : jobs) ASSERT_EQ(j.fault, "") << j.fault;
  using units::FindForm;
  const std::vector<units::Amount> given = {{FindForm("SiO2"), 600},
                                            {FindForm("Na"), 1100},
                                            {FindForm("Cl"), 1800},
                                            {FindForm("total_H2S"), 5},
                                            {FindForm("NH4"), 0.4}};
  const auto m = units::ToMolality(given, units::Concentration::kMgPerKgSolution);
  const engine::Sample& kg = jobs[0].sample;
  EXPECT_EQ(kg.Component("SiO2"), m[0]);
  EXPECT_EQ(kg.Component("Na"), m[1]);
  EXPECT_EQ(kg.Component("Cl"), m[2]);
  EXPECT_EQ(kg.Component("HS(-)"), m[3]);
  EXPECT_EQ(kg.Component("NH3"), m[4]);
  EXPECT_NEAR(kg.Component("Cl"), 1800 / 35450.0 / (1 - 3505.4e-6), 1e-15);
  EXPECT_DOUBLE_EQ(kg.steam_co2, 0.15);
  EXPECT_DOUBLE_EQ(kg.steam_h2s, 0.012);
  // The same water per litre at 1.02 kg/L; its gases in mg/kg of steam (the default there).
  const engine::Sample& litre = jobs[1].sample;
  for (std::string_view key : engine::kComponentKeys)
    EXPECT_NEAR(litre.Component(key), kg.Component(key), 1e-15 + 1e-12 * kg.Component(key)) << key;
  EXPECT_NEAR(litre.steam_co2, 0.15, 1e-4);
  // mol/kg takes the values as they are; HCO3 is the carbonate total.
  EXPECT_EQ(jobs[2].sample.Component("CO3(2-)"), 0.002);
  EXPECT_EQ(jobs[2].sample.steam_co2, 0.1);

  const auto bad = ReadAll("id,units,pH,ph_temperature,Na\nx,ppm,8,25,1\ny,mg/kg,8,25,1e7\n");
  EXPECT_NE(bad[0].fault.find("column units: \"ppm\" is not a unit"), std::string::npos);
  EXPECT_NE(bad[1].fault.find("no water"), std::string::npos) << bad[1].fault;
}

// "<x" and "n.d." as laboratories write them; Li and B beside the components.
TEST(BatchInput, BelowDetectionAndTraceColumns) {
  InputOptions half;
  const auto jobs = ReadAll(
      "id,units,pH,ph_temperature,separation,Na,Mg,Ca,Li,B\n"
      "a,mg/kg,8,25,140,1000,<0.02,n.d.,2,<0.5\n"
      "b,mg/kg,8,25,,1000,0.01,0,,\n"
      "c,mg/kg,8,25,140,1000,<,5,<-1,\n",
      half);
  ASSERT_EQ(jobs.size(), 3u);
  const Job& a = jobs[0];
  EXPECT_TRUE(a.fault.empty()) << a.fault;
  // Half of 0.02 mg/kg is used, exactly as the plain 0.01 of row b.
  EXPECT_EQ(a.sample.Component("Mg"), jobs[1].sample.Component("Mg"));
  EXPECT_EQ(a.sample.Component("Ca"), 0.0);
  EXPECT_NEAR(a.sample.mg_detection_limit, 2.0 * a.sample.Component("Mg"), 1e-18);
  const unsigned mg = 1u << *engine::ComponentIndex("Mg");
  const unsigned ca = 1u << *engine::ComponentIndex("Ca");
  EXPECT_EQ(a.sample.below_detection, mg | ca | engine::kBelowDetectionBoron);
  ASSERT_EQ(a.below_detection.size(), 3u);
  EXPECT_EQ(a.below_detection[0], "Mg <0.02 (0.01 used)");
  EXPECT_EQ(a.below_detection[1], "Ca n.d. (0 used)");
  // 2 mg/kg of Li: 2 / 6940 mol/kg of water, the dissolved solids taken out as for Na.
  EXPECT_NEAR(a.sample.lithium, 2.0 / 6940.0 / (1.0 - 1000.01e-6), 1e-12);
  EXPECT_TRUE(std::isnan(jobs[1].sample.lithium));
  // An empty separation is not taken for 100 °C unsaid.
  EXPECT_TRUE(a.sample.separation_given);
  EXPECT_FALSE(jobs[1].sample.separation_given);
  EXPECT_NE(jobs[2].fault.find("column Mg: \"<\": a detection limit"), std::string::npos)
      << jobs[2].fault;
  EXPECT_NE(jobs[2].fault.find("column Li"), std::string::npos) << jobs[2].fault;

  // The batch's rows say what was below detection.
  engine::ConditionsCache cache;
  const auto results = EvaluateJob(a, BothDatasets(), cache);
  ASSERT_FALSE(results.empty());
  EXPECT_EQ(results[0].status, Status::kWarning);
  EXPECT_NE(results[0].message.find("below detection: Mg <0.02 (0.01 used), Ca n.d."),
            std::string::npos)
      << results[0].message;
}

// A chunk evaluated into the rows of a larger one before holds its own rows alone, as a fresh
// evaluation does, and counts only its own jobs complete.
TEST(BatchEvaluation, AChunkIntoTheLastOnesRowsHoldsItsOwnAlone) {
  const engine::Sample sample = NaClWater();
  const std::vector<Job> first = {MakeJob(sample, {150, 250}), MakeJob(sample),
                                  MakeJob(sample, {300})};
  const std::vector<Job> next = {MakeJob(sample, {200}), MakeJob(sample, {150, 250, 300})};
  engine::ConditionsCache cache;
  const EvaluationOptions options = BothDatasets();
  Evaluated reused;
  EvaluateJobs(first, options, cache, 1, nullptr, reused);
  EvaluateJobs(next, options, cache, 2, nullptr, reused);
  const Evaluated fresh = EvaluateJobs(next, options, cache, 1);
  EXPECT_EQ(reused.complete, 2u);
  ASSERT_EQ(reused.per_job.size(), 2u);
  for (std::size_t k = 0; k < next.size(); ++k) {
    ASSERT_EQ(reused.per_job[k].size(), fresh.per_job[k].size()) << k;
    for (std::size_t i = 0; i < fresh.per_job[k].size(); ++i) {
      EXPECT_EQ(reused.per_job[k][i].temperature, fresh.per_job[k][i].temperature);
      EXPECT_EQ(reused.per_job[k][i].evaluation->ph, fresh.per_job[k][i].evaluation->ph);
    }
  }
  const std::atomic<bool> cancel{true};
  EvaluateJobs(first, options, cache, 1, &cancel, reused);
  EXPECT_EQ(reused.complete, 0u);
}

TEST(BatchEvaluation, EqualsTheEngineCarry) {
  const engine::Sample sample = NaClWater();
  const std::vector<double> temperatures = {150, 250, 300};
  engine::ConditionsCache cache;
  const Job job = MakeJob(sample, temperatures);
  const std::vector<Result> results = EvaluateJob(job, BothDatasets(), cache);
  ASSERT_EQ(results.size(), 6u);
  for (const bool steam : {true, false}) {
    EvaluationOptions options = BothDatasets();
    options.steam_correction = steam;
    const auto batch = EvaluateJob(job, options, cache);
    for (std::size_t d = 0; d < 2; ++d) {
      const engine::Dataset& dataset = *options.datasets[d];
      std::vector<std::shared_ptr<const engine::Conditions>> targets;
      for (double t : temperatures) targets.push_back(engine::Prepare(dataset, t));
      const engine::Carried carried =
          engine::Carry(sample, engine::Prepare(dataset, sample.ph_temperature), targets, steam);
      for (std::size_t k = 0; k < temperatures.size(); ++k) {
        const Result& r = batch[d * temperatures.size() + k];
        ASSERT_TRUE(r.evaluation) << r.message;
        EXPECT_EQ(r.dataset, &dataset);
        EXPECT_EQ(r.temperature, temperatures[k]);
        ExpectSameEvaluation(*r.evaluation, carried.at[k],
                             std::string(dataset.key) + " " + std::to_string(temperatures[k]));
      }
    }
  }
  // Without temperatures: the measured mode at the pH temperature.
  const auto measured = EvaluateJob(MakeJob(sample), BothDatasets(), cache);
  ASSERT_EQ(measured.size(), 2u);
  ASSERT_TRUE(measured[1].evaluation);
  EXPECT_TRUE(measured[1].measured);
  EXPECT_EQ(measured[1].temperature, 25.0);
  ExpectSameEvaluation(
      *measured[1].evaluation,
      engine::EvaluateMeasured(sample, engine::Prepare(*engine::Dataset::FromKey("supcrt"), 25)),
      "measured");
}

TEST(BatchEvaluation, AnotherInterpolationIsPassedThrough) {
  const engine::Sample sample = NaClWater();
  EvaluationOptions options;
  options.datasets = {engine::Dataset::FromKey("supcrt")};
  options.scheme = &interp::SteffenScheme();
  engine::ConditionsCache cache;
  const auto results = EvaluateJob(MakeJob(sample, {290}), options, cache);
  ASSERT_EQ(results.size(), 1u);
  ASSERT_TRUE(results[0].evaluation) << results[0].message;
  const engine::Dataset& supcrt = *options.datasets[0];
  const auto& steffen = interp::SteffenScheme();
  const auto at = std::vector{engine::Prepare(supcrt, 290, steffen)};
  const auto carried = engine::Carry(sample, engine::Prepare(supcrt, 25, steffen), at, true);
  ExpectSameEvaluation(*results[0].evaluation, carried.at[0], "steffen");
  // And not the specified polynomial, which swings near 290 °C.
  options.scheme = nullptr;
  const auto specified = EvaluateJob(MakeJob(sample, {290}), options, cache);
  EXPECT_NE(specified[0].evaluation->Si("QUARTZ"), results[0].evaluation->Si("QUARTZ"));
}

TEST(BatchEvaluation, EightThreadsEqualSerial) {
  const auto samples = VariedWaters(48);
  const std::vector<double> temperatures = {120, 230};
  engine::ConditionsCache serial_cache;
  engine::ConditionsCache parallel_cache;
  const auto serial = EvaluateSamples(samples, temperatures, BothDatasets(), serial_cache, 1);
  const auto parallel = EvaluateSamples(samples, temperatures, BothDatasets(), parallel_cache, 8);
  ASSERT_EQ(serial.size(), samples.size() * 4);
  ASSERT_EQ(parallel.size(), serial.size());
  for (std::size_t k = 0; k < serial.size(); ++k) {
    EXPECT_EQ(parallel[k].id, samples[k / 4].id);
    EXPECT_EQ(parallel[k].id, serial[k].id);
    EXPECT_EQ(parallel[k].dataset, serial[k].dataset);
    EXPECT_EQ(parallel[k].temperature, serial[k].temperature);
    EXPECT_EQ(parallel[k].status, serial[k].status);
    EXPECT_EQ(parallel[k].message, serial[k].message);
    ASSERT_EQ(parallel[k].evaluation.has_value(), serial[k].evaluation.has_value());
    if (serial[k].evaluation)
      ExpectSameEvaluation(*parallel[k].evaluation, *serial[k].evaluation, serial[k].id);
  }
}

// Hot waters whose first pH trial (at pH 10) stops at the pass limit at some of these
// temperatures: the fast search, which asks for far fewer trials, must still write the decimal
// search's rows, stops and messages, bit for bit.
TEST(BatchEvaluation, TheFastSearchWritesTheDecimalSearchsRowsButTrials) {
  const std::string table =
      "id,units,steam_units,pH,ph_temperature,separation,SiO2,Na,K,Ca,Mg,Fe,Al,HCO3,total_CO2,"
      "SO4(2-),total_H2S,Cl,NH4,CO2,H2S\n"
      "NA-01-0,mg/kg,mmol/kg,8.35,25,140,487.8,953.3,188.7,2.707,0.0136,0.0592,0.5088,,30.2,"
      "38.47,5.947,1383,0.163,200.5,14.89\n"
      "NA-02-1,mg/kg,mmol/kg,9.08,20,175,512.7,1162,151.5,2.994,0.06564,0.04847,0.5844,,95.06,"
      "38.63,6.875,1699,0.1728,154.2,14.17\n"
      "BC-04-36,mg/kg,mmol/kg,6.73,25,100,132.8,137.8,13.08,24.64,3.482,0.1135,0.05499,398.1,,"
      "33.52,0.8639,19.23,0.4683,28.44,1.355\n";
  EvaluationOptions fast;
  fast.datasets = {engine::Dataset::FromKey("solveq")};
  EvaluationOptions decimal = fast;
  decimal.search = engine::Search::kDecimal;
  engine::ConditionsCache cache;
  int stopping = 0;
  long fast_trials = 0, decimal_trials = 0;
  for (const Job& job : ReadAll(table, Temperatures({270, 285, 290, 295, 300}))) {
    const auto a = EvaluateJob(job, fast, cache);
    const auto b = EvaluateJob(job, decimal, cache);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t k = 0; k < a.size(); ++k) {
      const std::string where = b[k].id + " at " + std::to_string(*b[k].temperature);
      EXPECT_EQ(a[k].status, b[k].status) << where;
      EXPECT_EQ(a[k].message, b[k].message) << where;
      ASSERT_TRUE(a[k].evaluation && b[k].evaluation) << where;
      engine::Evaluation e = *a[k].evaluation;
      const engine::Evaluation& reference = *b[k].evaluation;
      EXPECT_EQ(e.non_convergences, reference.non_convergences) << where;
      EXPECT_EQ(e.decimal_trials, reference.trials) << where;
      if (reference.non_convergences > 0) ++stopping;
      fast_trials += e.trials;
      decimal_trials += reference.trials;
      e.trials = reference.trials;
      ExpectSameEvaluation(e, reference, where);
    }
  }
  EXPECT_GE(stopping, 5);
  EXPECT_LT(5 * fast_trials, decimal_trials);
}

TEST(BatchEvaluation, AFaultAtOneTemperatureLeavesTheOthers) {
  engine::Sample sample = NaClWater();
  const Job job = MakeJob(sample, {200, 5000, 250, -400});
  engine::ConditionsCache cache;
  EvaluationOptions options;
  options.datasets = {engine::Dataset::FromKey("solveq")};
  const auto results = EvaluateJob(job, options, cache);
  ASSERT_EQ(results.size(), 4u);
  EXPECT_NE(results[0].status, Status::kError) << results[0].message;
  EXPECT_NE(results[2].status, Status::kError) << results[2].message;
  for (const std::size_t k : {1u, 3u}) {
    // Either the extrapolation fails, with a message naming where, or it is flagged.
    if (results[k].status == Status::kError) {
      EXPECT_NE(results[k].message.find("sample (id nacl), SOLVEQ at "), std::string::npos)
          << results[k].message;
    } else {
      EXPECT_EQ(results[k].status, Status::kWarning);
      EXPECT_NE(results[k].message.find("outside the tables"), std::string::npos);
    }
  }
  // A pH the measured mode cannot take fails every temperature of the sample, saying why.
  sample.ph = 400;
  const auto failed = EvaluateJob(MakeJob(sample, {150, 200}), options, cache);
  for (const Result& r : failed) {
    EXPECT_EQ(r.status, Status::kError);
    EXPECT_NE(r.message.find("at the pH temperature 25 °C"), std::string::npos) << r.message;
  }
}

// A row's fix_Al cell is honoured: at each of its temperatures the Al total is solved so that
// the mineral's SI is zero there, the same total a geothermometry sweep finds at that
// temperature, and the row reports it. A mineral the dataset lacks is that row's error, naming
// the line and the column; a row without the cell is evaluated as analysed.
TEST(BatchEvaluation, AFixedComponentIsNotPassedOffAsEvaluated) {
  const std::vector<Job> jobs = ReadAll(
      "id,pH,ph_temperature,separation,SiO2,Na,K,Cl,fix_Al,temperatures\n"
      "a,7,25,120,0.01,0.04,0.004,0.04,MICROCLINE,\"200,240\"\n"
      "b,7,25,120,0.01,0.04,0.004,0.04,,220\n"
      "c,7,25,120,0.01,0.04,0.004,0.04,NO-SUCH-SPAR,220\n"
      "d,7,25,120,0.01,0.04,0.004,0.04,low-albite,\n");
  ASSERT_EQ(jobs.size(), 4u);
  engine::ConditionsCache cache;
  EvaluationOptions options;
  const engine::Dataset& solveq = *engine::Dataset::FromKey("solveq");
  options.datasets = {&solveq};

  const auto fixed = EvaluateJob(jobs[0], options, cache);
  ASSERT_EQ(fixed.size(), 2u);
  geothermometry::SweepOptions sweep_options;
  sweep_options.temperatures = {200, 240};
  sweep_options.fix = {{"Al", "MICROCLINE"}};
  const auto sweep = geothermometry::RunSweep(jobs[0].sample, solveq, sweep_options, cache);
  ASSERT_TRUE(sweep.ok()) << sweep.error;
  for (std::size_t k = 0; k < 2; ++k) {
    ASSERT_NE(fixed[k].status, Status::kError) << fixed[k].message;
    ASSERT_EQ(fixed[k].fixed.count("Al"), 1u);
    const double al = fixed[k].fixed.at("Al");
    EXPECT_GT(al, geothermometry::kFixLowest);
    EXPECT_LT(al, 1e-3);
    EXPECT_NEAR(fixed[k].evaluation->Mineral("MICROCLINE").si, 0.0, 1e-3);
    ASSERT_TRUE(sweep.points[k].ok()) << sweep.points[k].error;
    EXPECT_DOUBLE_EQ(al, sweep.points[k].fixed.at("Al"));
    EXPECT_DOUBLE_EQ(fixed[k].evaluation->ph, sweep.points[k].ph);
  }
  // Microcline's solubility rises with the temperature.
  EXPECT_GT(fixed[1].fixed.at("Al"), fixed[0].fixed.at("Al"));

  const auto plain = EvaluateJob(jobs[1], options, cache);
  ASSERT_EQ(plain.size(), 1u);
  EXPECT_NE(plain[0].status, Status::kError) << plain[0].message;
  EXPECT_TRUE(plain[0].fixed.empty());

  const auto unknown = EvaluateJob(jobs[2], options, cache);
  ASSERT_EQ(unknown.size(), 1u);
  EXPECT_EQ(unknown[0].status, Status::kError);
  EXPECT_FALSE(unknown[0].evaluation);
  for (const char* part : {"line 4 (id c)", "column fix_Al", "NO-SUCH-SPAR"})
    EXPECT_NE(unknown[0].message.find(part), std::string::npos) << unknown[0].message;

  // Without temperatures the total is fixed in the measured mode at the pH temperature, by the
  // mineral's name in either spelling.
  const auto measured = EvaluateJob(jobs[3], options, cache);
  ASSERT_EQ(measured.size(), 1u);
  ASSERT_NE(measured[0].status, Status::kError) << measured[0].message;
  EXPECT_TRUE(measured[0].measured);
  EXPECT_DOUBLE_EQ(measured[0].evaluation->ph, 7.0);
  EXPECT_NEAR(measured[0].evaluation->Mineral("LOW-ALBITE").si, 0.0, 1e-3);
  EXPECT_EQ(measured[0].fixed.count("Al"), 1u);

  // The option fixes every row; a row's cell replaces it for its component.
  options.fix = {{"Al", "KAOLINITE"}};
  const auto by_option = EvaluateJob(jobs[1], options, cache);
  ASSERT_NE(by_option[0].status, Status::kError) << by_option[0].message;
  EXPECT_NEAR(by_option[0].evaluation->Mineral("KAOLINITE").si, 0.0, 1e-3);
  const auto by_cell = EvaluateJob(jobs[0], options, cache);
  EXPECT_DOUBLE_EQ(by_cell[0].fixed.at("Al"), fixed[0].fixed.at("Al"));
}

// A table of `n` rows of the example water, in molalities.
std::string Table(int n, const std::string& temperatures = "") {
  std::string t = "id,pH,ph_temperature,separation,SiO2,Na,K,Ca,Cl,CO3(2-),CO2,H2S";
  if (!temperatures.empty()) t += ",temperatures";
  t += "\n";
  for (int i = 0; i < n; ++i) {
    t += "s" + std::to_string(i) + "," + std::to_string(7.0 + 0.05 * (i % 40)) +
         ",25,120,0.01,0.04,0.004,0.0005,0.04,0.002,0.02,0.002";
    if (!temperatures.empty()) t += ",\"" + temperatures + "\"";
    t += "\n";
  }
  return t;
}

struct Captured {
  std::string table;
  std::string species;
  Summary summary;
  int progress_calls = 0;
};

Captured RunTable(const std::string& table, BatchOptions options, Format format,
                  const std::function<bool(const Progress&)>& stop = nullptr) {
  Captured c;
  std::istringstream in(table);
  std::ostringstream out;
  std::ostringstream species_out;
  auto writer = MakeTableWriter(out, format);
  auto species = MakeSpeciesWriter(species_out, format);
  SinkList sink({writer.get(), species.get()});
  std::atomic<bool> cancel{false};
  c.summary = RunBatch(
      in, options, sink,
      [&](const Progress& p) {
        ++c.progress_calls;
        if (stop && stop(p)) cancel = true;
      },
      cancel);
  c.table = out.str();
  c.species = species_out.str();
  return c;
}

std::vector<std::string> CsvCells(const std::string& line) {
  std::vector<std::string> cells(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"' && quoted && i + 1 < line.size() && line[i + 1] == '"')
      cells.back() += line[++i];
    else if (c == '"')
      quoted = !quoted;
    else if (c == ',' && !quoted)
      cells.emplace_back();
    else
      cells.back() += c;
  }
  return cells;
}

TEST(BatchRun, CsvAndJsonCarryTheSameRowsByName) {
  BatchOptions options;
  options.evaluation = BothDatasets();
  options.input.temperatures = {150, 250};
  const std::string table = Table(5) + "bad,x,25,120,0.01,0.04,0.004,0.0005,0.04,0.002,0.02,0\n";
  const Captured csv = RunTable(table, options, Format::kCsv);
  const Captured json = RunTable(table, options, Format::kJson);
  const Captured jsonl = RunTable(table, options, Format::kJsonl);
  // The row that cannot be read: one error row per dataset, not one per temperature.
  EXPECT_EQ(csv.summary.progress.rows, 5u * 2 * 2 + 2);
  EXPECT_EQ(csv.summary.progress.errors, 2u);

  const auto lines = SplitLines(csv.table, "\n");
  ASSERT_EQ(lines.size(), 1u + 22u);
  const auto header = CsvCells(lines[0]);
  const std::vector<std::string> fixed = {
      "id",     "dataset",        "temperature", "status",         "message",
      "pH",     "ionic_strength", "toth",        "steam_fraction", "charge_balance_percent",
      "passes", "trials",         "converged"};
  ASSERT_GT(header.size(), fixed.size());
  EXPECT_TRUE(std::equal(fixed.begin(), fixed.end(), header.begin()));
  EXPECT_EQ(header.size() - fixed.size(), MineralColumns(options.evaluation.datasets).size());
  EXPECT_NE(std::find(header.begin(), header.end(), "SI_QUARTZ"), header.end());

  const auto array = nlohmann::json::parse(json.table);
  ASSERT_TRUE(array.is_array());
  ASSERT_EQ(array.size(), 22u);
  const auto jl = SplitLines(jsonl.table, "\n");
  ASSERT_EQ(jl.size(), 22u);
  for (std::size_t r = 0; r < array.size(); ++r) {
    const auto cells = CsvCells(lines[r + 1]);
    ASSERT_EQ(cells.size(), header.size()) << lines[r + 1];
    EXPECT_EQ(nlohmann::json::parse(jl[r]), array[r]);
    const auto& object = array[r];
    for (std::size_t c = 0; c < header.size(); ++c) {
      const std::string& name = header[c];
      if (cells[c].empty()) {
        EXPECT_TRUE(!object.contains(name) || object[name].is_null() || object[name] == "") << name;
        continue;
      }
      ASSERT_TRUE(object.contains(name)) << name << " row " << r;
      if (object[name].is_number_float())
        EXPECT_EQ(*io::ParseNumber(cells[c]), object[name].get<double>()) << name;
      else if (object[name].is_boolean())
        EXPECT_EQ(cells[c], object[name].get<bool>() ? "true" : "false");
      else if (object[name].is_number_integer())
        EXPECT_EQ(cells[c], std::to_string(object[name].get<int>()));
      else
        EXPECT_EQ(cells[c], object[name].get<std::string>()) << name;
    }
  }
  EXPECT_EQ(array[20]["status"], "error");
  EXPECT_NE(array[20]["message"].get<std::string>().find("line 7 (id bad): column pH"),
            std::string::npos);

  // The species in long form: one row per species of each computed result.
  const auto species = SplitLines(csv.species, "\n");
  EXPECT_EQ(species[0],
            "id,dataset,temperature,species,charge,molality,gamma,activity,"
            "log_activity");
  const auto species_json = nlohmann::json::parse(json.species);
  EXPECT_EQ(species_json.size(), species.size() - 1);
  // Every computed result, and only those, has its species.
  std::set<std::string> groups;
  for (std::size_t k = 1; k < species.size(); ++k) {
    const auto cells = CsvCells(species[k]);
    ASSERT_EQ(cells.size(), 9u) << species[k];
    groups.insert(cells[0] + "," + cells[1] + "," + cells[2]);
  }
  EXPECT_EQ(groups.size(), 20u);
  EXPECT_EQ(groups.count("bad,solveq,150"), 0u);
  EXPECT_EQ(species_json[0]["id"], "s0");
  EXPECT_EQ(species_json[0]["dataset"], "solveq");
}

// The fixed totals reach the table as fixed_<component>, in CSV and JSON alike, empty (null) in
// a row that failed.
TEST(BatchRun, FixedTotalsAreWrittenByName) {
  BatchOptions options;
  options.evaluation.datasets = {engine::Dataset::FromKey("solveq")};
  const std::string table =
      "id,pH,ph_temperature,separation,SiO2,Na,K,Cl,fix_Al,temperatures\n"
      "a,7,25,120,0.01,0.04,0.004,0.04,MICROCLINE,220\n"
      "c,7,25,120,0.01,0.04,0.004,0.04,NO-SUCH-SPAR,220\n";
  const Captured csv = RunTable(table, options, Format::kCsv);
  const Captured json = RunTable(table, options, Format::kJson);
  const auto lines = SplitLines(csv.table, "\n");
  ASSERT_EQ(lines.size(), 3u);
  const auto header = CsvCells(lines[0]);
  const auto column = std::find(header.begin(), header.end(), "fixed_Al") - header.begin();
  ASSERT_LT(static_cast<std::size_t>(column), header.size());
  EXPECT_EQ(header[static_cast<std::size_t>(column) - 1], "converged");
  const auto array = nlohmann::json::parse(json.table);
  ASSERT_EQ(array.size(), 2u);
  const auto a = CsvCells(lines[1]);
  const auto c = CsvCells(lines[2]);
  ASSERT_EQ(a.size(), header.size());
  ASSERT_EQ(c.size(), header.size());
  EXPECT_EQ(std::stod(a[static_cast<std::size_t>(column)]), array[0]["fixed"]["Al"].get<double>());
  EXPECT_TRUE(c[static_cast<std::size_t>(column)].empty());
  EXPECT_TRUE(array[1]["fixed"]["Al"].is_null());
  EXPECT_EQ(csv.summary.progress.errors, 1u);
}

TEST(BatchRun, ChunksAndThreadsDoNotChangeABit) {
  const std::string table = Table(40, "150,220");
  BatchOptions options;
  options.evaluation = BothDatasets();
  options.threads = 1;
  const Captured reference = RunTable(table, options, Format::kCsv);
  EXPECT_EQ(reference.summary.progress.samples, 40u);
  for (const auto& [threads, chunk] : {std::pair{2, 4096}, std::pair{8, 3}, std::pair{3, 1}}) {
    options.threads = threads;
    options.chunk_results = chunk;
    const Captured c = RunTable(table, options, Format::kCsv);
    EXPECT_EQ(c.table, reference.table) << threads << " threads, chunks of " << chunk;
    EXPECT_EQ(c.species, reference.species);
    if (chunk < 10) {
      EXPECT_GT(c.progress_calls, 5);
    }
  }
  // Rows in input order: s0, s0, s0, s0, s1, ...
  const auto lines = SplitLines(reference.table, "\n");
  ASSERT_EQ(lines.size(), 1u + 40u * 4u);
  for (std::size_t k = 1; k < lines.size(); ++k)
    EXPECT_EQ(CsvCells(lines[k])[0], "s" + std::to_string((k - 1) / 4)) << k;
}

TEST(BatchRun, CancelEndsAfterACompleteSampleInWellFormedJson) {
  BatchOptions options;
  options.evaluation = BothDatasets();
  options.chunk_results = 8;
  const Captured c = RunTable(Table(200, "150,250"), options, Format::kJson,
                              [](const Progress& p) { return p.samples >= 6; });
  EXPECT_TRUE(c.summary.interrupted);
  EXPECT_GE(c.summary.progress.samples, 6u);
  EXPECT_LT(c.summary.progress.samples, 200u);
  const auto array = nlohmann::json::parse(c.table);
  EXPECT_EQ(array.size(), c.summary.progress.samples * 4);
  EXPECT_EQ(array.size(), c.summary.progress.rows);
  EXPECT_NO_THROW(nlohmann::json::parse(c.species));
}

// ---- The command line ------------------------------------------------------------------------

TEST(BatchCli, WellsTheSameBytesWhateverTheJobs) {
  TempDir dir;
  const std::vector<std::string> args = {"batch", kWells,           "--dataset",
                                         "both",  "--temperatures", "150:300:50"};
  auto with_jobs = [&](const char* jobs) {
    auto a = args;
    a.insert(a.end(), {"--jobs", jobs});
    return RunCli(a, dir.Path());
  };
  const auto one = with_jobs("1");
  EXPECT_EQ(one.status, 1) << one.err;  // NA-09 has a decimal comma
  const auto two = with_jobs("2");
  const auto eight = with_jobs("8");
  EXPECT_EQ(two.out, one.out);
  EXPECT_EQ(eight.out, one.out);
  EXPECT_EQ(RunCli(args, dir.Path()).out, one.out);

  const auto lines = SplitLines(one.out, "\n");
  ASSERT_EQ(lines.size(), 1u + 19u * 2 * 4 + 2u);  // the faulty row: one per dataset
  std::size_t errors = 0;
  for (std::size_t k = 1; k < lines.size(); ++k) {
    const auto cells = CsvCells(lines[k]);
    if (cells[0] == "NA-09") {
      ++errors;
      EXPECT_EQ(cells[3], "error");
      EXPECT_NE(cells[4].find("line 10 (id NA-09): column pH: \"8,7\" is not a number"),
                std::string::npos)
          << cells[4];
    } else {
      EXPECT_NE(cells[3], "error") << lines[k];
    }
  }
  EXPECT_EQ(errors, 2u);
  EXPECT_NE(one.err.find("2 rows failed"), std::string::npos) << one.err;
}

TEST(BatchCli, UsageErrorsExitTwoAndLeaveTheFilesAlone) {
  TempDir dir;
  const auto table = dir / "t.csv";
  WriteFile(table, "id,pH,ph_temperature,Rb\na,8,25,1\n");
  const auto unknown = RunCli({"batch", table.string()}, dir.Path());
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("unknown column \"Rb\""), std::string::npos) << unknown.err;

  const auto out = dir / "out.csv";
  WriteFile(out, "keep");
  EXPECT_EQ(RunCli({"batch", table.string(), "--out", out.string()}, dir.Path()).status, 2);
  EXPECT_EQ(ReadFile(out), "keep");  // a bad header touches no output file

  WriteFile(table, "id,pH,ph_temperature\na,8,25\n");
  const auto same = RunCli({"batch", table.string(), "--out", table.string()}, dir.Path());
  EXPECT_EQ(same.status, 2);
  EXPECT_EQ(ReadFile(table), "id,pH,ph_temperature\na,8,25\n");
  EXPECT_EQ(RunCli({"batch", (dir / "none.csv").string()}, dir.Path()).status, 2);
  EXPECT_EQ(RunCli({"batch", table.string(), "--temperatures", "300:100:10"}, dir.Path()).status,
            2);
  EXPECT_EQ(RunCli({"batch", table.string(), "--units", "ppm"}, dir.Path()).status, 2);
  const auto ok =
      RunCli({"batch", table.string(), "--format", "jsonl", "--dataset", "solveq"}, dir.Path());
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(nlohmann::json::parse(ok.out)["id"], "a");
}

TEST(BatchCli, InterruptedOutputIsWellFormedUpToTheLastRow) {
  TempDir dir;
  const auto table = dir / "large.csv";
  WriteFile(table, Table(20000, "100:300:10"));
  for (const std::string format : {"csv", "json"}) {
    const auto out = dir / ("out." + format);
    const auto err = dir / "err.txt";
    const pid_t pid = testing::StartCli({"batch", table.string(), "--dataset", "both", "--format",
                                         format, "--out", out.string(), "--jobs", "2"},
                                        -1, dir / "stdout.txt", err);
    ASSERT_GT(pid, 0);
    // Once rows arrive the run is under way; then Ctrl-C.
    testing::WaitForOutput(out, 2000);
    ASSERT_EQ(::kill(pid, SIGINT), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by the signal instead of stopping";
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGINT);
    EXPECT_NE(ReadFile(err).find("interrupted: the output holds the first "), std::string::npos)
        << ReadFile(err);

    const std::string text = ReadFile(out);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    std::size_t rows = 0;
    if (format == "json") {
      const auto array = nlohmann::json::parse(text);
      rows = array.size();
      EXPECT_EQ(array.back()["temperature"], 300.0);
    } else {
      const auto lines = SplitLines(text, "\n");
      const std::size_t columns = CsvCells(lines[0]).size();
      for (const auto& line : lines) EXPECT_EQ(CsvCells(line).size(), columns) << line;
      rows = lines.size() - 1;
      EXPECT_EQ(CsvCells(lines.back())[2], "300");
    }
    // Whole samples only: 21 temperatures with each of the two datasets.
    EXPECT_GT(rows, 0u);
    EXPECT_LT(rows, 20000u * 42u);
    EXPECT_EQ(rows % 42, 0u) << rows;
  }
}

}  // namespace
}  // namespace geofluid::batch
