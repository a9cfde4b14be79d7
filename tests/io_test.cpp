// The I/O layer every table, report and message goes through: numbers written as the reports
// have always had them and read back exactly, labels that cannot break a row, CSV in and out.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "io/csv.h"
#include "io/text.h"
#include "uncertainty/uncertainty.h"

namespace geofluid::io {
namespace {

std::string Printf(const char* format, double v, int digits) {
  char text[400];
  std::snprintf(text, sizeof text, format, digits, v);
  return text;
}

// The layouts the golden reports were written with are printf's; the formatter must give the
// same bytes for every kind of value, and its shortest text must read back to the same double.
TEST(IoNumbers, ShortestReadsBackAndEveryLayoutIsPrintfs) {
  std::mt19937_64 random(20261208);
  std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
  std::uniform_int_distribution<int> exponent(-30, 30);
  std::vector<double> values = {0.0,     -0.0,           0.1, 1e-5, 100000.0, 1e15,  1e16,
                                1e17,    123456789012.5, 2.5, -2.5, 0.05,     0.125, 1e300,
                                -1e-300, 5e-324};
  for (int i = 0; i < 20000; ++i)
    values.push_back(mantissa(random) * std::pow(10.0, exponent(random)));
  for (const double v : values) {
    const std::string shortest = Shortest(v);
    EXPECT_EQ(ParseNumber(shortest), v) << shortest;
    std::string old = Printf("%.*g", v, 15);
    for (int digits = 16; digits <= 17 && std::strtod(old.c_str(), nullptr) != v; ++digits)
      old = Printf("%.*g", v, digits);
    EXPECT_EQ(ShortestGeneral(v), old) << shortest;
    for (const int d : {0, 1, 2, 3}) EXPECT_EQ(Fixed(v, d), Printf("%.*f", v, d)) << shortest;
    EXPECT_EQ(General(v), Printf("%.*g", v, 6)) << shortest;
    EXPECT_EQ(General(v, 17), Printf("%.*g", v, 17)) << shortest;
    EXPECT_EQ(Scientific(v, 3), Printf("%.*e", v, 3)) << shortest;
  }
}

TEST(IoNumbers, ParseTakesOnlyAWholeFiniteDecimal) {
  EXPECT_EQ(ParseNumber(" +7.5\t"), 7.5);
  EXPECT_EQ(ParseNumber("1E+02"), 100.0);
  for (const char* bad : {"", " ", "1,5", "1.5x", "inf", "nan", "0x10", "++1", "+-1", "1e999"})
    EXPECT_FALSE(ParseNumber(bad).has_value()) << bad;
}

TEST(IoLabels, ControlCharactersAreEscapedAndTheRestKept) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"NA-01", "NA-01"},
      {"a\nb", "a\\x0Ab"},
      {"a\r\nb", "a\\x0D\\x0Ab"},
      {std::string("c\0d", 3), "c\\x00d"},
      {"tab\there", "tab\\x09here"},
      {"del\x7F", "del\\x7F"},
      {"nel\xC2\x85", "nel\\u0085"},            // C1
      {"\xC2\x9F\xC2\xA0", "\\u009F\xC2\xA0"},  // the last C1, then NBSP kept
      {"\xE6\xB8\xA9\xE6\xB3\x89 \xC2\xB0"
       "C",
       "\xE6\xB8\xA9\xE6\xB3\x89 \xC2\xB0"
       "C"},
      {"bad\xFF", "bad\\xFF"},
      {"\xC2", "\\xC2"},  // cut short
      {"back\\slash, \"quoted\"", "back\\slash, \"quoted\""},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeLabel(c.in), c.out) << QuoteCell(c.in);
}

TEST(IoCsv, CellsAreQuotedOnlyWhenTheyMustBeAndReadBackWithTheirLines) {
  const std::vector<std::string> cells = {"plain", "a,b", "say \"x\"", "two\nlines", "", "x\r"};
  EXPECT_EQ(CsvCell("plain"), "plain");
  EXPECT_EQ(CsvCell("a,b"), "\"a,b\"");
  EXPECT_EQ(CsvCell("say \"x\""), "\"say \"\"x\"\"\"");
  std::string line;
  for (const auto& c : cells) {
    if (!line.empty()) line += ',';
    AppendCsvCell(line, c);
  }
  std::istringstream in("\xEF\xBB\xBFh1,h2\n" + line + "\nlast,row\n");
  CsvReader reader(in);
  CsvRecord r;
  ASSERT_TRUE(reader.Next(r));
  EXPECT_EQ(r.line, 1u);
  EXPECT_EQ(r.cells, (std::vector<std::string>{"h1", "h2"}));
  ASSERT_TRUE(reader.Next(r));
  EXPECT_EQ(r.line, 2u);
  EXPECT_EQ(r.cells, cells);
  ASSERT_TRUE(reader.Next(r));
  EXPECT_EQ(r.line, 4u);  // the cell before took two lines
  EXPECT_FALSE(reader.Next(r));
}

TEST(IoCsv, ABrokenTableNamesTheLineItBreaksOn) {
  const struct {
    std::string table, message;
  } cases[] = {
      {"a,b\n1,2\n3,x\"y\"\n", "line 3: the CSV is malformed"},
      {"a,b\n1,\"open\n2,3\n", "line 4: the table ends inside a quoted cell"},
      {"a\n" + std::string(CsvReader::kMaxCells + 5, ',') + "\n",
       "line 2: a row has more than 4096"},
  };
  for (const auto& c : cases) {
    std::istringstream in(c.table);
    CsvReader reader(in);
    CsvRecord r;
    try {
      while (reader.Next(r)) {
      }
      ADD_FAILURE() << c.message;
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

// uncertainty's err_ columns come through the table reader with the analysis: quoted cells, a
// row that spans lines and a row with only errors in it read as the analysis does.
TEST(IoCsv, ErrorColumnsAreReadBesideTheAnalysis) {
  std::istringstream table(
      "id,Na,Cl,pH,ph_temperature,separation,err_Na,err_pH\n"
      "\"two\nlines\",0.04,0.04,8.5,25,100,\"3%\",0.05\n"
      ",,,,,,5%,\n"
      "b,0.04,0.04,8.5,25,100,,0.1\n"
      "c,0.04,0.04,8.5,25,100,wrong,\n");
  const auto rows =
      uncertainty::ReadTable(table, "t.csv", uncertainty::InputErrors::Defaults(), true, "mol/kg");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].sample.id, "two\nlines");
  EXPECT_EQ(rows[0].line, 2u);
  EXPECT_DOUBLE_EQ(rows[0].errors[1].sigma, 0.03);
  EXPECT_DOUBLE_EQ(rows[0].errors[static_cast<int>(uncertainty::Input::kPh)].sigma, 0.05);
  EXPECT_EQ(rows[1].line, 5u);
  EXPECT_DOUBLE_EQ(rows[1].errors[static_cast<int>(uncertainty::Input::kPh)].sigma, 0.1);
  EXPECT_TRUE(rows[1].fault.empty()) << rows[1].fault;
  EXPECT_NE(rows[2].fault.find("t.csv, line 6 (id c): column err_Na"), std::string::npos)
      << rows[2].fault;
}

}  // namespace
}  // namespace geofluid::io
