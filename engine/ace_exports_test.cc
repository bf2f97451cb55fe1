#include "engine/ace_exports.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "engine/error_codes.h"
#include "engine/format.h"
#include "engine/table_file.h"
#include "engine/test_util.h"
#include "engine/verify.h"

namespace kx::engine {
namespace {

using testing::ScratchDir;

struct LastError {
  uint32_t code = 0;
  std::string text;
};

LastError GetLast() {
  LastError e;
  char text[600];
  uint16_t length = sizeof text;
  EXPECT_EQ(AdsGetLastError(&e.code, text, &length), 0u);
  e.text.assign(text, length);
  return e;
}

class ExportsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = dir_.Path();
    table_path_ = dir_.File("item.adt");
    testing::MakeSampleTable(table_path_, 30, 3);
    ASSERT_EQ(AdsConnect60(folder_.c_str(), kAceServerLocal, "", "", 0, &connection_), 0u);
  }
  void TearDown() override { AdsDisconnect(connection_); }

  AceHandle Open(uint32_t options = kAceOpenExclusive | kAceOpenReindexOnMismatch) {
    AceHandle table = 0;
    EXPECT_EQ(AdsOpenTable(connection_, table_path_.c_str(), nullptr, 3, 1, 1, 1, options, &table),
              0u)
        << GetLast().text;
    return table;
  }

  ScratchDir dir_;
  std::string folder_, table_path_;
  AceHandle connection_ = 0;
};

TEST_F(ExportsTest, ConnectFailures) {
  struct Case {
    const char* path;
    uint16_t types;
    uint32_t code;
    const char* says;
  };
  const std::string missing = dir_.File("no such folder");
  const Case cases[] = {
      {missing.c_str(), kAceServerLocal, kErrFolderNotFound, "does not exist"},
      {table_path_.c_str(), kAceServerLocal, kErrFolderNotFound, "does not exist"},
      {"", kAceServerLocal, kErrInvalidArgument, "connect path is empty"},
      {folder_.c_str(), kAceServerRemote, kErrServerUnavailable, "0x2"},
      {"x.add", kAceServerLocal, kErrNotSupported, "data dictionaries"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    AceHandle h = 0;
    EXPECT_EQ(AdsConnect60(c.path, c.types, "", "", 0, &h), c.code);
    LastError e = GetLast();
    EXPECT_EQ(e.code, c.code);
    EXPECT_NE(e.text.find(c.says), std::string::npos) << e.text;
  }
  EXPECT_EQ(AdsDisconnect(123456), kErrInvalidHandle);
}

// The calls a table component makes right after opening, in its order: the table's
// properties, then (room for one index handle) the first index.
void ExpectTableReadBack(AceHandle table, uint32_t* length, AceHandle* first) {
  uint16_t type = 0;
  ASSERT_EQ(AdsGetTableType(table, &type), 0u);
  EXPECT_EQ(type, 3);
  uint32_t options = 0;
  ASSERT_EQ(AdsGetRecordLength(table, length), 0u);
  EXPECT_EQ(*length, 1u + 10 + 24 + 10 + 8 + 4 + 4 + 1 + 8);
  ASSERT_EQ(AdsGetTableOpenOptions(table, &options), 0u);
  EXPECT_EQ(options, kAceOpenExclusive | kAceOpenReindexOnMismatch);
  uint16_t is_statement = 7;
  ASSERT_EQ(AdsSqlPeekStatement(table, &is_statement), 0u);
  EXPECT_EQ(is_statement, 0);

  // Room for one index handle: the first one comes back with a "buffer too small" result.
  uint16_t count = 1;
  EXPECT_EQ(AdsGetAllIndexes(table, first, &count), kErrBufferTooSmall);
  uint32_t page_size = 0;
  ASSERT_EQ(AdsGetIndexPageSize(*first, &page_size), 0u);
  EXPECT_EQ(page_size, 1024u);
}

// The fields: their count, the blank record, each field's properties by number and name.
void ExpectFieldsReadBack(AceHandle table, uint32_t length) {
  uint32_t bookmark_length = 0;
  ASSERT_EQ(AdsGetBookmarkLength(table, &bookmark_length), 0u);
  uint16_t fields = 0;
  ASSERT_EQ(AdsGetNumFields(table, &fields), 0u);
  ASSERT_EQ(fields, 8);
  std::string blank(length, '?');
  ASSERT_EQ(AdsGetNullRecord(table, blank.data(), length), 0u);
  EXPECT_EQ(blank[0], ' ');
  EXPECT_EQ(AdsGetNullRecord(table, blank.data(), length - 1), kErrBufferTooSmall);

  const uint16_t kTypes[] = {4, 4, 2, 10, 11, 3, 1, 14};
  for (uint16_t f = 1; f <= fields; ++f) {
    SCOPED_TRACE(f);
    uint16_t field_type = 0, decimals = 9;
    uint32_t field_length = 0, offset = 0;
    char name[129];
    uint16_t name_length = sizeof name;
    uint8_t permissions = 0;
    ASSERT_EQ(AdsGetFieldType(table, AceFieldNumber(f), &field_type), 0u);
    EXPECT_EQ(field_type, kTypes[f - 1]);
    ASSERT_EQ(AdsGetFieldLength(table, AceFieldNumber(f), &field_length), 0u);
    ASSERT_EQ(AdsGetFieldDecimals(table, AceFieldNumber(f), &decimals), 0u);
    EXPECT_EQ(decimals, f == 3 ? 2 : 0);
    ASSERT_EQ(AdsGetFieldName(table, f, name, &name_length), 0u);
    EXPECT_EQ(std::string(name, name_length), testing::SampleFields()[f - 1].name);
    ASSERT_EQ(AdsGetFieldOffset(table, AceFieldNumber(f), &offset), 0u);
    ASSERT_EQ(AdsGetColumnPermissions(table, f, &permissions), 0u);
    EXPECT_NE(permissions, 0);
    // By name too, any case.
    uint32_t by_name = 0;
    std::string lower = testing::SampleFields()[f - 1].name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ASSERT_EQ(AdsGetFieldOffset(table, lower.c_str(), &by_name), 0u);
    EXPECT_EQ(by_name, offset);
  }
  uint16_t dummy;
  EXPECT_EQ(AdsGetFieldType(table, AceFieldNumber(9), &dummy), kErrFieldNotFound);
  EXPECT_EQ(AdsGetFieldType(table, "NOPE", &dummy), kErrFieldNotFound);
  EXPECT_NE(GetLast().text.find("NOPE"), std::string::npos);
}

// The indexes: their handles, names, segments and flags, by number and name.
void ExpectIndexesReadBack(AceHandle table, AceHandle first) {
  uint16_t indexes = 0;
  ASSERT_EQ(AdsGetNumIndexes(table, &indexes), 0u);
  ASSERT_EQ(indexes, 2);
  AceHandle handles[2];
  uint16_t count = 2;
  ASSERT_EQ(AdsGetAllIndexes(table, handles, &count), 0u);
  EXPECT_EQ(handles[0], first);
  char name[260];
  uint16_t name_length = sizeof name;
  ASSERT_EQ(AdsGetIndexName(handles[1], name, &name_length), 0u);
  EXPECT_EQ(std::string(name), "IDATE");
  uint16_t segments = 0;
  ASSERT_EQ(AdsGetNumSegments(handles[1], &segments), 0u);
  EXPECT_EQ(segments, 2);
  char segment[510];
  uint16_t segment_length = sizeof segment;
  ASSERT_EQ(AdsGetSegmentFieldname(handles[1], 2, segment, &segment_length), 0u);
  EXPECT_EQ(std::string(segment), "IDESC1");
  EXPECT_EQ(AdsGetSegmentFieldname(handles[1], 3, segment, &segment_length), kErrInvalidArgument);
  uint16_t yes = 9;
  EXPECT_EQ(AdsIsIndexDescending(handles[0], &yes), 0u);
  EXPECT_EQ(AdsIsIndexUnique(handles[0], &yes), 0u);
  EXPECT_EQ(AdsIsIndexPrimaryKey(handles[0], &yes), 0u);
  EXPECT_EQ(yes, 0);
  AceHandle by_name = 0;
  ASSERT_EQ(AdsGetIndexHandle(table, "idate", &by_name), 0u);
  EXPECT_EQ(by_name, handles[1]);
  EXPECT_EQ(AdsGetIndexHandle(table, "none", &by_name), kErrTagNotFound);
}

TEST_F(ExportsTest, ReadBackAfterOpen) {
  {
    auto t = TableFile::Open(table_path_, OpenMode::kExclusive);
    t->CreateIndex("IITEM", "IITEM", 1024);
    t->CreateIndex("IDATE", "IDATE;IDESC1");
  }
  AceHandle table = Open();
  uint32_t length = 0;
  AceHandle first = 0;
  ASSERT_NO_FATAL_FAILURE(ExpectTableReadBack(table, &length, &first));
  ASSERT_NO_FATAL_FAILURE(ExpectFieldsReadBack(table, length));
  ASSERT_NO_FATAL_FAILURE(ExpectIndexesReadBack(table, first));
  EXPECT_EQ(AdsCloseTable(table), 0u);
  uint32_t page_size = 0;
  EXPECT_EQ(AdsGetIndexPageSize(first, &page_size), kErrInvalidHandle);
}

TEST_F(ExportsTest, NavigationVisitsTheLiveRecords) {
  AceHandle table = Open(0);
  ASSERT_EQ(AdsGotoBOF(table), 0u);
  uint16_t bof = 0, eof = 1, visible = 1;
  AdsAtBOF(table, &bof);
  AdsAtEOF(table, &eof);
  EXPECT_EQ(bof, 1);
  EXPECT_EQ(eof, 0);
  std::string record(200, '\0');
  uint32_t length = static_cast<uint32_t>(record.size());
  EXPECT_EQ(AdsGetRecord(table, record.data(), &length), kErrNoCurrentRecord);
  std::vector<uint32_t> seen;
  for (;;) {
    ASSERT_EQ(AdsSkip(table, 1), 0u);
    AdsAtEOF(table, &eof);
    if (eof) break;
    ASSERT_EQ(AdsIsRecordVisible(table, &visible), 0u);
    EXPECT_EQ(visible, 1);
    length = static_cast<uint32_t>(record.size());
    ASSERT_EQ(AdsGetRecord(table, record.data(), &length), 0u);
    EXPECT_EQ(record[0], ' ');
    char bookmark[4];
    uint32_t bookmark_length = 4;
    ASSERT_EQ(AdsGetBookmark60(table, bookmark, &bookmark_length), 0u);
    seen.push_back(GetU32(bookmark));
  }
  std::vector<uint32_t> live;
  for (uint32_t i = 1; i <= 30; ++i) {
    if (i % 3 != 0) live.push_back(i);
  }
  EXPECT_EQ(seen, live);
  ASSERT_EQ(AdsSkip(table, -1), 0u);
  char bookmark[4];
  uint32_t bookmark_length = 4;
  ASSERT_EQ(AdsGetBookmark60(table, bookmark, &bookmark_length), 0u);
  EXPECT_EQ(GetU32(bookmark), 29u);
  ASSERT_EQ(AdsSkip(table, -100), 0u);
  AdsAtBOF(table, &bof);
  EXPECT_EQ(bof, 1);
  length = 3;
  ASSERT_EQ(AdsSkip(table, 1), 0u);
  EXPECT_EQ(AdsGetRecord(table, record.data(), &length), kErrBufferTooSmall);
  EXPECT_GT(length, 3u);
}

// What the rebuild does per table: exclusive open, delete the index file, create tags,
// pack, close; the table then holds exactly the new tags.
TEST_F(ExportsTest, RebuildSequence) {
  {
    auto t = TableFile::Open(table_path_, OpenMode::kExclusive);
    t->CreateIndex("STALE", "IDESC1");
    t->CreateIndex("IITEM", "IDATE");
  }
  AceHandle table = Open();
  uint16_t count = 0;
  AdsGetNumIndexes(table, &count);
  EXPECT_EQ(count, 2);
  const std::string index = IndexPathOf(table_path_);
  EXPECT_TRUE(std::filesystem::remove(index));
  AceHandle tag = 0;
  ASSERT_EQ(AdsCreateIndex61(table, "", "IITEM", "IITEM", "", "", 0, 0, &tag), 0u)
      << GetLast().text;
  ASSERT_EQ(AdsCreateIndex61(table, "", "IDESC", "IDESC1;IQTY", "", "", 0, 0, &tag), 0u);
  char name[128];
  uint16_t length = sizeof name;
  ASSERT_EQ(AdsGetIndexName(tag, name, &length), 0u);
  EXPECT_EQ(std::string(name), "IDESC");
  EXPECT_EQ(AdsCreateIndex61(table, "", "BAD", "IITEM;NOFIELD", "", "", 0, 0, &tag),
            kErrFieldNotFound);
  EXPECT_NE(GetLast().text.find("NOFIELD"), std::string::npos);
  ASSERT_EQ(AdsPackTable(table), 0u);
  AdsGetNumIndexes(table, &count);
  EXPECT_EQ(count, 2);
  ASSERT_EQ(AdsCloseTable(table), 0u);

  auto t = TableFile::Open(table_path_, OpenMode::kReadOnly);
  EXPECT_EQ(t->RecordCount(), 20u);
  std::vector<TagInfo> tags = t->Tags();
  ASSERT_EQ(tags.size(), 2u);
  EXPECT_EQ(tags[0].name, "IITEM");
  EXPECT_EQ(tags[0].expression, "IITEM");
  EXPECT_EQ(tags[1].name, "IDESC");
  EXPECT_TRUE(VerifyTable(*t).Ok()) << VerifyTable(*t).ToString();
}

TEST_F(ExportsTest, DamagedIndexFileDoesNotStopTheOpen) {
  testing::WriteAll(IndexPathOf(table_path_), "this is no index");
  AceHandle table = Open();
  uint16_t count = 9;
  AceHandle first = 0;
  EXPECT_EQ(AdsGetAllIndexes(table, &first, &count), 0u);
  EXPECT_EQ(count, 0);
  AceHandle tag = 0;
  EXPECT_EQ(AdsCreateIndex61(table, "", "IITEM", "IITEM", "", "", 0, 0, &tag), 0u);
  EXPECT_EQ(AdsPackTable(table), 0u);
  AdsCloseTable(table);
  EXPECT_TRUE(VerifyTable(table_path_).Ok()) << VerifyTable(table_path_).ToString();
}

TEST_F(ExportsTest, OpenFailuresAndRefusals) {
  struct Case {
    std::string name;
    uint16_t type;
    uint32_t code;
    const char* says;
  };
  testing::WriteAll(dir_.File("text.adt"), std::string(100, 'x'));
  const Case cases[] = {
      {dir_.File("abar.adt"), 3, kErrTableNotFound, "abar.adt does not exist"},
      {dir_.File("text.adt"), 3, kErrNotATable, "is not a table file"},
      {table_path_, 1, kErrNotSupported, "table type 1"},
      {"", 3, kErrInvalidArgument, "no table name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AceHandle table = 0;
    EXPECT_EQ(AdsOpenTable(connection_, c.name.c_str(), nullptr, c.type, 1, 1, 1, 1, &table),
              c.code);
    LastError e = GetLast();
    EXPECT_EQ(e.code, c.code);
    EXPECT_NE(e.text.find(c.says), std::string::npos) << e.text;
  }
  // A bare table name is found in the connection's folder.
  AceHandle table = 0;
  ASSERT_EQ(AdsOpenTable(connection_, "item.adt", nullptr, 3, 1, 1, 1, kAceOpenExclusive, &table),
            0u);
  AceHandle second = 0;
  EXPECT_EQ(AdsOpenTable(connection_, table_path_.c_str(), nullptr, 3, 1, 1, 1, 0, &second),
            kErrTableInUse);
  EXPECT_NE(GetLast().text.find("is in use by another user"), std::string::npos);
  // Functions for features the engine lacks say so.
  AceHandle tag = 0;
  EXPECT_EQ(AdsCreateIndex61(table, "", "C", "IITEM", "IQTY > 0", "", 0, 0, &tag),
            kErrNotSupported);
  EXPECT_EQ(AdsCreateIndex61(table, "other.adi", "C", "IITEM", "", "", 0, 0, &tag),
            kErrNotSupported);
  EXPECT_EQ(AdsEnableEncryption(table, "secret"), kErrNotSupported);
  EXPECT_EQ(AdsCloseSQLStatement(1), kErrNotSupported);
  char buffer[200];
  uint16_t length = sizeof buffer;
  EXPECT_EQ(AdsDDGetTableProperty(connection_, "item.adt", 213, buffer, &length), kErrNotSupported);
  uint16_t yes = 9;
  EXPECT_EQ(AdsIsTableEncrypted(table, &yes), 0u);
  EXPECT_EQ(yes, 0);
  EXPECT_EQ(AdsCacheRecords(table, 100), 0u);
  EXPECT_EQ(AdsCacheOpenTables(0), 0u);
  EXPECT_EQ(AdsCloseTable(table), 0u);
  EXPECT_EQ(AdsCloseTable(table), kErrInvalidHandle);
  EXPECT_EQ(AdsPackTable(0xFFFFFFFF), kErrInvalidHandle);
}

TEST_F(ExportsTest, ReadOnlyOpenRefusesChanges) {
  AceHandle table = Open(kAceOpenReadOnly);
  AceHandle tag = 0;
  EXPECT_EQ(AdsCreateIndex61(table, "", "T", "IITEM", "", "", 0, 0, &tag), kErrReadOnly);
  EXPECT_EQ(AdsPackTable(table), kErrReadOnly);
  AceHandle shared = Open(0);
  EXPECT_EQ(AdsPackTable(shared), kErrNeedsExclusive);
}

TEST_F(ExportsTest, DisconnectClosesItsTables) {
  AceHandle table = Open();
  ASSERT_EQ(AdsDisconnect(connection_), 0u);
  uint32_t length = 0;
  EXPECT_EQ(AdsGetRecordLength(table, &length), kErrInvalidHandle);
  // The lock went with the table.
  auto t = TableFile::Open(table_path_, OpenMode::kExclusive);
  EXPECT_EQ(t->RecordCount(), 30u);
}

TEST(LastErrorTest, IsKeptPerThreadAndCutToTheBuffer) {
  AceHandle h = 0;
  EXPECT_EQ(AdsConnect60("", kAceServerLocal, "", "", 0, &h), kErrInvalidArgument);
  std::thread other([] {
    EXPECT_EQ(AdsGetRecordLength(42, nullptr), kErrInvalidHandle);
    EXPECT_EQ(GetLast().code, kErrInvalidHandle);
  });
  other.join();
  EXPECT_EQ(GetLast().code, kErrInvalidArgument);
  uint32_t code = 0;
  char text[8];
  uint16_t length = sizeof text;
  ASSERT_EQ(AdsGetLastError(&code, text, &length), 0u);
  EXPECT_EQ(length, 7);
  EXPECT_EQ(std::string(text), "An argu");
}

}  // namespace
}  // namespace kx::engine
