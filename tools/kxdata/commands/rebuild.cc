// rebuild DIR: the rebuild run of the program, with its progress printed.
#include <filesystem>

#include "args.h"
#include "commands/commands.h"
#include "rebuild/console_rebuild.h"

int CmdRebuild(CommandContext& context) {
  ParsedArgs args = ParseArgs(context.args, {"sort-budget"}, {}, 1, 1);
  ApplySortBudget(args);
  return RunConsoleRebuild(args.positional[0], context.out, context.err) == 0 ? kExitOk
                                                                              : kExitFailure;
}
