#include "src/rebuild/rebuild_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "src/db/ads_connection.h"
#include "src/db/ads_table.h"
#include "src/db/db_error.h"
#include "src/db/scripted_engine.h"
#include "src/rebuild/catalogue.h"
#include "src/rebuild/recording_view.h"
#include "src/rebuild/run_log.h"
#include "tests/support/expected_failure.h"
#include "tests/support/scratch_dir.h"

namespace kx::rebuild {

namespace {
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ::testing::StartsWith;

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
    if (const auto error = testing::Thrown<Exception>([&] { Run(); })) return error->Message();
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

  db::ScriptedEngine engine;
  db::TAdsConnection connection;
  db::TAdsTable table;
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
  for (const db::EngineCall& call : engine.CallsTo("AdsOpenTable")) {
    opened.push_back(call.args[1]);
    EXPECT_EQ(call.args[7], "257");
  }
  for (const db::EngineCall& call : engine.CallsTo("AdsCreateIndex61")) {
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
  table.AfterOpen = [&](db::TAdsTable&) {
    order.push_back("open removed=" + std::to_string(files.removed.size()));
  };
  table.AfterClose = [&](db::TAdsTable&) {
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

// Folders on a server's share, typed as UNC paths or through a mapped drive: the run joins
// its file names to the text as typed, connects to it, and the table access trims one
// trailing separator before it forms the table paths.
TEST(RebuildRunUncTest, PathsFormedFromTheFolder) {
  const struct {
    std::string folder;
    std::string tested;      // the existence test, and the index file deleted (as .adi)
    std::string table_path;  // what AdsOpenTable receives for the first table
  } cases[] = {
      {"\\\\server\\share\\kestovar\\data", "\\\\server\\share\\kestovar\\data\\item.adt",
       "\\\\server\\share\\kestovar\\data\\item.adt"},
      {"\\\\server\\share\\kestovar\\data\\", "\\\\server\\share\\kestovar\\data\\\\item.adt",
       "\\\\server\\share\\kestovar\\data\\item.adt"},
      {"\\\\server\\share", "\\\\server\\share\\item.adt", "\\\\server\\share\\item.adt"},
      {"\\\\server\\share\\", "\\\\server\\share\\\\item.adt", "\\\\server\\share\\item.adt"},
      {"K:\\", "K:\\\\item.adt", "K:\\item.adt"},
      {"K:\\kestovar\\data", "K:\\kestovar\\data\\item.adt", "K:\\kestovar\\data\\item.adt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    db::ScriptedEngine engine;
    db::TAdsConnection connection(engine, "AdsConnection1", "fmrebld");
    db::TAdsTable table("AdsTable1", "fmrebld");
    ConfigureRebuildComponents(connection, table);
    RecordingView view;
    view.folder = c.folder;
    FakeFileSystem files;
    files.files = DataFolder(c.folder);
    ASSERT_EQ(Button1Click(view, files, connection, table), RebuildOutcome::kCompleted);
    EXPECT_EQ(files.tested.front(), c.tested);
    EXPECT_EQ(files.removed.front(), c.tested.substr(0, c.tested.size() - 1) + "i");
    EXPECT_EQ(engine.CallsTo("AdsConnect60").at(0).args[0], c.folder);
    EXPECT_EQ(engine.CallsTo("AdsOpenTable").at(0).args[1], c.table_path);
    EXPECT_EQ(view.folder, c.folder);
  }
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

// The record of a run, with a clock that moves 2 ms at each reading.
class RecordedRunTest : public RebuildRunTest {
 protected:
  class StepClock : public RunClock {
   public:
    std::string LocalTime() override { return "2026-12-10 15:00:00"; }
    int64_t Milliseconds() override { return now_ += 2; }

   private:
    int64_t now_ = 1000;
  };
  class LinesSink : public RunLogSink {
   public:
    void WriteLine(const std::string& line) noexcept override { lines.push_back(line); }
    void EndRun() noexcept override { ++ends; }
    std::vector<std::string> lines;
    int ends = 0;
  };

  RecordedRunTest() {
    view.folder = "C:\\data";
    files.files = DataFolder("C:\\data");
  }

  RebuildOutcome RecordedRun() { return Button1Click(view, files, connection, table, recorder); }

  // The last `n` lines of the record.
  std::vector<std::string> Tail(size_t n) const {
    const auto& lines = sink.lines;
    return {lines.end() - static_cast<std::ptrdiff_t>(std::min(n, lines.size())), lines.end()};
  }

  StepClock clock;
  LinesSink sink;
  RunRecorder recorder{&sink, clock};
};

TEST_F(RecordedRunTest, CompletedRun) {
  files.files.erase("C:\\data\\abar.adi");
  ASSERT_EQ(RecordedRun(), RebuildOutcome::kCompleted);
  const std::vector<std::string> head = {
      "Rebuild run started 2026-12-10 15:00:00, program version 2.00",
      "Folder: C:\\data",
      "  connected (2 ms)",
      "  item.adt: opened (2 ms)",
      "  item.adt: index file item.adi deleted (2 ms)",
      "  item.adt: tag IITEM created (2 ms)",
      "  item.adt: tag IDESC1 created (2 ms)",
      "  item.adt: tag BYTYPEITEM created (2 ms)",
      "  item.adt: tag ITEMLOC created (2 ms)",
      "  item.adt: tag LOCBAR created (2 ms)",
      "  item.adt: tag BAR created (2 ms)",
      "  item.adt: packed (2 ms)",
      "  item.adt: closed (2 ms)",
      "  abar.adt: opened (2 ms)",
      "  abar.adt: index file abar.adi absent (2 ms)",
      "  abar.adt: tag SCANCODE created (2 ms)",
  };
  ASSERT_GE(sink.lines.size(), head.size());
  EXPECT_EQ(std::vector<std::string>(sink.lines.begin(), sink.lines.begin() + head.size()), head);
  // Two header lines, the connect, per table opened, index file, packed and closed, 24 tags,
  // and the end: 65 steps read the clock twice, the start and the end once each.
  EXPECT_EQ(sink.lines.size(), 2u + 1 + 10 * 4 + 24 + 1);
  EXPECT_THAT(Tail(2),
              ElementsAre("  vend.adt: closed (2 ms)", "Rebuild run completed after 262 ms"));
  EXPECT_EQ(sink.ends, 1);
}

TEST_F(RecordedRunTest, FailuresNameTheStepAndTheError) {
  struct Case {
    const char* name;
    const char* function;  // the engine function that fails
    std::vector<AceResult> results;
    std::string stopped;  // the record's line before the end
  };
  const Case cases[] = {
      {"connect", "AdsConnect60", {5012}, "  stopped while connecting: The folder is wrong."},
      {"open of the second table",
       "AdsOpenTable",
       {0, 5020},
       "  abar.adt: stopped while opening: AdsTable1: The folder is wrong."},
      {"a tag of the third table",
       "AdsCreateIndex61",
       {0, 0, 0, 0, 0, 0, 0, 0},
       "  asbly.adt: stopped while creating tag BYASMBLYM: AdsTable1: The folder is wrong."},
      {"pack",
       "AdsPackTable",
       {0, 0, 0, 5062},
       "  cust.adt: stopped while packing: AdsTable1: The folder is wrong."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    db::ScriptedEngine failing;
    db::TAdsConnection failing_connection(failing, "AdsConnection1", "fmrebld");
    db::TAdsTable failing_table("AdsTable1", "fmrebld");
    ConfigureRebuildComponents(failing_connection, failing_table);
    std::vector<AceResult> results = c.results;
    if (std::string(c.function) == "AdsCreateIndex61") results.push_back(5050);
    failing.QueueResults(c.function, results);
    failing.SetLastError(5050, "The folder is wrong");
    LinesSink lines;
    RunRecorder failing_recorder(&lines, clock);
    EXPECT_THROW(Button1Click(view, files, failing_connection, failing_table, failing_recorder),
                 db::EADSDatabaseError);
    ASSERT_GE(lines.lines.size(), 2u);
    EXPECT_EQ(lines.lines[lines.lines.size() - 2], c.stopped);
    EXPECT_THAT(lines.lines.back(), StartsWith("Rebuild run failed after "));
    EXPECT_EQ(lines.ends, 1);
  }
}

TEST_F(RecordedRunTest, FolderWithoutItemTable) {
  files.files.clear();
  ASSERT_EQ(RecordedRun(), RebuildOutcome::kFilesMissing);
  EXPECT_THAT(
      sink.lines,
      ElementsAre("Rebuild run started 2026-12-10 15:00:00, program version 2.00",
                  "Folder: C:\\data", "  Files do not exist in the selected folder - Try again",
                  "Rebuild run failed after 2 ms"));
}

// A record that cannot be written (its path is a folder, or in a folder that does not exist)
// changes nothing of the run and raises nothing.
TEST_F(RebuildRunTest, UnwritableRecordChangesNothing) {
  namespace fs = std::filesystem;
  const testing::ScratchDir scratch_dir;
  const fs::path scratch = scratch_dir.Path();
  fs::create_directories(scratch / "rebuild.log");
  for (const fs::path& path : {scratch / "rebuild.log", scratch / "missing" / "rebuild.log"}) {
    SCOPED_TRACE(path.string());
    view = RecordingView();
    view.folder = "C:\\data";
    files.files = DataFolder("C:\\data");
    RunLogFile log(path.string());
    ASSERT_EQ(Button1Click(view, files, connection, table, &log), RebuildOutcome::kCompleted);
    EXPECT_THAT(view.positions, ElementsAreArray(kAllPositions));
    EXPECT_EQ(view.status_text, "Re-Index Completed - Click Exit");
  }
  EXPECT_TRUE(fs::is_directory(scratch / "rebuild.log"));
  EXPECT_FALSE(fs::exists(scratch / "missing"));
}

// The catalogue against the list of the Kestovar data folder written out here: a typo in a
// table, tag or key expression, a tag out of order or a wrong checkpoint fails.
TEST(CatalogueTest, MatchesTheWrittenOutList) {
  struct Table {
    const char* table_file;
    const char* index_file;
    std::vector<std::pair<std::string, std::string>> tags;  // name, key expression
    int checkpoint;
  };
  const std::vector<Table> expected = {
      {"item.adt",
       "item.adi",
       {{"IITEM", "IITEM"},
        {"IDESC1", "IDESC1"},
        {"BYTYPEITEM", "ITYPE;IITEM"},
        {"ITEMLOC", "IITEM;ILOCATION"},
        {"LOCBAR", "ILOCATION;IBARCODE"},
        {"BAR", "IBARCODE"}},
       15},
      {"abar.adt", "abar.adi", {{"SCANCODE", "BSCANCODE"}}, 20},
      {"asbly.adt",
       "asbly.adi",
       {{"ASMBLYMAST", "AMITEM;AMILOCATION;ACITEM;ACILOCATION"},
        {"BYASMBLYM", "AMITEM;AMILOCATION"},
        {"BYASMBLYC", "ACITEM;ACILOCATION"}},
       25},
      {"cust.adt", "cust.adi", {{"CCUSTNO", "CCUSTNO"}, {"CNAME", "CNAME"}}, 35},
      {"loc.adt", "loc.adi", {{"LOCATION", "LOCATION"}}, 45},
      {"phys.adt", "phys.adi", {{"PITEMLOC", "PILOCATION;PITEM"}}, 55},
      {"tran.adt",
       "tran.adi",
       {{"TITEM", "TITEM"},
        {"BYDATE", "TDATE;TITEM"},
        {"BYDATECODE", "TDATE;TCODE;TITEM"},
        {"BYITEMDATECODE", "TITEM;TDATE;TCODE"},
        {"BYITEMLOCATION", "TITEM;TLOCATION"},
        {"TRANSNUMBER", "TRANSACTIONNUMBER"}},
       65},
      {"type.adt", "type.adi", {{"TYPE", "TYPE"}}, 75},
      {"um.adt", "um.adi", {{"UUM", "UUM"}}, 85},
      {"vend.adt", "vend.adi", {{"VVENDNO", "VVENDNO"}, {"VNAME", "VNAME"}}, 95},
  };
  ASSERT_EQ(kCatalogue.size(), expected.size());
  size_t tags = 0;
  for (size_t i = 0; i < expected.size(); ++i) {
    const CatalogueEntry& entry = kCatalogue[i];
    SCOPED_TRACE(expected[i].table_file);
    EXPECT_EQ(entry.table_file, expected[i].table_file);
    EXPECT_EQ(entry.index_file, expected[i].index_file);
    EXPECT_EQ(entry.checkpoint, expected[i].checkpoint);
    std::vector<std::pair<std::string, std::string>> actual;
    for (const IndexTagDef& tag : entry) {
      actual.emplace_back(std::string(tag.name), std::string(tag.expression));
    }
    EXPECT_EQ(actual, expected[i].tags);
    tags += actual.size();
  }
  EXPECT_EQ(tags, 24u);
  EXPECT_EQ(kFirstPosition, 1);
  EXPECT_EQ(kLastPosition, 100);
  EXPECT_EQ(kProbeTableFile, "item.adt");
}
}  // namespace

}  // namespace kx::rebuild
