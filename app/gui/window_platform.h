#pragma once

#include <chrono>
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
  // While a run waits for another run's turn, the window's title says so and the window keeps
  // painting; clicks wait until the run goes on.
  void Waiting(platform::WaitState state, std::string_view text) override;
  std::chrono::milliseconds WaitLimit() const override { return wait_limit_; }
  void SetWaitLimit(std::chrono::milliseconds limit) { wait_limit_ = limit; }

 private:
  QWidget* window_;
  std::chrono::milliseconds wait_limit_ = platform::kDefaultWait;
  bool waiting_ = false;  // our wait cursor is on the application's override stack
};

}  // namespace geofluid::gui
