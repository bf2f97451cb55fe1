// Alias lookup through the platform's private-profile functions.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "src/db/alias_lookup.h"

namespace kx::db {

namespace {
constexpr DWORD kPathBufferLength = 261;
constexpr DWORD kEntryBufferLength = 1024;

std::string FindIniFile() {
  char folders[4096] = {};
  const DWORD length = GetEnvironmentVariableA("adsini_path", folders, sizeof folders);
  const char* search = (length > 0 && length < sizeof folders) ? folders : nullptr;
  char found[kPathBufferLength] = {};
  if (SearchPathA(search, "ads.ini", nullptr, kPathBufferLength, found, nullptr) > 0 &&
      found[0] != '\0' && std::strlen(found) < kPathBufferLength) {
    return found;
  }
  return "ads.ini";
}

class ProfileAliasLookup : public AliasLookup {
 public:
  std::optional<std::string> ReadAliasEntry(const std::string& alias) override {
    const std::string file = FindIniFile();
    char value[kEntryBufferLength] = {};
    // A marker default tells a missing entry from an empty one.
    static constexpr char kMissing[] = "\x01";
    GetPrivateProfileStringA("Databases", alias.c_str(), kMissing, value, sizeof value,
                             file.c_str());
    if (std::string(value) == kMissing) return std::nullopt;
    return std::string(value);
  }
};
}  // namespace

AliasLookup& DefaultAliasLookup() {
  static ProfileAliasLookup lookup;
  return lookup;
}

}  // namespace kx::db
