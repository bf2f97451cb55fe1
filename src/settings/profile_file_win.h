// The Win32 private-profile functions behind ProfileFile, and the program's own file name
// behind ProgramLocation (kernel32, ANSI functions).
#pragma once

#include "src/settings/ini_file.h"

namespace kx::settings {

class Win32ProfileFile : public ProfileFile {
 public:
  std::string ReadString(const std::string& file_name, const std::string& section,
                         const std::string& key, const std::string& default_text,
                         size_t buffer_size) override;
  ProfileWrite WriteString(const std::string& file_name, const std::string& section,
                           const std::string& key, const std::string& text) override;
  void Flush(const std::string& file_name) override;
};

// The running program's file, from the module file name of the process.
class Win32ProgramLocation : public ProgramLocation {
 public:
  std::string ProgramFileName() override;
};

ProfileFile& DefaultProfileFile();
ProgramLocation& DefaultProgramLocation();

}  // namespace kx::settings
