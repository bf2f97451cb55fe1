// Alias lookup in the "ads.ini" file: section "Databases", entry named by the alias.
//
// The connection and the table ask this seam for the raw entry; tests put a map in its place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kx::db {

class AliasLookup {
 public:
  virtual ~AliasLookup() = default;
  // The text of entry `alias` in section "Databases", or nothing when there is none.
  virtual std::optional<std::string> ReadAliasEntry(const std::string& alias) = 0;
};

// Reads the ads.ini found through the folders of the environment variable "adsini_path"
// (the platform's standard search when it is unset or empty), else the bare name "ads.ini".
AliasLookup& DefaultAliasLookup();

// An alias resolved to a path and a table type (0 none, 1 CDX, 2 NTX, 3 ADT).
struct ResolvedAlias {
  bool found = false;
  std::string path;
  uint8_t table_type = 0;
};

// Looks `alias` up: an entry "path;X" gives the table type from X (N NTX, C CDX, A ADT, any
// letter case) and the path before the ";". The alias is found when that path is not empty.
ResolvedAlias ResolveAlias(AliasLookup& lookup, const std::string& alias);

}  // namespace kx::db
