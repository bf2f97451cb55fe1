// The benchmark's own parts must measure the same work as the program: the raw reference must
// produce exactly the entries of the engine's tags and exactly the live records, the timed run
// must complete the catalogue with every step in its place, and the SQL comparison must hold
// the same rows.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/raw_reference.h"
#include "bench/rebuild_timing.h"
#include "bench/sqlite_compare.h"
#include "engine/table_file.h"
#include "engine/test_util.h"
#include "src/rebuild/catalogue.h"
#include "tools/kxdata/sample_folder.h"

namespace kx::bench {

namespace {

using engine::OpenMode;
using engine::TableFile;
using engine::testing::MakeSampleTable;
using engine::testing::ReadAll;
using kx::testing::ScratchDir;

// The entries of a tag as an index page holds them: key bytes, then the record number
// big-endian.
std::string EngineEntries(const TableFile& table, const std::string& tag) {
  const uint32_t width = [&] {
    for (const auto& info : table.Tags()) {
      if (info.name == tag) return info.key_width;
    }
    return 0u;
  }();
  std::string out;
  table.ForEachTagEntry(tag, [&](const char* key, uint32_t recno) {
    out.append(key, width);
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(recno >> shift);
  });
  return out;
}

TEST(RawReference, WritesTheEntriesOfTheEnginesTags) {
  ScratchDir dir;
  const std::string path = dir.File("t.adt");
  MakeSampleTable(path, 500, 7);  // every field type, every 7th record deleted
  // Character, numeric (with negatives and blanks), double, integer, date, logical,
  // timestamp, and keys of several fields.
  const std::vector<std::string> expressions = {"IITEM",
                                                "IQTY",
                                                "IPRICE",
                                                "ICOUNT",
                                                "IDATE",
                                                "IACTIVE",
                                                "TRANSACTIONNUMBER_AND_MORE_LONG",
                                                "IDATE;IITEM;IQTY",
                                                "IACTIVE;ICOUNT"};
  auto table = TableFile::Open(path, OpenMode::kExclusive);
  for (size_t i = 0; i < expressions.size(); ++i) {
    table->CreateIndex("K" + std::to_string(i), expressions[i]);
  }
  const std::string expected_tags = [&] {
    std::string all;
    for (size_t i = 0; i < expressions.size(); ++i) {
      all += EngineEntries(*table, "K" + std::to_string(i)) + "|";
    }
    return all;
  }();
  table.reset();

  std::string actual_tags;
  for (const std::string& expression : expressions) {
    SCOPED_TRACE(expression);
    const std::string out = dir.File("entries.raw");
    const RawResult result = RawTagBuild(path, expression, out);
    EXPECT_EQ(result.records, 500u - 500u / 7u);
    EXPECT_EQ(result.bytes_written, std::filesystem::file_size(out));
    actual_tags += ReadAll(out) + "|";
  }
  EXPECT_EQ(actual_tags, expected_tags);
}

TEST(RawReference, CopiesTheHeaderAndTheLiveRecords) {
  ScratchDir dir;
  const std::string path = dir.File("t.adt");
  MakeSampleTable(path, 300, 4);
  std::string expected;
  {
    auto table = TableFile::Open(path, OpenMode::kReadOnly);
    const std::string file = ReadAll(path);
    const size_t header = file.size() - size_t(table->RecordCount()) * table->RecordLength();
    expected = file.substr(0, header);
    table->ForEachRecord([&](uint32_t, bool deleted, const char* image) {
      if (!deleted) expected.append(image, table->RecordLength());
      return true;
    });
  }
  const RawResult result = RawLiveCopy(path, dir.File("live.raw"));
  EXPECT_EQ(result.records, 300u - 300u / 4u);
  EXPECT_EQ(ReadAll(dir.File("live.raw")), expected);
}

TEST(TimedRebuild, TimesEveryStepOfEveryTableInRunOrder) {
  ScratchDir dir;
  kxdata::SampleOptions options;
  options.items = 200;
  options.trans = 1000;
  kxdata::MakeSampleFolder(dir.Path(), options);

  const RebuildTiming timing = TimedRebuild(dir.Path());
  ASSERT_TRUE(timing.completed) << timing.error;
  ASSERT_EQ(timing.tables.size(), rebuild::kCatalogue.size());
  double tables_total = 0;
  for (size_t i = 0; i < rebuild::kCatalogue.size(); ++i) {
    const TableTiming& table = timing.tables[i];
    SCOPED_TRACE(table.table);
    EXPECT_TRUE(table.table.ends_with(std::string(rebuild::kCatalogue[i].table_file)));
    std::vector<std::string> expected = {"open", "delete"};
    for (const rebuild::IndexTagDef& tag : rebuild::kCatalogue[i]) expected.emplace_back(tag.name);
    expected.insert(expected.end(), {"pack", "close"});
    std::vector<std::string> names;
    for (const StepTime& step : table.steps) {
      names.push_back(step.name);
      EXPECT_GE(step.seconds, 0);
    }
    EXPECT_EQ(names, expected);
    EXPECT_DOUBLE_EQ(table.Seconds(), table.StepSeconds("open") + table.StepSeconds("delete") +
                                          table.TagSeconds() + table.StepSeconds("pack") +
                                          table.StepSeconds("close"));
    tables_total += table.Seconds();
  }
  EXPECT_LE(tables_total + timing.connect_seconds, timing.total_seconds);
  EXPECT_GT(tables_total, 0);
}

TEST(TimedRebuild, ReportsARunThatStops) {
  ScratchDir dir;  // no item table
  const RebuildTiming timing = TimedRebuild(dir.Path());
  EXPECT_FALSE(timing.completed);
  EXPECT_EQ(timing.error, "Files do not exist in the selected folder - Try again");
  EXPECT_TRUE(timing.tables.empty());
}

TEST(SqlComparison, HoldsTheSameRowsAndRemovesTheDeletedOnes) {
  ScratchDir dir;
  const std::string path = dir.File("t.adt");
  MakeSampleTable(path, 400, 5);
  const SqlComparison sql =
      CompareWithSql(path, dir.File("t.sqlite"), {{"BYITEM", "IITEM"}, {"BYDATE", "IDATE;IITEM"}});
  EXPECT_EQ(sql.rows, 400u);
  EXPECT_EQ(sql.deleted_rows, 80u);
  EXPECT_EQ(sql.rows_after, 320u);
  ASSERT_EQ(sql.create_index.size(), 2u);
  EXPECT_EQ(sql.create_index[1].name, "BYDATE");
}

}  // namespace

}  // namespace kx::bench
