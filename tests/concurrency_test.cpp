// Several users (or scripts) running the command line on one data directory at once: every
// hand-over line arrives whole, and the report file only ever holds one run's complete report
// to a reader that takes its turn as the runs do.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli_process.h"
#include "form/form1.h"
#include "form_fixtures.h"
#include "platform/platform.h"

namespace geofluid {
namespace {

namespace fs = std::filesystem;
using testing::CliResult;
using testing::ReadFile;
using testing::RunCli;
using testing::SplitLines;
using testing::TempDir;
using testing::WriteFile;

constexpr int kProcesses = 8;

// GEOFLUID_CONCURRENT_RUNS sets another count of runs per process, e.g. for a longer soak.
int RunsPerProcess() {
  if (const char* text = std::getenv("GEOFLUID_CONCURRENT_RUNS"); text != nullptr && *text != '\0')
    return std::max(1, std::atoi(text));
  return 50;
}

// The sample of process p: the same water with a pH of its own, so that its TOTH and report
// tell which process wrote them.
std::string SampleOf(int p) {
  auto texts = testing::NaClWater();
  texts[13] = std::to_string(7.6 + 0.1 * p).substr(0, 3);
  std::string s = "[hot-water]\n";
  for (int box = 1; box <= 14; ++box)
    s += std::string(form::BoxLabel(box)) + " = " + texts[static_cast<std::size_t>(box)] + "\n";
  s += "[steam]\nCO2 = " + texts[15] + "\nH2S = " + texts[16] + "\n";
  s += "[temperature]\ncalculation = 25\nseparation = 100\n";
  return s;
}

// The report as a reader sees it while it waits for its turn like a run.
std::string ReadReportInTurn(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  ::flock(fd, LOCK_SH);
  std::string text;
  char buffer[16384];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<std::size_t>(n));
  ::flock(fd, LOCK_UN);
  ::close(fd);
  return text;
}

class Concurrency : public ::testing::TestWithParam<const char*> {};

TEST_P(Concurrency, MeasuredRunsOnOneDirectoryKeepEveryLineAndEveryReportWhole) {
  const std::string dataset = GetParam();
  const std::size_t report_lines = dataset == "solveq" ? 137 : 139;
  const int runs = RunsPerProcess();
  TempDir scratch;

  // What each process's run writes when it runs alone.
  std::vector<fs::path> samples;
  std::set<std::string> solo_reports;
  std::map<std::string, int> toth_of_line;  // hand-over line -> process
  for (int p = 0; p < kProcesses; ++p) {
    samples.push_back(scratch / ("sample-" + std::to_string(p) + ".ini"));
    WriteFile(samples.back(), SampleOf(p));
    const fs::path alone = scratch / ("alone-" + std::to_string(p));
    fs::create_directory(alone);
    const CliResult r = RunCli({"run", samples.back().string(), "--mode", "measured", "--dataset",
                                dataset, "--dir", alone.string()},
                               alone);
    ASSERT_EQ(r.status, 0) << r.err;
    solo_reports.insert(ReadFile(alone / platform::kReportFileName));
    const std::string line = ReadFile(alone / platform::kHandOverFileName);
    ASSERT_TRUE(toth_of_line.emplace(line, p).second) << "two processes share a TOTH";
  }
  ASSERT_EQ(solo_reports.size(), static_cast<std::size_t>(kProcesses));

  const fs::path dir = scratch / "shared";
  fs::create_directory(dir);
  const fs::path report = dir / platform::kReportFileName;
  std::atomic<int> running{kProcesses};
  std::mutex failures_mutex;
  std::vector<std::string> failures;
  const auto fail = [&](std::string what) {
    const std::lock_guard lock(failures_mutex);
    failures.push_back(std::move(what));
  };

  std::vector<std::thread> processes;
  for (int p = 0; p < kProcesses; ++p) {
    processes.emplace_back([&, p] {
      const fs::path own = scratch / ("process-" + std::to_string(p));
      fs::create_directory(own);
      const std::string closing =
          "結果を\n" + fs::absolute(report).string() + "\nに出力しました。\n";
      for (int run = 0; run < runs; ++run) {
        const CliResult r = RunCli({"run", samples[static_cast<std::size_t>(p)].string(), "--mode",
                                    "measured", "--dataset", dataset, "--dir", dir.string()},
                                   own);
        if (r.status != 0 || r.out != closing || !r.err.empty())
          fail("process " + std::to_string(p) + " run " + std::to_string(run) + ": exit " +
               std::to_string(r.status) + " " + r.err);
      }
      --running;
    });
  }
  // A reader meanwhile: whenever it gets its turn, the report is one run's whole report. Every
  // run here succeeds, so once a report is there it is never seen emptied or half written.
  int reads = 0;
  while (running > 0) {
    const std::string seen = ReadReportInTurn(report);
    if (!seen.empty() || reads > 0) {
      ++reads;
      if (solo_reports.count(seen) == 0)
        fail("a reader saw a report of " + std::to_string(seen.size()) +
             " bytes that no run writes");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
  }
  for (std::thread& t : processes) t.join();
  for (const std::string& f : failures) ADD_FAILURE() << f;
  EXPECT_GT(reads, 0);

  // After the last run the report is complete and is one run's, never a mix.
  const std::string final_report = ReadFile(report);
  EXPECT_EQ(SplitLines(final_report).size(), report_lines);
  EXPECT_EQ(solo_reports.count(final_report), 1u);

  // Every run's line, whole: each process's TOTH exactly `runs` times, nothing else.
  const std::string history = ReadFile(dir / platform::kHandOverFileName);
  ASSERT_EQ(history.substr(history.size() - 2), "\r\n");
  const std::vector<std::string> lines = SplitLines(history);
  EXPECT_EQ(lines.size(), static_cast<std::size_t>(kProcesses * runs));
  std::map<int, int> lines_of_process;
  for (const std::string& line : lines) {
    EXPECT_TRUE(testing::WellFormedNumberItem(line)) << "[" << line << "]";
    const auto found = toth_of_line.find(line + "\r\n");
    if (found == toth_of_line.end()) {
      ADD_FAILURE() << "a line no run writes: [" << line << "]";
      continue;
    }
    ++lines_of_process[found->second];
  }
  for (int p = 0; p < kProcesses; ++p) EXPECT_EQ(lines_of_process[p], runs) << "process " << p;
}

INSTANTIATE_TEST_SUITE_P(BothDatasets, Concurrency, ::testing::Values("solveq", "supcrt"));

}  // namespace
}  // namespace geofluid
