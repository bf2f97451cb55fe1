#include "src/app/queued_view.h"

#include <utility>

namespace kx::app {

QueuedView::QueuedView(std::string folder_path, std::function<void()> notify)
    : folder_path_(std::move(folder_path)), notify_(std::move(notify)) {}

void QueuedView::Queue(Change change) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    changes_.push_back(std::move(change));
  }
  notify_();
}

bool QueuedView::ApplyPending(rebuild::RebuildView& target, std::exception_ptr& failure) {
  for (;;) {
    Change change;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (changes_.empty()) {
        failure = failure_;
        return finished_;
      }
      change = std::move(changes_.front());
      changes_.pop_front();
    }
    change(target);
  }
}

void QueuedView::Finish(std::exception_ptr failure) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    failure_ = std::move(failure);
    finished_ = true;
  }
  notify_();
}

std::string QueuedView::FolderPath() {
  std::lock_guard<std::mutex> lock(mutex_);
  return folder_path_;
}

void QueuedView::SetFolderPath(const std::string& path) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    folder_path_ = path;
  }
  Queue([path](rebuild::RebuildView& view) { view.SetFolderPath(path); });
}

void QueuedView::SetErrorText(const std::string& text) {
  Queue([text](rebuild::RebuildView& view) { view.SetErrorText(text); });
}

void QueuedView::SetErrorVisible(bool visible) {
  Queue([visible](rebuild::RebuildView& view) { view.SetErrorVisible(visible); });
}

void QueuedView::SetProgressVisible(bool visible) {
  Queue([visible](rebuild::RebuildView& view) { view.SetProgressVisible(visible); });
}

void QueuedView::SetProgressPosition(int position) {
  Queue([position](rebuild::RebuildView& view) { view.SetProgressPosition(position); });
}

void QueuedView::SetStatusText(const std::string& text) {
  Queue([text](rebuild::RebuildView& view) { view.SetStatusText(text); });
}

void QueuedView::SetStatusVisible(bool visible) {
  Queue([visible](rebuild::RebuildView& view) { view.SetStatusVisible(visible); });
}

void QueuedView::SetExitEnabled(bool enabled) {
  Queue([enabled](rebuild::RebuildView& view) { view.SetExitEnabled(enabled); });
}

void QueuedView::FocusExit() {
  Queue([](rebuild::RebuildView& view) { view.FocusExit(); });
}

void QueuedView::SetRebuildButtonVisible(bool visible) {
  Queue([visible](rebuild::RebuildView& view) { view.SetRebuildButtonVisible(visible); });
}

}  // namespace kx::app
