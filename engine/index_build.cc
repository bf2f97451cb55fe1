#include "engine/index_build.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <queue>
#include <random>

namespace kxengine {
namespace {

uint64_t Prefix(const char* entry, uint32_t width) {
  uint64_t v = 0;
  uint32_t n = std::min<uint32_t>(width, 8);
  for (uint32_t i = 0; i < n; ++i) v = v << 8 | static_cast<uint8_t>(entry[i]);
  return v << (8 * (8 - n));
}

std::unique_ptr<OsFile> OpenOrFail(const std::string& path, OsFile::Mode mode) {
  OpenResult result;
  std::string error;
  auto file = OsFile::Open(path, mode, LockKind::kNone, &result, &error);
  if (!file) Fail(kErrIo, "opening " + path + ": " + error);
  return file;
}

// Reads one sorted run back in blocks.
class RunReader {
 public:
  RunReader(const std::string& path, uint64_t entries, uint32_t width, size_t buffer_bytes)
      : file_(OpenOrFail(path, OsFile::Mode::kRead)),
        width_(width),
        left_(entries),
        buffer_(std::max<size_t>(width, buffer_bytes / width * width)) {
    Refill();
  }
  const char* Current() const { return buffer_.data() + pos_; }
  bool Done() const { return pos_ >= filled_; }
  void Next() {
    pos_ += width_;
    if (pos_ >= filled_) Refill();
  }

 private:
  void Refill() {
    pos_ = 0;
    size_t want = static_cast<size_t>(std::min<uint64_t>(left_, buffer_.size() / width_) * width_);
    filled_ = want == 0 ? 0 : file_->ReadAt(offset_, buffer_.data(), want);
    if (filled_ != want) Fail(kErrIo, "a read of the sort run " + file_->Path() + ": short read");
    offset_ += filled_;
    left_ -= filled_ / width_;
  }
  std::unique_ptr<OsFile> file_;
  uint32_t width_;
  uint64_t left_;
  uint64_t offset_ = 0;
  std::vector<char> buffer_;
  size_t pos_ = 0;
  size_t filled_ = 0;
};

// Fills pages of one tag and hands them to the writer.
class PageWriter {
 public:
  PageWriter(BufferedWriter* out, uint32_t page_size, uint32_t entry_width, uint32_t ordinal)
      : out_(out),
        page_(page_size, '\0'),
        width_(entry_width),
        capacity_(PageCapacity(page_size, entry_width - 4)),
        ordinal_(ordinal) {}
  void Add(const char* entry) {
    std::memcpy(page_.data() + kPageHeader + size_t(in_page_) * width_, entry, width_);
    if (++in_page_ == capacity_) Emit();
  }
  uint32_t Finish() {
    if (in_page_ > 0) Emit();
    return pages_;
  }

 private:
  void Emit() {
    std::memset(page_.data() + kPageHeader + size_t(in_page_) * width_, 0,
                page_.size() - kPageHeader - size_t(in_page_) * width_);
    SealPage(page_.data(), static_cast<uint32_t>(page_.size()), ordinal_, pages_, in_page_);
    out_->Write(page_.data(), page_.size());
    ++pages_;
    in_page_ = 0;
  }
  BufferedWriter* out_;
  std::string page_;
  uint32_t width_;
  uint32_t capacity_;
  uint32_t ordinal_;
  uint32_t in_page_ = 0;
  uint32_t pages_ = 0;
};

}  // namespace

BufferedWriter::BufferedWriter(OsFile* file, uint64_t offset, size_t buffer_size)
    : file_(file), offset_(offset), buffer_(buffer_size) {}

void BufferedWriter::Write(const void* data, size_t n) {
  const char* in = static_cast<const char*>(data);
  if (used_ + n > buffer_.size()) {
    Flush();
    if (n >= buffer_.size()) {
      file_->WriteAt(offset_, in, n);
      offset_ += n;
      return;
    }
  }
  std::memcpy(buffer_.data() + used_, in, n);
  used_ += n;
}

void BufferedWriter::Flush() {
  if (used_ == 0) return;
  file_->WriteAt(offset_, buffer_.data(), used_);
  offset_ += used_;
  used_ = 0;
}

EntrySorter::EntrySorter(uint32_t width, size_t budget, std::string temp_base)
    : width_(width), budget_(budget), temp_base_(std::move(temp_base)) {
  // Run files of sorters in other processes (verifications run side by side) must not
  // collide: a random token per sorter keeps the names apart.
  static std::atomic<uint32_t> counter{0};
  std::random_device random;
  char token[32];
  std::snprintf(token, sizeof token, ".%08x%04x", random(), counter++ & 0xFFFF);
  temp_base_ += token;
  capacity_ = std::max<size_t>(64, budget / (width + sizeof(Item)));
}

EntrySorter::~EntrySorter() {
  for (const std::string& run : runs_) RemoveFileIfPresent(run);
}

char* EntrySorter::Slot() {
  if (used_ == capacity_) Spill();
  if (data_.size() < (used_ + 1) * width_) {
    // Grow geometrically up to the budget, so small tables never reserve it all.
    size_t entries = std::min(capacity_, std::max<size_t>(1024, used_ * 2));
    data_.resize(entries * width_);
    items_.reserve(entries);
  }
  ++count_;
  return data_.data() + (used_++) * width_;
}

// Sorts items whose prefixes hold the entry bytes [depth, depth + 8): by prefix, then each
// run of equal prefixes by the next 8 bytes, and so on. Only whole-word comparisons, no
// byte-wise compare of the entries; keys that share long beginnings (item codes) cost one
// more pass over their run per 8 shared bytes.
void SortItems(EntrySorterItem* first, EntrySorterItem* last, const char* base, uint32_t width,
               uint32_t depth) {
  std::sort(first, last,
            [](const EntrySorterItem& a, const EntrySorterItem& b) { return a.prefix < b.prefix; });
  if (depth + 8 >= width) return;
  const uint32_t next = depth + 8;
  for (EntrySorterItem* run = first; run < last;) {
    EntrySorterItem* end = run + 1;
    while (end < last && end->prefix == run->prefix) ++end;
    if (end - run > 1) {
      for (EntrySorterItem* it = run; it < end; ++it) {
        it->prefix = Prefix(base + size_t(it->index) * width + next, width - next);
      }
      SortItems(run, end, base, width, next);
    }
    run = end;
  }
}

void EntrySorter::SortBuffer() {
  items_.resize(used_);
  const char* base = data_.data();
  for (size_t i = 0; i < used_; ++i) {
    items_[i] = Item{Prefix(base + i * width_, width_), static_cast<uint32_t>(i)};
  }
  SortItems(items_.data(), items_.data() + items_.size(), base, width_, 0);
}

void EntrySorter::Spill() {
  SortBuffer();
  std::string path = temp_base_ + ".run" + std::to_string(runs_.size()) + ".tmp";
  runs_.push_back(path);
  auto file = OpenOrFail(path, OsFile::Mode::kTruncate);
  BufferedWriter out(file.get(), 0);
  for (const Item& item : items_) out.Write(data_.data() + size_t(item.index) * width_, width_);
  out.Flush();
  run_sizes_.push_back(used_);
  used_ = 0;
}

void EntrySorter::Drain(const std::function<void(const char*)>& sink) {
  if (runs_.empty()) {
    SortBuffer();
    for (const Item& item : items_) sink(data_.data() + size_t(item.index) * width_);
    return;
  }
  if (used_ > 0) Spill();
  // The memory of the last buffer is no longer needed; the readers share the budget.
  std::vector<char>().swap(data_);
  std::vector<Item>().swap(items_);
  size_t per_reader = std::max<size_t>(64 << 10, budget_ / (runs_.size() + 1));
  std::vector<std::unique_ptr<RunReader>> readers;
  for (size_t i = 0; i < runs_.size(); ++i) {
    readers.push_back(std::make_unique<RunReader>(runs_[i], run_sizes_[i], width_, per_reader));
  }
  uint32_t w = width_;
  auto greater = [&](size_t a, size_t b) {
    return std::memcmp(readers[a]->Current(), readers[b]->Current(), w) > 0;
  };
  std::priority_queue<size_t, std::vector<size_t>, decltype(greater)> heap(greater);
  for (size_t i = 0; i < readers.size(); ++i) {
    if (!readers[i]->Done()) heap.push(i);
  }
  while (!heap.empty()) {
    size_t top = heap.top();
    heap.pop();
    sink(readers[top]->Current());
    readers[top]->Next();
    if (!readers[top]->Done()) heap.push(top);
  }
}

IndexHeader ReadIndexHeader(OsFile* file) {
  char fixed[kIndexFixedHeader];
  size_t got = file->ReadAt(0, fixed, sizeof fixed);
  IndexHeader header;
  std::string why;
  uint32_t size = got == sizeof fixed ? GetU32(fixed + 12) : 0;
  std::string data(fixed, got);
  if (got == sizeof fixed && std::memcmp(fixed, kIndexMagic, 8) == 0 && size > got &&
      size <= IndexHeaderSize(100000)) {
    data.resize(size);
    data.resize(got + file->ReadAt(got, data.data() + got, size - got));
  }
  HeaderStatus status = DecodeIndexHeader(data.data(), data.size(), &header, &why);
  if (status == HeaderStatus::kNotOurs) {
    Fail(kErrIndexDamaged, file->Path() + " is not an index file: " + why + ".");
  }
  if (status == HeaderStatus::kDamaged) {
    Fail(kErrIndexDamaged, file->Path() + " is damaged: " + why + ".");
  }
  return header;
}

std::string CheckTagPages(OsFile* file, const IndexTag& tag, uint32_t ordinal) {
  const uint32_t ps = tag.info.page_size;
  const uint32_t capacity = PageCapacity(ps, tag.info.key_width);
  const uint32_t per_block =
      std::max<uint32_t>(1, std::min<uint32_t>((1u << 20) / ps, tag.info.page_count));
  std::vector<char> block(size_t(per_block) * ps);
  uint64_t total = 0;
  for (uint32_t page = 0; page < tag.info.page_count; page += per_block) {
    uint32_t n = std::min(per_block, tag.info.page_count - page);
    size_t want = size_t(n) * ps;
    if (file->ReadAt(tag.first_page + uint64_t(page) * ps, block.data(), want) != want) {
      return "the file ends inside page " + std::to_string(page + 1);
    }
    for (uint32_t i = 0; i < n; ++i) {
      uint32_t entries;
      std::string why =
          CheckPage(block.data() + size_t(i) * ps, ps, ordinal, page + i, capacity, &entries);
      if (!why.empty()) return "page " + std::to_string(page + i + 1) + ": " + why;
      total += entries;
    }
  }
  if (total != tag.info.entry_count) return "the pages hold a different number of entries";
  return std::string();
}

std::vector<TagInfo> WriteIndexFile(const std::string& path, std::vector<TagPlan>& plans,
                                    OsFile* old_file, const RecordSource& source,
                                    uint32_t table_records, const std::string& temp_base) {
  auto file = OpenOrFail(path, OsFile::Mode::kTruncate);
  IndexHeader header;
  header.table_records = table_records;
  const uint64_t header_size = IndexHeaderSize(plans.size());
  BufferedWriter out(file.get(), header_size);
  std::vector<char> page;
  for (uint32_t ordinal = 0; ordinal < plans.size(); ++ordinal) {
    TagPlan& plan = plans[ordinal];
    IndexTag tag;
    tag.info = plan.info;
    tag.first_page = out.Offset();
    if (plan.copy_from != nullptr) {
      // A sound tag of the old file: its pages are copied, sealed again for their new place.
      const IndexTag& from = *plan.copy_from;
      tag.info = from.info;
      page.resize(from.info.page_size);
      uint32_t capacity = PageCapacity(from.info.page_size, from.info.key_width);
      for (uint32_t p = 0; p < from.info.page_count; ++p) {
        uint64_t at = from.first_page + uint64_t(p) * from.info.page_size;
        uint32_t entries;
        if (old_file->ReadAt(at, page.data(), page.size()) != page.size() ||
            !CheckPage(page.data(), from.info.page_size, plan.old_ordinal, p, capacity, &entries)
                 .empty()) {
          Fail(kErrIndexDamaged, old_file->Path() + " changed while it was being copied.");
        }
        SealPage(page.data(), from.info.page_size, ordinal, p, entries);
        out.Write(page.data(), page.size());
      }
    } else {
      const uint32_t key_width = plan.key.width;
      const uint32_t entry_width = key_width + 4;
      EntrySorter sorter(entry_width, SortBudget(), temp_base);
      const KeySpec& layout = plan.key;
      source([&](uint32_t recno, const char* image) {
        char* slot = sorter.Slot();
        ExtractKey(layout, image, slot);
        PutBE32(slot + key_width, recno);
      });
      PageWriter writer(&out, tag.info.page_size, entry_width, ordinal);
      sorter.Drain([&](const char* entry) { writer.Add(entry); });
      tag.info.key_width = key_width;
      tag.info.entry_count = static_cast<uint32_t>(sorter.Count());
      tag.info.page_count = writer.Finish();
    }
    plan.info = tag.info;
    header.tags.push_back(tag);
  }
  out.Flush();
  std::string encoded = EncodeIndexHeader(header);
  file->WriteAt(0, encoded.data(), encoded.size());
  file->Truncate(out.Offset());
  file->Sync();
  std::vector<TagInfo> tags;
  for (const IndexTag& t : header.tags) tags.push_back(t.info);
  return tags;
}

}  // namespace kxengine
