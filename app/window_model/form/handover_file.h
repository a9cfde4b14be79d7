#pragma once

#include <filesystem>
#include <string>

#include "platform/files.h"

namespace geofluid::form {

// The stored TOTH of the hand-over file: the number on its last line that is not blank.
struct StoredToth {
  double value = 0.0;
  bool empty = false;  // no line, or only blank lines: the value is 0
};

// Reads the file from its end, so a long history costs no more than a short one.
// Throws FileError for a missing or unreadable file, a link or anything but a regular file,
// and ConversionError, naming the file, the line and its text, when the last line is not a
// number.
StoredToth ReadStoredToth(const std::filesystem::path& file);

// The line a run in the measured mode appends: TOTH as a number item, unrounded, and CRLF.
std::string TothLine(double toth);

// Appends the TOTH line in one write, waiting for its turn as `turn` says; never rewrites or
// shortens the file, and takes back an append that failed.
void AppendToth(const std::filesystem::path& file, double toth,
                const platform::TurnTaking& turn = {});

}  // namespace geofluid::form
