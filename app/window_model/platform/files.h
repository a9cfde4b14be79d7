#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace geofluid::platform {

// The files of the data directory are opened only as what they claim to be. A symbolic link is
// never followed (another user could point it at any file), only a regular file is accepted,
// and the open never blocks (a FIFO would wait forever for a partner). A file with a second
// name (a hard link) is never written. A directory that every user may write to is refused
// unless it has the sticky bit; in a sticky one (as /tmp) a file of a third user is refused.
// Each refusal is a FileError naming the file and what to do.

// Throws FileError unless `directory` exists, is a directory and is not writable by every user
// without the sticky bit. A run never creates it.
void RequireDataDirectory(const std::filesystem::path& directory);

// How a run waits for its turn on a file another run holds: at most `limit`, telling `notice`
// once the wait has lasted about a second, every 100 ms while it goes on, and when it ends.
// Without a `notice` it waits silently.
struct TurnTaking {
  std::chrono::milliseconds limit = kDefaultWait;
  std::function<void(WaitState, std::string_view text)> notice;
};

// A file opened for output. Opening takes the turn on it and empties it; every write and the
// close are checked, so a full disk or a file-size limit is a FileError, never a silent loss,
// and a write that fails empties the file again: a failed run leaves no partial report.
class OutputFile {
 public:
  // `what` names the file in messages, e.g. "the report file".
  OutputFile(std::filesystem::path path, std::string what, const TurnTaking& turn = {});
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void Write(std::string_view data);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::string what_;
  int fd_ = -1;
};

// A file of the data directory opened for reading, under the same rules.
class InputFile {
 public:
  InputFile(std::filesystem::path path, std::string what);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  std::uint64_t Size() const { return size_; }
  // Reads exactly `length` bytes at `offset`; FileError when the file is shorter or the read
  // fails.
  void ReadAt(std::uint64_t offset, char* data, std::size_t length);

 private:
  std::filesystem::path path_;
  std::string what_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

// Appends the line `line` (with its line end) to the file, created when missing, in one write
// on a descriptor opened for append, so that lines of concurrent runs never interleave. When
// the file does not end in a line feed (edited by hand), a CR LF goes first in the same write
// so the new line is not glued to the last one. Nothing already in the file is touched: an
// append that fails or is cut short is taken back, leaving the file byte for byte as it was
// (and a file this append created is removed again). Throws FileError.
void AppendLineInOneWrite(const std::filesystem::path& path, std::string_view line,
                          std::string_view what, const TurnTaking& turn = {});

// Front ends call this once at start: a write beyond the file-size limit (ulimit -f) then
// fails with EFBIG, which the run reports like a full disk, instead of killing the process.
void IgnoreFileSizeSignal();

// Seconds as a user types them ("30", "0.5") for a wait limit; nullopt unless a finite number
// from 0 to a day.
std::optional<std::chrono::milliseconds> ParseWaitLimit(std::string_view seconds);
// $GEOFLUID_WAIT when set and not empty, kDefaultWait otherwise. Throws Error naming the
// variable when it holds no wait limit.
std::chrono::milliseconds DefaultWaitLimit();
// "30 s", "0.5 s".
std::string SecondsText(std::chrono::milliseconds duration);

// The text of an errno value, safe to call from several threads.
std::string ErrorText(int error);

}  // namespace geofluid::platform
