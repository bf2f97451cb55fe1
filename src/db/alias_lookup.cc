#include "src/db/alias_lookup.h"

#include "src/common/ascii_case.h"

namespace kx::db {

ResolvedAlias ResolveAlias(AliasLookup& lookup, const std::string& alias) {
  ResolvedAlias result;
  std::optional<std::string> entry = lookup.ReadAliasEntry(alias);
  if (!entry) return result;
  std::string value = *entry;
  const size_t semicolon = value.find(';');
  if (semicolon != std::string::npos) {
    const char type = semicolon + 1 < value.size() ? AsciiUpper(value[semicolon + 1]) : '\0';
    result.table_type = type == 'N' ? 2 : type == 'C' ? 1 : type == 'A' ? 3 : 0;
    value.resize(semicolon);
  }
  result.found = !value.empty();
  result.path = result.found ? value : std::string();
  if (!result.found) result.table_type = 0;
  return result;
}

}  // namespace kx::db
