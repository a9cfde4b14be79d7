#pragma once

// A single sample given on the command line as a sample file, for the commands that also take a
// table.

#include <string>

#include "engine/engine.h"

namespace geofluid::cli {

// True for a path ending in .ini (any case): a sample file rather than a CSV table.
bool IsIni(const std::string& path);

// A sample file's boxes as a typed sample; the pH counts as measured at ph_temperature, or at
// the calculation temperature when the file does not say. Throws sample::SampleError for a file
// that cannot be read and ConversionError for a value that is not a number.
engine::Sample SampleFromFile(const std::string& path);

}  // namespace geofluid::cli
