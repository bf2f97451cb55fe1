#include "reliability_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#endif

#include "common/exception.h"
#include "engine/faulty_file.h"
#include "engine/os_file.h"
#include "engine/table_file.h"
#include "engine/verify.h"

namespace reliability {
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
  for (const std::string& name : kxengine::ListFiles(folder)) {
    if (name.size() < 4 || name.substr(name.size() - 4) != ".adt") continue;
    std::vector<std::string>& images = tables[name];
    try {
      auto table = kxengine::TableFile::Open(folder + kxengine::PathSeparator() + name,
                                             kxengine::OpenMode::kReadOnly);
      uint32_t length = table->RecordLength();
      table->ForEachRecord([&](uint32_t, bool deleted, const char* image) {
        if (!deleted) images.emplace_back(image, length);
        return true;
      });
    } catch (const Exception& error) {
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
  out << calls << " file calls; " << failed_calls << " runs with a failed call, " << power_cuts
      << " power cuts; records lost " << records_lost << ", records added " << records_extra
      << "; success reported after a tolerable failure " << success_after_fault;
  return out.str();
}

namespace {

// One run of the operation under a fault, then the checks. Returns false once N lies past
// the last call, so that nothing was injected.
bool RunOnce(const FaultLoop& loop, const std::map<std::string, std::vector<std::string>>& live,
             uint64_t n, bool power_cut, kxengine::InjectedError error, LoopTally* tally) {
  CopyFolder(loop.pristine, loop.work);
  bool reported_success = false;
  bool injected = false;
  bool must_report = false;
  std::string what;
  {
    kxengine::FaultyFileLayer layer;
    layer.WatchFolder(loop.work);
    layer.SetDiskFlushes(false);
    if (power_cut) {
      layer.CutPowerAt(n);
    } else {
      layer.FailCall(n, error);
    }
    reported_success = loop.operation(loop.work);
    if (power_cut) {
      injected = layer.PowerIsOff();
      layer.RestoreDurableState();
      // The process is gone with the power: what it would have reported does not count.
      what = "power cut at call " + std::to_string(n);
    } else {
      injected = layer.Failed();
      must_report = layer.FailureMustBeReported();
      what = std::string(kxengine::InjectedErrorName(error)) + " at call " + std::to_string(n) +
             " (" + layer.FailedCall() + ")";
    }
  }
  if (!injected) return false;
  (power_cut ? tally->power_cuts : tally->failed_calls)++;
  SCOPED_TRACE(what);

  if (power_cut) {
  } else if (must_report) {
    EXPECT_FALSE(reported_success) << "the failure was reported as success";
  } else if (reported_success) {
    ++tally->success_after_fault;
    EXPECT_EQ(loop.complete(loop.work), "");
  }

  RecordDiff diff = CompareRecords(live, LiveRecords(loop.work));
  tally->records_lost += diff.lost;
  tally->records_extra += diff.extra;
  EXPECT_EQ(diff.lost, 0u);
  EXPECT_EQ(diff.extra, 0u);
  kxengine::VerifyReport report = kxengine::VerifyFolder(loop.work);
  EXPECT_TRUE(report.Ok()) << report.ToString();

  {
    kxengine::FaultyFileLayer quick;  // no fault; only the disk flushes left out
    quick.SetDiskFlushes(false);
    EXPECT_TRUE(loop.operation(loop.work)) << "the second run failed";
  }
  EXPECT_EQ(loop.complete(loop.work), "");
  report = kxengine::VerifyFolder(loop.work);
  EXPECT_TRUE(report.Ok()) << report.ToString();
  diff = CompareRecords(live, LiveRecords(loop.work));
  EXPECT_EQ(diff.lost, 0u);
  EXPECT_EQ(diff.extra, 0u);
  return true;
}

}  // namespace

LoopTally RunFaultLoop(const FaultLoop& loop, bool rotate_errors) {
  LoopTally tally;
  // The checks between the runs need no flushes to the disk either.
  kxengine::FaultyFileLayer quick;
  quick.SetDiskFlushes(false);
  const auto live = LiveRecords(loop.pristine);
  {
    CopyFolder(loop.pristine, loop.work);
    kxengine::FaultyFileLayer layer;
    layer.WatchFolder(loop.work);
    layer.SetDiskFlushes(false);
    bool ok = loop.operation(loop.work);
    tally.calls = layer.Calls();
    EXPECT_TRUE(ok) << "the undisturbed run failed";
    EXPECT_EQ(loop.complete(loop.work), "");
    if (!ok) return tally;
  }
  const kxengine::InjectedError kinds[] = {kxengine::InjectedError::kDiskFull,
                                           kxengine::InjectedError::kAccessDenied,
                                           kxengine::InjectedError::kIoError};
  for (uint64_t n = 1; n <= tally.calls;
       n = n < tally.calls && n + loop.stride > tally.calls ? tally.calls : n + loop.stride) {
    if (rotate_errors) {
      RunOnce(loop, live, n, false, kinds[n % 3], &tally);
    } else {
      for (auto kind : kinds) RunOnce(loop, live, n, false, kind, &tally);
    }
    RunOnce(loop, live, n, true, kxengine::InjectedError::kIoError, &tally);
    if (::testing::Test::HasFailure()) break;  // one broken call is enough to look at
  }
  return tally;
}

#ifndef _WIN32
namespace {
std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

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
  char self[PATH_MAX] = {};
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (runuser.empty() || length <= 0) return run;
  const std::string command = ShellQuoted(runuser) + " -u nobody -- " +
                              ShellQuoted(std::string(self, static_cast<size_t>(length))) + " " +
                              ShellQuoted("--gtest_filter=" + test_full_name) +
                              " --gtest_brief=0 2>&1 </dev/null";
  FILE* child = popen(command.c_str(), "r");
  if (child == nullptr) return run;
  run.available = true;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, child)) > 0) run.output.append(chunk, n);
  const int status = pclose(child);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}
#endif

}  // namespace reliability
