// The text of the error box, apart from the box itself so that it is tested natively.
#pragma once

#include <cstddef>
#include <string>

namespace kx::app {

// The longest run of characters without a blank or a line break that the error box shows on
// one line.
inline constexpr size_t kLongestUnbrokenRun = 64;

// The text the error box shows for an exception's message: the message with its full stop
// (MessageWithFullStop), and line breaks in every run of the message of more than
// kLongestUnbrokenRun characters without a blank, each placed after the last folder separator that
// keeps the line within the limit (or at the limit when there is none). The platform's box makes
// itself as wide as the text's longest word: a long path would otherwise make it wider than
// the screen, with its caption, icon and the start of the message out of sight.
std::string ErrorBoxText(const std::string& message);

}  // namespace kx::app
