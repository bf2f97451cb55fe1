#include "engine/pack_journal.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "engine/error_codes.h"
#include "engine/index_build.h"
#include "engine/large_memory.h"

namespace kx::engine {
namespace {

constexpr uint32_t kJournalVersion = 2;
constexpr size_t kJournalFixed = 64;
constexpr size_t kRecordSlot = 32;  // a progress record, or the head of a bounce area
// Every step costs two flushes, each a few milliseconds however little it writes, so steps
// are large; but not larger, as the journal's two bounce areas are memory the system must
// find for the file, which costs more than writing it. Records stream through one block of
// memory whatever the step's size.
constexpr size_t kDefaultBounceBytes = size_t(16) << 20;
// Room this large takes records directly: below it, the two flushes of a step of that size
// cost more than sending the same records through the journal in larger steps.
constexpr size_t kDefaultDirectBytes = size_t(12) << 20;
// A step that moves records straight into free room moves at most this much.
constexpr size_t kMaxDirectBytes = size_t(64) << 20;
constexpr size_t kReadBlock = size_t(1) << 20;

std::atomic<size_t> bounce_bytes{kDefaultBounceBytes};
std::atomic<size_t> direct_bytes{kDefaultDirectBytes};
std::atomic<size_t> piece_bytes{kReadBlock};

// The bytes read or written at once through `block`.
size_t PieceBytes(const LargeBlock& block) { return std::min<size_t>(block.size(), piece_bytes); }

size_t AlignUp(size_t n, size_t to) { return (n + to - 1) / to * to; }

// The journal as read back: the plan, and where its parts lie.
struct Journal {
  PackPlan plan;
  uint32_t bounce_records = 0;  // records a bounce area holds
  uint32_t checksum = 0;        // of the fixed part: binds the later records to this journal
  uint64_t ProgressOffset(uint32_t slot) const {
    return AlignUp(kJournalFixed + plan.header_size, kRecordSlot) + slot * kRecordSlot;
  }
  uint64_t BounceOffset(uint32_t area) const {
    return ProgressOffset(2) + area * (kRecordSlot + uint64_t(bounce_records) * plan.record_length);
  }
};

std::string EncodeFixed(const PackPlan& plan, uint32_t bounce_records) {
  std::string h(kJournalFixed, '\0');
  char* p = h.data();
  std::memcpy(p, kJournalMagic, 8);
  PutU32(p + 8, kJournalVersion);
  PutU32(p + 12, static_cast<uint32_t>(plan.action));
  PutU32(p + 16, plan.header_size);
  PutU32(p + 20, plan.record_length);
  PutU32(p + 24, plan.record_count);
  PutU32(p + 28, plan.live_count);
  PutU32(p + 32, plan.first_moved);
  PutU32(p + 36, Crc32(plan.packed_header.data(), plan.packed_header.size()));
  PutU32(p + 40, bounce_records);
  PutU64(p + 44, plan.index_generation);
  PutU32(p + 52, plan.index_checksum);
  PutU32(p + 56, plan.table_header_checksum);
  PutU32(p + 60, Crc32(p, 60));
  return h;
}

// Reads the fixed part and the packed header; false when they are not whole and sound,
// which means the pack never reached its commit point.
bool ReadJournal(OsFile* file, Journal* j) {
  char h[kJournalFixed];
  if (file->ReadAt(0, h, sizeof h) != sizeof h || std::memcmp(h, kJournalMagic, 8) != 0 ||
      GetU32(h + 60) != Crc32(h, 60) || GetU32(h + 8) != kJournalVersion) {
    return false;
  }
  PackPlan& plan = j->plan;
  plan.action = static_cast<JournalIndexAction>(GetU32(h + 12));
  plan.header_size = GetU32(h + 16);
  plan.record_length = GetU32(h + 20);
  plan.record_count = GetU32(h + 24);
  plan.live_count = GetU32(h + 28);
  plan.first_moved = GetU32(h + 32);
  j->bounce_records = GetU32(h + 40);
  plan.index_generation = GetU64(h + 44);
  plan.index_checksum = GetU32(h + 52);
  plan.table_header_checksum = GetU32(h + 56);
  j->checksum = GetU32(h + 60);
  if (plan.header_size < kTableFixedHeader || plan.header_size > (64u << 20) ||
      plan.record_length == 0 || plan.live_count > plan.record_count ||
      plan.first_moved > plan.record_count || j->bounce_records == 0 ||
      plan.action > JournalIndexAction::kRemove) {
    return false;
  }
  plan.packed_header.resize(plan.header_size);
  if (file->ReadAt(kJournalFixed, plan.packed_header.data(), plan.header_size) !=
          plan.header_size ||
      Crc32(plan.packed_header.data(), plan.header_size) != GetU32(h + 36)) {
    return false;
  }
  return true;
}

// How far the moving got: records [0, w) are in their final places, records from r on are
// still where they were, and the room between is free.
struct Progress {
  uint64_t seq = 0;  // of the last step recorded; 0 before the first
  uint32_t w = 0;
  uint32_t r = 0;
};

// A step that went through the journal: its records, destined for w, came from [r, r_end).
struct Bounce {
  bool found = false;
  Progress from;
  uint32_t r_end = 0;
  uint32_t count = 0;
  uint64_t area = 0;  // where its head lies in the journal; the records follow it
};

// Reads `bytes` bytes of `file` from `offset` a block at a time; `fn(data, n)` sees each
// piece in order. False when the file ends first.
bool ForEachPiece(OsFile* file, uint64_t offset, uint64_t bytes, const LargeBlock& block,
                  const std::function<void(const char*, size_t)>& fn) {
  while (bytes > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(bytes, PieceBytes(block)));
    if (file->ReadAt(offset, block.data(), n) != n) return false;
    fn(block.data(), n);
    offset += n;
    bytes -= n;
  }
  return true;
}

// Writes `bytes` bytes to `file` at `offset` and starts the disk writing them, so that the
// flush that ends the step has less to wait for.
void WriteAhead(OsFile* file, uint64_t offset, const char* data, size_t bytes) {
  file->WriteAt(offset, data, bytes);
  file->StartWriteback(offset, bytes);
}

// Writes the records of the bounce area at `area` to their places in the table, from record
// `w` on: a step's second half, or its repetition after a crash.
void ReplayBounce(OsFile* journal, uint64_t area, uint32_t count, OsFile* table,
                  const PackPlan& plan, uint32_t w, const LargeBlock& block) {
  uint64_t to = plan.header_size + uint64_t(w) * plan.record_length;
  const bool whole = ForEachPiece(journal, area + kRecordSlot, uint64_t(count) * plan.record_length,
                                  block, [&](const char* data, size_t n) {
                                    WriteAhead(table, to, data, n);
                                    to += n;
                                  });
  if (!whole) Fail(kErrIo, "the pack journal " + journal->Path() + " ended inside its records.");
}

std::string EncodeProgress(const Journal& j, const Progress& p) {
  std::string s(kRecordSlot, '\0');
  PutU64(s.data(), p.seq);
  PutU32(s.data() + 8, p.w);
  PutU32(s.data() + 12, p.r);
  PutU32(s.data() + 28, Crc32(s.data(), 28, j.checksum));
  return s;
}

std::string EncodeBounceHead(const Journal& j, const Progress& from, uint32_t r_end, uint32_t count,
                             uint32_t data_crc) {
  std::string s(kRecordSlot, '\0');
  PutU64(s.data(), from.seq);
  PutU32(s.data() + 8, from.w);
  PutU32(s.data() + 12, from.r);
  PutU32(s.data() + 16, r_end);
  PutU32(s.data() + 20, count);
  PutU32(s.data() + 24, data_crc);
  PutU32(s.data() + 28, Crc32(s.data(), 28, j.checksum));
  return s;
}

bool Plausible(const Journal& j, const Progress& p) {
  return p.seq != 0 && p.w <= p.r && p.r <= j.plan.record_count && p.w <= j.plan.live_count &&
         p.w >= j.plan.first_moved;
}

// The latest step the journal records: a progress record, or a bounce whose records must be
// written (again) to the table.
Progress LatestStep(OsFile* file, const Journal& j, Bounce* bounce) {
  Progress best;
  best.w = best.r = j.plan.first_moved;
  bounce->found = false;
  char s[kRecordSlot];
  for (uint32_t slot = 0; slot < 2; ++slot) {
    if (file->ReadAt(j.ProgressOffset(slot), s, sizeof s) != sizeof s ||
        GetU32(s + 28) != Crc32(s, 28, j.checksum)) {
      continue;
    }
    Progress p{GetU64(s), GetU32(s + 8), GetU32(s + 12)};
    if (Plausible(j, p) && p.seq > best.seq) best = p;
  }
  Bounce found;
  LargeBlock block = LargeBlock::Take(kReadBlock);
  for (uint32_t area = 0; area < 2; ++area) {
    const uint64_t at = j.BounceOffset(area);
    if (file->ReadAt(at, s, sizeof s) != sizeof s || GetU32(s + 28) != Crc32(s, 28, j.checksum)) {
      continue;
    }
    Progress from{GetU64(s), GetU32(s + 8), GetU32(s + 12)};
    const uint32_t r_end = GetU32(s + 16), count = GetU32(s + 20);
    if (!Plausible(j, from) || from.seq <= best.seq || from.seq <= found.from.seq ||
        count > j.bounce_records || r_end < from.r || r_end > j.plan.record_count ||
        uint64_t(from.w) + count > j.plan.live_count) {
      continue;
    }
    uint32_t crc = 0;
    if (!ForEachPiece(file, at + kRecordSlot, uint64_t(count) * j.plan.record_length, block,
                      [&](const char* data, size_t n) { crc = Crc32(data, n, crc); }) ||
        crc != GetU32(s + 24)) {
      continue;  // cut short: the step never began to change the table
    }
    found.found = true;
    found.from = from;
    found.r_end = r_end;
    found.count = count;
    found.area = at;
  }
  if (found.found && found.from.seq > best.seq) {
    *bounce = found;
    return bounce->from;
  }
  return best;
}

// Streams the live records of the table from record r on, at most `limit` of them, through
// `block`: `sink(records, n)` gets the live records of each piece read, in order. Returns how
// many there were, and in *r_end the record after the last one looked at.
uint32_t StreamLive(OsFile* table, const PackPlan& plan, uint32_t r, uint32_t limit,
                    const LargeBlock& block, uint32_t* r_end,
                    const std::function<void(const char*, uint32_t)>& sink) {
  const uint32_t len = plan.record_length;
  const size_t block_records = std::max<size_t>(1, PieceBytes(block) / len);
  char* const data = block.data();
  uint32_t count = 0;
  while (r < plan.record_count && count < limit) {
    const uint32_t n =
        static_cast<uint32_t>(std::min<uint64_t>(block_records, plan.record_count - r));
    const size_t want = size_t(n) * len;
    if (table->ReadAt(plan.header_size + uint64_t(r) * len, data, want) != want) {
      Fail(kErrTableDamaged, table->Path() + " is damaged: it ended while records were moved.");
    }
    // The live records close up at the front of the block.
    uint32_t i = 0, kept = 0;
    for (; i < n && count + kept < limit; ++i) {
      const char* image = data + size_t(i) * len;
      if (image[0] == kDeletedMark) continue;
      if (kept != i) std::memcpy(data + size_t(kept) * len, image, len);
      ++kept;
    }
    if (kept > 0) sink(data, kept);
    count += kept;
    r += i;
  }
  *r_end = r;
  return count;
}

// Whether the index file at `path` has the header `plan` names, and every tag in it is
// whole and holds one entry per packed record.
bool IsPackedIndex(const std::string& path, const PackPlan& plan, bool check_pages) {
  bool missing = false;
  std::unique_ptr<OsFile> file;
  try {
    file = OpenUnlocked(path, OsFile::Mode::kRead, &missing);
    if (!file) return false;
    const IndexHeader header = ReadIndexHeader(file.get());
    if (header.generation != plan.index_generation || header.checksum != plan.index_checksum) {
      return false;
    }
    if (!check_pages) return true;
    for (uint32_t i = 0; i < header.tags.size(); ++i) {
      if (header.tags[i].info.entry_count != plan.live_count ||
          !CheckTagPages(file.get(), header.tags[i], i).empty()) {
        return false;
      }
    }
    return true;
  } catch (const EngineError& error) {
    if (error.Code() != kErrIndexDamaged) throw;  // a failed read says nothing
    return false;
  }
}

// The packed index file did not survive a crash: the tags of the index file (still the old
// one) are built again from the packed records, which are all in place by now, and replace
// it. An index file that cannot be read goes.
void RebuildIndex(OsFile* table, const std::string& table_path, const PackPlan& plan) {
  const std::string index_path = IndexPathOf(table_path);
  TableHeader layout;
  std::string why;
  if (DecodeTableHeader(plan.packed_header.data(), plan.packed_header.size(), &layout, &why) !=
      HeaderStatus::kOk) {
    Fail(kErrIo, "the pack journal of " + table_path + " holds no table header: " + why);
  }
  IndexHeader old;
  {
    bool missing = false;
    auto file = OpenUnlocked(index_path, OsFile::Mode::kRead, &missing);
    if (!file) return;
    try {
      old = ReadIndexHeader(file.get());
    } catch (const EngineError& error) {
      if (error.Code() != kErrIndexDamaged) throw;
      file.reset();
      RemoveFileIfPresent(index_path);
      SyncFolderOf(index_path);
      return;
    }
  }
  std::vector<TagPlan> plans;
  for (const IndexTag& tag : old.tags) {
    TagPlan p;
    p.info = tag.info;
    try {
      p.key = ParseExpression(layout.fields, tag.info.expression, table_path);
    } catch (const EngineError&) {
      continue;
    }
    if (PageCapacity(p.info.page_size, p.key.width) > 0) plans.push_back(p);
  }
  // After the records were moved every record up to the live count is live.
  RecordSource packed;
  packed.file = table;
  packed.path = table_path;
  packed.offset = plan.header_size;
  packed.length = plan.record_length;
  packed.count = plan.live_count;
  const std::string temp = TempIndexPathOf(table_path);
  WriteIndexFile(temp, plans, nullptr, packed, plan.live_count, table_path);
  RenameOver(temp, index_path);
}

// The index file of the packed table: the packed index file renamed over the index file, or
// the index file removed.
void ApplyIndexAction(OsFile* table, const std::string& table_path, const PackPlan& plan,
                      bool index_whole) {
  const std::string index_path = IndexPathOf(table_path);
  const std::string packed_index = PackedIndexPathOf(table_path);
  if (plan.action == JournalIndexAction::kRemove) {
    RemoveFileIfPresent(index_path);
    SyncFolderOf(index_path);
    return;
  }
  if (plan.action != JournalIndexAction::kReplace) return;
  if (FileExists(packed_index) && (index_whole || IsPackedIndex(packed_index, plan, true))) {
    OpenUnlocked(packed_index, OsFile::Mode::kReadWrite)->Sync();
    RenameOver(packed_index, index_path);
    return;
  }
  RemoveFileIfPresent(packed_index);
  if (!IsPackedIndex(index_path, plan, false)) RebuildIndex(table, table_path, plan);
}

// Whether a journal found at an open belongs to this table: its header is the one the
// journal names or the packed one, and, when no step is recorded yet, the records are as
// the plan says (none deleted before the first record to move, the live count right).
bool JournalFitsTable(OsFile* table, const PackPlan& plan, bool started) {
  std::string header(plan.header_size, '\0');
  if (table->ReadAt(0, header.data(), header.size()) != header.size()) return false;
  const bool packed = header == plan.packed_header;
  if (!packed && Crc32(header.data(), header.size()) != plan.table_header_checksum) return false;
  if (started) return true;
  const uint32_t len = plan.record_length;
  if (table->Size() < plan.header_size + uint64_t(plan.record_count) * len) return false;
  const size_t per_block = std::max<size_t>(1, kReadBlock / len);
  LargeBlock block = LargeBlock::Take(per_block * len);
  uint32_t live = 0;
  for (uint32_t first = 0; first < plan.record_count;) {
    const uint32_t n =
        static_cast<uint32_t>(std::min<uint64_t>(per_block, plan.record_count - first));
    const size_t want = size_t(n) * len;
    if (table->ReadAt(plan.header_size + uint64_t(first) * len, block.data(), want) != want) {
      return false;
    }
    for (uint32_t i = 0; i < n; ++i) {
      const bool deleted = block.data()[size_t(i) * len] == kDeletedMark;
      if (deleted && first + i < plan.first_moved) return false;
      if (!deleted) ++live;
    }
    first += n;
  }
  return live == plan.live_count;
}

}  // namespace

void SetPackStepSizes(size_t bounce, size_t direct, size_t piece) {
  bounce_bytes = std::max<size_t>(bounce, 1);
  direct_bytes = std::max<size_t>(direct, 1);
  piece_bytes = std::max<size_t>(piece, 1);
}

void ResetPackStepSizes() {
  SetPackStepSizes(kDefaultBounceBytes, kDefaultDirectBytes, kReadBlock);
}

void CommitPackJournal(const std::string& journal_path, const PackPlan& plan) {
  auto journal = OpenUnlocked(journal_path, OsFile::Mode::kTruncate, nullptr);
  const uint32_t bounce_records =
      static_cast<uint32_t>(std::max<size_t>(1, bounce_bytes / plan.record_length));
  std::string head = EncodeFixed(plan, bounce_records) + plan.packed_header;
  journal->WriteAt(0, head.data(), head.size());
  journal->Sync();
  SyncFolderOf(journal_path);
}

bool PackMayBeCommitted(const std::string& journal_path) {
  try {
    bool missing = false;
    auto journal = OpenUnlocked(journal_path, OsFile::Mode::kRead, &missing);
    Journal j;
    return journal && ReadJournal(journal.get(), &j);
  } catch (const EngineError&) {
    return true;  // unknown: the next open reads it again and decides
  }
}

// A step into free room: the live records from `at.r` on go straight to `at.w`, at most
// `limit` of them. Only free room is written, so the step can be done again from where it
// began; the progress record says it is done.
Progress DirectStep(OsFile* table, OsFile* journal, const Journal& j, const Progress& at,
                    uint32_t limit, const LargeBlock& block) {
  const PackPlan& plan = j.plan;
  uint64_t to = plan.header_size + uint64_t(at.w) * plan.record_length;
  uint32_t r_end = at.r;
  const uint32_t count =
      StreamLive(table, plan, at.r, limit, block, &r_end, [&](const char* data, uint32_t n) {
        const size_t bytes = size_t(n) * plan.record_length;
        WriteAhead(table, to, data, bytes);
        to += bytes;
      });
  table->Sync();
  const Progress next{at.seq + 1, at.w + count, r_end};
  const std::string record = EncodeProgress(j, next);
  journal->WriteAt(j.ProgressOffset(next.seq % 2), record.data(), record.size());
  journal->Sync();
  return next;
}

// A step whose records may land where others still wait to be moved: they are made safe in
// a bounce area of the journal first, then written to the table.
Progress BounceStep(OsFile* table, OsFile* journal, const Journal& j, const Progress& at,
                    const LargeBlock& block) {
  const PackPlan& plan = j.plan;
  const uint64_t area = j.BounceOffset((at.seq + 1) % 2);
  uint64_t to = area + kRecordSlot;
  uint32_t crc = 0;
  uint32_t r_end = at.r;
  const uint32_t count = StreamLive(table, plan, at.r, j.bounce_records, block, &r_end,
                                    [&](const char* data, uint32_t n) {
                                      const size_t bytes = size_t(n) * plan.record_length;
                                      WriteAhead(journal, to, data, bytes);
                                      crc = Crc32(data, bytes, crc);
                                      to += bytes;
                                    });
  Progress from = at;
  from.seq = at.seq + 1;
  const std::string head = EncodeBounceHead(j, from, r_end, count, crc);
  journal->WriteAt(area, head.data(), head.size());
  journal->Sync();
  ReplayBounce(journal, area, count, table, plan, at.w, block);
  table->Sync();
  return Progress{at.seq + 1, at.w + count, r_end};
}

// Moves the live records down over the deleted ones, step by step from `at`, each step
// recorded in the journal; returns where the last step ended.
Progress MoveRecords(OsFile* table, OsFile* journal, const Journal& j, Progress at) {
  const PackPlan& plan = j.plan;
  const uint32_t len = plan.record_length;
  const uint32_t direct_limit = static_cast<uint32_t>(
      std::max<size_t>(j.bounce_records, std::max<size_t>(1, kMaxDirectBytes / len)));
  LargeBlock block = LargeBlock::Take(std::max<size_t>(kReadBlock, len));
  while (at.r < plan.record_count) {
    // Room that the deleted records left takes the next records directly when it is large
    // enough to be worth a step of its own; otherwise they go through the journal.
    const uint32_t room = at.r - at.w;
    if (room > 0 && uint64_t(room) * len >= direct_bytes) {
      at = DirectStep(table, journal, j, at, std::min(room, direct_limit), block);
    } else {
      at = BounceStep(table, journal, j, at, block);
    }
  }
  return at;
}

void CompletePack(OsFile* table, const std::string& table_path, bool index_whole) {
  const std::string journal_path = JournalPathOf(table_path);
  {
    auto journal = OpenUnlocked(journal_path, OsFile::Mode::kReadWrite, nullptr);
    Journal j;
    if (!ReadJournal(journal.get(), &j)) {
      Fail(kErrIo, "the pack journal " + journal_path + " cannot be read back.");
    }
    const PackPlan& plan = j.plan;
    const uint32_t len = plan.record_length;

    Bounce bounce;
    Progress at = LatestStep(journal.get(), j, &bounce);
    if (!index_whole && !JournalFitsTable(table, plan, at.seq != 0)) {
      Fail(kErrTableDamaged, table_path + " does not match its pack journal " + journal_path +
                                 ", which must be from another state of the table; move the " +
                                 "journal away to open the table.");
    }
    if (bounce.found) {
      // A step whose records were safe in the journal: they go to the table (again).
      ReplayBounce(journal.get(), bounce.area, bounce.count, table, plan, at.w,
                   LargeBlock::Take(kReadBlock));
      table->Sync();
      at.w += bounce.count;
      at.r = bounce.r_end;
    }

    at = MoveRecords(table, journal.get(), j, at);
    if (at.w != plan.live_count) {
      Fail(kErrTableDamaged, table_path + " changed while it was being packed.");
    }
    ApplyIndexAction(table, table_path, plan, index_whole);
    table->WriteAt(0, plan.packed_header.data(), plan.packed_header.size());
    table->Truncate(plan.header_size + uint64_t(plan.live_count) * len);
    table->Sync();
  }
  if (!RemoveFileIfPresent(journal_path)) {
    Fail(kErrIo, "removing the pack journal " + journal_path);
  }
  SyncFolderOf(journal_path);
}

void RecoverPack(OsFile* table, const std::string& table_path) {
  const std::string journal_path = JournalPathOf(table_path);
  bool missing = false;
  bool committed = false;
  {
    auto journal = OpenUnlocked(journal_path, OsFile::Mode::kRead, &missing);
    if (missing) return;
    Journal j;
    committed = ReadJournal(journal.get(), &j);
  }
  if (committed) {
    CompletePack(table, table_path, false);
    return;
  }
  // The pack never reached its commit point: the table and index file are untouched.
  RemoveFileIfPresent(PackedIndexPathOf(table_path));
  if (!RemoveFileIfPresent(journal_path)) {
    Fail(kErrIo, "removing the pack journal " + journal_path);
  }
  SyncFolderOf(journal_path);
}

}  // namespace kx::engine
