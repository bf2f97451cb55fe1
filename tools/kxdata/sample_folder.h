// Makes a sample data folder: the ten tables with realistic records, a few percent of them
// deleted, and index files in the states a rebuild meets in practice (stale, missing or
// damaged tags), unless an intact folder is asked for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kx::kxdata {

struct SampleOptions {
  std::uint32_t items = 2000;   // item records (an item may be stocked at two locations)
  std::uint32_t trans = 12000;  // transactions
  std::uint32_t customers = 300;
  std::uint32_t vendors = 60;
  std::uint32_t locations = 6;  // 1..99
  std::uint64_t seed = 1;
  double deleted_percent = 3.0;  // share of the records marked deleted
  bool intact = false;           // every tag complete and current, nothing damaged
  bool no_index = false;         // tables only, no index files (for benchmarks)
};

struct SampleTableSummary {
  std::string base_name;
  std::uint32_t records = 0;
  std::uint32_t deleted = 0;
  std::string index_state;  // what was done to the index file, e.g. "stale", "missing"
};

struct SampleSummary {
  std::vector<SampleTableSummary> tables;  // in the order item, abar, ..., vend
};

// Creates `dir` when absent; refuses (ToolError) when any of the ten tables exists there.
SampleSummary MakeSampleFolder(const std::string& dir, const SampleOptions& options);

}  // namespace kx::kxdata
