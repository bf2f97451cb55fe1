// The few operating-system file services the engine needs, with one implementation per
// platform (os_file_posix.cc, os_file_win.cc).
//
// Locks: a table file is opened with a lock kind. On Windows the lock is the share mode of
// the open handle (share nothing for exclusive, read and write for shared), which Windows and
// Wine enforce between processes and handles. Natively it is an open-file-description lock
// on one byte far past the end of the file, which conflicts between processes and between
// two opens in one process alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kxengine {

enum class LockKind {
  kNone,       // temporary files: no lock, others may read, write and delete
  kShared,     // any number of shared holders, no exclusive one
  kExclusive,  // the only holder
};

enum class OpenResult { kOk, kNotFound, kInUse, kExists, kFailed };

class OsFile {
 public:
  enum class Mode {
    kRead,       // existing file, read only
    kReadWrite,  // existing file
    kCreateNew,  // a new file, refused when the path exists
    kTruncate,   // created or emptied
  };

  // Opens `path`; on failure returns nullptr with the reason in *result and the system's
  // text in *error.
  static std::unique_ptr<OsFile> Open(const std::string& path, Mode mode, LockKind lock,
                                      OpenResult* result, std::string* error);
  virtual ~OsFile() = default;

  // Reads up to n bytes at offset; returns the number read (fewer only at the end of file).
  virtual size_t ReadAt(uint64_t offset, void* buffer, size_t n) = 0;
  virtual void WriteAt(uint64_t offset, const void* data, size_t n) = 0;
  virtual uint64_t Size() = 0;
  virtual void Truncate(uint64_t size) = 0;
  // Flushes the file's data to the disk (fsync, FlushFileBuffers).
  virtual void Sync() = 0;
  const std::string& Path() const { return path_; }

 protected:
  explicit OsFile(std::string path) : path_(std::move(path)) {}

 private:
  std::string path_;
};

// The path in the form the platform's calls take: natively backslashes become slashes, so
// that paths formed the Windows way ("folder\item.adt") work on both.
std::string NativePath(const std::string& path);
bool FileExists(const std::string& path);  // a regular file, never a folder
bool FolderExists(const std::string& path);
// Removes a file; true when it is gone afterwards (also when it never existed).
bool RemoveFileIfPresent(const std::string& path);
// Renames `from` over `to` atomically, replacing `to`; then makes the rename durable.
// Throws EngineError(kErrIo) on failure.
void RenameOver(const std::string& from, const std::string& to);
// Makes the creation, renaming or removal of files in the folder of `path` durable
// (a no-op where the platform has no such call).
void SyncFolderOf(const std::string& path);
// The names (not paths) of the regular files in a folder; empty when it cannot be read.
std::vector<std::string> ListFiles(const std::string& dir);
// The folder separator of the platform's paths.
char PathSeparator();

// Shows an error to the user: a message box on Windows, a line on stderr elsewhere.
void ShowErrorMessage(const std::string& title, const std::string& text);

}  // namespace kxengine
