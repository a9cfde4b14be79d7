#pragma once

// A single sample given on the command line as a sample file, for the commands that also take a
// table.

#include <string>

#include "engine/engine.h"

namespace geofluid::cli {

// True for a path ending in .ini (any case): a sample file rather than a CSV table.
bool IsIni(const std::string& path);

// A sample file as a typed sample (sample::LoadTypedSample). Throws sample::SampleError.
engine::Sample SampleFromFile(const std::string& path);

}  // namespace geofluid::cli
