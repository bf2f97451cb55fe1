// Kills `kxdata index` and `kxdata pack` at random instants and checks that the table comes
// through: it opens, verifies clean, and holds every live record that existed exactly once
// and nothing else.
//
// KXDATA_CRASH_POINTS sets how many kill points to try (60 by default) and
// KXDATA_CRASH_SEED the seed of the delays; a summary line tells what was found.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "engine/table_file.h"
#include "engine/verify.h"
#include "test_support.h"

namespace fs = std::filesystem;
using kxengine::OpenMode;
using kxengine::TableFile;

namespace {

long EnvNumber(const char* name, long fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  return std::strtol(text, nullptr, 10);
}

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
  auto table = TableFile::Create(path, {{"ID", kxengine::FieldType::kInteger, 0, 0},
                                        {"CODE", kxengine::FieldType::kCharacter, 12, 0},
                                        {"NAME", kxengine::FieldType::kCharacter, 30, 0},
                                        {"QTY", kxengine::FieldType::kNumeric, 10, 2},
                                        {"DAY", kxengine::FieldType::kDate, 0, 0}});
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

std::vector<std::string> CommandLine(const Operation& op, const std::string& table) {
  std::vector<std::string> argv = {KXDATA_EXE, op.name, table};
  argv.insert(argv.end(), op.args.begin(), op.args.end());
  return argv;
}

TEST(CrashTest, KilledIndexAndPackLoseNothing) {
  const long points = EnvNumber("KXDATA_CRASH_POINTS", 60);
  const auto seed = static_cast<std::uint32_t>(EnvNumber("KXDATA_CRASH_SEED", 20261210));
  ScratchDir dir;
  const std::string original = dir.File("original.adt");
  MakeTable(original, 6000);
  std::vector<std::string> expected_rows;
  std::vector<std::string> old_tags;
  {
    auto table = TableFile::Open(original, OpenMode::kReadOnly);
    expected_rows = LiveRecords(*table);
    old_tags = TagNames(*table);
  }

  const std::string work = dir.File("work.adt");
  const std::string work_index = dir.File("work.adi");
  auto fresh_copy = [&]() {
    fs::remove(work);
    fs::remove(work_index);
    fs::copy_file(original, work);
    fs::copy_file(dir.File("original.adi"), work_index);
  };
  // Files that an operation left behind in the folder even after the table was opened again
  // (temporary files of an interrupted index build, say); removed before the next point.
  std::vector<std::string> leftovers;
  auto collect_leftovers = [&]() {
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
      const std::string name = entry.path().filename().string();
      if (name == "original.adt" || name == "original.adi" || name == "work.adt" ||
          name == "work.adi") {
        continue;
      }
      leftovers.push_back(name);
      fs::remove_all(entry.path());
    }
  };

  // How long each operation takes when left alone (the median of three runs, as the machine
  // may be busy): the kill delays spread over that span.
  std::vector<double> span_ms;
  for (const Operation& op : kOperations) {
    std::vector<double> runs;
    for (int run = 0; run < 3; ++run) {
      fresh_copy();
      const auto start = std::chrono::steady_clock::now();
      ChildProcess child(CommandLine(op, work));
      ASSERT_EQ(child.Wait(), 0) << op.name;
      runs.push_back(
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count());
      collect_leftovers();
    }
    std::sort(runs.begin(), runs.end());
    span_ms.push_back(runs[1]);
  }

  std::mt19937 random(seed);
  long killed = 0, finished = 0, failures = 0;
  for (long point = 0; point < points; ++point) {
    const std::size_t which = static_cast<std::size_t>(point) % std::size(kOperations);
    const Operation& op = kOperations[which];
    // Up to 20 % past the measured length, so that some runs finish before the kill.
    const double delay_ms =
        std::uniform_real_distribution<double>(0.0, span_ms[which] * 1.2)(random);
    SCOPED_TRACE(std::string("point ") + std::to_string(point) + ": " + op.name + " killed after " +
                 std::to_string(delay_ms) + " ms");
    fresh_copy();
    int code;
    double ran_ms;
    {
      const auto start = std::chrono::steady_clock::now();
      ChildProcess child(CommandLine(op, work));
      std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(delay_ms));
      child.Kill();
      code = child.Wait();
      ran_ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                   .count();
    }
    if (code == -9) {
      ++killed;
    } else {
      ++finished;
      EXPECT_EQ(code, 0);
      // The operation ran faster than measured (the machine was busier then): aim the next
      // delays at the length seen now, so that they keep landing inside the operation.
      span_ms[which] = std::min(span_ms[which], ran_ms);
    }

    const long failures_before = static_cast<long>(
        ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count());
    std::unique_ptr<TableFile> table;
    try {
      table = TableFile::Open(work, OpenMode::kExclusive);
    } catch (const std::exception& e) {
      ADD_FAILURE() << "the table does not open: " << e.what();
      ++failures;
      continue;
    }
    EXPECT_TRUE(LiveRecords(*table) == expected_rows) << "the live records changed";
    const std::vector<std::string> tags = TagNames(*table);
    if (std::string(op.name) == "pack") {
      EXPECT_EQ(tags, old_tags);
      if (code == 0) {
        EXPECT_EQ(table->RecordCount(), expected_rows.size());
      }
    } else if (code == 0 || tags != old_tags) {
      // The new tag is there in full or not at all.
      EXPECT_NE(std::find(tags.begin(), tags.end(), op.args[0]), tags.end());
    }
    table.reset();
    kxengine::VerifyReport report = kxengine::VerifyTable(work);
    EXPECT_TRUE(report.Ok()) << report.ToString();
    collect_leftovers();
    if (::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count() >
        failures_before) {
      ++failures;
    }
  }
  std::printf(
      "crash test: %ld kill points (seed %u): %ld killed during the operation, %ld "
      "finished first, %ld with faults, %zu files left behind; index %.0f ms, tag "
      "replace %.0f ms, pack %.0f ms when left alone\n",
      points, seed, killed, finished, failures, leftovers.size(), span_ms[0], span_ms[1],
      span_ms[2]);
  for (std::size_t i = 0; i < leftovers.size() && i < 10; ++i) {
    std::printf("  left behind: %s\n", leftovers[i].c_str());
  }
  // The delays must have caught the operations in the act, or the test proves nothing.
  EXPECT_GT(killed, points / 2);
}

}  // namespace
