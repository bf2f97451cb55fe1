// rebuild DIR: the rebuild run of the program, with its progress printed.
#include <filesystem>

#include "src/rebuild/console_rebuild.h"
#include "tools/kxdata/args.h"
#include "tools/kxdata/commands/commands.h"

int CmdRebuild(CommandContext& context) {
  ParsedArgs args = ParseArgs(context.args, {"sort-budget"}, {}, 1, 1);
  ApplySortBudget(args);
  return RunConsoleRebuild(args.positional[0], context.out, context.err) == 0 ? kExitOk
                                                                              : kExitFailure;
}
