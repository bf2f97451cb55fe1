// A RebuildView for tests: keeps the state of the window's controls and the order of the
// changes that matter.
#pragma once

#include <string>
#include <vector>

#include "src/rebuild/rebuild_view.h"

namespace kx::rebuild {

// Keeps the state of the window's controls and the order of the changes.
class RecordingView : public RebuildView {
 public:
  std::string FolderPath() override { return folder; }
  void SetFolderPath(const std::string& path) override {
    if (path != folder) error_visible = false;  // the field's change handler hides the label
    folder = path;
    log.push_back("folder " + path);
  }
  void SetErrorText(const std::string& text) override { error_text = text; }
  void SetErrorVisible(bool visible) override { error_visible = visible; }
  void SetProgressVisible(bool visible) override { progress_visible = visible; }
  void SetProgressPosition(int position) override {
    progress = position;
    positions.push_back(position);
  }
  void SetStatusText(const std::string& text) override { status_text = text; }
  void SetStatusVisible(bool visible) override { status_visible = visible; }
  void SetExitEnabled(bool enabled) override {
    exit_enabled = enabled;
    log.push_back(enabled ? "exit enabled" : "exit disabled");
  }
  void FocusExit() override {
    exit_focused = true;
    log.push_back("focus exit");
  }
  void SetRebuildButtonVisible(bool visible) override { rebuild_visible = visible; }

  std::string folder;
  std::string error_text;
  bool error_visible = false;
  bool progress_visible = false;
  int progress = 0;
  std::vector<int> positions;
  std::string status_text;
  bool status_visible = false;
  bool exit_enabled = true;
  bool exit_focused = false;
  bool rebuild_visible = true;
  std::vector<std::string> log;
};

}  // namespace kx::rebuild
