// A RebuildView that shows nothing and keeps only the error label's text, for runs outside
// the window where nothing else matters (timings, long series of runs): it holds no record
// of the run that would grow from run to run.
#pragma once

#include <string>

#include "src/rebuild/rebuild_view.h"

namespace kx::rebuild {

class QuietView : public RebuildView {
 public:
  explicit QuietView(std::string folder) : folder_(std::move(folder)) {}
  std::string FolderPath() override { return folder_; }
  void SetFolderPath(const std::string& path) override { folder_ = path; }
  void SetErrorText(const std::string& text) override { error_ = text; }
  void SetErrorVisible(bool) override {}
  void SetProgressVisible(bool) override {}
  void SetProgressPosition(int) override {}
  void SetStatusText(const std::string&) override {}
  void SetStatusVisible(bool) override {}
  void SetExitEnabled(bool) override {}
  void FocusExit() override {}
  void SetRebuildButtonVisible(bool) override {}
  const std::string& Error() const { return error_; }

 private:
  std::string folder_;
  std::string error_;
};

}  // namespace kx::rebuild
