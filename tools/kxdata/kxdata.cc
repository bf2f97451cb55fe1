#include "tools/kxdata/kxdata.h"

#include <charconv>
#include <exception>
#include <iostream>
#include <new>

#include "engine/table_file.h"
#include "tools/kxdata/args.h"

namespace kx::kxdata {

namespace {

void PrintHelp(std::ostream& out, const std::string& program) {
  out << "usage: " << program << " COMMAND ARGUMENTS...\n\ncommands:\n";
  for (const Command& command : Commands()) {
    out << "  " << command.name << " " << command.usage << "\n      " << command.summary << "\n";
  }
}

const Command* FindCommand(const std::string& name) {
  for (const Command& command : Commands()) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

}  // namespace

long long ParseInteger(const std::string& text, const std::string& what, long long min,
                       long long max) {
  long long value = 0;
  const char* begin = text.data();
  const char* end = begin + text.size();
  auto [ptr, ec] = std::from_chars(begin, end, value);
  if (text.empty() || ec != std::errc() || ptr != end) {
    throw UsageError(what + " must be a whole number, not \"" + text + "\"");
  }
  if (value < min || value > max) {
    throw UsageError(what + " must be from " + std::to_string(min) + " to " + std::to_string(max) +
                     ", not " + text);
  }
  return value;
}

void ApplySortBudget(const ParsedArgs& args) {
  if (auto text = args.Last("sort-budget")) {
    engine::SetSortBudget(static_cast<size_t>(ParseInteger(*text, "sort budget", 1, 4096)) << 20);
  }
}

int RunKxdata(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
              std::ostream& err, const std::string& program) {
  if (args.empty()) {
    err << program << ": no command given\n";
    PrintHelp(err, program);
    return kExitUsage;
  }
  const std::string& name = args[0];
  if (name == "help" || name == "--help" || name == "-h") {
    PrintHelp(out, program);
    return kExitOk;
  }
  const Command* command = FindCommand(name);
  if (command == nullptr) {
    err << program << ": unknown command \"" << name << "\" (try " << program << " help)\n";
    return kExitUsage;
  }
  CommandContext context{{args.begin() + 1, args.end()}, in, out, err, program};
  try {
    return command->run(context);
  } catch (const UsageError& e) {
    err << program << " " << name << ": " << e.Message() << "\n";
    err << "usage: " << program << " " << name << " " << command->usage << "\n";
    return kExitUsage;
  } catch (const Exception& e) {
    err << program << " " << name << ": " << e.Message() << "\n";
  } catch (const std::bad_alloc&) {
    err << program << " " << name << ": out of memory\n";
  } catch (const std::exception& e) {
    err << program << " " << name << ": " << e.what() << "\n";
  }
  return kExitFailure;
}

}  // namespace kx::kxdata
