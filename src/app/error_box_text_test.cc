#include "src/app/error_box_text.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "src/common/exception.h"

namespace {

TEST(ErrorBoxTextTest, AppendsAFullStopOnlyAfterCharactersAboveIt) {
  struct Case {
    const char* message;
    const char* shown;
  };
  const Case cases[] = {
      {"The TAdsConnection.ConnectPath may not be changed when IsConnected is TRUE",
       "The TAdsConnection.ConnectPath may not be changed when IsConnected is TRUE."},
      {"Already ends.", "Already ends."},
      {"Invalid data type for 'kestrun'", "Invalid data type for 'kestrun'"},
      {"Error 7008", "Error 7008."},
      {"Look!", "Look!"},
      {"(in brackets)", "(in brackets)"},
      {"trailing blank ", "trailing blank "},
      {"ends in a slash/", "ends in a slash/."},
      {"ends in a comma,", "ends in a comma,"},
      {"", ""},
      {"\xE9", "\xE9."},  // a character of the upper half of the code page counts as above
  };
  for (const Case& c : cases) EXPECT_EQ(kx::MessageWithFullStop(c.message), c.shown) << c.message;
}

}  // namespace

namespace kx::app {
namespace {

std::string Chars(size_t n, char c = 'a') { return std::string(n, c); }

// Pieces put together by appending (GCC 12 warns falsely about "text" + string at -O3).
std::string Join(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (std::string_view part : parts) text.append(part);
  return text;
}

TEST(ErrorBoxTextTest, BreaksRunsLongerThanALineAfterTheirLastSeparator) {
  const size_t max = kLongestUnbrokenRun;
  struct Case {
    const char* name;
    std::string message;
    std::string shown;
  };
  const Case cases[] = {
      {"short words keep their text", "Table in use", "Table in use."},
      {"a run of the longest length", Join({"x ", Chars(max)}), Join({"x ", Chars(max), "."})},
      {"one character more, no separator: cut at the limit", Join({Chars(max), "b"}),
       Join({Chars(max), "\r\nb."})},
      {"cut after the last separator within the limit",
       Join({"opening C:\\", Chars(30), "\\", Chars(40), "\\item.adi.tmp: Sharing violation"}),
       Join(
           {"opening C:\\", Chars(30), "\\\r\n", Chars(40), "\\item.adi.tmp: Sharing violation."})},
      {"a separator as the run's first character does not count", Join({"\\", Chars(max + 5)}),
       Join({"\\", Chars(max - 1), "\r\n", Chars(6), "."})},
      {"blanks and line breaks end a run", Join({Chars(max), " ", Chars(max), "\r\n", Chars(max)}),
       Join({Chars(max), " ", Chars(max), "\r\n", Chars(max), "."})},
      {"forward slashes are separators too", Join({Chars(50), "/", Chars(50), "/z"}),
       Join({Chars(50), "/\r\n", Chars(50), "/z."})},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorBoxText(c.message), c.shown) << c.name;
}

TEST(ErrorBoxTextTest, PathAtTheAnsiLimitComesOutInLinesOfTheLimitWithNothingLost) {
  std::string folder = "C:\\users\\root\\Temp\\kxd576_64073_6";
  while (folder.size() < 250 - 41) folder.append("\\").append(Chars(40, 'd'));
  folder.append("\\").append(Chars(250 - folder.size() - 1, 'e'));
  const std::string message = Join({"AdsTable1: The operating system refused opening ", folder,
                                    "\\item.adi.tmp: File name is too long (error 206)"});
  const std::string shown = ErrorBoxText(message);
  std::string unbroken;
  size_t longest = 0, run = 0;
  for (size_t i = 0; i < shown.size(); ++i) {
    if (shown.compare(i, 2, "\r\n") == 0) {
      EXPECT_TRUE(shown[i - 1] == '\\') << "a break not after a separator at " << i;
      ++i;
      run = 0;
      continue;
    }
    unbroken += shown[i];
    run = shown[i] == ' ' ? 0 : run + 1;
    if (run > longest) longest = run;
  }
  EXPECT_LE(longest, kLongestUnbrokenRun);
  EXPECT_EQ(unbroken, MessageWithFullStop(message));
}

}  // namespace
}  // namespace kx::app
