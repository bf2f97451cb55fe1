// The Win32 file system.
#include <windows.h>

#include "src/rebuild/file_system.h"

namespace kx::rebuild {

namespace {
class Win32FileSystem : public FileSystem {
 public:
  bool FileExists(const std::string& path) override {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }
  bool RemoveFile(const std::string& path) override { return DeleteFileA(path.c_str()) != 0; }
};
}  // namespace

FileSystem& DefaultFileSystem() {
  static Win32FileSystem files;
  return files;
}

// The ANSI call, as for every other path of the program.
bool MoveFileOver(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace kx::rebuild
