#include <gtest/gtest.h>

#include "common/exception.h"

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
  for (const Case& c : cases) EXPECT_EQ(MessageWithFullStop(c.message), c.shown) << c.message;
}

}  // namespace
