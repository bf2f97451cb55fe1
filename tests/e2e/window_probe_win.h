// A probe the end-to-end tests put into the running program: a message hook in a DLL of
// its own, which the system loads into the program's process, where it reads what only that
// process can read (its menu) or brings about a fault of the system (no GDI objects left),
// and writes what it found to a file the test reads.
#pragma once

#include <windows.h>

#include <string>

namespace kx::e2e {

// What the probe does when the window gets its message (wParam).
enum ProbeCommand : WPARAM {
  kProbeReadMenu = 1,    // writes the window's menu, one line per item
  kProbeExhaustGdi = 2,  // takes GDI objects until the system gives no more
  kProbeReleaseGdi = 3,  // gives them back
};

// The message the probe listens for, and the file it answers in.
inline constexpr char kProbeMessageName[] = "KxWindowProbe";
inline std::string ProbeAnswerPath() {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  return std::string(temp) + "kx_window_probe.txt";
}

// Hooks the probe into the thread of `window` and runs one command there; returns the
// probe's answer (empty on a timeout).
std::string RunProbe(HWND window, DWORD thread_id, ProbeCommand command);

}  // namespace kx::e2e
