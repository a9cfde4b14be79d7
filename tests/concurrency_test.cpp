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
#include <string_view>
#include <thread>
#include <utility>
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
        // A run that waits long for its turn says so; nothing else may be said.
        std::string said;
        for (const std::string& line : r.ErrLines())
          if (line.rfind("waiting: ", 0) != 0) said += line + "\n";
        if (r.status != 0 || r.out != closing || !said.empty())
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

// Another program (or a run that has stopped) holds a file of the directory: the run says that
// it waits, and gives up after its bound with an error naming the file, or goes on once it
// has its turn.
class HeldFile {
 public:
  explicit HeldFile(const fs::path& path)
      : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    EXPECT_GE(fd_, 0);
    EXPECT_EQ(::flock(fd_, LOCK_EX), 0);
  }
  ~HeldFile() { Release(); }
  void Release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

bool HasLineStartingWith(const CliResult& r, std::string_view start, std::string_view holding) {
  for (const std::string& line : r.ErrLines())
    if (line.rfind(start, 0) == 0 && line.find(holding) != std::string::npos) return true;
  return false;
}

TEST(Waiting, ARunThatCannotGetItsTurnSaysSoAndGivesUp) {
  TempDir scratch;
  const fs::path sample = scratch / "sample.ini";
  WriteFile(sample, SampleOf(0));
  for (const std::string_view name : {platform::kReportFileName, platform::kHandOverFileName}) {
    SCOPED_TRACE(name);
    const fs::path dir = scratch / ("data-" + std::string(name));
    fs::create_directory(dir);
    WriteFile(dir / platform::kHandOverFileName, " .0211 \r\n");
    HeldFile held(dir / name);
    const CliResult r =
        RunCli({"run", sample.string(), "--mode", "measured", "--dir", dir.string(), "--wait", "2"},
               scratch.Path(), {.kill_after = std::chrono::seconds(30)});
    EXPECT_FALSE(r.killed) << "the run waited without bound";
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(HasLineStartingWith(r, "waiting: ", std::string(name))) << r.err;
    EXPECT_TRUE(HasLineStartingWith(r, "error: ", std::string(name))) << r.err;
    EXPECT_NE(r.err.find("2 s"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(dir / platform::kHandOverFileName), " .0211 \r\n");
  }
}

TEST(Waiting, ARunGoesOnOnceItHasItsTurn) {
  TempDir scratch;
  const fs::path sample = scratch / "sample.ini";
  WriteFile(sample, SampleOf(0));
  const fs::path dir = scratch / "data";
  fs::create_directory(dir);
  HeldFile held(dir / platform::kReportFileName);
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    held.Release();
  });
  const CliResult r = RunCli({"run", sample.string(), "--mode", "measured", "--dir", dir.string()},
                             scratch.Path(), {.kill_after = std::chrono::seconds(60)});
  release.join();
  EXPECT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(r.ErrLines().size(), 1u) << r.err;
  EXPECT_TRUE(HasLineStartingWith(r, "waiting: ", platform::kReportFileName)) << r.err;
  EXPECT_EQ(SplitLines(ReadFile(dir / platform::kReportFileName)).size(), 137u);
}

// The window's "計算が収束しません" box waits for a click: meanwhile another run on the
// directory (a command line, another window) must be able to take its turn on every file.
class LockProbingPlatform : public testing::RecordingPlatform {
 public:
  explicit LockProbingPlatform(fs::path dir) : dir_(std::move(dir)) {}
  void MessageBox(platform::MessageKind kind, std::string_view text) override {
    RecordingPlatform::MessageBox(kind, text);
    for (const std::string_view name : {platform::kReportFileName, platform::kHandOverFileName}) {
      const int fd = ::open((dir_ / name).c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) continue;
      if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        held_under_box.push_back(std::string(name) + " during box " +
                                 std::to_string(messages.size()));
      ::close(fd);
    }
  }
  std::vector<std::string> held_under_box;

 private:
  fs::path dir_;
};

TEST(Waiting, NoFileIsHeldWhileABoxWaitsForTheUser) {
  TempDir scratch;
  const fs::path dir = scratch / "data";
  fs::create_directory(dir);
  // The Na-Cl water at the edge of convergence at 200 °C, as typed.
  const auto texts = testing::NaClWater();
  const auto type = [&](form::Form1& form) {
    for (int box = 1; box <= form::kBoxCount; ++box)
      form.Text(box).text = texts[static_cast<std::size_t>(box)];
    form.Option1_Click();
    form.Text(17).text = "200";
    form.Text(13).text = "11.187";
    form.Text(14).text = "1";
  };
  LockProbingPlatform platform(dir);
  form::Form1 form(platform, dir);
  type(form);
  form.Command1_Click();
  ASSERT_TRUE(form.LastRun().completed) << form.LastRun().error;
  EXPECT_TRUE(platform.held_under_box.empty()) << platform.held_under_box.front();
  // The boxes are those of the run, in its order: the non-convergence, then the closing one.
  ASSERT_EQ(platform.messages.size(), 2u);
  EXPECT_EQ(platform.messages[0].kind, platform::MessageKind::kNonConvergence);
  EXPECT_EQ(platform.messages[0].text, "計算が収束しません");
  EXPECT_EQ(platform.messages[1].kind, platform::MessageKind::kClosing);
  EXPECT_EQ(form.LastRun().non_convergences, 1);
  // The report is the one the run writes when nothing watches it.
  TempDir other;
  testing::RecordingPlatform quiet;
  form::Form1 again(quiet, other.Path());
  type(again);
  again.Command1_Click();
  ASSERT_TRUE(again.LastRun().completed);
  EXPECT_EQ(ReadFile(dir / platform::kReportFileName), ReadFile(other / platform::kReportFileName));
}

}  // namespace
}  // namespace geofluid
