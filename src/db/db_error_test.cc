#include "src/db/db_error.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "src/db/ads_dataset.h"
#include "src/db/scripted_engine.h"
#include "tests/support/expected_failure.h"

namespace kx::db {

namespace {
using ::testing::ElementsAre;

// A data set with fixed identity; it can run a failing check while its error is being built.
class FakeDataSet : public TAdsDataSet {
 public:
  std::string Name() const override { return "AdsTable1"; }
  std::string OwnerName() const override { return "fmrebld"; }
  std::string DatabaseName() const override { return ""; }
  std::string TableName() const override { return "item.adt"; }
  std::string ResolveDatabasePath() override {
    if (nested_engine != nullptr) CheckAceResult(*nested_engine, this, 5000);
    return "C:\\data";
  }
  void SetActive(bool) override {}
  void DetachConnection() override {}
  void ApplyAliasTableType(uint8_t) override {}
  void RefreshDefaultIndex() override {}

  ScriptedEngine* nested_engine = nullptr;
};

EADSDatabaseError CaughtCheck(ScriptedEngine& engine, TAdsDataSet* data_set, AceResult code) {
  const auto error =
      testing::Thrown<EADSDatabaseError>([&] { CheckAceResult(engine, data_set, code); });
  if (error) return *error;
  ADD_FAILURE() << "CheckAceResult raised nothing for " << code;
  return EADSDatabaseError(nullptr, "", 0);
}

TEST(CheckAceResultTest, ZeroPassesWithoutAskingTheEngine) {
  ScriptedEngine engine;
  CheckAceResult(engine, nullptr, 0);
  EXPECT_TRUE(engine.Calls().empty());
}

TEST(CheckAceResultTest, TableFailureCarriesTheDataSetAndTheReportedCode) {
  ScriptedEngine engine;
  engine.SetLastError(5030, "The table is in use by another user");
  FakeDataSet table;
  const EADSDatabaseError error = CaughtCheck(engine, &table, 7008);
  EXPECT_EQ(error.Message(), "AdsTable1: The table is in use by another user");
  EXPECT_EQ(error.AceErrorCode(), 5030u);  // the code the engine reports, not the one passed
  EXPECT_EQ(error.DataSetName(), "AdsTable1");
  EXPECT_EQ(error.DataSetOwnerName(), "fmrebld");
  EXPECT_EQ(error.ErrorDatabasePath(), "C:\\data");
  EXPECT_EQ(error.ErrorTableName(), "item.adt");
  EXPECT_EQ(error.ErrorColumnName(), "");
  EXPECT_EQ(error.SqlNativeCode(), 0);
  ASSERT_EQ(engine.CountOf("AdsGetLastError"), 1u);
  EXPECT_THAT(engine.CallsTo("AdsGetLastError")[0].args, ElementsAre("600"));
  EXPECT_FALSE(BuildingDatabaseError());
}

TEST(CheckAceResultTest, ConnectFailureIsTheEngineTextAlone) {
  ScriptedEngine engine;
  engine.SetLastError(5012, "The folder does not exist");
  const EADSDatabaseError error = CaughtCheck(engine, nullptr, 5012);
  EXPECT_EQ(error.Message(), "The folder does not exist");
  EXPECT_EQ(error.DataSetName(), "");
  EXPECT_EQ(error.DataSetOwnerName(), "");
  EXPECT_EQ(error.ErrorDatabaseName(), "");
  EXPECT_EQ(error.ErrorDatabasePath(), "");
  EXPECT_EQ(error.ErrorTableName(), "");
}

TEST(CheckAceResultTest, LongEngineTextIsCutAt600) {
  ScriptedEngine engine;
  engine.SetLastError(5000, std::string(700, 'x'));
  EXPECT_EQ(CaughtCheck(engine, nullptr, 5000).Message(), std::string(600, 'x'));
}

TEST(CheckAceResultTest, FailureWhileAnErrorIsBeingBuiltIsDropped) {
  ScriptedEngine engine;
  engine.SetLastError(5030, "in use");
  ScriptedEngine nested;
  FakeDataSet table;
  table.nested_engine = &nested;
  const EADSDatabaseError error = CaughtCheck(engine, &table, 5030);
  EXPECT_EQ(error.Message(), "AdsTable1: in use");
  EXPECT_TRUE(nested.Calls().empty()) << "the nested check must not even ask for the text";
  EXPECT_FALSE(BuildingDatabaseError());
}

TEST(CheckAceResultTest, GuardIsPerThread) {
  ScriptedEngine engine;
  bool other_thread_building = true;
  std::thread([&] { other_thread_building = BuildingDatabaseError(); }).join();
  EXPECT_FALSE(other_thread_building);
  EXPECT_THROW(CheckAceResult(engine, nullptr, 5000), EADSDatabaseError);
}

struct ColumnCase {
  uint32_t code;
  std::string text;
  std::string column;
};

TEST(EADSDatabaseErrorTest, ColumnNameOnlyForColumnCodes) {
  const ColumnCase cases[] = {
      {5147, "Bad value for column \"IITEM\" in row 3", "IITEM"},
      {5148, "column \"TRANSACTIONNUMBER\" too long", "TRANSACTIONNUMBER"},
      {5149, "first column \"A\" then column \"B\"", "A"},
      {5149, "no column named here", ""},
      {5149, "column IITEM without quotes", ""},
      {5149, "column \"UNCLOSED", "UNCLOSED"},
      {5146, "Bad value for column \"IITEM\"", ""},
      {5150, "Bad value for column \"IITEM\"", ""},
  };
  FakeDataSet table;
  for (const ColumnCase& c : cases) {
    EXPECT_EQ(EADSDatabaseError(&table, c.text, c.code).ErrorColumnName(), c.column)
        << c.code << " " << c.text;
  }
  const std::string long_name(1000, 'C');
  EXPECT_EQ(EADSDatabaseError(&table, "column \"" + long_name + "\"", 5147).ErrorColumnName(),
            std::string(900, 'C'));
}

TEST(EADSDatabaseErrorTest, ColumnNameNeedsADataSet) {
  EXPECT_EQ(EADSDatabaseError(nullptr, "column \"IITEM\"", 5147).ErrorColumnName(), "");
}

TEST(EADSDatabaseErrorTest, NativeSqlCode) {
  const struct {
    std::string text;
    int32_t native;
  } cases[] = {
      {"Error 7200: AQE Error: State = S0000; NativeError = 2121; bad", 2121},
      {"error 7200: nativeerror = -17; lower case", -17},
      {"ERROR 7200: NATIVEERROR = 42", 42},
      {"Error 7200: NativeError = 12abc; not a number", 0},
      {"Error 7200: NativeError = ; empty", 0},
      {"Error 7201: NativeError = 2121;", 0},
      {"NativeError = 2121; without the error number", 0},
      {"Error 7200: without a native part", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EADSDatabaseError(nullptr, c.text, 7200).SqlNativeCode(), c.native) << c.text;
  }
}

TEST(EADSDatabaseErrorTest, OwnChecksUseTheirCodeAndPrefix) {
  FakeDataSet table;
  const EADSDatabaseError error(&table, "Missing TableName property", kAceErrorOwnCheck);
  EXPECT_EQ(error.Message(), "AdsTable1: Missing TableName property");
  EXPECT_EQ(error.AceErrorCode(), 5121u);
  EXPECT_EQ(error.ErrorDatabaseName(), "");
  const Exception& base = error;  // shown by the shell through the common base
  EXPECT_STREQ(base.what(), "AdsTable1: Missing TableName property");
}
}  // namespace

namespace {
AceResult ACE_CALL DisconnectForTest(AceHandle) { return 0; }

// A table engine binds a function at its first call: one missing from the table raises an
// error that names it, with a code of the program's own, outside the engine's codes.
TEST(FunctionTableEngineTest, MissingFunctionRaisesWhenCalled) {
  AceFunctionTable table;
  table.AdsDisconnect = &DisconnectForTest;
  FunctionTableEngine engine(table);
  EXPECT_EQ(engine.AdsDisconnect(1), 0u);
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      engine.AdsPackTable(5);
      ADD_FAILURE() << "called a function the table lacks";
    } catch (const EADSDatabaseError& error) {
      EXPECT_EQ(error.AceErrorCode(), kAceErrorEngineUnavailable);
      EXPECT_GE(error.AceErrorCode(), 10000u);
      EXPECT_NE(error.Message().find("AdsPackTable"), std::string::npos) << error.Message();
    }
  }
}
}  // namespace

}  // namespace kx::db
