#include "platform/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/errors.h"

namespace geofluid::platform {

namespace {
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kQuietWait{1000};
// Every waiting run looks this often, so that none is starved by quicker ones; a look is one
// system call.
constexpr milliseconds kPoll{5};
constexpr milliseconds kNoticeInterval{100};

std::string Describe(std::string_view what, const std::filesystem::path& path) {
  return std::string(what) + " " + path.string();
}

// A close that reports EINTR has still released the descriptor on Linux: never retry it.
int CloseDescriptor(int fd) { return ::close(fd) == 0 ? 0 : errno; }

std::string ModeText(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISLNK(mode)) return "a symbolic link";
  return "not a regular file";
}

// Whether the files of a directory can be trusted to stay what they are between two looks.
struct Trust {
  bool shared_sticky = false;  // writable by every user, with the sticky bit
  uid_t owner = 0;
};

Trust TrustOf(const std::filesystem::path& directory) {
  struct stat st {};
  if (::stat(directory.c_str(), &st) != 0) {
    const int error = errno;
    if (error == ENOENT)
      throw FileError("the data directory " + directory.string() +
                      " does not exist; create it before a run");
    throw FileError("cannot reach the data directory " + directory.string() + ": " +
                    ErrorText(error));
  }
  if (!S_ISDIR(st.st_mode))
    throw FileError("the data directory " + directory.string() + " is not a directory");
  const bool everyone_writes = (st.st_mode & S_IWOTH) != 0;
  const bool sticky = (st.st_mode & S_ISVTX) != 0;
  if (everyone_writes && !sticky)
    throw FileError("the data directory " + directory.string() +
                    " is writable by every user (mode " + ModeText(st.st_mode) +
                    ") without the sticky bit, so anyone could replace its files between two "
                    "runs; make it private with chmod o-w " +
                    directory.string() + " (or chmod +t to share it like /tmp)");
  return Trust{everyone_writes && sticky, st.st_uid};
}

std::filesystem::path DirectoryOf(const std::filesystem::path& path) {
  return path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
}

std::string OtherUsersFile(std::string_view what, const std::filesystem::path& path) {
  return Describe(what, path) + " belongs to another user in a directory everyone may write to; " +
         "a run uses only files of its own user or of the directory's owner there (remove it, " +
         "or use a data directory of your own)";
}

// Opens a file of the data directory under the rules above; returns a blocking descriptor, or
// -1 with `error` set when the open itself failed for a reason the caller may handle (EACCES,
// EEXIST). `flags` holds the access mode and O_CREAT, O_APPEND or O_EXCL as needed.
int TryOpenChecked(const std::filesystem::path& path, int flags, std::string_view what,
                   int& error) {
  const Trust trust = TrustOf(DirectoryOf(path));
  const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = errno;
    struct stat link {};
    const bool seen = ::lstat(path.c_str(), &link) == 0;
    if (seen && S_ISLNK(link.st_mode))
      throw FileError(Describe(what, path) +
                      " is a symbolic link; a run never follows a link for this file (remove "
                      "the link; a run creates the file itself)");
    if (seen && !S_ISREG(link.st_mode))
      throw FileError(Describe(what, path) + " is not a regular file but " + KindOf(link.st_mode) +
                      "; remove it or use another data directory");
    if (seen && trust.shared_sticky && link.st_uid != ::geteuid() && link.st_uid != trust.owner)
      throw FileError(OtherUsersFile(what, path));
    return -1;
  }
  struct stat st {};
  std::string refusal;
  if (::fstat(fd, &st) != 0)
    refusal = "cannot open " + Describe(what, path) + ": " + ErrorText(errno);
  else if (!S_ISREG(st.st_mode))
    refusal = Describe(what, path) + " is not a regular file but " + KindOf(st.st_mode) +
              "; remove it or use another data directory";
  else if ((flags & O_ACCMODE) != O_RDONLY && st.st_nlink > 1)
    refusal = Describe(what, path) + " has other names (hard links), so writing it would change " +
              "another file too; a run writes only to a file of its own (copy it and replace " +
              "it with the copy)";
  else if (trust.shared_sticky && st.st_uid != ::geteuid() && st.st_uid != trust.owner)
    refusal = OtherUsersFile(what, path);
  if (!refusal.empty()) {
    CloseDescriptor(fd);
    throw FileError(refusal);
  }
  const int status = ::fcntl(fd, F_GETFL);
  if (status != -1) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
  return fd;
}

int OpenChecked(const std::filesystem::path& path, int flags, std::string_view what,
                std::string_view purpose) {
  int error = 0;
  const int fd = TryOpenChecked(path, flags, what, error);
  if (fd < 0)
    throw FileError("cannot open " + Describe(what, path) + " for " + std::string(purpose) + ": " +
                    ErrorText(error));
  return fd;
}

// Takes this run's turn on the file (an exclusive lock), waiting for another run at most
// `turn.limit`. A file system without locks gets no turn-taking, as a file without one.
void TakeTurn(int fd, const std::filesystem::path& path, std::string_view what,
              const TurnTaking& turn) {
  const auto try_lock = [fd] {
    int rc;
    do rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    return rc == 0 || errno != EWOULDBLOCK;
  };
  if (try_lock()) return;
  const std::string held = Describe(what, path) + " is in use by another run";
  const auto start = Clock::now();
  const auto notify = [&](WaitState state, const std::string& text) {
    if (turn.notice) turn.notice(state, text);
  };
  bool told = false;
  auto last_notice = start;
  for (;;) {
    const milliseconds waited = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    if (waited >= turn.limit) {
      if (told) notify(WaitState::kOver, held);
      throw FileError(held + "; gave up after waiting " + SecondsText(turn.limit) +
                      " for its turn");
    }
    if (!told && waited >= kQuietWait) {
      told = true;
      last_notice = Clock::now();
      notify(WaitState::kStarted,
             held + "; waiting up to " + SecondsText(turn.limit) + " for its turn");
    } else if (told && Clock::now() - last_notice >= kNoticeInterval) {
      last_notice = Clock::now();
      notify(WaitState::kGoingOn, held);
    }
    std::this_thread::sleep_for(std::min(kPoll, turn.limit - waited));
    if (try_lock()) {
      if (told) notify(WaitState::kOver, held);
      return;
    }
  }
}

// Writes all of `data` at the descriptor's position (or end); the errno of the write that
// failed, or 0.
int WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}
}  // namespace

std::string ErrorText(int error) { return std::generic_category().message(error); }

std::string SecondsText(milliseconds duration) {
  char text[32];
  std::snprintf(text, sizeof text, "%g s", static_cast<double>(duration.count()) / 1000.0);
  return text;
}

std::optional<milliseconds> ParseWaitLimit(std::string_view seconds) {
  while (!seconds.empty() && seconds.front() == ' ') seconds.remove_prefix(1);
  while (!seconds.empty() && seconds.back() == ' ') seconds.remove_suffix(1);
  double value = 0.0;
  const auto [end, error] = std::from_chars(seconds.data(), seconds.data() + seconds.size(), value);
  if (seconds.empty() || error != std::errc() || end != seconds.data() + seconds.size() ||
      !std::isfinite(value) || value < 0.0 || value > 86400.0)
    return std::nullopt;
  return milliseconds(static_cast<std::int64_t>(std::llround(value * 1000.0)));
}

milliseconds DefaultWaitLimit() {
  const char* text = std::getenv("GEOFLUID_WAIT");
  if (text == nullptr || *text == '\0') return kDefaultWait;
  if (const auto limit = ParseWaitLimit(text)) return *limit;
  throw Error(std::string("GEOFLUID_WAIT: \"") + text +
              "\" is not a number of seconds from 0 to 86400");
}

void IgnoreFileSizeSignal() {
  struct sigaction action {};
  action.sa_handler = SIG_IGN;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGXFSZ, &action, nullptr);
}

void RequireDataDirectory(const std::filesystem::path& directory) { TrustOf(directory); }

OutputFile::OutputFile(std::filesystem::path path, std::string what, const TurnTaking& turn)
    : path_(std::move(path)), what_(std::move(what)) {
  // Not O_TRUNC: the file is emptied only once this run has its turn, so that a concurrent
  // run still writing its report is not cut short.
  fd_ = OpenChecked(path_, O_WRONLY | O_CREAT, what_, "output");
  try {
    TakeTurn(fd_, path_, what_, turn);
  } catch (...) {
    CloseDescriptor(std::exchange(fd_, -1));
    throw;
  }
  if (::ftruncate(fd_, 0) != 0) {
    const int error = errno;
    CloseDescriptor(std::exchange(fd_, -1));
    throw FileError("cannot empty " + Describe(what_, path_) + ": " + ErrorText(error));
  }
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) CloseDescriptor(fd_);
}

void OutputFile::Write(std::string_view data) {
  if (fd_ < 0) throw FileError("cannot write " + Describe(what_, path_) + ": it is closed");
  const int error = WriteAll(fd_, data);
  if (error == 0) return;
  // What was written is no result: the file is left empty, as by a run that failed earlier.
  const bool emptied = ::ftruncate(fd_, 0) == 0;
  throw FileError("cannot write " + Describe(what_, path_) + ": " + ErrorText(error) +
                  (emptied ? "" : " (and it could not be emptied: its content is incomplete)"));
}

void OutputFile::Close() {
  if (fd_ < 0) return;
  const int error = CloseDescriptor(std::exchange(fd_, -1));
  if (error != 0 && error != EINTR)
    throw FileError("cannot close " + Describe(what_, path_) + ": " + ErrorText(error));
}

InputFile::InputFile(std::filesystem::path path, std::string what)
    : path_(std::move(path)), what_(std::move(what)) {
  fd_ = OpenChecked(path_, O_RDONLY, what_, "reading");
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    const int error = errno;
    CloseDescriptor(std::exchange(fd_, -1));
    throw FileError("cannot read " + Describe(what_, path_) + ": " + ErrorText(error));
  }
  size_ = static_cast<std::uint64_t>(st.st_size);
}

InputFile::~InputFile() {
  if (fd_ >= 0) CloseDescriptor(fd_);
}

void InputFile::ReadAt(std::uint64_t offset, char* data, std::size_t length) {
  while (length > 0) {
    const ssize_t n = ::pread(fd_, data, length, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw FileError("cannot read " + Describe(what_, path_) + ": " + ErrorText(errno));
    if (n == 0) throw FileError("cannot read " + Describe(what_, path_) + ": it became shorter");
    data += n;
    length -= static_cast<std::size_t>(n);
    offset += static_cast<std::uint64_t>(n);
  }
}

void AppendLineInOneWrite(const std::filesystem::path& path, std::string_view line,
                          std::string_view what, const TurnTaking& turn) {
  // An append that fails removes the file it created. A run that opened that file meanwhile
  // finds it unlinked once it has its turn and starts again; a few rounds are plenty.
  for (int round = 0;; ++round) {
    // Read access only to look at the last byte; a write-only file is appended to without it.
    int error = 0;
    const auto open = [&](int flags) {
      int fd = TryOpenChecked(path, O_RDWR | O_APPEND | flags, what, error);
      if (fd < 0 && error == EACCES)
        fd = TryOpenChecked(path, O_WRONLY | O_APPEND | flags, what, error);
      return fd;
    };
    // Created here only when missing, so that a failed append knows to remove it again.
    bool created = false;
    int fd = open(O_CREAT | O_EXCL);
    if (fd >= 0)
      created = true;
    else if (error == EEXIST)
      fd = open(0);
    if (fd < 0 && error == ENOENT && round < 5) continue;  // removed between the two opens
    if (fd < 0)
      throw FileError("cannot open " + Describe(what, path) + " for append: " + ErrorText(error));
    try {
      TakeTurn(fd, path, what, turn);
    } catch (...) {
      CloseDescriptor(fd);
      throw;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
      const int error = errno;
      CloseDescriptor(fd);
      throw FileError("cannot append to " + Describe(what, path) + ": " + ErrorText(error));
    }
    if (st.st_nlink == 0 && round < 5) {
      CloseDescriptor(fd);
      continue;
    }
    const off_t size = st.st_size;
    // Appenders take turns, so that the look at the last byte sees no other line half written.
    std::string data(line);
    char last = '\n';
    if (size > 0 && ::pread(fd, &last, 1, size - 1) == 1 && last != '\n') data.insert(0, "\r\n");

    const int write_error = WriteAll(fd, data);
    if (write_error != 0) {
      // Take back whatever part arrived: a torn last line would be read as the stored TOTH.
      std::string restored;
      if (::ftruncate(fd, size) != 0 || ::fstat(fd, &st) != 0 || st.st_size != size) {
        restored = "; it could not be cut back to its " + std::to_string(size) +
                   " bytes, so its last line may be damaged: delete that line";
      } else if (created && size == 0) {
        struct stat named {};
        if (::lstat(path.c_str(), &named) == 0 && named.st_dev == st.st_dev &&
            named.st_ino == st.st_ino)
          ::unlink(path.c_str());
      }
      CloseDescriptor(fd);
      throw FileError("cannot append to " + Describe(what, path) + ": " + ErrorText(write_error) +
                      (restored.empty() ? "; the file is left as it was" : restored));
    }
    const int close_error = CloseDescriptor(fd);
    if (close_error != 0 && close_error != EINTR)
      throw FileError("cannot close " + Describe(what, path) + ": " + ErrorText(close_error));
    return;
  }
}

}  // namespace geofluid::platform
