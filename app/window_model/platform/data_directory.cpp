#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/platform.h"

namespace geofluid::platform {

namespace {
// $HOME, or the account's home when a service starts us without one.
std::string HomeDirectory() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr && *found->pw_dir != '\0')
    return found->pw_dir;
  throw FileError(
      "no home directory is known (HOME is not set); set GEOFLUID_DIR to the data "
      "directory");
}
}  // namespace

std::filesystem::path DefaultDataDirectory() {
  if (const char* dir = std::getenv("GEOFLUID_DIR"); dir != nullptr && *dir != '\0')
    return std::filesystem::path(dir);
  return std::filesystem::path(HomeDirectory()) / "HVQ98";
}

}  // namespace geofluid::platform
