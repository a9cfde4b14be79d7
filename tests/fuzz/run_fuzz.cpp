// A whole run of the window model on fuzzed box texts and a fuzzed hand-over line, against a
// scratch directory: one error box or one report with the closing message, the pointer back at
// 0, the hand-over file only ever appended by a measured run that succeeded, and no NaN or
// infinity in any file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "box_input.h"
#include "form/form1.h"
#include "fuzz_check.h"
#include "platform/platform.h"

namespace {

namespace fs = std::filesystem;
using geofluid::platform::MessageKind;

class RecordingPlatform : public geofluid::platform::Platform {
 public:
  void MessageBox(MessageKind kind, std::string_view) override { ++count[static_cast<int>(kind)]; }
  void SetMousePointer(int) override {}
  void Warning(std::string_view) override {}
  int count[3] = {0, 0, 0};
};

class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::string pattern = (fs::temp_directory_path() / "geofluid-fuzz-XXXXXX").string();
    FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr, "mkdtemp failed");
    path_ = pattern;
  }
  ~ScratchDirectory() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool HoldsNonFinite(const std::string& text) {
  for (std::size_t i = 0; i + 3 <= text.size(); ++i) {
    std::string three = text.substr(i, 3);
    for (char& c : three) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (three == "nan" || three == "inf") return true;
  }
  return false;
}

std::size_t Lines(const std::string& text) {
  std::size_t n = 0;
  for (std::size_t pos = 0; (pos = text.find("\r\n", pos)) != std::string::npos; pos += 2) ++n;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const BoxInput in = SplitBoxInput(data, size);
  const ScratchDirectory scratch;
  const fs::path toth = scratch.Path() / geofluid::platform::kHandOverFileName;
  const fs::path report = scratch.Path() / geofluid::platform::kReportFileName;
  // An odd dataset byte above 1 leaves the hand-over file out.
  const bool has_history = (size < 2) || (data[1] & 2) == 0;
  const std::string history = " .0211 \r\n" + in.stored_line + "\r\n";
  if (has_history) std::ofstream(toth, std::ios::binary) << history;

  RecordingPlatform platform;
  geofluid::form::Form1 form(platform, scratch.Path());
  if (in.option1) form.Option1_Click();
  if (in.option2) form.Option2_Click();
  if (in.check1_click) form.Check1_Click();
  for (int box = 1; box <= geofluid::form::kBoxCount; ++box)
    form.Text(box).text = in.box[static_cast<std::size_t>(box)];
  const bool measured = form.Option1Value();
  in.supcrt ? form.Command2_Click() : form.Command1_Click();

  const auto& run = form.LastRun();
  const int closing = platform.count[static_cast<int>(MessageKind::kClosing)];
  const int errors = platform.count[static_cast<int>(MessageKind::kError)];
  FUZZ_CHECK(form.MousePointer() == geofluid::platform::kDefaultPointer, "pointer left at %d",
             form.MousePointer());
  FUZZ_CHECK(closing == (run.completed ? 1 : 0) && errors == (run.completed ? 0 : 1),
             "closing %d, errors %d, completed %d", closing, errors, run.completed);
  FUZZ_CHECK(run.completed == run.error.empty(), "error text [%s]", run.error.c_str());

  const std::string report_text = Read(report);
  const bool toth_exists = fs::exists(toth);
  const std::string toth_text = toth_exists ? Read(toth) : "";
  FUZZ_CHECK(!HoldsNonFinite(report_text), "non-finite value in the report");
  if (run.completed) {
    FUZZ_CHECK(Lines(report_text) == (in.supcrt ? 139u : 137u), "report of %zu lines",
               Lines(report_text));
  } else {
    FUZZ_CHECK(report_text.empty(), "a failed run left a report of %zu bytes", report_text.size());
  }
  if (run.completed && measured) {
    const std::string before = has_history ? history : "";
    FUZZ_CHECK(toth_exists && toth_text.size() > before.size() &&
                   toth_text.compare(0, before.size(), before) == 0,
               "the hand-over file was not appended to");
    const std::string added = toth_text.substr(before.size());
    FUZZ_CHECK(!HoldsNonFinite(added) && Lines(added) == 1, "hand-over line [%s]", added.c_str());
  } else if (has_history) {
    FUZZ_CHECK(toth_exists && toth_text == history, "the hand-over file changed");
  } else {
    FUZZ_CHECK(!toth_exists, "a run that did not hand over created the hand-over file");
  }
  return 0;
}
