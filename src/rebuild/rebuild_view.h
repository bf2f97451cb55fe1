// What the rebuild run touches of the main window.
//
// The Win32 window implements RebuildView over its real controls; tests use a recording view.
// Every "repaint at once" in the run is the view's business: SetProgressPosition and the
// status label setters draw the control before they return, since the run holds the thread.
#pragma once

#include <string>

namespace kx::rebuild {

class RebuildView {
 public:
  virtual ~RebuildView() = default;

  // The folder field's text, exactly as typed (nothing trimmed or normalised).
  virtual std::string FolderPath() = 0;
  // Puts a text into the folder field (notifies a change when it differs).
  virtual void SetFolderPath(const std::string& path) = 0;

  virtual void SetErrorText(const std::string& text) = 0;
  virtual void SetErrorVisible(bool visible) = 0;

  virtual void SetProgressVisible(bool visible) = 0;
  // Sets the progress bar's position (0 to 100) and repaints it at once.
  virtual void SetProgressPosition(int position) = 0;

  // Sets the status label's text; with SetStatusVisible the label is repainted at once.
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void SetStatusVisible(bool visible) = 0;

  virtual void SetExitEnabled(bool enabled) = 0;
  virtual void FocusExit() = 0;
  virtual void SetRebuildButtonVisible(bool visible) = 0;
};

}  // namespace kx::rebuild
