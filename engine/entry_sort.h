// Sorting the fixed-width entries of an index tag (key bytes, then the record number
// big-endian) into memcmp order within a memory budget. Internal to the engine.
//
// The sort looks at the bits of the keys that differ between entries and nothing else:
// constant bits (the blanks after a short code, the high bytes of a date) are left out, the
// rest is packed into 64-bit words and radix sorted. When the differing bits fit one word,
// which is the common case, the entries are rebuilt from the sorted words and never touched
// again; otherwise runs of equal words are refined by the next word. Equal keys keep the
// order in which they were added, which is record number order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/large_memory.h"

namespace kx::engine {

// Where sorted entries go: each call gives the place of the next entry, which the sorter
// fills before it asks again.
class SideThread;

// Makes entries [first, end) of a sorted output, one after another at `at`.
using EntryMaker = std::function<void(size_t first, size_t end, char* at)>;

class EntryOut {
 public:
  virtual char* NextEntry() = 0;
  // The next `count` entries of `width` bytes, in order, made by `make`, on `side` too where
  // the place they go allows it: by default a few at a time, each handed to NextEntry().
  virtual void MakeEntries(size_t count, uint32_t width, SideThread* side, const EntryMaker& make);

 protected:
  ~EntryOut() = default;
};

class EntrySorter {
 public:
  // `width` bytes an entry, of which the last 4 are the record number. `expected` is the
  // number of entries likely to come (the table's record count), 0 when unknown: it sizes
  // the memory taken at first, which grows up to the budget. Beyond the budget sorted runs
  // go to temporary files named from `temp_base` (removed when the sorter ends) and are
  // merged.
  EntrySorter(uint32_t width, size_t budget, std::string temp_base, uint64_t expected = 0);
  ~EntrySorter();
  EntrySorter(const EntrySorter&) = delete;
  EntrySorter& operator=(const EntrySorter&) = delete;

  // Room for the next entry; valid until the next call.
  char* Slot() { return Slots(1); }
  // Room for the next `count` entries, one after another, `count` at most MaxHeld(); valid
  // until the next call.
  char* Slots(size_t count);
  // The most entries held in memory before sorted runs go to files.
  size_t MaxHeld() const { return max_entries_; }
  // Writes every entry in order to `out`; call once, after the last Slot().
  void Drain(EntryOut& out);
  // The same, handing each entry to `sink`.
  void Drain(const std::function<void(const char* entry)>& sink);
  uint64_t Count() const { return count_; }
  size_t RunCount() const { return runs_.size(); }

  // Bytes of memory a sorter needs for each entry it holds.
  static size_t BytesPerEntry(uint32_t width);

 private:
  void Reserve(size_t entries);
  void SortBuffer(EntryOut& out);
  void Spill();

  uint32_t width_;
  size_t budget_;
  std::string temp_base_;
  size_t max_entries_;  // entries held in memory before a spill
  size_t capacity_ = 0;
  LargeBlock memory_;
  char* data_ = nullptr;  // capacity_ entries
  size_t used_ = 0;
  uint64_t count_ = 0;
  std::vector<std::string> runs_;
  std::vector<uint64_t> run_sizes_;
};

}  // namespace kx::engine
