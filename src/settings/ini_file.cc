#include "src/settings/ini_file.h"

#include <cstdint>
#include <limits>

namespace kx::settings {

int TCustomIniFile::ReadInteger(const std::string& section, const std::string& key,
                                int default_value) {
  return ParseIniInteger(ReadString(section, key, std::string()), default_value);
}

void TCustomIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
  WriteString(section, key, std::to_string(value));
}

TIniFile::TIniFile(ProfileFile& profiles, std::string file_name)
    : profiles_(profiles), file_name_(std::move(file_name)) {}

TIniFile::~TIniFile() {
  try {
    profiles_.Flush(file_name_);
  } catch (...) {
    // A flush on the way out has nobody left to tell.
  }
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& default_text) {
  // A text that fills the buffer may have been cut: read again with a larger buffer until it
  // fits, so that a long value is never shortened (and written back shortened).
  size_t size = kReadBufferSize;
  for (;;) {
    std::string text = profiles_.ReadString(file_name_, section, key, default_text, size);
    if (text.size() + 1 < size || size > std::numeric_limits<uint32_t>::max() / 2) return text;
    size *= 2;
  }
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& text) {
  if (profiles_.WriteString(file_name_, section, key, text) == ProfileWrite::kFailed) {
    throw EIniFileException("Unable to write to " + file_name_);
  }
}

void TIniFile::UpdateFile() { profiles_.Flush(file_name_); }

namespace {
bool HexDigitValue(char c, uint32_t* value) {
  if (c >= '0' && c <= '9') {
    *value = static_cast<uint32_t>(c - '0');
  } else if (c >= 'a' && c <= 'f') {
    *value = static_cast<uint32_t>(c - 'a' + 10);
  } else if (c >= 'A' && c <= 'F') {
    *value = static_cast<uint32_t>(c - 'A' + 10);
  } else {
    return false;
  }
  return true;
}

// Hexadecimal digits from `pos` to the end, at most 32 bits.
bool ParseHex(const std::string& text, size_t pos, uint32_t* result) {
  if (pos >= text.size()) return false;
  uint32_t value = 0;
  for (; pos < text.size(); ++pos) {
    uint32_t digit = 0;
    if (!HexDigitValue(text[pos], &digit) || value > 0x0FFFFFFFu) return false;
    value = value * 16 + digit;
  }
  *result = value;
  return true;
}
}  // namespace

int ParseIniInteger(const std::string& text, int default_value) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    uint32_t value = 0;
    return ParseHex(text, 2, &value) ? static_cast<int>(static_cast<int32_t>(value))
                                     : default_value;
  }
  size_t pos = 0;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
    negative = text[pos] == '-';
    ++pos;
  }
  if (pos < text.size() && text[pos] == '$') {
    uint32_t value = 0;
    if (!ParseHex(text, pos + 1, &value)) return default_value;
    if (negative) value = 0u - value;
    return static_cast<int>(static_cast<int32_t>(value));
  }
  if (pos >= text.size()) return default_value;
  // Accumulated as a negative number so that the smallest int fits.
  int64_t value = 0;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c < '0' || c > '9') return default_value;
    value = value * 10 + (c - '0');
    if (value > int64_t{std::numeric_limits<int>::max()} + 1) return default_value;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int>::max()) return default_value;
  return static_cast<int>(value);
}

namespace {
bool IsFolderSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }

size_t NameStart(const std::string& path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsFolderSeparator(path[i - 1])) return i;
  }
  return 0;
}
}  // namespace

std::string ResolveIniFileName(const std::string& ini_file_name,
                               const std::string& program_file_name) {
  const size_t program_name_start = NameStart(program_file_name);
  std::string name = ini_file_name;
  if (name.empty()) {
    name = program_file_name.substr(program_name_start);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    name += ".ini";
  }
  if (NameStart(name) != 0) return name;
  return program_file_name.substr(0, program_name_start) + name;
}

}  // namespace kx::settings
