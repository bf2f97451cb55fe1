// The rebuild run with a clock on every step: the same Button1Click as the window's, driven
// through an engine and a file system that note when each step of a table begins.
#pragma once

#include <string>
#include <vector>

namespace kx::bench {

struct StepTime {
  std::string name;  // "open", "delete", a tag name, "pack", "close"
  double seconds = 0;
};

struct TableTiming {
  std::string table;            // the table name passed to the engine, e.g. "tran.adt"
  std::vector<StepTime> steps;  // in run order; they add up to the table's span
  double Seconds() const;
  double StepSeconds(const std::string& name) const;  // 0 when the table has no such step
  double TagSeconds() const;  // every step that is neither open, delete, pack nor close
};

struct RebuildTiming {
  bool completed = false;
  std::string error;           // what stopped the run, when it did not complete
  double connect_seconds = 0;  // from the click to the first table (folder test, connect)
  double total_seconds = 0;    // the whole click
  std::vector<TableTiming> tables;
};

// Runs the rebuild of `folder` through the linked engine with every step timed.
RebuildTiming TimedRebuild(const std::string& folder);

}  // namespace kx::bench
