// verify DIR|TABLE.adt: exit code 0 only when every file checked is sound.
#include "engine/verify.h"

#include <filesystem>
#include <ostream>

#include "tools/kxdata/args.h"
#include "tools/kxdata/commands/commands.h"

namespace kx::kxdata {

int CmdVerify(CommandContext& context) {
  ParsedArgs args = ParseArgs(context.args, {"sort-budget"}, {}, 1, 1);
  ApplySortBudget(args);
  const std::string& path = args.positional[0];
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) throw ToolError("no such file or folder: " + path);
  engine::VerifyReport report = std::filesystem::is_directory(status) ? engine::VerifyFolder(path)
                                                                      : engine::VerifyTable(path);
  const std::string text = report.ToString();
  context.out << text;
  if (!text.empty() && text.back() != '\n') context.out << '\n';
  return report.Ok() ? kExitOk : kExitFailure;
}

}  // namespace kx::kxdata
