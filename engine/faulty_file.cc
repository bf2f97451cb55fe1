#include "engine/faulty_file.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace kx::engine {
namespace {

std::string ErrorText(InjectedError error) {
  switch (error) {
    case InjectedError::kDiskFull:
      return "No space left on device";
    case InjectedError::kAccessDenied:
      return "Permission denied";
    case InjectedError::kIoError:
      break;
  }
  return "Input/output error";
}

// Slashes only, no doubled separators, and on Windows one case.
std::string Normalise(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == '\\') c = '/';
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out += c;
  }
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  if (PathSeparator() == '\\') {
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  }
  return out;
}

std::string ReadWhole(OsFile* file) {
  std::string bytes(file->Size(), '\0');
  bytes.resize(file->ReadAt(0, bytes.data(), bytes.size()));
  return bytes;
}

}  // namespace

const char* InjectedErrorName(InjectedError error) {
  switch (error) {
    case InjectedError::kDiskFull:
      return "disk full";
    case InjectedError::kAccessDenied:
      return "access denied";
    case InjectedError::kIoError:
      break;
  }
  return "I/O error";
}

// An open file: counts and fails its calls, and records its flushed content when it is one
// of the watched folder's files.
class FaultyFileLayer::File : public OsFile {
 public:
  File(FaultyFileLayer* layer, std::unique_ptr<OsFile> inner, int node)
      : OsFile(inner->Path()), layer_(layer), inner_(std::move(inner)), node_(node) {}

  size_t ReadAt(uint64_t offset, void* buffer, size_t n) override {
    if (layer_->Enter("ReadAt", Path(), false)) layer_->Throw("a read of", Path());
    return inner_->ReadAt(offset, buffer, n);
  }

  void WriteAt(uint64_t offset, const void* data, size_t n) override {
    if (layer_->Enter("WriteAt", Path(), true)) {
      // A full disk takes what fits before it refuses the rest.
      if (layer_->error_ == InjectedError::kDiskFull && n > 1) {
        inner_->WriteAt(offset, data, n / 2);
      }
      layer_->Throw("a write to", Path());
    }
    inner_->WriteAt(offset, data, n);
  }

  uint64_t Size() override {
    if (layer_->Enter("Size", Path(), false)) layer_->Throw("the size of", Path());
    return inner_->Size();
  }

  void Truncate(uint64_t size) override {
    if (layer_->Enter("Truncate", Path(), true)) layer_->Throw("truncating", Path());
    inner_->Truncate(size);
  }

  void Sync() override {
    if (layer_->Enter("Sync", Path(), true)) layer_->Throw("flushing", Path());
    if (layer_->disk_flushes_) inner_->Sync();
    if (node_ >= 0) layer_->flushed_[node_] = ReadWhole(inner_.get());
  }

 private:
  FaultyFileLayer* layer_;
  std::unique_ptr<OsFile> inner_;
  int node_;  // identity in the watched folder, or -1
};

FaultyFileLayer::FaultyFileLayer() {
  previous_ = SetFileLayer(this);
  base_ = previous_ != nullptr ? previous_ : &PlatformFileLayer();
}

FaultyFileLayer::~FaultyFileLayer() { SetFileLayer(previous_); }

void FaultyFileLayer::FailCall(uint64_t n, InjectedError error) {
  fail_at_ = n;
  error_ = error;
  failed_call_.clear();
  failure_must_be_reported_ = false;
}

void FaultyFileLayer::DieAt(uint64_t n) { die_at_ = n; }

void FaultyFileLayer::CutPowerAt(uint64_t n) { cut_at_ = n; }

bool FaultyFileLayer::Enter(const char* what, const std::string& path, bool changes) {
  ++calls_;
  if (end_at_ != 0 && calls_ >= end_at_) EndThisProcessNow();
  const uint64_t stop_at = cut_at_ != 0 ? cut_at_ : die_at_;
  if (stop_at != 0 && calls_ >= stop_at) stopped_ = true;
  if (stopped_) {
    throw CallsStopped((cut_at_ != 0 ? "power lost at " : "process died at ") + std::string(what) +
                       " " + path);
  }
  if (calls_ != fail_at_) return false;
  failed_call_ = std::string(what) + " " + path;
  failure_must_be_reported_ = changes;
  return true;
}

void FaultyFileLayer::Throw(const char* what, const std::string& path) {
  Fail(kErrIo, std::string(what) + " " + path + ": " + ErrorText(error_));
}

std::string FaultyFileLayer::Key(const std::string& path) const {
  if (folder_.empty()) return "";
  std::string p = Normalise(path);
  size_t slash = p.find_last_of('/');
  if (slash == std::string::npos || p.compare(0, slash, folder_) != 0 || slash != folder_.size()) {
    return "";
  }
  return p.substr(slash + 1);
}

void FaultyFileLayer::WatchFolder(const std::string& folder) {
  folder_ = Normalise(folder);
  current_.clear();
  durable_.clear();
  flushed_.clear();
  for (const std::string& name : ListFiles(folder)) {
    OpenResult result;
    std::string error;
    auto file = base_->Open(folder + PathSeparator() + name, OsFile::Mode::kRead, LockKind::kNone,
                            &result, &error);
    if (!file) Fail(kErrIo, "watching " + name + ": " + error);
    int node = next_node_++;
    flushed_[node] = ReadWhole(file.get());
    current_[Key(folder + "/" + name)] = node;
  }
  durable_ = current_;
}

void FaultyFileLayer::MakeFolderDurable() { durable_ = current_; }

std::unique_ptr<OsFile> FaultyFileLayer::Open(const std::string& path, OsFile::Mode mode,
                                              LockKind lock, OpenResult* result,
                                              std::string* error) {
  bool fail;
  try {
    fail = Enter("Open", path, mode != OsFile::Mode::kRead);
  } catch (const CallsStopped& lost) {
    *result = OpenResult::kFailed;
    *error = lost.what();
    return nullptr;
  }
  if (fail) {
    *result = OpenResult::kFailed;
    *error = ErrorText(error_);
    return nullptr;
  }
  auto inner = base_->Open(path, mode, lock, result, error);
  std::string key = Key(path);
  if (key.empty()) {
    return inner ? std::make_unique<File>(this, std::move(inner), -1) : nullptr;
  }
  if (!inner) {
    // Removed behind the engine's back (the rebuild deletes index files itself).
    if (*result == OpenResult::kNotFound) current_.erase(key);
    return nullptr;
  }
  auto known = current_.find(key);
  int node;
  if (known == current_.end()) {
    // A new file, or one made outside this layer: nothing of it is durable yet.
    node = next_node_++;
    flushed_[node] = "";
    current_[key] = node;
  } else {
    node = known->second;
  }
  return std::make_unique<File>(this, std::move(inner), node);
}

bool FaultyFileLayer::RemoveFileIfPresent(const std::string& path) {
  try {
    if (Enter("RemoveFileIfPresent", path, false)) return false;
  } catch (const CallsStopped&) {
    return false;
  }
  bool gone = base_->RemoveFileIfPresent(path);
  std::string key = Key(path);
  if (gone && !key.empty()) current_.erase(key);
  return gone;
}

void FaultyFileLayer::RenameOver(const std::string& from, const std::string& to) {
  if (Enter("RenameOver", to, true)) Throw(("renaming " + from + " to").c_str(), to);
  if (disk_flushes_) {
    base_->RenameOver(from, to);
  } else {
    std::error_code failed;
    std::filesystem::rename(NativePath(from), NativePath(to), failed);
    if (failed) Fail(kErrIo, "renaming " + from + " to " + to + ": " + failed.message());
  }
  std::string from_key = Key(from);
  std::string to_key = Key(to);
  if (from_key.empty() || to_key.empty()) return;
  auto moved = current_.find(from_key);
  if (moved != current_.end()) {
    int node = moved->second;
    current_.erase(moved);
    current_[to_key] = node;
  } else {
    current_[to_key] = next_node_++;
    flushed_[current_[to_key]] = "";
  }
  // The rename is made durable, and with it everything else pending in the folder.
  MakeFolderDurable();
}

void FaultyFileLayer::SyncFolderOf(const std::string& path) {
  try {
    if (Enter("SyncFolderOf", path, false)) return;
  } catch (const CallsStopped&) {
    return;
  }
  if (disk_flushes_) base_->SyncFolderOf(path);
  if (!Key(path).empty()) MakeFolderDurable();
}

void FaultyFileLayer::RestoreDurableState() {
  if (folder_.empty()) return;
  FileLayer& disk = PlatformFileLayer();
  std::string dir = folder_;
  for (const std::string& name : ListFiles(dir)) {
    if (durable_.count(Key(dir + "/" + name)) == 0) disk.RemoveFileIfPresent(dir + "/" + name);
  }
  for (const auto& [name, node] : durable_) {
    OpenResult result;
    std::string error;
    auto file =
        disk.Open(dir + "/" + name, OsFile::Mode::kTruncate, LockKind::kNone, &result, &error);
    if (!file) Fail(kErrIo, "restoring " + name + ": " + error);
    const std::string& bytes = flushed_[node];
    if (!bytes.empty()) file->WriteAt(0, bytes.data(), bytes.size());
  }
  current_ = durable_;
  stopped_ = false;
  cut_at_ = 0;
}

}  // namespace kx::engine
