#include "cli_io.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "platform/files.h"

namespace geofluid::cli {

namespace {

// A signal handler can reach nothing but process-wide state; a run only reads it, through the
// cancel flag it is given.
std::atomic<bool> interrupt_requested{false};
std::atomic<int> interrupt_signal{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

extern "C" void OnInterrupt(int signal) {
  int none = 0;
  interrupt_signal.compare_exchange_strong(none, signal);
  interrupt_requested.store(true);
}

// How long a wait looks away from the cancel flag: short enough that Ctrl-C feels immediate.
constexpr int kPollMs = 50;

}  // namespace

FdOutBuf::FdOutBuf(int fd, bool owns) : fd_(fd), owns_(owns) {
  setp(buffer_.data(), buffer_.data() + buffer_.size());
}

FdOutBuf::~FdOutBuf() { Close(); }

bool FdOutBuf::WriteOut(const char* data, std::size_t size) {
  while (size > 0 && error_ == 0) {
    const ssize_t n = ::write(fd_, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
    } else {
      data += n;
      size -= static_cast<std::size_t>(n);
    }
  }
  return error_ == 0;
}

bool FdOutBuf::Drain() {
  const bool ok = WriteOut(pbase(), static_cast<std::size_t>(pptr() - pbase()));
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  return ok;
}

int FdOutBuf::overflow(int c) {
  if (!Drain()) return traits_type::eof();
  if (c != traits_type::eof()) {
    *pptr() = static_cast<char>(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

int FdOutBuf::sync() { return Drain() ? 0 : -1; }

std::streamsize FdOutBuf::xsputn(const char* data, std::streamsize size) {
  if (error_ != 0) return 0;
  const auto n = static_cast<std::size_t>(size);
  if (n <= static_cast<std::size_t>(epptr() - pptr())) {
    std::copy(data, data + n, pptr());
    pbump(static_cast<int>(n));
    return size;
  }
  if (!Drain() || !WriteOut(data, n)) return 0;
  return size;
}

bool FdOutBuf::Close() {
  if (fd_ < 0) return error_ == 0;
  Drain();
  if (owns_ && ::close(fd_) != 0 && error_ == 0) error_ = errno;
  fd_ = -1;
  return error_ == 0;
}

PollingInBuf::PollingInBuf(int fd, bool owns, const std::atomic<bool>& cancel)
    : fd_(fd), owns_(owns), cancel_(cancel) {}

PollingInBuf::~PollingInBuf() {
  if (owns_ && fd_ >= 0) ::close(fd_);
}

int PollingInBuf::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  for (;;) {
    // The istream turns this into its bad state; the table's reader stops there.
    if (cancel_.load()) throw std::runtime_error("interrupted while reading the input");
    pollfd p{fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, kPollMs);
    if (ready < 0 && errno != EINTR) throw std::runtime_error("the input cannot be read");
    if (ready <= 0) continue;
    const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      throw std::runtime_error("the input cannot be read");
    }
    if (n == 0) return traits_type::eof();
    setg(buffer_.data(), buffer_.data(), buffer_.data() + n);
    return traits_type::to_int_type(*gptr());
  }
}

int OpenOutput(const std::string& path, const std::atomic<bool>& cancel) {
  for (;;) {
    // Non-blocking, so that a FIFO nobody reads yet is an ENXIO to wait on, not a hang.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd >= 0) {
      struct stat st {};
      if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
      }
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      return fd;
    }
    if (errno != ENXIO) return -1;
    if (cancel.load()) {
      errno = EINTR;
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
  }
}

int OpenInput(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

bool SameRegularFile(const std::string& input, const std::string& output) {
  if (output.empty()) return false;
  struct stat a {
  }, b{};
  const int in_ok = input == "-" ? ::fstat(STDIN_FILENO, &a) : ::stat(input.c_str(), &a);
  const int out_ok = output == "-" ? ::fstat(STDOUT_FILENO, &b) : ::stat(output.c_str(), &b);
  // Only regular files: a terminal or /dev/null may well be both stdin and stdout.
  return in_ok == 0 && out_ok == 0 && S_ISREG(a.st_mode) && S_ISREG(b.st_mode) &&
         a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

InterruptGuard::InterruptGuard() {
  interrupt_requested.store(false);
  interrupt_signal.store(0);
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  // Restarted system calls: a write cut short by the signal would otherwise end the output
  // mid-row. The run sees the flag between chunks, and the reads poll it.
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (std::size_t k = 0; k < std::size(kSignals); ++k)
    ::sigaction(kSignals[k], &action, &previous_[k]);
}

InterruptGuard::~InterruptGuard() {
  for (std::size_t k = 0; k < std::size(kSignals); ++k)
    ::sigaction(kSignals[k], &previous_[k], nullptr);
}

std::atomic<bool>& InterruptGuard::Requested() { return interrupt_requested; }
int InterruptGuard::Signal() { return interrupt_signal.load(); }

const char* InterruptGuard::What() {
  switch (Signal()) {
    case SIGTERM:
      return "terminated";
    case SIGHUP:
      return "hung up";
    default:
      return "interrupted";
  }
}

int OutputError(const std::ostream& stream) {
  if (const auto* buffer = dynamic_cast<const FdOutBuf*>(stream.rdbuf()); buffer != nullptr)
    if (buffer->Error() != 0) return buffer->Error();
  return EIO;
}

std::string IncompleteOutput(const std::string& path, int error) {
  return "cannot write the output " + (path == "-" ? std::string("to stdout") : "file " + path) +
         ": " + platform::ErrorText(error) + "; the output is incomplete";
}

std::string TableOpenProblem(const std::string& path, const std::ifstream& file) {
  std::error_code ec;
  if (!std::filesystem::is_directory(path, ec) && file) return {};
  return std::filesystem::is_directory(path, ec) ? "it is a directory" : std::strerror(errno);
}

std::unique_ptr<CsvTable> OpenCsvTable(const std::string& path, const batch::InputOptions& options,
                                       std::ostream& err) {
  auto table = std::make_unique<CsvTable>();
  table->file.open(path, std::ios::binary);
  if (const std::string problem = TableOpenProblem(path, table->file); !problem.empty()) {
    err << "error: cannot open the table " << path << ": " << problem << '\n';
    return nullptr;
  }
  try {
    table->rows = std::make_unique<batch::CsvInput>(table->file, options);
  } catch (const std::exception& e) {
    err << "error: " << path << ": " << e.what() << '\n';
    return nullptr;
  }
  return table;
}

}  // namespace geofluid::cli
