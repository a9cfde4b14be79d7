// Runs geofluid-cli as a child process, as a user would from a shell, and collects what it
// printed, its exit status and its peak memory.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "form_fixtures.h"

namespace geofluid::testing {

struct CliResult {
  int status = -1;  // exit status; -1 when the process did not exit normally
  std::string out;
  std::string err;
  long max_rss_kb = 0;

  std::vector<std::string> ErrLines() const { return SplitLines(err, "\n"); }
};

// The unprivileged account a test switches to where permission bits must bite (as root they
// do not).
inline constexpr uid_t kNobody = 65534;

// `scratch` receives the captured output files. With `as_nobody` the child drops to kNobody
// before it starts the program.
inline CliResult RunCli(const std::vector<std::string>& args, const std::filesystem::path& scratch,
                        bool as_nobody = false) {
  const std::filesystem::path out_path = scratch / "cli-stdout.txt";
  const std::filesystem::path err_path = scratch / "cli-stderr.txt";
  std::vector<std::string> argv_text = {GEOFLUID_CLI_PATH};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid == 0) {
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = ::open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0) ::_exit(126);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (as_nobody &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
      ::_exit(125);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  CliResult result;
  if (pid < 0) return result;
  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.max_rss_kb = usage.ru_maxrss;
  result.out = ReadFile(out_path);
  result.err = ReadFile(err_path);
  return result;
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
