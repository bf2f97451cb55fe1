// Conversion between the folder field's UTF-16 text and paths in the system ANSI code page.
#pragma once

#include <string>
#include <string_view>

namespace kx::widgets {

// ANSI (the system code page) to UTF-16, character for character.
std::wstring AnsiToWide(std::string_view text);

// UTF-16 to ANSI. A character the code page cannot hold becomes "?" rather than a look-alike
// ("best fit") character, so a path with such characters can never name a different,
// existing folder.
std::string WideToAnsi(std::wstring_view text);

}  // namespace kx::widgets
