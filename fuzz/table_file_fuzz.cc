// A table file of arbitrary bytes: opening it, reading every record and verifying it must
// fail with an engine error or succeed, never crash or read out of bounds.
#include <cstddef>
#include <cstdint>

#include "engine/table_file.h"
#include "engine/verify.h"
#include "fuzz/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kx::fuzz::SkipDiskFlushes();
  const std::string path = kx::fuzz::ScratchFolder() + "/t.adt";
  kx::fuzz::WriteFile(path, data, size);
  try {
    auto table = kx::engine::TableFile::Open(path, kx::engine::OpenMode::kReadOnly);
    const size_t fields = table->Fields().size();
    table->ForEachRecord([&](uint32_t, bool, const char* image) {
      for (size_t f = 0; f < fields; ++f) (void)table->FieldText(image, f);
      return true;
    });
    for (uint32_t r = 1; r <= table->RecordCount() && r <= 4; ++r) (void)table->RecordValues(r);
    (void)kx::engine::VerifyTable(*table);
  } catch (const kx::engine::EngineError&) {
  }
  return 0;
}
