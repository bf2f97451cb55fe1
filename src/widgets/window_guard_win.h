// The boundary of every window procedure, subclass procedure, hook and callback of the
// program. An exception must not cross the system's frames (a 32-bit build cannot unwind
// through them and the program would end without a word), so each one is caught here and
// handed to the error display, and the program goes on.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>

namespace kx::widgets {

using CallbackErrorDisplay = std::function<void(const std::exception&)>;

// The display that caught exceptions go to; the program's shell sets its error box here.
// Without one, a plain stop box shows the exception's text.
void SetCallbackErrorDisplay(CallbackErrorDisplay display);

// Hands `error` to the display; never throws.
void ReportCallbackError(const std::exception& error) noexcept;
// The same for an exception of no known type.
void ReportUnknownCallbackError() noexcept;

// Runs `body` and returns what it returns, or `fallback` after reporting what it threw.
template <typename Result, typename Body>
Result GuardCallback(Result fallback, Body&& body) noexcept {
  try {
    return body();
  } catch (const std::exception& error) {
    ReportCallbackError(error);
  } catch (...) {
    ReportUnknownCallbackError();
  }
  return fallback;
}

// One way to subclass a window: the system's subclass chain, entered through one guarded
// procedure. The handler gets every message of the window and passes on what it does not
// handle itself with CallNextSubclass.
using SubclassHandler = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

// Puts `handler` in front of the window's procedure under `id` (one handler per id). It stays
// until RemoveSubclass or the window's destruction; it sees WM_NCDESTROY last of all.
bool InstallSubclass(HWND hwnd, UINT_PTR id, SubclassHandler handler);
void RemoveSubclass(HWND hwnd, UINT_PTR id);
LRESULT CallNextSubclass(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

}  // namespace kx::widgets
