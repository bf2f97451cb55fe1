// The engine's calls that are not file calls, on Windows.
#include <windows.h>

#include "engine/platform.h"

namespace kx::engine {

void ShowErrorMessage(const std::string& title, const std::string& text) {
  MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

void* PlatformAllocateLarge(size_t bytes) {
  return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void PlatformFreeLarge(void* data, size_t) { VirtualFree(data, 0, MEM_RELEASE); }

}  // namespace kx::engine
