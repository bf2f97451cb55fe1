// The dispatch table of the data tool's subcommands.
#include "tools/kxdata/commands/commands.h"

namespace kx::kxdata {

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"create", "TABLE.adt FIELD:TYPE:LEN[:DEC]...",
       "make a table; TYPE is character/C, numeric/N, integer/I, double/B, date/D, logical/L "
       "or timestamp/T",
       CmdCreate},
      {"add", "TABLE.adt FILE.csv|-",
       "append records from CSV (or standard input); the header row names the fields", CmdAdd},
      {"delete", "TABLE.adt RECNO...", "mark records deleted", CmdDelete},
      {"dump", "TABLE.adt [--tag NAME]", "print the records, then each tag in key order", CmdDump},
      {"verify", "DIR|TABLE.adt [--sort-budget MIB]",
       "check tables and index files; exit code 0 only when everything is sound", CmdVerify},
      {"damage", "FILE (--truncate N | --flip OFFSET[:MASK])...",
       "cut a file to N bytes, or exclusive-or one byte with MASK (default 0xFF)", CmdDamage},
      {"lock", "TABLE.adt|FILE",
       "hold the table open exclusively, or any other file (an index file) with nothing "
       "shared, until killed",
       CmdLock},
      {"index", "TABLE.adt TAG EXPRESSION [--page-size N] [--sort-budget MIB]",
       "open the table exclusively and create one tag (fields joined by ;)", CmdIndex},
      {"pack", "TABLE.adt [--sort-budget MIB]",
       "open the table exclusively and remove its deleted records", CmdPack},
      {"sample",
       "DIR [--items N] [--trans N] [--customers N] [--vendors N] [--locations N] [--seed S] "
       "[--deleted PERCENT] [--intact | --no-index]",
       "make a sample data folder with the ten tables and imperfect index files", CmdSample},
      {"rebuild", "DIR [--sort-budget MIB] [--log]",
       "rebuild the index files of a data folder, showing the progress (MIB: the sort's memory; "
       "--log: also the run's record, as the program writes it to rebuild.log)",
       CmdRebuild},
  };
  return commands;
}

}  // namespace kx::kxdata
