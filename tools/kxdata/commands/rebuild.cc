// rebuild DIR [--log]: the rebuild run of the program, with its progress printed; with --log
// also the run's record, the lines the program appends to rebuild.log.
#include <filesystem>

#include "src/rebuild/console_rebuild.h"
#include "tools/kxdata/args.h"
#include "tools/kxdata/commands/commands.h"

namespace kx::kxdata {

int CmdRebuild(CommandContext& context) {
  ParsedArgs args = ParseArgs(context.args, {"sort-budget"}, {"log"}, 1, 1);
  ApplySortBudget(args);
  rebuild::RunLogStream log(context.out);
  const int result = rebuild::RunConsoleRebuild(args.positional[0], context.out, context.err,
                                                args.Has("log") ? &log : nullptr);
  return result == 0 ? kExitOk : kExitFailure;
}

}  // namespace kx::kxdata
