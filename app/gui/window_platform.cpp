#include "window_platform.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMessageBox>
#include <QString>
#include <QWidget>
#include <iostream>

namespace geofluid::gui {

namespace {
QMessageBox::Icon IconOf(platform::MessageKind kind) {
  switch (kind) {
    case platform::MessageKind::kClosing:
      return QMessageBox::Information;
    case platform::MessageKind::kNonConvergence:
      return QMessageBox::Warning;
    case platform::MessageKind::kError:
      return QMessageBox::Critical;
  }
  return QMessageBox::NoIcon;
}
}  // namespace

WindowPlatform::~WindowPlatform() {
  if (waiting_) QGuiApplication::restoreOverrideCursor();
}

void WindowPlatform::MessageBox(platform::MessageKind kind, std::string_view text) {
  // A box waits for the user, so it shows the ordinary pointer even in the middle of a run.
  const bool lifted = waiting_;
  if (lifted) QGuiApplication::restoreOverrideCursor();
  QMessageBox box(IconOf(kind), kApplicationName,
                  QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                  QMessageBox::Ok, window_);
  box.exec();
  if (lifted) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

void WindowPlatform::SetMousePointer(int pointer) {
  const bool wait = pointer == platform::kHourglass;
  if (wait == waiting_) return;  // the override stack must stay balanced
  if (wait)
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QGuiApplication::restoreOverrideCursor();
  waiting_ = wait;
}

void WindowPlatform::Waiting(platform::WaitState state, std::string_view text) {
  if (window_ == nullptr) return;
  switch (state) {
    case platform::WaitState::kStarted:
      std::cerr << kApplicationName << ": waiting: " << text << '\n';
      window_->setWindowTitle(QStringLiteral("Form1 - 他の計算の終了を待っています"));
      window_->setToolTip(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
      break;
    case platform::WaitState::kGoingOn:
      break;
    case platform::WaitState::kOver:
      window_->setWindowTitle(QStringLiteral("Form1"));
      window_->setToolTip({});
      break;
  }
  // Paints the title; user input stays queued, so no second run starts inside this one.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void WindowPlatform::Warning(std::string_view text) {
  std::cerr << kApplicationName << ": warning: " << text << '\n';
}

}  // namespace geofluid::gui
