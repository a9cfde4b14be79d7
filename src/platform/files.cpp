#include "platform/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <utility>

#include "platform/errors.h"

namespace geofluid::platform {

namespace {
std::string Describe(std::string_view what, const std::filesystem::path& path) {
  return std::string(what) + " " + path.string();
}

// A close that reports EINTR has still released the descriptor on Linux: never retry it.
int CloseDescriptor(int fd) { return ::close(fd) == 0 ? 0 : errno; }
}  // namespace

std::string ErrorText(int error) { return std::generic_category().message(error); }

void RequireDataDirectory(const std::filesystem::path& directory) {
  std::error_code ec;
  const auto status = std::filesystem::status(directory, ec);
  if (status.type() == std::filesystem::file_type::not_found)
    throw FileError("the data directory " + directory.string() +
                    " does not exist; create it before a run");
  if (ec)
    throw FileError("cannot reach the data directory " + directory.string() + ": " + ec.message());
  if (status.type() != std::filesystem::file_type::directory)
    throw FileError("the data directory " + directory.string() + " is not a directory");
}

OutputFile::OutputFile(std::filesystem::path path, std::string what)
    : path_(std::move(path)), what_(std::move(what)) {
  // Not O_TRUNC: the file is emptied only once this run holds the lock, so that a concurrent
  // run still writing its report is not cut short.
  fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    const int error = errno;
    throw FileError("cannot open " + Describe(what_, path_) + " for output: " + ErrorText(error));
  }
  struct stat st {};
  if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) {
    int rc;
    do rc = ::flock(fd_, LOCK_EX);
    while (rc != 0 && errno == EINTR);
    // A file system without locks still gets its report, only without the turn-taking.
    if (::ftruncate(fd_, 0) != 0) {
      const int error = errno;
      CloseDescriptor(std::exchange(fd_, -1));
      throw FileError("cannot empty " + Describe(what_, path_) + ": " + ErrorText(error));
    }
  }
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) CloseDescriptor(fd_);
}

void OutputFile::Write(std::string_view data) {
  if (fd_ < 0) throw FileError("cannot write " + Describe(what_, path_) + ": it is closed");
  while (!data.empty()) {
    const ssize_t n = ::write(fd_, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      throw FileError("cannot write " + Describe(what_, path_) + ": " + ErrorText(error));
    }
    if (n == 0) throw FileError("cannot write " + Describe(what_, path_) + ": nothing was written");
    data.remove_prefix(static_cast<std::size_t>(n));
  }
}

void OutputFile::Close() {
  if (fd_ < 0) return;
  const int error = CloseDescriptor(std::exchange(fd_, -1));
  if (error != 0 && error != EINTR)
    throw FileError("cannot close " + Describe(what_, path_) + ": " + ErrorText(error));
}

void AppendLineInOneWrite(const std::filesystem::path& path, std::string_view line,
                          std::string_view what) {
  // Read access only to look at the last byte; a write-only file is appended to without it.
  int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0 && errno == EACCES)
    fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    const int error = errno;
    throw FileError("cannot open " + Describe(what, path) + " for append: " + ErrorText(error));
  }
  // Appenders take turns, so that the look at the last byte sees no other line half written.
  int rc;
  do rc = ::flock(fd, LOCK_EX);
  while (rc != 0 && errno == EINTR);
  std::string data(line);
  struct stat st {};
  char last = '\n';
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
      ::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n')
    data.insert(0, "\r\n");
  ssize_t n;
  do n = ::write(fd, data.data(), data.size());
  while (n < 0 && errno == EINTR);
  const int write_error = n < 0 ? errno : 0;
  const int close_error = CloseDescriptor(fd);
  if (n < 0)
    throw FileError("cannot append to " + Describe(what, path) + ": " + ErrorText(write_error));
  if (static_cast<std::size_t>(n) != data.size())
    throw FileError("cannot append to " + Describe(what, path) + ": only " + std::to_string(n) +
                    " of " + std::to_string(data.size()) + " bytes were written");
  if (close_error != 0 && close_error != EINTR)
    throw FileError("cannot close " + Describe(what, path) + ": " + ErrorText(close_error));
}

}  // namespace geofluid::platform
