#include "engine/table_file.h"

#include <gtest/gtest.h>

#include "engine/format.h"
#include "engine/test_util.h"
#include "tests/support/expected_failure.h"

namespace kx::engine {
namespace {

using testing::ReadAll;
using testing::ScratchDir;
using testing::WriteAll;

uint32_t CodeOf(const std::function<void()>& fn) {
  const auto error = kx::testing::Thrown<EngineError>(fn);
  return error ? error->Code() : kOk;
}

std::string MessageOf(const std::function<void()>& fn) {
  const auto error = kx::testing::Thrown<EngineError>(fn);
  return error ? error->Message() : std::string();
}

TEST(TableFileTest, RecordsRoundTripThroughReopen) {
  ScratchDir dir;
  const std::string path = dir.File("item.adt");
  testing::MakeSampleTable(path, 50, 7);
  auto table = TableFile::Open(path, OpenMode::kShared);
  ASSERT_EQ(table->RecordCount(), 50u);
  EXPECT_EQ(table->Fields().size(), testing::SampleFields().size());
  EXPECT_EQ(table->Fields()[7].name, "TRANSACTIONNUMBER_AND_MORE_LONG");
  for (uint32_t i = 1; i <= 50; ++i) {
    SCOPED_TRACE(i);
    std::vector<std::string> want = testing::SampleValues(i);
    std::vector<std::string> got = table->RecordValues(i);
    EXPECT_EQ(got[0], want[0]);
    EXPECT_EQ(got[1], want[1]);
    EXPECT_DOUBLE_EQ(std::stod(got[2]), std::stod(want[2]));
    EXPECT_DOUBLE_EQ(std::stod(got[3]), std::stod(want[3]));
    EXPECT_EQ(got[4], want[4]);
    EXPECT_EQ(got[5], want[5]);
    EXPECT_EQ(got[6], want[6]);
    EXPECT_EQ(got[7], want[7]);
    EXPECT_EQ(table->IsDeleted(i), i % 7 == 0);
  }
  EXPECT_EQ(testing::LiveValues(*table).size(), 50u - 7u);
}

TEST(TableFileTest, AppendAfterReopenKeepsEarlierRecords) {
  ScratchDir dir;
  const std::string path = dir.File("t.adt");
  testing::MakeSampleTable(path, 3, 0);
  {
    auto table = TableFile::Open(path, OpenMode::kExclusive);
    EXPECT_EQ(table->AppendRecord({"NEW", "added"}), 4u);
  }
  auto table = TableFile::Open(path, OpenMode::kReadOnly);
  ASSERT_EQ(table->RecordCount(), 4u);
  EXPECT_EQ(table->RecordValues(4)[0], "NEW");
  EXPECT_EQ(table->RecordValues(4)[4], "0");  // blank integer
  EXPECT_EQ(table->RecordValues(1)[0], testing::SampleValues(1)[0]);
}

TEST(TableFileTest, ChangesNeedAnExclusiveOpen) {
  ScratchDir dir;
  const std::string path = dir.File("t.adt");
  testing::MakeSampleTable(path, 3, 0);
  auto table = TableFile::Open(path, OpenMode::kShared);
  EXPECT_EQ(CodeOf([&] { table->AppendRecord({"X"}); }), kErrNeedsExclusive);
  EXPECT_EQ(CodeOf([&] { table->DeleteRecord(1); }), kErrNeedsExclusive);
  EXPECT_EQ(CodeOf([&] { table->CreateIndex("T", "IITEM"); }), kErrNeedsExclusive);
  EXPECT_EQ(CodeOf([&] { table->Pack(); }), kErrNeedsExclusive);
  EXPECT_EQ(CodeOf([&] { table->ReadRecord(4, nullptr); }), kErrRecordNotFound);
}

TEST(TableFileTest, OpenFailuresHaveTheirOwnErrors) {
  ScratchDir dir;
  const std::string good = dir.File("good.adt");
  testing::MakeSampleTable(good, 10, 0);
  const std::string bytes = ReadAll(good);

  struct Case {
    const char* name;
    std::string content;  // empty: no file
    uint32_t code;
    const char* says;
  };
  std::string flipped_header = bytes;
  flipped_header[70] ^= 0x01;  // inside the first field descriptor
  std::string flipped_count = bytes;
  flipped_count[20] ^= 0x01;  // the record count
  std::string newer = bytes;
  newer[8] = 2;
  const Case cases[] = {
      {"missing.adt", "", kErrTableNotFound, "does not exist"},
      {"text.adt", "Just some text that is longer than a table header could be....!!",
       kErrNotATable, "is not a table file"},
      {"short.adt", "KX", kErrNotATable, "is not a table file"},
      {"truncated.adt", bytes.substr(0, bytes.size() - 5), kErrTableDamaged, "truncated"},
      {"cut_header.adt", bytes.substr(0, 100), kErrTableDamaged, "ends inside its header"},
      {"flipped.adt", flipped_header, kErrTableDamaged, "checksum"},
      {"count.adt", flipped_count, kErrTableDamaged, "checksum"},
      {"newer.adt", newer, kErrTableDamaged, "checksum"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File(c.name);
    if (!c.content.empty()) WriteAll(path, c.content);
    std::string message;
    uint32_t code = CodeOf([&] {
      try {
        TableFile::Open(path, OpenMode::kExclusive);
      } catch (const EngineError& e) {
        message = e.Message();
        throw;
      }
    });
    EXPECT_EQ(code, c.code);
    EXPECT_NE(message.find(c.says), std::string::npos) << message;
    EXPECT_NE(message.find(path), std::string::npos) << message;
  }
  // A folder in the place of the table is a missing table.
  EXPECT_EQ(CodeOf([&] { TableFile::Open(dir.Path(), OpenMode::kShared); }), kErrTableNotFound);
}

TEST(TableFileTest, CreateRefusesAnExistingFileAndBadValues) {
  ScratchDir dir;
  const std::string path = dir.File("t.adt");
  testing::MakeSampleTable(path, 1, 0);
  EXPECT_EQ(CodeOf([&] { TableFile::Create(path, testing::SampleFields()); }), kErrTableExists);
  auto table = TableFile::Open(path, OpenMode::kExclusive);
  std::string message = MessageOf([&] { table->AppendRecord({"A", "B", "not a number"}); });
  EXPECT_NE(message.find("IQTY"), std::string::npos) << message;
  EXPECT_EQ(CodeOf([&] { table->AppendRecord(std::vector<std::string>(9, "")); }), kErrBadValue);
  EXPECT_EQ(table->RecordCount(), 1u);  // nothing written by the refused appends
}

TEST(TableFileTest, BlankRecordIsWellFormed) {
  ScratchDir dir;
  const std::string path = dir.File("t.adt");
  testing::MakeSampleTable(path, 0, 0);
  auto table = TableFile::Open(path, OpenMode::kShared);
  std::string blank = table->BlankRecord();
  ASSERT_EQ(blank.size(), table->RecordLength());
  EXPECT_EQ(blank[0], ' ');
  for (size_t f = 0; f < table->Fields().size(); ++f) {
    EXPECT_EQ(CheckValue(table->Fields()[f], blank.data() + table->Fields()[f].offset), "");
    // Numbers read 0 (double and integer), everything else empty.
    EXPECT_EQ(table->FieldText(blank.data(), f), f == 3 || f == 4 ? "0" : "");
  }
}

}  // namespace
}  // namespace kx::engine
