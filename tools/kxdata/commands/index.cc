// index TABLE.adt TAG EXPRESSION and pack TABLE.adt: one engine operation on a table opened
// exclusively, as the rebuild does it; the crash test kills these at random points.
#include <ostream>

#include "engine/table_file.h"
#include "tools/kxdata/args.h"
#include "tools/kxdata/commands/commands.h"

namespace kx::kxdata {

int CmdIndex(CommandContext& context) {
  ParsedArgs args = ParseArgs(context.args, {"page-size", "sort-budget"}, {}, 3, 3);
  ApplySortBudget(args);
  std::uint32_t page_size = 0;
  if (auto text = args.Last("page-size")) {
    page_size = static_cast<std::uint32_t>(ParseInteger(*text, "page size", 0, 0xFFFFFFFFll));
  }
  auto table = engine::TableFile::Open(args.positional[0], engine::OpenMode::kExclusive);
  engine::TagInfo tag = table->CreateIndex(args.positional[1], args.positional[2], page_size);
  context.out << table->IndexPath() << ": tag " << tag.name << " (" << tag.expression
              << "): " << tag.entry_count << " entries\n";
  return kExitOk;
}

int CmdPack(CommandContext& context) {
  ParsedArgs args = ParseArgs(context.args, {"sort-budget"}, {}, 1, 1);
  ApplySortBudget(args);
  auto table = engine::TableFile::Open(args.positional[0], engine::OpenMode::kExclusive);
  const std::uint32_t before = table->RecordCount();
  table->Pack();
  context.out << table->Path() << ": packed, " << table->RecordCount() << " of " << before
              << " records kept\n";
  return kExitOk;
}

}  // namespace kx::kxdata
