// The engine's few operating-system calls that are not file calls: showing an error to the
// user and taking large blocks of memory straight from the system. One definition per
// platform (platform_posix.cc, platform_win.cc).
#pragma once

#include <cstddef>
#include <string>

namespace kx::engine {

// Shows an error to the user: a message box on Windows, a line on stderr elsewhere.
void ShowErrorMessage(const std::string& title, const std::string& text);

// Page-aligned memory straight from the system (nullptr when there is none), and its return.
void* PlatformAllocateLarge(size_t bytes);
void PlatformFreeLarge(void* data, size_t bytes);

}  // namespace kx::engine
