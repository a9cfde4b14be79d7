#include "form1_window.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <utility>

#include "results_window.h"
#include "sample_file.h"

namespace geofluid::gui {

namespace {
// The layout is drawn in twips; at 96 dpi a pixel is 15 twips, and Qt scales for other screens.
constexpr int kTwipsPerPixel = 15;

QRect Twips(int left, int top, int width, int height) {
  return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
               height / kTwipsPerPixel);
}

constexpr int kClientWidth = 8520;
constexpr int kClientHeight = 6015;

struct FrameSpec {
  const char* caption;
  int left, top, width, height;
};
constexpr std::array<FrameSpec, 7> kFrames = {{
    {},
    {"熱水相", 120, 120, 3975, 5655},
    {"蒸気相", 4320, 120, 3975, 1095},
    {"温度", 4320, 1440, 3975, 1095},
    {"", 4320, 2760, 3975, 975},
    {"水蒸気補正", 4320, 3960, 3975, 615},
    {"計算開始", 4320, 4800, 3975, 975},
}};

struct BoxSpec {
  int frame, top, left, width;
};
constexpr std::array<BoxSpec, form::kBoxCount + 1> kBoxes = {{
    {},
    {1, 360, 1440, 1935},
    {1, 720, 1440, 1935},
    {1, 1080, 1440, 1935},
    {1, 1440, 1440, 1935},
    {1, 1800, 1440, 1935},
    {1, 2160, 1440, 1935},
    {1, 2520, 1440, 1935},
    {1, 2880, 1440, 1935},
    {1, 3240, 1440, 1935},
    {1, 3600, 1440, 1935},
    {1, 3960, 1440, 1935},
    {1, 4320, 1440, 1935},
    {1, 4680, 1440, 1935},
    {1, 5040, 1440, 1935},
    {2, 240, 1440, 1815},
    {2, 600, 1440, 1815},
    {3, 240, 1800, 1335},
    {3, 600, 1800, 1335},
}};
constexpr int kBoxHeight = 270;
constexpr int kAnalysisLabelLeft = 480;
constexpr int kTemperatureLabelLeft = 120;
constexpr int kLabelGap = 60;  // between a label and the box it names
constexpr int kUnitLeftGap = 75;
constexpr int kUnitWidth = 300;

// The option buttons, the check box and the command buttons: a 255-twip square with its text
// in a label to its right.
constexpr int kChoiceSize = 255;
constexpr int kChoiceLeft = 240;
constexpr int kChoiceLabelLeft = 600;
constexpr int kChoiceLabelRightMargin = 60;
constexpr int kOption1Top = 240;
constexpr int kOption2Top = 600;
constexpr int kCheck1Top = 240;
constexpr int kCommand1Top = 240;
constexpr int kCommand2Top = 600;

QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* AddLabel(QWidget* frame, const char* name, const QString& caption, QRect geometry) {
  auto* label = new QLabel(caption, frame);
  label->setObjectName(name);
  label->setGeometry(geometry);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return label;
}

template <typename Control>
Control* AddChoice(QGroupBox* frame, const char* name, int top, const char* label_name,
                   const char* caption) {
  auto* control = new Control(frame);
  // The control's own name is its caption, hidden by the narrow width as on the original form.
  control->setText(name);
  control->setObjectName(name);
  control->setGeometry(Twips(kChoiceLeft, top, kChoiceSize, kChoiceSize));
  control->setAccessibleName(QString::fromUtf8(caption));
  const int frame_width = frame->width() * kTwipsPerPixel;
  AddLabel(frame, label_name, QString::fromUtf8(caption),
           Twips(kChoiceLabelLeft, top, frame_width - kChoiceLabelLeft - kChoiceLabelRightMargin,
                 kChoiceSize));
  return control;
}
}  // namespace

Form1Window::Form1Window(std::filesystem::path data_directory, QWidget* parent)
    : QWidget(parent), platform_(this), model_(platform_, std::move(data_directory)) {
  Build();
  Connect();
  Sync();
}

void Form1Window::Build() {
  setObjectName("Form1");
  setWindowTitle("Form1");
  setFixedSize(kClientWidth / kTwipsPerPixel, kClientHeight / kTwipsPerPixel);

  for (int f = 1; f <= 6; ++f) {
    const FrameSpec& spec = kFrames[static_cast<std::size_t>(f)];
    auto* frame = new QGroupBox(QString::fromUtf8(spec.caption), this);
    frame->setObjectName(QString("Frame%1").arg(f));
    frame->setGeometry(Twips(spec.left, spec.top, spec.width, spec.height));
    frames_[static_cast<std::size_t>(f)] = frame;
  }

  int label = 1;
  for (int b = 1; b <= form::kBoxCount; ++b) {
    const BoxSpec& spec = kBoxes[static_cast<std::size_t>(b)];
    QGroupBox* frame = frames_[static_cast<std::size_t>(spec.frame)];
    auto* box = new QLineEdit(frame);
    box->setObjectName(QString("Text%1").arg(b));
    box->setGeometry(Twips(spec.left, spec.top, spec.width, kBoxHeight));
    box->setAccessibleName(Utf8(form::BoxLabel(b)));
    boxes_[static_cast<std::size_t>(b)] = box;

    const bool temperature = spec.frame == 3;
    const int label_left = temperature ? kTemperatureLabelLeft : kAnalysisLabelLeft;
    AddLabel(frame, QString("Label%1").arg(label++).toLatin1().constData(), Utf8(form::BoxLabel(b)),
             Twips(label_left, spec.top, spec.left - kLabelGap - label_left, kBoxHeight));
    if (temperature)
      AddLabel(frame, QString("Label%1").arg(label++).toLatin1().constData(), "℃",
               Twips(spec.left + spec.width + kUnitLeftGap, spec.top, kUnitWidth, kBoxHeight));
  }

  option1_ = AddChoice<QRadioButton>(frames_[4], "Option1", kOption1Top, "Label21", "pH測定温度");
  option2_ =
      AddChoice<QRadioButton>(frames_[4], "Option2", kOption2Top, "Label22", "pH測定温度以外");
  // The model decides which option is selected; Qt's own exclusivity would refuse to show
  // neither selected and would fight the model.
  option1_->setAutoExclusive(false);
  option2_->setAutoExclusive(false);
  check1_ = AddChoice<QCheckBox>(frames_[5], "Check1", kCheck1Top, "Label23", "施さない");
  command1_ = AddChoice<QPushButton>(frames_[6], "Command1", kCommand1Top, "Label24",
                                     "REEDの熱力学的データによる計算");
  command2_ = AddChoice<QPushButton>(frames_[6], "Command2", kCommand2Top, "Label25",
                                     "SUPCRT98の熱力学的データによる計算");
  command1_->setText({});
  command2_->setText({});

  QWidget* previous = boxes_[1];
  const auto chain = [&](QWidget* next) {
    setTabOrder(previous, next);
    previous = next;
  };
  for (int b = 2; b <= form::kBoxCount; ++b) chain(boxes_[static_cast<std::size_t>(b)]);
  chain(option1_);
  chain(option2_);
  chain(check1_);
  chain(command1_);
  chain(command2_);
}

void Form1Window::Connect() {
  for (int b = 1; b <= form::kBoxCount; ++b)
    connect(boxes_[static_cast<std::size_t>(b)], &QLineEdit::textEdited, this,
            [this, b](const QString& text) { model_.Text(b).text = text.toStdString(); });
  // `clicked` comes after Qt has toggled the control; Sync then puts back what the model says.
  connect(option1_, &QRadioButton::clicked, this, [this] {
    model_.Option1_Click();
    Sync();
  });
  connect(option2_, &QRadioButton::clicked, this, [this] {
    model_.Option2_Click();
    Sync();
  });
  connect(check1_, &QCheckBox::clicked, this, [this] {
    model_.Check1_Click();
    Sync();
  });
  connect(command1_, &QPushButton::clicked, this, [this] { Run(&form::Form1::Command1_Click); });
  connect(command2_, &QPushButton::clicked, this, [this] { Run(&form::Form1::Command2_Click); });
}

void Form1Window::FillFrom(const sample::SampleFile& sample) {
  sample::ApplySample(sample, model_);
  Sync();
}

void Form1Window::Run(void (form::Form1::*command)()) {
  (model_.*command)();
  // The run restores the pointer itself; this only guards against one that did not.
  if (model_.MousePointer() != platform::kDefaultPointer)
    model_.SetMousePointer(platform::kDefaultPointer);
  Sync();
  // After the closing message: the answer itself, from the run's typed result.
  ShowResultsOf(*this, model_);
}

void Form1Window::Sync() {
  for (int b = 1; b <= form::kBoxCount; ++b) {
    const form::TextBox& model_box = model_.Text(b);
    QLineEdit* box = boxes_[static_cast<std::size_t>(b)];
    const QString text = QString::fromStdString(model_box.text);
    if (box->text() != text) box->setText(text);  // keeps the caret of the box being typed in
    box->setEnabled(model_box.enabled);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, Colour(model_box.back_color));
    box->setPalette(palette);
  }
  const QSignalBlocker block1(option1_), block2(option2_), block3(check1_);
  option1_->setChecked(model_.Option1Value());
  option2_->setChecked(model_.Option2Value());
  check1_->setChecked(model_.Check1Value() == 1);
}

QColor Form1Window::Colour(std::uint32_t colour) const {
  // The high bit marks a system colour; the only one the window uses is the button face.
  if ((colour & 0x80000000u) != 0) return palette().color(QPalette::Active, QPalette::Button);
  return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                static_cast<int>((colour >> 16) & 0xFF));  // stored as 0x00BBGGRR
}

}  // namespace geofluid::gui
