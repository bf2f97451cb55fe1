#include "engine/table_file.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <optional>

#include "engine/format.h"
#include "engine/index_build.h"
#include "engine/os_file.h"
#include "engine/pack_journal.h"

namespace kx::engine {
namespace {

// 64 MiB, or the number of MiB in KX_SORT_BUDGET_MIB (1 to 4096) when that is set.
size_t InitialSortBudget() {
  size_t mib = 64;
  if (const char* text = std::getenv("KX_SORT_BUDGET_MIB")) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (end != text && *end == '\0' && value >= 1 && value <= 4096) mib = value;
  }
  return mib << 20;
}

std::atomic<size_t> sort_budget{InitialSortBudget()};

constexpr size_t kBlockBytes = 1 << 20;  // records are read and copied in blocks this big

std::unique_ptr<OsFile> OpenTableOs(const std::string& path, OpenMode mode) {
  OpenResult result;
  std::string error;
  bool exclusive = mode == OpenMode::kExclusive;
  auto file = OsFile::Open(path, exclusive ? OsFile::Mode::kReadWrite : OsFile::Mode::kRead,
                           exclusive ? LockKind::kExclusive : LockKind::kShared, &result, &error);
  if (file) return file;
  switch (result) {
    case OpenResult::kNotFound:
      Fail(kErrTableNotFound, path);
    case OpenResult::kInUse:
      Fail(kErrTableInUse, path);
    default:
      Fail(kErrIo, "opening " + path + ": " + error);
  }
}

// What an index build or pack that a crash interrupted leaves: the temporary files
// "<table>.<token>.runN.tmp", "<index>.tmp" and "<index>.new", and in the index file a
// half-written header slot or pages after the last tag. Only called while the table is held
// exclusively, so nobody is building at the same time.
void RemoveLeftovers(const std::string& table_path) {
  RemoveFileIfPresent(TempIndexPathOf(table_path));
  TidyIndexFile(IndexPathOf(table_path));
  // Without a journal (recovery has run by now) a packed index file is from a pack that
  // stopped before its commit point.
  RemoveFileIfPresent(PackedIndexPathOf(table_path));
  size_t sep = table_path.find_last_of("/\\");
  std::string dir = sep == std::string::npos ? "." : table_path.substr(0, sep);
  std::string prefix = (sep == std::string::npos ? table_path : table_path.substr(sep + 1)) + ".";
  for (const std::string& name : ListFiles(dir)) {
    if (name.size() > prefix.size() + 4 && name.compare(0, prefix.size(), prefix) == 0 &&
        name.find(".run") != std::string::npos && name.compare(name.size() - 4, 4, ".tmp") == 0) {
      RemoveFileIfPresent(dir + PathSeparator() + name);
    }
  }
}

}  // namespace

void SetSortBudget(size_t bytes) { sort_budget = std::max<size_t>(bytes, 4096); }
size_t SortBudget() { return sort_budget; }

struct TableFile::Impl {
  std::string path;
  OpenMode mode = OpenMode::kShared;
  std::unique_ptr<OsFile> file;
  TableHeader header;

  // The index file's header as this handle last wrote it, and whether every tag in it was
  // built from the records as they are now. The index file is not held open, so a header
  // read later is trusted only when it is that very header (generation, slot and checksum).
  struct KnownIndex {
    uint64_t generation = 0;
    uint32_t slot = 0;
    uint32_t checksum = 0;
    bool current = false;
  };
  std::optional<KnownIndex> known_index;

  bool Knows(const IndexHeader& h) const {
    return known_index && known_index->generation == h.generation && known_index->slot == h.slot &&
           known_index->checksum == h.checksum;
  }
  bool KnowsCurrent(const IndexHeader& h) const { return Knows(h) && known_index->current; }
  void Remember(const IndexHeader& h, bool current) {
    known_index = KnownIndex{h.generation, h.slot, h.checksum, current};
  }
  void RecordsChanged() {
    if (known_index) known_index->current = false;
  }

  void RequireExclusive(const char* what) const {
    if (mode != OpenMode::kExclusive) Fail(kErrNeedsExclusive, path + " (" + what + ")");
  }

  void LoadHeader() {
    char fixed[kTableFixedHeader];
    size_t got = file->ReadAt(0, fixed, sizeof fixed);
    std::string why;
    if (got < sizeof fixed) Fail(kErrNotATable, path + " (it is too short)");
    uint32_t size = AnnouncedHeaderSize(fixed);
    std::string data(fixed, got);
    if (size > got && size <= kTableFixedHeader + kFieldDescriptorSize * 65535) {
      data.resize(size);
      data.resize(got + file->ReadAt(got, data.data() + got, size - got));
    }
    TableHeader h;
    switch (DecodeTableHeader(data.data(), data.size(), &h, &why)) {
      case HeaderStatus::kNotOurs:
        Fail(kErrNotATable, path + " (" + why + ")");
      case HeaderStatus::kDamaged:
        Fail(kErrTableDamaged, path + " is damaged: " + why + ".");
      case HeaderStatus::kOk:
        break;
    }
    uint64_t need = h.header_size + uint64_t(h.record_count) * h.record_length;
    uint64_t have = file->Size();
    if (have < need) {
      Fail(kErrTableDamaged,
           path + " is damaged: it is truncated (the header announces " +
               std::to_string(h.record_count) + " records, the file holds " +
               std::to_string((have - std::min<uint64_t>(have, h.header_size)) / h.record_length) +
               ").");
    }
    header = std::move(h);
  }

  uint64_t RecordOffset(uint32_t recno) const {
    return header.header_size + uint64_t(recno - 1) * header.record_length;
  }

  void CheckRecno(uint32_t recno) const {
    if (recno < 1 || recno > header.record_count) {
      Fail(kErrRecordNotFound, std::to_string(recno) + " of " + path + " (the table has " +
                                   std::to_string(header.record_count) + " records)");
    }
  }

  void WriteHeader() {
    std::string encoded = EncodeTableHeader(header);
    file->WriteAt(0, encoded.data(), encoded.size());
  }

  void ForEach(const std::function<bool(uint32_t, bool, const char*)>& fn) const {
    const uint32_t len = header.record_length;
    // Small tables get a small buffer: verification reads tables many times over.
    const size_t per_block =
        std::max<size_t>(1, std::min<size_t>(kBlockBytes / len, header.record_count));
    LargeBlock block = LargeBlock::Take(per_block * len);
    for (uint32_t first = 1; first <= header.record_count;) {
      size_t n = std::min<size_t>(per_block, header.record_count - first + 1);
      if (file->ReadAt(RecordOffset(first), block.data(), n * len) != n * len) {
        Fail(kErrTableDamaged, path + " is damaged: it ended while records were read.");
      }
      for (size_t i = 0; i < n; ++i) {
        const char* image = block.data() + i * len;
        if (!fn(first + static_cast<uint32_t>(i), image[0] == kDeletedMark, image)) return;
      }
      first += static_cast<uint32_t>(n);
    }
  }

  // The live records with their own numbers, or numbered from 1 as a pack will.
  RecordSource LiveRecords(bool renumber) const {
    RecordSource source;
    source.file = file.get();
    source.path = path;
    source.offset = header.header_size;
    source.length = header.record_length;
    source.count = header.record_count;
    source.renumber = renumber;
    return source;
  }

  // Reads the existing index file's header; absent or unreadable gives no tags (and
  // *unreadable tells which).
  std::unique_ptr<OsFile> ExistingIndex(IndexHeader* existing, bool* unreadable) const {
    *unreadable = false;
    bool missing = false;
    auto index = OpenUnlocked(IndexPathOf(path), OsFile::Mode::kRead, &missing);
    if (missing) return nullptr;
    try {
      *existing = ReadIndexHeader(index.get());
    } catch (const EngineError& error) {
      // Only a file that is not a sound index file may be replaced; a read that failed says
      // nothing about the tags in it, which must not be dropped.
      if (error.Code() != kErrIndexDamaged) throw;
      *unreadable = true;
      *existing = IndexHeader();
    }
    return index;
  }

  // A tag of the old file is copied when all its pages are sound, else built again from
  // its expression (dropped when the expression no longer fits the table).
  bool PlanExisting(const IndexTag& tag, uint32_t ordinal, OsFile* index, bool copy,
                    TagPlan* plan) const {
    plan->info = tag.info;
    if (copy && CheckTagPages(index, tag, ordinal).empty()) {
      plan->copy_from = &tag;
      plan->old_ordinal = ordinal;
      return true;
    }
    try {
      plan->key = ParseExpression(header.fields, tag.info.expression, path);
    } catch (const EngineError&) {
      return false;
    }
    if (PageCapacity(plan->info.page_size, plan->key.width) == 0) return false;
    return true;
  }

  // The plan of a new tag: the name, expression and page size checked, the page size
  // doubled while the key does not fit twice in a page of the default size.
  TagPlan PlanNewTag(const std::string& tag, const std::string& expression,
                     uint32_t page_size) const {
    if (tag.empty() || tag.size() > kMaxTagName || tag.find('\0') != std::string::npos) {
      Fail(kErrInvalidArgument, "a tag name needs 1 to " + std::to_string(kMaxTagName) +
                                    " characters (\"" + tag + "\")");
    }
    if (expression.size() > kMaxExpression) {
      Fail(kErrBadExpression,
           "it is longer than " + std::to_string(kMaxExpression) + " characters");
    }
    if (page_size != 0 && (page_size < kMinPageSize || page_size > kMaxPageSize)) {
      Fail(kErrInvalidArgument, "the index page size " + std::to_string(page_size) +
                                    " is outside " + std::to_string(kMinPageSize) + " to " +
                                    std::to_string(kMaxPageSize));
    }
    TagPlan fresh;
    fresh.key = ParseExpression(header.fields, expression, path);
    fresh.info.name = tag;
    fresh.info.expression = expression;
    fresh.info.page_size = page_size == 0 ? kDefaultPageSize : page_size;
    // A key too wide for the page: with the default size take a larger page, else refuse.
    while (PageCapacity(fresh.info.page_size, fresh.key.width) < 2) {
      if (page_size != 0 || fresh.info.page_size >= kMaxPageSize) {
        Fail(kErrBadExpression, "its key of " + std::to_string(fresh.key.width) +
                                    " bytes does not fit pages of " +
                                    std::to_string(fresh.info.page_size) + " bytes");
      }
      fresh.info.page_size *= 2;
    }
    return fresh;
  }

  // Whether every tag of the index file is sound: those this handle wrote are, the others'
  // pages are checked.
  bool TagsAreSound(OsFile* index, const IndexHeader& existing) const {
    if (Knows(existing)) return true;
    for (uint32_t i = 0; i < existing.tags.size(); ++i) {
      if (!CheckTagPages(index, existing.tags[i], i).empty()) return false;
    }
    return true;
  }

  // Adds the tag at the end of the index file under a new header; false when the index file
  // went away meanwhile. On a failure the file is put back as it was.
  bool AppendToIndex(const IndexHeader& existing, TagPlan& fresh) {
    bool missing = false;
    auto index = OpenUnlocked(IndexPathOf(path), OsFile::Mode::kReadWrite, &missing);
    if (!index) return false;
    try {
      IndexHeader next =
          AppendTag(index.get(), existing, fresh, LiveRecords(false), header.record_count, path);
      Remember(next, KnowsCurrent(existing));
      return true;
    } catch (...) {
      UndoAppend(index.get(), existing);
      throw;
    }
  }

  // The plans of a new index file: the tags of the old one (copied where sound), with the
  // new tag in place of one of the same name or after them. *current tells whether every
  // copied tag matches the records.
  std::vector<TagPlan> PlansWithTag(const IndexHeader& existing, OsFile* old_index,
                                    const TagPlan& fresh, bool* current) const {
    std::vector<TagPlan> plans;
    bool placed = false;
    *current = true;
    for (uint32_t i = 0; i < existing.tags.size(); ++i) {
      if (EqualsIgnoreCase(existing.tags[i].info.name, fresh.info.name)) {
        if (!placed) plans.push_back(fresh);
        placed = true;
        continue;
      }
      TagPlan plan;
      if (PlanExisting(existing.tags[i], i, old_index, true, &plan)) {
        if (plan.copy_from != nullptr && !KnowsCurrent(existing)) *current = false;
        plans.push_back(plan);
      }
    }
    if (!placed) plans.push_back(fresh);
    return plans;
  }

  // Writes a new index file beside the old one and renames it over it; on a failure the new
  // file goes. `old_index` (where copied tags come from) is closed before the rename.
  IndexHeader ReplaceIndexFile(std::vector<TagPlan>& plans, std::unique_ptr<OsFile> old_index,
                               uint32_t records) {
    const std::string temp = TempIndexPathOf(path);
    try {
      IndexHeader written =
          WriteIndexFile(temp, plans, old_index.get(), LiveRecords(false), records, path);
      old_index.reset();
      RenameOver(temp, IndexPathOf(path));
      return written;
    } catch (...) {
      old_index.reset();
      RemoveFileIfPresent(temp);
      throw;
    }
  }

  // The plans of the packed index file: every tag's entries kept with new numbers, or
  // every tag built again (copied tags are not possible: the numbers change).
  std::vector<TagPlan> PackPlans(const IndexHeader& existing, OsFile* old_index,
                                 bool keep_entries) const {
    std::vector<TagPlan> plans;
    for (uint32_t i = 0; i < existing.tags.size(); ++i) {
      TagPlan plan;
      if (keep_entries) {
        plan.info = existing.tags[i].info;
        plan.renumber_from = &existing.tags[i];
        plan.old_ordinal = i;
        plans.push_back(plan);
      } else if (PlanExisting(existing.tags[i], i, old_index, false, &plan)) {
        plans.push_back(plan);
      }
    }
    return plans;
  }

  // A pack with no deleted records: the table stays as it is; an unreadable index file
  // goes, and tags that may not match the records are built again.
  void RebuildTagsOnly(std::unique_ptr<OsFile> old_index, const IndexHeader& existing,
                       bool unreadable, bool renumber) {
    const std::string index_path = IndexPathOf(path);
    if (old_index && unreadable) {
      old_index.reset();
      RemoveFileIfPresent(index_path);
      SyncFolderOf(index_path);
      known_index.reset();
    } else if (old_index && !renumber) {
      std::vector<TagPlan> plans = PackPlans(existing, old_index.get(), false);
      old_index.reset();
      Remember(ReplaceIndexFile(plans, nullptr, header.record_count), true);
    }
  }

  // Step 1 of a pack: the index file of the packed table, written beside the old one and not
  // flushed yet (the disk writes it while the records move; a recovery checks it).
  IndexHeader WritePackedIndex(const IndexHeader& existing, OsFile* old_index, bool renumber,
                               const PackedNumbers& numbers) {
    const std::string packed_index = PackedIndexPathOf(path);
    std::vector<TagPlan> plans = PackPlans(existing, old_index, renumber);
    try {
      return WriteIndexFile(packed_index, plans, old_index, LiveRecords(true), numbers.Live(), path,
                            &numbers, false);
    } catch (const EngineError& error) {
      // A tag that no longer matches the records (its file changed under this handle) is
      // built from the records instead.
      if (!renumber || error.Code() != kErrIndexDamaged) throw;
      plans = PackPlans(existing, old_index, false);
      return WriteIndexFile(packed_index, plans, old_index, LiveRecords(true), numbers.Live(), path,
                            nullptr, false);
    }
  }

  // Step 2 of a pack: what the journal records, the commit point.
  PackPlan MakePackPlan(JournalIndexAction action, const PackedNumbers& numbers,
                        const IndexHeader& packed_index) const {
    TableHeader packed = header;
    packed.record_count = numbers.Live();
    PackPlan plan;
    plan.action = action;
    plan.header_size = header.header_size;
    plan.record_length = header.record_length;
    plan.record_count = header.record_count;
    plan.live_count = numbers.Live();
    plan.first_moved = numbers.FirstDeleted();
    plan.packed_header = EncodeTableHeader(packed);
    plan.index_generation = packed_index.generation;
    plan.index_checksum = packed_index.checksum;
    std::string old_header(header.header_size, '\0');
    if (file->ReadAt(0, old_header.data(), old_header.size()) != old_header.size()) {
      Fail(kErrTableDamaged, path + " is damaged: it ends inside its header.");
    }
    plan.table_header_checksum = Crc32(old_header.data(), old_header.size());
    return plan;
  }
};

TableFile::TableFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
TableFile::~TableFile() = default;

std::unique_ptr<TableFile> TableFile::Create(const std::string& path,
                                             const std::vector<FieldDef>& fields) {
  auto impl = std::make_unique<Impl>();
  impl->path = path;
  impl->mode = OpenMode::kExclusive;
  impl->header.fields = LayOutFields(fields);
  const Field& last = impl->header.fields.back();
  impl->header.record_length = last.offset + last.length;
  impl->header.header_size =
      static_cast<uint32_t>(kTableFixedHeader + kFieldDescriptorSize * fields.size());
  OpenResult result;
  std::string error;
  impl->file = OsFile::Open(path, OsFile::Mode::kCreateNew, LockKind::kExclusive, &result, &error);
  if (!impl->file) {
    if (result == OpenResult::kExists) Fail(kErrTableExists, path);
    if (result == OpenResult::kInUse) Fail(kErrTableInUse, path);
    Fail(kErrIo, "creating " + path + ": " + error);
  }
  impl->WriteHeader();
  impl->file->Sync();
  // An index file left from an earlier table of this name would describe other records.
  RemoveFileIfPresent(IndexPathOf(path));
  return std::unique_ptr<TableFile>(new TableFile(std::move(impl)));
}

std::unique_ptr<TableFile> TableFile::Open(const std::string& path, OpenMode mode) {
  auto impl = std::make_unique<Impl>();
  impl->path = path;
  impl->mode = mode;
  impl->file = OpenTableOs(path, mode);
  if (FileExists(JournalPathOf(path))) {
    if (mode == OpenMode::kExclusive) {
      RecoverPack(impl->file.get(), path);
    } else {
      // Recovery writes, so it needs the table alone for a moment.
      impl->file.reset();
      {
        auto exclusive = OpenTableOs(path, OpenMode::kExclusive);
        RecoverPack(exclusive.get(), path);
      }
      impl->file = OpenTableOs(path, mode);
    }
  }
  impl->LoadHeader();
  if (mode == OpenMode::kExclusive) RemoveLeftovers(path);
  return std::unique_ptr<TableFile>(new TableFile(std::move(impl)));
}

const std::string& TableFile::Path() const { return impl_->path; }
std::string TableFile::IndexPath() const { return IndexPathOf(impl_->path); }
OpenMode TableFile::Mode() const { return impl_->mode; }
const std::vector<Field>& TableFile::Fields() const { return impl_->header.fields; }

int TableFile::FindField(std::string_view name) const {
  const auto& fields = impl_->header.fields;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (EqualsIgnoreCase(fields[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

uint32_t TableFile::RecordLength() const { return impl_->header.record_length; }
uint32_t TableFile::RecordCount() const { return impl_->header.record_count; }
uint64_t TableFile::FileSize() const { return impl_->file->Size(); }

std::string TableFile::BlankRecord() const {
  std::string image(impl_->header.record_length, ' ');
  for (const Field& f : impl_->header.fields) BlankValue(f, image.data() + f.offset);
  return image;
}

void TableFile::FormatRecord(const std::vector<std::string_view>& values, char* out) const {
  const auto& fields = impl_->header.fields;
  if (values.size() > fields.size()) {
    Fail(kErrBadValue, std::to_string(values.size()) + " values for " +
                           std::to_string(fields.size()) + " fields of " + impl_->path);
  }
  out[0] = kLiveMark;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i < values.size()) {
      FormatValue(fields[i], values[i], out + fields[i].offset);
    } else {
      BlankValue(fields[i], out + fields[i].offset);
    }
  }
}

std::string TableFile::FieldText(const char* record, size_t field) const {
  const Field& f = impl_->header.fields.at(field);
  return ValueText(f, record + f.offset);
}

uint32_t TableFile::AppendRecord(const std::vector<std::string>& values) {
  std::vector<std::string_view> views(values.begin(), values.end());
  std::string image(RecordLength(), ' ');
  FormatRecord(views, image.data());
  AppendRecordImages(image.data(), 1);
  return RecordCount();
}

void TableFile::AppendRecordImages(const char* images, size_t count) {
  impl_->RequireExclusive("appending records");
  uint64_t total = uint64_t(impl_->header.record_count) + count;
  if (total > 0xFFFFFFF0u) Fail(kErrInvalidArgument, "the table would hold too many records");
  // The records go first, the header that counts them after: a crash in between leaves
  // the table as it was, with some unused bytes at its end.
  impl_->file->WriteAt(impl_->RecordOffset(impl_->header.record_count + 1), images,
                       count * impl_->header.record_length);
  impl_->header.record_count = static_cast<uint32_t>(total);
  impl_->WriteHeader();
  impl_->RecordsChanged();
}

void TableFile::DeleteRecord(uint32_t recno) {
  impl_->RequireExclusive("deleting records");
  impl_->CheckRecno(recno);
  char mark = kDeletedMark;
  impl_->file->WriteAt(impl_->RecordOffset(recno), &mark, 1);
  impl_->RecordsChanged();
}

void TableFile::ReadRecord(uint32_t recno, std::string* image) const {
  impl_->CheckRecno(recno);
  image->resize(impl_->header.record_length);
  if (impl_->file->ReadAt(impl_->RecordOffset(recno), image->data(), image->size()) !=
      image->size()) {
    Fail(kErrTableDamaged,
         impl_->path + " is damaged: record " + std::to_string(recno) + " is cut short.");
  }
}

bool TableFile::IsDeleted(uint32_t recno) const {
  impl_->CheckRecno(recno);
  char mark = 0;
  impl_->file->ReadAt(impl_->RecordOffset(recno), &mark, 1);
  return mark == kDeletedMark;
}

std::vector<std::string> TableFile::RecordValues(uint32_t recno) const {
  std::string image;
  ReadRecord(recno, &image);
  std::vector<std::string> values;
  for (const Field& f : impl_->header.fields)
    values.push_back(ValueText(f, image.data() + f.offset));
  return values;
}

void TableFile::ForEachRecord(const std::function<bool(uint32_t, bool, const char*)>& fn) const {
  impl_->ForEach(fn);
}

std::vector<TagInfo> TableFile::Tags() const {
  bool missing = false;
  auto index = OpenUnlocked(IndexPath(), OsFile::Mode::kRead, &missing);
  if (missing) return {};
  IndexHeader header = ReadIndexHeader(index.get());
  std::vector<TagInfo> tags;
  for (const IndexTag& t : header.tags) tags.push_back(t.info);
  return tags;
}

void TableFile::ForEachTagEntry(const std::string& tag,
                                const std::function<void(const char*, uint32_t)>& fn) const {
  bool missing = false;
  auto index = OpenUnlocked(IndexPath(), OsFile::Mode::kRead, &missing);
  if (missing) Fail(kErrTagNotFound, tag + " (there is no index file " + IndexPath() + ")");
  IndexHeader header = ReadIndexHeader(index.get());
  for (uint32_t ordinal = 0; ordinal < header.tags.size(); ++ordinal) {
    const IndexTag& t = header.tags[ordinal];
    if (!EqualsIgnoreCase(t.info.name, tag)) continue;
    const uint32_t capacity = PageCapacity(t.info.page_size, t.info.key_width);
    const uint32_t width = t.info.key_width + 4;
    std::vector<char> page(t.info.page_size);
    for (uint32_t p = 0; p < t.info.page_count; ++p) {
      uint32_t entries = 0;
      std::string why =
          index->ReadAt(t.first_page + uint64_t(p) * t.info.page_size, page.data(), page.size()) ==
                  page.size()
              ? CheckPage(page.data(), t.info.page_size, ordinal, p, capacity, &entries)
              : "the file ends inside it";
      if (!why.empty()) {
        Fail(kErrIndexDamaged, IndexPath() + " is damaged: tag " + t.info.name + ", page " +
                                   std::to_string(p + 1) + ": " + why + ".");
      }
      for (uint32_t e = 0; e < entries; ++e) {
        const char* entry = page.data() + kPageHeader + size_t(e) * width;
        fn(entry, GetBE32(entry + t.info.key_width));
      }
    }
    return;
  }
  Fail(kErrTagNotFound, tag + " (in " + IndexPath() + ")");
}

std::string TableFile::KeyOf(const std::string& expression, const char* image) const {
  KeySpec layout = ParseExpression(impl_->header.fields, expression, impl_->path);
  std::string key(layout.width, '\0');
  ExtractKey(layout, image, key.data());
  return key;
}

TagInfo TableFile::CreateIndex(const std::string& tag, const std::string& expression,
                               uint32_t page_size) {
  Impl& t = *impl_;
  t.RequireExclusive("creating an index tag");
  TagPlan fresh = t.PlanNewTag(tag, expression, page_size);

  IndexHeader existing;
  bool unreadable = false;
  auto old_index = t.ExistingIndex(&existing, &unreadable);
  const bool replaces =
      std::any_of(existing.tags.begin(), existing.tags.end(),
                  [&](const IndexTag& old) { return EqualsIgnoreCase(old.info.name, tag); });
  if (old_index && !unreadable && !replaces && existing.tags.size() < existing.capacity &&
      t.TagsAreSound(old_index.get(), existing)) {
    // A new tag goes at the end of the file, under a new header.
    old_index.reset();
    if (t.AppendToIndex(existing, fresh)) return fresh.info;
    existing = IndexHeader();  // the index file went away meanwhile: a new one is made
  }

  bool current = true;
  std::vector<TagPlan> plans = t.PlansWithTag(existing, old_index.get(), fresh, &current);
  const IndexHeader written =
      t.ReplaceIndexFile(plans, std::move(old_index), t.header.record_count);
  t.Remember(written, current);
  for (const IndexTag& info : written.tags) {
    if (EqualsIgnoreCase(info.info.name, tag)) return info.info;
  }
  Fail(kErrIo, "the new tag " + tag + " is missing from " + IndexPath());
}

void TableFile::Pack() {
  Impl& t = *impl_;
  t.RequireExclusive("packing");
  IndexHeader existing;
  bool unreadable = false;
  auto old_index = t.ExistingIndex(&existing, &unreadable);
  PackedNumbers numbers;
  t.ForEach([&](uint32_t, bool deleted, const char*) {
    numbers.Add(deleted);
    return true;
  });
  const uint32_t live = numbers.Live();
  // Tags this handle built from the records as they are need no sorting: their entries
  // are kept, with the new record numbers.
  const bool renumber = old_index && !unreadable && t.KnowsCurrent(existing);
  if (live == t.header.record_count &&
      t.file->Size() == t.header.header_size + uint64_t(live) * t.header.record_length) {
    t.RebuildTagsOnly(std::move(old_index), existing, unreadable, renumber);
    return;
  }

  const std::string journal_path = JournalPathOf(t.path);
  JournalIndexAction action = JournalIndexAction::kNone;
  IndexHeader packed_index;
  try {
    // 1. The index file of the packed table, built beside the old one.
    if (old_index && unreadable) {
      action = JournalIndexAction::kRemove;
    } else if (old_index) {
      packed_index = t.WritePackedIndex(existing, old_index.get(), renumber, numbers);
      action = JournalIndexAction::kReplace;
    }
    old_index.reset();
    // 2. The journal, flushed: the commit point.
    CommitPackJournal(journal_path, t.MakePackPlan(action, numbers, packed_index));
    // 3. Past the commit point: the same steps a recovery takes.
    CompletePack(t.file.get(), t.path, true);
  } catch (...) {
    old_index.reset();
    // Before the commit point nothing has changed; clear the leftovers. After it (or when
    // the journal cannot be read to tell), the journal stays for the next open to finish
    // the pack.
    if (!PackMayBeCommitted(journal_path)) {
      RemoveFileIfPresent(journal_path);
      RemoveFileIfPresent(PackedIndexPathOf(t.path));
    }
    throw;
  }
  t.LoadHeader();
  if (action == JournalIndexAction::kReplace) {
    t.Remember(packed_index, true);
  } else {
    t.known_index.reset();
  }
}

}  // namespace kx::engine
