// The commands under the mistakes and mishaps of real use: output that cannot be written, a
// signal mid-run, input that never comes, lists out of order, values left empty, tables far
// larger than they should be. None may lose data silently, answer wrongly, hang or grow without
// bound.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "cli_process.h"
#include "engine/engine.h"
#include "form_fixtures.h"

namespace geofluid {
namespace {

using testing::CliRun;
using testing::Has;
using testing::ReadFile;
using testing::RunCli;
using testing::StartCli;
using testing::TempDir;
using testing::WaitForCli;
using testing::WriteFile;

const std::string kSource = GEOFLUID_SOURCE_DIR;
const std::string kWells = kSource + "/examples/wells.csv";
const std::string kSample = kSource + "/examples/nacl-water.ini";

// The wells' rows repeated to `rows`, each with its own id and, with `distinct`, its own pH
// temperature.
std::string Wells(std::size_t rows, bool distinct) {
  const auto lines = testing::SplitLines(ReadFile(kWells), "\n");
  std::vector<std::string> body;
  for (std::size_t k = 1; k < lines.size(); ++k)
    if (!lines[k].empty() && !Has(lines[k], "NA-09")) body.push_back(lines[k]);
  std::string table = lines[0] + "\n";
  for (std::size_t i = 0; i < rows; ++i) {
    std::string row = body[i % body.size()];
    row = "r" + std::to_string(i) + row.substr(row.find(','));
    if (distinct) {
      // ph_temperature is the fifth column of the wells.
      std::size_t at = 0;
      for (int c = 0; c < 4; ++c) at = row.find(',', at) + 1;
      const std::size_t end = row.find(',', at);
      row = row.substr(0, at) + std::to_string(20.0 + 1e-4 * static_cast<double>(i)) +
            row.substr(end);
    }
    table += row + "\n";
  }
  return table;
}

// ---- Data lost -------------------------------------------------------------------------------

TEST(CommandFaults, AnOutputNeverOverwritesTheTableOnStdin) {
  TempDir dir;
  const auto table = dir / "t.csv";
  const std::string content = ReadFile(kWells);
  for (const std::string option : {"--out", "--species"}) {
    WriteFile(table, content);
    const auto r = RunCli({"batch", "-", "--units", "mg/kg", option, table.string()}, dir.Path(),
                          CliRun{.stdin_file = table});
    EXPECT_EQ(r.status, 2) << option << ": " << r.err;
    EXPECT_TRUE(Has(r.err, "would overwrite the input table on stdin")) << r.err;
    EXPECT_EQ(ReadFile(table), content) << option;
  }
}

TEST(CommandFaults, AnOutputThatCannotBeWrittenWholeIsAnErrorNamingIt) {
  TempDir dir;
  const std::string temperatures = "--temperatures=150,200,250";
  const std::vector<std::vector<std::string>> commands = {
      {"constants", "--temperature", "200"},
      {"geothermometry", kSample},
      {"geothermometry", kSample, "--format", "json"},
      {"geothermometry", kSample, "--format", "csv"},
      {"uncertainty", kSample, "--draws", "3", temperatures},
      {"uncertainty", kSample, "--draws", "3", temperatures, "--format", "json"},
      {"batch", kWells, "--units", "mg/kg"},
  };
  for (const auto& args : commands) {
    const auto r = RunCli(args, dir.Path(), CliRun{.stdout_file = "/dev/full"});
    EXPECT_EQ(r.status, 1) << args[0] << ' ' << args.back() << ": " << r.err;
    EXPECT_TRUE(Has(r.err,
                    "cannot write the output to stdout: No space left on device; the "
                    "output is incomplete"))
        << args[0] << ' ' << args.back() << ": " << r.err;
  }
  const auto file = RunCli({"batch", kWells, "--units", "mg/kg", "--out", "/dev/full"}, dir.Path());
  EXPECT_EQ(file.status, 1);
  EXPECT_TRUE(Has(file.err,
                  "cannot write the output file /dev/full: No space left on device; "
                  "the output is incomplete"))
      << file.err;
}

TEST(CommandFaults, TerminateAndHangUpEndABatchAsCtrlCDoes) {
  TempDir dir;
  const auto table = dir / "large.csv";
  WriteFile(table, Wells(20000, false));
  const std::pair<int, const char*> signals[] = {{SIGTERM, "terminated: the output holds"},
                                                 {SIGHUP, "hung up: the output holds"}};
  for (const auto& [signal, message] : signals) {
    for (const std::string format : {"json", "jsonl"}) {
      const auto out = dir / ("out." + format);
      const auto err = dir / "err.txt";
      std::filesystem::remove(out);
      const pid_t pid =
          StartCli({"batch", table.string(), "--units", "mg/kg", "--temperatures", "100:300:20",
                    "--format", format, "--out", out.string(), "--jobs", "2"},
                   -1, dir / "stdout.txt", err);
      ASSERT_GT(pid, 0);
      testing::WaitForOutput(out, 20000);
      ASSERT_EQ(::kill(pid, signal), 0);
      EXPECT_EQ(WaitForCli(pid, std::chrono::seconds(60)), 128 + signal) << ReadFile(err);
      EXPECT_TRUE(Has(ReadFile(err), message)) << ReadFile(err);
      const std::string text = ReadFile(out);
      if (format == "json") {
        EXPECT_NO_THROW((void)nlohmann::json::parse(text)) << signal;
      } else {
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.back(), '\n');
        for (const auto& line : testing::SplitLines(text, "\n"))
          if (!line.empty()) EXPECT_NO_THROW((void)nlohmann::json::parse(line)) << signal;
      }
    }
  }
}

// Ids holding a line break, a NUL or a C1 control character (NEL, which some readers take as a
// line end) are written escaped by every command in every format: a row is never split, a label
// never cut short, and the rows that cannot be read say so with the same escaped id.
TEST(CommandFaults, IdsWithControlCharactersAreWrittenEscapedEverywhere) {
  TempDir dir;
  const auto lines = testing::SplitLines(ReadFile(kWells), "\n");
  const std::vector<std::string> ids = {"\"a\nb\"", std::string("c\0d", 3),
                                        "e\xC2\x85"
                                        "f"};
  std::string table = lines[0] + "\n";
  for (std::size_t k = 0; k < ids.size(); ++k)
    table += ids[k] + lines[k + 1].substr(lines[k + 1].find(',')) + "\n";
  // No pH: a row that cannot be read.
  table += "\"bad\rrow\",mg/kg,mmol/kg,,25,140,525,962,179,2.6,0.013,,,,30,42,6.0,1520,,184,15.4\n";
  const auto file = dir / "ids.csv";
  WriteFile(file, table);
  const std::string path = file.string();
  const std::vector<std::string> batch = {"batch",          path, "--units", "mg/kg",
                                          "--temperatures", "200"};
  const std::vector<std::string> geothermometry = {"geothermometry", path,  "--units", "mg/kg",
                                                   "--from",         "150", "--to",    "250"};
  const std::vector<std::string> uncertainty = {"uncertainty", path, "--units",        "mg/kg",
                                                "--draws",     "2",  "--temperatures", "150,250"};
  const std::vector<std::string> scaling = {"scaling",     path,  "--units",      "mg/kg",
                                            "--reservoir", "250", "--separation", "150",
                                            "--cooling",   "90"};
  const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> commands = {
      {batch, {"csv", "json", "jsonl"}},
      {geothermometry, {"text", "csv", "json"}},
      {uncertainty, {"text", "csv", "json"}},
      {scaling, {"text", "csv", "json"}},
  };
  for (const auto& [command, formats] : commands) {
    for (const std::string& format : formats) {
      std::vector<std::string> args = command;
      args.insert(args.end(), {"--format", format});
      const auto r = RunCli(args, dir.Path());
      const std::string what = args[0] + " " + format + ": " + r.err.substr(0, 400);
      EXPECT_TRUE(r.status == 0 || r.status == 1) << what;
      const bool json = format.starts_with("json");
      // In JSON the escape's backslash is itself escaped: the string holds "a\x0Ab".
      const auto shown = [&](const std::string& escaped) {
        const std::string quoted = nlohmann::json(escaped).dump();
        return json ? quoted.substr(1, quoted.size() - 2) : escaped;
      };
      const std::string all = r.out + r.err;
      for (const char* escaped : {"a\\x0Ab", "c\\x00d", "e\\u0085f"})
        EXPECT_TRUE(Has(r.out, shown(escaped))) << escaped << " in " << what;
      // The row that cannot be read: in the output, or (uncertainty) in the message.
      EXPECT_TRUE(Has(r.out, shown("bad\\x0Drow")) || Has(r.err, "bad\\x0Drow")) << what;
      for (const std::string raw : {std::string("a\nb"), std::string("c\0d", 3),
                                    std::string("\xC2\x85"), std::string("bad\rrow")})
        EXPECT_FALSE(Has(all, raw)) << what;
      // batch's json and uncertainty's are one document; the others one object a line.
      if (format == "json" && (args[0] == "batch" || args[0] == "uncertainty")) {
        EXPECT_NO_THROW((void)nlohmann::json::parse(r.out)) << what;
      } else if (json) {
        for (const auto& line : testing::SplitLines(r.out, "\n"))
          if (!line.empty()) EXPECT_NO_THROW((void)nlohmann::json::parse(line)) << what;
      }
    }
  }
}

// ---- Silent wrong answers --------------------------------------------------------------------

TEST(CommandFaults, TemperaturesInAnyOrderGiveTheSortedListsAnswer) {
  TempDir dir;
  const auto run = [&](const std::string& list) {
    return RunCli({"uncertainty", kSample, "--draws", "8", "--temperatures", list, "--format",
                   "csv", "--jobs", "2"},
                  dir.Path());
  };
  const std::pair<std::string, std::string> cases[] = {
      {"250,150,200", "150,200,250"},
      {"200:300:20,100:180:20", "100:300:20"},
      {"100:300:20,100:300:20", "100:300:20"},
  };
  for (const auto& [given, sorted] : cases) {
    const auto a = run(given);
    const auto b = run(sorted);
    EXPECT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(a.out, b.out) << given;
    EXPECT_TRUE(Has(a.err, "not given in ascending order, each once")) << given << ": " << a.err;
    EXPECT_FALSE(Has(b.err, "ascending order")) << b.err;
  }
}

TEST(CommandFaults, EmptyValuesBadSeedsAndStepsAreRefusedNamingTheOption) {
  TempDir dir;
  const auto table = dir / "t.csv";
  WriteFile(table, ReadFile(kWells));
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"batch", table.string(), "--temperatures", ""}, "--temperatures"},
      {{"batch", table.string(), "--species", ""}, "--species"},
      {{"batch", table.string(), "--jobs", "-1"}, "0 (all cores) to 1024"},
      {{"geothermometry", kSample, "--from", ""}, "--from"},
      {{"geothermometry", kSample, "--minerals", ""}, "--minerals"},
      {{"geothermometry", kSample, "--plot", ""}, "--plot"},
      {{"geothermometry", kSample, "--step", "1e308"}, "--step (1e+308) is larger than the range"},
      {{"uncertainty", kSample, "--seed", ""}, "--seed"},
      {{"uncertainty", kSample, "--seed", "-1"}, "not a seed"},
      {{"uncertainty", kSample, "--seed", "18446744073709551616"}, "not a seed"},
      {{"uncertainty", kSample, "--seed", "1e3"}, "not a seed"},
      {{"constants", "--temperature="}, "--temperature"},
  };
  for (const auto& [args, message] : cases) {
    const auto r = RunCli(args, dir.Path());
    EXPECT_EQ(r.status, 2) << args[0] << ' ' << args[args.size() - 2] << ": " << r.err;
    EXPECT_TRUE(Has(r.err, message)) << r.err;
    EXPECT_LT(r.err.size(), 300u) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out.substr(0, 200);
  }
  // The largest seed is a seed.
  const auto top = RunCli({"uncertainty", kSample, "--seed", "18446744073709551615", "--draws", "2",
                           "--temperatures", "150,200,250"},
                          dir.Path());
  EXPECT_EQ(top.status, 0) << top.err;
  EXPECT_TRUE(Has(top.out, "seed 18446744073709551615")) << top.out.substr(0, 200);
}

TEST(CommandFaults, TemperaturesOutsideTheTablesAreWarnedOfAsRunDoes) {
  TempDir dir;
  const auto table = dir / "t.csv";
  const std::string wells = ReadFile(kWells);
  const std::string header = wells.substr(0, wells.find('\n'));
  // NA-01 with its separation (the sixth column) moved.
  std::string row = testing::SplitLines(wells, "\n")[1];
  std::size_t at = 0;
  for (int c = 0; c < 5; ++c) at = row.find(',', at) + 1;
  const std::string head = row.substr(0, at), tail = row.substr(row.find(',', at));
  WriteFile(table, header + "\n" + head + "301" + tail + "\n" + head + "-10" + tail + "\n" + head +
                       "140" + tail + "\n");
  const auto r = RunCli(
      {"batch", table.string(), "--temperatures", "200", "--format", "json", "--dataset", "solveq"},
      dir.Path());
  const auto rows = nlohmann::json::parse(r.out);
  ASSERT_EQ(rows.size(), 3u) << r.err;
  for (std::size_t k = 0; k < 2; ++k) {
    EXPECT_EQ(rows[k]["status"], "warning") << rows[k].dump();
    EXPECT_TRUE(Has(rows[k]["message"].get<std::string>(),
                    "the separation temperature " + std::string(k == 0 ? "301" : "-10")))
        << rows[k]["message"];
  }
  EXPECT_EQ(rows[2]["status"], "ok") << rows[2].dump();

  const auto constants = RunCli({"constants", "--temperature", "350"}, dir.Path());
  EXPECT_EQ(constants.status, 0) << constants.err;
  EXPECT_TRUE(Has(constants.err, "warning: the temperature 350 °C is outside 0-300 °C"))
      << constants.err;
  EXPECT_FALSE(Has(RunCli({"constants", "--temperature", "300"}, dir.Path()).err, "warning"));
}

TEST(CommandFaults, AnInputsOwnErrorWinsOverItsGroupInAnyOrder) {
  TempDir dir;
  const std::string sample = ReadFile(kSample);
  const auto run = [&](const std::string& errors, std::vector<std::string> extra = {}) {
    const auto file = dir / "s.ini";
    WriteFile(file, sample + "\n[errors]\n" + errors);
    std::vector<std::string> args = {"uncertainty", file.string(),    "--draws",
                                     "2",           "--temperatures", "150,200,250"};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunCli(args, dir.Path());
  };
  const auto later = run("Na = 10%\ncomponents = 2%\n");
  const auto earlier = run("components = 2%\nNa = 10%\n");
  EXPECT_EQ(later.status, 0) << later.err;
  EXPECT_EQ(later.out, earlier.out);
  EXPECT_TRUE(Has(later.out, "Na 10%")) << later.out.substr(0, 300);
  EXPECT_TRUE(Has(later.out, "K 2%")) << later.out.substr(0, 300);
  EXPECT_TRUE(Has(later.err,
                  "[errors]: components = 2% leaves the inputs named on "
                  "their own as they were (Na 10%)"))
      << later.err;
  EXPECT_FALSE(Has(earlier.err, "leaves the inputs")) << earlier.err;
  // The same on the command line, which still overrides the file.
  const auto options = run("", {"--error", "Na=10%", "--error", "components=2%"});
  EXPECT_EQ(options.out, later.out);
  EXPECT_TRUE(Has(options.err, "--error components = 2% leaves")) << options.err;
}

// ---- Messages ----------------------------------------------------------------------------------

// A table the reader cannot take from its first line is a usage error (exit 2) in every command
// that reads tables, with a hint where the cause is the encoding; the same fault past the header
// is a fault of the run (exit 1).
TEST(CommandFaults, ATableUnreadableFromItsHeaderIsAUsageErrorInEveryCommand) {
  TempDir dir;
  const std::string wells = ReadFile(kWells);
  const auto lines = testing::SplitLines(wells, "\n");
  const std::string two = lines[0] + "\n" + lines[1] + "\n" + lines[2] + "\n";
  std::string utf16 = "\xFF\xFE";
  for (const char c : two) utf16 += std::string{c, '\0'};
  const std::string unclosed = "id,\"Na" + two.substr(two.find(',', 3));
  struct Case {
    std::string name, content;
    int status;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"utf16.csv", utf16, 2, "line 1: the table is in UTF-16 (or holds NUL bytes), not UTF-8"},
      {"unclosed.csv", unclosed, 2,
       "the table ends inside a quoted cell; a quote is not closed (the header)"},
      {"bom.csv", "\xEF\xBB\xBF" + two, 0, ""},
  };
  const std::vector<std::vector<std::string>> commands = {
      {"batch", "--units", "mg/kg"},
      {"uncertainty", "--units", "mg/kg", "--draws", "2", "--temperatures", "150,200,250"},
      {"geothermometry", "--units", "mg/kg", "--from", "150", "--to", "250", "--step", "50"},
  };
  for (const Case& c : cases) {
    const auto table = dir / c.name;
    WriteFile(table, c.content);
    for (auto args : commands) {
      args.insert(args.begin() + 1, table.string());
      const auto r = RunCli(args, dir.Path());
      EXPECT_EQ(r.status, c.status) << args[0] << ' ' << c.name << ": " << r.err;
      EXPECT_TRUE(Has(r.err, c.message)) << args[0] << ' ' << c.name << ": " << r.err;
      if (c.status == 2) EXPECT_TRUE(r.out.empty()) << r.out.substr(0, 200);
    }
  }
}

// A table that is not there, or is a directory, is the user's mistake in every command: exit 2,
// the path and the reason said, nothing written.
TEST(CommandFaults, ATableThatCannotBeOpenedIsAUsageErrorSayingWhy) {
  TempDir dir;
  const std::string missing = (dir / "missing.csv").string();
  const std::string folder = (dir / "folder.csv").string();
  std::filesystem::create_directory(folder);
  const std::vector<std::vector<std::string>> commands = {
      {"batch", "--units", "mg/kg"},
      {"geothermometry", "--units", "mg/kg"},
      {"uncertainty", "--units", "mg/kg", "--draws", "2"},
      {"scaling", "--units", "mg/kg", "--reservoir", "250", "--cooling", "90", "--separation",
       "150"},
  };
  for (auto args : commands) {
    args.insert(args.begin() + 1, missing);
    const auto r = RunCli(args, dir.Path());
    EXPECT_EQ(r.status, 2) << args[0] << ": " << r.err;
    EXPECT_TRUE(Has(r.err, "cannot open the table " + missing + ": No such file or directory"))
        << args[0] << ": " << r.err;
    EXPECT_TRUE(r.out.empty()) << args[0];

    args[1] = folder;
    const auto d = RunCli(args, dir.Path());
    EXPECT_EQ(d.status, 2) << args[0] << ": " << d.err;
    EXPECT_TRUE(Has(d.err, folder) && Has(d.err, "is a directory")) << args[0] << ": " << d.err;
    EXPECT_TRUE(d.out.empty()) << args[0];
  }
}

// Every cell of an err_ column is read as the other cells are: a bad one names its file, line,
// id and column, and only its own row fails.
TEST(CommandFaults, ABadErrorCellNamesItsFileRowAndColumn) {
  TempDir dir;
  const std::string wells = ReadFile(kWells);
  const auto lines = testing::SplitLines(wells, "\n");
  const auto table = dir / "errors.csv";
  WriteFile(table, lines[0] + ",err_Na\n" + lines[1] + ",5%\n" + lines[2] + ",abc\n");
  const auto r = RunCli({"uncertainty", table.string(), "--units", "mg/kg", "--draws", "2",
                         "--temperatures", "150,200,250", "--format", "csv"},
                        dir.Path());
  EXPECT_EQ(r.status, 1) << r.err;
  const std::string id = lines[2].substr(0, lines[2].find(','));
  for (const std::string& part : std::vector<std::string>{
           table.string(), "line 3", "(id " + id + ")", "column err_Na", "abc"})
    EXPECT_TRUE(Has(r.err, part)) << part << " in " << r.err;
  const std::string first = lines[1].substr(0, lines[1].find(','));
  EXPECT_TRUE(Has(r.out, first + ",solveq,")) << r.out.substr(0, 300);
}

// A chart that cannot be written says which file and why, and leaves no part of it behind.
TEST(CommandFaults, AChartThatCannotBeWrittenNamesTheFileAndTheCause) {
  TempDir dir;
  const auto chart = dir / "chart.png";
  const auto r = RunCli({"geothermometry", kSample, "--format", "csv", "--plot", chart.string()},
                        dir.Path(), CliRun{.file_size_limit = 4096, .stdout_file = "/dev/null"});
  if (Has(r.err, "no charts")) GTEST_SKIP() << r.err;
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_TRUE(Has(r.err, "cannot write the chart to " + chart.string() + ": File too large"))
      << r.err;
  EXPECT_FALSE(Has(r.err, "Unknown error")) << r.err;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
    EXPECT_FALSE(Has(entry.path().filename().string(), "chart")) << entry.path();
}

// ---- Hangs -------------------------------------------------------------------------------------

TEST(CommandFaults, CtrlCEndsAWaitForInputOrForAReader) {
  TempDir dir;
  const auto err = dir / "err.txt";
  // stdin an idle pipe: its writer stays open and silent.
  int pipe_ends[2];
  ASSERT_EQ(::pipe(pipe_ends), 0);
  pid_t pid = StartCli({"batch", "-"}, pipe_ends[0], dir / "out.txt", err);
  ::close(pipe_ends[0]);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ::kill(pid, SIGINT);
  EXPECT_EQ(WaitForCli(pid, std::chrono::seconds(5)), 130) << ReadFile(err);
  ::close(pipe_ends[1]);

  // --out a FIFO nobody reads.
  const auto fifo = dir / "out.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  pid = StartCli({"batch", kWells, "--units", "mg/kg", "--out", fifo.string()}, -1, dir / "out.txt",
                 err);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  ::kill(pid, SIGINT);
  EXPECT_EQ(WaitForCli(pid, std::chrono::seconds(5)), 130) << ReadFile(err);

  // A sample file that is a FIFO is refused at once.
  const auto sample = dir / "s.ini";
  ASSERT_EQ(::mkfifo(sample.c_str(), 0600), 0);
  for (const std::string command : {"geothermometry", "uncertainty"}) {
    const auto r = RunCli({command, sample.string()}, dir.Path(),
                          CliRun{.kill_after = std::chrono::seconds(10)});
    EXPECT_EQ(r.status, 2) << command << ": " << r.err;
    EXPECT_TRUE(Has(r.err, "is a FIFO, not a sample file")) << r.err;
  }
}

// ---- Memory ------------------------------------------------------------------------------------

// AddressSanitizer's shadow memory and quarantine swamp a peak of a few tens of MB: there only
// the statuses and messages are checked.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPeakMemoryMeans = false;
#else
constexpr bool kPeakMemoryMeans = true;
#endif

TEST(CommandFaults, MemoryIsBoundedByTheChunkNotTheTable) {
  TempDir dir;
  // Every row its own pH temperature: the prepared constants of each would stay.
  const auto table = dir / "distinct.csv";
  WriteFile(table, Wells(40000, true));
  const auto distinct = RunCli({"batch", table.string(), "--units", "mg/kg", "--dataset", "both",
                                "--jobs", "2", "--out", (dir / "out.csv").string()},
                               dir.Path());
  EXPECT_EQ(distinct.status, 0) << distinct.err;
  if (kPeakMemoryMeans) EXPECT_LT(distinct.max_rss_kb, 80 * 1024) << "kB";

  // A row of a million empty cells.
  const auto wide = dir / "wide.csv";
  const std::string wells = ReadFile(kWells);
  WriteFile(wide, wells.substr(0, wells.find('\n') + 1) + std::string(1000000, ',') + "\n");
  const auto cells = RunCli({"batch", wide.string()}, dir.Path());
  EXPECT_EQ(cells.status, 1) << cells.err;
  EXPECT_TRUE(Has(cells.err, "line 2: a row has more than 4096 cells")) << cells.err;
  if (kPeakMemoryMeans) EXPECT_LT(cells.max_rss_kb, 40 * 1024) << "kB";

  // More draws than their results fit in: refused before the first draw.
  const auto draws = RunCli({"uncertainty", kSample, "--draws", "1000000", "--dataset", "both"},
                            dir.Path(), CliRun{.kill_after = std::chrono::seconds(30)});
  EXPECT_EQ(draws.status, 1) << draws.err;
  EXPECT_TRUE(Has(draws.err, "more than the limit of 4.3 GB: at most")) << draws.err;
}

TEST(ConditionsCache, KeepsAtMostItsCapacityAndHoldersKeepTheirs) {
  engine::ConditionsCache cache(8);
  const auto& dataset = engine::Dataset::Of(thermo::DatasetId::kSolveq);
  const auto first = cache.Get(dataset, 100.0);
  for (int k = 0; k < 40; ++k) (void)cache.Get(dataset, 150.0 + k);
  EXPECT_EQ(cache.Size(), 8u);
  // Evicted but still held: the same object, intact.
  EXPECT_EQ(first->temperature, 100.0);
  EXPECT_NE(cache.Get(dataset, 100.0), first);
  // The most recent stay.
  const auto recent = cache.Get(dataset, 189.0);
  EXPECT_EQ(cache.Get(dataset, 189.0), recent);
}

}  // namespace
}  // namespace geofluid
