// A pack journal of arbitrary bytes beside a table with deleted records and its index file:
// the open that finds it must fail with an engine error and leave the table as it was, or
// succeed with every live record of the table still there, once, and an index file that
// verifies.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/format.h"
#include "engine/table_file.h"
#include "engine/verify.h"
#include "fuzz/fuzz_util.h"

namespace {

std::vector<std::string> LiveRecords(const kx::engine::TableFile& table) {
  std::vector<std::string> rows;
  table.ForEachRecord([&](uint32_t, bool deleted, const char* image) {
    if (!deleted) rows.emplace_back(image, table.RecordLength());
    return true;
  });
  return rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kx::fuzz::SkipDiskFlushes();
  static const std::string path = kx::fuzz::ScratchFolder() + "/t.adt";
  static const std::string index = kx::engine::IndexPathOf(path);
  static std::string table_bytes, index_bytes;
  static std::vector<std::string> live;
  if (table_bytes.empty()) {
    kx::fuzz::MakePackableTable(path);
    table_bytes = kx::fuzz::ReadFile(path);
    index_bytes = kx::fuzz::ReadFile(index);
    live = LiveRecords(*kx::engine::TableFile::Open(path, kx::engine::OpenMode::kReadOnly));
  }
  kx::fuzz::WriteFile(path, table_bytes);
  kx::fuzz::WriteFile(index, index_bytes);
  std::remove(kx::engine::PackedIndexPathOf(path).c_str());
  kx::fuzz::WriteFile(kx::engine::JournalPathOf(path), data, size);
  try {
    auto table = kx::engine::TableFile::Open(path, kx::engine::OpenMode::kExclusive);
    if (LiveRecords(*table) != live) {
      std::fprintf(stderr, "the live records changed\n");
      std::abort();
    }
    kx::engine::VerifyReport report = kx::engine::VerifyTable(*table);
    if (!report.Ok()) {
      std::fprintf(stderr, "after the open: %s\n", report.ToString().c_str());
      std::abort();
    }
  } catch (const kx::engine::EngineError&) {
    if (kx::fuzz::ReadFile(path) != table_bytes) {
      std::fprintf(stderr, "a refused open changed the table\n");
      std::abort();
    }
  }
  return 0;
}
