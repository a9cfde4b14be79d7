#pragma once

#include <chrono>
#include <filesystem>
#include <string_view>

namespace geofluid::platform {

// Mouse-pointer values of the window.
inline constexpr int kDefaultPointer = 0;
inline constexpr int kHourglass = 11;

// What a run shows the user. The window shows each as a modal box with an OK button only;
// the command line prints them.
enum class MessageKind {
  kClosing,         // where the report is
  kNonConvergence,  // "計算が収束しません"
  kError,           // a run that stopped: what failed and where
};

// How long a run waits for its turn on a file that another run holds before it gives up.
inline constexpr std::chrono::milliseconds kDefaultWait{30000};

enum class WaitState {
  kStarted,  // the wait has lasted about a second
  kGoingOn,  // about every 100 ms after that
  kOver,     // the run has its turn, or gives up
};

// What the front end provides to the window model: modal message boxes, the mouse pointer, and
// a place for remarks that are not messages of the run (temperatures outside the tables, an
// empty hand-over file).
class Platform {
 public:
  virtual ~Platform() = default;
  // Returns when the user has closed the box.
  virtual void MessageBox(MessageKind kind, std::string_view text) = 0;
  virtual void SetMousePointer(int pointer) = 0;
  virtual void Warning(std::string_view text) = 0;
  // A run that waits for another run's turn on a file: `text` says which file and for how
  // long at most. The command line says so once; a window shows it while it lasts.
  virtual void Waiting(WaitState /*state*/, std::string_view /*text*/) {}
  virtual std::chrono::milliseconds WaitLimit() const { return kDefaultWait; }
};

// The directory that holds the report and the hand-over file: $GEOFLUID_DIR when set and not
// empty, otherwise ~/HVQ98.
std::filesystem::path DefaultDataDirectory();

inline constexpr std::string_view kReportFileName = "HVQ98OUT.txt";
inline constexpr std::string_view kHandOverFileName = "TOTH25.txt";

}  // namespace geofluid::platform
