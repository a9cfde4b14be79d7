#include <gtest/gtest.h>

#include <string>

#include "form/form1.h"
#include "form_fixtures.h"
#include "sample_file.h"

namespace geofluid {
namespace {

using sample::LoadSample;
using sample::SampleError;
using testing::TempDir;
using testing::WriteFile;

std::string LoadError(const TempDir& dir, const std::string& content) {
  const auto path = dir / "bad.ini";
  WriteFile(path, content);
  try {
    LoadSample(path);
  } catch (const SampleError& e) {
    return e.what();
  }
  return "(loaded)";
}

TEST(Sample, ReadsBoxTextsAsTypedWithUsualFileQuirks) {
  TempDir dir;
  const auto path = dir / "well.ini";
  // Byte-order mark, CRLF, comments of both kinds, an inline comment, an indented key and a
  // value whose text is kept as typed.
  WriteFile(path,
            "\xEF\xBB\xBF; well KJ-7\r\n"
            "[hot-water]\r\n"
            "SiO2 = 0.0100\r\n"
            "  Na=  0.04   ; sodium\r\n"
            "CO3(2-) = 2E-3\r\n"
            "# no Fe analysed\r\n"
            "pH = 8.50\r\n"
            "\r\n"
            "[steam]\r\n"
            "CO2 = 0.02\r\n"
            "[temperature]\r\n"
            "calculation = 250.0\r\n"
            "separation = 100\r\n");
  const sample::SampleFile s = LoadSample(path);
  EXPECT_EQ(s.box[1], "0.0100");
  EXPECT_EQ(s.box[2], "0.04");
  EXPECT_EQ(s.box[8], "2E-3");
  EXPECT_EQ(s.box[13], "8.50");
  EXPECT_EQ(s.box[15], "0.02");
  EXPECT_EQ(s.box[17], "250.0");
  EXPECT_EQ(s.box[18], "100");
  // Keys the file does not give are empty boxes.
  EXPECT_EQ(s.box[6], "");
  EXPECT_EQ(s.box[16], "");
}

TEST(Sample, RefusesWhatIsNotASampleNamingFileAndLine) {
  TempDir dir;
  struct Row {
    const char* what;
    std::string content;
    std::vector<std::string> expected;
  };
  const std::vector<Row> rows = {
      {"unknown section", "[hot-water]\nNa = 1\n[gas]\n", {"bad.ini", "line 3", "[gas]"}},
      {"unknown key", "[hot-water]\nNa = 1\nLi = 2\n", {"line 3", "\"Li\"", "SiO2"}},
      {"key of another section", "[steam]\nNa = 1\n", {"line 2", "\"Na\"", "[steam]"}},
      {"key given twice",
       "[hot-water]\nNa = 1\nK = 2\nNa = 3\n",
       {"line 4", "given twice", "line 2"}},
      {"key repeated in a second section block",
       "[steam]\nCO2=1\n[hot-water]\nNa=1\n[steam]\nCO2=2\n",
       {"line 6", "given twice"}},
      {"key before any section", "Na = 1\n", {"line 1", "before any section"}},
      {"line without =", "[hot-water]\nNa 0.04\n", {"line 2"}},
      {"unclosed section", "[hot-water\nNa = 1\n", {"line 1"}},
      {"NUL byte",
       std::string("[hot-water]\nNa = 0.0\0"
                   "4\n",
                   22),
       {"line 2", "binary"}},
      {"Shift_JIS text", "[temperature]\ncalculation = 250 \x81\x8E\n", {"line 2", "UTF-8"}},
      {"line longer than inih's buffer",
       "[hot-water]\nNa = " + std::string(300, '1') + "\n",
       {"line 2", "longer"}},
      {"10 MB of text", std::string(10 * 1024 * 1024, 'a'), {"larger than 1 MiB"}},
  };
  for (const Row& row : rows) {
    const std::string message = LoadError(dir, row.content);
    for (const std::string& part : row.expected)
      EXPECT_NE(message.find(part), std::string::npos)
          << row.what << ": \"" << part << "\" not in: " << message;
  }
}

TEST(Sample, MissingOrUnreadableFileIsNamed) {
  TempDir dir;
  for (const auto& path : {dir / "absent.ini", dir.Path()}) {
    try {
      LoadSample(path);
      ADD_FAILURE() << path << " loaded";
    } catch (const SampleError& e) {
      EXPECT_NE(std::string(e.what()).find(path.string()), std::string::npos) << e.what();
    }
  }
}

TEST(Sample, ExampleFilesLoadAndFillEveryBox) {
  const std::filesystem::path examples = std::filesystem::path(GEOFLUID_SOURCE_DIR) / "examples";
  int found = 0;
  for (const auto& entry : std::filesystem::directory_iterator(examples)) {
    if (entry.path().extension() != ".ini") continue;
    ++found;
    const sample::SampleFile s = LoadSample(entry.path());
    testing::RecordingPlatform platform;
    form::Form1 form(platform, "/nonexistent");
    sample::ApplySample(s, form);
    for (int box = 1; box <= form::kBoxCount; ++box)
      EXPECT_FALSE(form.Text(box).text.empty())
          << entry.path() << " leaves Text" << box << " empty";
  }
  EXPECT_GT(found, 0);
}

}  // namespace
}  // namespace geofluid
