// Writes the seed inputs committed under fuzz/corpus/ into the folder given as the argument
// (run by hand after a format change): sound table and index files made by the engine, CSV
// text, ini contents and registry values.
#include <cstdio>
#include <filesystem>
#include <functional>

#include "engine/faulty_file.h"
#include "engine/format.h"
#include "engine/pack_journal.h"
#include "engine/table_file.h"
#include "fuzz/fuzz_util.h"

namespace fs = std::filesystem;

namespace {

// The journal that a pack of the packable table, in small steps, leaves when its process
// dies at the first file call at which `reached` holds (given the table's bytes before the
// pack); "" when the pack completes first.
std::string JournalOfADeath(const std::string& packable,
                            const std::function<bool(const std::string& before)>& reached) {
  for (uint64_t n = 1;; ++n) {
    kx::fuzz::MakePackableTable(packable);
    const std::string before = kx::fuzz::ReadFile(packable);
    {
      auto t = kx::engine::TableFile::Open(packable, kx::engine::OpenMode::kExclusive);
      kx::engine::SetPackStepSizes(7 * t->RecordLength(), 4 * t->RecordLength());
      kx::engine::FaultyFileLayer layer;
      layer.DieAt(n);
      try {
        t->Pack();
      } catch (const kx::engine::EngineError&) {
      }
      if (!layer.Stopped()) return "";
    }
    if (reached(before)) return kx::fuzz::ReadFile(kx::engine::JournalPathOf(packable));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds <corpus folder>\n");
    return 2;
  }
  const fs::path root = argv[1];
  for (const char* target :
       {"table_file", "index_file", "pack_journal", "kxdata_csv", "ini_values", "registry_value"}) {
    fs::create_directories(root / target);
  }
  const std::string table = kx::fuzz::ScratchFolder() + "/seed.adt";
  kx::fuzz::MakeSmallTable(table);
  kx::fuzz::WriteFile((root / "table_file/small.adt").string(), kx::fuzz::ReadFile(table));
  {
    auto t = kx::engine::TableFile::Open(table, kx::engine::OpenMode::kExclusive);
    t->CreateIndex("BYNAME", "NAME");
    kx::fuzz::WriteFile((root / "index_file/one_tag.adi").string(),
                        kx::fuzz::ReadFile(kx::engine::IndexPathOf(table)));
    t->CreateIndex("BYWHEN", "WHEN;TS;QTY", 512);
    t->CreateIndex("BYNUM", "N;X;OK");
    kx::fuzz::WriteFile((root / "index_file/three_tags.adi").string(),
                        kx::fuzz::ReadFile(kx::engine::IndexPathOf(table)));
    t->Pack();
    kx::fuzz::WriteFile((root / "table_file/packed.adt").string(), kx::fuzz::ReadFile(table));
  }
  // Journals of packs of the fuzz target's own table, in small steps: one that died right
  // after its commit point, and one that died with the records of its first step partly
  // moved.
  const std::string packable = kx::fuzz::ScratchFolder() + "/t.adt";
  const std::string journal = kx::engine::JournalPathOf(packable);
  kx::fuzz::WriteFile((root / "pack_journal/journal-committed.jnl").string(),
                      JournalOfADeath(packable, [&](const std::string&) {
                        return fs::exists(journal) && kx::engine::PackMayBeCommitted(journal);
                      }));
  kx::fuzz::WriteFile((root / "pack_journal/records-partly-moved.jnl").string(),
                      JournalOfADeath(packable, [&](const std::string& before) {
                        return kx::fuzz::ReadFile(packable) != before;
                      }));
  kx::engine::ResetPackStepSizes();
  fs::remove_all(kx::fuzz::ScratchFolder());
  kx::fuzz::WriteFile(
      (root / "kxdata_csv/rows.csv").string(),
      "IITEM,IDESC1,IQTY\r\nA1,\"Spanner, 10 mm\",3\n\"B\"\"2\",,\"multi\r\nline\"\n");
  kx::fuzz::WriteFile((root / "kxdata_csv/empty_fields.csv").string(), ",,\n\n\"\"\n");
  kx::fuzz::WriteFile(
      (root / "ini_values/ads.ini").string(),
      "[Databases]\ndravent=C:\\Data\\Kestovar\nVersion=0x1F\n[Other]\nx=-2147483648\n");
  kx::fuzz::WriteFile((root / "ini_values/numbers.ini").string(), " -0042 \n");
  kx::fuzz::WriteFile((root / "registry_value/text").string(),
                      std::string("\x01", 1) + "C:\\Data" + std::string(1, '\0'));
  kx::fuzz::WriteFile((root / "registry_value/expand").string(), "\x02%USERPROFILE%\\Data");
  kx::fuzz::WriteFile((root / "registry_value/dword").string(),
                      std::string("\x04\x01\x02\x03\x04", 5));
  return 0;
}
