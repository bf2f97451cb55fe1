// The engine's calls that are not file calls, on POSIX systems.
#include <sys/mman.h>

#include <cstdio>

#include "engine/platform.h"

namespace kx::engine {

void ShowErrorMessage(const std::string& title, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
}

void* PlatformAllocateLarge(size_t bytes) {
  void* data = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (data == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
  // Huge pages halve the cost of touching the block the first time.
  madvise(data, bytes, MADV_HUGEPAGE);
#endif
  return data;
}

void PlatformFreeLarge(void* data, size_t bytes) { munmap(data, bytes); }

}  // namespace kx::engine
