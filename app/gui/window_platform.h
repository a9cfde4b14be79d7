#pragma once

#include <string_view>

#include "platform/platform.h"

class QWidget;

namespace geofluid::gui {

inline constexpr char kApplicationName[] = "Geofluid";

// What the window model asks of the desktop: modal boxes over the window, the wait cursor, and
// remarks on stderr.
class WindowPlatform : public platform::Platform {
 public:
  explicit WindowPlatform(QWidget* window) : window_(window) {}
  ~WindowPlatform() override;
  WindowPlatform(const WindowPlatform&) = delete;
  WindowPlatform& operator=(const WindowPlatform&) = delete;

  void MessageBox(platform::MessageKind kind, std::string_view text) override;
  void SetMousePointer(int pointer) override;
  void Warning(std::string_view text) override;

 private:
  QWidget* window_;
  bool waiting_ = false;  // our wait cursor is on the application's override stack
};

}  // namespace geofluid::gui
