#include "engine/index_build.h"

#include <algorithm>
#include <atomic>

#include "engine/side_thread.h"
#include "engine/table_file.h"

namespace kx::engine {
namespace {

constexpr size_t kReadBlock = size_t(1) << 20;
// Records are turned into entries this many bytes of the table at a time.
constexpr size_t kViewBytes = size_t(8) << 20;
// Pages made together before they are written: the writer's buffer size, so that a group is
// written straight from where it was made.
constexpr size_t kGroupBytes = size_t(1) << 20;

// Fills the pages of one tag in place in the writer's buffer, each one full but the last.
// A page is sealed when the entry after its last is asked for, or at the end.
class PageWriter final : public EntryOut {
 public:
  PageWriter(BufferedWriter* out, uint32_t page_size, uint32_t entry_width, uint32_t ordinal)
      : out_(out),
        page_size_(page_size),
        width_(entry_width),
        capacity_(PageCapacity(page_size, entry_width - 4)),
        ordinal_(ordinal) {}
  char* NextEntry() override {
    if (in_page_ == capacity_) Emit();
    if (page_ == nullptr) page_ = out_->Reserve(page_size_);
    return page_ + kPageHeader + size_t(in_page_++) * width_;
  }
  void MakeEntries(size_t count, uint32_t, SideThread* side, const EntryMaker& make) override {
    size_t done = 0;
    // The rest of a page already begun.
    while (done < count && in_page_ > 0) {
      const size_t take = std::min<size_t>(count - done, capacity_ - in_page_);
      make(done, done + take, page_ + kPageHeader + size_t(in_page_) * width_);
      in_page_ += static_cast<uint32_t>(take);
      done += take;
      if (in_page_ == capacity_) Emit();
    }
    const size_t whole = (count - done) / capacity_;
    if (whole > 0) MakeWholePages(done, whole, side, make);
    done += whole * capacity_;
    if (done < count) {
      // A last page that is not full stays open for entries that may follow.
      page_ = out_->Reserve(page_size_);
      make(done, count, page_ + kPageHeader);
      in_page_ = static_cast<uint32_t>(count - done);
    }
  }
  // The number of pages written.
  uint32_t Finish() {
    if (in_page_ > 0) Emit();
    return pages_;
  }

 private:
  // Full pages of entries [first, first + pages * capacity), made a group at a time: the side
  // thread starts on a group while this thread writes the group before and then joins in,
  // both taking the group's pages one by one.
  void MakeWholePages(size_t first, size_t pages, SideThread* side, const EntryMaker& make) {
    SideThread none(false);
    if (side == nullptr) side = &none;
    const size_t per_group = std::max<size_t>(1, kGroupBytes / page_size_);
    LargeBlock stage[2] = {LargeBlock::Take(per_group * page_size_),
                           LargeBlock::Take(per_group * page_size_)};
    const char* pending = nullptr;
    size_t pending_bytes = 0;
    for (size_t group = 0, which = 0; group < pages; group += per_group, which ^= 1) {
      const size_t n = std::min(per_group, pages - group);
      char* at = stage[which].data();
      std::atomic<size_t> next{0};
      auto work = [&, at, n, group] {
        for (size_t p; (p = next.fetch_add(1)) < n;) {
          char* page = at + p * page_size_;
          make(first + (group + p) * capacity_, first + (group + p + 1) * capacity_,
               page + kPageHeader);
          Seal(page, pages_ + static_cast<uint32_t>(group + p), capacity_);
        }
      };
      side->Both(
          [&] {
            if (pending != nullptr) out_->Write(pending, pending_bytes);
            work();
          },
          work);
      pending = at;
      pending_bytes = n * page_size_;
    }
    out_->Write(pending, pending_bytes);
    pages_ += static_cast<uint32_t>(pages);
  }

  void Emit() {
    Seal(page_, pages_, in_page_);
    page_ = nullptr;
    ++pages_;
    in_page_ = 0;
  }
  void Seal(char* page, uint32_t number, uint32_t entries) const {
    const size_t used = kPageHeader + size_t(entries) * width_;
    std::memset(page + used, 0, page_size_ - used);
    SealPage(page, page_size_, ordinal_, number, entries);
  }
  BufferedWriter* out_;
  uint32_t page_size_;
  uint32_t width_;
  uint32_t capacity_;
  uint32_t ordinal_;
  char* page_ = nullptr;
  uint32_t in_page_ = 0;
  uint32_t pages_ = 0;
};

// Reads pages [page, page + n) of a tag into `block`.
void ReadPages(OsFile* file, const IndexTag& tag, uint32_t page, uint32_t n, char* block) {
  const uint32_t ps = tag.info.page_size;
  const size_t want = size_t(n) * ps;
  if (file->ReadAt(tag.first_page + uint64_t(page) * ps, block, want) != want) {
    Fail(kErrIndexDamaged, file->Path() + " is damaged: tag " + tag.info.name +
                               " ends inside page " + std::to_string(page + 1) + ".");
  }
}

// The number of entries on page `number` of a tag, checked. Throws kErrIndexDamaged when the
// page is not sound.
uint32_t CheckedEntries(OsFile* file, const IndexTag& tag, uint32_t ordinal, const char* page,
                        uint32_t number) {
  const uint32_t ps = tag.info.page_size;
  uint32_t entries;
  const std::string why =
      CheckPage(page, ps, ordinal, number, PageCapacity(ps, tag.info.key_width), &entries);
  if (!why.empty()) {
    Fail(kErrIndexDamaged, file->Path() + " is damaged: tag " + tag.info.name + ", page " +
                               std::to_string(number + 1) + ": " + why + ".");
  }
  return entries;
}

// The pages of a tag read at once.
uint32_t PagesPerBlock(const IndexTag& tag) {
  return std::max<uint32_t>(
      1, std::min<uint32_t>(kReadBlock / tag.info.page_size, tag.info.page_count));
}

// Reads the pages of one tag in large blocks, checking each; `fn(page, entries)` sees the
// sound ones. Throws kErrIndexDamaged at the first unsound page.
void ForEachPage(OsFile* file, const IndexTag& tag, uint32_t ordinal,
                 const std::function<void(char* page, uint32_t entries)>& fn) {
  const uint32_t ps = tag.info.page_size;
  const uint32_t per_block = PagesPerBlock(tag);
  LargeBlock block = LargeBlock::Take(size_t(per_block) * ps);
  for (uint32_t page = 0; page < tag.info.page_count; page += per_block) {
    const uint32_t n = std::min(per_block, tag.info.page_count - page);
    ReadPages(file, tag, page, n, block.data());
    for (uint32_t i = 0; i < n; ++i) {
      char* p = block.data() + size_t(i) * ps;
      fn(p, CheckedEntries(file, tag, ordinal, p, page + i));
    }
  }
}

// A sound tag of the old file: its pages copied, sealed again for their new place.
void CopyTag(OsFile* old_file, const IndexTag& from, uint32_t old_ordinal, uint32_t ordinal,
             BufferedWriter* out) {
  const uint32_t ps = from.info.page_size;
  uint32_t number = 0;
  try {
    ForEachPage(old_file, from, old_ordinal, [&](char* page, uint32_t entries) {
      if (ordinal != old_ordinal) SealPage(page, ps, ordinal, number, entries);
      out->Write(page, ps);
      ++number;
    });
  } catch (const EngineError& error) {
    if (error.Code() != kErrIndexDamaged) throw;
    Fail(kErrIndexDamaged, old_file->Path() + " changed while it was being copied.");
  }
}

[[noreturn]] void FailNoLongerMatches(OsFile* index, const std::string& tag) {
  Fail(kErrIndexDamaged,
       index->Path() + ": tag " + tag + " no longer matches the records of the table.");
}

// Checks the `n` pages in `block`, the first of them page `first`, and gives their entries
// the new record numbers in place, sealing each page again for tag `ordinal`. The tag holds
// the live records only (it was built from them as they are), so every page keeps its
// entries; an entry of a deleted record means the tag no longer matches the records.
// Returns the number of entries.
uint64_t RenumberBlock(OsFile* old_file, const IndexTag& from, uint32_t old_ordinal,
                       uint32_t ordinal, char* block, uint32_t first, uint32_t n,
                       const PackedNumbers& numbers) {
  const uint32_t ps = from.info.page_size;
  const uint32_t kw = from.info.key_width;
  const size_t width = size_t(kw) + 4;
  uint64_t total = 0;
  for (uint32_t i = 0; i < n; ++i) {
    char* page = block + size_t(i) * ps;
    const uint32_t entries = CheckedEntries(old_file, from, old_ordinal, page, first + i);
    total += entries;
    for (uint32_t e = 0; e < entries; ++e) {
      char* number = page + kPageHeader + e * width + kw;
      const uint32_t recno = numbers.NewNumber(GetBE32(number));
      if (recno == 0) {
        FailNoLongerMatches(old_file, from.info.name);
      }
      PutBE32(number, recno);
    }
    SealPage(page, ps, ordinal, first + i, entries);
  }
  return total;
}

// The entries of a tag that matches the records, with the numbers a pack gives them, page
// for page. A block of pages is checked and renumbered on a second thread while this one
// writes the block before and reads the block after.
TagInfo RenumberTag(OsFile* old_file, const IndexTag& from, uint32_t old_ordinal, uint32_t ordinal,
                    const PackedNumbers& numbers, BufferedWriter* out) {
  const TagInfo& info = from.info;
  const uint32_t ps = info.page_size;
  const uint32_t per_block = PagesPerBlock(from);
  const size_t block_bytes = size_t(per_block) * ps;
  LargeBlock blocks[3] = {LargeBlock::Take(block_bytes), LargeBlock::Take(block_bytes),
                          LargeBlock::Take(block_bytes)};
  auto pages_at = [&](uint32_t page) { return std::min(per_block, info.page_count - page); };
  // The old file is being replaced: what was read of it need not stay in memory.
  auto read = [&](uint32_t page, char* block) {
    ReadPages(old_file, from, page, pages_at(page), block);
    old_file->DropCached(from.first_page + uint64_t(page) * ps, uint64_t(pages_at(page)) * ps);
  };
  SideThread side(WorthTwoThreads(info.entry_count));
  uint64_t entries = 0;
  if (info.page_count > 0) read(0, blocks[0].data());
  for (uint32_t page = 0, k = 0; page < info.page_count; page += per_block, ++k) {
    const uint32_t n = pages_at(page);
    side.Both(
        [&] {
          if (k > 0) out->Write(blocks[(k + 2) % 3].data(), block_bytes);  // all full blocks
          if (page + n < info.page_count) read(page + n, blocks[(k + 1) % 3].data());
        },
        [&] {
          entries += RenumberBlock(old_file, from, old_ordinal, ordinal, blocks[k % 3].data(), page,
                                   n, numbers);
        });
    if (page + n >= info.page_count) out->Write(blocks[k % 3].data(), size_t(n) * ps);
  }
  if (entries != info.entry_count || entries != numbers.Live()) {
    FailNoLongerMatches(old_file, info.name);
  }
  return info;
}

// The entries of records [begin, end) of a block of `images`, for every plan, in their slots
// from `slot` on; the first live record among them gets `number` when the entries are
// renumbered.
struct BlockPart {
  const char* images;
  uint32_t length;
  uint32_t first_recno;  // of the block's first record
  size_t begin, end;
  size_t slot;
  uint32_t number;
};

void ExtractPart(const std::vector<TagPlan*>& plans, const std::vector<char*>& slots, bool renumber,
                 const BlockPart& part) {
  size_t slot = part.slot;
  uint32_t number = part.number;
  for (size_t r = part.begin; r < part.end; ++r) {
    const char* image = part.images + r * part.length;
    if (image[0] == kDeletedMark) continue;
    const uint32_t recno = renumber ? number++ : part.first_recno + static_cast<uint32_t>(r);
    for (size_t i = 0; i < plans.size(); ++i) {
      const uint32_t width = plans[i]->key.width;
      char* entry = slots[i] + slot * (width + 4);
      ExtractKey(plans[i]->key, image, entry);
      PutBE32(entry + width, recno);
    }
    ++slot;
  }
}

size_t LiveIn(const char* images, uint32_t length, size_t begin, size_t end) {
  size_t live = 0;
  for (size_t r = begin; r < end; ++r) live += images[r * length] != kDeletedMark;
  return live;
}

// The sorters of the plans, each with a share of the budget in proportion to its entry
// size, so that all of them spill, if at all, after the same number of records.
std::vector<std::unique_ptr<EntrySorter>> MakeSorters(const std::vector<TagPlan*>& plans,
                                                      uint32_t table_records,
                                                      const std::string& temp_base) {
  std::vector<std::unique_ptr<EntrySorter>> sorters;
  size_t total = 0;
  for (const TagPlan* plan : plans) total += EntrySorter::BytesPerEntry(plan->key.width + 4);
  for (const TagPlan* plan : plans) {
    const size_t share = static_cast<size_t>(
        double(SortBudget()) * EntrySorter::BytesPerEntry(plan->key.width + 4) / total);
    sorters.push_back(
        std::make_unique<EntrySorter>(plan->key.width + 4, share, temp_base, table_records));
  }
  return sorters;
}

// The sorted entries of every plan built from the records, from one pass over them. The
// table is read in place a large part at a time; the two halves of each part are turned into
// entries side by side on two threads.
std::vector<std::unique_ptr<EntrySorter>> SortFromRecords(const std::vector<TagPlan*>& plans,
                                                          const RecordSource& source,
                                                          uint32_t table_records,
                                                          const std::string& temp_base) {
  std::vector<std::unique_ptr<EntrySorter>> sorters;
  if (plans.empty()) return sorters;
  sorters = MakeSorters(plans, table_records, temp_base);
  const uint32_t len = source.length;
  size_t per_part = std::max<size_t>(1, std::min<size_t>(kViewBytes / len, source.count));
  for (const auto& sorter : sorters) per_part = std::min(per_part, sorter->MaxHeld());
  std::vector<char*> slots(plans.size());
  SideThread side(WorthTwoThreads(source.count));
  uint32_t number = 1;
  for (uint32_t first = 0; first < source.count; first += static_cast<uint32_t>(per_part)) {
    const size_t n = std::min<size_t>(per_part, source.count - first);
    std::unique_ptr<FileView> view =
        source.file->View(source.offset + uint64_t(first) * len, n * len);
    if (view->size() != n * len) {
      Fail(kErrTableDamaged, source.path + " is damaged: it ended while records were read.");
    }
    const char* images = view->data();
    size_t live[2] = {0, 0};
    InTwoParts(&side, n, [&](int half, size_t begin, size_t end) {
      live[half] = LiveIn(images, len, begin, end);
    });
    for (size_t i = 0; i < plans.size(); ++i) slots[i] = sorters[i]->Slots(live[0] + live[1]);
    InTwoParts(&side, n, [&](int half, size_t begin, size_t end) {
      const size_t before = half == 0 ? 0 : live[0];
      ExtractPart(plans, slots, source.renumber,
                  BlockPart{images, len, first + 1, begin, end, before,
                            number + static_cast<uint32_t>(before)});
    });
    number += static_cast<uint32_t>(live[0] + live[1]);
  }
  return sorters;
}

// Writes the pages of a sorted tag; fills in its counts.
void WriteSortedTag(EntrySorter* sorter, TagInfo* info, uint32_t key_width, uint32_t ordinal,
                    BufferedWriter* out) {
  PageWriter writer(out, info->page_size, key_width + 4, ordinal);
  sorter->Drain(writer);
  info->key_width = key_width;
  info->entry_count = static_cast<uint32_t>(sorter->Count());
  info->page_count = writer.Finish();
}

}  // namespace

void PackedNumbers::Add(bool deleted) {
  const uint32_t i = count_++;
  if (i % 64 == 0) {
    live_.push_back(0);
    rank_.push_back(live_count_);
  }
  if (!deleted) {
    live_.back() |= uint64_t(1) << (i % 64);
    ++live_count_;
  } else if (first_deleted_ == kNone) {
    first_deleted_ = i;
  }
}

IndexHeader ReadIndexHeader(OsFile* file, std::string* spare_problem) {
  if (spare_problem != nullptr) spare_problem->clear();
  char preamble[kIndexPreamble];
  const size_t got = file->ReadAt(0, preamble, sizeof preamble);
  uint32_t capacity = 0;
  std::string why;
  switch (DecodeIndexPreamble(preamble, got, &capacity, &why)) {
    case HeaderStatus::kNotOurs:
      Fail(kErrIndexDamaged, file->Path() + " is not an index file: " + why + ".");
    case HeaderStatus::kDamaged:
      Fail(kErrIndexDamaged, file->Path() + " is damaged: " + why + ".");
    case HeaderStatus::kOk:
      break;
  }
  const size_t slot_size = SlotSize(capacity);
  std::string slots(2 * slot_size, '\0');
  if (file->ReadAt(kIndexPreamble, slots.data(), slots.size()) != slots.size()) {
    Fail(kErrIndexDamaged, file->Path() + " is damaged: the file ends inside its header.");
  }
  IndexHeader headers[2];
  SlotStatus status[2];
  std::string reasons[2];
  for (uint32_t s = 0; s < 2; ++s) {
    status[s] = DecodeIndexSlot(slots.data() + s * slot_size, capacity, &headers[s], &reasons[s]);
    headers[s].slot = s;
  }
  uint32_t current;
  if (status[0] == SlotStatus::kSound && status[1] == SlotStatus::kSound) {
    if (headers[0].generation == headers[1].generation) {
      Fail(kErrIndexDamaged, file->Path() + " is damaged: its two headers are of one generation.");
    }
    current = headers[0].generation > headers[1].generation ? 0 : 1;
  } else if (status[0] == SlotStatus::kSound || status[1] == SlotStatus::kSound) {
    current = status[0] == SlotStatus::kSound ? 0 : 1;
  } else {
    const uint32_t s = status[0] == SlotStatus::kDamaged ? 0 : 1;
    Fail(kErrIndexDamaged,
         file->Path() + " is damaged: " +
             (reasons[s].empty() ? std::string("it holds no header") : reasons[s]) + ".");
  }
  const uint32_t other = 1 - current;
  if (spare_problem != nullptr && status[other] == SlotStatus::kDamaged) {
    spare_problem->assign("header slot ").append(std::to_string(other + 1));
    spare_problem->append(" is damaged: ").append(reasons[other]);
  }
  return headers[current];
}

std::string CheckTagPages(OsFile* file, const IndexTag& tag, uint32_t ordinal) {
  uint64_t total = 0;
  try {
    ForEachPage(file, tag, ordinal, [&](char*, uint32_t entries) { total += entries; });
  } catch (const EngineError& error) {
    if (error.Code() != kErrIndexDamaged) throw;
    return error.Message();
  }
  if (total != tag.info.entry_count) return "the pages hold a different number of entries";
  return std::string();
}

IndexHeader WriteIndexFile(const std::string& path, std::vector<TagPlan>& plans, OsFile* old_file,
                           const RecordSource& source, uint32_t table_records,
                           const std::string& temp_base, const PackedNumbers* renumber,
                           bool flush) {
  std::vector<TagPlan*> built;
  for (TagPlan& plan : plans) {
    if (plan.copy_from == nullptr && plan.renumber_from == nullptr) built.push_back(&plan);
  }
  std::vector<std::unique_ptr<EntrySorter>> sorters =
      SortFromRecords(built, source, table_records, temp_base);

  auto file = OpenUnlocked(path, OsFile::Mode::kTruncate);
  IndexHeader header;
  header.table_records = table_records;
  header.capacity = TagCapacityFor(plans.size());
  header.generation = 1;
  header.slot = 0;
  BufferedWriter out(file.get(), IndexDataStart(header.capacity));
  out.WriteBehind();
  size_t next_sorter = 0;
  for (uint32_t ordinal = 0; ordinal < plans.size(); ++ordinal) {
    TagPlan& plan = plans[ordinal];
    IndexTag tag;
    tag.info = plan.info;
    tag.first_page = out.Offset();
    if (plan.copy_from != nullptr) {
      tag.info = plan.copy_from->info;
      CopyTag(old_file, *plan.copy_from, plan.old_ordinal, ordinal, &out);
    } else if (plan.renumber_from != nullptr) {
      tag.info =
          RenumberTag(old_file, *plan.renumber_from, plan.old_ordinal, ordinal, *renumber, &out);
    } else {
      EntrySorter* sorter = sorters[next_sorter].get();
      WriteSortedTag(sorter, &tag.info, plan.key.width, ordinal, &out);
      sorters[next_sorter++].reset();  // its memory goes back once its tag is written
    }
    plan.info = tag.info;
    header.tags.push_back(tag);
  }
  out.Flush();
  std::string head = EncodeIndexPreamble(header.capacity);
  head += EncodeIndexSlot(&header);
  head.resize(IndexDataStart(header.capacity), '\0');  // the other slot is empty
  file->WriteAt(0, head.data(), head.size());
  file->Truncate(out.Offset());
  if (flush) {
    file->Sync();
  } else {
    file->StartWriteback(0, head.size());
  }
  return header;
}

IndexHeader AppendTag(OsFile* file, const IndexHeader& current, TagPlan& plan,
                      const RecordSource& source, uint32_t table_records,
                      const std::string& temp_base) {
  IndexHeader next = current;
  std::vector<TagPlan*> built = {&plan};
  std::vector<std::unique_ptr<EntrySorter>> sorters =
      SortFromRecords(built, source, table_records, temp_base);
  IndexTag tag;
  tag.info = plan.info;
  tag.first_page = current.DataEnd();
  {
    BufferedWriter out(file, tag.first_page);
    out.WriteBehind();
    WriteSortedTag(sorters[0].get(), &tag.info, plan.key.width,
                   static_cast<uint32_t>(current.tags.size()), &out);
    sorters.clear();
    out.Flush();
    // Bytes left after the last page by an earlier interrupted change go.
    if (file->Size() > out.Offset()) file->Truncate(out.Offset());
  }
  file->Sync();
  plan.info = tag.info;
  next.tags.push_back(tag);
  next.table_records = table_records;
  next.generation = current.generation + 1;
  next.slot = 1 - current.slot;
  const std::string slot = EncodeIndexSlot(&next);
  file->WriteAt(SlotOffset(next.capacity, next.slot), slot.data(), slot.size());
  file->Sync();
  return next;
}

void UndoAppend(OsFile* file, const IndexHeader& current) noexcept {
  try {
    const std::string zero(SlotSize(current.capacity), '\0');
    file->WriteAt(SlotOffset(current.capacity, 1 - current.slot), zero.data(), zero.size());
    if (file->Size() > current.DataEnd()) file->Truncate(current.DataEnd());
    file->Sync();
  } catch (...) {
  }
}

void TidyIndexFile(const std::string& path) {
  OpenResult result;
  std::string error;
  auto file = OsFile::Open(path, OsFile::Mode::kRead, LockKind::kNone, &result, &error);
  if (!file) return;
  std::string spare;
  IndexHeader header;
  try {
    header = ReadIndexHeader(file.get(), &spare);
    if (spare.empty() && file->Size() <= header.DataEnd()) return;
  } catch (const EngineError&) {
    return;  // an unreadable index file is replaced by the next tag creation
  }
  file.reset();
  file = OpenUnlocked(path, OsFile::Mode::kReadWrite);
  if (!spare.empty()) {
    const std::string zero(SlotSize(header.capacity), '\0');
    file->WriteAt(SlotOffset(header.capacity, 1 - header.slot), zero.data(), zero.size());
  }
  if (file->Size() > header.DataEnd()) file->Truncate(header.DataEnd());
  file->Sync();
}

}  // namespace kx::engine
