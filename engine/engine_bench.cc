// Measures the engine's heavy operations on a table of transaction-like records:
//   engine_bench [records] [folder]
// Creates the table, then times index creation (in memory and with a small sort budget,
// which forces the external merge), pack, and verification. Not a test: timings are printed.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "engine/table_file.h"
#include "engine/verify.h"

using namespace kx::engine;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Wall time and the process's processor time (the machine may be shared).
template <typename F>
void Time(const char* what, F&& fn) {
  auto start = std::chrono::steady_clock::now();
  std::clock_t cpu = std::clock();
  fn();
  std::printf("%-40s %8.3f s wall %8.3f s cpu\n", what, Seconds(start),
              double(std::clock() - cpu) / CLOCKS_PER_SEC);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t records = argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 1000000;
  std::filesystem::path folder = argc > 2
                                     ? std::filesystem::path(argv[2])
                                     : std::filesystem::temp_directory_path() / "kxengine-bench";
  std::filesystem::create_directories(folder);
  const std::string path = (folder / "tran.adt").string();
  std::filesystem::remove(path);
  std::filesystem::remove((folder / "tran.adi").string());
  try {
    auto table = TableFile::Create(path, {{"TITEM", FieldType::kCharacter, 20, 0},
                                          {"TDATE", FieldType::kDate, 0, 0},
                                          {"TCODE", FieldType::kCharacter, 4, 0},
                                          {"TLOCATION", FieldType::kCharacter, 10, 0},
                                          {"TRANSACTIONNUMBER", FieldType::kInteger, 0, 0},
                                          {"TQTY", FieldType::kNumeric, 12, 3},
                                          {"TMEMO", FieldType::kCharacter, 140, 0}});
    Time("append records", [&] {
      const uint32_t batch = 10000;
      std::string images(size_t(batch) * table->RecordLength(), ' ');
      uint64_t state = 12345;
      for (uint32_t done = 0; done < records;) {
        uint32_t n = std::min(batch, records - done);
        for (uint32_t i = 0; i < n; ++i) {
          state = state * 6364136223846793005ull + 1442695040888963407ull;
          uint32_t r = static_cast<uint32_t>(state >> 33);
          char item[24], date[16], code[8], loc[16], number[16], qty[24];
          std::snprintf(item, sizeof item, "ITEM%07u", r % 200000);
          std::snprintf(date, sizeof date, "20%02u-%02u-%02u", 10 + r % 15, r % 12 + 1, r % 28 + 1);
          std::snprintf(code, sizeof code, "%c%c", 'A' + r % 7, 'A' + r % 3);
          std::snprintf(loc, sizeof loc, "LOC%03u", r % 50);
          std::snprintf(number, sizeof number, "%u", done + i + 1);
          std::snprintf(qty, sizeof qty, "%d.%03u", static_cast<int>(r % 2000) - 1000, r % 1000);
          table->FormatRecord({item, date, code, loc, number, qty, "memo"},
                              images.data() + size_t(i) * table->RecordLength());
          if (r % 25 == 0) images[size_t(i) * table->RecordLength()] = '*';
        }
        table->AppendRecordImages(images.data(), n);
        done += n;
      }
    });
    Time("index TITEM (in memory)", [&] { table->CreateIndex("TITEM", "TITEM"); });
    Time("index TDATE;TCODE;TITEM (in memory)",
         [&] { table->CreateIndex("TDATE", "TDATE;TCODE;TITEM"); });
    Time("index TRANSACTIONNUMBER",
         [&] { table->CreateIndex("TRANSACTIONNUMBER", "TRANSACTIONNUMBER"); });
    SetSortBudget(4 << 20);
    Time("index TITEM (4 MiB budget, merge)", [&] { table->CreateIndex("TITEM", "TITEM"); });
    SetSortBudget(64 << 20);
    Time("pack (3 tags)", [&] { table->Pack(); });
    Time("verify", [&] {
      VerifyReport report = VerifyTable(*table);
      if (!report.Ok()) std::printf("%s", report.ToString().c_str());
    });
    std::printf("records after pack: %u, table %llu bytes\n", table->RecordCount(),
                static_cast<unsigned long long>(std::filesystem::file_size(path)));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "engine_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
