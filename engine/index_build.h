// Building index files: tags sorted from the records, written as checksummed pages, added to
// the end of an index file under a new header, or renumbered for a pack. Internal to the
// engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/buffered_io.h"
#include "engine/entry_sort.h"
#include "engine/format.h"
#include "engine/os_file.h"

namespace kx::engine {

// The record numbers a pack gives: the live records numbered from 1 in file order.
class PackedNumbers {
 public:
  // Called for every record in file order.
  void Add(bool deleted);
  // The new number of record `old`; 0 for a deleted record or one past the end.
  uint32_t NewNumber(uint32_t old) const {
    if (old == 0 || old > count_) return 0;
    const uint32_t i = old - 1;
    const uint64_t word = live_[i / 64];
    const uint64_t bit = uint64_t(1) << (i % 64);
    if ((word & bit) == 0) return 0;
    return rank_[i / 64] + BitsSet(word & (bit - 1)) + 1;
  }
  uint32_t Live() const { return live_count_; }
  // The first deleted record, from 0; the record count when none is.
  uint32_t FirstDeleted() const { return first_deleted_ == kNone ? count_ : first_deleted_; }

 private:
  static constexpr uint32_t kNone = 0xFFFFFFFFu;
  // Without a population-count instruction in the build, the compiler's own function call
  // costs more than these few operations.
  static uint32_t BitsSet(uint64_t v) {
    v = v - ((v >> 1) & 0x5555555555555555ull);
    v = (v & 0x3333333333333333ull) + ((v >> 2) & 0x3333333333333333ull);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return static_cast<uint32_t>((v * 0x0101010101010101ull) >> 56);
  }
  std::vector<uint64_t> live_;  // one bit per record
  std::vector<uint32_t> rank_;  // live records before each word
  uint32_t count_ = 0;
  uint32_t live_count_ = 0;
  uint32_t first_deleted_ = kNone;
};

// Where the entries of one tag of a new index file come from.
struct TagPlan {
  TagInfo info;                         // name, expression, page size (the rest is filled in)
  const IndexTag* copy_from = nullptr;  // pages copied from the old file (already checked)
  uint32_t old_ordinal = 0;
  // A tag of the old file that matches the records as they are: its entries are kept with
  // the numbers the pack gives (WriteIndexFile's `renumber`), dropping deleted records.
  const IndexTag* renumber_from = nullptr;
  KeySpec key;  // for a tag built from the records
};

// The records an index is built from: `count` records of `length` bytes from `offset` in
// `file` (named `path` in errors). Deleted records are left out; the entries of the others
// carry their record number, or with `renumber` the number a pack gives them (the live
// records numbered from 1 in file order).
struct RecordSource {
  OsFile* file = nullptr;
  std::string path;
  uint64_t offset = 0;
  uint32_t length = 0;
  uint32_t count = 0;
  bool renumber = false;
};

// Writes a complete index file to `path` (created or emptied) and flushes it to the disk
// unless `flush` is false (the disk starts writing it meanwhile). `old_file` is the file that
// copied and renumbered tags come from. Tags built from the records are all fed by one pass
// over them. Returns the header as written.
IndexHeader WriteIndexFile(const std::string& path, std::vector<TagPlan>& plans, OsFile* old_file,
                           const RecordSource& source, uint32_t table_records,
                           const std::string& temp_base, const PackedNumbers* renumber = nullptr,
                           bool flush = true);

// Adds a tag built from the records to an index file whose header is `current`, without
// rewriting what is there: the new pages go after the last one and are flushed, then the
// new header goes into the other header slot and is flushed. Until that last write the old
// header stays in force. Returns the new header.
IndexHeader AppendTag(OsFile* file, const IndexHeader& current, TagPlan& plan,
                      const RecordSource& source, uint32_t table_records,
                      const std::string& temp_base);

// After a failed AppendTag: clears the other header slot and cuts the bytes after the last
// page of `current`, so the file is as it was. Best effort: failures are ignored.
void UndoAppend(OsFile* file, const IndexHeader& current) noexcept;

// Checks every page of a tag; empty when all are sound, else the first problem.
std::string CheckTagPages(OsFile* file, const IndexTag& tag, uint32_t ordinal);

// Reads the current header of an open index file; throws kErrIndexDamaged naming the file.
// `spare_problem`, when given, receives what is wrong with the other header slot (empty when
// it is empty or an older sound header).
IndexHeader ReadIndexHeader(OsFile* file, std::string* spare_problem = nullptr);

// Clears what an interrupted change may leave in the index file at `path`: a damaged other
// header slot, bytes after the last page. Nothing happens to a missing file or one whose
// header cannot be read; a failed write throws.
void TidyIndexFile(const std::string& path);

}  // namespace kx::engine
