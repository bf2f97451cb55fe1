// A file layer for tests that sits between the engine and the disk (see FileLayer in
// os_file.h). It numbers every file call from 1 and can
//  - make one chosen call fail as a full disk, a refused access or an I/O error does,
//  - let the process die at a chosen call: that call and every later one does nothing and
//    fails, and everything written before stays as it is (the system keeps a dead process's
//    writes), so that what the engine finds at its next open is what a killed process
//    leaves,
//  - end the process for real at a chosen call, as a kill landing there would (for a crash
//    test that runs the engine in a child process), or
//  - cut the power at a chosen call: the same, and RestoreDurableState() then leaves the
//    watched folder as the disk would show it after the restart.
//
// The power-cut model: a file's content survives only as far as it was flushed (Sync); a
// file created, renamed or removed exists after the restart only if its folder was made
// durable afterwards (SyncFolderOf, or RenameOver, which makes its own rename durable). A
// file renamed before it was flushed keeps its name but only the content flushed before,
// which for a new file is nothing. Files are followed by identity, so a flushed temporary
// file renamed over another keeps its flushed content under the new name.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "engine/error_codes.h"
#include "engine/os_file.h"

namespace kx::engine {

enum class InjectedError { kDiskFull, kAccessDenied, kIoError };
const char* InjectedErrorName(InjectedError error);

// What every call fails with once the process is dead or the power is off.
class CallsStopped : public EngineError {
 public:
  explicit CallsStopped(const std::string& why) : EngineError(kErrIo, why) {}
};

// Ends the running process at once, as a kill from outside does (SIGKILL natively,
// TerminateProcess with exit code 9 on Windows): no destructor, flush or handler runs.
[[noreturn]] void EndThisProcessNow();

class FaultyFileLayer : public FileLayer {
 public:
  // Installs itself over the layer installed before, which serves the calls; the destructor
  // puts that layer back.
  FaultyFileLayer();
  ~FaultyFileLayer() override;
  FaultyFileLayer(const FaultyFileLayer&) = delete;
  FaultyFileLayer& operator=(const FaultyFileLayer&) = delete;

  // File calls made so far: opens, reads, writes, sizes, truncations, flushes, removals,
  // renames and folder flushes.
  uint64_t Calls() const { return calls_; }

  // Call number `n` (counted as Calls() counts) fails with `error`; the others succeed.
  void FailCall(uint64_t n, InjectedError error);
  // Whether the chosen call has failed, and which call it was ("WriteAt item.adi.tmp").
  bool Failed() const { return !failed_call_.empty(); }
  const std::string& FailedCall() const { return failed_call_; }
  // Whether that call's failure must reach the caller: a call that changes a file (a write,
  // truncation, flush, rename, or an open for writing). A failed read may rightly be taken
  // for an unreadable file, and a failed removal of a leftover or flush of a folder may
  // rightly go unreported, as long as the operation's result is whole.
  bool FailureMustBeReported() const { return failure_must_be_reported_; }

  // Takes the files of `folder` as they are now as durable, and follows the folder from now
  // on. Calls on files elsewhere are counted and passed through.
  void WatchFolder(const std::string& folder);
  // Whether flushes reach the disk (on by default). The power-cut model does not need them,
  // and a loop over thousands of runs is much faster without them.
  void SetDiskFlushes(bool on) { disk_flushes_ = on; }
  // Call number `n` is the first one that the dead process does not make: it and every later
  // call fail and change nothing.
  void DieAt(uint64_t n);
  // Call number `n` ends the process at once instead of being made.
  void EndProcessAt(uint64_t n) { end_at_ = n; }
  // Call number `n` cuts the power.
  void CutPowerAt(uint64_t n);
  // Whether the calls have stopped, by the process's death or a power cut.
  bool Stopped() const { return stopped_; }
  bool PowerIsOff() const { return stopped_ && cut_at_ != 0; }
  // Rewrites the watched folder to its durable state: files that would not survive are
  // removed, the others get their flushed content. Call it when no file of the folder is
  // open any more.
  void RestoreDurableState();

 private:
  class File;
  friend class File;

  // Counts one call; throws CallsStopped once the calls have stopped. Returns true when this call
  // is the one to fail. `changes` tells whether the call changes a file.
  bool Enter(const char* what, const std::string& path, bool changes);
  [[noreturn]] void Throw(const char* what, const std::string& path);
  // The folder-relative key of a path in the watched folder, or "" for any other path.
  std::string Key(const std::string& path) const;
  void MakeFolderDurable();

  std::unique_ptr<OsFile> Open(const std::string& path, OsFile::Mode mode, LockKind lock,
                               OpenResult* result, std::string* error) override;
  bool RemoveFileIfPresent(const std::string& path) override;
  void RenameOver(const std::string& from, const std::string& to) override;
  void SyncFolderOf(const std::string& path) override;

  FileLayer* base_;
  FileLayer* previous_;
  uint64_t calls_ = 0;
  uint64_t fail_at_ = 0;
  InjectedError error_ = InjectedError::kIoError;
  std::string failed_call_;
  bool failure_must_be_reported_ = false;
  uint64_t die_at_ = 0;
  uint64_t end_at_ = 0;
  uint64_t cut_at_ = 0;
  bool stopped_ = false;
  bool disk_flushes_ = true;

  std::string folder_;                  // normalised, "" when none is watched
  int next_node_ = 0;                   // file identities
  std::map<std::string, int> current_;  // name -> file, as the folder is now
  std::map<std::string, int> durable_;  // name -> file, as it survives a power cut
  std::map<int, std::string> flushed_;  // file -> content as last flushed
};

}  // namespace kx::engine
