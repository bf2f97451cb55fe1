// Records whose stored values no program of ours writes (as a damaged file holds them) are
// read as text and reported by verification, without overflowing the date arithmetic.
#include <gtest/gtest.h>

#include <climits>

#include "engine/format.h"
#include "engine/table_file.h"
#include "engine/test_util.h"
#include "engine/verify.h"

namespace kx::reliability {

namespace {
using engine::FieldType;
using engine::TableFile;

TEST(DamagedValuesTest, DayNumbersOutsideTheCalendar) {
  kx::testing::ScratchDir dir;
  const std::string path = dir.File("d.adt");
  const int32_t days[] = {INT32_MAX, INT32_MIN, -1, 0x7FFF0000, 1};
  {
    auto table = TableFile::Create(
        path, {{"WHEN", FieldType::kDate, 0, 0}, {"TS", FieldType::kTimestamp, 0, 0}});
    for (size_t i = 0; i < std::size(days); ++i) table->AppendRecord({"", ""});
  }
  // Write the raw day numbers into the records: the date, and the day of the timestamp.
  std::string bytes = engine::testing::ReadAll(path);
  auto table = TableFile::Open(path, engine::OpenMode::kReadOnly);
  const uint32_t header =
      static_cast<uint32_t>(bytes.size() - table->RecordCount() * table->RecordLength());
  for (size_t i = 0; i < std::size(days); ++i) {
    char* record = bytes.data() + header + i * table->RecordLength();
    engine::PutU32(record + table->Fields()[0].offset, static_cast<uint32_t>(days[i]));
    engine::PutU32(record + table->Fields()[1].offset, static_cast<uint32_t>(days[i]));
  }
  table.reset();
  engine::testing::WriteAll(path, bytes);

  table = TableFile::Open(path, engine::OpenMode::kReadOnly);
  for (uint32_t r = 1; r <= table->RecordCount(); ++r) {
    std::vector<std::string> values = table->RecordValues(r);
    EXPECT_FALSE(values[0].empty()) << "record " << r;
  }
  engine::VerifyReport report = engine::VerifyTable(*table);
  // Each record is reported once, at its first field (day 1 is 1 January 4713 BC, outside
  // years 1 to 9999, so every record is out of range). The overflow itself is caught by
  // the sanitizer build.
  ASSERT_EQ(report.problems.size(), std::size(days)) << report.ToString();
  for (const auto& problem : report.problems) {
    EXPECT_NE(problem.message.find("holds no valid date"), std::string::npos) << problem.message;
  }
}

}  // namespace

}  // namespace kx::reliability
