#include "src/widgets/window_guard_win.h"

#include <commctrl.h>

#include <memory>
#include <mutex>
#include <utility>

#include "src/common/exception.h"

namespace kx::widgets {

namespace {

std::mutex& DisplayLock() {
  static std::mutex lock;
  return lock;
}

CallbackErrorDisplay& Display() {
  static CallbackErrorDisplay display;
  return display;
}

void ShowPlainBox(const char* text) {
  MessageBoxA(nullptr, text, "Error", MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

// Asks the subclass with the id in wParam to leave the chain: the message goes down the chain
// until it reaches the one procedure that knows its handler.
UINT RemoveMessage() {
  static const UINT message = RegisterWindowMessageW(L"KxRemoveSubclass");
  return message;
}

LRESULT CALLBACK GuardedSubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                     DWORD_PTR data) {
  auto* handler = reinterpret_cast<SubclassHandler*>(data);
  if (msg == RemoveMessage() && wp == id) {
    RemoveWindowSubclass(hwnd, GuardedSubclassProc, id);
    delete handler;
    return TRUE;
  }
  if (msg != WM_NCDESTROY) {
    return GuardCallback<LRESULT>(0, [&] { return (*handler)(hwnd, msg, wp, lp); });
  }
  // The subclass leaves the chain before the window is gone, then hears its last message.
  std::unique_ptr<SubclassHandler> owned(handler);
  RemoveWindowSubclass(hwnd, GuardedSubclassProc, id);
  return GuardCallback<LRESULT>(0, [&] { return (*owned)(hwnd, msg, wp, lp); });
}

}  // namespace

void SetCallbackErrorDisplay(CallbackErrorDisplay display) {
  std::lock_guard<std::mutex> guard(DisplayLock());
  Display() = std::move(display);
}

void ReportCallbackError(const std::exception& error) noexcept {
  try {
    CallbackErrorDisplay display;
    {
      std::lock_guard<std::mutex> guard(DisplayLock());
      display = Display();
    }
    if (display) {
      display(error);
      return;
    }
    const auto* own = dynamic_cast<const Exception*>(&error);
    ShowPlainBox(own ? own->Message().c_str() : error.what());
  } catch (...) {
    // The display itself failed: nothing is left to show it with.
  }
}

void ReportUnknownCallbackError() noexcept {
  ReportCallbackError(Exception("An unexpected error occurred"));
}

bool InstallSubclass(HWND hwnd, UINT_PTR id, SubclassHandler handler) {
  auto owned = std::make_unique<SubclassHandler>(std::move(handler));
  if (!SetWindowSubclass(hwnd, GuardedSubclassProc, id, reinterpret_cast<DWORD_PTR>(owned.get())))
    return false;
  owned.release();  // freed at WM_NCDESTROY or by RemoveSubclass
  return true;
}

void RemoveSubclass(HWND hwnd, UINT_PTR id) { SendMessageW(hwnd, RemoveMessage(), id, 0); }

LRESULT CallNextSubclass(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace kx::widgets
