// An index file of arbitrary bytes beside a sound table: reading its tags and entries,
// verifying it and creating a tag (which copies the sound tags of the old file) must fail
// with an engine error or succeed; after a tag creation the index file must verify.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "engine/format.h"
#include "engine/table_file.h"
#include "engine/verify.h"
#include "fuzz/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kx::fuzz::SkipDiskFlushes();
  static const std::string path = [] {
    std::string p = kx::fuzz::ScratchFolder() + "/t.adt";
    kx::fuzz::MakeSmallTable(p);
    return p;
  }();
  kx::fuzz::WriteFile(kx::engine::IndexPathOf(path), data, size);
  try {
    auto table = kx::engine::TableFile::Open(path, kx::engine::OpenMode::kExclusive);
    try {
      for (const auto& tag : table->Tags()) {
        table->ForEachTagEntry(tag.name, [](const char*, uint32_t) {});
      }
    } catch (const kx::engine::EngineError&) {
    }
    (void)kx::engine::VerifyTable(*table);
    table->CreateIndex("FRESH", "NAME;N");
    kx::engine::VerifyReport report = kx::engine::VerifyTable(*table);
    if (!report.Ok()) {
      std::fprintf(stderr, "after a tag creation: %s\n", report.ToString().c_str());
      std::abort();
    }
  } catch (const kx::engine::EngineError&) {
  }
  return 0;
}
