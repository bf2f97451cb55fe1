#include "engine/verify.h"

#include <gtest/gtest.h>

#include "engine/format.h"
#include "engine/table_file.h"
#include "engine/test_util.h"

namespace kx::engine {
namespace {

using testing::ReadAll;
using testing::ScratchDir;
using testing::WriteAll;

bool Mentions(const VerifyReport& report, const std::string& text) {
  for (const VerifyProblem& p : report.problems) {
    if (p.message.find(text) != std::string::npos) return true;
  }
  return false;
}

class VerifyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("item.adt");
    testing::MakeSampleTable(path_, 60, 4);
    auto table = TableFile::Open(path_, OpenMode::kExclusive);
    table->CreateIndex("IITEM", "IITEM", 512);
    table->CreateIndex("IDATE", "IDATE;IDESC1", 512);
    index_ = table->IndexPath();
    record_length_ = table->RecordLength();
  }
  uint64_t RecordOffset(uint32_t recno) const {
    return kTableFixedHeader + kFieldDescriptorSize * 8 + uint64_t(recno - 1) * record_length_;
  }

  ScratchDir dir_;
  std::string path_, index_;
  uint32_t record_length_ = 0;
};

TEST_F(VerifyTest, SoundFolder) {
  testing::MakeSampleTable(dir_.File("abar.adt"), 5, 0);
  VerifyReport report = VerifyFolder(dir_.Path());
  EXPECT_TRUE(report.Ok()) << report.ToString();
  EXPECT_EQ(report.tables.size(), 2u);
  EXPECT_EQ(report.ToString(), "OK: 2 table(s)\n");
}

TEST_F(VerifyTest, EveryByteFlipOfTheIndexFileIsReported) {
  const std::string sound = ReadAll(index_);
  ASSERT_GT(sound.size(), IndexDataStart(TagCapacityFor(2)) + 512u);
  {
    // The table stays open: only the index file changes from one flip to the next.
    auto table = TableFile::Open(path_, OpenMode::kReadOnly);
    for (size_t i = 0; i < sound.size(); ++i) {
      std::string bytes = sound;
      bytes[i] = static_cast<char>(bytes[i] ^ (1 << (i % 8)));
      WriteAll(index_, bytes);
      if (VerifyTable(*table).Ok()) ADD_FAILURE() << "a flip at byte " << i << " went unnoticed";
    }
  }
  // Bytes after the last page belong to no tag (a tag creation cut short leaves them); a
  // file that ends early is damaged.
  WriteAll(index_, sound + "x");
  EXPECT_TRUE(VerifyTable(path_).Ok()) << VerifyTable(path_).ToString();
  WriteAll(index_, sound.substr(0, sound.size() - 1));
  EXPECT_TRUE(Mentions(VerifyTable(path_), "bytes, its header describes"));
  WriteAll(index_, sound);
  EXPECT_TRUE(VerifyTable(path_).Ok());
}

TEST_F(VerifyTest, TagsOutOfStepWithTheRecordsAreNamedPrecisely) {
  {
    auto table = TableFile::Open(path_, OpenMode::kExclusive);
    table->DeleteRecord(1);               // still in both tags
    table->AppendRecord({"ZZZ", "new"});  // in neither: record 61
  }
  // A key changed behind the index's back: record 2's item code.
  std::string bytes = ReadAll(path_);
  bytes[RecordOffset(2) + 1] = '#';
  WriteAll(path_, bytes);

  VerifyReport report = VerifyTable(path_);
  EXPECT_TRUE(Mentions(report, "tag IITEM: entry")) << report.ToString();
  EXPECT_TRUE(Mentions(report, "names record 1, which is deleted")) << report.ToString();
  EXPECT_TRUE(Mentions(report, "live record 61 has no entry")) << report.ToString();
  EXPECT_TRUE(Mentions(report, "names record 2 with a wrong key")) << report.ToString();
  EXPECT_TRUE(Mentions(report, "live record 2 has no entry")) << report.ToString();
}

TEST_F(VerifyTest, TableProblems) {
  std::string sound = ReadAll(path_);
  struct Case {
    const char* what;
    std::string bytes;
    const char* says;
  };
  std::string bad_mark = sound;
  bad_mark[RecordOffset(3)] = 'X';
  std::string bad_date = sound;
  for (int i = 0; i < 4; ++i) bad_date[RecordOffset(5) + 1 + 10 + 24 + 10 + 8 + 4 + i] = '\xff';
  std::string bad_header = sound;
  bad_header[30] ^= 4;
  const Case cases[] = {
      {"deleted mark", bad_mark, "record 3: the deleted mark"},
      {"date", bad_date, "record 5: field IDATE holds no valid date"},
      {"trailing bytes", sound + "abc", "3 bytes follow the last record"},
      {"header", bad_header, "checksum"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteAll(path_, c.bytes);
    VerifyReport report = VerifyTable(path_);
    EXPECT_TRUE(Mentions(report, c.says)) << report.ToString();
  }
}

TEST_F(VerifyTest, FolderProblems) {
  WriteAll(dir_.File("orphan.adi"), "x");
  VerifyReport report = VerifyFolder(dir_.Path());
  ASSERT_EQ(report.problems.size(), 1u) << report.ToString();
  EXPECT_EQ(report.problems[0].message, "an index file without its table");
  EXPECT_FALSE(VerifyFolder(dir_.File("nowhere")).Ok());
  EXPECT_TRUE(Mentions(VerifyTable(dir_.File("missing.adt")), "does not exist"));
}

}  // namespace
}  // namespace kx::engine
