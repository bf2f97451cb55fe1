#include "tools/kxdata/csv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kx::kxdata {

namespace {

using Rows = std::vector<std::vector<std::string>>;

Rows Fields(const std::vector<CsvRow>& rows) {
  Rows fields;
  for (const CsvRow& row : rows) fields.push_back(row.fields);
  return fields;
}

struct GoodCase {
  const char* name;
  std::string input;
  Rows expected;
};

TEST(CsvTest, WellFormedInput) {
  const GoodCase cases[] = {
      {"empty input", "", {}},
      {"one row without final line break", "a,b", {{"a", "b"}}},
      {"lf and crlf rows", "a,b\nc,d\r\ne,f\n", {{"a", "b"}, {"c", "d"}, {"e", "f"}}},
      {"empty fields are kept", ",x,\n", {{"", "x", ""}}},
      {"a lone empty field", "a\n\"\"\n", {{"a"}, {""}}},
      {"spaces are data", " a , b \n", {{" a ", " b "}}},
      {"quoted comma", "\"a,b\",c\n", {{"a,b", "c"}}},
      {"doubled quote", "\"say \"\"hi\"\"\"\n", {{"say \"hi\""}}},
      {"line break inside quotes", "\"two\nlines\",x\ny\n", {{"two\nlines", "x"}, {"y"}}},
      {"empty lines are skipped", "\n\r\na\n\n\nb\n", {{"a"}, {"b"}}},
      {"byte order mark", "\xEF\xBB\xBFIITEM,IDESC1\n", {{"IITEM", "IDESC1"}}},
      {"high bytes pass through", "caf\xE9\n", {{"caf\xE9"}}},
  };
  for (const GoodCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Fields(ParseCsv(c.input)), c.expected);
  }
}

TEST(CsvTest, RowsKnowTheLineWhereTheyBegin) {
  auto rows = ParseCsv("h\n\n\"multi\nline\"\nlast\n");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].line, 1u);
  EXPECT_EQ(rows[1].line, 3u);
  EXPECT_EQ(rows[2].line, 5u);
}

struct BadCase {
  const char* name;
  std::string input;
  std::size_t line;
  const char* message_part;
};

TEST(CsvTest, MalformedInputNamesTheLine) {
  const BadCase cases[] = {
      {"unclosed quote", "a\n\"open,b\nc\n", 2, "not closed"},
      {"text after closing quote", "a\n\"x\"y,b\n", 2, "after the closing quote of field 1"},
      {"quote inside unquoted field", "a,b\nx,ab\"c\n", 2, "quote inside unquoted field 2"},
      {"bare carriage return", "a\rb\n", 1, "carriage return"},
      {"broken byte order mark",
       "\xEF\xBB"
       "a\n",
       1, "byte order mark"},
  };
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      ParseCsv(c.input);
      ADD_FAILURE() << "no error";
    } catch (const CsvError& e) {
      EXPECT_EQ(e.Line(), c.line);
      EXPECT_NE(e.Message().find(c.message_part), std::string::npos) << e.Message();
      EXPECT_EQ(e.Message().rfind("CSV line " + std::to_string(c.line) + ": ", 0), 0u)
          << e.Message();
    }
  }
}

}  // namespace

}  // namespace kx::kxdata
