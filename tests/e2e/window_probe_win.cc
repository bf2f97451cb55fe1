#include "tests/e2e/window_probe_win.h"

#include "tests/e2e/driver_win.h"

namespace kx::e2e {

std::string RunProbe(HWND window, DWORD thread_id, ProbeCommand command) {
  const std::string path = ProbeAnswerPath();
  DeleteFileA(path.c_str());
  HMODULE dll = LoadLibraryA((BinFolder() + "\\kxwindowprobe.dll").c_str());
  if (!dll) return {};
  auto proc =
      reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(dll, "KxProbeHook")));
  HHOOK hook = proc ? SetWindowsHookExA(WH_GETMESSAGE, proc, dll, thread_id) : nullptr;
  std::string answer;
  if (hook) {
    PostMessageA(window, RegisterWindowMessageA(kProbeMessageName), command, 0);
    WaitUntil([&] { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; });
    answer = ReadFileText(path);
    UnhookWindowsHookEx(hook);
  }
  FreeLibrary(dll);
  return answer;
}

}  // namespace kx::e2e
