// geofluid: the desktop window of Geofluid.
#include <QApplication>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFile>
#include <QGuiApplication>
#include <QLocale>
#include <QMessageBox>
#include <QPixmap>
#include <QRadioButton>
#include <chrono>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>

#include "batch_window.h"
#include "form1_window.h"
#include "language.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "sample_file.h"
#include "window_platform.h"

namespace {
constexpr int kUsageError = 2;

// Without a screen nobody could close a box, so a failure at start is told on stderr only.
bool CanShowBoxes() {
  const QString name = QGuiApplication::platformName();
  return name != "offscreen" && name != "minimal";
}

int Fail(const QString& message, bool boxes) {
  std::cerr << geofluid::gui::kApplicationName << ": " << message.toStdString() << '\n';
  if (boxes) QMessageBox::critical(nullptr, geofluid::gui::kApplicationName, message);
  return kUsageError;
}

std::filesystem::path LocalPath(const QString& path) {
  return std::filesystem::path(QFile::encodeName(path).toStdString());
}
}  // namespace

int main(int argc, char** argv) {
  geofluid::platform::IgnoreFileSizeSignal();
  QApplication app(argc, argv);
  QApplication::setApplicationName(geofluid::gui::kApplicationName);
  geofluid::gui::InstallLanguage(app, QLocale::system());

  QCommandLineParser parser;
  parser.setApplicationDescription("Geofluid: chemistry of geothermal fluids");
  const QCommandLineOption help = parser.addHelpOption();
  parser.addPositionalArgument(
      "sample", "Sample file (INI) whose texts fill the boxes at start (with --batch: a CSV table)",
      "[SAMPLE.ini]");
  const QCommandLineOption dir("dir", "Data directory (default $GEOFLUID_DIR or ~/HVQ98)", "DIR");
  parser.addOption(dir);
  const QCommandLineOption batch(
      "batch", "Open the window for many samples instead, with TABLE.csv if given");
  parser.addOption(batch);
  // For the documentation: selects Option1, saves a picture of the window and quits.
  QCommandLineOption screenshot("screenshot", "Save a picture of the window and quit", "OUT.png");
  screenshot.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(screenshot);

  const bool interactive = CanShowBoxes();
  if (!parser.parse(QApplication::arguments()))
    return Fail(parser.errorText() + "\n" + parser.helpText(), false);
  if (parser.isSet(help)) {
    std::cout << parser.helpText().toStdString();
    return 0;
  }
  const QStringList samples = parser.positionalArguments();
  if (samples.size() > 1) return Fail("at most one sample file\n" + parser.helpText(), false);
  if (parser.isSet(batch)) {
    geofluid::gui::BatchWindow window;
    if (!samples.isEmpty()) window.SetInput(samples.front());
    window.show();
    return QApplication::exec();
  }
  const bool boxes = interactive && !parser.isSet(screenshot);

  std::optional<geofluid::sample::SampleFile> sample;
  std::filesystem::path directory;
  std::chrono::milliseconds wait_limit;
  try {
    wait_limit = geofluid::platform::DefaultWaitLimit();
    if (!samples.isEmpty()) sample = geofluid::sample::LoadSample(LocalPath(samples.front()));
    directory = parser.isSet(dir) ? LocalPath(parser.value(dir))
                                  : geofluid::platform::DefaultDataDirectory();
  } catch (const std::exception& e) {
    return Fail(QString::fromStdString(e.what()), boxes);
  }

  geofluid::gui::Form1Window window(directory);
  window.SetWaitLimit(wait_limit);
  if (sample) window.FillFrom(*sample);
  window.show();

  if (parser.isSet(screenshot)) {
    // Through the control, so the picture shows what a user's click gives.
    window.findChild<QRadioButton*>("Option1")->click();
    QApplication::processEvents();
    const QString out = parser.value(screenshot);
    if (!window.grab().save(out, "PNG")) {
      std::cerr << geofluid::gui::kApplicationName << ": cannot write " << out.toStdString()
                << '\n';
      return 1;
    }
    return 0;
  }
  return QApplication::exec();
}
