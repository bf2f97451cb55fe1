// The rebuild run: checks that the folder holds the item table, connects to it, and for each
// table of the catalogue opens it exclusively, deletes its index file, re-creates every tag,
// packs it and closes it, moving the progress bar on after each table.
#pragma once

#include <string>

#include "src/rebuild/file_system.h"
#include "src/rebuild/rebuild_view.h"
#include "src/rebuild/run_log.h"

namespace kx::db {
class TAdsConnection;
class TAdsTable;
}  // namespace kx::db

namespace kx::rebuild {

// Taken when the folder field is empty.
inline constexpr char kDefaultDataFolder[] =
    "C:\\Documents and Settings\\All Users\\Documents\\Velloran\\Kestovar\\data";

inline constexpr char kFilesMissingText[] = "Files do not exist in the selected folder - Try again";
inline constexpr char kProcessingText[] = "   Processing Request";
inline constexpr char kCompletedText[] = "Re-Index Completed - Click Exit";

enum class RebuildOutcome {
  kFilesMissing,  // the folder has no item table: the error label says so
  kCompleted,     // every table was rebuilt
};

// Sets the two components up as the main window's description does: the connection for the
// local server, the table bound to it and re-indexing on a collation mismatch.
void ConfigureRebuildComponents(db::TAdsConnection& connection, db::TAdsTable& table);

// The "Re-Build" handler. A failure of the connection or of a table is not caught: it leaves
// the run where it stands, with the window as the run left it.
//
// A run may follow an earlier one on the same components: a table left open by a failed run
// is closed; a connection still connected to the same folder is kept, one connected to
// another folder is disconnected first.
//
// Each run is recorded in `log` (none: not recorded); the record never changes the run.
RebuildOutcome Button1Click(RebuildView& view, FileSystem& files, db::TAdsConnection& connection,
                            db::TAdsTable& table, RunLogSink* log = nullptr);
// The same with the recorder given (its clock, for tests).
RebuildOutcome Button1Click(RebuildView& view, FileSystem& files, db::TAdsConnection& connection,
                            db::TAdsTable& table, RunRecorder& recorder);

}  // namespace kx::rebuild
