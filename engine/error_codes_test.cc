#include "engine/error_codes.h"

#include <gtest/gtest.h>

#include <set>

namespace kx::engine {
namespace {

TEST(ErrorCodesTest, EveryCodeHasItsOwnText) {
  size_t count = 0;
  const uint32_t* codes = AllErrorCodes(&count);
  std::set<uint32_t> seen_codes;
  std::set<std::string> seen_texts;
  for (size_t i = 0; i < count; ++i) {
    SCOPED_TRACE(codes[i]);
    EXPECT_TRUE(seen_codes.insert(codes[i]).second);
    std::string text = ErrorText(codes[i]);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.find("{}"), std::string::npos);
    EXPECT_TRUE(seen_texts.insert(text).second) << text;
    // Callers treat these codes specially (success or dictionary cases).
    for (uint32_t reserved : {5024u, 5068u, 5132u, 5138u, 0u}) EXPECT_NE(codes[i], reserved);
  }
  EXPECT_STREQ(ErrorText(kOk), "");
}

TEST(ErrorCodesTest, MessagesCarryTheirDetail) {
  struct Case {
    uint32_t code;
    const char* detail;
    const char* message;
  };
  const Case cases[] = {
      {kErrTableInUse, "C:\\d\\item.adt", "The table C:\\d\\item.adt is in use by another user."},
      {kErrTableNotFound, "/d/abar.adt", "The table file /d/abar.adt does not exist."},
      {kErrFolderNotFound, "/nowhere", "The folder /nowhere does not exist."},
      {kErrNotATable, "", "The file is not a table file."},
      {9999, "x", "Engine error 9999. x"},
  };
  for (const Case& c : cases) {
    EngineError e(c.code, c.detail);
    EXPECT_EQ(e.Message(), c.message);
    EXPECT_EQ(e.Code(), c.code);
  }
}

}  // namespace
}  // namespace kx::engine
