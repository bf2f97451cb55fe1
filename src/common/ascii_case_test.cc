#include "src/common/ascii_case.h"

#include <gtest/gtest.h>

namespace kx {

namespace {
TEST(AsciiCaseTest, OnlyAsciiLettersChange) {
  const struct {
    std::string text, upper, lower;
  } cases[] = {
      {"", "", ""},
      {"Databases", "DATABASES", "databases"},
      {"C:\\data\\My.ADD", "C:\\DATA\\MY.ADD", "c:\\data\\my.add"},
      {"az@[`{AZ09", "AZ@[`{AZ09", "az@[`{az09"},
      {"\xE4\xC4\xFF\x80", "\xE4\xC4\xFF\x80", "\xE4\xC4\xFF\x80"},  // code page letters stay
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AsciiUpperCase(c.text), c.upper) << c.text;
    EXPECT_EQ(AsciiLowerCase(c.text), c.lower) << c.text;
  }
}

TEST(AsciiCaseTest, SameTextIgnoringCase) {
  const struct {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {"", "", true},
      {"dravent", "DRAVENT", true},
      {"AdsConnection1", "adsconnection1", true},
      {"abc", "abd", false},
      {"abc", "abcd", false},
      {"@", "`", false},  // neighbours of the letters are no letters
      {"[", "{", false},
      {"\xE4", "\xC4", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SameTextIgnoringCase(c.a, c.b), c.same) << c.a << " / " << c.b;
  }
  static_assert(SameTextIgnoringCase("Version", "VERSION"));
}
}  // namespace

}  // namespace kx
