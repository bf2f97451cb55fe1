// Helpers of the reliability tests: folder copies, the live records of every table in a
// folder, and a loop that repeats an operation with a fault at every file call in turn.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kx::reliability {

// Replaces the files of `to` with copies of those of `from` (files only, no subfolders).
void CopyFolder(const std::string& from, const std::string& to);

// The live record images (deleted mark included) of every .adt file of a folder, by file
// name, in record order. A table that cannot be opened maps to one entry naming the error.
std::map<std::string, std::vector<std::string>> LiveRecords(const std::string& folder);

// Records of `before` missing from `after`, and records of `after` beyond those of `before`
// (duplicates or strangers), counted over all tables as multisets.
struct RecordDiff {
  uint64_t lost = 0;
  uint64_t extra = 0;
};
RecordDiff CompareRecords(const std::map<std::string, std::vector<std::string>>& before,
                          const std::map<std::string, std::vector<std::string>>& after);

// What a fault loop tried and found.
struct LoopTally {
  uint64_t calls = 0;           // file calls of one undisturbed run of the operation
  uint64_t failed_calls = 0;    // runs with one call failed
  uint64_t process_deaths = 0;  // runs with the process dead from one call on
  uint64_t power_cuts = 0;      // runs with the power cut
  uint64_t records_lost = 0;
  uint64_t records_extra = 0;
  uint64_t success_after_fault = 0;  // runs that reported success although a call failed
  std::string ToString() const;
};

struct FaultLoop {
  // The folder in its state before the operation; the loop works on copies of it.
  std::string pristine;
  // A scratch folder for the copies.
  std::string work;
  // Runs the operation on a folder; true when it reported success, false when it reported
  // a failure. It must not throw.
  std::function<bool(const std::string& folder)> operation;
  // Checks a folder after the operation reported success: everything it promises is there.
  // Returns "" when so, else what is missing.
  std::function<std::string(const std::string& folder)> complete;
  // Every how many calls a fault is placed (1: at every call). A stride above 1 starts at
  // call 1 and still ends with the last call.
  uint64_t stride = 1;
};

// For every call N of one undisturbed run: runs the operation with call N failing (with each
// error kind in turn, or only one chosen by N when `rotate_errors`), with the process dead
// from call N on, and with the power cut at call N. After each run checks (with GoogleTest
// expectations) that a failure was reported, that the folder opens, that no live record was lost or
// added, that every index verifies, and that a second undisturbed run completes.
LoopTally RunFaultLoop(const FaultLoop& loop, bool rotate_errors);

#ifndef _WIN32
// Runs one test of the running test program again in a child process as the unprivileged
// user "nobody" (through runuser), for cases that need file permissions enforced, which they
// are not for root. The child makes its own scratch folders, so everything it works on is
// its own.
struct UnprivilegedRun {
  bool available = false;  // runuser was found and the child could be started
  int exit_code = -1;
  std::string output;  // standard output and error of the child
  // The child ran the test and it passed (not skipped, not failed).
  bool Passed() const;
};
UnprivilegedRun RunTestAsNobody(const std::string& test_full_name);
#endif

}  // namespace kx::reliability
