// lock TABLE.adt: holds the table open exclusively until the process is killed.
#include <chrono>
#include <ostream>
#include <thread>

#include "args.h"
#include "commands/commands.h"
#include "engine/table_file.h"

int CmdLock(CommandContext& context) {
  ParsedArgs args = ParseArgs(context.args, {}, {}, 1, 1);
  auto table = kxengine::TableFile::Open(args.positional[0], kxengine::OpenMode::kExclusive);
  // Whoever waits for the lock reads this line, so it must leave at once.
  context.out << "locked" << std::endl;
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}
