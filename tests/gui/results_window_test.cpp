// The results window after runs of Form1, on the offscreen platform.
#include "results_window.h"

#include <QApplication>
#include <QBarCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>

#include "export.h"
#include "form1_window.h"
#include "language.h"
#include "report/report.h"
#include "sample_file.h"
#include "saturation_chart.h"
#include "scaling_tab.h"
#include "temperature_tab.h"

using geofluid::gui::Form1Window;
using geofluid::gui::ResultsWindow;
using geofluid::gui::SaturationPanel;

namespace {
// Clicks OK on every message box the runs show.
class BoxCloser {
 public:
  BoxCloser() {
    QObject::connect(&timer_, &QTimer::timeout, [] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box != nullptr && box->isVisible())
          box->button(QMessageBox::Ok)->click();
    });
    timer_.start(10);
  }

 private:
  QTimer timer_;
};

QString ReadFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

// The lines of the report between a line starting with `from` and the next starting with `to`.
QStringList Section(const QString& report, const QString& from, const QString& to) {
  QStringList lines;
  bool in = false;
  for (const QString& line : report.split("\r\n")) {
    if (in && line.startsWith(to)) break;
    if (in) lines << line;
    if (line.startsWith(from)) in = true;
  }
  return lines;
}

// The text after `key` on the line that starts with it.
QString Value(const QString& report, const QString& key) {
  for (const QString& line : report.split("\r\n"))
    if (line.startsWith(key)) return line.mid(key.size()).trimmed();
  return {};
}

double Number(const QStandardItemModel& model, int row, int column) {
  return model.item(row, column)->data(Qt::UserRole).toDouble();
}
}  // namespace

class ResultsWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<Form1Window> form_;

  void Click(const char* name) {
    auto* control = form_->findChild<QAbstractButton*>(name);
    QTest::mouseClick(control, Qt::LeftButton, {}, control->rect().center());
  }
  void Type(int box, const QString& text) {
    auto* edit = form_->findChild<QLineEdit*>(QString("Text%1").arg(box));
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
  }
  void RunCommand(const char* command) {
    BoxCloser closer;
    Click(command);
  }
  // A measured run, then the other mode at 200 °C with another Na: a run with no measured
  // sample of its own.
  void RunAnotherAnalysisThanTheMeasured() {
    Click("Option1");
    RunCommand("Command1");
    Type(2, "0.05");
    Click("Option2");
    Type(17, "200");
    RunCommand("Command1");
  }
  ResultsWindow* Results() {
    const auto windows = form_->findChildren<ResultsWindow*>();
    return windows.size() == 1 ? windows.front() : nullptr;
  }
  QList<SaturationPanel*> Panels() { return Results()->findChildren<SaturationPanel*>(); }
  // Clicks the button `name` of `owner` and answers the file dialog it opens with `path`.
  static void SaveThrough(QWidget* owner, const char* name, const QString& path) {
    bool answered = false;
    QTimer::singleShot(0, [path, &answered] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      dialog->selectFile(path);
      static_cast<QDialog*>(dialog)->accept();  // QFileDialog keeps its override protected
      answered = true;
    });
    owner->findChild<QPushButton*>(name)->click();
    QVERIFY2(answered, name);
  }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    form_ = std::make_unique<Form1Window>(dir_->path().toStdString());
    form_->FillFrom(geofluid::sample::LoadSample(GEOFLUID_EXAMPLE));
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
  }
  void cleanup() {
    form_.reset();
    dir_.reset();
  }

  void aRunShowsTheNumbersOfItsReport() {
    QVERIFY(Results() == nullptr);
    Click("Option1");
    RunCommand("Command1");
    ResultsWindow* results = Results();
    QVERIFY(results != nullptr);
    QVERIFY(results->isVisible());
    // Beside Form1, not over it.
    QVERIFY(results->x() >= form_->frameGeometry().right());
    const QString report = ReadFile(dir_->filePath("HVQ98OUT.txt"));
    QVERIFY(report.contains("SOLVEQ"));

    auto* text = results->findChild<QPlainTextEdit*>("ReportText");
    QCOMPARE(text->toPlainText(), QString(report).remove('\r'));
    QVERIFY(text->font().fixedPitch() || QFontInfo(text->font()).fixedPitch());

    // Species: every line of the report's table from the window's numbers. The report's
    // Log(Activity) is ln(a)/2.303.
    const QStandardItemModel& species = results->SpeciesModel();
    const QStringList rows = Section(report, "NO.", "Fraction of steam");
    QCOMPARE(species.rowCount(), rows.size());
    int switched_off = 0;
    for (int r = 0; r < species.rowCount(); ++r) {
      const std::string tail =
          geofluid::report::FormatScientific(Number(species, r, 2)) +
          geofluid::report::FormatFixed(Number(species, r, 3)) +
          geofluid::report::FormatFixed(std::log(Number(species, r, 4)) / 2.303);
      QVERIFY2(rows[r].startsWith(QString(" %1 ").arg(r + 1)) &&
                   rows[r].endsWith(QString::fromStdString(tail)),
               qPrintable(rows[r] + " <> " + QString::fromStdString(tail)));
      QCOMPARE(Number(species, r, 5), std::log10(Number(species, r, 4)));
      if (species.item(r, 0)->foreground().color() != species.item(0, 0)->foreground().color())
        ++switched_off;
    }
    QVERIFY(switched_off > 0);  // the example has species without data at 25 °C

    // Saturation: one chart, the summary's numbers as the report prints them, every SI.
    QCOMPARE(Panels().size(), 1);
    const SaturationPanel& panel = *Panels().front();
    const QString summary = panel.Summary()->text();
    QVERIFY2(summary.contains(Value(report, "Ionic strength=")), qPrintable(summary));
    QVERIFY2(summary.contains(Value(report, "TOTH(pH-function) =")), qPrintable(summary));
    QVERIFY(summary.contains("pH 8.500"));
    const QStringList si = Section(report, "Saturation Index", "-----");
    const QStandardItemModel& minerals = panel.Minerals();
    QCOMPARE(minerals.rowCount(), si.size());
    double previous = INFINITY;
    for (int r = 0; r < minerals.rowCount(); ++r) {
      const QString name = minerals.item(r, 0)->text();
      const QString printed = QString::fromStdString(geofluid::report::AsNumberItem(
          geofluid::report::FormatFixed(Number(minerals, r, 3)), "SI"));
      const auto line = std::find_if(
          si.begin(), si.end(), [&](const QString& l) { return l.contains(" " + name + " "); });
      QVERIFY2(line != si.end(), qPrintable(name));
      QVERIFY2(line->endsWith(printed), qPrintable(*line + " <> " + printed));
      QVERIFY(Number(minerals, r, 3) <= previous);  // highest first
      previous = Number(minerals, r, 3);
    }
  }

  void bothDatasetsOfOneInputSideBySide() {
    Click("Option1");
    RunCommand("Command1");
    Click("Option2");
    Type(17, "150");
    RunCommand("Command1");
    QCOMPARE(Panels().size(), 1);  // the measured run had another temperature
    RunCommand("Command2");
    QCOMPARE(Panels().size(), 2);
    QVERIFY(Results()->findChild<SaturationPanel*>("Saturation_solveq") != nullptr);
    QVERIFY(Results()->findChild<SaturationPanel*>("Saturation_supcrt") != nullptr);
    // The same mineral on the same line, whatever each dataset calls it; a mineral one dataset
    // lacks is an empty line there.
    const auto lines = [&](const char* name) {
      for (QAbstractAxis* axis :
           Results()->findChild<SaturationPanel*>(name)->View()->chart()->axes(Qt::Vertical))
        if (auto* categories = qobject_cast<QBarCategoryAxis*>(axis))
          return categories->categories();
      return QStringList();
    };
    const QStringList solveq = lines("Saturation_solveq"), supcrt = lines("Saturation_supcrt");
    QCOMPARE(solveq.size(), supcrt.size());
    for (const auto& [a, b] : {std::pair{"LOW-ALBITE", "ALBITE_LOW"},
                               {"PRHENITE", "PREHNITE"},
                               {"QUARTZ", "QUARTZ"},
                               {"CLINOCHLORE 7A", "CLINOCHLORE_7A"}}) {
      QVERIFY2(solveq.indexOf(a) >= 0, a);
      QCOMPARE(solveq.indexOf(a), supcrt.indexOf(b));
    }
    QVERIFY(solveq.indexOf("(clinochlore_14a —)") >= 0);
    QCOMPARE(solveq.indexOf("(clinochlore_14a —)"), supcrt.indexOf("CLINOCHLORE_14A"));
    auto* picker = Results()->findChild<QComboBox*>("DatasetPicker");
    QCOMPARE(picker->count(), 2);
    QCOMPARE(picker->currentText(), QString("SUPCRT98"));
    QVERIFY(
        Results()->findChild<QPlainTextEdit*>("ReportText")->toPlainText().contains("SUPCRT98"));
    picker->setCurrentIndex(picker->findText("SOLVEQ"));
    QVERIFY(Results()->findChild<QPlainTextEdit*>("ReportText")->toPlainText().contains("SOLVEQ"));
    QCOMPARE(Results()->Shown()->dataset->key, std::string_view("solveq"));

    // Another input: the other dataset's result is not shown beside it any more.
    Type(17, "200");
    RunCommand("Command2");
    QCOMPARE(Panels().size(), 1);
    QCOMPARE(picker->count(), 1);
    QVERIFY(!picker->isEnabled());

    // A run that fails leaves the last answer on screen, untouched.
    Type(18, "");
    RunCommand("Command1");
    QVERIFY(!form_->Model().LastRun().result);
    QCOMPARE(Results()->Shown()->temperature_text, std::string("200"));
  }

  void exportsKeepFullNumbers() {
    Click("Option1");
    RunCommand("Command1");
    SaturationPanel& panel = *Panels().front();
    const QString png = dir_->filePath("si.png"), svg = dir_->filePath("si.svg"),
                  csv = dir_->filePath("si.csv");
    QCOMPARE(geofluid::gui::SaveViewPng(*panel.View(), png), QString());
    // Drawn although its tab was never opened: the bars in both colours are in the picture.
    const QImage image(png);
    QVERIFY(image.width() > 400 && image.height() > 1000);
    int over = 0, under = 0;
    for (int y = 0; y < image.height(); y += 2)
      for (int x = 0; x < image.width(); x += 2) {
        const QColor c = image.pixelColor(x, y);
        over += c == QColor(192, 57, 43);
        under += c == QColor(46, 110, 170);
      }
    QVERIFY(over > 100 && under > 100);
    QCOMPARE(geofluid::gui::SaveViewSvg(*panel.View(), svg, "si"), QString());
    const QString drawing = ReadFile(svg);
    QVERIFY(drawing.contains("<svg") && drawing.contains("QUARTZ"));

    QCOMPARE(geofluid::gui::SaveModelCsv(panel.Minerals(), csv), QString());
    const QStringList lines = ReadFile(csv).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), panel.Minerals().rowCount() + 1);
    const QStringList first = lines[1].split(',');
    QCOMPARE(first[0], panel.Minerals().item(0, 0)->text());
    QCOMPARE(first[3].toDouble(), Number(panel.Minerals(), 0, 3));  // not the 3 decimals shown

    // A file that cannot be written is named; nothing is left behind.
    const QString bad = dir_->filePath("no-such-dir/si.csv");
    const QString error = geofluid::gui::SaveModelCsv(panel.Minerals(), bad);
    QVERIFY2(error.contains(bad), qPrintable(error));
    QVERIFY(!QFile::exists(bad));
  }

  void temperatureTabAgreesWithTheCommandLine() {
    // A measured run, then the other mode with another analysis: no measured pH for it, so no
    // picture.
    RunAnotherAnalysisThanTheMeasured();
    QVERIFY(form_->Model().LastRun().result);
    geofluid::gui::TemperatureTab* tab = Results()->Temperature();
    QVERIFY(tab->findChild<QLabel*>("TemperatureStatus")->text().contains("pH"));
    QVERIFY(!tab->findChild<QPushButton*>("Calculate")->isEnabled());
    Results()->Tabs()->setCurrentWidget(tab);
    QVERIFY(tab->Chart() == nullptr && !tab->Running());

    // The measured run of the example gives the sample; the tab on screen computes at once.
    QSignalSpy finished(tab, &geofluid::gui::TemperatureTab::Finished);
    Click("Option1");
    Type(2, "0.04");
    Type(17, "25");
    RunCommand("Command1");
    QVERIFY(finished.wait(60000));
    QVERIFY(tab->Chart() != nullptr);
    const QString picture = dir_->filePath("temperature.svg");
    SaveThrough(tab, "temperature_svg", picture);
    QVERIFY(ReadFile(picture).contains("<svg"));

    QProcess cli;
    cli.start(GEOFLUID_CLI, {"geothermometry", GEOFLUID_EXAMPLE, "--format", "json"});
    QVERIFY(cli.waitForFinished(60000));
    const QJsonObject expected = QJsonDocument::fromJson(cli.readAllStandardOutput()).object();
    // The boxes are read with the window's own number conversion, the sample file's exactly, so
    // the last bits of the analysis may differ: the estimates agree to the 0.1 °C they are refined
    // to, the solute temperatures to far more.
    const QStandardItemModel& table = tab->Estimates();
    int compared = 0;
    for (int r = 0; r < table.rowCount(); ++r) {
      const QString dataset = table.item(r, 1)->text();
      const QString key = dataset == "SOLVEQ" ? "solveq" : dataset == "SUPCRT98" ? "supcrt" : "";
      if (!key.isEmpty() && table.item(r, 0)->text().contains("RMS")) {
        const double rms = expected["datasets"][key]["estimate"]["rms"].toDouble();
        QVERIFY2(std::abs(table.item(r, 2)->data(Qt::UserRole).toDouble() - rms) < 0.05,
                 qPrintable(key));
        ++compared;
      }
      const QJsonValue solute = expected["solute"][table.item(r, 0)->text()];
      if (solute.isDouble()) {
        QVERIFY(std::abs(table.item(r, 2)->data(Qt::UserRole).toDouble() - solute.toDouble()) <
                1e-9 * solute.toDouble());
        ++compared;
      }
    }
    // Every solute value the command line gives (those without Li have none) is in the table.
    int solute_values = 0;
    for (const QJsonValue v : expected["solute"].toObject()) solute_values += v.isDouble();
    QCOMPARE(compared, 2 + solute_values);

    // The picker decides the set; with nothing chosen nothing is computed.
    for (const QString& name : tab->CheckedMinerals()) tab->SetChecked(name, false);
    tab->Calculate();
    QVERIFY(!tab->Running());
    QVERIFY(tab->findChild<QLabel*>("TemperatureStatus")->text().contains("鉱物"));
    tab->SetChecked("QUARTZ", true);
    tab->Calculate();
    QVERIFY(finished.wait(60000));
    QCOMPARE(tab->CheckedMinerals(), QStringList{"quartz"});
    QVERIFY(tab->findChild<QLabel*>("TemperatureStatus")->text().contains("SUPCRT98: RMS"));
    QVERIFY(tab->BandedMinerals().empty());

    // Each mineral is listed once, whichever dataset spells it how, with the datasets that have
    // it.
    auto* list = tab->findChild<QListWidget*>("MineralPicker");
    int albites = 0;
    for (int i = 0; i < list->count(); ++i) {
      const QString text = list->item(i)->text();
      QVERIFY2(!text.startsWith("LOW-ALBITE") && !text.startsWith("ALBITE_LOW"), qPrintable(text));
      if (list->item(i)->data(Qt::UserRole).toString() == "albite_low") {
        ++albites;
        QVERIFY2(text.contains("SOLVEQ") && text.contains("SUPCRT98"), qPrintable(text));
      }
      if (list->item(i)->data(Qt::UserRole).toString() == "clinochlore_14a")
        QVERIFY2(!text.contains("SOLVEQ"), qPrintable(text));
    }
    QCOMPARE(albites, 1);

    // A picker fixes Al by a mineral: each dataset reports the total it found.
    tab->SetFix("Al", "MICROCLINE");
    QCOMPARE(tab->findChild<QComboBox*>("Fix_Al")->currentText(), QString("microcline"));
    tab->Calculate();
    QVERIFY(finished.wait(120000));
    int fixed_rows = 0;
    for (int r = 0; r < tab->Estimates().rowCount(); ++r)
      if (tab->Estimates().item(r, 0)->text().contains("MICROCLINE")) {
        ++fixed_rows;
        QVERIFY(tab->Estimates().item(r, 3)->text().contains("E"));
      }
    QCOMPARE(fixed_rows, 2);
    tab->SetFix("Al", "");

    // On request, the uncertainty band of every curve drawn.
    tab->SetBand(true, 40);
    tab->Calculate();
    QVERIFY(finished.wait(120000));
    QCOMPARE(tab->BandedMinerals(), (std::vector<std::string>{"SOLVEQ:QUARTZ", "SUPCRT98:QUARTZ"}));
    QVERIFY2(tab->findChild<QLabel*>("TemperatureStatus")->text().contains("40"),
             qPrintable(tab->findChild<QLabel*>("TemperatureStatus")->text()));
  }

  void scalingTabAgreesWithTheCommandLine() {
    // Another analysis than the measured run's has no sample to follow.
    RunAnotherAnalysisThanTheMeasured();
    QVERIFY(form_->Model().LastRun().result);
    geofluid::gui::ScalingTab* tab = Results()->Scaling();
    QVERIFY(!tab->findChild<QPushButton*>("CalculateScaling")->isEnabled());

    // The measured run of the example gives the sample; the tab on screen computes with its
    // defaults.
    QSignalSpy finished(tab, &geofluid::gui::ScalingTab::Finished);
    Click("Option1");
    Type(2, "0.04");
    Type(17, "25");
    RunCommand("Command1");
    Results()->Tabs()->setCurrentWidget(tab);
    QVERIFY(finished.wait(60000));
    QVERIFY(tab->DesignChart() != nullptr && tab->BoilingChart() != nullptr);
    // The design chart to the file chosen, the boiling path beside it.
    SaveThrough(tab, "scaling_png", dir_->filePath("design.png"));
    QVERIFY(!QImage(dir_->filePath("design.png")).isNull());
    QVERIFY(!QImage(dir_->filePath("design-boiling.png")).isNull());
    QVERIFY2(tab->Status().contains("SOLVEQ") && tab->Status().contains("quartz_fournier1977"),
             qPrintable(tab->Status()));

    // The same answer in words as the command line's for the sample file.
    QProcess cli;
    cli.start(GEOFLUID_CLI,
              {"scaling", GEOFLUID_EXAMPLE, "--reservoir", "quartz_fournier1977", "--separation",
               "200,180,160,140,120,100", "--cooling", "90,70,50,30"});
    QVERIFY(cli.waitForFinished(60000));
    const QString expected = QString::fromUtf8(cli.readAllStandardOutput());
    const QStringList answers = tab->Answer().split("\n");
    QCOMPARE(answers.size(), 2);
    for (const QString& line : answers) {
      QVERIFY2(line.contains("amorphous silica"), qPrintable(line));
      QVERIFY2(expected.contains(line), qPrintable(line + "\n---\n" + expected));
    }

    // A mistake in a list names it and computes nothing; the picture stays.
    tab->findChild<QLineEdit*>("Separation")->setText("200,abc");
    tab->Calculate();
    QVERIFY(!tab->Running());
    QVERIFY2(tab->Status().contains("separation"), qPrintable(tab->Status()));
    tab->findChild<QLineEdit*>("Separation")->setText("");
    tab->Calculate();
    QVERIFY(!tab->Running());
    QVERIFY2(tab->Status().contains("separation"), qPrintable(tab->Status()));

    // Separators in sequence must fall; a key that is no geothermometer is refused by name.
    tab->findChild<QLineEdit*>("Separation")->setText("120,180");
    tab->findChild<QCheckBox*>("Stages")->setChecked(true);
    tab->Calculate();
    QVERIFY(!tab->Running());
    QVERIFY2(tab->Status().contains("stages"), qPrintable(tab->Status()));
    tab->findChild<QCheckBox*>("Stages")->setChecked(false);
    tab->findChild<QComboBox*>("Reservoir")->setCurrentText("quartz_nonsense");
    tab->Calculate();
    QVERIFY(!tab->Running());
    QVERIFY2(tab->Status().contains("quartz_nonsense"), qPrintable(tab->Status()));
    QVERIFY(tab->DesignChart() != nullptr);
  }

  void englishCaptionsLeaveForm1AsItIs() {
    QVERIFY(geofluid::gui::InstallLanguage(*QApplication::instance(), QLocale(QLocale::English)));
    Click("Option1");
    RunCommand("Command1");
    QTabWidget* tabs = Results()->Tabs();
    QCOMPARE(tabs->tabText(0), QString("Report"));
    QCOMPARE(tabs->tabText(1), QString("Saturation"));
    QCOMPARE(tabs->tabText(2), QString("Species"));
    QCOMPARE(tabs->tabText(3), QString("Temperature"));
    QCOMPARE(tabs->tabText(4), QString("Scaling"));
    QCOMPARE(form_->findChild<QGroupBox*>("Frame1")->title(), QString::fromUtf8("熱水相"));
    QCOMPARE(form_->findChild<QLabel*>("Label24")->text(),
             QString::fromUtf8("REEDの熱力学的データによる計算"));
    QVERIFY(!geofluid::gui::InstallLanguage(*QApplication::instance(), QLocale(QLocale::Japanese)));
  }
};

QTEST_MAIN(ResultsWindowTest)
#include "results_window_test.moc"
