// Widget tests of the window, on the offscreen platform.
#include "form1_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "sample_file.h"

using geofluid::gui::Form1Window;

namespace {
// What a modal box showed before the test closed it.
struct Shown {
  QString title, text;
  QMessageBox::Icon icon;
  int buttons;
  int model_pointer;        // the window model's pointer while the box is up
  bool wait_cursor_on_box;  // whether the wait cursor hid the box's own pointer
};

// Closes every box the window shows while it is alive, recording what each one said.
class BoxCloser {
 public:
  explicit BoxCloser(const Form1Window& window) {
    QObject::connect(&timer_, &QTimer::timeout, [this, &window] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box == nullptr || !box->isVisible()) continue;
        shown.push_back({box->windowTitle(), box->text(), box->icon(),
                         static_cast<int>(box->buttons().size()), window.Model().MousePointer(),
                         QGuiApplication::overrideCursor() != nullptr});
        box->button(QMessageBox::Ok)->click();
      }
    });
    timer_.start(10);
  }
  std::vector<Shown> shown;

 private:
  QTimer timer_;
};

std::string ReadFile(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

constexpr int kTwips = 15;
}  // namespace

class Form1WindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<Form1Window> window_;

  template <typename T>
  T* Find(const QString& name) {
    T* widget = window_->findChild<T*>(name);
    if (widget == nullptr) qFatal("no %s", qPrintable(name));
    return widget;
  }
  QLineEdit* Box(int b) { return Find<QLineEdit>(QString("Text%1").arg(b)); }
  void Click(QAbstractButton* control) {
    QTest::mouseClick(control, Qt::LeftButton, {}, control->rect().center());
  }
  // The colour a box paints at its right end, where no text is.
  QColor Painted(int b) {
    const QImage image = Box(b)->grab().toImage();
    return image.pixelColor(image.width() - 6, image.height() / 2);
  }
  void ExpectLocked(int b, bool locked) {
    const QColor colour = locked ? window_->palette().color(QPalette::Button) : QColor(Qt::white);
    QCOMPARE(Box(b)->isEnabled(), !locked);
    QCOMPARE(Box(b)->palette().color(QPalette::Base), colour);
    QCOMPARE(Painted(b), colour);
  }
  void Type(int b, const QString& text) {
    Box(b)->selectAll();
    QTest::keyClick(Box(b), Qt::Key_Backspace);
    QTest::keyClicks(Box(b), text);
  }
  void TypeAnalysis() {
    const char* texts[] = {"",        "0.01",  "0.04",   "0.004",  "0.0005", "0.00001", "0.000005",
                           "0.00002", "0.002", "0.0004", "0.0002", "0.04",   "0.00005", "8.5",
                           "55.51",   "0.02",  "0.002",  "25",     "100"};
    for (int b = 1; b <= 18; ++b) Type(b, texts[b]);
  }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    window_ = std::make_unique<Form1Window>(dir_->path().toStdString());
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }
  void cleanup() {
    window_.reset();
    dir_.reset();
  }

  void layoutCaptionsAndTabOrder() {
    QCOMPARE(window_->windowTitle(), QString("Form1"));
    QCOMPARE(window_->objectName(), QString("Form1"));
    QCOMPARE(window_->size(), QSize(8520 / kTwips, 6015 / kTwips));
    QCOMPARE(window_->minimumSize(), window_->maximumSize());

    const struct {
      const char* caption;
      QRect twips;
    } frames[] = {{"熱水相", {120, 120, 3975, 5655}},      {"蒸気相", {4320, 120, 3975, 1095}},
                  {"温度", {4320, 1440, 3975, 1095}},      {"", {4320, 2760, 3975, 975}},
                  {"水蒸気補正", {4320, 3960, 3975, 615}}, {"計算開始", {4320, 4800, 3975, 975}}};
    for (int f = 1; f <= 6; ++f) {
      auto* frame = Find<QGroupBox>(QString("Frame%1").arg(f));
      QCOMPARE(frame->parentWidget(), window_.get());
      QCOMPARE(frame->title(), QString::fromUtf8(frames[f - 1].caption));
      const QRect t = frames[f - 1].twips;
      QCOMPARE(frame->geometry(),
               QRect(t.x() / kTwips, t.y() / kTwips, t.width() / kTwips, t.height() / kTwips));
    }

    const char* labels[] = {"",
                            "SiO2",
                            "Na",
                            "K",
                            "Ca",
                            "Mg",
                            "Fe",
                            "Al",
                            "CO3(2-)",
                            "SO4(2-)",
                            "HS(-)",
                            "Cl",
                            "NH3",
                            "pH",
                            "H2O",
                            "CO2",
                            "H2S",
                            "計算温度",
                            "℃",
                            "蒸気分離温度",
                            "℃",
                            "pH測定温度",
                            "pH測定温度以外",
                            "施さない",
                            "REEDの熱力学的データによる計算",
                            "SUPCRT98の熱力学的データによる計算"};
    for (int l = 1; l <= 25; ++l) {
      auto* label = Find<QLabel>(QString("Label%1").arg(l));
      QCOMPARE(label->text(), QString::fromUtf8(labels[l]));
      // Every caption must be shown whole.
      QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->objectName()));
    }

    // The boxes: 360 twips apart in Frame1, 1440 twips from its left; 270 twips high.
    for (int b = 1; b <= 18; ++b) {
      QLineEdit* box = Box(b);
      const int frame = b <= 14 ? 1 : b <= 16 ? 2 : 3;
      const int top = b <= 14 ? 360 * b : b % 2 == 1 ? 240 : 600;
      const int left = b <= 16 ? 1440 : 1800;
      const int width = b <= 14 ? 1935 : b <= 16 ? 1815 : 1335;
      QCOMPARE(box->parentWidget()->objectName(), QString("Frame%1").arg(frame));
      QCOMPARE(box->geometry(), QRect(left / kTwips, top / kTwips, width / kTwips, 270 / kTwips));
    }
    const int analysis_label = Find<QLabel>("Label1")->x();
    QCOMPARE(analysis_label, 480 / kTwips);
    QCOMPARE(Find<QLabel>("Label17")->x(), 120 / kTwips);
    QVERIFY(Find<QLabel>("Label18")->x() > Box(17)->geometry().right());
    QVERIFY(Find<QLabel>("Label20")->x() > Box(18)->geometry().right());

    // The choice controls: 255 twips square, their own name as a hidden caption (none for the
    // command buttons), the label to their right on the same row.
    const struct {
      const char* name;
      int frame, top, label;
    } choices[] = {{"Option1", 4, 240, 21},
                   {"Option2", 4, 600, 22},
                   {"Check1", 5, 240, 23},
                   {"Command1", 6, 240, 24},
                   {"Command2", 6, 600, 25}};
    for (const auto& c : choices) {
      auto* control = Find<QAbstractButton>(c.name);
      auto* label = Find<QLabel>(QString("Label%1").arg(c.label));
      QCOMPARE(control->parentWidget()->objectName(), QString("Frame%1").arg(c.frame));
      QCOMPARE(label->parentWidget(), control->parentWidget());
      QCOMPARE(control->size(), QSize(255 / kTwips, 255 / kTwips));
      QCOMPARE(control->y(), c.top / kTwips);
      QCOMPARE(label->y(), control->y());
      QVERIFY(label->x() > control->geometry().right());
      QCOMPARE(control->text(),
               QString(c.name).startsWith("Command") ? QString() : QString(c.name));
    }

    QStringList order;
    QWidget* w = Box(1);
    do {
      if ((w->focusPolicy() & Qt::TabFocus) != 0 && w->isVisibleTo(window_.get()))
        order << w->objectName();
      w = w->nextInFocusChain();
    } while (w != Box(1));
    QStringList expected;
    for (int b = 1; b <= 18; ++b) expected << QString("Text%1").arg(b);
    expected << "Option1"
             << "Option2"
             << "Check1"
             << "Command1"
             << "Command2";
    QCOMPARE(order, expected);
  }

  void initialStateAndNoMode() {
    QVERIFY(!Find<QRadioButton>("Option1")->isChecked());
    QVERIFY(!Find<QRadioButton>("Option2")->isChecked());
    QVERIFY(!Find<QCheckBox>("Check1")->isChecked());
    for (int b = 1; b <= 18; ++b) {
      QVERIFY(Box(b)->text().isEmpty());
      ExpectLocked(b, false);
    }
    // With no mode chosen the check box is the user's to set and clear.
    Click(Find<QCheckBox>("Check1"));
    QVERIFY(Find<QCheckBox>("Check1")->isChecked());
    QCOMPARE(window_->Model().Check1Value(), 1);
    Click(Find<QCheckBox>("Check1"));
    QVERIFY(!Find<QCheckBox>("Check1")->isChecked());
    QCOMPARE(window_->Model().Check1Value(), 0);
  }

  void rulesOfTheOptionsAndTheCheckBox() {
    auto* option1 = Find<QRadioButton>("Option1");
    auto* option2 = Find<QRadioButton>("Option2");
    auto* check1 = Find<QCheckBox>("Check1");
    Type(1, "0.01");
    Type(17, "25");
    QCOMPARE(window_->Model().Text(1).text, std::string("0.01"));

    // R1, and R3 refusing to clear the check box.
    Click(option1);
    QVERIFY(option1->isChecked() && !option2->isChecked() && check1->isChecked());
    Click(check1);
    QVERIFY(check1->isChecked());
    QCOMPARE(window_->Model().Check1Value(), 1);
    // A click on the selected option button leaves it selected.
    Click(option1);
    QVERIFY(option1->isChecked());

    // R2: the analysis is locked but kept; the temperatures stay open; Check1 is not touched.
    Click(option2);
    QVERIFY(!option1->isChecked() && option2->isChecked() && check1->isChecked());
    for (int b = 1; b <= 16; ++b) ExpectLocked(b, true);
    ExpectLocked(17, false);
    ExpectLocked(18, false);
    QCOMPARE(Box(1)->text(), QString("0.01"));
    QCOMPARE(Box(17)->text(), QString("25"));
    Click(option2);
    QVERIFY(option2->isChecked());
    ExpectLocked(1, true);
    // In the other mode the steam correction is the user's choice.
    Click(check1);
    QVERIFY(!check1->isChecked());
    QCOMPARE(window_->Model().Check1Value(), 0);

    // Back to R1: everything unlocks and the check box is set again.
    Click(option1);
    QVERIFY(option1->isChecked() && !option2->isChecked() && check1->isChecked());
    for (int b = 1; b <= 18; ++b) ExpectLocked(b, false);
  }

  void sampleFillsTheBoxes() {
    window_->FillFrom(geofluid::sample::LoadSample(GEOFLUID_EXAMPLE));
    QCOMPARE(Box(1)->text(), QString("0.01"));
    QCOMPARE(Box(13)->text(), QString("8.5"));
    QCOMPARE(Box(18)->text(), QString("100"));
    QVERIFY(!Find<QRadioButton>("Option1")->isChecked());
    ExpectLocked(1, false);
  }

  void runsOfBothModesThroughTheHandOverFile() {
    TypeAnalysis();
    Click(Find<QRadioButton>("Option1"));
    {
      BoxCloser closer(*window_);
      Click(Find<QPushButton>("Command1"));
      QCOMPARE(closer.shown.size(), std::size_t{1});
      const Shown& box = closer.shown[0];
      const QString report = dir_->filePath("HVQ98OUT.txt");
      QCOMPARE(box.title, QString("Geofluid"));
      QVERIFY2(box.text.startsWith("結果を\n") && box.text.endsWith("\nに出力しました。"),
               qPrintable(box.text));
      QVERIFY(box.text.contains(report));
      QCOMPARE(box.buttons, 1);
      QCOMPARE(box.model_pointer, 11);
      QVERIFY(!box.wait_cursor_on_box);
      QVERIFY(ReadFile(report).find("SOLVEQ") != std::string::npos);
      QVERIFY(!ReadFile(dir_->filePath("TOTH25.txt")).empty());
    }
    QCOMPARE(window_->Model().MousePointer(), 0);
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);

    // The locked analysis is still read by a run in the other mode.
    Click(Find<QRadioButton>("Option2"));
    Type(17, "150");
    {
      BoxCloser closer(*window_);
      Click(Find<QPushButton>("Command2"));
      QCOMPARE(closer.shown.size(), std::size_t{1});
      QVERIFY(closer.shown[0].text.startsWith("結果を"));
      const std::string report = ReadFile(dir_->filePath("HVQ98OUT.txt"));
      QVERIFY(report.find("SUPCRT98") != std::string::npos);
      QVERIFY(report.find("150") != std::string::npos);
    }
    QVERIFY(window_->Model().LastRun().completed);
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
  }

  void runWithAnEmptyBoxShowsTheError() {
    TypeAnalysis();
    Type(5, "");
    QCOMPARE(window_->Model().Text(5).text, std::string());
    Click(Find<QRadioButton>("Option1"));
    BoxCloser closer(*window_);
    Click(Find<QPushButton>("Command1"));
    QCOMPARE(closer.shown.size(), std::size_t{1});
    QCOMPARE(closer.shown[0].title, QString("Geofluid"));
    QCOMPARE(closer.shown[0].icon, QMessageBox::Critical);
    QCOMPARE(closer.shown[0].buttons, 1);
    QVERIFY(!closer.shown[0].text.startsWith("結果を"));
    QVERIFY(!window_->Model().LastRun().completed);
    QCOMPARE(window_->Model().MousePointer(), 0);
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
  }
};

QTEST_MAIN(Form1WindowTest)
#include "form1_window_test.moc"
