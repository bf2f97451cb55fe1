#include "engine/test_util.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace kx::engine::testing {

namespace fs = std::filesystem;

std::vector<FieldDef> SampleFields() {
  return {
      {"IITEM", FieldType::kCharacter, 10, 0},
      {"IDESC1", FieldType::kCharacter, 24, 0},
      {"IQTY", FieldType::kNumeric, 10, 2},
      {"IPRICE", FieldType::kDouble, 0, 0},
      {"ICOUNT", FieldType::kInteger, 0, 0},
      {"IDATE", FieldType::kDate, 0, 0},
      {"IACTIVE", FieldType::kLogical, 0, 0},
      {"TRANSACTIONNUMBER_AND_MORE_LONG", FieldType::kTimestamp, 0, 0},
  };
}

std::vector<std::string> SampleValues(uint32_t i) {
  uint32_t k = (i * 7919u) % 97u;  // repeats every 97 records, out of order
  char item[16], desc[32], qty[32], date[16], stamp[48];
  std::snprintf(desc, sizeof desc, "Description %u", k % 11);
  std::snprintf(item, sizeof item, "IT%05u", k);
  std::snprintf(qty, sizeof qty, "%d.%02u", static_cast<int>(k % 13) - 6, k % 100);
  std::snprintf(date, sizeof date, "20%02u-%02u-%02u", k % 30, k % 12 + 1, k % 28 + 1);
  std::snprintf(stamp, sizeof stamp, "2024-01-%02u %02u:%02u:%02u", k % 28 + 1, k % 24, k % 60,
                (k * 7) % 60);
  return {item,
          desc,
          qty,
          std::to_string((static_cast<double>(k) - 50) * 1.25),
          std::to_string(static_cast<int>(k) - 40),
          k % 17 == 0 ? "" : date,
          k % 3 == 0   ? "T"
          : k % 3 == 1 ? "F"
                       : "",
          stamp};
}

void MakeSampleTable(const std::string& path, uint32_t count, uint32_t delete_every) {
  auto table = TableFile::Create(path, SampleFields());
  std::string images(size_t(count) * table->RecordLength(), ' ');
  for (uint32_t i = 1; i <= count; ++i) {
    std::vector<std::string> values = SampleValues(i);
    std::vector<std::string_view> views(values.begin(), values.end());
    table->FormatRecord(views, images.data() + size_t(i - 1) * table->RecordLength());
  }
  table->AppendRecordImages(images.data(), count);
  if (delete_every > 0) {
    for (uint32_t i = delete_every; i <= count; i += delete_every) table->DeleteRecord(i);
  }
}

std::vector<uint32_t> TagRecnos(const TableFile& table, const std::string& tag) {
  std::vector<uint32_t> recnos;
  table.ForEachTagEntry(tag, [&](const char*, uint32_t recno) { recnos.push_back(recno); });
  return recnos;
}

std::vector<std::vector<std::string>> LiveValues(const TableFile& table) {
  std::vector<std::vector<std::string>> rows;
  table.ForEachRecord([&](uint32_t, bool deleted, const char* image) {
    if (!deleted) {
      std::vector<std::string> row;
      for (size_t f = 0; f < table.Fields().size(); ++f) row.push_back(table.FieldText(image, f));
      rows.push_back(row);
    }
    return true;
  });
  return rows;
}

}  // namespace kx::engine::testing
