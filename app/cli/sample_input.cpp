#include "sample_input.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "sample_file.h"

namespace geofluid::cli {

bool IsIni(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return ext == ".ini";
}

engine::Sample SampleFromFile(const std::string& path) { return sample::LoadTypedSample(path); }

}  // namespace geofluid::cli
