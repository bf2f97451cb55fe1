// What the rebuild run touches of the file system: a file-exists test and file deletion.
#pragma once

#include <string>

namespace kx::rebuild {

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // True only for an existing file, never for a folder.
  virtual bool FileExists(const std::string& path) = 0;
  // Deletes a file (named RemoveFile since windows.h makes DeleteFile a macro); returns
  // whether it was deleted. Callers may ignore the outcome.
  virtual bool RemoveFile(const std::string& path) = 0;
};

// The real file system of this platform (Win32 or POSIX).
FileSystem& DefaultFileSystem();

// Renames `from` to `to`, replacing an existing `to` in one step, so that one of the two files
// always exists whole; returns whether it was renamed.
bool MoveFileOver(const std::string& from, const std::string& to);

}  // namespace kx::rebuild
