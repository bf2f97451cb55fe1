#include "src/settings/ini_file.h"

#include <gtest/gtest.h>

#include <climits>

#include "src/settings/memory_profile.h"

namespace kx::settings {

namespace {

TEST(ParseIniInteger, Texts) {
  struct Case {
    std::string text;
    int expected;
  };
  const int d = 77;  // the default
  const Case cases[] = {
      {"0", 0},
      {"42", 42},
      {"-42", -42},
      {"+7", 7},
      {"  12", 12},
      {"007", 7},
      {"2147483647", INT_MAX},
      {"-2147483648", INT_MIN},
      {"2147483648", d},
      {"-2147483649", d},
      {"99999999999999999999", d},
      {"0x1F", 31},
      {"0X1f", 31},
      {"0xFFFFFFFF", -1},
      {"0x100000000", d},
      {"0x", d},  // two characters: decimal, and not a number
      {"0xG", d},
      {"$10", 16},
      {"-$10", -16},
      {"$", d},
      {"", d},
      {" ", d},
      {"-", d},
      {"12 ", d},
      {"1.5", d},
      {"abc", d},
      {"1e3", d},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseIniInteger(c.text, d), c.expected) << c.text;
}

TEST(ResolveIniFileName, NamesAndFolders) {
  struct Case {
    std::string ini_name;
    std::string program;
    std::string expected;
  };
  const Case cases[] = {
      {"ads.ini", "C:\\Tools\\KestovarRebuild.exe", "C:\\Tools\\ads.ini"},
      {"", "C:\\Tools\\KestovarRebuild.exe", "C:\\Tools\\KestovarRebuild.ini"},
      {"", "C:\\Tools.d\\Rebuild", "C:\\Tools.d\\Rebuild.ini"},
      {"", "C:\\Tools\\a.b.exe", "C:\\Tools\\a.b.ini"},
      {"D:\\Other\\ads.ini", "C:\\Tools\\KestovarRebuild.exe", "D:\\Other\\ads.ini"},
      {"sub\\ads.ini", "C:\\Tools\\KestovarRebuild.exe", "sub\\ads.ini"},
      {"D:ads.ini", "C:\\Tools\\KestovarRebuild.exe", "D:ads.ini"},
      {"ads.ini", "/opt/tools/rebuild", "/opt/tools/ads.ini"},
      {"ads.ini", "rebuild.exe", "ads.ini"},
      // the program on a server's share
      {"ads.ini", "\\\\server\\share\\tools\\KestovarRebuild.exe",
       "\\\\server\\share\\tools\\ads.ini"},
      {"", "\\\\server\\share\\KestovarRebuild.exe", "\\\\server\\share\\KestovarRebuild.ini"},
      {"\\\\server\\share\\ads.ini", "C:\\Tools\\KestovarRebuild.exe",
       "\\\\server\\share\\ads.ini"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResolveIniFileName(c.ini_name, c.program), c.expected) << c.ini_name << c.program;
  }
}

class TIniFileTest : public ::testing::Test {
 protected:
  const std::string file_ = "C:\\Tools\\ads.ini";
  MemoryProfileFile profiles_;
};

TEST_F(TIniFileTest, LongTextsAreReadWhole) {
  for (size_t length : {0u, 1u, 2046u, 2047u, 2048u, 4095u, 5000u, 100000u}) {
    const std::string text(length, 'q');
    profiles_.SetFile(file_, {{"Databases", {{"dravent", text}}}});
    TIniFile ini(profiles_, file_);
    EXPECT_EQ(ini.ReadString("databases", "DRAVENT", "none"), text) << length;
    // The default is never cut either.
    EXPECT_EQ(ini.ReadString("Databases", "absent", text), text) << length;
  }
}

TEST_F(TIniFileTest, WritesAndIntegers) {
  TIniFile ini(profiles_, file_);
  ini.WriteString("Databases", "dravent", "");
  ini.WriteInteger("Databases", "Version", -3);
  EXPECT_EQ(profiles_.Text(file_), "[Databases]\r\ndravent=\r\nVersion=-3\r\n");
  EXPECT_EQ(ini.ReadInteger("Databases", "Version", 9), -3);
  EXPECT_EQ(ini.ReadInteger("Databases", "dravent", 9), 9);
  EXPECT_EQ(ini.ReadInteger("Databases", "absent", 9), 9);
}

TEST_F(TIniFileTest, FailedWriteNamesTheFullFileName) {
  for (const std::string& file : {file_, std::string("\\\\server\\share\\tools\\ads.ini")}) {
    profiles_.MakeUnwritable(file);
    TIniFile ini(profiles_, file);
    try {
      ini.WriteString("Databases", "dravent", "x");
      ADD_FAILURE() << "no exception";
    } catch (const EIniFileException& e) {
      EXPECT_EQ(e.Message(), "Unable to write to " + file);
    }
  }
}

TEST_F(TIniFileTest, DestroyingFlushes) {
  { TIniFile ini(profiles_, file_); }
  EXPECT_EQ(profiles_.log(), std::vector<std::string>{"flush @" + file_});
}

}  // namespace

}  // namespace kx::settings
