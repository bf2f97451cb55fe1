#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "engine/faulty_file.h"
#include "engine/format.h"
#include "engine/pack_journal.h"
#include "engine/table_file.h"
#include "engine/test_util.h"
#include "engine/verify.h"

namespace kx::engine {
namespace {

using testing::LiveValues;
using testing::ScratchDir;

class PackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("tran.adt");
    testing::MakeSampleTable(path_, 300, 5);
    table_ = TableFile::Open(path_, OpenMode::kExclusive);
    table_->CreateIndex("TITEM", "IITEM", 512);
    table_->CreateIndex("TDESC", "IDESC1;IQTY");
    live_before_ = LiveValues(*table_);
  }
  // Starts again from the same fresh table.
  void Restart() {
    table_.reset();
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
      std::filesystem::remove(entry.path());
    }
    SetUp();
  }
  bool Exists(const std::string& p) const { return std::filesystem::exists(p); }
  // Packs with the process dead from file call `n` on: that call and every later one fail
  // and change nothing. True when the pack reached call n.
  bool PackDyingAt(uint64_t n) {
    FaultyFileLayer layer;
    layer.DieAt(n);
    try {
      table_->Pack();
    } catch (const EngineError&) {
    }
    return layer.Stopped();
  }
  // A fresh table whose pack died at its first call after the journal held the commit: the
  // records not moved yet, the journal committed, the table still held by the dead pack's
  // handle.
  void PackDyingRightAfterItsCommit() {
    for (uint64_t n = 1;; ++n) {
      Restart();
      if (!PackDyingAt(n)) {
        ADD_FAILURE() << "the pack never stopped after its commit";
        return;
      }
      if (Exists(JournalPathOf(path_)) && PackMayBeCommitted(JournalPathOf(path_))) return;
    }
  }
  // Whatever happened, the table opens, holds exactly the live records it held, its tags
  // match them, and no journal remains; an exclusive open also clears a packed index file
  // that a pack left before its commit point (only it may remove files).
  void ExpectIntact(OpenMode mode) {
    table_ = TableFile::Open(path_, mode);
    EXPECT_EQ(LiveValues(*table_), live_before_);
    VerifyReport report = VerifyTable(*table_);
    EXPECT_TRUE(report.Ok()) << report.ToString();
    EXPECT_EQ(table_->Tags().size(), 2u);
    EXPECT_FALSE(Exists(JournalPathOf(path_)));
    if (mode == OpenMode::kExclusive) {
      EXPECT_FALSE(Exists(PackedIndexPathOf(path_)));
    }
  }

  ScratchDir dir_;
  std::string path_;
  std::unique_ptr<TableFile> table_;
  std::vector<std::vector<std::string>> live_before_;
};

TEST_F(PackTest, RemovesDeletedRecordsAndRebuildsEveryTag) {
  table_->Pack();
  EXPECT_EQ(table_->RecordCount(), 240u);
  EXPECT_EQ(LiveValues(*table_), live_before_);
  for (const TagInfo& tag : table_->Tags()) EXPECT_EQ(tag.entry_count, 240u) << tag.name;
  EXPECT_EQ(table_->Tags()[0].page_size, 512u);
  EXPECT_TRUE(VerifyTable(*table_).Ok()) << VerifyTable(*table_).ToString();
  EXPECT_EQ(std::filesystem::file_size(path_),
            kTableFixedHeader + kFieldDescriptorSize * 8 + 240ull * table_->RecordLength());

  // The handle goes on working: a change and a new tag after the pack.
  table_->DeleteRecord(1);
  table_->AppendRecord({"AFTER"});
  table_->Pack();
  EXPECT_EQ(table_->RecordCount(), 240u);
  EXPECT_TRUE(VerifyTable(*table_).Ok()) << VerifyTable(*table_).ToString();
}

// A table large enough that its tags span several blocks of pages, which are renumbered on
// a second thread, and whose records move in steps that stream through several pieces. A
// page found unsound there (its last tag's last page, damaged under the handle) makes the
// pack build the tags from the records instead.
TEST(PackLargeTest, TagsOverManyPagesKeepTheirEntriesWithTheNewNumbers) {
  for (const bool damaged : {false, true}) {
    SCOPED_TRACE(damaged ? "a damaged page" : "sound pages");
    ScratchDir dir;
    const std::string path = dir.File("big.adt");
    testing::MakeSampleTable(path, 200000, 7);
    auto table = TableFile::Open(path, OpenMode::kExclusive);
    table->CreateIndex("TITEM", "IITEM", 512);
    table->CreateIndex("TDESC", "IDESC1;IQTY");
    if (damaged) {
      std::string index = testing::ReadAll(table->IndexPath());
      index[index.size() - 100] ^= 0x55;
      testing::WriteAll(table->IndexPath(), index);
    }
    const auto live = LiveValues(*table);
    const uint32_t len = table->RecordLength();
    SetPackStepSizes(3000 * len, 2000 * len, 700 * len);
    table->Pack();
    ResetPackStepSizes();
    EXPECT_EQ(table->RecordCount(), live.size());
    EXPECT_EQ(LiveValues(*table), live);
    for (const TagInfo& tag : table->Tags()) EXPECT_EQ(tag.entry_count, live.size()) << tag.name;
    EXPECT_GT(table->Tags()[0].page_count, 4096u);  // more than two blocks of 1 MiB
    const VerifyReport report = VerifyTable(*table);
    EXPECT_TRUE(report.Ok()) << report.ToString();
  }
}

TEST_F(PackTest, WithNothingDeletedRebuildsStaleTagsOnly) {
  table_->Pack();
  table_.reset();  // on Windows nobody else can read the file while it is held exclusively
  const std::string packed = testing::ReadAll(path_);
  ASSERT_GT(packed.size(), kTableFixedHeader);
  table_ = TableFile::Open(path_, OpenMode::kExclusive);
  // A tag that no longer matches its records is built again by the next pack.
  table_->AppendRecord({"LATE"});
  table_->CreateIndex("TITEM", "IITEM", 512);
  EXPECT_FALSE(VerifyTable(*table_).Ok());
  table_->Pack();
  EXPECT_EQ(table_->RecordCount(), 241u);
  EXPECT_TRUE(VerifyTable(*table_).Ok()) << VerifyTable(*table_).ToString();
  // The records stayed where they were: the file was not rewritten.
  table_.reset();
  const std::string now = testing::ReadAll(path_);
  EXPECT_EQ(now.substr(kTableFixedHeader, packed.size() - kTableFixedHeader),
            packed.substr(kTableFixedHeader));
  EXPECT_FALSE(Exists(TempIndexPathOf(path_)));
}

TEST_F(PackTest, WithoutIndexFileCreatesNone) {
  ASSERT_TRUE(std::filesystem::remove(table_->IndexPath()));
  table_->Pack();
  EXPECT_FALSE(Exists(table_->IndexPath()));
  EXPECT_EQ(LiveValues(*table_), live_before_);
}

TEST_F(PackTest, UnreadableIndexFileIsRemoved) {
  testing::WriteAll(table_->IndexPath(), "not an index");
  table_->Pack();
  EXPECT_FALSE(Exists(table_->IndexPath()));
  EXPECT_TRUE(VerifyTable(*table_).Ok()) << VerifyTable(*table_).ToString();
}

TEST_F(PackTest, ProcessDeathAtAnyCallKeepsExactlyTheLiveRecords) {
  uint64_t deaths = 0;
  for (uint64_t n = 1;; ++n) {
    SCOPED_TRACE("process death at call " + std::to_string(n));
    Restart();
    const bool died = PackDyingAt(n);
    table_.reset();  // the process is gone, and its lock with it
    // Recovery runs at any open; try both kinds.
    ExpectIntact(n % 2 ? OpenMode::kExclusive : OpenMode::kReadOnly);
    const uint32_t records = table_->RecordCount();
    // 300 before the commit point, 240 after it.
    EXPECT_TRUE(records == 300 || records == 240) << records;
    if (!died) {
      EXPECT_EQ(records, 240u);
      break;
    }
    ++deaths;
    if (::testing::Test::HasFailure()) break;
  }
  EXPECT_GT(deaths, 10u);
}

TEST_F(PackTest, ProcessDeathDuringRecoveryIsRecoveredLater) {
  PackDyingRightAfterItsCommit();
  table_.reset();
  std::map<std::string, std::string> left;  // what the dead pack left
  for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
    left[entry.path().string()] = testing::ReadAll(entry.path().string());
  }
  uint64_t deaths = 0;
  for (uint64_t n = 1;; ++n) {
    SCOPED_TRACE("process death at call " + std::to_string(n) + " of the recovery");
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
      if (left.count(entry.path().string()) == 0) std::filesystem::remove(entry.path());
    }
    for (const auto& [path, bytes] : left) testing::WriteAll(path, bytes);
    bool died = false;
    {
      FaultyFileLayer layer;
      layer.DieAt(n);
      try {
        TableFile::Open(path_, OpenMode::kExclusive);
      } catch (const EngineError&) {
      }
      died = layer.Stopped();
    }
    ExpectIntact(OpenMode::kExclusive);
    EXPECT_EQ(table_->RecordCount(), 240u);
    table_.reset();
    if (!died) break;
    ++deaths;
    if (::testing::Test::HasFailure()) break;
  }
  EXPECT_GT(deaths, 5u);
}

TEST_F(PackTest, JournalWithoutAWholeCommitRecordIsDiscarded) {
  PackDyingRightAfterItsCommit();
  table_.reset();
  const std::string journal = testing::ReadAll(JournalPathOf(path_));
  // Cut inside its first bytes, or inside the packed header it carries, or with a byte of
  // that header changed: the pack never reached its commit point.
  std::string flipped = journal;
  flipped[70] ^= 1;
  for (const std::string& torn :
       {journal.substr(0, 40), journal.substr(0, journal.size() - 10), flipped}) {
    testing::WriteAll(JournalPathOf(path_), torn);
    testing::WriteAll(PackedIndexPathOf(path_), "left from the pack");
    ExpectIntact(OpenMode::kShared);
    EXPECT_EQ(table_->RecordCount(), 300u);
    table_.reset();
  }
}

TEST_F(PackTest, PowerCutAtEveryCallOfAPackInSmallStepsLosesNothing) {
  // Steps of a few records, so that the pack takes many of them: first through the journal
  // while the room left by the deleted records is small, then straight into that room. Each
  // step streams through pieces of 3 records, so a cut can fall between the pieces of a step.
  // Every other recovery runs with the usual sizes: a journal keeps the size of its bounce
  // areas, and one written with other sizes (by an earlier version, say) still recovers.
  const uint32_t len = table_->RecordLength();
  table_.reset();
  const std::string pristine = dir_.File("pristine");
  std::filesystem::create_directory(pristine);
  for (const char* name : {"tran.adt", "tran.adi"}) {
    std::filesystem::copy_file(dir_.File(name), pristine + "/" + name);
  }
  uint64_t cuts = 0;
  for (uint64_t n = 1;; ++n) {
    SCOPED_TRACE("power cut at call " + std::to_string(n));
    for (const char* name : {"tran.adt", "tran.adi"}) {
      testing::WriteAll(dir_.File(name), testing::ReadAll(pristine + "/" + name));
    }
    bool cut = false;
    {
      FaultyFileLayer layer;
      layer.WatchFolder(dir_.Path());
      layer.SetDiskFlushes(false);
      layer.CutPowerAt(n);
      SetPackStepSizes(7 * len, 4 * len, 3 * len);
      try {
        TableFile::Open(path_, OpenMode::kExclusive)->Pack();
      } catch (const EngineError&) {
      }
      cut = layer.PowerIsOff();
      layer.RestoreDurableState();
    }
    if (n % 4 < 2) ResetPackStepSizes();
    ExpectIntact(n % 2 ? OpenMode::kExclusive : OpenMode::kReadOnly);
    table_.reset();
    if (!cut) break;
    ++cuts;
    if (::testing::Test::HasFailure()) break;
  }
  ResetPackStepSizes();
  EXPECT_GT(cuts, 40u);
}

TEST_F(PackTest, AJournalBesideAnotherStateOfTheTableTouchesNothing) {
  table_.reset();
  const std::string before = testing::ReadAll(path_);
  const uint64_t header = kTableFixedHeader + kFieldDescriptorSize * 8;
  const uint32_t length = [&] {
    auto t = TableFile::Open(path_, OpenMode::kReadOnly);
    return t->RecordLength();
  }();
  PackDyingRightAfterItsCommit();
  table_.reset();
  const std::string journal = testing::ReadAll(JournalPathOf(path_));

  // A table put back from a backup beside the journal: one of another length (another
  // header), and one with the same header whose fifth record, deleted when the journal was
  // written, is live again.
  const std::string other_path = dir_.File("other.adt");
  testing::MakeSampleTable(other_path, 301, 5);
  std::string undeleted = before;
  undeleted[header + 4 * length] = ' ';
  for (const std::string& table : {testing::ReadAll(other_path), undeleted}) {
    testing::WriteAll(path_, table);
    testing::WriteAll(JournalPathOf(path_), journal);
    try {
      TableFile::Open(path_, OpenMode::kExclusive);
      ADD_FAILURE() << "opened";
    } catch (const EngineError& e) {
      EXPECT_EQ(e.Code(), kErrTableDamaged);
      EXPECT_NE(e.Message().find("tran.adt.jnl"), std::string::npos) << e.Message();
    }
    EXPECT_EQ(testing::ReadAll(path_), table);
    EXPECT_EQ(testing::ReadAll(JournalPathOf(path_)), journal);
  }
  // With the table it belongs to, the journal completes the pack.
  testing::WriteAll(path_, before);
  ExpectIntact(OpenMode::kExclusive);
  EXPECT_EQ(table_->RecordCount(), 240u);
}

TEST_F(PackTest, TableInUseCannotBeRecoveredByAnotherOpen) {
  PackDyingRightAfterItsCommit();
  // This process still holds the table: any other open is refused, also the one that
  // would recover.
  try {
    TableFile::Open(path_, OpenMode::kReadOnly);
    ADD_FAILURE() << "opened";
  } catch (const EngineError& e) {
    EXPECT_EQ(e.Code(), kErrTableInUse);
  }
  table_.reset();
  ExpectIntact(OpenMode::kReadOnly);
}

}  // namespace
}  // namespace kx::engine
