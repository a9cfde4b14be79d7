#include "window_platform.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QString>
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

void WindowPlatform::Warning(std::string_view text) {
  std::cerr << kApplicationName << ": warning: " << text << '\n';
}

}  // namespace geofluid::gui
