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

namespace kx::engine {

enum class LockKind {
  kNone,       // temporary files: no lock, others may read, write and delete
  kShared,     // any number of shared holders, no exclusive one
  kExclusive,  // the only holder
};

enum class OpenResult { kOk, kNotFound, kInUse, kExists, kFailed };

// Bytes of a file to be read in place; valid while the view lives.
class FileView {
 public:
  virtual ~FileView() = default;
  const char* data() const { return data_; }
  size_t size() const { return size_; }

 protected:
  const char* data_ = nullptr;
  size_t size_ = 0;
};

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
  // The n bytes at `offset` (fewer at the end of the file) to be read in place: the file's
  // pages mapped where the platform can, else a copy read into memory of the view's own. A
  // view is for a file that no one changes while it lives.
  virtual std::unique_ptr<FileView> View(uint64_t offset, size_t n);
  // Asks the system to start writing these bytes to the disk now, so that a later Sync has
  // less to wait for. Only a hint: it makes nothing durable and may do nothing.
  virtual void StartWriteback(uint64_t offset, uint64_t length) {}
  // Tells the system that these bytes, read already and on the disk, will not be read again
  // (a file about to be replaced), so that the memory caching them can serve the files being
  // written. Not for bytes not yet flushed: the system may write them out first. Only a
  // hint: it may do nothing.
  virtual void DropCached(uint64_t offset, uint64_t length) {}
  const std::string& Path() const { return path_; }

 protected:
  explicit OsFile(std::string path) : path_(std::move(path)) {}

 private:
  std::string path_;
};

// Opens a file without a lock (through the installed layer). A file that does not exist
// gives nullptr when `missing` is given (and *missing is set); every other failure throws
// EngineError(kErrIo) naming the file.
std::unique_ptr<OsFile> OpenUnlocked(const std::string& path, OsFile::Mode mode,
                                     bool* missing = nullptr);

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

// The calls above that open, replace, remove or make durable, as one replaceable set: a test
// puts a layer between the engine and the disk (engine/faulty_file.h) to make calls fail or
// to simulate a power cut. The platform's layer serves when none is installed.
class FileLayer {
 public:
  virtual ~FileLayer() = default;
  virtual std::unique_ptr<OsFile> Open(const std::string& path, OsFile::Mode mode, LockKind lock,
                                       OpenResult* result, std::string* error) = 0;
  virtual bool RemoveFileIfPresent(const std::string& path) = 0;
  virtual void RenameOver(const std::string& from, const std::string& to) = 0;
  virtual void SyncFolderOf(const std::string& path) = 0;
};

// The platform's layer: the system calls themselves.
FileLayer& PlatformFileLayer();
// Installs `layer` for every later call (nullptr: the platform's again) and returns the one
// installed before. For tests; not to be called while other threads use files.
FileLayer* SetFileLayer(FileLayer* layer);

}  // namespace kx::engine
