#include "src/settings/profile_file_win.h"

#include <windows.h>

#include <vector>

namespace kx::settings {

std::string Win32ProfileFile::ReadString(const std::string& file_name, const std::string& section,
                                         const std::string& key, const std::string& default_text,
                                         size_t buffer_size) {
  if (buffer_size == 0) return {};
  std::vector<char> buffer(buffer_size);
  const DWORD length =
      GetPrivateProfileStringA(section.c_str(), key.c_str(), default_text.c_str(), buffer.data(),
                               static_cast<DWORD>(buffer_size), file_name.c_str());
  return std::string(buffer.data(), length < buffer_size ? length : buffer_size - 1);
}

ProfileWrite Win32ProfileFile::WriteString(const std::string& file_name, const std::string& section,
                                           const std::string& key, const std::string& text) {
  if (text.size() > kLongestText) return ProfileWrite::kTooLong;
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), text.c_str(),
                                    file_name.c_str()) != FALSE
             ? ProfileWrite::kWritten
             : ProfileWrite::kFailed;
}

void Win32ProfileFile::Flush(const std::string& file_name) {
  // Its result says nothing useful: a flush with nothing pending may report failure.
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, file_name.c_str());
}

std::string Win32ProgramLocation::ProgramFileName() {
  // The name may be longer than MAX_PATH: grow the buffer while the result fills it.
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return std::string(buffer.data(), length);
    if (buffer.size() >= 32768) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

ProfileFile& DefaultProfileFile() {
  static Win32ProfileFile profiles;
  return profiles;
}

ProgramLocation& DefaultProgramLocation() {
  static Win32ProgramLocation location;
  return location;
}

}  // namespace kx::settings
