// Runs geofluid-cli as a child process, as a user would from a shell, and collects what it
// printed, its exit status and its peak memory.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "form_fixtures.h"

namespace geofluid::testing {

struct CliResult {
  int status = -1;  // exit status; -1 when the process did not exit normally
  std::string out;
  std::string err;
  long max_rss_kb = 0;
  bool killed = false;  // it ran past its time and was killed

  std::vector<std::string> ErrLines() const { return SplitLines(err, "\n"); }
};

inline bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The unprivileged account a test switches to where permission bits must bite (as root they
// do not).
inline constexpr uid_t kNobody = 65534;

// The program under test: $GEOFLUID_CLI when set (to run the suite against a copy elsewhere),
// the one built beside the tests otherwise.
inline std::filesystem::path CliProgram() {
  if (const char* path = std::getenv("GEOFLUID_CLI"); path != nullptr && *path != '\0') return path;
  return GEOFLUID_CLI_PATH;
}

struct CliRun {
  // The child drops to kNobody before it starts the program. The program is first copied into
  // the scratch directory, which is opened to that account: the build tree may sit where only
  // its owner can enter (a clone in root's home).
  bool as_nobody = false;
  // RLIMIT_FSIZE of the child in bytes; 0 for none. SIGXFSZ is left as the program finds it.
  rlim_t file_size_limit = 0;
  // A run still going after this long is killed and reported with status -1.
  std::chrono::seconds kill_after{120};
  // stdin from this file (default /dev/null); stdout to this one instead of the captured file.
  std::filesystem::path stdin_file{};
  std::filesystem::path stdout_file{};
};

// `scratch` receives the captured output files.
inline CliResult RunCli(const std::vector<std::string>& args, const std::filesystem::path& scratch,
                        const CliRun& how) {
  namespace fs = std::filesystem;
  const fs::path out_path = scratch / "cli-stdout.txt";
  const fs::path err_path = scratch / "cli-stderr.txt";
  fs::path program = CliProgram();
  if (how.as_nobody) {
    const fs::path copy = scratch / "geofluid-cli";
    fs::copy_file(program, copy, fs::copy_options::overwrite_existing);
    fs::permissions(copy, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(scratch, fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
    program = copy;
  }
  std::vector<std::string> argv_text = {program.string()};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid == 0) {
    const fs::path& stdout_file = how.stdout_file.empty() ? out_path : how.stdout_file;
    const int out = ::open(stdout_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = ::open(how.stdin_file.empty() ? "/dev/null" : how.stdin_file.c_str(), O_RDONLY);
    if (out < 0 || err < 0 || in < 0) ::_exit(126);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (how.file_size_limit != 0) {
      const rlimit limit{how.file_size_limit, how.file_size_limit};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(124);
    }
    if (how.as_nobody &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
      ::_exit(125);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  CliResult result;
  if (pid < 0) return result;
  int status = 0;
  rusage usage{};
  const auto deadline = std::chrono::steady_clock::now() + how.kill_after;
  for (;;) {
    const pid_t done = ::wait4(pid, &status, WNOHANG, &usage);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) return result;
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
      }
      result.killed = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  result.status = WIFEXITED(status) && !result.killed ? WEXITSTATUS(status) : -1;
  result.max_rss_kb = usage.ru_maxrss;
  result.out = ReadFile(out_path);
  result.err = ReadFile(err_path);
  return result;
}

inline CliResult RunCli(const std::vector<std::string>& args, const std::filesystem::path& scratch,
                        bool as_nobody = false) {
  CliRun run;
  run.as_nobody = as_nobody;
  return RunCli(args, scratch, run);
}

// Starts the command line and returns at once, for a test that signals it while it runs: stdin
// from the descriptor `in` (-1: /dev/null), stdout to `out`, stderr to `err`. Returns the
// process id (negative when it could not be started).
inline pid_t StartCli(const std::vector<std::string>& args, int in,
                      const std::filesystem::path& out, const std::filesystem::path& err) {
  std::vector<std::string> text = {CliProgram().string()};
  text.insert(text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : text) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null = ::open("/dev/null", O_RDONLY);
    const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (null < 0 || o < 0 || e < 0) ::_exit(126);
    ::dup2(in >= 0 ? in : null, 0);
    ::dup2(o, 1);
    ::dup2(e, 2);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

// The exit status of a process from StartCli, or -1 when a signal ended it or it is still
// running after `limit` (it is then killed).
inline int WaitForCli(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Waits (30 s at most) until the file at `path` holds `bytes`: the run is then well under way,
// and a signal sent next comes in the middle of it.
inline void WaitForOutput(const std::filesystem::path& path, std::uintmax_t bytes) {
  const auto size = [&] {
    std::error_code ec;
    const auto n = std::filesystem::file_size(path, ec);
    return ec ? 0 : n;
  };
  for (int k = 0; k < 600 && size() < bytes; ++k)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

// A number item as the print statement writes it, without the line end: a sign blank or "-",
// digits with an optional point (or a point and digits), an optional exponent, one blank.
inline bool WellFormedNumberItem(std::string_view s) {
  const auto digits = [&](std::size_t& i) {
    const std::size_t start = i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
    return i - start;
  };
  if (s.size() < 3 || (s[0] != ' ' && s[0] != '-') || s.back() != ' ') return false;
  s = s.substr(1, s.size() - 2);
  std::size_t i = 0;
  std::size_t mantissa = digits(i);
  if (i < s.size() && s[i] == '.') {
    ++i;
    mantissa += digits(i);
  }
  if (mantissa == 0) return false;
  if (i < s.size() && s[i] == 'E') {
    ++i;
    if (i >= s.size() || (s[i] != '+' && s[i] != '-')) return false;
    ++i;
    if (digits(i) == 0) return false;
  }
  return i == s.size();
}

}  // namespace geofluid::testing
