// create TABLE.adt FIELD:TYPE:LEN[:DEC] ...
#include <ostream>

#include "engine/table_file.h"
#include "tools/kxdata/args.h"
#include "tools/kxdata/commands/commands.h"
#include "tools/kxdata/field_list.h"

namespace kx::kxdata {

int CmdCreate(CommandContext& context) {
  ParsedArgs args = ParseArgs(context.args, {}, {}, 2, static_cast<std::size_t>(-1));
  std::vector<std::string> specs(args.positional.begin() + 1, args.positional.end());
  auto table = engine::TableFile::Create(args.positional[0], ParseFieldSpecs(specs));
  context.out << table->Path() << ": created with " << table->Fields().size()
              << " fields, record length " << table->RecordLength() << "\n";
  return kExitOk;
}

}  // namespace kx::kxdata
