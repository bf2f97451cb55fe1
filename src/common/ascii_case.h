// Letter case of ASCII text: the one way the program compares names, keys and sections
// without regard to case. Only 'a'-'z' and 'A'-'Z' change; every other byte (digits,
// punctuation, characters of the system code page above 127) is compared as it is.
#pragma once

#include <string>
#include <string_view>

namespace kx {

constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

inline std::string AsciiUpperCase(std::string text) {
  for (char& c : text) c = AsciiUpper(c);
  return text;
}

inline std::string AsciiLowerCase(std::string text) {
  for (char& c : text) c = AsciiLower(c);
  return text;
}

constexpr bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace kx
