#include "tools/kxdata/field_list.h"

#include "tools/kxdata/kxdata.h"

namespace kx::kxdata {

engine::FieldDef ParseFieldSpec(const std::string& text) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  for (;;) {
    auto colon = text.find(':', start);
    parts.push_back(text.substr(start, colon - start));
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  if (parts.size() < 3 || parts.size() > 4) {
    throw UsageError("field \"" + text + "\" is not NAME:TYPE:LENGTH[:DECIMALS]");
  }
  engine::FieldDef field;
  field.name = parts[0];
  if (field.name.empty()) throw UsageError("field \"" + text + "\" has no name");
  if (!engine::ParseFieldType(parts[1], &field.type)) {
    throw UsageError("field " + field.name + " has an unknown type \"" + parts[1] + "\"");
  }
  field.length =
      static_cast<std::uint32_t>(ParseInteger(parts[2], "length of field " + field.name, 0, 65000));
  if (parts.size() == 4) {
    field.decimals = static_cast<std::uint16_t>(
        ParseInteger(parts[3], "decimals of field " + field.name, 0, 30));
  }
  return field;
}

std::vector<engine::FieldDef> ParseFieldSpecs(const std::vector<std::string>& texts) {
  std::vector<engine::FieldDef> fields;
  fields.reserve(texts.size());
  for (const std::string& text : texts) fields.push_back(ParseFieldSpec(text));
  return fields;
}

}  // namespace kx::kxdata
