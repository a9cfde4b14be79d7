#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
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

TEST(HandOver, RefusedAppendIsAnError) {
  TempDir dir;
  const auto file = dir / "TOTH25.txt";
  std::filesystem::create_symlink("/dev/full", file);
  EXPECT_THROW(form::AppendToth(file, 1e-3), FileError);
  EXPECT_THROW(form::AppendToth(dir / "absent" / "TOTH25.txt", 1e-3), FileError);
}

}  // namespace
}  // namespace geofluid
