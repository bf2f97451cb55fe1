#include "tests/reliability/reliability_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "engine/error_codes.h"
#include "engine/faulty_file.h"
#include "engine/os_file.h"
#include "engine/table_file.h"
#include "engine/verify.h"
#include "tests/support/child_process.h"

namespace kx::reliability {
namespace fs = std::filesystem;

void CopyFolder(const std::string& from, const std::string& to) {
  fs::create_directories(to);
  for (const auto& entry : fs::directory_iterator(to)) fs::remove_all(entry.path());
  for (const auto& entry : fs::directory_iterator(from)) {
    if (entry.is_regular_file())
      fs::copy_file(entry.path(), fs::path(to) / entry.path().filename());
  }
}

std::map<std::string, std::vector<std::string>> LiveRecords(const std::string& folder) {
  std::map<std::string, std::vector<std::string>> tables;
  // Listed and opened through the engine's own calls, which take the folder as the program
  // gives it (ANSI text on Windows).
  for (const std::string& name : engine::ListFiles(folder)) {
    if (name.size() < 4 || name.substr(name.size() - 4) != ".adt") continue;
    std::vector<std::string>& images = tables[name];
    try {
      auto table = engine::TableFile::Open(folder + engine::PathSeparator() + name,
                                           engine::OpenMode::kReadOnly);
      uint32_t length = table->RecordLength();
      table->ForEachRecord([&](uint32_t, bool deleted, const char* image) {
        if (!deleted) images.emplace_back(image, length);
        return true;
      });
    } catch (const engine::EngineError& error) {
      images.assign(1, "cannot open: " + error.Message());
    }
  }
  return tables;
}

RecordDiff CompareRecords(const std::map<std::string, std::vector<std::string>>& before,
                          const std::map<std::string, std::vector<std::string>>& after) {
  RecordDiff diff;
  std::map<std::string, std::vector<std::string>> names;
  for (const auto& [name, records] : before) names[name];
  for (const auto& [name, records] : after) names[name];
  for (const auto& [name, unused] : names) {
    std::vector<std::string> a, b;
    if (auto it = before.find(name); it != before.end()) a = it->second;
    if (auto it = after.find(name); it != after.end()) b = it->second;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    std::vector<std::string> only_a, only_b;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(only_a));
    std::set_difference(b.begin(), b.end(), a.begin(), a.end(), std::back_inserter(only_b));
    diff.lost += only_a.size();
    diff.extra += only_b.size();
  }
  return diff;
}

std::string LoopTally::ToString() const {
  std::ostringstream out;
  out << calls << " file calls; " << failed_calls << " runs with a failed call, " << process_deaths
      << " process deaths, " << power_cuts << " power cuts; records lost " << records_lost
      << ", records added " << records_extra << "; success reported after a tolerable failure "
      << success_after_fault;
  return out.str();
}

namespace {

enum class Stop { kFailedCall, kProcessDeath, kPowerCut };

// What one run under a fault did.
struct FaultedRun {
  bool injected = false;          // the fault was placed (N was not past the last call)
  bool reported_success = false;  // the operation said it succeeded
  bool must_report = false;       // the failed call was one whose failure must be reported
  std::string what;               // the fault, for the test's messages
};

FaultedRun RunUnderFault(const FaultLoop& loop, uint64_t n, Stop stop,
                         engine::InjectedError error) {
  FaultedRun run;
  engine::FaultyFileLayer layer;
  layer.WatchFolder(loop.work);
  layer.SetDiskFlushes(false);
  if (stop == Stop::kPowerCut) {
    layer.CutPowerAt(n);
  } else if (stop == Stop::kProcessDeath) {
    layer.DieAt(n);
  } else {
    layer.FailCall(n, error);
  }
  run.reported_success = loop.operation(loop.work);
  const std::string at = " at call " + std::to_string(n);
  if (stop == Stop::kFailedCall) {
    run.injected = layer.Failed();
    run.must_report = layer.FailureMustBeReported();
    run.what = std::string(engine::InjectedErrorName(error)) + at + " (" + layer.FailedCall() + ")";
    return run;
  }
  // The process is gone: what it would have reported does not count.
  run.injected = layer.Stopped();
  if (stop == Stop::kPowerCut) layer.RestoreDurableState();
  run.what = (stop == Stop::kPowerCut ? "power cut" : "process death") + at;
  return run;
}

// Nothing live lost or added and, when `verify`, every index verifying; the differences go
// to the tally.
void CheckFolder(const FaultLoop& loop, const std::map<std::string, std::vector<std::string>>& live,
                 bool verify, LoopTally* tally) {
  RecordDiff diff = CompareRecords(live, LiveRecords(loop.work));
  if (tally != nullptr) {
    tally->records_lost += diff.lost;
    tally->records_extra += diff.extra;
  }
  EXPECT_EQ(diff.lost, 0u);
  EXPECT_EQ(diff.extra, 0u);
  if (!verify) return;
  engine::VerifyReport report = engine::VerifyFolder(loop.work);
  EXPECT_TRUE(report.Ok()) << report.ToString();
}

// What the folder held before: the live records, and whether every index verified (damage
// that was there before a failed run may still be there after it).
struct Before {
  std::map<std::string, std::vector<std::string>> live;
  bool indexes_sound = false;
};

// One run of the operation under a fault, then the checks. Returns false once N lies past
// the last call, so that nothing was injected.
bool RunOnce(const FaultLoop& loop, const Before& before, uint64_t n, Stop stop,
             engine::InjectedError error, LoopTally* tally) {
  CopyFolder(loop.pristine, loop.work);
  const FaultedRun run = RunUnderFault(loop, n, stop, error);
  if (!run.injected) return false;
  (stop == Stop::kPowerCut       ? tally->power_cuts
   : stop == Stop::kProcessDeath ? tally->process_deaths
                                 : tally->failed_calls)++;
  SCOPED_TRACE(run.what);
  if (stop != Stop::kFailedCall) {
  } else if (run.must_report) {
    EXPECT_FALSE(run.reported_success) << "the failure was reported as success";
  } else if (run.reported_success) {
    ++tally->success_after_fault;
    EXPECT_EQ(loop.complete(loop.work), "");
  }
  CheckFolder(loop, before.live, before.indexes_sound, tally);
  {
    engine::FaultyFileLayer quick;  // no fault; only the disk flushes left out
    quick.SetDiskFlushes(false);
    EXPECT_TRUE(loop.operation(loop.work)) << "the second run failed";
  }
  EXPECT_EQ(loop.complete(loop.work), "");
  CheckFolder(loop, before.live, true, nullptr);
  return true;
}

}  // namespace

LoopTally RunFaultLoop(const FaultLoop& loop, bool rotate_errors) {
  LoopTally tally;
  // The checks between the runs need no flushes to the disk either.
  engine::FaultyFileLayer quick;
  quick.SetDiskFlushes(false);
  Before before;
  before.live = LiveRecords(loop.pristine);
  before.indexes_sound = engine::VerifyFolder(loop.pristine).Ok();
  {
    CopyFolder(loop.pristine, loop.work);
    engine::FaultyFileLayer layer;
    layer.WatchFolder(loop.work);
    layer.SetDiskFlushes(false);
    bool ok = loop.operation(loop.work);
    tally.calls = layer.Calls();
    EXPECT_TRUE(ok) << "the undisturbed run failed";
    EXPECT_EQ(loop.complete(loop.work), "");
    if (!ok) return tally;
  }
  const engine::InjectedError kinds[] = {engine::InjectedError::kDiskFull,
                                         engine::InjectedError::kAccessDenied,
                                         engine::InjectedError::kIoError};
  for (uint64_t n = 1; n <= tally.calls;
       n = n < tally.calls && n + loop.stride > tally.calls ? tally.calls : n + loop.stride) {
    if (rotate_errors) {
      RunOnce(loop, before, n, Stop::kFailedCall, kinds[n % 3], &tally);
    } else {
      for (auto kind : kinds) RunOnce(loop, before, n, Stop::kFailedCall, kind, &tally);
    }
    RunOnce(loop, before, n, Stop::kProcessDeath, engine::InjectedError::kIoError, &tally);
    RunOnce(loop, before, n, Stop::kPowerCut, engine::InjectedError::kIoError, &tally);
    if (::testing::Test::HasFailure()) break;  // one broken call is enough to look at
  }
  return tally;
}

#ifndef _WIN32
namespace {
std::string FindRunuser() {
  for (const char* path : {"/usr/sbin/runuser", "/sbin/runuser", "/usr/bin/runuser"}) {
    if (access(path, X_OK) == 0) return path;
  }
  return "";
}
}  // namespace

bool UnprivilegedRun::Passed() const {
  return available && exit_code == 0 && output.find("[  PASSED  ] 1 test.") != std::string::npos &&
         output.find("[  SKIPPED ]") == std::string::npos;
}

UnprivilegedRun RunTestAsNobody(const std::string& test_full_name) {
  UnprivilegedRun run;
  const std::string runuser = FindRunuser();
  const std::string self = kx::testing::ChildProcess::SelfPath();
  if (runuser.empty() || self.empty()) return run;
  try {
    kx::testing::ChildProcess child({runuser, "-u", "nobody", "--", self,
                                     "--gtest_filter=" + test_full_name, "--gtest_brief=0"},
                                    kx::testing::ChildProcess::Errors::kWithOutput);
    run.available = true;
    run.output = child.ReadToEnd();
    run.exit_code = child.Wait();
  } catch (const std::system_error&) {
  }
  return run;
}
#endif

}  // namespace kx::reliability
