#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include "form/handover_file.h"
#include "form/number_text.h"
#include "form_fixtures.h"
#include "platform/errors.h"

namespace geofluid {
namespace {

using form::ReadStoredToth;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TEST(HandOver, LastLineThatHoldsSomethingIsTheStoredToth) {
  TempDir dir;
  const auto file = dir / "TOTH25.txt";
  struct Row {
    std::string content;
    double value;
  };
  const std::vector<Row> rows = {
      {" 1.5E-03 \r\n", 1.5e-3},
      {" 1.5E-03 \r\n-2.25E-04 \r\n", -2.25e-4},
      {" .1 \r\n .2 ", 0.2},                    // no line end after the last line
      {" .1 \r\n .2 \r\n\r\n  \r\n\t\n", 0.2},  // trailing blank lines are skipped
      {" .1 \n .3 \n", 0.3},                    // line feeds only
  };
  for (const Row& row : rows) {
    WriteFile(file, row.content);
    const auto stored = ReadStoredToth(file);
    EXPECT_FALSE(stored.empty);
    EXPECT_EQ(stored.value, row.value) << row.content;
  }
}

TEST(HandOver, FileWithoutANumberLineGivesZeroAndSaysSo) {
  TempDir dir;
  const auto file = dir / "TOTH25.txt";
  for (const std::string content : {"", "\r\n", "  \r\n\r\n \t \n"}) {
    WriteFile(file, content);
    const auto stored = ReadStoredToth(file);
    EXPECT_TRUE(stored.empty);
    EXPECT_EQ(stored.value, 0.0);
  }
}

TEST(HandOver, LastLineThatIsNotANumberNamesFileLineAndText) {
  TempDir dir;
  const auto file = dir / "TOTH25.txt";
  struct Row {
    std::string content;
    std::string line;
    std::string text;
  };
  const std::vector<Row> rows = {
      {" 1E-03 \r\n 2E-03 \r\nabc\r\n\r\n", "line 3", "\"abc\""},
      {"garbage", "line 1", "\"garbage\""},
      {" 1E-03 \r\n 1,5E-03 \r\n", "line 2", "\"1,5E-03\""},
      {" 1E-03 \r\n" + std::string(10000, '7') + "\r\n", "line 2", "...\""},
      {std::string("\0\0\0\n", 4), "line 1", "\"???\""},
      // A C1 control (CSI) is not echoed into a message either.
      {" 1E-03 \r\n\xC2\x9B"
       "31mred\r\n",
       "line 2", "\"?31mred\""},
  };
  for (const Row& row : rows) {
    WriteFile(file, row.content);
    try {
      ReadStoredToth(file);
      ADD_FAILURE() << "read " << row.content;
    } catch (const ConversionError& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find(file.string()), std::string::npos) << message;
      EXPECT_NE(message.find(row.line + ":"), std::string::npos) << message;
      EXPECT_NE(message.find(row.text), std::string::npos) << message;
      EXPECT_NE(message.find("not a number"), std::string::npos) << message;
      EXPECT_LT(message.size(), 200u) << message;
    }
  }
}

TEST(HandOver, MissingFileOrDirectoryIsAFileErrorNamingIt) {
  TempDir dir;
  for (const auto& file : {dir / "TOTH25.txt", dir / "absent" / "TOTH25.txt", dir.Path()}) {
    try {
      ReadStoredToth(file);
      ADD_FAILURE() << file;
    } catch (const FileError& e) {
      EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
    }
  }
}

// A history of 200 MB: only its end is read. The file is sparse, so writing it costs nothing;
// its hole reads as NUL bytes, which would be an error if the reader looked at them.
TEST(HandOver, LongHistoryIsReadFromItsEnd) {
  TempDir dir;
  const auto file = dir / "TOTH25.txt";
  {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    const off_t size = 200LL * 1024 * 1024;
    ASSERT_EQ(::ftruncate(fd, size), 0);
    // Trailing blank lines longer than a read block, so the line is found across blocks.
    const std::string tail = "\r\n-3.14159265358979E-05 \r\n" + std::string(70000, ' ') + "\r\n";
    ASSERT_EQ(::pwrite(fd, tail.data(), tail.size(), size), static_cast<ssize_t>(tail.size()));
    ::close(fd);
  }
  const auto start = std::chrono::steady_clock::now();
  const auto stored = ReadStoredToth(file);
  EXPECT_EQ(stored.value, -3.14159265358979E-05);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

TEST(HandOver, AppendedLineIsTheUnroundedNumberItemAndReadsBack) {
  TempDir dir;
  const auto file = dir / "TOTH25.txt";
  const std::string history = " 1E-03 \r\n\r\n";  // a history and a blank line someone left
  WriteFile(file, history);
  for (const double toth : {-1.23456789012345e-3, 4.5e-2, 0.0}) {
    const std::string line = form::TothLine(toth);
    ASSERT_GE(line.size(), 4u);
    EXPECT_EQ(line.substr(line.size() - 3), " \r\n") << line;
    EXPECT_EQ(line[0] == '-', toth < 0) << line;
    form::AppendToth(file, toth);
    EXPECT_EQ(ReadStoredToth(file).value, toth) << line;
  }
  const std::string content = ReadFile(file);
  EXPECT_EQ(content.substr(0, history.size()), history);  // nothing rewritten
  EXPECT_EQ(testing::SplitLines(content).size(), 5u);
}

TEST(HandOver, LineAppendedToAHandEditedFileStartsOnItsOwnLine) {
  TempDir dir;
  const auto file = dir / "TOTH25.txt";
  WriteFile(file, " 1E-03 \r\n 2E-03");
  form::AppendToth(file, 0.5);
  EXPECT_EQ(ReadFile(file), " 1E-03 \r\n 2E-03\r\n .5 \r\n");
  EXPECT_EQ(ReadStoredToth(file).value, 0.5);
}

TEST(HandOver, ConcurrentAppendsNeverInterleave) {
  TempDir dir;
  const auto file = dir / "TOTH25.txt";
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&file, t] {
      for (int i = 0; i < 50; ++i) form::AppendToth(file, -(t + 1) * 1.11111111111111e-3);
    });
  for (auto& thread : threads) thread.join();
  const auto lines = testing::SplitLines(ReadFile(file));
  ASSERT_EQ(lines.size(), 400u);
  for (const auto& line : lines) EXPECT_TRUE(form::ParseNumber(line).has_value()) << line;
}

// An append cut short by the file-size limit (as by a full disk) is taken back: the file is
// byte for byte what it was, and one that did not exist is not left behind empty. The limit is
// set in a child process, which ignores SIGXFSZ as the programs do.
TEST(HandOver, AnAppendCutShortIsTakenBack) {
  TempDir dir;
  const auto file = dir / "TOTH25.txt";
  const std::string history = " 1E-03 \r\n" + std::string(8000, ' ') + "\r\n 2E-03";
  struct Row {
    std::string name;
    bool exists;
    rlim_t limit;
  };
  for (const Row& row : {Row{"cut", true, history.size() + 5},
                         Row{"at the limit", true, history.size()}, Row{"new file", false, 5}}) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove(file);
    if (row.exists) WriteFile(file, history);
    const pid_t pid = ::fork();
    if (pid == 0) {
      std::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{row.limit, row.limit};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(3);
      try {
        form::AppendToth(file, -1.23456789012345e-5);
      } catch (const FileError& e) {
        ::_exit(std::string(e.what()).find("File too large") != std::string::npos ? 0 : 2);
      }
      ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: no error, 2: an error that does not say why";
    if (row.exists) {
      EXPECT_EQ(ReadFile(file), history);
    } else {
      EXPECT_FALSE(std::filesystem::exists(file));
    }
  }
}

TEST(HandOver, RefusedAppendIsAnError) {
  TempDir dir;
  const auto file = dir / "TOTH25.txt";
  std::filesystem::create_symlink("/dev/full", file);
  EXPECT_THROW(form::AppendToth(file, 1e-3), FileError);
  EXPECT_THROW(form::AppendToth(dir / "absent" / "TOTH25.txt", 1e-3), FileError);
}

}  // namespace
}  // namespace geofluid
