#include "src/rebuild/rebuild_run.h"

#include <exception>

#include "src/common/exception.h"
#include "src/db/ads_connection.h"
#include "src/db/ads_table.h"
#include "src/rebuild/catalogue.h"

namespace kx::rebuild {

void ConfigureRebuildComponents(db::TAdsConnection& connection, db::TAdsTable& table) {
  connection.SetAdsServerTypes(db::stADS_LOCAL);
  table.SetIndexCollationMismatch(db::TIndexCollationMismatchOptions::icmReindex);
  table.SetAdsConnection(&connection);
}

namespace {
// The text an error is shown with.
std::string ShownText(const std::exception& error) {
  if (const auto* own = dynamic_cast<const Exception*>(&error)) {
    return MessageWithFullStop(own->Message());
  }
  return MessageWithFullStop(error.what());
}

// One run of the "Re-Build" handler over the window, the file system and the components,
// step by step; every step goes through the recorder, so the step a failure stopped at is
// known in one place.
class RebuildRun {
 public:
  RebuildRun(RebuildView& view, FileSystem& files, db::TAdsConnection& connection,
             db::TAdsTable& table, RunRecorder& recorder)
      : view_(view), files_(files), connection_(connection), table_(table), recorder_(recorder) {}

  RebuildOutcome Execute() {
    view_.SetErrorText("");
    view_.SetErrorVisible(false);
    const std::string folder = ChosenFolder();
    recorder_.Start(folder);
    try {
      if (!files_.FileExists(folder + "\\" + std::string(kProbeTableFile))) {
        ShowFilesMissing();
        return RebuildOutcome::kFilesMissing;
      }
      ShowRunStarted();
      recorder_.Step("", "connecting", [&] { return ConnectTo(folder); });
      for (const CatalogueEntry& entry : kCatalogue) RebuildTable(folder, entry);
      ShowRunCompleted();
      return RebuildOutcome::kCompleted;
    } catch (const std::exception& error) {
      recorder_.Failed(ShownText(error));
      throw;
    } catch (...) {
      recorder_.Failed("an unexpected error");
      throw;
    }
  }

 private:
  // The folder field's text; an empty field means the default folder, taken before the test
  // so that the folder tested is the folder processed.
  std::string ChosenFolder() {
    std::string folder = view_.FolderPath();
    if (!folder.empty()) return folder;
    view_.SetFolderPath(kDefaultDataFolder);
    return view_.FolderPath();
  }

  void ShowFilesMissing() {
    view_.SetErrorText(kFilesMissingText);
    view_.SetErrorVisible(true);
    recorder_.Refused(kFilesMissingText);
  }

  void ShowRunStarted() {
    view_.SetExitEnabled(false);
    view_.SetProgressVisible(true);
    view_.SetProgressPosition(kFirstPosition);
    view_.SetStatusText(kProcessingText);
    view_.SetStatusVisible(true);
  }

  // Makes the connection ready for `folder`, whatever an earlier run left behind: a table
  // left open is closed, a connection to another folder is disconnected first.
  std::string ConnectTo(const std::string& folder) {
    table_.SetActive(false);
    if (connection_.IsConnected()) {
      if (connection_.ConnectPath() == folder) return "still connected";
      connection_.SetIsConnected(false);
    }
    connection_.SetConnectPath(folder);
    connection_.SetIsConnected(true);
    return "connected";
  }

  void RebuildTable(const std::string& folder, const CatalogueEntry& entry) {
    const std::string_view name = entry.table_file;
    recorder_.Step(name, "opening", [&] {
      table_.SetTableName(std::string(name));
      table_.SetExclusive(true);
      table_.SetActive(true);
      table_.Open();
      return "opened";
    });
    recorder_.Step(name, "deleting the index file",
                   [&] { return DeleteIndexFile(folder + "\\" + std::string(entry.index_file)); });
    for (const IndexTagDef& tag : entry) {
      recorder_.Step(name, "creating tag " + std::string(tag.name), [&] {
        table_.CreateIndexTag("", std::string(tag.name), std::string(tag.expression), "", "", {});
        return "tag " + std::string(tag.name) + " created";
      });
    }
    recorder_.Step(name, "packing", [&] {
      table_.PackDeletedRecords();
      return "packed";
    });
    view_.SetProgressPosition(entry.checkpoint);
    recorder_.Step(name, "closing", [&] {
      table_.SetActive(false);
      return "closed";
    });
  }

  // The old index file goes first, so that only the catalogue's tags remain. Whether the
  // engine lets it go while the table is open does not matter: the tags are re-created.
  std::string DeleteIndexFile(const std::string& path) {
    const std::string name = path.substr(path.find_last_of('\\') + 1);
    if (!files_.FileExists(path)) return "index file " + name + " absent";
    return files_.RemoveFile(path) ? "index file " + name + " deleted"
                                   : "index file " + name + " not deleted (in use)";
  }

  void ShowRunCompleted() {
    view_.SetProgressPosition(kLastPosition);
    view_.SetExitEnabled(true);
    view_.SetStatusText(kCompletedText);
    view_.FocusExit();
    view_.SetRebuildButtonVisible(false);
    recorder_.Completed();
  }

  RebuildView& view_;
  FileSystem& files_;
  db::TAdsConnection& connection_;
  db::TAdsTable& table_;
  RunRecorder& recorder_;
};
}  // namespace

RebuildOutcome Button1Click(RebuildView& view, FileSystem& files, db::TAdsConnection& connection,
                            db::TAdsTable& table, RunLogSink* log) {
  RunRecorder recorder(log);
  return Button1Click(view, files, connection, table, recorder);
}

RebuildOutcome Button1Click(RebuildView& view, FileSystem& files, db::TAdsConnection& connection,
                            db::TAdsTable& table, RunRecorder& recorder) {
  return RebuildRun(view, files, connection, table, recorder).Execute();
}

}  // namespace kx::rebuild
