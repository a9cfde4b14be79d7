#pragma once

// A single sample given on the command line as a sample file, for the commands that also take a
// table.

#include <optional>
#include <ostream>
#include <string>

#include "engine/engine.h"

namespace geofluid::cli {

// True for a path ending in .ini (any case): a sample file rather than a CSV table.
bool IsIni(const std::string& path);

// A sample file as a typed sample (sample::LoadTypedSample). Throws sample::SampleError.
engine::Sample SampleFromFile(const std::string& path);

// The same, or nothing once the reason is written to `err` as a usage error, the path named
// where the loader's message does not name it.
std::optional<engine::Sample> SampleFromFileOrSay(const std::string& path, std::ostream& err);

}  // namespace geofluid::cli
