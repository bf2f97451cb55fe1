#include <gtest/gtest.h>

#include <filesystem>

#include "engine/fault_points.h"
#include "engine/faulty_file.h"
#include "engine/format.h"
#include "engine/pack_journal.h"
#include "engine/table_file.h"
#include "engine/test_util.h"
#include "engine/verify.h"

namespace kxengine {
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
  // Whatever happened, the table opens, holds exactly the live records it held, its tags
  // match them, and no pack leftovers remain.
  void ExpectIntact(OpenMode mode) {
    table_ = TableFile::Open(path_, mode);
    EXPECT_EQ(LiveValues(*table_), live_before_);
    VerifyReport report = VerifyTable(*table_);
    EXPECT_TRUE(report.Ok()) << report.ToString();
    EXPECT_EQ(table_->Tags().size(), 2u);
    EXPECT_FALSE(Exists(JournalPathOf(path_)));
    EXPECT_FALSE(Exists(PackedIndexPathOf(path_)));
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

TEST_F(PackTest, StopAtAnyStepKeepsExactlyTheLiveRecords) {
  struct Case {
    const char* point;
    uint32_t records_after;  // 300 before the commit point, 240 after
  };
  const Case cases[] = {
      {"pack:index-built", 300},    {"pack:journal-committed", 240},
      {"pack:index-replaced", 240}, {"pack:records-partly-moved", 240},
      {"pack:records-moved", 240},  {"pack:table-truncated", 240},
  };
  bool exclusive = false;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.point);
    Restart();
    ArmFaultPoint(c.point);
    EXPECT_THROW(table_->Pack(), FaultInjected);
    table_.reset();  // the process "dies": its lock goes
    // Recovery runs at any open; try both kinds.
    exclusive = !exclusive;
    ExpectIntact(exclusive ? OpenMode::kExclusive : OpenMode::kReadOnly);
    EXPECT_EQ(table_->RecordCount(), c.records_after);
  }
}

TEST_F(PackTest, StopDuringRecoveryIsRecoveredLater) {
  ArmFaultPoint("pack:journal-committed");
  EXPECT_THROW(table_->Pack(), FaultInjected);
  table_.reset();
  ArmFaultPoint("pack:records-partly-moved");
  EXPECT_THROW(TableFile::Open(path_, OpenMode::kExclusive), FaultInjected);
  ExpectIntact(OpenMode::kExclusive);
  EXPECT_EQ(table_->RecordCount(), 240u);
}

TEST_F(PackTest, JournalWithoutAWholeCommitRecordIsDiscarded) {
  ArmFaultPoint("pack:journal-committed");
  EXPECT_THROW(table_->Pack(), FaultInjected);
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
  // while the room left by the deleted records is small, then straight into that room.
  const uint32_t len = table_->RecordLength();
  SetPackStepSizes(7 * len, 4 * len);
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
      try {
        TableFile::Open(path_, OpenMode::kExclusive)->Pack();
      } catch (const EngineError&) {
      }
      cut = layer.PowerIsOff();
      layer.RestoreDurableState();
    }
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
  table_ = TableFile::Open(path_, OpenMode::kExclusive);
  ArmFaultPoint("pack:journal-committed");
  EXPECT_THROW(table_->Pack(), FaultInjected);
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
  ArmFaultPoint("pack:journal-committed");
  EXPECT_THROW(table_->Pack(), FaultInjected);
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
}  // namespace kxengine
