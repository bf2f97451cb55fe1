// Many rebuild runs in a row in one process, the way the window makes them: one connection
// and one table component for the program's whole life, the run started again and again on
// the same folder. Nothing may pile up from run to run: open file descriptors, memory, or
// anything in the folder.
#include <dirent.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "engine/os_file.h"
#include "engine/table_file.h"
#include "engine/test_util.h"
#include "engine/verify.h"
#include "src/db/ads_connection.h"
#include "src/db/ads_table.h"
#include "src/db/linked_engine.h"
#include "src/rebuild/quiet_view.h"
#include "src/rebuild/rebuild_run.h"
#include "tests/reliability/reliability_util.h"
#include "tools/kxdata/sample_folder.h"

namespace kx::reliability {

#if defined(__SANITIZE_ADDRESS__)
#define KX_ENDURANCE_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KX_ENDURANCE_UNDER_ASAN 1
#endif
#endif
#ifdef KX_ENDURANCE_UNDER_ASAN
// The sanitizer runtime's count of the bytes allocated and not yet freed (declared here:
// GCC ships no header for it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

// Runs before the first measurement: the first run repairs the sample's spoiled tags, and the
// first few let the allocator and the standard library settle their caches.
constexpr int kWarmUpRuns = 5;
#ifdef KX_ENDURANCE_UNDER_ASAN
// A run takes five times as long under AddressSanitizer (200 runs: over a minute and a half);
// its checks of every access need fewer runs, and the leak checker reports at the end.
constexpr int kRuns = 50;
#else
constexpr int kRuns = 200;
#endif
// What the process may gain over the measured runs. Far below what a leak of a table's
// buffers or records would add (a block of 2 KiB per table and run is 3.8 MiB over 195
// runs), far above the allocator's own drift between two measurements (free lists, arenas
// trimmed or not), which stays under 0.1 MiB here.
constexpr long kMemoryGrowthBound = 4L << 20;

struct ProcessFigures {
  int descriptors = 0;
  long resident_bytes = 0;
  long heap_bytes = 0;  // allocated and not yet freed
};

int OpenDescriptors() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(dir);
  return count - 1;  // the descriptor of the listing itself
}

ProcessFigures Measure() {
  ProcessFigures figures;
  figures.descriptors = OpenDescriptors();
  long pages_total = 0, pages_resident = 0;
  std::ifstream statm("/proc/self/statm");
  statm >> pages_total >> pages_resident;
  figures.resident_bytes = pages_resident * sysconf(_SC_PAGESIZE);
#ifdef KX_ENDURANCE_UNDER_ASAN
  figures.heap_bytes = static_cast<long>(__sanitizer_get_current_allocated_bytes());
#else
  figures.heap_bytes = static_cast<long>(mallinfo2().uordblks);
#endif
  return figures;
}

std::string Describe(const ProcessFigures& f) {
  char text[160];
  std::snprintf(text, sizeof text, "%d descriptors, resident %.2f MiB, heap in use %.2f MiB",
                f.descriptors, f.resident_bytes / 1048576.0, f.heap_bytes / 1048576.0);
  return text;
}

// Adds one record to the transaction table and marks it deleted, so that every run's pack
// has a record to remove (the live records stay the same).
void AddDeletedTransaction(const std::string& folder) {
  auto table = engine::TableFile::Open(folder + "/tran.adt", engine::OpenMode::kExclusive);
  const uint32_t recno = table->AppendRecord(table->RecordValues(1));
  table->DeleteRecord(recno);
}

TEST(EnduranceTest, RunAfterRunInOneProcessLeavesNothingBehind) {
  kx::testing::ScratchDir scratch;
  const std::string folder = scratch.Path();
  kxdata::SampleOptions options;
  options.items = 60;
  options.trans = 300;
  options.customers = 12;
  options.vendors = 5;
  options.locations = 2;
  kxdata::MakeSampleFolder(folder, options);
  const auto records_before = LiveRecords(folder);

  // The window's components: made once, used by every run.
  rebuild::QuietView view(folder);
  db::TAdsConnection connection(db::LinkedClientEngine(), "AdsConnection1");
  db::TAdsTable table("AdsTable1");
  rebuild::ConfigureRebuildComponents(connection, table);
  auto run = [&](int number) {
    AddDeletedTransaction(folder);
    const rebuild::RebuildOutcome outcome =
        rebuild::Button1Click(view, rebuild::DefaultFileSystem(), connection, table);
    EXPECT_EQ(outcome, rebuild::RebuildOutcome::kCompleted)
        << "run " << number << ": " << view.Error();
    return outcome == rebuild::RebuildOutcome::kCompleted;
  };

  for (int i = 1; i <= kWarmUpRuns; ++i) ASSERT_TRUE(run(i));
  const ProcessFigures warm = Measure();
  for (int i = kWarmUpRuns + 1; i <= kRuns; ++i) ASSERT_TRUE(run(i));
  const ProcessFigures last = Measure();

  std::printf("[ endurance ] after %d runs: %s\n", kWarmUpRuns, Describe(warm).c_str());
  std::printf("[ endurance ] after %d runs: %s\n", kRuns, Describe(last).c_str());
  EXPECT_EQ(last.descriptors, warm.descriptors);
  EXPECT_LT(last.heap_bytes - warm.heap_bytes, kMemoryGrowthBound);
#ifndef KX_ENDURANCE_UNDER_ASAN
  // Under AddressSanitizer freed blocks wait in a quarantine of up to 256 MiB, which the
  // resident size shows; the heap figure above is the one that counts there.
  EXPECT_LT(last.resident_bytes - warm.resident_bytes, kMemoryGrowthBound);
#endif

  table.SetActive(false);
  engine::VerifyReport report = engine::VerifyFolder(folder);
  EXPECT_TRUE(report.Ok()) << report.ToString();
  const RecordDiff diff = CompareRecords(records_before, LiveRecords(folder));
  EXPECT_EQ(diff.lost, 0u);
  EXPECT_EQ(diff.extra, 0u);
  // The runs leave no file behind them (temporary files, sorted runs, pack copies).
  int files = 0;
  for (const std::string& name : engine::ListFiles(folder)) {
    ++files;
    EXPECT_TRUE(name.size() > 4 &&
                (name.substr(name.size() - 4) == ".adt" || name.substr(name.size() - 4) == ".adi"))
        << name;
  }
  EXPECT_EQ(files, 20);
}

}  // namespace

}  // namespace kx::reliability
