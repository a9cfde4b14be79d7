#pragma once
// --out FILE of the commands that write one output: the file is opened at the first byte
// written, so that a command refused before it writes anything leaves an existing file as it
// was.
#include <optional>
#include <streambuf>
#include <string>

#include "cli_io.h"

namespace geofluid::cli {

class OutputFile : public std::streambuf {
 public:
  explicit OutputFile(std::string path) : path_(std::move(path)) {}
  const std::string& Path() const { return path_; }
  // Opens (empties) the file unless it is open; false, with Error() set, when it cannot be.
  bool Open();
  // Writes what is buffered and closes the file; false when it was not written whole.
  bool Close();
  // The errno of the open or the write that failed; 0 when none did.
  int Error() const;
  // Never written to (nothing opened, nothing failed).
  bool Untouched() const { return !file_ && error_ == 0; }

 protected:
  int overflow(int c) override;
  std::streamsize xsputn(const char* data, std::streamsize size) override;
  int sync() override;

 private:
  std::string path_;
  std::optional<FdOutBuf> file_;
  int error_ = 0;
};

}  // namespace geofluid::cli
