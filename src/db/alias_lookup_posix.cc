// Native alias lookup: a small reader of the ini file's "Databases" section.
#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "src/common/ascii_case.h"
#include "src/db/alias_lookup.h"

namespace kx::db {

namespace {
std::string Trim(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

bool IsFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The first "ads.ini" in the folders of adsini_path (separated by ":" or ";"), else the
// bare name, which the current folder resolves.
std::string FindIniFile() {
  const char* folders = std::getenv("adsini_path");
  if (folders != nullptr && *folders != '\0') {
    std::stringstream list(folders);
    std::string folder;
    while (std::getline(list, folder, ':')) {
      std::stringstream parts(folder);
      std::string part;
      while (std::getline(parts, part, ';')) {
        if (part.empty()) continue;
        const std::string path = part + "/ads.ini";
        if (IsFile(path)) return path;
      }
    }
  }
  return "ads.ini";
}

class IniAliasLookup : public AliasLookup {
 public:
  std::optional<std::string> ReadAliasEntry(const std::string& alias) override {
    std::ifstream file(FindIniFile());
    if (!file) return std::nullopt;
    std::string line;
    bool in_section = false;
    while (std::getline(file, line)) {
      line = Trim(line);
      if (line.empty() || line[0] == ';') continue;
      if (line.front() == '[' && line.back() == ']') {
        in_section = SameTextIgnoringCase(line.substr(1, line.size() - 2), "Databases");
        continue;
      }
      const size_t equals = line.find('=');
      if (!in_section || equals == std::string::npos) continue;
      if (SameTextIgnoringCase(Trim(line.substr(0, equals)), alias)) {
        return Trim(line.substr(equals + 1));
      }
    }
    return std::nullopt;
  }
};
}  // namespace

AliasLookup& DefaultAliasLookup() {
  static IniAliasLookup lookup;
  return lookup;
}

}  // namespace kx::db
