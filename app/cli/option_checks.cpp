#include "option_checks.h"

#include <charconv>
#include <cstdint>

namespace geofluid::cli {

std::vector<std::string> EmptyValuesSpelledOut(int argc, const char* const* argv) {
  std::vector<std::string> args;
  bool options_end = false;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") options_end = true;
    if (i > 0 && !options_end && arg.size() > 3 && arg.starts_with("--") && arg.back() == '=' &&
        arg.find('=') == arg.size() - 1) {
      args.push_back(arg.substr(0, arg.size() - 1));
      args.emplace_back();
      continue;
    }
    args.push_back(arg);
  }
  return args;
}

CLI::Validator NotEmpty() {
  return CLI::Validator(
      [](std::string& value) -> std::string {
        if (value.find_first_not_of(" \t") == std::string::npos)
          return "an empty value: give one, or leave the option out for its default";
        return {};
      },
      "", "not empty");
}

void RefuseEmptyValues(CLI::App& command) {
  const CLI::Validator not_empty = NotEmpty();
  for (CLI::Option* option : command.get_options()) {
    if (option->get_type_size_max() == 0) continue;  // a flag takes no value
    option->check(not_empty);
  }
}

CLI::Validator SeedText() {
  return CLI::Validator(
      [](std::string& value) -> std::string {
        std::uint64_t seed = 0;
        const char* end = value.data() + value.size();
        const auto [at, ec] = std::from_chars(value.data(), end, seed);
        if (value.empty() || value[0] == '-' || value[0] == '+' || ec != std::errc() || at != end)
          return "\"" + value + "\" is not a seed: a whole number from 0 to 18446744073709551615";
        return {};
      },
      "SEED", "seed");
}

CLI::Validator JobsCount(int most) {
  return CLI::Validator(
      [most](std::string& value) -> std::string {
        int jobs = 0;
        const char* end = value.data() + value.size();
        const auto [at, ec] = std::from_chars(value.data(), end, jobs);
        if (ec != std::errc() || at != end || jobs < 0 || jobs > most)
          return "\"" + value + "\" is not a number of threads: 0 (all cores) to " +
                 std::to_string(most);
        return {};
      },
      "", "jobs");
}

}  // namespace geofluid::cli
