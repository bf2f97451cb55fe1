#include "tests/support/child_process.h"

#include <utility>

namespace kx::testing {

bool ChildProcess::WaitForLine(const std::string& line, std::string* seen) {
  for (;;) {
    std::size_t end;
    while ((end = buffered_.find('\n')) != std::string::npos) {
      std::string got = buffered_.substr(0, end);
      buffered_.erase(0, end + 1);
      if (!got.empty() && got.back() == '\r') got.pop_back();
      if (got == line) return true;
      if (seen != nullptr) *seen += got + "\n";
    }
    char chunk[256];
    const std::size_t n = ReadOutput(chunk, sizeof chunk);
    if (n == 0) {
      if (seen != nullptr) *seen += buffered_;
      return false;
    }
    buffered_.append(chunk, n);
  }
}

std::string ChildProcess::ReadToEnd() {
  std::string text = std::move(buffered_);
  buffered_.clear();
  char chunk[4096];
  while (const std::size_t n = ReadOutput(chunk, sizeof chunk)) text.append(chunk, n);
  return text;
}

}  // namespace kx::testing
