// OsFile and the file helpers on POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/error_codes.h"
#include "engine/os_file.h"
#include "engine/os_file_platform.h"

namespace kx::engine {
namespace {

// The byte that table locks cover: far past any real file size, so locking it never
// touches data and never conflicts with anything but another table lock.
constexpr off_t kLockOffset = 0x7FFFFFFF00000000LL;

std::string ErrnoText(int err) { return std::strerror(err); }

class MappedView final : public FileView {
 public:
  MappedView(char* map, size_t length, uint64_t skip, size_t n) : map_(map), length_(length) {
    data_ = map + skip;
    size_ = n;
  }
  ~MappedView() override { munmap(map_, length_); }

 private:
  char* map_;
  size_t length_;
};

class PosixFile : public OsFile {
 public:
  PosixFile(std::string path, int fd) : OsFile(std::move(path)), fd_(fd) {}
  ~PosixFile() override { close(fd_); }  // closing the descriptor releases its lock

  size_t ReadAt(uint64_t offset, void* buffer, size_t n) override {
    size_t done = 0;
    char* out = static_cast<char*>(buffer);
    while (done < n) {
      ssize_t got = pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
      if (got < 0) {
        if (errno == EINTR) continue;
        Fail(kErrIo, "a read of " + Path() + ": " + ErrnoText(errno));
      }
      if (got == 0) break;
      done += static_cast<size_t>(got);
    }
    return done;
  }

  std::unique_ptr<FileView> View(uint64_t offset, size_t n) override {
    const uint64_t size = Size();
    n = offset >= size ? 0 : static_cast<size_t>(std::min<uint64_t>(n, size - offset));
    const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    const uint64_t start = offset / page * page;
    const size_t length = static_cast<size_t>(offset - start) + n;
    void* at = n == 0
                   ? MAP_FAILED
                   : mmap(nullptr, length, PROT_READ, MAP_SHARED, fd_, static_cast<off_t>(start));
    if (at == MAP_FAILED) return OsFile::View(offset, n);  // read instead
    return std::make_unique<MappedView>(static_cast<char*>(at), length, offset - start, n);
  }

  void WriteAt(uint64_t offset, const void* data, size_t n) override {
    size_t done = 0;
    const char* in = static_cast<const char*>(data);
    while (done < n) {
      ssize_t put = pwrite(fd_, in + done, n - done, static_cast<off_t>(offset + done));
      if (put < 0) {
        if (errno == EINTR) continue;
        Fail(kErrIo, "a write to " + Path() + ": " + ErrnoText(errno));
      }
      done += static_cast<size_t>(put);
    }
  }

  uint64_t Size() override {
    struct stat st;
    if (fstat(fd_, &st) != 0) Fail(kErrIo, "the size of " + Path() + ": " + ErrnoText(errno));
    return static_cast<uint64_t>(st.st_size);
  }

  void Truncate(uint64_t size) override {
    if (ftruncate(fd_, static_cast<off_t>(size)) != 0) {
      Fail(kErrIo, "truncating " + Path() + ": " + ErrnoText(errno));
    }
  }

  void Sync() override {
    if (fsync(fd_) != 0) Fail(kErrIo, "flushing " + Path() + ": " + ErrnoText(errno));
  }
  void DropCached(uint64_t offset, uint64_t length) override {
#ifdef POSIX_FADV_DONTNEED
    posix_fadvise(fd_, static_cast<off_t>(offset), static_cast<off_t>(length), POSIX_FADV_DONTNEED);
#endif
  }
  void StartWriteback(uint64_t offset, uint64_t length) override {
#ifdef SYNC_FILE_RANGE_WRITE
    sync_file_range(fd_, static_cast<off_t>(offset), static_cast<off_t>(length),
                    SYNC_FILE_RANGE_WRITE);
#endif
  }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<OsFile> PlatformOpen(const std::string& path, OsFile::Mode mode, LockKind lock,
                                     OpenResult* result, std::string* error) {
  using Mode = OsFile::Mode;
  std::string native = NativePath(path);
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::kRead:
      flags |= O_RDONLY;
      break;
    case Mode::kReadWrite:
      flags |= O_RDWR;
      break;
    case Mode::kCreateNew:
      flags |= O_RDWR | O_CREAT | O_EXCL;
      break;
    case Mode::kTruncate:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
  }
  if (mode == Mode::kRead || mode == Mode::kReadWrite) {
    // Opening a folder succeeds on POSIX; a table is a regular file.
    struct stat st;
    if (stat(native.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
      *result = OpenResult::kNotFound;
      *error = "not a regular file";
      return nullptr;
    }
  }
  int fd = open(native.c_str(), flags, 0644);
  if (fd < 0) {
    int err = errno;
    *result = err == ENOENT   ? OpenResult::kNotFound
              : err == EEXIST ? OpenResult::kExists
                              : OpenResult::kFailed;
    *error = ErrnoText(err);
    return nullptr;
  }
  if (lock != LockKind::kNone) {
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    // A write lock needs a descriptor open for writing; a shared read-only open takes a
    // read lock, which needs read access only.
    fl.l_type = lock == LockKind::kExclusive ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = kLockOffset;
    fl.l_len = 1;
    if (lock == LockKind::kExclusive && mode == Mode::kRead) {
      close(fd);
      *result = OpenResult::kFailed;
      *error = "an exclusive lock needs write access";
      return nullptr;
    }
    if (fcntl(fd, F_OFD_SETLK, &fl) != 0) {
      int err = errno;
      close(fd);
      *result = (err == EAGAIN || err == EACCES) ? OpenResult::kInUse : OpenResult::kFailed;
      *error = ErrnoText(err);
      return nullptr;
    }
  }
  *result = OpenResult::kOk;
  return std::unique_ptr<OsFile>(new PosixFile(path, fd));
}

std::string NativePath(const std::string& path) {
  std::string out = path;
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(NativePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FolderExists(const std::string& path) {
  struct stat st;
  return stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PlatformRemoveFileIfPresent(const std::string& path) {
  return unlink(NativePath(path).c_str()) == 0 || errno == ENOENT;
}

void PlatformRenameOver(const std::string& from, const std::string& to) {
  if (rename(NativePath(from).c_str(), NativePath(to).c_str()) != 0) {
    Fail(kErrIo, "renaming " + from + " to " + to + ": " + ErrnoText(errno));
  }
  PlatformSyncFolderOf(to);
}

void PlatformSyncFolderOf(const std::string& path) {
  std::string native = NativePath(path);
  size_t slash = native.find_last_of('/');
  std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : native.substr(0, slash);
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

std::vector<std::string> ListFiles(const std::string& dir) {
  std::vector<std::string> names;
  std::string native = NativePath(dir);
  DIR* d = opendir(native.c_str());
  if (d == nullptr) return names;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (FileExists(native + "/" + name)) names.push_back(name);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

char PathSeparator() { return '/'; }

}  // namespace kx::engine
