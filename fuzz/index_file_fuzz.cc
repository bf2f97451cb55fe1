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
  fuzz::SkipDiskFlushes();
  static const std::string path = [] {
    std::string p = fuzz::ScratchFolder() + "/t.adt";
    fuzz::MakeSmallTable(p);
    return p;
  }();
  fuzz::WriteFile(kxengine::IndexPathOf(path), data, size);
  try {
    auto table = kxengine::TableFile::Open(path, kxengine::OpenMode::kExclusive);
    try {
      for (const auto& tag : table->Tags()) {
        table->ForEachTagEntry(tag.name, [](const char*, uint32_t) {});
      }
    } catch (const kxengine::EngineError&) {
    }
    (void)kxengine::VerifyTable(*table);
    table->CreateIndex("FRESH", "NAME;N");
    kxengine::VerifyReport report = kxengine::VerifyTable(*table);
    if (!report.Ok()) {
      std::fprintf(stderr, "after a tag creation: %s\n", report.ToString().c_str());
      std::abort();
    }
  } catch (const kxengine::EngineError&) {
  }
  return 0;
}
