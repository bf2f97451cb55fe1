#include "rebuild/rebuild_run.h"

#include "db/ads_connection.h"
#include "db/ads_table.h"
#include "rebuild/catalogue.h"

void ConfigureRebuildComponents(TAdsConnection& connection, TAdsTable& table) {
  connection.SetAdsServerTypes(stADS_LOCAL);
  table.SetIndexCollationMismatch(TIndexCollationMismatchOptions::icmReindex);
  table.SetAdsConnection(&connection);
}

namespace {
// Makes the connection ready for `folder`, whatever an earlier run left behind.
void ConnectTo(const std::string& folder, TAdsConnection& connection, TAdsTable& table) {
  table.SetActive(false);
  if (connection.IsConnected()) {
    if (connection.ConnectPath() == folder) return;
    connection.SetIsConnected(false);
  }
  connection.SetConnectPath(folder);
  connection.SetIsConnected(true);
}
}  // namespace

RebuildOutcome Button1Click(RebuildView& view, FileSystem& files, TAdsConnection& connection,
                            TAdsTable& table) {
  view.SetErrorText("");
  view.SetErrorVisible(false);

  // An empty field means the default folder; it is taken before the test so that the folder
  // tested is the folder processed.
  std::string folder = view.FolderPath();
  if (folder.empty()) {
    view.SetFolderPath(kDefaultDataFolder);
    folder = view.FolderPath();
  }
  if (!files.FileExists(folder + "\\" + std::string(kProbeTableFile))) {
    view.SetErrorText(kFilesMissingText);
    view.SetErrorVisible(true);
    return RebuildOutcome::kFilesMissing;
  }

  view.SetExitEnabled(false);
  view.SetProgressVisible(true);
  view.SetProgressPosition(kFirstPosition);
  view.SetStatusText(kProcessingText);
  view.SetStatusVisible(true);

  ConnectTo(folder, connection, table);

  for (const CatalogueEntry& entry : kCatalogue) {
    table.SetTableName(std::string(entry.table_file));
    table.SetExclusive(true);
    table.SetActive(true);
    table.Open();
    // The old index file goes first, so that only the catalogue's tags remain. Whether the
    // engine lets it go while the table is open does not matter: the tags are re-created.
    const std::string index_path = folder + "\\" + std::string(entry.index_file);
    if (files.FileExists(index_path)) files.RemoveFile(index_path);
    for (const IndexTagDef& tag : entry) {
      table.CreateIndexTag("", std::string(tag.name), std::string(tag.expression), "", "", {});
    }
    table.PackDeletedRecords();
    view.SetProgressPosition(entry.checkpoint);
    table.SetActive(false);
  }

  view.SetProgressPosition(kLastPosition);
  view.SetExitEnabled(true);
  view.SetStatusText(kCompletedText);
  view.FocusExit();
  view.SetRebuildButtonVisible(false);
  return RebuildOutcome::kCompleted;
}
