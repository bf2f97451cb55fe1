// Building index files: sorting fixed-width entries within a memory budget and writing tags
// as checksummed pages. Internal to the engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/format.h"
#include "engine/os_file.h"

namespace kxengine {

// Gathers writes into large blocks.
class BufferedWriter {
 public:
  BufferedWriter(OsFile* file, uint64_t offset, size_t buffer_size = 1 << 20);
  void Write(const void* data, size_t n);
  void Flush();
  uint64_t Offset() const { return offset_ + used_; }

 private:
  OsFile* file_;
  uint64_t offset_;
  std::vector<char> buffer_;
  size_t used_ = 0;
};

struct EntrySorterItem {
  uint64_t prefix;  // 8 bytes of the entry, big-endian, as one word
  uint32_t index;   // the entry's place in the buffer
};

// Collects entries of one fixed width, sorts them by their bytes (memcmp order) and hands
// them back in order. Beyond the memory budget it writes sorted runs to temporary files
// (removed when the sorter ends) and merges them.
class EntrySorter {
 public:
  EntrySorter(uint32_t width, size_t budget, std::string temp_base);
  ~EntrySorter();
  EntrySorter(const EntrySorter&) = delete;
  EntrySorter& operator=(const EntrySorter&) = delete;

  // Room for the next entry; valid until the next call.
  char* Slot();
  // Hands every entry to `sink` in order; call once, after the last Slot().
  void Drain(const std::function<void(const char* entry)>& sink);
  uint64_t Count() const { return count_; }
  size_t RunCount() const { return runs_.size(); }

 private:
  using Item = EntrySorterItem;
  void SortBuffer();
  void Spill();

  uint32_t width_;
  size_t budget_;
  std::string temp_base_;
  size_t capacity_;  // entries held in memory before a spill
  std::vector<char> data_;
  std::vector<Item> items_;
  size_t used_ = 0;
  uint64_t count_ = 0;
  std::vector<std::string> runs_;
  std::vector<uint64_t> run_sizes_;
};

// Where the entries of one tag of a new index file come from.
struct TagPlan {
  TagInfo info;                         // name, expression, page size (the rest is filled in)
  const IndexTag* copy_from = nullptr;  // pages copied from the old file (already checked)
  uint32_t old_ordinal = 0;
  KeySpec key;  // for a tag built from the records
};

// Calls `fn(recno, image)` for each record the index must hold, with the record number
// the entries must carry.
using RecordSource =
    std::function<void(const std::function<void(uint32_t recno, const char* image)>& fn)>;

// Writes a complete index file to `path` (created or emptied), flushes it to the disk and
// returns the tags as written. `old_file` is the file that copied tags come from.
std::vector<TagInfo> WriteIndexFile(const std::string& path, std::vector<TagPlan>& plans,
                                    OsFile* old_file, const RecordSource& source,
                                    uint32_t table_records, const std::string& temp_base);

// Checks every page of a tag; empty when all are sound, else the first problem.
std::string CheckTagPages(OsFile* file, const IndexTag& tag, uint32_t ordinal);

// Reads the index header of an open index file; throws kErrIndexDamaged naming the file.
IndexHeader ReadIndexHeader(OsFile* file);

}  // namespace kxengine
