// Shared by the tests of the window model, the hand-over file, the sample loader and the
// command line: scratch directories and a platform that records what a run shows.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace geofluid::testing {

class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("geofluid-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
             std::to_string(random()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::filesystem::path& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

inline std::vector<std::string> SplitLines(const std::string& text, std::string_view end = "\r\n") {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t pos; (pos = text.find(end, start)) != std::string::npos;
       start = pos + end.size())
    lines.push_back(text.substr(start, pos - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// Open descriptors of this process, to see that a run closed its files.
inline int OpenDescriptors() {
  int n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++n;
  return n;
}

class RecordingPlatform : public platform::Platform {
 public:
  struct Message {
    platform::MessageKind kind;
    std::string text;
  };
  void MessageBox(platform::MessageKind kind, std::string_view text) override {
    messages.push_back({kind, std::string(text)});
  }
  void SetMousePointer(int pointer) override { pointers.push_back(pointer); }
  void Warning(std::string_view text) override { warnings.emplace_back(text); }

  int Count(platform::MessageKind kind) const {
    int n = 0;
    for (const auto& m : messages) n += m.kind == kind;
    return n;
  }

  std::vector<Message> messages;
  std::vector<int> pointers;
  std::vector<std::string> warnings;
};

// A Na-Cl water as a geochemist would type it; [1..18] for Text1 .. Text18.
inline std::vector<std::string> NaClWater() {
  return {"",        "0.01",  "0.04",   "0.004",  "0.0005", "0.00001", "0.000005",
          "0.00002", "0.002", "0.0004", "0.0002", "0.04",   "0.00005", "8.5",
          "55.51",   "0.02",  "0.002",  "25",     "100"};
}

}  // namespace geofluid::testing
