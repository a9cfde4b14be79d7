#include "sample_input.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "platform/errors.h"
#include "sample_file.h"

namespace geofluid::cli {

bool IsIni(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return ext == ".ini";
}

engine::Sample SampleFromFile(const std::string& path) { return sample::LoadTypedSample(path); }

std::optional<engine::Sample> SampleFromFileOrSay(const std::string& path, std::ostream& err) {
  try {
    return SampleFromFile(path);
  } catch (const sample::SampleError& e) {
    err << "error: " << e.what() << '\n';
  } catch (const Error& e) {
    err << "error: " << path << ": " << e.what() << '\n';
  }
  return std::nullopt;
}

}  // namespace geofluid::cli
