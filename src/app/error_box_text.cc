#include "src/app/error_box_text.h"

#include "src/common/exception.h"

namespace kx::app {
namespace {
bool EndsARun(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsSeparator(char c) { return c == '\\' || c == '/'; }
}  // namespace

std::string ErrorBoxText(const std::string& message) {
  // The breaks go in first: the full stop's rule looks only at the last character, which
  // they never change, and a full stop never gets a line of its own.
  std::string shown;
  shown.reserve(message.size() + 8);
  size_t at = 0;
  while (at < message.size()) {
    if (EndsARun(message[at])) {
      shown += message[at++];
      continue;
    }
    size_t end = at;
    while (end < message.size() && !EndsARun(message[end])) ++end;
    while (end - at > kLongestUnbrokenRun) {
      size_t cut = at + kLongestUnbrokenRun;
      for (size_t k = cut; k > at + 1; --k) {
        if (IsSeparator(message[k - 1])) {
          cut = k;
          break;
        }
      }
      shown.append(message, at, cut - at);
      shown += "\r\n";
      at = cut;
    }
    shown.append(message, at, end - at);
    at = end;
  }
  return MessageWithFullStop(shown);
}

}  // namespace kx::app
