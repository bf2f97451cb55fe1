// The POSIX file system. The run forms Windows paths ("<folder>\item.adt"), so a backslash is
// taken as a separator here too.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "src/rebuild/file_system.h"

namespace kx::rebuild {

namespace {
std::string NativePath(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

class PosixFileSystem : public FileSystem {
 public:
  bool FileExists(const std::string& path) override {
    struct stat info;
    return stat(NativePath(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
  }
  bool RemoveFile(const std::string& path) override {
    return FileExists(path) && unlink(NativePath(path).c_str()) == 0;
  }
};
}  // namespace

FileSystem& DefaultFileSystem() {
  static PosixFileSystem files;
  return files;
}

bool MoveFileOver(const std::string& from, const std::string& to) {
  return std::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0;
}

}  // namespace kx::rebuild
