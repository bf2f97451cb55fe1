#include "fuzz/fuzz_util.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/faulty_file.h"
#include "engine/format.h"
#include "engine/table_file.h"

namespace kx::fuzz {

void SkipDiskFlushes() {
  static engine::FaultyFileLayer* layer = [] {
    auto* installed = new engine::FaultyFileLayer;  // lives as long as the process
    installed->SetDiskFlushes(false);
    return installed;
  }();
  (void)layer;
}

const std::string& ScratchFolder() {
  static const std::string folder = [] {
    auto path = std::filesystem::temp_directory_path() / ("kxfuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(path);
    return path.string();
  }();
  return folder;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void WriteFile(const std::string& path, const std::string& bytes) {
  WriteFile(path, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void MakeSmallTable(const std::string& path) {
  using engine::FieldType;
  std::filesystem::remove(path);
  std::filesystem::remove(engine::IndexPathOf(path));
  auto table = engine::TableFile::Create(path, {{"NAME", FieldType::kCharacter, 6, 0},
                                                {"QTY", FieldType::kNumeric, 7, 2},
                                                {"WHEN", FieldType::kDate, 0, 0},
                                                {"OK", FieldType::kLogical, 0, 0},
                                                {"N", FieldType::kInteger, 0, 0},
                                                {"X", FieldType::kDouble, 0, 0},
                                                {"TS", FieldType::kTimestamp, 0, 0}});
  const char* names[] = {"pear", "apple", "fig", "", "apple", "kiwi"};
  for (int i = 0; i < 6; ++i) {
    table->AppendRecord({names[i], std::to_string(i * 3 - 5) + ".25", i % 2 ? "2024-02-29" : "",
                         i % 3 ? "T" : "F", std::to_string(100 - i * 40), std::to_string(i * -1.5),
                         i % 2 ? "2001-01-01 10:00:00.500" : ""});
  }
  table->DeleteRecord(3);
}

void MakePackableTable(const std::string& path) {
  using engine::FieldType;
  std::filesystem::remove(path);
  std::filesystem::remove(engine::IndexPathOf(path));
  std::filesystem::remove(engine::JournalPathOf(path));
  auto table = engine::TableFile::Create(
      path, {{"CODE", FieldType::kCharacter, 8, 0}, {"N", FieldType::kInteger, 0, 0}});
  for (int i = 1; i <= 120; ++i) {
    table->AppendRecord({"C" + std::to_string((i * 37) % 50), std::to_string(i)});
  }
  for (uint32_t i = 5; i <= 120; i += 5) table->DeleteRecord(i);
  table->CreateIndex("CODE", "CODE");
  table->CreateIndex("NUM", "N");
}

}  // namespace kx::fuzz
