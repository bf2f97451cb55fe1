#include "tools/kxdata/args.h"

#include <algorithm>
#include <cstring>

#include "tools/kxdata/kxdata.h"

namespace kx::kxdata {

std::optional<std::string> ParsedArgs::Last(const std::string& name) const {
  for (auto it = options.rbegin(); it != options.rend(); ++it) {
    if (it->first == name) return it->second;
  }
  return std::nullopt;
}

bool ParsedArgs::Has(const std::string& name) const { return Last(name).has_value(); }

ParsedArgs ParseArgs(const std::vector<std::string>& args,
                     std::initializer_list<const char*> valued,
                     std::initializer_list<const char*> flags, std::size_t min_positional,
                     std::size_t max_positional) {
  auto listed = [](std::initializer_list<const char*> list, const std::string& name) {
    return std::any_of(list.begin(), list.end(), [&](const char* entry) { return name == entry; });
  };
  ParsedArgs parsed;
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-' || arg[1] != '-') {
      if (!options_ended && arg.size() > 1 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9')) {
        throw UsageError("unknown option \"" + arg + "\"");
      }
      parsed.positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    std::string name = arg.substr(2);
    std::optional<std::string> value;
    if (auto eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    }
    if (listed(valued, name)) {
      if (!value) {
        if (i + 1 >= args.size()) throw UsageError("option --" + name + " needs a value");
        value = args[++i];
      }
      parsed.options.emplace_back(name, *value);
    } else if (listed(flags, name)) {
      if (value) throw UsageError("option --" + name + " takes no value");
      parsed.options.emplace_back(name, "");
    } else {
      throw UsageError("unknown option \"--" + name + "\"");
    }
  }
  if (parsed.positional.size() < min_positional) {
    throw UsageError(parsed.positional.empty() ? std::string("missing arguments")
                                               : std::string("too few arguments"));
  }
  if (parsed.positional.size() > max_positional) {
    throw UsageError("unexpected argument \"" + parsed.positional[max_positional] + "\"");
  }
  return parsed;
}

}  // namespace kx::kxdata
