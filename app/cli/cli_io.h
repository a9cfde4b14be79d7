#pragma once

// The command line's own input and output: streams over file descriptors that remember why a
// write failed and that stop waiting for input once the user interrupts, the signals that end
// a run early, and the check that an output does not overwrite its input.

#include <array>
#include <atomic>
#include <csignal>
#include <fstream>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>

#include "batch/batch.h"

namespace geofluid::cli {

// Written without the C++ streams' buffering rules in the way: every failed write keeps its
// errno, and after one fails nothing more is written (the stream goes bad), so a command can say
// which file is incomplete and why.
class FdOutBuf : public std::streambuf {
 public:
  // Takes `fd` over (closes it at the end) when `owns` is true.
  FdOutBuf(int fd, bool owns);
  ~FdOutBuf() override;
  FdOutBuf(const FdOutBuf&) = delete;
  FdOutBuf& operator=(const FdOutBuf&) = delete;

  // The errno of the first write or close that failed; 0 when everything was written.
  int Error() const { return error_; }
  // Writes what is buffered and closes an owned descriptor; false when anything failed.
  bool Close();

 protected:
  int overflow(int c) override;
  int sync() override;
  std::streamsize xsputn(const char* data, std::streamsize size) override;

 private:
  bool WriteOut(const char* data, std::size_t size);
  bool Drain();

  int fd_;
  bool owns_;
  int error_ = 0;
  std::array<char, 1 << 16> buffer_{};
};

// Reads a descriptor, waiting for data in short polls so that `cancel` ends a wait on a terminal
// or an idle pipe at once: the stream then goes bad, and the reader stops as on a read error.
class PollingInBuf : public std::streambuf {
 public:
  PollingInBuf(int fd, bool owns, const std::atomic<bool>& cancel);
  ~PollingInBuf() override;
  PollingInBuf(const PollingInBuf&) = delete;
  PollingInBuf& operator=(const PollingInBuf&) = delete;

 protected:
  int underflow() override;

 private:
  int fd_;
  bool owns_;
  const std::atomic<bool>& cancel_;
  std::array<char, 1 << 16> buffer_{};
};

// Opens `path` for output, emptied. A FIFO without a reader does not block: it is waited for
// until `cancel` is set. Returns the descriptor, or -1 with errno set (EINTR when cancelled).
int OpenOutput(const std::string& path, const std::atomic<bool>& cancel);
// Opens `path` for input without blocking on a FIFO that has no writer yet; -1 with errno set.
int OpenInput(const std::string& path);

// The file given as input and a file given as output are one regular file (the same device and
// inode, whatever the names: a link, stdin redirected from it). "-" stands for stdin as an input
// and stdout as an output.
bool SameRegularFile(const std::string& input, const std::string& output);

// SIGINT, SIGTERM and SIGHUP, caught for the lifetime of a run: each sets `Requested()` (the
// run's cancel flag) and is remembered, and the previous handlers come back at the end.
class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

  static std::atomic<bool>& Requested();
  // The signal that ended the run; 0 when none came.
  static int Signal();
  // 128 + the signal, as a shell reports a process it ended.
  static int ExitStatus() { return 128 + Signal(); }
  // "interrupted" (SIGINT), "terminated" (SIGTERM), "hung up" (SIGHUP).
  static const char* What();

 private:
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction previous_[3]{};
};

// The errno behind a stream that went bad: its FdOutBuf's, else EIO.
int OutputError(const std::ostream& stream);

// "cannot write the output file out.csv: No space left on device; the output is incomplete".
std::string IncompleteOutput(const std::string& path, int error);

// A CSV table file and the reader over it, which holds on to the file: the input of the commands
// that read a table in chunks with batch::ReadChunk.
struct CsvTable {
  std::ifstream file;
  std::unique_ptr<batch::CsvInput> rows;
};

// Why the table at `path`, just opened as `file`, cannot be read: "it is a directory", or the
// text of errno; empty when it can.
std::string TableOpenProblem(const std::string& path, const std::ifstream& file);

// Opens the table at `path` and reads its header. Null, after a message on `err`, when the file
// cannot be opened or its header cannot be used: a usage error, as nothing has been written yet.
std::unique_ptr<CsvTable> OpenCsvTable(const std::string& path, const batch::InputOptions& options,
                                       std::ostream& err);

}  // namespace geofluid::cli
