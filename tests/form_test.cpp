#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "form/form1.h"
#include "form/number_text.h"
#include "form_fixtures.h"
#include "platform/errors.h"

namespace geofluid {
namespace {

using form::Form1;
using form::kLockedColour;
using form::kWhite;
using platform::MessageKind;
using testing::RecordingPlatform;
using testing::TempDir;

void Type(Form1& form, const std::vector<std::string>& texts) {
  for (int box = 1; box <= form::kBoxCount; ++box)
    form.Text(box).text = texts[static_cast<std::size_t>(box)];
}

void ExpectBoxes(const Form1& form, int first, int last, bool enabled, std::uint32_t colour) {
  for (int box = first; box <= last; ++box) {
    EXPECT_EQ(form.Text(box).enabled, enabled) << "Text" << box;
    EXPECT_EQ(form.Text(box).back_color, colour) << "Text" << box;
  }
}

TEST(Form, StartsWithNoModeSteamCorrectionOnAndEverythingEditable) {
  RecordingPlatform platform;
  Form1 form(platform, "/nonexistent");
  EXPECT_FALSE(form.Option1Value());
  EXPECT_FALSE(form.Option2Value());
  EXPECT_EQ(form.Check1Value(), 0);
  EXPECT_EQ(form.MousePointer(), platform::kDefaultPointer);
  ExpectBoxes(form, 1, 18, true, kWhite);
  for (int box = 1; box <= 18; ++box) EXPECT_EQ(form.Text(box).text, "");
}

TEST(Form, MeasuredModeKeepsSteamCorrectionOff) {
  RecordingPlatform platform;
  Form1 form(platform, "/nonexistent");
  form.Option1_Click();
  EXPECT_TRUE(form.Option1Value());
  EXPECT_FALSE(form.Option2Value());
  EXPECT_EQ(form.Check1Value(), 1);
  // R3: the user cannot clear it, however often they click.
  form.Check1_Click();
  EXPECT_EQ(form.Check1Value(), 1);
  form.Check1_Click();
  EXPECT_EQ(form.Check1Value(), 1);
}

TEST(Form, OtherModeLocksTheAnalysisButKeepsItsTexts) {
  RecordingPlatform platform;
  Form1 form(platform, "/nonexistent");
  Type(form, testing::NaClWater());
  form.Option1_Click();
  form.Option2_Click();
  EXPECT_FALSE(form.Option1Value());
  EXPECT_TRUE(form.Option2Value());
  ExpectBoxes(form, 1, 16, false, kLockedColour);
  ExpectBoxes(form, 17, 18, true, kWhite);
  for (int box = 1; box <= 18; ++box)
    EXPECT_EQ(form.Text(box).text, testing::NaClWater()[static_cast<std::size_t>(box)]);
  // Check1 stays as R1 left it; in this mode the user may clear and set it.
  EXPECT_EQ(form.Check1Value(), 1);
  form.Check1_Click();
  EXPECT_EQ(form.Check1Value(), 0);
  form.Check1_Click();
  EXPECT_EQ(form.Check1Value(), 1);
  // Back to the measured mode unlocks everything again.
  form.Check1_Click();
  form.Option1_Click();
  ExpectBoxes(form, 1, 18, true, kWhite);
  EXPECT_EQ(form.Check1Value(), 1);
}

TEST(Form, CheckBoxTogglesFreelyWithNoModeSelected) {
  RecordingPlatform platform;
  Form1 form(platform, "/nonexistent");
  form.Check1_Click();
  EXPECT_EQ(form.Check1Value(), 1);
  form.Check1_Click();
  EXPECT_EQ(form.Check1Value(), 0);
  ExpectBoxes(form, 1, 18, true, kWhite);
}

TEST(Form, LabelsAndSampleKeysNameTheSameBoxes) {
  EXPECT_EQ(form::BoxLabel(1), "SiO2");
  EXPECT_EQ(form::BoxLabel(8), "CO3(2-)");
  EXPECT_EQ(form::BoxLabel(13), "pH");
  EXPECT_EQ(form::BoxLabel(16), "H2S");
  EXPECT_EQ(form::BoxLabel(17), "計算温度");
  EXPECT_EQ(form::BoxLabel(18), "蒸気分離温度");
  EXPECT_EQ(form::BoxLabel(0), "");
  EXPECT_EQ(form::BoxLabel(19), "");
  for (int box = 1; box <= 16; ++box) EXPECT_EQ(form::BoxForKey(form::BoxLabel(box)), box);
  EXPECT_EQ(form::BoxForKey("calculation"), 17);
  EXPECT_EQ(form::BoxForKey("separation"), 18);
  EXPECT_EQ(form::BoxForKey("計算温度"), std::nullopt);
  EXPECT_EQ(form::BoxForKey("na"), std::nullopt);
  EXPECT_EQ(form::BoxForKey(""), std::nullopt);
}

// A window with the Na-Cl water typed in, working on a scratch data directory.
struct Window {
  TempDir dir;
  RecordingPlatform platform;
  Form1 form{platform, dir.Path()};

  Window() { Type(form, testing::NaClWater()); }
  std::filesystem::path Report() const { return dir / "HVQ98OUT.txt"; }
  std::filesystem::path HandOver() const { return dir / "TOTH25.txt"; }
  std::string ReportText() const { return testing::ReadFile(Report()); }
  // The mode at the pH measurement temperature, at `temperature`.
  void Measured(const std::string& temperature = "25") {
    form.Option1_Click();
    form.Text(17).text = temperature;
  }
  // The second mode with the steam correction applied.
  void Other(const std::string& temperature) {
    form.Option2_Click();
    if (form.Check1Value() == 1) form.Check1_Click();
    form.Text(17).text = temperature;
  }
};

TEST(FormRun, MeasuredRunWritesReportHandsOverTothAndSaysWhere) {
  for (const bool supcrt : {false, true}) {
    Window w;
    w.Measured();
    supcrt ? w.form.Command2_Click() : w.form.Command1_Click();
    const auto& outcome = w.form.LastRun();
    ASSERT_TRUE(outcome.completed) << outcome.error;
    EXPECT_EQ(outcome.non_convergences, 0);
    EXPECT_EQ(w.platform.pointers, (std::vector<int>{11, 0}));
    EXPECT_EQ(w.form.MousePointer(), 0);
    ASSERT_EQ(w.platform.messages.size(), 1u);
    EXPECT_EQ(w.platform.messages[0].kind, MessageKind::kClosing);
    EXPECT_EQ(w.platform.messages[0].text, "結果を\n" + w.Report().string() + "\nに出力しました。");
    const auto lines = testing::SplitLines(w.ReportText());
    EXPECT_EQ(lines.size(), supcrt ? 139u : 137u);
    EXPECT_EQ(lines[1], supcrt ? "Used thermodynamic data is SUPCRT98"
                               : "Used thermodynamic data is SOLVEQ(Reed,1982)");
    const auto toth = testing::SplitLines(testing::ReadFile(w.HandOver()));
    ASSERT_EQ(toth.size(), 1u);
    EXPECT_TRUE(form::ParseNumber(toth[0]).has_value()) << toth[0];
  }
}

// The second-mode report of the Na-Cl water at 250 °C with the given hand-over file.
std::string OtherModeReport(const std::string& hand_over, bool supcrt) {
  Window w;
  testing::WriteFile(w.HandOver(), hand_over);
  w.Other("250");
  supcrt ? w.form.Command2_Click() : w.form.Command1_Click();
  EXPECT_TRUE(w.form.LastRun().completed) << w.form.LastRun().error;
  EXPECT_EQ(testing::ReadFile(w.HandOver()), hand_over) << "the second mode appended";
  return w.ReportText();
}

TEST(FormRun, OtherModeUsesTheLastTothWrittenByEitherDataset) {
  Window w;
  w.Measured();
  w.form.Command2_Click();  // SUPCRT98 first ...
  w.form.Text(13).text = "7.9";
  w.form.Command1_Click();  // ... then SOLVEQ with another pH
  ASSERT_TRUE(w.form.LastRun().completed) << w.form.LastRun().error;
  const std::string both = testing::ReadFile(w.HandOver());
  const auto lines = testing::SplitLines(both);
  ASSERT_EQ(lines.size(), 2u);
  ASSERT_NE(lines[0], lines[1]);

  for (const bool supcrt : {false, true}) {
    w.Other("250");
    w.platform.messages.clear();
    supcrt ? w.form.Command2_Click() : w.form.Command1_Click();
    ASSERT_TRUE(w.form.LastRun().completed) << w.form.LastRun().error;
    EXPECT_EQ(testing::ReadFile(w.HandOver()), both);
    const std::string report = w.ReportText();
    EXPECT_EQ(report, OtherModeReport(lines[1] + "\r\n", supcrt));
    EXPECT_NE(report, OtherModeReport(lines[0] + "\r\n", supcrt));
  }
}

TEST(FormRun, NoModeSelectedFollowsTheOtherModePath) {
  Window w;
  w.form.Text(17).text = "250";
  w.form.Command1_Click();
  // No hand-over file yet: the run wants one, as the second mode does.
  EXPECT_FALSE(w.form.LastRun().completed);
  EXPECT_NE(w.form.LastRun().error.find("TOTH25.txt"), std::string::npos) << w.form.LastRun().error;
  EXPECT_FALSE(std::filesystem::exists(w.HandOver()));

  const std::string stored = " 2.5E-02 \r\n";
  testing::WriteFile(w.HandOver(), stored);
  w.form.Command1_Click();
  ASSERT_TRUE(w.form.LastRun().completed) << w.form.LastRun().error;
  EXPECT_EQ(testing::ReadFile(w.HandOver()), stored);
  ExpectBoxes(w.form, 1, 18, true, kWhite);
  // Check1 clear: the steam correction applies.
  EXPECT_EQ(w.ReportText().find("Fraction of steam= 0 "), std::string::npos);
  EXPECT_EQ(w.ReportText(), OtherModeReport(stored, false));
}

TEST(FormRun, EmptyHandOverFileIsTakenAsZeroWithAWarning) {
  Window w;
  testing::WriteFile(w.HandOver(), "\r\n");
  w.Other("250");
  w.form.Command1_Click();
  EXPECT_TRUE(w.form.LastRun().completed) << w.form.LastRun().error;
  EXPECT_EQ(w.platform.warnings,
            (std::vector<std::string>{"TOTH25.txt is empty, the stored TOTH is taken as 0"}));
}

// The Na-Cl water at the edge of convergence at 200 °C: the iteration stops at its pass limit.
TEST(FormRun, NonConvergingMeasuredRunStillReportsAndHandsOver) {
  Window w;
  w.Measured("200");
  w.form.Text(13).text = "11.187";
  w.form.Text(14).text = "1";
  w.form.Command1_Click();
  const auto& outcome = w.form.LastRun();
  ASSERT_TRUE(outcome.completed) << outcome.error;
  EXPECT_EQ(outcome.non_convergences, 1);
  ASSERT_EQ(w.platform.messages.size(), 2u);
  EXPECT_EQ(w.platform.messages[0].kind, MessageKind::kNonConvergence);
  EXPECT_EQ(w.platform.messages[0].text, "計算が収束しません");
  EXPECT_EQ(w.platform.messages[1].kind, MessageKind::kClosing);
  EXPECT_EQ(testing::SplitLines(testing::ReadFile(w.HandOver())).size(), 1u);
}

// Every way a run can fail: one error box naming the cause, no closing message, the pointer
// back at 0, no descriptor left open, the hand-over file as it was and the report emptied.
TEST(FormRun, FailedRunsShowOneErrorAndLeaveTheHandOverFileAlone) {
  struct Row {
    const char* what;
    std::function<void(Window&)> arrange;
    std::string cause;
    bool hourglass;  // whether the run got as far as setting it
    // Only a failed hand-over comes after the report: that report is complete, and correct,
    // but the run still does not present it.
    bool report_written = false;
  };
  const std::string history = " 1.5E-03 \r\n-2E-04 \r\n";
  const std::vector<Row> rows = {
      {"empty box in the measured mode", [](Window& w) { w.form.Text(5).text = ""; }, "Text5 (Mg)",
       true},
      {"non-number in the second mode",
       [](Window& w) {
         w.Other("250");
         w.form.Text(3).text = "abc";
       },
       "Text3 (K)", true},
      {"non-number temperature", [](Window& w) { w.form.Text(17).text = "25 C"; }, "Text17", true},
      {"missing directory", [](Window& w) { std::filesystem::remove_all(w.dir.Path()); },
       "does not exist", false},
      {"directory is a plain file",
       [](Window& w) {
         std::filesystem::remove_all(w.dir.Path());
         testing::WriteFile(w.dir.Path(), "x");
       },
       "is not a directory", false},
      {"report path is a directory",
       [](Window& w) {
         std::filesystem::remove(w.Report());
         std::filesystem::create_directory(w.Report());
       },
       "HVQ98OUT.txt", false},
      // A link is never followed, so the run stops before it starts calculating.
      {"report is a link to a device",
       [](Window& w) {
         std::filesystem::remove(w.Report());
         std::filesystem::create_symlink("/dev/full", w.Report());
       },
       "HVQ98OUT.txt is a symbolic link", false},
      {"second mode without a hand-over file",
       [](Window& w) {
         std::filesystem::remove(w.HandOver());
         w.Other("250");
       },
       "TOTH25.txt", true},
      {"second mode with garbage at the end of the hand-over file",
       [](Window& w) {
         testing::WriteFile(w.HandOver(), " 1E-03 \r\nlost power\r\n");
         w.Other("250");
       },
       "line 2", true},
      {"hand-over file refuses writes",
       [](Window& w) {
         std::filesystem::remove(w.HandOver());
         std::filesystem::create_symlink("/dev/full", w.HandOver());
       },
       "TOTH25.txt", true, true},
      {"speciation runs away",
       [](Window& w) {
         w.form.Text(17).text = "200";
         w.form.Text(13).text = "11.7";
       },
       "diverged", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Window w;
    w.Measured();
    testing::WriteFile(w.HandOver(), history);
    testing::WriteFile(w.Report(), "an old report\r\n");
    row.arrange(w);
    const bool had_hand_over = std::filesystem::is_regular_file(w.HandOver());
    const std::string hand_over_before = had_hand_over ? testing::ReadFile(w.HandOver()) : "";
    const int descriptors = testing::OpenDescriptors();

    w.form.Command1_Click();

    const auto& outcome = w.form.LastRun();
    EXPECT_FALSE(outcome.completed);
    ASSERT_EQ(w.platform.messages.size(), 1u);
    EXPECT_EQ(w.platform.messages[0].kind, MessageKind::kError);
    EXPECT_EQ(w.platform.messages[0].text, outcome.error);
    EXPECT_NE(outcome.error.find(row.cause), std::string::npos) << outcome.error;
    EXPECT_EQ(w.form.MousePointer(), 0);
    const std::vector<int> pointers = row.hourglass ? std::vector<int>{11, 0} : std::vector<int>{};
    EXPECT_EQ(w.platform.pointers, pointers);
    EXPECT_EQ(testing::OpenDescriptors(), descriptors);
    EXPECT_EQ(std::filesystem::is_regular_file(w.HandOver()), had_hand_over);
    if (had_hand_over) EXPECT_EQ(testing::ReadFile(w.HandOver()), hand_over_before);
    if (std::filesystem::is_regular_file(w.Report()) && !row.report_written)
      EXPECT_EQ(w.ReportText(), "");
  }
}

TEST(FormRun, FailedMeasuredRunLeavesNoHandOverFileBehind) {
  Window w;
  w.Measured();
  w.form.Text(1).text = "1,5";
  w.form.Command2_Click();
  EXPECT_FALSE(w.form.LastRun().completed);
  EXPECT_FALSE(std::filesystem::exists(w.HandOver()));
}

TEST(FormRun, ReadOnlyDirectoryIsAFileError) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  Window w;
  w.Measured();
  std::filesystem::permissions(
      w.dir.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  w.form.Command1_Click();
  EXPECT_FALSE(w.form.LastRun().completed);
  EXPECT_NE(w.form.LastRun().error.find("HVQ98OUT.txt"), std::string::npos);
}

}  // namespace
}  // namespace geofluid
