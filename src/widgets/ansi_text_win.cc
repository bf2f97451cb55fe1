#include "src/widgets/ansi_text_win.h"

#include <windows.h>

namespace kx::widgets {

std::wstring AnsiToWide(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int chars = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(chars), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), chars);
  return wide;
}

std::string WideToAnsi(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const DWORD flags = WC_NO_BEST_FIT_CHARS;
  const int bytes =
      WideCharToMultiByte(CP_ACP, flags, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string ansi(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, flags, text.data(), size, ansi.data(), bytes, nullptr, nullptr);
  return ansi;
}

}  // namespace kx::widgets
