// dump TABLE.adt [--tag NAME]
//
// Prints the records (tab-separated, with a "*" in the deleted column), then each tag of the
// index file in key order: the record number and that record's values of the key fields. An
// entry whose key no longer matches its record is marked "stale", one that points past the
// end of the table "missing record".
#include <cctype>
#include <ostream>
#include <sstream>

#include "engine/table_file.h"
#include "tools/kxdata/args.h"
#include "tools/kxdata/commands/commands.h"

namespace kx::kxdata {

namespace {

std::vector<std::string> SplitExpression(const std::string& expression) {
  std::vector<std::string> names;
  std::istringstream in(expression);
  std::string name;
  while (std::getline(in, name, ';')) names.push_back(name);
  return names;
}

void DumpRecords(const engine::TableFile& table, std::ostream& out) {
  const auto& fields = table.Fields();
  out << "table " << table.Path() << ": " << fields.size() << " fields, record length "
      << table.RecordLength() << ", " << table.RecordCount() << " records\n";
  out << "record\tdeleted";
  for (const auto& field : fields) out << '\t' << field.name;
  out << '\n';
  table.ForEachRecord([&](std::uint32_t recno, bool deleted, const char* image) {
    out << recno << '\t' << (deleted ? "*" : "");
    for (std::size_t i = 0; i < fields.size(); ++i) out << '\t' << table.FieldText(image, i);
    out << '\n';
    return true;
  });
}

void DumpTag(const engine::TableFile& table, const engine::TagInfo& tag, std::ostream& out) {
  out << "tag " << tag.name << " (" << tag.expression << "): " << tag.entry_count << " entries\n";
  std::vector<int> key_fields;
  out << "record";
  for (const std::string& name : SplitExpression(tag.expression)) {
    key_fields.push_back(table.FindField(name));
    out << '\t' << name;
  }
  out << '\n';
  const std::uint32_t count = table.RecordCount();
  std::string image;
  table.ForEachTagEntry(tag.name, [&](const char* key, std::uint32_t recno) {
    out << recno;
    if (recno < 1 || recno > count) {
      out << "\tmissing record\n";
      return;
    }
    table.ReadRecord(recno, &image);
    for (int field : key_fields) {
      out << '\t'
          << (field < 0 ? std::string("?")
                        : table.FieldText(image.data(), static_cast<std::size_t>(field)));
    }
    if (table.KeyOf(tag.expression, image.data()) != std::string_view(key, tag.key_width)) {
      out << "\tstale";
    } else if (table.IsDeleted(recno)) {
      out << "\tdeleted record";
    }
    out << '\n';
  });
}

}  // namespace

int CmdDump(CommandContext& context) {
  ParsedArgs args = ParseArgs(context.args, {"tag"}, {}, 1, 1);
  auto table = engine::TableFile::Open(args.positional[0], engine::OpenMode::kReadOnly);
  auto only_tag = args.Last("tag");
  if (!only_tag) DumpRecords(*table, context.out);
  bool found = false;
  for (const engine::TagInfo& tag : table->Tags()) {
    if (only_tag) {
      // Tag names are matched as the engine matches them: case ignored.
      std::string a = tag.name, b = *only_tag;
      for (auto& c : a) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      for (auto& c : b) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (a != b) continue;
    }
    found = true;
    DumpTag(*table, tag, context.out);
  }
  if (only_tag && !found) {
    throw ToolError("the index file of " + table->Path() + " has no tag \"" + *only_tag + "\"");
  }
  return kExitOk;
}

}  // namespace kx::kxdata
