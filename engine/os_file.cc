// The file calls that go through the installed FileLayer.
#include "engine/os_file.h"

#include <atomic>

#include "engine/error_codes.h"
#include "engine/large_memory.h"
#include "engine/os_file_platform.h"

namespace kx::engine {
namespace {

class PlatformLayer : public FileLayer {
 public:
  std::unique_ptr<OsFile> Open(const std::string& path, OsFile::Mode mode, LockKind lock,
                               OpenResult* result, std::string* error) override {
    return PlatformOpen(path, mode, lock, result, error);
  }
  bool RemoveFileIfPresent(const std::string& path) override {
    return PlatformRemoveFileIfPresent(path);
  }
  void RenameOver(const std::string& from, const std::string& to) override {
    PlatformRenameOver(from, to);
  }
  void SyncFolderOf(const std::string& path) override { PlatformSyncFolderOf(path); }
};

std::atomic<FileLayer*> installed{nullptr};

FileLayer& Layer() {
  FileLayer* layer = installed.load(std::memory_order_acquire);
  return layer != nullptr ? *layer : PlatformFileLayer();
}

// A view read into memory of its own.
class CopiedView final : public FileView {
 public:
  CopiedView(OsFile* file, uint64_t offset, size_t n) : block_(LargeBlock::Take(n)) {
    data_ = block_.data();
    size_ = file->ReadAt(offset, block_.data(), n);
  }

 private:
  LargeBlock block_;
};

}  // namespace

std::unique_ptr<FileView> OsFile::View(uint64_t offset, size_t n) {
  return std::make_unique<CopiedView>(this, offset, n);
}

FileLayer& PlatformFileLayer() {
  static PlatformLayer layer;
  return layer;
}

FileLayer* SetFileLayer(FileLayer* layer) { return installed.exchange(layer); }

std::unique_ptr<OsFile> OsFile::Open(const std::string& path, Mode mode, LockKind lock,
                                     OpenResult* result, std::string* error) {
  return Layer().Open(path, mode, lock, result, error);
}

std::unique_ptr<OsFile> OpenUnlocked(const std::string& path, OsFile::Mode mode, bool* missing) {
  OpenResult result;
  std::string error;
  auto file = OsFile::Open(path, mode, LockKind::kNone, &result, &error);
  if (!file) {
    if (result == OpenResult::kNotFound && missing != nullptr) {
      *missing = true;
      return nullptr;
    }
    Fail(kErrIo, "opening " + path + ": " + error);
  }
  return file;
}

bool RemoveFileIfPresent(const std::string& path) { return Layer().RemoveFileIfPresent(path); }

void RenameOver(const std::string& from, const std::string& to) { Layer().RenameOver(from, to); }

void SyncFolderOf(const std::string& path) { Layer().SyncFolderOf(path); }

}  // namespace kx::engine
