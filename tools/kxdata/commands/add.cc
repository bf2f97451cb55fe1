// add TABLE.adt FILE.csv|-
//
// The first CSV row names the fields (in any order, case ignored); fields it does not name
// stay blank. Every row is converted before anything is written, so bad input adds nothing.
#include <algorithm>
#include <fstream>
#include <istream>
#include <ostream>
#include <string_view>

#include "engine/table_file.h"
#include "tools/kxdata/args.h"
#include "tools/kxdata/commands/commands.h"
#include "tools/kxdata/csv.h"

namespace kx::kxdata {

namespace {

// An empty value with a real address: blank fields are passed as this, not as a null view.
constexpr std::string_view kBlank = "";

// The field index of each CSV column.
std::vector<int> MapHeader(const engine::TableFile& table, const CsvRow& header) {
  std::vector<int> columns;
  std::vector<bool> seen(table.Fields().size(), false);
  for (const std::string& name : header.fields) {
    int field = table.FindField(name);
    if (field < 0) {
      throw ToolError("CSV line " + std::to_string(header.line) + ": unknown field \"" + name +
                      "\" (" + table.Path() + " has no such field)");
    }
    if (seen[static_cast<std::size_t>(field)]) {
      throw ToolError("CSV line " + std::to_string(header.line) + ": field \"" + name +
                      "\" is named twice");
    }
    seen[static_cast<std::size_t>(field)] = true;
    columns.push_back(field);
  }
  return columns;
}

int AddFrom(std::istream& input, const std::string& table_path, std::ostream& out) {
  auto table = engine::TableFile::Open(table_path, engine::OpenMode::kExclusive);
  CsvReader reader(input);
  CsvRow header;
  if (!reader.Next(header)) throw ToolError("the CSV input is empty: a header row is needed");
  const std::vector<int> columns = MapHeader(*table, header);

  const std::size_t record_length = table->RecordLength();
  std::string images;
  std::vector<std::string_view> values(table->Fields().size(), kBlank);
  std::size_t count = 0;
  CsvRow row;
  while (reader.Next(row)) {
    if (row.fields.size() != columns.size()) {
      throw ToolError("CSV line " + std::to_string(row.line) + ": " +
                      std::to_string(row.fields.size()) + " values for " +
                      std::to_string(columns.size()) + " fields");
    }
    std::fill(values.begin(), values.end(), kBlank);
    for (std::size_t i = 0; i < columns.size(); ++i) {
      values[static_cast<std::size_t>(columns[i])] = row.fields[i];
    }
    images.resize(images.size() + record_length);
    char* image = images.data() + images.size() - record_length;
    try {
      table->FormatRecord(values, image);
    } catch (const engine::EngineError& e) {
      // Say which value was refused: convert field by field to find it.
      for (std::size_t i = 0; i < columns.size(); ++i) {
        std::vector<std::string_view> single(values.size(), kBlank);
        single[static_cast<std::size_t>(columns[i])] = row.fields[i];
        try {
          table->FormatRecord(single, image);
        } catch (const engine::EngineError& field_error) {
          throw ToolError("CSV line " + std::to_string(row.line) + ", field " + header.fields[i] +
                          ": " + field_error.Message());
        }
      }
      throw ToolError("CSV line " + std::to_string(row.line) + ": " + e.Message());
    }
    ++count;
  }
  if (count > 0) table->AppendRecordImages(images.data(), count);
  out << table->Path() << ": " << count << " records added, " << table->RecordCount()
      << " in all\n";
  return kExitOk;
}

}  // namespace

int CmdAdd(CommandContext& context) {
  ParsedArgs args = ParseArgs(context.args, {}, {}, 2, 2);
  const std::string& source = args.positional[1];
  if (source == "-") return AddFrom(context.in, args.positional[0], context.out);
  std::ifstream file(source, std::ios::binary);
  if (!file) throw ToolError("cannot open the CSV file " + source);
  return AddFrom(file, args.positional[0], context.out);
}

}  // namespace kx::kxdata
