// geofluid-screenshots: the pictures of the README. Fills Form1 from a sample file, runs it as a
// user would (closing each message box), and saves Form1 and each tab of the results window.
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <iostream>

#include "batch_window.h"
#include "form1_window.h"
#include "language.h"
#include "results_window.h"
#include "sample_file.h"
#include "scaling_tab.h"
#include "temperature_tab.h"

namespace {
using geofluid::gui::Form1Window;

void Click(Form1Window& form, const char* name) {
  form.findChild<QAbstractButton*>(name)->click();
  QApplication::processEvents();
}

void Type(Form1Window& form, int box, const QString& text) {
  auto* edit = form.findChild<QLineEdit*>(QString("Text%1").arg(box));
  edit->setText(text);
  emit edit->textEdited(text);
}

// Lets the charts finish their layout, which takes more than one pass of the event loop.
void Settle() {
  QEventLoop loop;
  QTimer::singleShot(300, &loop, &QEventLoop::quit);
  loop.exec();
}

bool Save(QWidget& widget, const QString& path) {
  Settle();
  if (widget.grab().save(path, "PNG")) {
    std::cout << path.toStdString() << '\n';
    return true;
  }
  std::cerr << "geofluid-screenshots: cannot write " << path.toStdString() << '\n';
  return false;
}

// Each dataset's measured run hands its own TOTH over, which that dataset then carries to
// 200 °C: the hand-over file keeps one TOTH, the last measured run's, whatever its dataset.
void RunBothDatasets(Form1Window& form) {
  const QString measured = form.findChild<QLineEdit*>("Text17")->text();
  for (const char* command : {"Command2", "Command1"}) {
    Click(form, "Option1");
    Type(form, 17, measured);
    Click(form, command);
    Click(form, "Option2");
    Type(form, 17, "200");
    Click(form, command);
  }
}

// Every tab of the results window, the Scaling tab's two charts each; false when a picture
// could not be saved.
bool SaveResultTabs(geofluid::gui::ResultsWindow& results, const QString& out,
                    const QString& suffix) {
  bool ok = true;
  // The Temperature tab with its uncertainty band, as a user would ask for it.
  results.Temperature()->SetBand(true, 100);
  const char* names[] = {"report", "saturation", "molalities", "temperature"};
  for (int t = 0; t < results.Tabs()->count() && t < 4; ++t) {
    results.Tabs()->setCurrentIndex(t);
    if (auto* temperature = results.Temperature(); temperature->Running()) {
      QEventLoop wait;
      QObject::connect(temperature, &geofluid::gui::TemperatureTab::Finished, &wait,
                       &QEventLoop::quit);
      wait.exec();
    }
    ok = Save(results, QDir(out).filePath(QString("results-%1%2.png").arg(names[t], suffix))) && ok;
  }

  // The Scaling tab with its default separators and reinjection temperatures.
  if (auto* scaling = results.Scaling(); scaling != nullptr) {
    QEventLoop wait;
    QObject::connect(scaling, &geofluid::gui::ScalingTab::Finished, &wait, &QEventLoop::quit);
    results.Tabs()->setCurrentWidget(scaling);
    if (scaling->Running()) wait.exec();
    ok = Save(results, QDir(out).filePath(QString("results-scaling%1.png").arg(suffix))) && ok;
    scaling->Charts()->setCurrentIndex(1);
    ok = Save(results, QDir(out).filePath(QString("results-boiling%1.png").arg(suffix))) && ok;
  }
  return ok;
}

// Many samples: the wells at three temperatures with both datasets; false when the run or its
// picture failed.
bool SaveBatch(geofluid::gui::ResultsWindow& results, const QString& table, const QString& out,
               const QString& suffix) {
  geofluid::gui::BatchWindow& batch = geofluid::gui::OpenBatchWindow(results);
  batch.resize(1100, 640);
  batch.SetInput(table);
  batch.findChild<QLineEdit*>("Temperatures")->setText("150,200,250");
  QEventLoop loop;
  QObject::connect(&batch, &geofluid::gui::BatchWindow::Finished, &loop, &QEventLoop::quit);
  if (!batch.Start()) {
    std::cerr << "geofluid-screenshots: " << batch.Status().toStdString() << '\n';
    return false;
  }
  loop.exec();
  return Save(batch, QDir(out).filePath(QString("batch%1.png").arg(suffix)));
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QStringList args = QApplication::arguments();
  if (args.size() != 5) {
    std::cerr << "usage: geofluid-screenshots SAMPLE.ini TABLE.csv OUTDIR ja|en\n";
    return 2;
  }
  const QString table = args[2];
  const QString out = args[3];
  const QString language = args[4];
  geofluid::gui::InstallLanguage(app,
                                 QLocale(language == "ja" ? QLocale::Japanese : QLocale::English));
  QTemporaryDir data;
  // The runs' closing messages, closed as a user would.
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* box = qobject_cast<QMessageBox*>(w); box != nullptr && box->isVisible())
        box->button(QMessageBox::Ok)->click();
  });
  closer.start(20);

  Form1Window form(data.path().toStdString());
  form.FillFrom(geofluid::sample::LoadSample(QFile::encodeName(args[1]).toStdString()));
  form.show();
  RunBothDatasets(form);

  auto* results = form.findChild<geofluid::gui::ResultsWindow*>();
  if (results == nullptr) {
    std::cerr << "geofluid-screenshots: the runs showed no results\n";
    return 1;
  }
  results->resize(1200, 900);
  const QString suffix = language == "ja" ? "-ja" : "";
  bool ok = SaveResultTabs(*results, out, suffix);
  ok = SaveBatch(*results, table, out, suffix) && ok;
  return ok ? 0 : 1;
}
