#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace geofluid::platform {

// Throws FileError unless `directory` exists and is a directory. A run never creates it.
void RequireDataDirectory(const std::filesystem::path& directory);

// A file opened for output. Opening empties it; every write and the close are checked, so a
// full disk or a device that refuses writes is a FileError, never a silent loss. Concurrent
// runs on one directory take turns: the file is locked from opening to closing.
class OutputFile {
 public:
  // `what` names the file in messages, e.g. "the report file".
  OutputFile(std::filesystem::path path, std::string what);
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

// Appends the line `line` (with its line end) to the file, created when missing, in one write
// on a descriptor opened for append, so that lines of concurrent runs never interleave. When
// the file does not end in a line feed (edited by hand), a CR LF goes first in the same write
// so the new line is not glued to the last one. Nothing already in the file is touched.
// Throws FileError when the write is refused or incomplete.
void AppendLineInOneWrite(const std::filesystem::path& path, std::string_view line,
                          std::string_view what);

// The text of an errno value, safe to call from several threads.
std::string ErrorText(int error);

}  // namespace geofluid::platform
