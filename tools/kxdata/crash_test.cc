// Ends `kxdata index` and `kxdata pack` at every file call in turn and checks that the table
// comes through: it opens, verifies clean, and holds every live record that existed exactly
// once and nothing else. The child is a build of the tool whose file layer ends the process
// at a chosen call (SIGKILL natively, TerminateProcess under Windows), so every run lands
// where it is meant to, whatever the machine's load.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>

#include "engine/faulty_file.h"
#include "engine/table_file.h"
#include "engine/verify.h"
#include "tools/kxdata/test_support.h"

namespace kx::kxdata {

namespace fs = std::filesystem;
using engine::OpenMode;
using engine::TableFile;

namespace {

// The live records of a table as sorted text rows, so that two tables compare as multisets.
std::vector<std::string> LiveRecords(const TableFile& table) {
  std::vector<std::string> rows;
  table.ForEachRecord([&](std::uint32_t, bool deleted, const char* image) {
    if (deleted) return true;
    std::string row;
    for (std::size_t i = 0; i < table.Fields().size(); ++i) row += table.FieldText(image, i) + "|";
    rows.push_back(std::move(row));
    return true;
  });
  std::sort(rows.begin(), rows.end());
  return rows;
}

std::vector<std::string> TagNames(const TableFile& table) {
  std::vector<std::string> names;
  for (const auto& tag : table.Tags()) names.push_back(tag.name);
  return names;
}

// A table of `count` records (about one in eight deleted, some duplicate keys) with two tags.
void MakeTable(const std::string& path, std::uint32_t count) {
  auto table = TableFile::Create(path, {{"ID", engine::FieldType::kInteger, 0, 0},
                                        {"CODE", engine::FieldType::kCharacter, 12, 0},
                                        {"NAME", engine::FieldType::kCharacter, 30, 0},
                                        {"QTY", engine::FieldType::kNumeric, 10, 2},
                                        {"DAY", engine::FieldType::kDate, 0, 0}});
  std::mt19937 random(12345);
  std::string images(static_cast<std::size_t>(count) * table->RecordLength(), '\0');
  for (std::uint32_t i = 0; i < count; ++i) {
    char code[24], name[24], qty[24], day[24];
    std::snprintf(code, sizeof code, "K%u", static_cast<unsigned>(random() % (count / 2 + 1)));
    std::snprintf(name, sizeof name, "NAME %u", static_cast<unsigned>(random() % 100000));
    std::snprintf(qty, sizeof qty, "%u.25", static_cast<unsigned>(random() % 10000));
    std::snprintf(day, sizeof day, "2024-0%u-1%u", static_cast<unsigned>(1 + random() % 9),
                  static_cast<unsigned>(random() % 10));
    const std::string id = std::to_string(i + 1);
    table->FormatRecord({id, code, name, qty, day},
                        images.data() + static_cast<std::size_t>(i) * table->RecordLength());
  }
  table->AppendRecordImages(images.data(), count);
  for (std::uint32_t recno = 3; recno <= count; recno += 8) table->DeleteRecord(recno);
  table->CreateIndex("CODE", "CODE");
  table->CreateIndex("NAMEID", "NAME;ID");
}

struct Operation {
  const char* name;
  std::vector<std::string> args;  // after the table path
};

const Operation kOperations[] = {
    {"index", {"BYDAY", "DAY;CODE;ID"}},  // a new tag
    {"index", {"CODE", "CODE;NAME"}},     // replaces a tag
    {"pack", {}},
};

class CrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeTable(original_, 3000);
    auto table = TableFile::Open(original_, OpenMode::kReadOnly);
    expected_rows_ = LiveRecords(*table);
    old_tags_ = TagNames(*table);
  }

  // The table and index file as they were before the operation, and nothing else.
  void FreshCopy() {
    for (const auto& entry : fs::directory_iterator(dir_.Path())) {
      const std::string name = entry.path().filename().string();
      if (name != "original.adt" && name != "original.adi") fs::remove_all(entry.path());
    }
    fs::copy_file(original_, work_);
    fs::copy_file(dir_.File("original.adi"), dir_.File("work.adi"));
  }

  // "index BYDAY DAY;CODE;ID", "pack".
  static std::string Label(const Operation& op) {
    std::string label = op.name;
    for (const std::string& arg : op.args) label += " " + arg;
    return label;
  }

  std::vector<std::string> Arguments(const Operation& op) const {
    std::vector<std::string> args = {op.name, work_};
    args.insert(args.end(), op.args.begin(), op.args.end());
    return args;
  }

  // The file calls of the operation left alone, counted in this process on the same files.
  uint64_t CallsOf(const Operation& op) {
    FreshCopy();
    engine::FaultyFileLayer counter;
    EXPECT_EQ(RunTool(Arguments(op)).code, 0) << op.name;
    return counter.Calls();
  }

  // The operation in a child process that ends at file call `n`; its exit code.
  int RunEndingAt(const Operation& op, uint64_t n) {
    FreshCopy();
    std::vector<std::string> argv = {KXDATA_ENDING_EXE, std::to_string(n)};
    const std::vector<std::string> args = Arguments(op);
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess child(argv);
    return child.Wait();
  }

  // The table opens (finishing or clearing what the ended process left), holds exactly the
  // live records, has the old tags or the new one in full, and verifies.
  void ExpectTableCameThrough(const Operation& op, bool completed) {
    std::unique_ptr<TableFile> table;
    try {
      table = TableFile::Open(work_, OpenMode::kExclusive);
    } catch (const std::exception& e) {
      ADD_FAILURE() << "the table does not open: " << e.what();
      return;
    }
    EXPECT_TRUE(LiveRecords(*table) == expected_rows_) << "the live records changed";
    const std::vector<std::string> tags = TagNames(*table);
    if (std::string(op.name) == "pack") {
      EXPECT_EQ(tags, old_tags_);
      if (completed) {
        EXPECT_EQ(table->RecordCount(), expected_rows_.size());
      }
    } else if (completed || tags != old_tags_) {
      EXPECT_NE(std::find(tags.begin(), tags.end(), op.args[0]), tags.end());
    }
    table.reset();
    engine::VerifyReport report = engine::VerifyTable(work_);
    EXPECT_TRUE(report.Ok()) << report.ToString();
  }

  ScratchDir dir_;
  const std::string original_ = dir_.File("original.adt");
  const std::string work_ = dir_.File("work.adt");
  std::vector<std::string> expected_rows_;
  std::vector<std::string> old_tags_;
};

TEST_F(CrashTest, EndedAtEveryCallOfIndexAndPackLosesNothing) {
  for (const Operation& op : kOperations) {
    const uint64_t calls = CallsOf(op);
    uint64_t ended = 0;
    for (uint64_t n = 1; n <= calls + 1; ++n) {
      SCOPED_TRACE(Label(op) + " ended at call " + std::to_string(n) + " of " +
                   std::to_string(calls));
      const int code = RunEndingAt(op, n);
      if (n <= calls) {
        EXPECT_EQ(code, -9) << "the child did not end at the call";
        ended += code == -9;
      } else {
        EXPECT_EQ(code, 0) << "the child left alone failed";
      }
      ExpectTableCameThrough(op, code == 0);
      if (::testing::Test::HasFailure()) return;
    }
    std::printf("crash test: %s: ended at each of %llu file calls\n", Label(op).c_str(),
                static_cast<unsigned long long>(ended));
    EXPECT_GT(ended, 5u);
  }
}

}  // namespace

}  // namespace kx::kxdata
