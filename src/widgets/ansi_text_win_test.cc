#include "src/widgets/ansi_text_win.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace kx::widgets {

namespace {

TEST(AnsiTextTest, RoundTripsPathsOfEveryLength) {
  const std::string long_path = "C:\\" + std::string(300, 'x') + "\\data";
  for (const std::string& path :
       {std::string(), std::string("C:\\data\\"), std::string(" C:\\a b "),
        std::string("\\\\server\\share\\data"), long_path}) {
    EXPECT_EQ(WideToAnsi(AnsiToWide(path)), path);
  }
  EXPECT_EQ(AnsiToWide("C:\\data"), L"C:\\data");
}

TEST(AnsiTextTest, UsesTheSystemCodePageWithoutLookAlikes) {
  if (GetACP() != 1252) GTEST_SKIP() << "these cases are for code page 1252, not " << GetACP();
  EXPECT_EQ(AnsiToWide("C:\\caf\xE9"), L"C:\\caf\u00E9");
  EXPECT_EQ(WideToAnsi(L"C:\\caf\u00E9"), "C:\\caf\xE9");
  // L with stroke has a best-fit "L" in 1252; a path must not silently turn into another one.
  EXPECT_EQ(WideToAnsi(L"C:\\\u0141odz"), "C:\\?odz");
  EXPECT_EQ(WideToAnsi(L"C:\\\u65E5\u672C"), "C:\\??");
}

}  // namespace

}  // namespace kx::widgets
