// The data tool's entry point and what every subcommand shares.
//
// `RunKxdata` takes the arguments after the program name, runs one subcommand and returns
// the process exit code: 0 on success, 1 when the operation failed or (verify) found faults,
// 2 when the command line is wrong. Every failure is reported as one clear line on `err`.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "src/common/exception.h"

namespace kx::kxdata {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// A wrong command line: unknown command or option, missing or surplus arguments, a value
// that does not parse. Reported with the command's usage.
class UsageError : public Exception {
 public:
  using Exception::Exception;
};

// A failed operation of the tool itself (missing file, bad input data, ...).
class ToolError : public Exception {
 public:
  using Exception::Exception;
};

struct CommandContext {
  std::vector<std::string> args;  // the arguments after the subcommand's name
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  std::string program;  // the tool's name in messages
};

struct Command {
  const char* name;
  const char* usage;    // arguments, e.g. "TABLE.adt FILE.csv|-"
  const char* summary;  // one line for the help text
  std::function<int(CommandContext&)> run;
};

// The dispatch table, in the order the help text lists the commands.
const std::vector<Command>& Commands();

int RunKxdata(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
              std::ostream& err, const std::string& program = "kxdata");

// Parses a whole decimal number in [min, max]; throws UsageError naming `what` otherwise.
long long ParseInteger(const std::string& text, const std::string& what, long long min,
                       long long max);

struct ParsedArgs;
// Sets the engine's sort budget from the option --sort-budget MIB, when it is given.
void ApplySortBudget(const ParsedArgs& args);

}  // namespace kx::kxdata
