// delete TABLE.adt RECNO...
#include <ostream>

#include "engine/table_file.h"
#include "tools/kxdata/args.h"
#include "tools/kxdata/commands/commands.h"

namespace kx::kxdata {

int CmdDelete(CommandContext& context) {
  ParsedArgs args = ParseArgs(context.args, {}, {}, 2, static_cast<std::size_t>(-1));
  auto table = engine::TableFile::Open(args.positional[0], engine::OpenMode::kExclusive);
  // Every number is checked before any record is touched, so a bad list changes nothing.
  const std::uint32_t count = table->RecordCount();
  std::vector<std::uint32_t> recnos;
  for (std::size_t i = 1; i < args.positional.size(); ++i) {
    const std::string& text = args.positional[i];
    auto recno = ParseInteger(text, "record number", 1, 0xFFFFFFFFll);
    if (recno > count) {
      throw ToolError("record " + text + " does not exist: " + args.positional[0] + " has " +
                      std::to_string(count) + " records");
    }
    recnos.push_back(static_cast<std::uint32_t>(recno));
  }
  std::size_t newly_deleted = 0;
  for (std::uint32_t recno : recnos) {
    if (table->IsDeleted(recno)) continue;
    table->DeleteRecord(recno);
    ++newly_deleted;
  }
  context.out << table->Path() << ": " << newly_deleted << " records marked deleted\n";
  return kExitOk;
}

}  // namespace kx::kxdata
