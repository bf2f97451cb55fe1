// The crash-safe part of a pack: the records of the table file are moved down over the
// deleted ones in place, step by step, under a journal that says how far the moving got, so
// that a crash at any instant is completed by the next open. Internal to the engine; the
// journal's layout is in FORMAT.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/format.h"
#include "engine/os_file.h"

namespace kx::engine {

// The journal file's mark, and what the pack does with the index file.
inline constexpr char kJournalMagic[8] = {'K', 'X', 'J', 'O', 'U', 'R', 'N', '\x1a'};
enum class JournalIndexAction : uint32_t { kNone = 0, kReplace = 1, kRemove = 2 };

// What a pack changes, as its journal records it.
struct PackPlan {
  JournalIndexAction action = JournalIndexAction::kNone;
  uint32_t header_size = 0;
  uint32_t record_length = 0;
  uint32_t record_count = 0;  // before the pack, deleted records included
  uint32_t live_count = 0;    // after it
  uint32_t first_moved = 0;   // the first deleted record, from 0 (record_count when none)
  std::string packed_header;  // the table header after the pack (header_size bytes)
  // The header of the packed index file (for kReplace): a recovery tells by it whether the
  // index file is the new one already.
  uint64_t index_generation = 0;
  uint32_t index_checksum = 0;
  // The table header before the pack: a recovery goes on only with a table whose header is
  // this one or the packed one, so that a journal left beside another state of the table
  // (one restored from a backup, say) never moves its records.
  uint32_t table_header_checksum = 0;
};

// The sizes of a pack's steps. A step moves its records straight into the room the deleted
// records left when that room is at least `direct_bytes`; otherwise the step (at most
// `bounce_bytes`) goes through the journal first. Either streams through memory in pieces of
// at most `piece_bytes` (whole records when reading the table). Process-wide; for tests,
// which use small steps and pieces to exercise many of them.
void SetPackStepSizes(size_t bounce_bytes, size_t direct_bytes,
                      size_t piece_bytes = size_t(1) << 20);
void ResetPackStepSizes();

// Writes the journal of a pack and flushes it: the commit point. From here on the pack is
// completed, by CompletePack or by the next open.
void CommitPackJournal(const std::string& journal_path, const PackPlan& plan);

// Completes the committed pack of the table at `table_path`, whose file `table` is held
// exclusively: the records moved down step by step, the index action, the packed header and
// the cut of the file; then the journal goes. Any part can be repeated, so a crash anywhere
// is completed by the next call. `index_whole` says that the packed index file was written
// whole by this process (only its flush is due); otherwise it is checked, and when it did
// not survive, the tags of the index file are built again from the packed records.
void CompletePack(OsFile* table, const std::string& table_path, bool index_whole);

// At an open, with the table held exclusively: completes a committed pack, or removes a
// journal that never reached its commit point (and the packed index file made for it).
void RecoverPack(OsFile* table, const std::string& table_path);

// Whether the journal at `journal_path` records a committed pack, or cannot be read to tell:
// false only when it is absent or holds no commit, so that its leftovers may go.
bool PackMayBeCommitted(const std::string& journal_path);

}  // namespace kx::engine
