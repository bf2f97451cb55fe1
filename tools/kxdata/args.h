// Splits a subcommand's arguments into positional arguments and options.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kx::kxdata {

struct ParsedArgs {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> options;  // in command-line order

  // The last value given for `name`, if any.
  std::optional<std::string> Last(const std::string& name) const;
  bool Has(const std::string& name) const;
};

// Options take the forms "--name VALUE" and "--name=VALUE" (`valued`) or "--name" alone
// (`flags`, stored with an empty value). "-" alone is a positional argument (standard input)
// and "--" ends the options. Throws UsageError on an unknown option or a missing value, and
// when the count of positional arguments lies outside [min_positional, max_positional].
ParsedArgs ParseArgs(const std::vector<std::string>& args,
                     std::initializer_list<const char*> valued,
                     std::initializer_list<const char*> flags, std::size_t min_positional,
                     std::size_t max_positional);

}  // namespace kx::kxdata
