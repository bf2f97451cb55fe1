// A RebuildView for a run on another thread: every change the run makes is queued as it
// comes, and the window's thread applies the queue to the real view in the same order. The
// folder path is a copy taken when the run starts (the window takes no input meanwhile), kept
// up to date with the run's own changes. Portable: no windows.h.
#pragma once

#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>

#include "src/rebuild/rebuild_view.h"

namespace kx::app {

class QueuedView : public rebuild::RebuildView {
 public:
  // `notify` is called (on the run's thread) after each change is queued; the window posts
  // itself a message there and calls ApplyPending when it gets it.
  QueuedView(std::string folder_path, std::function<void()> notify);

  // Applies every queued change to `target`, oldest first. Returns true once the run's end
  // has been applied; `failure` then holds what the run let out, if anything.
  bool ApplyPending(rebuild::RebuildView& target, std::exception_ptr& failure);
  // Queued by the run's thread as its last change.
  void Finish(std::exception_ptr failure);

  std::string FolderPath() override;
  void SetFolderPath(const std::string& path) override;
  void SetErrorText(const std::string& text) override;
  void SetErrorVisible(bool visible) override;
  void SetProgressVisible(bool visible) override;
  void SetProgressPosition(int position) override;
  void SetStatusText(const std::string& text) override;
  void SetStatusVisible(bool visible) override;
  void SetExitEnabled(bool enabled) override;
  void FocusExit() override;
  void SetRebuildButtonVisible(bool visible) override;

 private:
  using Change = std::function<void(rebuild::RebuildView&)>;
  void Queue(Change change);

  std::mutex mutex_;
  std::string folder_path_;
  std::deque<Change> changes_;
  bool finished_ = false;
  std::exception_ptr failure_;
  std::function<void()> notify_;
};

}  // namespace kx::app
