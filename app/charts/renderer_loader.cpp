#include <dlfcn.h>

#include <filesystem>
#include <mutex>
#include <system_error>

#include "chart_renderer.h"

namespace geofluid::charts {

namespace {
constexpr const char* kModuleName = "libgeofluid_chart_renderer.so";
}

const Renderer* LoadRenderer(std::string& error) {
  static std::once_flag once;
  static const Renderer* renderer = nullptr;
  static std::string failure;
  std::call_once(once, [] {
    std::error_code ec;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
      failure = "cannot find the program's own folder to load the chart renderer: " + ec.message();
      return;
    }
    const std::string module = (program.parent_path() / kModuleName).string();
    void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* why = ::dlerror();
      failure = "cannot load the chart renderer " + module + ": " + (why ? why : "unknown error");
      return;
    }
    using Entry = const Renderer* (*)();
    auto entry = reinterpret_cast<Entry>(::dlsym(handle, "geofluid_chart_renderer"));
    if (entry == nullptr) {
      failure = "the chart renderer " + module + " has no entry point";
      return;
    }
    renderer = entry();
  });
  if (renderer == nullptr) error = failure;
  return renderer;
}

}  // namespace geofluid::charts
