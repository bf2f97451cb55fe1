// Tags of many key shapes, built and packed through the engine's public interface, against a
// plain model: every live record once, in the order of its key's bytes and then of its record
// number. Small sort budgets make the sort spill runs to files and merge them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "engine/table_file.h"
#include "engine/test_util.h"
#include "engine/verify.h"

namespace kx::reliability {

namespace {
using engine::FieldType;
using engine::TableFile;

using Entry = std::pair<std::string, uint32_t>;  // key bytes, record number

// Keys of one byte to several fields of every type, with many equal keys.
const char* const kExpressions[] = {
    "C1", "C6",   "I",    "N",    "B",      "D",     "L",
    "T",  "C6;I", "C1;L", "I;C1", "D;N;C1", "C20;T", "C20;C20;C6",
};

std::unique_ptr<TableFile> MakeTable(const std::string& path, uint32_t records) {
  auto table = TableFile::Create(path, {{"C1", FieldType::kCharacter, 1, 0},
                                        {"C6", FieldType::kCharacter, 6, 0},
                                        {"C20", FieldType::kCharacter, 20, 0},
                                        {"N", FieldType::kNumeric, 8, 2},
                                        {"I", FieldType::kInteger, 0, 0},
                                        {"B", FieldType::kDouble, 0, 0},
                                        {"D", FieldType::kDate, 0, 0},
                                        {"L", FieldType::kLogical, 0, 0},
                                        {"T", FieldType::kTimestamp, 0, 0}});
  const char* words[] = {"pear", "apple", "fig", "", "kiwi", "Apple", "\xE9t\xE9", "zz"};
  for (uint32_t i = 1; i <= records; ++i) {
    const uint32_t h = i * 2654435761u;  // spreads the values without an order
    table->AppendRecord({std::string(1, static_cast<char>('a' + h % 5)), words[h % 8],
                         std::string(words[(h >> 3) % 8]) + std::to_string(h % 97),
                         std::to_string(static_cast<int>(h % 2000) - 1000) + ".25",
                         std::to_string(static_cast<int>(h % 61) - 30),
                         std::to_string((static_cast<double>(h % 1000) - 500) / 8),
                         h % 7 ? "2024-02-" + std::to_string(10 + h % 19) : "",
                         h % 3 == 0   ? ""
                         : h % 3 == 1 ? "T"
                                      : "F",
                         h % 5 ? "2001-01-01 10:00:0" + std::to_string(h % 10) : ""});
    if (h % 9 == 0) table->DeleteRecord(i);
  }
  return table;
}

std::vector<Entry> Expected(const TableFile& table, const std::string& expression) {
  std::vector<Entry> entries;
  table.ForEachRecord([&](uint32_t recno, bool deleted, const char* image) {
    if (!deleted) entries.emplace_back(table.KeyOf(expression, image), recno);
    return true;
  });
  std::sort(entries.begin(), entries.end());
  return entries;
}

std::vector<Entry> InTag(const TableFile& table, const std::string& tag, uint32_t key_width) {
  std::vector<Entry> entries;
  table.ForEachTagEntry(tag, [&](const char* key, uint32_t recno) {
    entries.emplace_back(std::string(key, key_width), recno);
  });
  return entries;
}

void ExpectEveryTagMatchesTheRecords(const TableFile& table) {
  const std::vector<engine::TagInfo> tags = table.Tags();
  ASSERT_EQ(tags.size(), std::size(kExpressions));
  for (const engine::TagInfo& tag : tags) {
    SCOPED_TRACE(tag.expression);
    const std::vector<Entry> expected = Expected(table, tag.expression);
    if (!expected.empty()) {
      ASSERT_EQ(tag.key_width, expected[0].first.size());
    }
    EXPECT_EQ(InTag(table, tag.name, tag.key_width), expected);
  }
  engine::VerifyReport report = engine::VerifyTable(table);
  EXPECT_TRUE(report.Ok()) << report.ToString();
}

TEST(TagOrderTest, EveryKeyShapeInKeyThenRecordOrderBeforeAndAfterAPack) {
  struct Case {
    const char* name;
    uint32_t records;
    size_t sort_budget;  // 0: the engine's default
  };
  const Case cases[] = {
      {"a few records", 7, 0},
      {"some hundreds, sorted in memory", 600, 0},
      {"thousands, spilled in runs", 6000, 48 << 10},
  };
  const size_t default_budget = engine::SortBudget();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    engine::SetSortBudget(c.sort_budget ? c.sort_budget : default_budget);
    kx::testing::ScratchDir scratch;
    auto table = MakeTable(scratch.File("t.adt"), c.records);
    int n = 0;
    for (const char* expression : kExpressions) {
      table->CreateIndex("TAG" + std::to_string(++n), expression);
    }
    ExpectEveryTagMatchesTheRecords(*table);
    table->Pack();
    ExpectEveryTagMatchesTheRecords(*table);
  }
  engine::SetSortBudget(default_budget);
}

}  // namespace

}  // namespace kx::reliability
