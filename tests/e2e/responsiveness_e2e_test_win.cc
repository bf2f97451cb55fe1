// A long run through the real window: the window's thread keeps answering messages while the
// engine works, the run's progress arrives in order, and a close request given during the run
// is carried out only after the run has finished every table.
#include <windows.h>
// The common controls need the base Windows types first.
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "engine/verify.h"
#include "src/rebuild/catalogue.h"
#include "tests/e2e/app_fixture_win.h"
#include "tools/kxdata/sample_folder.h"

namespace kx::e2e {

using namespace kx::app;
using Clock = std::chrono::steady_clock;

namespace {

// Asks the window for an answer every 250 ms, as Windows does before it calls a window hung.
class HangProbe {
 public:
  explicit HangProbe(HWND window) : window_(window), thread_([this] { Loop(); }) {}
  ~HangProbe() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  int sent = 0;
  int unanswered = 0;
  int reported_hung = 0;
  double slowest_ms = 0;

 private:
  void Loop() {
    while (!stop_ && IsWindow(window_)) {
      const auto start = Clock::now();
      DWORD_PTR result = 0;
      const LRESULT answered =
          SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result);
      const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      // A window destroyed between the test and the send is no hang.
      if (!IsWindow(window_)) break;
      ++sent;
      if (!answered) ++unanswered;
      if (IsHungAppWindow(window_)) ++reported_hung;
      slowest_ms = std::max(slowest_ms, ms);
      std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
  }
  HWND window_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace

class LongRunTest : public AppTest {
 protected:
  // One run of the program on a sample with `trans` transactions, a close asked during it;
  // `run_seconds` is from the click to the program's end.
  void RunWithCloseDuringIt(int trans, double& run_seconds);
};

void LongRunTest::RunWithCloseDuringIt(int trans, double& run_seconds) {
  run_seconds = 0;
  TempFolder data;
  kxdata::SampleOptions options;
  options.trans = trans;
  kxdata::MakeSampleFolder(data.Path(), options);
  ASSERT_NO_FATAL_FAILURE(Launch(RegistryState::Text(data.Path())));
  HWND progress = Control(kIdProgress), rebuild = Control(kIdBtnProcess);
  HWND path = Control(kIdPathFrom);
  const std::string folder_before = WindowText(path);

  HangProbe probe(main_);
  const auto start = Clock::now();
  Click(rebuild);
  std::vector<int> seen;
  bool close_posted = false, typed = false;
  const bool ended = WaitUntil(
      [&] {
        if (program_->HasExited()) return true;
        if (!IsShown(progress)) return false;
        const int position = ProgressPosition(progress);
        if (position < 0) return false;  // no answer: the window has just gone
        if (seen.empty() || seen.back() != position) seen.push_back(position);
        if (!typed && position >= 15) {
          // Input during the run does nothing: typing into the field and pressing Re-Build.
          TypeChars(path, "x");
          Click(rebuild);
          typed = true;
        }
        if (!close_posted && position >= 20 && position < 95) {
          EXPECT_EQ(WindowText(path), folder_before);
          // The end of the session is refused while the tables are being rebuilt.
          DWORD_PTR answer = 1;
          EXPECT_TRUE(SendMessageTimeoutA(main_, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF,
                                          SMTO_ABORTIFHUNG, 1000, &answer));
          EXPECT_EQ(answer, 0u) << "the session may end in the middle of the run";
          PostClose(main_);
          close_posted = true;
        }
        return false;
      },
      std::chrono::milliseconds(300000));
  run_seconds = std::chrono::duration<double>(Clock::now() - start).count();
  probe.Stop();
  ASSERT_TRUE(ended) << "the program did not end after the run";
  ASSERT_TRUE(close_posted) << "the run ended before a close could be asked during it";
  EXPECT_EQ(program_->ExitCode(), 0u);
  std::printf("run with close, %d transactions: %.2f s, %d probes, slowest answer %.0f ms\n", trans,
              run_seconds, probe.sent, probe.slowest_ms);
  EXPECT_GE(probe.sent, 4);
  EXPECT_EQ(probe.unanswered, 0);
  EXPECT_EQ(probe.reported_hung, 0);
  EXPECT_LT(probe.slowest_ms, 1000.0);
  // The first position seen depends on how quickly the first tables go by (position 1 may
  // be gone before the first look); what is seen must only ever rise.
  ASSERT_GE(seen.size(), 2u);
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_LT(seen[i - 1], seen[i]) << "progress went back";
  // The close was carried out after every table: each is rebuilt, closed and verifies, and
  // the settings were saved on the way out.
  const engine::VerifyReport report = engine::VerifyFolder(data.Path());
  EXPECT_TRUE(report.Ok()) << report.ToString();
  for (const rebuild::CatalogueEntry& entry : rebuild::kCatalogue) {
    const std::string index(entry.index_file);
    EXPECT_NE(GetFileAttributesA(data.File(index).c_str()), INVALID_FILE_ATTRIBUTES) << index;
  }
  EXPECT_FALSE(ReadFileText(folder_.File("ads.ini")).empty());
  // The run's record, written by the engine thread before the held close, ends completed.
  const std::string log = ReadFileText(folder_.File("rebuild.log"));
  const size_t last_run = log.rfind("Rebuild run started");
  ASSERT_NE(last_run, std::string::npos) << "no record of the run";
  EXPECT_NE(log.find("Rebuild run completed after", last_run), std::string::npos)
      << log.substr(last_run);
}

TEST_F(LongRunTest, LongRunKeepsTheWindowAnsweringAndHoldsACloseUntilItEnds) {
  // The run must last long enough for Windows to call a blocked window hung; how long a
  // sample takes depends on the machine, so a run found too short is made again on a sample
  // twice as large.
  double run_seconds = 0;
  for (int trans = 3000000; trans <= 12000000; trans *= 2) {
    ASSERT_NO_FATAL_FAILURE(RunWithCloseDuringIt(trans, run_seconds));
    if (run_seconds >= 3.0) break;
    TearDown();
  }
  EXPECT_GE(run_seconds, 3.0) << "no sample was large enough to show a long run";
}

}  // namespace kx::e2e
