#include "src/settings/memory_profile.h"

#include <algorithm>

#include "src/common/ascii_case.h"

namespace kx::settings {

std::string MemoryProfileFile::Text(const std::string& file_name) const {
  std::string text;
  auto it = files_.find(file_name);
  if (it == files_.end()) return text;
  for (const Section& section : it->second) {
    text += "[" + section.name + "]\r\n";
    for (const auto& [key, value] : section.keys) text += key + "=" + value + "\r\n";
  }
  return text;
}

std::string MemoryProfileFile::ReadString(const std::string& file_name, const std::string& section,
                                          const std::string& key, const std::string& default_text,
                                          size_t buffer_size) {
  log_.push_back("read " + section + "/" + key + " @" + file_name);
  std::string text = default_text;
  auto file = files_.find(file_name);
  if (file != files_.end()) {
    // The first matching section and, in it, the first matching key count.
    for (const Section& s : file->second) {
      if (!SameTextIgnoringCase(s.name, section)) continue;
      for (const auto& [k, v] : s.keys) {
        if (SameTextIgnoringCase(k, key)) {
          text = v;
          break;
        }
      }
      break;
    }
  }
  if (buffer_size == 0) return {};
  if (text.size() > buffer_size - 1) text.resize(buffer_size - 1);
  return text;
}

ProfileWrite MemoryProfileFile::WriteString(const std::string& file_name,
                                            const std::string& section, const std::string& key,
                                            const std::string& text) {
  log_.push_back("write " + section + "/" + key + "=" + text + " @" + file_name);
  // As on the platform, the length is judged before the file is touched.
  if (text.size() > kLongestText) return ProfileWrite::kTooLong;
  if (unwritable_.count(file_name)) return ProfileWrite::kFailed;
  File& file = files_[file_name];
  auto s = std::find_if(file.begin(), file.end(), [&](const Section& each) {
    return SameTextIgnoringCase(each.name, section);
  });
  if (s == file.end()) {
    file.push_back({section, {}});
    s = file.end() - 1;
  }
  auto k = std::find_if(s->keys.begin(), s->keys.end(),
                        [&](const auto& each) { return SameTextIgnoringCase(each.first, key); });
  if (k == s->keys.end()) {
    s->keys.emplace_back(key, text);
  } else {
    k->second = text;
  }
  return ProfileWrite::kWritten;
}

void MemoryProfileFile::Flush(const std::string& file_name) {
  log_.push_back("flush @" + file_name);
}

}  // namespace kx::settings
