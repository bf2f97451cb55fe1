#include "rebuild/rebuild_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "db/ads_connection.h"
#include "db/ads_table.h"
#include "db/db_error.h"
#include "db/scripted_engine.h"
#include "rebuild/catalogue.h"
#include "rebuild/recording_view.h"

namespace {
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

class FakeFileSystem : public FileSystem {
 public:
  bool FileExists(const std::string& path) override {
    tested.push_back(path);
    return files.count(path) > 0;
  }
  bool RemoveFile(const std::string& path) override {
    removed.push_back(path);
    return files.erase(path) > 0;
  }
  std::set<std::string> files;
  std::vector<std::string> tested;
  std::vector<std::string> removed;
};

// A data folder: every table file, and the index files of every table.
std::set<std::string> DataFolder(const std::string& folder, bool with_index_files = true) {
  std::set<std::string> files;
  for (const CatalogueEntry& entry : kCatalogue) {
    files.insert(folder + "\\" + std::string(entry.table_file));
    if (with_index_files) files.insert(folder + "\\" + std::string(entry.index_file));
  }
  return files;
}

const std::vector<int> kAllPositions = {1, 15, 20, 25, 35, 45, 55, 65, 75, 85, 95, 100};

class RebuildRunTest : public ::testing::Test {
 protected:
  RebuildRunTest()
      : connection(engine, "AdsConnection1", "fmrebld"), table("AdsTable1", "fmrebld") {
    ConfigureRebuildComponents(connection, table);
  }

  RebuildOutcome Run() { return Button1Click(view, files, connection, table); }

  // Runs, expecting the engine failure that stops the run.
  std::string RunExpectingFailure() {
    try {
      Run();
    } catch (const Exception& error) {
      return error.Message();
    }
    ADD_FAILURE() << "the run completed";
    return "";
  }

  void ExpectStateAfterFailure(int position) {
    EXPECT_FALSE(view.error_visible);
    EXPECT_TRUE(view.progress_visible);
    EXPECT_EQ(view.progress, position);
    EXPECT_EQ(view.status_text, "   Processing Request");
    EXPECT_TRUE(view.status_visible);
    EXPECT_TRUE(view.rebuild_visible);
    EXPECT_FALSE(view.exit_enabled);
    EXPECT_FALSE(view.exit_focused);
  }

  ScriptedEngine engine;
  TAdsConnection connection;
  TAdsTable table;
  RecordingView view;
  FakeFileSystem files;
};

TEST_F(RebuildRunTest, CompleteRun) {
  view.folder = "C:\\data";
  files.files = DataFolder("C:\\data");
  EXPECT_EQ(Run(), RebuildOutcome::kCompleted);

  EXPECT_EQ(view.positions, kAllPositions);
  EXPECT_EQ(view.status_text, "Re-Index Completed - Click Exit");
  EXPECT_TRUE(view.status_visible);
  EXPECT_TRUE(view.exit_enabled);
  EXPECT_TRUE(view.exit_focused);
  EXPECT_FALSE(view.rebuild_visible);
  EXPECT_FALSE(view.error_visible);
  EXPECT_THAT(view.log, ElementsAre("exit disabled", "exit enabled", "focus exit"));

  // Connected once to the folder as typed.
  ASSERT_EQ(engine.CountOf("AdsConnect60"), 1u);
  EXPECT_EQ(engine.CallsTo("AdsConnect60")[0].args[0], "C:\\data");
  EXPECT_TRUE(connection.IsConnected());
  EXPECT_FALSE(table.Active());
  EXPECT_TRUE(table.Exclusive());
  EXPECT_THAT(engine.OpenTables(), IsEmpty());

  // Every table opened exclusively, in order; every tag of the catalogue, in order.
  std::vector<std::string> opened, expected_opened, tags, expected_tags, removed;
  for (const EngineCall& call : engine.CallsTo("AdsOpenTable")) {
    opened.push_back(call.args[1]);
    EXPECT_EQ(call.args[7], "257");
  }
  for (const EngineCall& call : engine.CallsTo("AdsCreateIndex61")) {
    tags.push_back(call.args[2] + "=" + call.args[3]);
    EXPECT_EQ(call.args[1], "");
    EXPECT_EQ(call.args[4], "");
    EXPECT_EQ(call.args[5], "");
    EXPECT_EQ(call.args[6], "0");
  }
  for (const CatalogueEntry& entry : kCatalogue) {
    expected_opened.push_back("C:\\data\\" + std::string(entry.table_file));
    removed.push_back("C:\\data\\" + std::string(entry.index_file));
    for (const IndexTagDef& tag : entry) {
      expected_tags.push_back(std::string(tag.name) + "=" + std::string(tag.expression));
    }
  }
  EXPECT_EQ(opened, expected_opened);
  EXPECT_EQ(tags, expected_tags);
  EXPECT_EQ(tags.size(), 24u);
  EXPECT_EQ(files.removed, removed);
  EXPECT_EQ(engine.CountOf("AdsPackTable"), 10u);
  EXPECT_EQ(engine.CountOf("AdsCloseTable"), 10u);
  EXPECT_EQ(engine.CountOf("AdsDisconnect"), 0u);
}

// Per table: open, delete the index file, the tags, pack, progress, close.
TEST_F(RebuildRunTest, OrderWithinATable) {
  view.folder = "C:\\data";
  files.files = DataFolder("C:\\data");
  std::vector<std::string> order;
  table.AfterOpen = [&](TAdsTable&) {
    order.push_back("open removed=" + std::to_string(files.removed.size()));
  };
  table.AfterClose = [&](TAdsTable&) {
    order.push_back("close progress=" + std::to_string(view.progress) +
                    " packs=" + std::to_string(engine.CountOf("AdsPackTable")) +
                    " tags=" + std::to_string(engine.CountOf("AdsCreateIndex61")));
  };
  Run();
  ASSERT_GE(order.size(), 4u);
  EXPECT_THAT(std::vector<std::string>(order.begin(), order.begin() + 4),
              ElementsAre("open removed=0", "close progress=15 packs=1 tags=6", "open removed=1",
                          "close progress=20 packs=2 tags=7"));
}

TEST_F(RebuildRunTest, FolderWithoutItemTableChangesNothingElse) {
  view.folder = "C:\\empty";
  view.error_text = "old";
  view.error_visible = true;
  files.files = DataFolder("C:\\empty");
  files.files.erase("C:\\empty\\item.adt");
  EXPECT_EQ(Run(), RebuildOutcome::kFilesMissing);
  EXPECT_EQ(view.error_text, "Files do not exist in the selected folder - Try again");
  EXPECT_TRUE(view.error_visible);
  EXPECT_THAT(files.tested, ElementsAre("C:\\empty\\item.adt"));
  EXPECT_TRUE(view.exit_enabled);
  EXPECT_FALSE(view.progress_visible);
  EXPECT_THAT(view.positions, IsEmpty());
  EXPECT_FALSE(view.status_visible);
  EXPECT_TRUE(view.rebuild_visible);
  EXPECT_THAT(view.log, IsEmpty());
  EXPECT_THAT(engine.Calls(), IsEmpty());
  EXPECT_FALSE(connection.IsConnected());
}

TEST_F(RebuildRunTest, EmptyFieldTakesTheDefaultFolderBeforeTheTest) {
  const std::string folder = kDefaultDataFolder;
  EXPECT_EQ(folder, "C:\\Documents and Settings\\All Users\\Documents\\Velloran\\Kestovar\\data");
  files.files = DataFolder(folder);
  files.files.insert("\\item.adt");  // a root item table must not decide the run
  EXPECT_EQ(Run(), RebuildOutcome::kCompleted);
  EXPECT_EQ(view.folder, folder);
  EXPECT_EQ(files.tested.front(), folder + "\\item.adt");
  EXPECT_EQ(engine.CallsTo("AdsConnect60")[0].args[0], folder);
}

TEST_F(RebuildRunTest, EmptyFieldWithoutDefaultFolderFailsTheTest) {
  files.files = {"\\item.adt"};
  EXPECT_EQ(Run(), RebuildOutcome::kFilesMissing);
  EXPECT_EQ(view.folder, kDefaultDataFolder);
  EXPECT_TRUE(view.error_visible);
  EXPECT_THAT(engine.Calls(), IsEmpty());
}

TEST_F(RebuildRunTest, TrailingBackslashIsUsedAsTyped) {
  view.folder = "C:\\data\\";
  files.files = DataFolder("C:\\data\\");  // paths with two backslashes in a row
  EXPECT_EQ(Run(), RebuildOutcome::kCompleted);
  EXPECT_EQ(files.tested.front(), "C:\\data\\\\item.adt");
  EXPECT_EQ(files.removed.front(), "C:\\data\\\\item.adi");
  EXPECT_EQ(engine.CallsTo("AdsConnect60")[0].args[0], "C:\\data\\");
  EXPECT_EQ(engine.CallsTo("AdsOpenTable")[0].args[1], "C:\\data\\item.adt");
  EXPECT_EQ(view.folder, "C:\\data\\");
}

TEST_F(RebuildRunTest, AbsentIndexFileIsNotDeleted) {
  view.folder = "C:\\data";
  files.files = DataFolder("C:\\data", /*with_index_files=*/false);
  EXPECT_EQ(Run(), RebuildOutcome::kCompleted);
  EXPECT_THAT(files.removed, IsEmpty());
  EXPECT_EQ(engine.CountOf("AdsCreateIndex61"), 24u);
}

TEST_F(RebuildRunTest, MissingSecondTableStopsAt15) {
  view.folder = "C:\\data";
  files.files = DataFolder("C:\\data");
  engine.QueueResults("AdsOpenTable", {0, 5020});
  engine.SetLastError(5020, "The table C:\\data\\abar.adt does not exist");
  EXPECT_EQ(RunExpectingFailure(), "AdsTable1: The table C:\\data\\abar.adt does not exist");
  ExpectStateAfterFailure(15);
  EXPECT_THAT(view.positions, ElementsAre(1, 15));
  EXPECT_EQ(engine.CountOf("AdsPackTable"), 1u);
  EXPECT_EQ(engine.CountOf("AdsCreateIndex61"), 6u);
  EXPECT_FALSE(table.Active());
  EXPECT_EQ(table.TableName(), "abar.adt");
  EXPECT_TRUE(connection.IsConnected());
}

TEST_F(RebuildRunTest, ConnectFailureLeavesItUnconnectedAndAFurtherRunConnects) {
  view.folder = "C:\\data";
  files.files = DataFolder("C:\\data");
  engine.QueueResults("AdsConnect60", {5012});
  engine.SetLastError(5012, "The folder C:\\data does not exist");
  EXPECT_EQ(RunExpectingFailure(), "The folder C:\\data does not exist");
  ExpectStateAfterFailure(1);
  EXPECT_FALSE(connection.IsConnected());

  EXPECT_EQ(Run(), RebuildOutcome::kCompleted);
  EXPECT_EQ(engine.CountOf("AdsConnect60"), 2u);
}

// A run after a failure inside a table: the table left open is closed, the connection to the
// same folder is kept, and the run completes.
TEST_F(RebuildRunTest, FurtherRunAfterAFailedTag) {
  view.folder = "C:\\data";
  files.files = DataFolder("C:\\data");
  engine.QueueResults("AdsCreateIndex61", {0, 0, 0, 0, 0, 0, 0, 5050});  // in asbly.adt
  engine.SetLastError(5050, "The field AMITEM does not exist");
  EXPECT_EQ(RunExpectingFailure(), "AdsTable1: The field AMITEM does not exist");
  ExpectStateAfterFailure(20);
  EXPECT_TRUE(table.Active()) << "the table in hand stays open after the failure";
  EXPECT_EQ(engine.OpenTables().size(), 1u);

  engine.ClearCalls();
  EXPECT_EQ(Run(), RebuildOutcome::kCompleted);
  EXPECT_EQ(view.progress, 100);
  EXPECT_EQ(engine.CountOf("AdsConnect60"), 0u);
  EXPECT_EQ(engine.CountOf("AdsDisconnect"), 0u);
  EXPECT_EQ(engine.CallNames().front(), "AdsCloseTable");
  EXPECT_THAT(engine.OpenTables(), IsEmpty());
}

TEST_F(RebuildRunTest, FurtherRunToAnotherFolderReconnects) {
  view.folder = "C:\\data";
  files.files = DataFolder("C:\\data");
  ASSERT_EQ(Run(), RebuildOutcome::kCompleted);

  view.folder = "D:\\copy";
  files.files = DataFolder("D:\\copy");
  engine.ClearCalls();
  EXPECT_EQ(Run(), RebuildOutcome::kCompleted);
  ASSERT_GE(engine.Calls().size(), 2u);
  EXPECT_EQ(engine.Calls()[0].function, "AdsDisconnect");
  EXPECT_EQ(engine.Calls()[1].function, "AdsConnect60");
  EXPECT_EQ(engine.Calls()[1].args[0], "D:\\copy");
  EXPECT_EQ(connection.ConnectPath(), "D:\\copy");
  EXPECT_EQ(engine.CallsTo("AdsOpenTable")[0].args[1], "D:\\copy\\item.adt");
}

TEST_F(RebuildRunTest, FailedPackLeavesTheTableOpenAtItsPosition) {
  view.folder = "C:\\data";
  files.files = DataFolder("C:\\data");
  engine.QueueResults("AdsPackTable", {0, 0, 0, 5062});  // cust.adt
  RunExpectingFailure();
  ExpectStateAfterFailure(25);
  EXPECT_TRUE(table.Active());
  EXPECT_EQ(table.TableName(), "cust.adt");
}

TEST(CatalogueTest, WalkOrder) {
  std::vector<std::string> tables;
  std::vector<int> positions = {kFirstPosition};
  for (const CatalogueEntry& entry : kCatalogue) {
    tables.push_back(std::string(entry.table_file));
    positions.push_back(entry.checkpoint);
  }
  positions.push_back(kLastPosition);
  EXPECT_THAT(tables, ElementsAre("item.adt", "abar.adt", "asbly.adt", "cust.adt", "loc.adt",
                                  "phys.adt", "tran.adt", "type.adt", "um.adt", "vend.adt"));
  EXPECT_THAT(positions, ElementsAreArray(kAllPositions));
  EXPECT_EQ(kCatalogue[5].tags[0].expression, "PILOCATION;PITEM");
  EXPECT_EQ(kCatalogue[6].tags[5].expression, "TRANSACTIONNUMBER");
}
}  // namespace
