#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "engine/faulty_file.h"
#include "engine/format.h"
#include "engine/table_file.h"
#include "engine/test_util.h"
#include "engine/verify.h"

namespace kx::engine {
namespace {

using testing::ReadAll;
using testing::ScratchDir;
using testing::TagRecnos;

class SortBudgetScope {
 public:
  explicit SortBudgetScope(size_t bytes) : saved_(SortBudget()) { SetSortBudget(bytes); }
  ~SortBudgetScope() { SetSortBudget(saved_); }

 private:
  size_t saved_;
};

// The entries a tag must hold, worked out record by record and sorted here.
std::vector<uint32_t> ExpectedRecnos(const TableFile& table, const std::string& expression) {
  std::vector<std::pair<std::string, uint32_t>> keys;
  table.ForEachRecord([&](uint32_t recno, bool deleted, const char* image) {
    if (!deleted) keys.emplace_back(table.KeyOf(expression, image), recno);
    return true;
  });
  std::sort(keys.begin(), keys.end());
  std::vector<uint32_t> recnos;
  for (const auto& k : keys) recnos.push_back(k.second);
  return recnos;
}

std::vector<std::string> TagNames(const TableFile& table) {
  std::vector<std::string> names;
  for (const TagInfo& t : table.Tags()) names.push_back(t.name);
  return names;
}

class IndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("item.adt");
    testing::MakeSampleTable(path_, 300, 5);
    table_ = TableFile::Open(path_, OpenMode::kExclusive);
  }
  ScratchDir dir_;
  std::string path_;
  std::unique_ptr<TableFile> table_;
};

TEST_F(IndexTest, TagHoldsTheLiveRecordsInKeyOrder) {
  for (const char* expression : {"IITEM", "IDESC1;IQTY;IDATE", "IPRICE", "ICOUNT;IACTIVE",
                                 "TRANSACTIONNUMBER_AND_MORE_LONG"}) {
    SCOPED_TRACE(expression);
    TagInfo info = table_->CreateIndex("T", expression);
    EXPECT_EQ(info.entry_count, 240u);
    std::vector<uint32_t> got = TagRecnos(*table_, "T");
    EXPECT_EQ(got, ExpectedRecnos(*table_, expression));
  }
  // Character keys follow the text order.
  table_->CreateIndex("T", "IITEM");
  std::vector<std::string> items;
  for (uint32_t recno : TagRecnos(*table_, "T")) items.push_back(table_->RecordValues(recno)[0]);
  EXPECT_TRUE(std::is_sorted(items.begin(), items.end()));
  EXPECT_TRUE(VerifyTable(*table_).Ok()) << VerifyTable(*table_).ToString();
}

TEST_F(IndexTest, SameNameReplacesOtherTagsStay) {
  table_->CreateIndex("IITEM", "IITEM", 512);
  table_->CreateIndex("IDATE", "IDATE");
  table_->CreateIndex("iitem", "IDESC1");
  std::vector<TagInfo> tags = table_->Tags();
  ASSERT_EQ(tags.size(), 2u);
  EXPECT_EQ(tags[0].name, "iitem");
  EXPECT_EQ(tags[0].expression, "IDESC1");
  EXPECT_EQ(tags[0].page_size, kDefaultPageSize);
  EXPECT_EQ(tags[1].name, "IDATE");
  EXPECT_EQ(TagRecnos(*table_, "IDATE"), ExpectedRecnos(*table_, "IDATE"));
  EXPECT_TRUE(VerifyTable(*table_).Ok()) << VerifyTable(*table_).ToString();
}

TEST_F(IndexTest, PagesAreFullExceptTheLast) {
  TagInfo info = table_->CreateIndex("IITEM", "IITEM", 512);
  uint32_t per_page = (512 - 20) / (10 + 4);
  EXPECT_EQ(info.page_count, (240 + per_page - 1) / per_page);
  EXPECT_EQ(std::filesystem::file_size(table_->IndexPath()),
            IndexDataStart(TagCapacityFor(1)) + uint64_t(info.page_count) * 512);
}

TEST_F(IndexTest, ANewTagIsAddedWithoutRewritingTheOthers) {
  table_->CreateIndex("A", "IITEM", 512);
  const std::string before = ReadAll(table_->IndexPath());
  const uint64_t slot = SlotSize(TagCapacityFor(1));
  table_->CreateIndex("B", "IDATE;IITEM", 512);
  const std::string after = ReadAll(table_->IndexPath());
  ASSERT_GT(after.size(), before.size());
  // The first bytes, the first header and A's pages are as they were; B's pages follow
  // them and its header is in the second slot.
  EXPECT_EQ(after.substr(0, kIndexPreamble + slot), before.substr(0, kIndexPreamble + slot));
  EXPECT_EQ(after.substr(kIndexPreamble + 2 * slot, before.size() - kIndexPreamble - 2 * slot),
            before.substr(kIndexPreamble + 2 * slot));
  EXPECT_NE(after.substr(kIndexPreamble + slot, slot), before.substr(kIndexPreamble + slot, slot));
  EXPECT_EQ(TagNames(*table_), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(TagRecnos(*table_, "B"), ExpectedRecnos(*table_, "IDATE;IITEM"));

  // The third tag's header goes back into the first slot; a reopened table finds all three.
  table_->CreateIndex("C", "ICOUNT", 512);
  table_.reset();
  table_ = TableFile::Open(path_, OpenMode::kExclusive);
  EXPECT_EQ(TagNames(*table_), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_TRUE(VerifyTable(*table_).Ok()) << VerifyTable(*table_).ToString();
}

TEST_F(IndexTest, AFullHeaderSlotGivesANewFileWithRoomForMore) {
  const uint32_t capacity = TagCapacityFor(1);
  std::vector<std::string> names;
  for (uint32_t i = 0; i <= capacity; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "T%u", static_cast<unsigned>(i));
    names.push_back(name);
    table_->CreateIndex(names.back(), i % 2 ? "IITEM" : "IDATE");
  }
  EXPECT_EQ(TagNames(*table_), names);
  table_->CreateIndex("LAST", "ICOUNT");
  names.push_back("LAST");
  EXPECT_EQ(TagNames(*table_), names);
  EXPECT_TRUE(VerifyTable(*table_).Ok()) << VerifyTable(*table_).ToString();
}

TEST_F(IndexTest, RefusedTagsChangeNothing) {
  struct Case {
    const char* tag;
    const char* expression;
    uint32_t page_size;
    uint32_t code;
    const char* says;
  };
  const Case cases[] = {
      {"BAD", "IITEM;NOSUCHFIELD", 0, kErrFieldNotFound, "NOSUCHFIELD"},
      {"BAD", "IITEM;", 0, kErrBadExpression, "empty field name"},
      {"", "IITEM", 0, kErrInvalidArgument, "tag name"},
      {"BAD", "IITEM", 100, kErrInvalidArgument, "page size"},
      {"BAD", "IDESC1", 1 << 20, kErrInvalidArgument, "page size"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expression);
    try {
      table_->CreateIndex(c.tag, c.expression, c.page_size);
      ADD_FAILURE() << "accepted";
    } catch (const EngineError& e) {
      EXPECT_EQ(e.Code(), c.code);
      EXPECT_NE(e.Message().find(c.says), std::string::npos) << e.Message();
    }
    EXPECT_FALSE(std::filesystem::exists(table_->IndexPath()));
  }
  EXPECT_THROW(table_->CreateIndex(std::string(128, 'T'), "IITEM"), EngineError);
  EXPECT_NO_THROW(table_->CreateIndex(std::string(127, 'T'), "IITEM"));
}

TEST_F(IndexTest, ExternalMergeGivesTheSameFileAsTheInMemorySort) {
  table_->CreateIndex("K", "IDESC1;IPRICE");
  const std::string in_memory = ReadAll(table_->IndexPath());
  {
    SortBudgetScope tiny(4096);  // about a hundred entries per run
    table_->CreateIndex("K", "IDESC1;IPRICE");
  }
  EXPECT_EQ(ReadAll(table_->IndexPath()), in_memory);
  // No run files are left behind.
  for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
    std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "item.adt" || name == "item.adi") << name;
  }
}

TEST(LargeIndexTest, TablesLargeEnoughForTwoThreadsGetTheSameTags) {
  // Enough live records for the entries to be made and sorted on two threads.
  ScratchDir dir;
  const std::string path = dir.File("tran.adt");
  testing::MakeSampleTable(path, 100000, 7);
  const char* const expressions[] = {"IITEM", "IDESC1;IQTY;IDATE", "IPRICE", "IACTIVE"};
  {
    auto table = TableFile::Open(path, OpenMode::kExclusive);
    // The whole sort in memory, then in sorted runs that are merged.
    for (size_t budget : {SortBudget(), size_t(4) << 20}) {
      SortBudgetScope scope(budget);
      for (const char* expression : expressions) {
        SCOPED_TRACE(std::string(expression) + ", budget " + std::to_string(budget));
        table->CreateIndex(expression, expression);
        EXPECT_EQ(TagRecnos(*table, expression), ExpectedRecnos(*table, expression));
      }
    }
  }
  // A pack by another handle builds the tags again from the records, renumbered.
  auto table = TableFile::Open(path, OpenMode::kExclusive);
  table->Pack();
  EXPECT_EQ(table->RecordCount(), 100000u - 100000u / 7);
  for (const char* expression : expressions) {
    SCOPED_TRACE(expression);
    EXPECT_EQ(TagRecnos(*table, expression), ExpectedRecnos(*table, expression));
  }
  EXPECT_TRUE(VerifyTable(*table).Ok()) << VerifyTable(*table).ToString();
}

TEST_F(IndexTest, DeletingTheIndexFileOfAnOpenTableLeavesOnlyNewTags) {
  table_->CreateIndex("A", "IITEM");
  table_->CreateIndex("B", "IDATE");
  // The engine keeps no handle on the index file, so it can be deleted while the table is
  // open exclusively, on Windows too.
  ASSERT_TRUE(std::filesystem::remove(table_->IndexPath()));
  EXPECT_TRUE(table_->Tags().empty());
  table_->CreateIndex("B", "IDESC1");
  table_->CreateIndex("C", "ICOUNT");
  EXPECT_EQ(TagNames(*table_), (std::vector<std::string>{"B", "C"}));
  EXPECT_TRUE(VerifyTable(*table_).Ok()) << VerifyTable(*table_).ToString();
}

TEST_F(IndexTest, DamagedIndexFileNeverStopsAnExclusiveOpen) {
  table_->CreateIndex("A", "IITEM", 512);
  table_.reset();
  const std::string index = IndexPathOf(path_);
  const std::string sound = ReadAll(index);
  const std::vector<std::string> damaged = {
      "garbage that is not an index file at all",
      sound.substr(0, 40),
      std::string(sound).replace(10, 1, "\x7f"),
      "",
  };
  for (const std::string& bytes : damaged) {
    testing::WriteAll(index, bytes);
    auto table = TableFile::Open(path_, OpenMode::kExclusive);
    EXPECT_THROW(table->Tags(), EngineError);
    table->CreateIndex("B", "IDATE");
    EXPECT_EQ(TagNames(*table), std::vector<std::string>{"B"});
    EXPECT_TRUE(VerifyTable(*table).Ok()) << VerifyTable(*table).ToString();
  }
}

TEST_F(IndexTest, TagWithADamagedPageIsRebuiltWhenAnotherTagIsMade) {
  table_->CreateIndex("A", "IITEM", 512);
  table_->CreateIndex("B", "IDATE", 512);
  table_.reset();
  std::string bytes = ReadAll(IndexPathOf(path_));
  bytes[IndexDataStart(TagCapacityFor(1)) + 600] ^= 0x20;  // the second page of A
  testing::WriteAll(IndexPathOf(path_), bytes);
  // The damage happened while the table was closed: the next open checks the pages it did
  // not write itself before it adds a tag.
  table_ = TableFile::Open(path_, OpenMode::kExclusive);
  EXPECT_FALSE(VerifyTable(*table_).Ok());
  table_->CreateIndex("C", "ICOUNT");
  EXPECT_EQ(TagNames(*table_), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_TRUE(VerifyTable(*table_).Ok()) << VerifyTable(*table_).ToString();
}

TEST_F(IndexTest, WideKeysGetLargerPagesAndEmptyTablesGetEmptyTags) {
  ScratchDir dir;
  const std::string path = dir.File("wide.adt");
  auto table = TableFile::Create(path, {{"TEXT", FieldType::kCharacter, 5000, 0}});
  TagInfo empty = table->CreateIndex("T", "TEXT");
  EXPECT_EQ(empty.entry_count, 0u);
  EXPECT_EQ(empty.page_count, 0u);
  EXPECT_GE(empty.page_size, 2u * (5000 + 4) + 20);
  table->AppendRecord({"b"});
  table->AppendRecord({"a"});
  table->CreateIndex("T", "TEXT");
  EXPECT_EQ(TagRecnos(*table, "T"), (std::vector<uint32_t>{2, 1}));
  EXPECT_THROW(table->CreateIndex("T", "TEXT", 4096), EngineError);
  EXPECT_TRUE(VerifyTable(*table).Ok()) << VerifyTable(*table).ToString();
}

// Tag names with their expressions, "A=IITEM B=IDATE".
std::string TagsOf(const TableFile& table) {
  std::string text;
  for (const TagInfo& tag : table.Tags()) {
    text += (text.empty() ? "" : " ") + tag.name + "=" + tag.expression;
  }
  return text;
}

TEST_F(IndexTest, ProcessDeathAtAnyCallLeavesTheOldTagsOrTheNewOnes) {
  struct Case {
    const char* tag;    // a new tag is added to the file; an existing one replaces the file
    const char* after;  // the tags once the build is complete
  };
  for (const Case& c : {Case{"B", "A=IITEM B=IDATE"}, Case{"A", "A=IDATE"}}) {
    uint64_t deaths = 0;
    for (uint64_t n = 1;; ++n) {
      SCOPED_TRACE(std::string("tag ") + c.tag + ", process death at call " + std::to_string(n));
      table_.reset();
      std::filesystem::remove(IndexPathOf(path_));
      table_ = TableFile::Open(path_, OpenMode::kExclusive);
      table_->CreateIndex("A", "IITEM");
      const std::string before = ReadAll(table_->IndexPath());
      bool died = false;
      {
        FaultyFileLayer layer;
        layer.DieAt(n);
        try {
          table_->CreateIndex(c.tag, "IDATE");
        } catch (const EngineError&) {
        }
        died = layer.Stopped();
      }
      table_.reset();  // the process is gone, and its lock with it
      // The next exclusive open clears what the death left.
      table_ = TableFile::Open(path_, OpenMode::kExclusive);
      EXPECT_TRUE(VerifyTable(*table_).Ok()) << VerifyTable(*table_).ToString();
      EXPECT_FALSE(std::filesystem::exists(TempIndexPathOf(path_)));
      if (!died) {
        EXPECT_EQ(TagsOf(*table_), c.after);
        break;
      }
      ++deaths;
      if (TagsOf(*table_) != c.after) {
        EXPECT_EQ(ReadAll(table_->IndexPath()), before);
      }
      if (::testing::Test::HasFailure()) break;
    }
    EXPECT_GT(deaths, 3u);
  }
}

}  // namespace
}  // namespace kx::engine
