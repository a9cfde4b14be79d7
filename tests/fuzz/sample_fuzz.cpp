// The INI sample loader on arbitrary file contents: it either gives box texts of plain UTF-8
// without surrounding blanks, or a SampleError naming the file; nothing else gets out.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

#include "fuzz_check.h"
#include "sample_file.h"

namespace {

// A file of its own per input, removed again: the loader reads paths, not strings.
class TemporaryFile {
 public:
  TemporaryFile(const std::uint8_t* data, std::size_t size) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "geofluid-fuzz-XXXXXX").string();
    const int fd = ::mkstemp(pattern.data());
    FUZZ_CHECK(fd >= 0, "mkstemp failed");
    path_ = pattern;
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = ::write(fd, data + done, size - done);
      FUZZ_CHECK(n > 0, "cannot write the input file");
      done += static_cast<std::size_t>(n);
    }
    ::close(fd);
  }
  ~TemporaryFile() { ::unlink(path_.c_str()); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const TemporaryFile file(data, size);
  try {
    const geofluid::sample::SampleFile sample = geofluid::sample::LoadSample(file.Path());
    for (int box = 1; box <= 18; ++box) {
      const std::string& text = sample.box[static_cast<std::size_t>(box)];
      if (text.empty()) continue;
      FUZZ_CHECK(
          text.front() != ' ' && text.front() != '\t' && text.back() != ' ' && text.back() != '\t',
          "box %d keeps surrounding blanks: [%s]", box, text.c_str());
      for (const char c : text)
        FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 || c == '\t',
                   "box %d holds a control byte", box);
    }
  } catch (const geofluid::sample::SampleError& e) {
    const std::string message = e.what();
    FUZZ_CHECK(message.find(file.Path()) != std::string::npos,
               "the message does not name the file: %s", message.c_str());
  }
  return 0;
}
