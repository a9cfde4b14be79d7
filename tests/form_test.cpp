#include <gtest/gtest.h>

#include <string>

#include "form/form1.h"
#include "form_fixtures.h"

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

}  // namespace
}  // namespace geofluid
