// The window for many samples, on the offscreen platform, against `geofluid-cli batch`.
#include "batch_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

using geofluid::gui::BatchWindow;

namespace {
constexpr int kRunTimeoutMs = 120000;

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Cells of one CSV line (quotes doubled inside quoted cells, no line breaks in the tables).
QStringList Cells(const QString& line) {
  QStringList cells;
  QString cell;
  bool quoted = false;
  for (int i = 0; i < line.size(); ++i) {
    const QChar c = line[i];
    if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      cell += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      cells << cell;
      cell.clear();
    } else {
      cell += c;
    }
  }
  cells << cell;
  return cells;
}
}  // namespace

class BatchWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<BatchWindow> window_;

  void Set(const char* name, const QString& text) {
    window_->findChild<QLineEdit*>(name)->setText(text);
  }
  QProgressBar* Bar() { return window_->findChild<QProgressBar*>("Progress"); }
  // wells.csv repeated to a table that takes many seconds.
  QString LongTable(int copies) {
    const QList<QByteArray> lines = ReadFile(GEOFLUID_WELLS).split('\n');
    QByteArray table = lines.front() + '\n';
    for (int c = 0; c < copies; ++c)
      for (qsizetype l = 1; l < lines.size(); ++l)
        if (!lines[l].isEmpty()) table += lines[l] + '\n';
    const QString path = dir_->filePath("long.csv");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(table) != table.size()) qFatal("long.csv");
    return path;
  }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    window_ = std::make_unique<BatchWindow>();
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }
  void cleanup() {
    window_.reset();
    dir_.reset();
  }

  void wellsGiveTheTableOfTheCommandLine() {
    const QString cli_out = dir_->filePath("cli.csv");
    QProcess cli;
    cli.start(GEOFLUID_CLI, {"batch", GEOFLUID_WELLS, "--temperatures", "150,250", "--dataset",
                             "both", "--out", cli_out});
    QVERIFY(cli.waitForFinished(kRunTimeoutMs));
    // 1: some rows failed (wells.csv has a decimal comma), the others are written.
    QVERIFY(cli.exitStatus() == QProcess::NormalExit && cli.exitCode() <= 1);
    const QByteArray expected = ReadFile(cli_out);

    window_->SetInput(GEOFLUID_WELLS);
    Set("Temperatures", "150,250");
    QSignalSpy finished(window_.get(), &BatchWindow::Finished);
    window_->findChild<QPushButton*>("Run")->click();
    QVERIFY(window_->Running());
    QVERIFY(!window_->findChild<QPushButton*>("Run")->isEnabled());
    QVERIFY(finished.wait(kRunTimeoutMs));
    QVERIFY(!window_->Running());
    QCOMPARE(Bar()->maximum(), 20);  // the wells
    QCOMPARE(Bar()->value(), Bar()->maximum());
    QVERIFY2(window_->Status().contains("20"), qPrintable(window_->Status()));

    QCOMPARE(QByteArray::fromStdString(window_->Csv()), expected);
    // What the window shows is that table, cell by cell.
    const QStringList lines = QString::fromUtf8(expected).split('\n', Qt::SkipEmptyParts);
    const geofluid::gui::BatchTable& table = window_->Table();
    QCOMPARE(table.rowCount(), lines.size() - 1);
    QVERIFY(table.rowCount() > 20 * 2);
    const QStringList header = Cells(lines[0]);
    QCOMPARE(table.columnCount(), header.size());
    for (int c = 0; c < header.size(); ++c)
      QCOMPARE(table.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), header[c]);
    for (int r = 0; r < table.rowCount(); ++r) {
      const QStringList cells = Cells(lines[r + 1]);
      for (int c = 0; c < header.size(); ++c)
        QCOMPARE(table.data(table.index(r, c), Qt::EditRole).toString(), cells[c]);
    }

    QProcess json_cli;
    const QString cli_json = dir_->filePath("cli.json");
    json_cli.start(GEOFLUID_CLI, {"batch", GEOFLUID_WELLS, "--temperatures", "150,250", "--dataset",
                                  "both", "--format", "json", "--out", cli_json});
    QVERIFY(json_cli.waitForFinished(kRunTimeoutMs));
    QCOMPARE(QByteArray::fromStdString(window_->Json()), ReadFile(cli_json));
    QJsonParseError error;
    const QJsonDocument json =
        QJsonDocument::fromJson(QByteArray::fromStdString(window_->Json()), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(json.array().size(), table.rowCount());
    QCOMPARE(json.array().first().toObject().value("id").toString(),
             table.data(table.index(0, 0), Qt::EditRole).toString());
  }

  void cancelStopsWithinASecondAndKeepsWholeRows() {
    // A job is a sample at all its temperatures and is not interrupted: 11 temperatures keep one
    // well far below a second.
    window_->SetInput(LongTable(200));
    Set("Temperatures", "100:300:20");
    QSignalSpy finished(window_.get(), &BatchWindow::Finished);
    // The window keeps answering while the samples are computed.
    int ticks = 0;
    QTimer tick;
    connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(20);
    QVERIFY(window_->Start());
    QTRY_VERIFY_WITH_TIMEOUT(window_->Table().rowCount() > 0, kRunTimeoutMs);
    // While the samples are computed the window's timers keep firing and rows keep arriving.
    ticks = 0;
    const int rows_before = window_->Table().rowCount();
    QTest::qWait(300);
    QVERIFY2(ticks >= 8, qPrintable(QString::number(ticks)));
    QVERIFY(window_->Running());
    QVERIFY(window_->Table().rowCount() > rows_before);

    QElapsedTimer clock;
    clock.start();
    window_->findChild<QPushButton*>("Cancel")->click();
    QVERIFY(finished.wait(kRunTimeoutMs));
    qInfo("Cancel to the end of the run: %lld ms, %d rows", clock.elapsed(),
          window_->Table().rowCount());
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(Bar()->value() < Bar()->maximum());
    QVERIFY2(window_->Status().contains("中止"), qPrintable(window_->Status()));
    // Only whole samples: the last row is a sample's last, SUPCRT98 at 300 °C (or its error).
    const geofluid::gui::BatchTable& table = window_->Table();
    const int rows = table.rowCount();
    QCOMPARE(table.data(table.index(rows - 1, 1), Qt::EditRole).toString(), QString("supcrt"));
    const QString last = table.data(table.index(rows - 1, 2), Qt::EditRole).toString();
    QVERIFY2(last == "300" || last.isEmpty(), qPrintable(last));
    QCOMPARE(static_cast<int>(QByteArray::fromStdString(window_->Csv()).count('\n')), rows + 1);
    QVERIFY(window_->findChild<QPushButton*>("Run")->isEnabled());
  }

  void closingCancels() {
    window_->SetInput(LongTable(200));
    Set("Temperatures", "100:300:20");
    QVERIFY(window_->Start());
    QTRY_VERIFY_WITH_TIMEOUT(window_->Table().rowCount() > 0, kRunTimeoutMs);
    QVERIFY(window_->Running());
    QElapsedTimer clock;
    clock.start();
    window_->close();
    qInfo("close while running: %lld ms", clock.elapsed());
    QVERIFY(!window_->Running());
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
  }

  void mistakesAreNamedAndNothingRuns() {
    QVERIFY(!window_->Start());  // no table
    QVERIFY(!window_->Status().isEmpty());

    window_->SetInput(GEOFLUID_WELLS);
    Set("Temperatures", "150,abc");
    QVERIFY(!window_->Start());
    QVERIFY2(window_->Status().contains("abc"), qPrintable(window_->Status()));
    QVERIFY(!window_->Running());

    // A table that is not there, and one whose header is wrong: told once the worker looks.
    Set("Temperatures", "");
    for (const QByteArray& content : {QByteArray(), QByteArray("id,colour\nA,blue\n")}) {
      const QString path = dir_->filePath(content.isEmpty() ? "missing.csv" : "bad.csv");
      if (!content.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
      }
      window_->SetInput(path);
      QSignalSpy finished(window_.get(), &BatchWindow::Finished);
      QVERIFY(window_->Start());
      QVERIFY(finished.wait(kRunTimeoutMs));
      QVERIFY2(window_->Status().contains(content.isEmpty() ? "missing.csv" : "colour"),
               qPrintable(window_->Status()));
      QCOMPARE(window_->Table().rowCount(), 0);
      QVERIFY(!window_->findChild<QPushButton*>("SaveCsv")->isEnabled());
    }
  }
};

QTEST_MAIN(BatchWindowTest)
#include "batch_window_test.moc"
