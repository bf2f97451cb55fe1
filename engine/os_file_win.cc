// OsFile and the file helpers on Windows. Exclusivity rests on the share mode of the handle:
// Windows and Wine both refuse a second open that the share mode does not allow.
#include <windows.h>

#include <algorithm>
#include <memory>
#include <type_traits>

#include "engine/error_codes.h"
#include "engine/os_file.h"
#include "engine/os_file_platform.h"

namespace kx::engine {
namespace {

// Closes a search handle of FindFirstFile.
struct FindCloser {
  void operator()(HANDLE find) const { FindClose(find); }
};
using FindHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, FindCloser>;

// Closes a file mapping object; a view mapped from it keeps it alive on its own.
struct MappingCloser {
  void operator()(HANDLE mapping) const { CloseHandle(mapping); }
};
using MappingHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, MappingCloser>;

class MappedView final : public FileView {
 public:
  MappedView(void* base, uint64_t skip, size_t n) : base_(base) {
    data_ = static_cast<const char*>(base) + skip;
    size_ = n;
  }
  ~MappedView() override { UnmapViewOfFile(base_); }

 private:
  void* base_;
};

std::string WinErrorText(DWORD err) {
  char buffer[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, err,
                           0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, n);
  while (!text.empty() &&
         (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  return text + " (error " + std::to_string(err) + ")";
}

class WinFile : public OsFile {
 public:
  WinFile(std::string path, HANDLE handle) : OsFile(std::move(path)), handle_(handle) {}
  ~WinFile() override { CloseHandle(handle_); }

  size_t ReadAt(uint64_t offset, void* buffer, size_t n) override {
    size_t done = 0;
    char* out = static_cast<char*>(buffer);
    while (done < n) {
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(n - done, 1u << 30));
      OVERLAPPED ov = {};
      uint64_t at = offset + done;
      ov.Offset = static_cast<DWORD>(at);
      ov.OffsetHigh = static_cast<DWORD>(at >> 32);
      DWORD got = 0;
      if (!ReadFile(handle_, out + done, chunk, &got, &ov)) {
        DWORD err = GetLastError();
        if (err == ERROR_HANDLE_EOF) break;
        Fail(kErrIo, "a read of " + Path() + ": " + WinErrorText(err));
      }
      if (got == 0) break;
      done += got;
    }
    return done;
  }

  std::unique_ptr<FileView> View(uint64_t offset, size_t n) override {
    const uint64_t size = Size();
    n = offset >= size ? 0 : static_cast<size_t>(std::min<uint64_t>(n, size - offset));
    if (n == 0) return OsFile::View(offset, n);
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const uint64_t start = offset / info.dwAllocationGranularity * info.dwAllocationGranularity;
    const uint64_t end = offset + n;
    MappingHandle mapping(CreateFileMappingA(handle_, nullptr, PAGE_READONLY,
                                             static_cast<DWORD>(end >> 32), static_cast<DWORD>(end),
                                             nullptr));
    void* at = mapping
                   ? MapViewOfFile(mapping.get(), FILE_MAP_READ, static_cast<DWORD>(start >> 32),
                                   static_cast<DWORD>(start), static_cast<SIZE_T>(end - start))
                   : nullptr;
    if (at == nullptr) return OsFile::View(offset, n);  // read instead
    return std::make_unique<MappedView>(at, offset - start, n);
  }

  void WriteAt(uint64_t offset, const void* data, size_t n) override {
    size_t done = 0;
    const char* in = static_cast<const char*>(data);
    while (done < n) {
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(n - done, 1u << 30));
      OVERLAPPED ov = {};
      uint64_t at = offset + done;
      ov.Offset = static_cast<DWORD>(at);
      ov.OffsetHigh = static_cast<DWORD>(at >> 32);
      DWORD put = 0;
      if (!WriteFile(handle_, in + done, chunk, &put, &ov)) {
        Fail(kErrIo, "a write to " + Path() + ": " + WinErrorText(GetLastError()));
      }
      done += put;
    }
  }

  uint64_t Size() override {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle_, &size)) {
      Fail(kErrIo, "the size of " + Path() + ": " + WinErrorText(GetLastError()));
    }
    return static_cast<uint64_t>(size.QuadPart);
  }

  void Truncate(uint64_t size) override {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFilePointerEx(handle_, at, nullptr, FILE_BEGIN) || !SetEndOfFile(handle_)) {
      Fail(kErrIo, "truncating " + Path() + ": " + WinErrorText(GetLastError()));
    }
  }

  void Sync() override {
    if (!FlushFileBuffers(handle_)) {
      Fail(kErrIo, "flushing " + Path() + ": " + WinErrorText(GetLastError()));
    }
  }

 private:
  HANDLE handle_;
};

}  // namespace

std::unique_ptr<OsFile> PlatformOpen(const std::string& path, OsFile::Mode mode, LockKind lock,
                                     OpenResult* result, std::string* error) {
  using Mode = OsFile::Mode;
  DWORD access = GENERIC_READ;
  DWORD disposition = OPEN_EXISTING;
  switch (mode) {
    case Mode::kRead:
      break;
    case Mode::kReadWrite:
      access |= GENERIC_WRITE;
      break;
    case Mode::kCreateNew:
      access |= GENERIC_WRITE;
      disposition = CREATE_NEW;
      break;
    case Mode::kTruncate:
      access |= GENERIC_WRITE;
      disposition = CREATE_ALWAYS;
      break;
  }
  DWORD share = 0;
  switch (lock) {
    case LockKind::kNone:
      share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
      break;
    case LockKind::kShared:
      share = FILE_SHARE_READ | FILE_SHARE_WRITE;
      break;
    case LockKind::kExclusive:
      share = 0;
      break;
  }
  HANDLE h = CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD err = GetLastError();
    switch (err) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_INVALID_NAME:
        *result = OpenResult::kNotFound;
        break;
      case ERROR_SHARING_VIOLATION:
      case ERROR_LOCK_VIOLATION:
        *result = OpenResult::kInUse;
        break;
      case ERROR_FILE_EXISTS:
      case ERROR_ALREADY_EXISTS:
        *result = OpenResult::kExists;
        break;
      case ERROR_ACCESS_DENIED:
        // Opening a folder as a file fails this way.
        *result = FolderExists(path) ? OpenResult::kNotFound : OpenResult::kFailed;
        break;
      default:
        *result = OpenResult::kFailed;
    }
    *error = WinErrorText(err);
    return nullptr;
  }
  *result = OpenResult::kOk;
  return std::unique_ptr<OsFile>(new WinFile(path, h));
}

std::string NativePath(const std::string& path) { return path; }

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool PlatformRemoveFileIfPresent(const std::string& path) {
  if (DeleteFileA(path.c_str())) return true;
  DWORD err = GetLastError();
  return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND;
}

void PlatformRenameOver(const std::string& from, const std::string& to) {
  // Another process reading the target at this instant makes the rename fail for a moment;
  // try a few times before giving up.
  DWORD err = 0;
  for (int attempt = 0; attempt < 20; ++attempt) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return;
    }
    err = GetLastError();
    if (err != ERROR_ACCESS_DENIED && err != ERROR_SHARING_VIOLATION) break;
    Sleep(50);
  }
  Fail(kErrIo, "renaming " + from + " to " + to + ": " + WinErrorText(err));
}

void PlatformSyncFolderOf(const std::string&) {}

std::vector<std::string> ListFiles(const std::string& dir) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  const HANDLE first = FindFirstFileA((dir + "\\*").c_str(), &data);
  if (first == INVALID_HANDLE_VALUE) return names;
  const FindHandle find(first);
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
  } while (FindNextFileA(find.get(), &data));
  std::sort(names.begin(), names.end());
  return names;
}

char PathSeparator() { return '\\'; }

}  // namespace kx::engine
