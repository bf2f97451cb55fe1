// The dispatch table of the data tool's subcommands.
#include "commands/commands.h"

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"damage", "FILE (--truncate N | --flip OFFSET[:MASK])...",
       "cut a file to N bytes, or exclusive-or one byte with MASK (default 0xFF)", CmdDamage},
  };
  return commands;
}
