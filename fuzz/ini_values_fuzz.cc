// The stored values file with arbitrary contents: the integer parser gives back what it
// reads when its result is printed and parsed again, and a profile read through the
// in-memory profile file returns whole values, also after they are written back.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "src/settings/ini_file.h"
#include "src/settings/memory_profile.h"

namespace {
// "[Section]" lines start sections, "key=value" lines add keys, anything else is skipped.
kx::settings::MemoryProfileFile::File Decode(const std::string& text) {
  kx::settings::MemoryProfileFile::File file;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      file.push_back({line.substr(1, line.size() - 2), {}});
    } else if (size_t eq = line.find('='); eq != std::string::npos && !file.empty()) {
      file.back().keys.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    }
  }
  return file;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  const int value = kx::settings::ParseIniInteger(text, 7);
  if (kx::settings::ParseIniInteger(std::to_string(value), value == 0 ? 1 : 0) != value) {
    std::fprintf(stderr, "%d does not read back\n", value);
    std::abort();
  }

  kx::settings::MemoryProfileFile profiles;
  profiles.SetFile("ads.ini", Decode(text));
  kx::settings::TIniFile ini(profiles, "ads.ini");
  const std::string folder = ini.ReadString("Databases", "dravent", "");
  (void)ini.ReadInteger("Databases", "Version", 0);
  // A value written back is read back whole, however long.
  std::string stored = folder + folder;
  ini.WriteString("Databases", "dravent", stored);
  if (ini.ReadString("Databases", "dravent", "") != stored) {
    std::fprintf(stderr, "a written value of %zu characters reads back differently\n",
                 stored.size());
    std::abort();
  }
  return 0;
}
