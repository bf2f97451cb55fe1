#include "src/db/ads_table.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "src/db/ads_connection.h"
#include "src/db/alias_lookup.h"
#include "src/db/db_error.h"
#include "src/db/scripted_engine.h"
#include "tests/support/expected_failure.h"

namespace kx::db {

namespace {
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// AdsConnection1 and AdsTable1 as the main window sets them up.
class TableTest : public ::testing::Test {
 protected:
  TableTest() : connection(engine, "AdsConnection1", "fmrebld"), table("AdsTable1", "fmrebld") {
    connection.SetAdsServerTypes(stADS_LOCAL);
    connection.SetConnectPath("C:\\data");
    connection.SetIsConnected(true);
    table.SetIndexCollationMismatch(TIndexCollationMismatchOptions::icmReindex);
    table.SetAdsConnection(&connection);
    engine.ClearCalls();
  }

  void OpenItem() {
    table.SetTableName("item.adt");
    table.SetExclusive(true);
    table.SetActive(true);
  }

  // The engine's message for a failing call of `function` while `action` runs.
  EADSDatabaseError FailureOf(const std::function<void()>& action) {
    if (auto error = testing::Thrown<EADSDatabaseError>(action)) return *error;
    ADD_FAILURE() << "no EADSDatabaseError";
    return EADSDatabaseError(nullptr, "", 0);
  }

  ScriptedEngine engine;
  TAdsConnection connection;
  TAdsTable table;
};

TEST_F(TableTest, OpenSequence) {
  engine.indexes = {{900, "IITEM", 1024, {"IITEM"}}, {901, "BAR", 2048, {"IBARCODE"}}};
  engine.fields = {{4, 20, "IITEM"}, {2, 10, "IQTY"}};
  engine.record_count = 1;
  OpenItem();
  ASSERT_TRUE(table.Active());

  const std::vector<std::string> expected = {
      "AdsOpenTable", "AdsGetTableType",
      // read back
      "AdsGetRecordLength", "AdsGetTableOpenOptions", "AdsSqlPeekStatement", "AdsGetAllIndexes",
      "AdsGetIndexPageSize", "AdsGetBookmarkLength",
      // blank record images
      "AdsGetNumFields", "AdsGetNumFields", "AdsGetNullRecord", "AdsGetNumFields",
      "AdsGetNullRecord", "AdsGetNumFields", "AdsGetNullRecord", "AdsGetNumFields",
      "AdsGetNullRecord", "AdsGetNumFields", "AdsGetNullRecord", "AdsGetNumFields",
      "AdsGetNullRecord",
      // field definitions: decimals only for the numeric field
      "AdsGetNumFields", "AdsGetFieldType", "AdsGetFieldLength", "AdsGetFieldName",
      "AdsGetFieldOffset", "AdsGetColumnPermissions", "AdsGetFieldType", "AdsGetFieldLength",
      "AdsGetFieldDecimals", "AdsGetFieldName", "AdsGetFieldOffset", "AdsGetColumnPermissions",
      // index definitions
      "AdsGetNumIndexes", "AdsGetAllIndexes", "AdsGetIndexName", "AdsGetNumSegments",
      "AdsGetSegmentFieldname", "AdsIsIndexDescending", "AdsIsIndexUnique", "AdsIsIndexPrimaryKey",
      "AdsGetIndexName", "AdsGetNumSegments", "AdsGetSegmentFieldname", "AdsIsIndexDescending",
      "AdsIsIndexUnique", "AdsIsIndexPrimaryKey",
      // the first record
      "AdsGotoBOF", "AdsSkip", "AdsAtEOF", "AdsAtBOF", "AdsIsRecordVisible", "AdsGetRecord",
      "AdsGetBookmark60"};
  EXPECT_EQ(engine.CallNames(), expected);
  EXPECT_THAT(engine.Calls()[0].args,
              ElementsAre("7", "C:\\data\\item.adt", "<null>", "3", "1", "1", "1", "257"));
  EXPECT_THAT(engine.CallsTo("AdsGetAllIndexes")[0].args, ElementsAre("100", "1"));
  EXPECT_EQ(table.AdsTableOptions().AdsIndexPageSize, 1024);  // the first index's page size
  EXPECT_THAT(table.FieldNames(), ElementsAre("IITEM", "IQTY"));
  EXPECT_THAT(table.IndexNames(), ElementsAre("IITEM", "BAR"));
  EXPECT_TRUE(table.HasRecord());
  EXPECT_TRUE(table.CanModify());
  EXPECT_EQ(table.ActiveOrderHandle(), table.TableHandle());

  engine.ClearCalls();
  table.Open();  // open again: nothing
  EXPECT_THAT(engine.Calls(), IsEmpty());
}

// An engine version that writes each flag, count and size whose width is not fixed as 64
// bits. The open reads the same values, and writes nothing beyond its buffers (the ASan build
// reports any such write).
class WideWritingEngine : public ScriptedEngine {
 public:
#define KX_WIDE_OUTPUT(name, params, args, out)         \
  AceResult name params override {                      \
    const AceResult result = ScriptedEngine::name args; \
    if (result == 0) Widen(out);                        \
    return result;                                      \
  }
  KX_WIDE_OUTPUT(AdsGetColumnPermissions, (AceHandle t, uint16_t f, uint8_t* p), (t, f, p), p)
  KX_WIDE_OUTPUT(AdsGetFieldType, (AceHandle t, const char* f, uint16_t* v), (t, f, v), v)
  KX_WIDE_OUTPUT(AdsGetFieldLength, (AceHandle t, const char* f, uint32_t* v), (t, f, v), v)
  KX_WIDE_OUTPUT(AdsGetFieldDecimals, (AceHandle t, const char* f, uint16_t* v), (t, f, v), v)
  KX_WIDE_OUTPUT(AdsGetFieldOffset, (AceHandle t, const char* f, uint32_t* v), (t, f, v), v)
  KX_WIDE_OUTPUT(AdsGetNumFields, (AceHandle t, uint16_t* v), (t, v), v)
  KX_WIDE_OUTPUT(AdsGetNumIndexes, (AceHandle t, uint16_t* v), (t, v), v)
  KX_WIDE_OUTPUT(AdsGetNumSegments, (AceHandle i, uint16_t* v), (i, v), v)
  KX_WIDE_OUTPUT(AdsIsIndexDescending, (AceHandle i, uint16_t* v), (i, v), v)
  KX_WIDE_OUTPUT(AdsIsIndexUnique, (AceHandle i, uint16_t* v), (i, v), v)
  KX_WIDE_OUTPUT(AdsIsIndexPrimaryKey, (AceHandle i, uint16_t* v), (i, v), v)
  KX_WIDE_OUTPUT(AdsAtEOF, (AceHandle c, uint16_t* v), (c, v), v)
  KX_WIDE_OUTPUT(AdsAtBOF, (AceHandle c, uint16_t* v), (c, v), v)
  KX_WIDE_OUTPUT(AdsIsRecordVisible, (AceHandle c, uint16_t* v), (c, v), v)
  KX_WIDE_OUTPUT(AdsSqlPeekStatement, (AceHandle t, uint16_t* v), (t, v), v)
  KX_WIDE_OUTPUT(AdsGetBookmarkLength, (AceHandle t, uint32_t* v), (t, v), v)
  KX_WIDE_OUTPUT(AdsGetIndexPageSize, (AceHandle i, uint32_t* v), (i, v), v)
#undef KX_WIDE_OUTPUT

 private:
  template <typename T>
  static void Widen(T* out) {
    const uint64_t value = *out;
    std::memcpy(out, &value, sizeof value);
  }
};

TEST(WideEngineOutputTest, OpenReadsTheSameValues) {
  WideWritingEngine engine;
  engine.indexes = {{900, "IITEM", 1024, {"IITEM"}}, {901, "BAR", 2048, {"IBARCODE"}}};
  engine.fields = {{4, 20, "IITEM"}, {2, 10, "IQTY"}};
  engine.record_count = 2;
  engine.open_options = kAceOpenExclusive;
  TAdsConnection connection(engine, "AdsConnection1", "fmrebld");
  TAdsTable table("AdsTable1", "fmrebld");
  connection.SetConnectPath("C:\\data");
  table.SetAdsConnection(&connection);
  table.SetTableName("item.adt");
  table.SetExclusive(true);
  table.SetActive(true);
  ASSERT_TRUE(table.Active());
  EXPECT_THAT(table.FieldNames(), ElementsAre("IITEM", "IQTY"));
  EXPECT_THAT(table.IndexNames(), ElementsAre("IITEM", "BAR"));
  EXPECT_EQ(table.AdsTableOptions().AdsIndexPageSize, 1024);
  EXPECT_EQ(engine.CountOf("AdsGetSegmentFieldname"), 2u);
  EXPECT_EQ(engine.CountOf("AdsGetFieldDecimals"), 1u);  // the numeric field's type was read
  EXPECT_TRUE(table.HasRecord());
  table.SetActive(false);
}

TEST_F(TableTest, OpenOptionsAndTypes) {
  const struct {
    bool exclusive, read_only, connection_read_only;
    TIndexCollationMismatchOptions collation;
    TAdsCharTypes char_type;
    TAdsLockTypes lock_type;
    bool rights;
    std::vector<std::string> args;  // table type to options
  } cases[] = {
      {true,
       false,
       false,
       TIndexCollationMismatchOptions::icmReindex,
       TAdsCharTypes::ANSI,
       TAdsLockTypes::Proprietary,
       true,
       {"3", "1", "1", "1", "257"}},
      {false,
       false,
       false,
       TIndexCollationMismatchOptions::icmError,
       TAdsCharTypes::OEM,
       TAdsLockTypes::Compatible,
       false,
       {"3", "2", "0", "2", "0"}},
      {true,
       true,
       false,
       TIndexCollationMismatchOptions::icmIgnore,
       TAdsCharTypes::ANSI,
       TAdsLockTypes::Proprietary,
       true,
       {"3", "1", "1", "1", "515"}},
      {false,
       false,
       true,
       TIndexCollationMismatchOptions::icmError,
       TAdsCharTypes::ANSI,
       TAdsLockTypes::Proprietary,
       true,
       {"3", "1", "1", "1", "2"}},
      {false,
       true,
       true,
       TIndexCollationMismatchOptions::icmError,
       TAdsCharTypes::ANSI,
       TAdsLockTypes::Proprietary,
       true,
       {"3", "1", "1", "1", "2"}},
  };
  for (const auto& c : cases) {
    ScriptedEngine engine;
    TAdsConnection connection(engine, "AdsConnection1");
    connection.SetConnectPath("C:\\data");
    connection.SetReadOnly(c.connection_read_only);
    TAdsTable table("AdsTable1");
    table.SetAdsConnection(&connection);
    table.SetTableName("item.adt");
    table.SetExclusive(c.exclusive);
    table.SetReadOnly(c.read_only);
    table.SetIndexCollationMismatch(c.collation);
    table.SetAdsCharType(c.char_type);
    table.SetAdsLockType(c.lock_type);
    table.SetAdsRightsCheck(c.rights);
    table.Open();  // connects the connection on the way
    EXPECT_TRUE(connection.IsConnected());
    const std::vector<std::string> args = engine.CallsTo("AdsOpenTable")[0].args;
    EXPECT_EQ(std::vector<std::string>(args.begin() + 3, args.end()), c.args);
    EXPECT_EQ(table.ReadOnly(), c.read_only || c.connection_read_only);
    EXPECT_EQ(table.CanModify(), !table.ReadOnly());
  }
}

TEST_F(TableTest, OpenReportedExclusiveSetsExclusive) {
  engine.report_requested_options = false;
  engine.open_options = kAceOpenExclusive;
  table.SetTableName("item.adt");
  table.Open();
  EXPECT_TRUE(table.Exclusive());
}

TEST_F(TableTest, RefusalsWhileOpen) {
  OpenItem();
  engine.ClearCalls();
  struct Case {
    std::string name;
    std::function<void()> change;
    bool ads_error;  // EADSDatabaseError with 5121, else the generic EDatabaseError
    std::string message;
  };
  const std::string open_data_set = "AdsTable1: Cannot perform this operation on an open dataset";
  const std::string not_active = "AdsTable1: Table must not be Active.";
  const Case cases[] = {
      {"TableName", [&] { table.SetTableName("item.adt"); }, true, open_data_set},
      {"Exclusive", [&] { table.SetExclusive(true); }, false, open_data_set},
      {"ReadOnly", [&] { table.SetReadOnly(false); }, false, open_data_set},
      {"IndexCollationMismatch",
       [&] { table.SetIndexCollationMismatch(TIndexCollationMismatchOptions::icmError); }, true,
       open_data_set},
      {"DatabaseName", [&] { table.SetDatabaseName("C:\\x"); }, true, open_data_set},
      {"TableType", [&] { table.SetTableType(TAdsTableTypes::ttAdsCDX); }, true, open_data_set},
      {"AdsConnection", [&] { table.SetAdsConnection(nullptr); }, true, not_active},
      {"AdsLockType", [&] { table.SetAdsLockType(TAdsLockTypes::Compatible); }, true, not_active},
      {"AdsCharType", [&] { table.SetAdsCharType(TAdsCharTypes::OEM); }, true, not_active},
      {"AdsRightsCheck", [&] { table.SetAdsRightsCheck(false); }, true, not_active},
  };
  for (const Case& c : cases) {
    try {
      c.change();
      ADD_FAILURE() << c.name << " accepted";
    } catch (const EADSDatabaseError& error) {
      EXPECT_TRUE(c.ads_error) << c.name;
      EXPECT_EQ(error.Message(), c.message) << c.name;
      EXPECT_EQ(error.AceErrorCode(), 5121u) << c.name;
    } catch (const EDatabaseError& error) {
      EXPECT_FALSE(c.ads_error) << c.name;
      EXPECT_EQ(error.Message(), c.message) << c.name;
    }
  }
  EXPECT_TRUE(table.Active());
  EXPECT_EQ(table.TableName(), "item.adt");
  EXPECT_EQ(table.AdsConnection(), &connection);
  EXPECT_THAT(engine.Calls(), IsEmpty());
}

TEST_F(TableTest, OwnChecksOnOpen) {
  const struct {
    std::string name;
    std::function<void()> arrange;
    std::string message;
  } cases[] = {
      {"no table name", [] {}, "AdsTable1: Missing TableName property"},
      {"no folder",
       [&] {
         table.SetTableName("item.adt");
         table.SetAdsConnection(nullptr);
       },
       "AdsTable1: One of the DatabaseName property or the AdsConnection property must have a "
       "value."},
      {"no connection handle",
       [&] {
         table.SetTableName("item.adt");
         table.SetAdsConnection(nullptr);
         table.SetDatabaseName("C:\\data");
       },
       "AdsTable1: Internal Error: invalid connection handle."},
  };
  for (const auto& c : cases) {
    table.SetAdsConnection(&connection);
    table.SetTableName("");
    table.SetDatabaseName("");
    c.arrange();
    const EADSDatabaseError error = FailureOf([&] { table.Open(); });
    EXPECT_EQ(error.Message(), c.message) << c.name;
    EXPECT_EQ(error.AceErrorCode(), 5121u) << c.name;
    EXPECT_FALSE(table.Active()) << c.name;
  }
  EXPECT_EQ(engine.CountOf("AdsOpenTable"), 0u);
}

TEST_F(TableTest, EngineFailureOpeningItem) {
  engine.SetResult("AdsOpenTable", 5030);
  engine.SetLastError(5030, "The table C:\\data\\item.adt is in use by another user.");
  const EADSDatabaseError error = FailureOf([&] { OpenItem(); });
  EXPECT_EQ(error.Message(), "AdsTable1: The table C:\\data\\item.adt is in use by another user.");
  EXPECT_EQ(error.AceErrorCode(), 5030u);
  EXPECT_EQ(error.DataSetName(), "AdsTable1");
  EXPECT_EQ(error.ErrorTableName(), "item.adt");
  EXPECT_EQ(error.ErrorDatabasePath(), "C:\\data");
  EXPECT_FALSE(table.Active());
  EXPECT_EQ(table.TableHandle(), TAdsTable::kNoHandle);
  EXPECT_EQ(engine.CountOf("AdsCloseTable"), 0u);
  table.SetTableName("abar.adt");  // closed: a new name is accepted
}

// Whatever call of the open sequence fails, the table ends closed and the engine holds no
// table handle.
TEST_F(TableTest, FailureAfterTheEngineOpenedTheTableReleasesIt) {
  const char* functions[] = {"AdsGetTableType",
                             "AdsGetRecordLength",
                             "AdsGetTableOpenOptions",
                             "AdsGetBookmarkLength",
                             "AdsGetNullRecord",
                             "AdsGetFieldType",
                             "AdsGetFieldName",
                             "AdsGetNumIndexes",
                             "AdsGotoBOF",
                             "AdsSkip",
                             "AdsGetRecord"};
  engine.indexes = {{900, "IITEM", 1024, {"IITEM"}}};
  engine.record_count = 1;
  for (const char* function : functions) {
    engine.SetResult(function, 5040);
    const EADSDatabaseError error = FailureOf([&] { OpenItem(); });
    EXPECT_EQ(error.AceErrorCode(), 5000u) << function;  // the scripted last error
    EXPECT_FALSE(table.Active()) << function;
    EXPECT_THAT(engine.OpenTables(), IsEmpty()) << function;
    engine.SetResult(function, 0);
  }
}

TEST_F(TableTest, UnknownFieldTypes) {
  for (uint16_t type : {0, 19, 23, 99}) {
    engine.fields = {{type, 4, "ODD"}};
    const EADSDatabaseError error = FailureOf([&] { OpenItem(); });
    EXPECT_EQ(error.Message(),
              "AdsTable1: Unknown field type (" + std::to_string(type) + ") encountered.");
    EXPECT_EQ(error.AceErrorCode(), 5121u);
    EXPECT_THAT(engine.OpenTables(), IsEmpty());
  }
  for (uint16_t type : {1, 18, 20, 22}) {
    engine.fields = {{type, 4, "FINE"}};
    OpenItem();
    table.Close();
  }
}

TEST_F(TableTest, IndexPageSizeReadBack) {
  const struct {
    std::vector<ScriptedEngine::Index> indexes;
    AceResult all_indexes, page_size_result;
    uint16_t expected;
  } cases[] = {
      {{{900, "A", 512, {}}}, 0, 0, 512},
      {{{900, "A", 512, {}}, {901, "B", 4096, {}}}, 0, 0, 512},  // 5005: room for one
      {{}, 0, 0, 0},
      {{{900, "A", 512, {}}}, 5010, 0, 0},
      {{{900, "A", 512, {}}}, 0, 5010, 0},
  };
  for (const auto& c : cases) {
    engine.indexes = c.indexes;
    table.SetAdsIndexPageSize(777);
    engine.QueueResults("AdsGetAllIndexes", {c.all_indexes});
    engine.SetResult("AdsGetIndexPageSize", c.page_size_result);
    OpenItem();
    EXPECT_EQ(table.AdsTableOptions().AdsIndexPageSize, c.expected);
    engine.ClearCalls();
    table.CreateIndexTag("", "T", "F", "", "", {});
    EXPECT_EQ(engine.CallsTo("AdsCreateIndex61")[0].args[7], std::to_string(c.expected));
    table.Close();
  }
}

TEST_F(TableTest, RecordWindowSkipsHiddenRecordsAndAccepts5068) {
  engine.record_count = 3;
  engine.QueueResults("AdsIsRecordVisible", {5068});
  OpenItem();
  EXPECT_TRUE(table.HasRecord());

  table.Close();
  engine.record_visible = 0;
  engine.ClearCalls();
  OpenItem();
  EXPECT_FALSE(table.HasRecord());
  EXPECT_EQ(engine.CountOf("AdsSkip"), 4u);  // three hidden records, then the end
}

TEST_F(TableTest, CreateIndexTagArguments) {
  OpenItem();
  engine.ClearCalls();
  table.CreateIndexTag("", "ASMBLYMAST", "AMITEM;AMILOCATION;ACITEM;ACILOCATION", "", "", {});
  ASSERT_EQ(engine.CallNames(), std::vector<std::string>{"AdsCreateIndex61"});
  EXPECT_THAT(engine.Calls()[0].args,
              ElementsAre("100", "", "ASMBLYMAST", "AMITEM;AMILOCATION;ACITEM;ACILOCATION", "", "",
                          "0", "0"));
  EXPECT_FALSE(table.DefinitionsCurrent());

  engine.ClearCalls();
  const std::string long_tag(200, 'T'), long_expression(600, 'E'), long_file(300, 'F');
  table.CreateIndexTag(long_file, long_tag, long_expression, long_expression, long_expression,
                       {TIndexTagOption::Compound, TIndexTagOption::Candidate});
  const std::vector<std::string> args = engine.Calls()[0].args;
  EXPECT_EQ(args[1], std::string(260, 'F'));
  EXPECT_EQ(args[2], std::string(128, 'T'));
  EXPECT_EQ(args[3], std::string(510, 'E'));
  EXPECT_EQ(args[4], std::string(510, 'E'));
  EXPECT_EQ(args[5], std::string(510, 'E'));
  EXPECT_EQ(args[6], std::to_string(0x2 | 0x10));
}

TEST(IndexTagOptionsTest, BitsFollowTheOrderOfTheSet) {
  using O = TIndexTagOption;
  EXPECT_EQ(TIndexTagOptions{}.AceOptions(), 0u);
  EXPECT_EQ(TIndexTagOptions{O::Compound}.AceOptions(), 0x2u);
  EXPECT_EQ(TIndexTagOptions{O::Unique}.AceOptions(), 0x1u);
  EXPECT_EQ(TIndexTagOptions{O::Descending}.AceOptions(), 0x8u);
  EXPECT_EQ(TIndexTagOptions{O::Custom}.AceOptions(), 0x4u);
  EXPECT_EQ(TIndexTagOptions{O::Candidate}.AceOptions(), 0x10u);
}

TEST_F(TableTest, CreateIndexTagResults) {
  OpenItem();
  engine.SetResult("AdsCreateIndex61", 5068);
  table.CreateIndexTag("", "IITEM", "IITEM", "", "", {});  // 5068: success
  EXPECT_EQ(engine.CountOf("AdsGetLastError"), 0u);
  EXPECT_FALSE(table.DefinitionsCurrent());

  engine.SetResult("AdsCreateIndex61", 5050);
  engine.SetLastError(5050, "The field NOSUCH does not exist");
  const EADSDatabaseError error =
      FailureOf([&] { table.CreateIndexTag("", "X", "NOSUCH", "", "", {}); });
  EXPECT_EQ(error.Message(), "AdsTable1: The field NOSUCH does not exist");
  EXPECT_TRUE(table.Active());  // a failed tag leaves the table open
  FailureOf([&] { table.SetTableName("abar.adt"); });
}

TEST_F(TableTest, CreateIndexTagOnAClosedTablePassesNoHandle) {
  table.SetTableName("item.adt");
  engine.SetResult("AdsCreateIndex61", 5010);
  FailureOf([&] { table.CreateIndexTag("", "IITEM", "IITEM", "", "", {}); });
  EXPECT_EQ(engine.CallsTo("AdsCreateIndex61")[0].args[0], "4294967295");
}

TEST_F(TableTest, Pack) {
  table.SetTableName("item.adt");
  table.PackDeletedRecords();  // closed: nothing
  EXPECT_THAT(engine.Calls(), IsEmpty());

  engine.record_count = 2;
  OpenItem();
  engine.ClearCalls();
  table.PackDeletedRecords();
  EXPECT_THAT(engine.CallsTo("AdsPackTable")[0].args, ElementsAre("100"));
  EXPECT_TRUE(table.HasRecord());

  engine.SetResult("AdsPackTable", 5062);
  engine.SetLastError(5062, "needs exclusive");
  EXPECT_EQ(FailureOf([&] { table.PackDeletedRecords(); }).Message(), "AdsTable1: needs exclusive");
  EXPECT_TRUE(table.Active());
}

TEST_F(TableTest, PackOfAnEmptiedTableEmptiesTheWindow) {
  engine.record_count = 1;
  OpenItem();
  engine.record_count = 0;
  table.PackDeletedRecords();
  EXPECT_FALSE(table.HasRecord());
}

TEST_F(TableTest, CloseDropsEngineFailures) {
  std::vector<std::string> events;
  table.BeforeClose = [&](TAdsTable&) { events.push_back("BeforeClose"); };
  table.AfterClose = [&](TAdsTable&) { events.push_back("AfterClose"); };
  OpenItem();
  engine.SetResult("AdsCloseTable", 5010);
  table.Close();
  EXPECT_FALSE(table.Active());
  EXPECT_EQ(table.TableHandle(), TAdsTable::kNoHandle);
  EXPECT_EQ(table.ActiveOrderHandle(), TAdsTable::kNoHandle);
  EXPECT_EQ(engine.CountOf("AdsCloseTable"), 1u);
  EXPECT_THAT(events, ElementsAre("BeforeClose", "AfterClose"));
  engine.ClearCalls();
  table.Close();  // closed: nothing
  EXPECT_THAT(engine.Calls(), IsEmpty());
}

TEST_F(TableTest, TableNameAndIndexFiles) {
  table.IndexFiles().Add("extra.adi");
  table.IndexFiles().Add("EXTRA.ADI");  // duplicates ignored, case too
  table.IndexFiles().Add("another.adi");
  EXPECT_THAT(table.IndexFiles().Names(), ElementsAre("another.adi", "extra.adi"));
  table.SetTableName("");  // the current name: the list stays
  EXPECT_EQ(table.IndexFiles().Count(), 2u);
  table.SetTableName("item.adt");
  EXPECT_EQ(table.IndexFiles().Count(), 0u);

  table.IndexFiles().Add("extra.adi");
  table.BeginLoading();
  table.SetTableName("abar.adt");  // while loading: the list stays
  table.EndLoading();
  EXPECT_EQ(table.IndexFiles().Count(), 1u);
}

TEST_F(TableTest, IndexFilesOpenWithTheTableAndAFailureClosesIt) {
  table.SetTableName("item.adt");
  table.IndexFiles().Add("extra.adi");
  table.Open();
  EXPECT_THAT(engine.CallsTo("AdsOpenIndex")[0].args,
              ElementsAre("100", "C:\\data\\extra.adi", "50"));
  table.Close();
  engine.SetResult("AdsOpenIndex", 5053);
  FailureOf([&] { table.Open(); });
  EXPECT_FALSE(table.Active());
  EXPECT_THAT(engine.OpenTables(), IsEmpty());
}

TEST(ResolveDatabasePathTest, TrailingSeparators) {
  const struct {
    std::string connect_path;
    std::string folder;
  } cases[] = {
      {"C:\\data", "C:\\data"},
      {"C:\\data\\", "C:\\data"},
      {"C:\\data/", "C:\\data"},
      {"C:\\data\\\\", "C:\\data\\"},
      {"\\", "\\"},
      {"/", "/"},
      {"C:\\", "C:"},
  };
  for (const auto& c : cases) {
    ScriptedEngine engine;
    TAdsConnection connection(engine, "AdsConnection1");
    connection.SetConnectPath(c.connect_path);
    TAdsTable table("AdsTable1");
    table.SetAdsConnection(&connection);
    EXPECT_EQ(table.ResolveDatabasePath(), c.folder) << c.connect_path;
    table.SetTableName("item.adt");
    table.Open();
    EXPECT_EQ(engine.CallsTo("AdsOpenTable")[0].args[1], c.folder + "\\item.adt") << c.connect_path;
  }
}

TEST(ResolveDatabasePathTest, DatabaseNameForms) {
  ScriptedEngine engine;
  TAdsConnection connection(engine, "AdsConnection1", "fmrebld");
  connection.SetConnectPath("C:\\data\\");
  TAdsTable table("AdsTable1", "fmrebld");
  table.SetAdsConnection(&connection);
  const struct {
    std::string database_name;
    std::string folder;
  } cases[] = {
      {"", "C:\\data"},
      {"adsconnection1", "C:\\data"},
      {"FMREBLD.AdsConnection1", "C:\\data"},
      {"D:\\other\\", "D:\\other"},
      {"E:/unix/", "E:/unix"},
  };
  for (const auto& c : cases) {
    table.SetDatabaseName(c.database_name);
    EXPECT_EQ(table.ResolveDatabasePath(), c.folder) << c.database_name;
  }
}

TEST(TableDestructionTest, ClosesWithoutEventsAndLeavesTheConnection) {
  ScriptedEngine engine;
  TAdsConnection connection(engine, "AdsConnection1");
  connection.SetConnectPath("C:\\data");
  {
    TAdsTable table("AdsTable1");
    table.SetAdsConnection(&connection);
    EXPECT_EQ(connection.RegisteredDataSets().size(), 1u);
    table.SetTableName("item.adt");
    table.Open();
    table.AfterClose = [](TAdsTable&) { ADD_FAILURE() << "close event while destroyed"; };
    engine.SetResult("AdsCloseTable", 5010);
  }
  EXPECT_EQ(engine.CountOf("AdsCloseTable"), 1u);
  EXPECT_THAT(connection.RegisteredDataSets(), IsEmpty());
}

TEST(TableDestructionTest, ConnectionDestroyedFirstClosesAndDetachesTheTable) {
  ScriptedEngine engine;
  TAdsTable table("AdsTable1");
  {
    TAdsConnection connection(engine, "AdsConnection1");
    connection.SetConnectPath("C:\\data");
    table.SetAdsConnection(&connection);
    table.SetTableName("item.adt");
    table.Open();
  }
  EXPECT_FALSE(table.Active());
  EXPECT_EQ(table.AdsConnection(), nullptr);
  EXPECT_EQ(engine.CallNames().back(), "AdsDisconnect");
  EXPECT_THAT(engine.OpenTables(), IsEmpty());
}

TEST(TableConnectionTest, DisconnectClosesRegisteredTables) {
  ScriptedEngine engine;
  TAdsConnection connection(engine, "AdsConnection1");
  connection.SetConnectPath("C:\\data");
  TAdsTable first("AdsTable1"), second("AdsTable2");
  for (TAdsTable* table : {&first, &second}) {
    table->SetAdsConnection(&connection);
    table->SetTableName("item.adt");
    table->Open();
  }
  engine.QueueResults("AdsCloseTable", {5010});  // the first close fails; the second goes on
  connection.SetIsConnected(false);
  EXPECT_FALSE(first.Active());
  EXPECT_FALSE(second.Active());
  EXPECT_EQ(engine.CountOf("AdsCloseTable"), 2u);
  EXPECT_THAT(connection.RegisteredDataSets(), ElementsAre(&first, &second));
}

TEST(TableDictionaryTest, BareNamesTypeZeroAndTheFreeTableRetry) {
  ScriptedEngine engine;
  TAdsConnection connection(engine, "AdsConnection1");
  connection.SetConnectPath("C:\\data\\kest.add");
  TAdsTable table("AdsTable1");
  table.SetAdsConnection(&connection);
  table.SetTableName("item.adt");
  EXPECT_EQ(table.IndexName(), "ADS_DEFAULT");  // the dictionary names a default index
  table.SetIndexName("");
  engine.QueueResults("AdsOpenTable", {5132});
  table.Open();
  const auto opens = engine.CallsTo("AdsOpenTable");
  ASSERT_EQ(opens.size(), 2u);
  EXPECT_EQ(opens[0].args[1], "item.adt");
  EXPECT_EQ(opens[0].args[3], "0");
  EXPECT_EQ(opens[1].args[1], "C:\\data\\item.adt");
  EXPECT_EQ(opens[1].args[3], "3");
  EXPECT_EQ(engine.CountOf("AdsGetTableCharType"), 1u);
}
}  // namespace

namespace {
// Data folders on a server's share, given as UNC paths or through a mapped drive: the path
// the connection passes, the table path formed from it, the folder the error names, with the
// folder as connect path, as the table's DatabaseName, and as an alias's path.
TEST(UncFolderTest, ConnectOpenAndErrors) {
  const std::string long_share = "\\\\server\\share\\" + std::string(260, 'd');
  const struct {
    const char* how;
    std::string connect_path;   // the connection's ConnectPath (empty: DatabaseName used)
    std::string database_name;  // the table's DatabaseName
    std::string alias_entry;    // the ads.ini entry of the alias "kest" (when named)
    std::string connected;      // the path AdsConnect60 receives
    std::string folder;         // ResolveDatabasePath, and the error's ErrorDatabasePath
  } cases[] = {
      {"UNC", "\\\\server\\share\\kestovar\\data", "", "", "\\\\server\\share\\kestovar\\data",
       "\\\\server\\share\\kestovar\\data"},
      {"UNC with trailing backslash", "\\\\server\\share\\kestovar\\data\\", "", "",
       "\\\\server\\share\\kestovar\\data\\", "\\\\server\\share\\kestovar\\data"},
      {"share root", "\\\\server\\share\\", "", "", "\\\\server\\share\\", "\\\\server\\share"},
      {"forward slashes", "//server/share/data/", "", "", "//server/share/data/",
       "//server/share/data"},
      {"mapped drive", "K:\\kestovar\\data\\", "", "", "K:\\kestovar\\data\\",
       "K:\\kestovar\\data"},
      {"UNC over the connect limit", long_share, "", "", long_share.substr(0, 254), long_share},
      {"DatabaseName", "C:\\local", "\\\\server\\share\\data\\", "", "C:\\local",
       "\\\\server\\share\\data"},
      {"alias", "C:\\local", "kest", "\\\\server\\share\\data;A", "C:\\local",
       "\\\\server\\share\\data"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    ScriptedEngine engine;
    TAdsConnection connection(engine, "AdsConnection1", "fmrebld");
    struct OneAlias : AliasLookup {
      std::string entry;
      std::optional<std::string> ReadAliasEntry(const std::string& alias) override {
        if (alias != "kest" || entry.empty()) return std::nullopt;
        return entry;
      }
    } aliases;
    aliases.entry = c.alias_entry;
    connection.SetConnectPath(c.connect_path);
    TAdsTable table("AdsTable1", "fmrebld");
    table.SetAliasLookup(aliases);
    table.SetAdsConnection(&connection);
    table.SetDatabaseName(c.database_name);
    EXPECT_EQ(table.ResolveDatabasePath(), c.folder);
    table.SetTableName("item.adt");
    engine.SetResult("AdsOpenTable", 5030);
    engine.SetLastError(5030, "The table " + c.folder + "\\item.adt is in use");
    try {
      table.Open();
      ADD_FAILURE() << "opened";
    } catch (const EADSDatabaseError& error) {
      EXPECT_EQ(error.ErrorDatabasePath(), c.folder);
      EXPECT_EQ(error.Message(), "AdsTable1: The table " + c.folder + "\\item.adt is in use");
    }
    EXPECT_EQ(engine.CallsTo("AdsConnect60").at(0).args[0], c.connected);
    EXPECT_EQ(engine.CallsTo("AdsOpenTable").at(0).args[1], c.folder + "\\item.adt");
  }
}
}  // namespace

}  // namespace kx::db
