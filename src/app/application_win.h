// The application object: the title, a hidden application window that carries the title to
// the taskbar and owns the main window and the error box, the message loop, and the error
// display that every window handler's exception ends in.
#pragma once

#include <windows.h>

#include <exception>
#include <string>

#include "src/widgets/window_guard_win.h"

namespace kx::app {

class Application {
 public:
  static Application& Instance();

  void Initialize(HINSTANCE instance);
  void SetTitle(const std::string& title);
  const std::string& Title() const { return title_; }
  HINSTANCE InstanceHandle() const { return instance_; }
  HWND Handle() const { return handle_; }
  void SetMainWindow(HWND main) { main_ = main; }
  // While busy (a rebuild run lasts) the main window's client area takes no keyboard or mouse
  // input; its frame still moves, and its close box and system menu ask to close.
  void SetBusy(bool busy) { busy_ = busy; }

  // Processes messages until Terminate; Tab moves between the main window's controls.
  void Run();
  void Terminate();
  // The program minimised as a whole: the main window is hidden and the application window
  // (the taskbar entry) minimised; restoring the entry shows the main window again.
  void Minimize();
  void Restore();
  bool Terminated() const { return terminated_; }

  // The error box: the message (with the full-stop rule) in a modal box owned by the
  // application window, the title as caption, the stop icon and OK. Every window of the
  // application is disabled while it is open; the focus goes back where it was. Every
  // exception caught at a window procedure, hook or callback ends here.
  void ShowException(const std::exception& error);
  void ShowErrorText(const std::string& message);

  // The "Information" dialog: information icon, OK (Enter and Esc), centred on the screen,
  // modal over `owner`; the application window is disabled too while it is open.
  void ShowInformation(HWND owner, const std::string& text);

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  bool DroppedWhileBusy(const MSG& msg) const;

  HINSTANCE instance_ = nullptr;
  HWND handle_ = nullptr;
  HWND main_ = nullptr;
  std::string title_;
  bool terminated_ = false;
  bool busy_ = false;
};

// Runs `handler` and shows any exception it lets out through the error display: the same
// boundary that every window procedure, hook and callback of the program sits behind.
template <typename Handler>
void Guarded(Handler&& handler) {
  widgets::GuardCallback(0, [&handler] {
    handler();
    return 0;
  });
}

}  // namespace kx::app
