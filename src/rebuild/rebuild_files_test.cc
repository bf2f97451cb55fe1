// The rebuild run on real data folders, through the stand-in engine.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "engine/table_file.h"
#include "engine/verify.h"
#include "src/db/ads_connection.h"
#include "src/db/ads_table.h"
#include "src/db/db_error.h"
#include "src/db/linked_engine.h"
#include "src/rebuild/catalogue.h"
#include "src/rebuild/console_rebuild.h"
#include "src/rebuild/rebuild_run.h"
#include "src/rebuild/recording_view.h"
#include "src/rebuild/run_log.h"
#include "tests/support/expected_failure.h"
#include "tests/support/scratch_dir.h"

#ifdef _WIN32
#include "src/db/dll_engine_win.h"
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kx::rebuild {

namespace {
namespace fs = std::filesystem;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr uint32_t kRecordsPerTable = 6;
constexpr uint32_t kDeletedRecord = 2;

std::vector<std::string> SplitFields(std::string_view expression) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in{std::string(expression)};
  while (std::getline(in, field, ';')) fields.push_back(field);
  return fields;
}

// The key fields of a table's tags, then a note field.
std::vector<engine::FieldDef> FieldsOf(const CatalogueEntry& entry) {
  std::vector<engine::FieldDef> fields;
  std::set<std::string> seen;
  for (const IndexTagDef& tag : entry) {
    for (const std::string& name : SplitFields(tag.expression)) {
      if (seen.insert(name).second) {
        fields.push_back({name, engine::FieldType::kCharacter, 12, 0});
      }
    }
  }
  fields.push_back({"NOTE", engine::FieldType::kCharacter, 20, 0});
  return fields;
}

std::vector<std::string> CatalogueTags(const CatalogueEntry& entry) {
  std::vector<std::string> tags;
  for (const IndexTagDef& tag : entry) tags.emplace_back(tag.name);
  return tags;
}

class RebuildFilesTest : public ::testing::Test {
 protected:
  RebuildFilesTest()
      : connection(db::LinkedClientEngine(), "AdsConnection1", "fmrebld"),
        table("AdsTable1", "fmrebld") {
    ConfigureRebuildComponents(connection, table);
    MakeDataFolder();
    view.folder = folder.string();
  }

  std::string PathOf(std::string_view file) const { return (folder / std::string(file)).string(); }

  // Every table with records (one of them deleted), and an index file holding a stale tag
  // and one catalogue tag built before the last records were added.
  void MakeDataFolder() {
    for (const CatalogueEntry& entry : kCatalogue) {
      auto file = engine::TableFile::Create(PathOf(entry.table_file), FieldsOf(entry));
      const size_t field_count = file->Fields().size();
      auto append = [&](uint32_t i) {
        std::vector<std::string> values;
        for (size_t f = 0; f < field_count; ++f) {
          std::string value(1, 'V');
          value += std::to_string((i * 7 + f * 3) % 10);
          value += 'R';
          value += std::to_string(i);
          values.push_back(value);
        }
        file->AppendRecord(values);
      };
      for (uint32_t i = 1; i <= kRecordsPerTable / 2; ++i) append(i);
      file->CreateIndex("OLDTAG", file->Fields()[0].name);
      file->CreateIndex(std::string(entry.tags[0].name), std::string(entry.tags[0].expression));
      for (uint32_t i = kRecordsPerTable / 2 + 1; i <= kRecordsPerTable; ++i) append(i);
      file->DeleteRecord(kDeletedRecord);
    }
  }

  // The live records of every table, as text.
  std::map<std::string, std::multiset<std::string>> LiveRecords() const {
    std::map<std::string, std::multiset<std::string>> records;
    for (const CatalogueEntry& entry : kCatalogue) {
      auto file = engine::TableFile::Open(PathOf(entry.table_file), engine::OpenMode::kReadOnly);
      auto& set = records[std::string(entry.table_file)];
      for (uint32_t recno = 1; recno <= file->RecordCount(); ++recno) {
        if (file->IsDeleted(recno)) continue;
        std::string line;
        for (const std::string& value : file->RecordValues(recno)) line += value + "|";
        set.insert(line);
      }
    }
    return records;
  }

  void ExpectRebuilt(const CatalogueEntry& entry) {
    auto file = engine::TableFile::Open(PathOf(entry.table_file), engine::OpenMode::kReadOnly);
    std::vector<std::string> tags;
    for (const engine::TagInfo& tag : file->Tags()) tags.push_back(tag.name);
    EXPECT_THAT(tags, ElementsAreArray(CatalogueTags(entry))) << entry.table_file;
    EXPECT_EQ(file->RecordCount(), kRecordsPerTable - 1) << entry.table_file << " not packed";
  }

  std::string RunExpectingFailure(uint32_t* code, RunLogSink* log = nullptr) {
    const auto error = testing::Thrown<db::EADSDatabaseError>(
        [&] { Button1Click(view, DefaultFileSystem(), connection, table, log); });
    if (!error) {
      ADD_FAILURE() << "the run completed";
      return "";
    }
    *code = error->AceErrorCode();
    return error->Message();
  }

  testing::ScratchDir scratch;
  fs::path folder{scratch.Path()};
  db::TAdsConnection connection;
  db::TAdsTable table;
  RecordingView view;
};

TEST_F(RebuildFilesTest, CompleteRunRebuildsEveryTable) {
  const auto before = LiveRecords();
  ASSERT_EQ(Button1Click(view, DefaultFileSystem(), connection, table), RebuildOutcome::kCompleted);
  EXPECT_EQ(view.positions, (std::vector<int>{1, 15, 20, 25, 35, 45, 55, 65, 75, 85, 95, 100}));
  EXPECT_EQ(view.status_text, "Re-Index Completed - Click Exit");
  size_t tag_count = 0;
  for (const CatalogueEntry& entry : kCatalogue) {
    ExpectRebuilt(entry);
    tag_count += entry.tag_count;
  }
  EXPECT_EQ(tag_count, 24u);
  const engine::VerifyReport report = engine::VerifyFolder(folder.string());
  EXPECT_TRUE(report.Ok()) << report.ToString();
  EXPECT_EQ(report.tables.size(), 10u);
  EXPECT_EQ(LiveRecords(), before);

  // A further run on the same components completes as well.
  ASSERT_EQ(Button1Click(view, DefaultFileSystem(), connection, table), RebuildOutcome::kCompleted);
  EXPECT_TRUE(engine::VerifyFolder(folder.string()).Ok());
}

TEST_F(RebuildFilesTest, TrailingBackslash) {
  view.folder = folder.string() + "\\";
  ASSERT_EQ(Button1Click(view, DefaultFileSystem(), connection, table), RebuildOutcome::kCompleted);
  EXPECT_EQ(view.folder, folder.string() + "\\");
  EXPECT_TRUE(engine::VerifyFolder(folder.string()).Ok());
}

TEST_F(RebuildFilesTest, MissingSecondTableStopsAt15) {
  fs::remove(PathOf("abar.adt"));
  fs::remove(PathOf("abar.adi"));
  uint32_t code = 0;
  EXPECT_THAT(RunExpectingFailure(&code), StartsWith("AdsTable1: "));
  EXPECT_EQ(code, engine::kErrTableNotFound);
  EXPECT_EQ(view.progress, 15);
  EXPECT_FALSE(view.exit_enabled);
  ExpectRebuilt(kCatalogue[0]);
}

TEST_F(RebuildFilesTest, DamagedIndexFileIsRebuilt) {
  const std::string index = PathOf("item.adi");
  {
    std::fstream file(index, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(fs::file_size(index) / 2));
    file.put('\x5A').put('\xA5').put('\x5A');
  }
  ASSERT_FALSE(engine::VerifyTable(PathOf("item.adt")).Ok());
  ASSERT_EQ(Button1Click(view, DefaultFileSystem(), connection, table), RebuildOutcome::kCompleted);
  ExpectRebuilt(kCatalogue[0]);
  const engine::VerifyReport report = engine::VerifyFolder(folder.string());
  EXPECT_TRUE(report.Ok()) << report.ToString();
}

TEST_F(RebuildFilesTest, EmptyFieldTestsTheDefaultFolder) {
  view.folder = "";
  EXPECT_EQ(Button1Click(view, DefaultFileSystem(), connection, table),
            RebuildOutcome::kFilesMissing);
  EXPECT_EQ(view.folder, kDefaultDataFolder);
  EXPECT_EQ(view.error_text, "Files do not exist in the selected folder - Try again");
  EXPECT_FALSE(connection.IsConnected());
}

// Another user holds cust.adt open: the run stops there with the engine's text, and no record
// of any table is lost.
TEST_F(RebuildFilesTest, TableHeldOpenElsewhere) {
  const auto before = LiveRecords();
  const std::string held = PathOf("cust.adt");
#ifdef _WIN32
  auto holder = engine::TableFile::Open(held, engine::OpenMode::kShared);
#else
  int ready[2], release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(release[1]);
    close(ready[0]);
    auto holder = engine::TableFile::Open(held, engine::OpenMode::kShared);
    char byte = 1;
    if (write(ready[1], &byte, 1) != 1) _exit(2);
    (void)read(release[0], &byte, 1);
    _exit(0);
  }
  close(release[0]);
  close(ready[1]);
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  close(ready[0]);
#endif
  uint32_t code = 0;
  std::ostringstream record;
  RunLogStream log(record);
  const std::string message = RunExpectingFailure(&code, &log);
#ifndef _WIN32
  close(release[1]);
  int status = 0;
  waitpid(child, &status, 0);
#else
  holder.reset();
#endif
  EXPECT_THAT(message, StartsWith("AdsTable1: "));
  EXPECT_THAT(message, HasSubstr("cust.adt"));
  EXPECT_EQ(code, engine::kErrTableInUse);
  EXPECT_EQ(view.progress, 25);
  // The record shows the tables done and where the run stopped, with the error text.
  EXPECT_THAT(record.str(), HasSubstr("  asbly.adt: closed ("));
  EXPECT_THAT(record.str(),
              HasSubstr("\n  cust.adt: stopped while opening: " + MessageWithFullStop(message) +
                        "\nRebuild run failed after "));
  EXPECT_FALSE(table.Active());
  for (size_t i = 0; i < 3; ++i) {
    ExpectRebuilt(kCatalogue[i]);
    const engine::VerifyReport report = engine::VerifyTable(PathOf(kCatalogue[i].table_file));
    EXPECT_TRUE(report.Ok()) << report.ToString();
  }
  EXPECT_EQ(LiveRecords(), before);

  // Once the other user has gone, a further run completes.
  ASSERT_EQ(Button1Click(view, DefaultFileSystem(), connection, table), RebuildOutcome::kCompleted);
  for (const CatalogueEntry& entry : kCatalogue) ExpectRebuilt(entry);
}

TEST_F(RebuildFilesTest, ConsoleRun) {
  std::ostringstream out, err;
  EXPECT_EQ(RunConsoleRebuild(folder.string(), out, err), 0) << err.str();
  EXPECT_EQ(err.str(), "");
  EXPECT_THAT(out.str(), StartsWith("Progress: 1 %\n   Processing Request\nProgress: 15 %\n"));
  EXPECT_THAT(out.str(), HasSubstr("Progress: 100 %\nRe-Index Completed - Click Exit\n"));
  for (const CatalogueEntry& entry : kCatalogue) ExpectRebuilt(entry);
}

// The console run with its record: what kxdata rebuild --log prints.
TEST_F(RebuildFilesTest, ConsoleRunWithItsRecord) {
  std::ostringstream out, err;
  RunLogStream log(out);
  ASSERT_EQ(RunConsoleRebuild(folder.string(), out, err, &log), 0) << err.str();
  EXPECT_THAT(out.str(), StartsWith("Rebuild run started "));
  EXPECT_THAT(out.str(), HasSubstr("Folder: " + folder.string() + "\n"));
  EXPECT_THAT(out.str(), HasSubstr("  tran.adt: tag TRANSNUMBER created ("));
  EXPECT_THAT(out.str(), HasSubstr("  vend.adt: index file vend.adi deleted ("));
  EXPECT_THAT(out.str(), HasSubstr("\nRebuild run completed after "));
}

TEST_F(RebuildFilesTest, ConsoleFailures) {
  std::ostringstream out, err;
  EXPECT_EQ(RunConsoleRebuild((folder / "nothing-here").string(), out, err), 1);
  EXPECT_EQ(err.str(), "Files do not exist in the selected folder - Try again\n");

  fs::remove(PathOf("loc.adt"));
  std::ostringstream out2, err2;
  EXPECT_EQ(RunConsoleRebuild(folder.string(), out2, err2), 2);
  EXPECT_THAT(err2.str(), StartsWith("AdsTable1: "));
  EXPECT_THAT(err2.str(), HasSubstr("loc.adt"));
  EXPECT_THAT(out2.str(), HasSubstr("Progress: 35 %\n"));
  EXPECT_THAT(out2.str(), ::testing::Not(HasSubstr("Progress: 45 %")));
}

#ifdef _WIN32
// The whole run on a data folder given as a UNC path, with and without a trailing backslash.
// Wine serves \\server\share from the folder dosdevices\unc\server\share of its prefix, so
// the test puts the data there; elsewhere (no Wine prefix) there is no share to use.
TEST_F(RebuildFilesTest, RunOnAServerShare) {
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix == nullptr || *prefix == '\0') GTEST_SKIP() << "no Wine prefix to serve a share";
  const std::string share = "kx" + std::to_string(GetCurrentProcessId());
  const fs::path share_folder =
      fs::path("Z:" + std::string(prefix)) / "dosdevices" / "unc" / "localhost" / share;
  const fs::path data = share_folder / "kestovar" / "data";
  fs::remove_all(share_folder);
  fs::create_directories(data);
  const std::string unc = "\\\\localhost\\" + share + "\\kestovar\\data";
  for (const std::string& typed : {unc, unc + "\\"}) {
    SCOPED_TRACE(typed);
    for (const auto& file : fs::directory_iterator(folder)) {
      fs::copy_file(file.path(), data / file.path().filename(),
                    fs::copy_options::overwrite_existing);
    }
    db::TAdsConnection share_connection(db::LinkedClientEngine(), "AdsConnection1", "fmrebld");
    db::TAdsTable share_table("AdsTable1", "fmrebld");
    ConfigureRebuildComponents(share_connection, share_table);
    RecordingView share_view;
    share_view.folder = typed;
    std::ostringstream record;
    RunLogStream log(record);
    ASSERT_EQ(Button1Click(share_view, DefaultFileSystem(), share_connection, share_table, &log),
              RebuildOutcome::kCompleted);
    EXPECT_THAT(record.str(), HasSubstr("Folder: " + typed + "\n"));
    EXPECT_THAT(record.str(), HasSubstr("  item.adt: index file item.adi deleted ("));
    const engine::VerifyReport report = engine::VerifyFolder(unc);
    EXPECT_TRUE(report.Ok()) << report.ToString();
    EXPECT_EQ(report.tables.size(), 10u);
  }
  fs::remove_all(share_folder);
}

// Engine versions that lack functions, loaded as the program loads the vendor's DLL: one
// without the functions the run never calls serves a whole run; one without a function that
// the run calls stops it there with an error that names the function and the DLL.
TEST_F(RebuildFilesTest, EngineVersionsWithoutSomeFunctions) {
  struct Case {
    const char* name;
    const char* dll;
    const char* missing;  // the function the error names, or null when the run completes
  };
  const Case cases[] = {
      {"lean", KX_LEAN_ENGINE_DLL, nullptr},
      {"no_pack", KX_NO_PACK_ENGINE_DLL, "AdsPackTable"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path engine_folder = folder / (std::string("engine-") + c.name);
    fs::create_directories(engine_folder);
    fs::copy_file(c.dll, engine_folder / "ACE32.DLL");
    db::DllClientEngine engine({engine_folder.string()});
    db::TAdsConnection dll_connection(engine, "AdsConnection1", "fmrebld");
    db::TAdsTable dll_table("AdsTable1", "fmrebld");
    ConfigureRebuildComponents(dll_connection, dll_table);
    RecordingView dll_view;
    dll_view.folder = folder.string();
    if (c.missing == nullptr) {
      ASSERT_EQ(Button1Click(dll_view, DefaultFileSystem(), dll_connection, dll_table),
                RebuildOutcome::kCompleted);
      for (const CatalogueEntry& entry : kCatalogue) ExpectRebuilt(entry);
      continue;
    }
    try {
      Button1Click(dll_view, DefaultFileSystem(), dll_connection, dll_table);
      ADD_FAILURE() << "the run completed";
    } catch (const db::EADSDatabaseError& error) {
      EXPECT_EQ(error.AceErrorCode(), db::kAceErrorEngineUnavailable);
      EXPECT_THAT(error.Message(), HasSubstr(c.missing));
      EXPECT_THAT(error.Message(), HasSubstr((engine_folder / "ACE32.DLL").string()));
    }
    EXPECT_EQ(dll_view.progress, 1);  // stopped at the first table's pack
  }
}
#endif
}  // namespace

}  // namespace kx::rebuild
