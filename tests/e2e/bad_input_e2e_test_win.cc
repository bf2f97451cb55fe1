// Some of the bad-input matrix (tests/reliability/bad_inputs.h) through the real window: the
// program starts with its registry value naming the spoiled folder, Re-Build is pressed, and
// the user must read what went wrong in the error label or the error box, keep a window that
// still works (a second Re-Build, closing), and find every live record of the folder as it
// was, with every index file verifying.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/os_file.h"
#include "engine/verify.h"
#include "src/rebuild/rebuild_run.h"
#include "tests/e2e/app_fixture_win.h"
#include "tests/reliability/bad_inputs.h"
#include "tests/reliability/reliability_util.h"
#include "tests/support/sample_presets.h"
#include "tools/kxdata/test_support.h"

namespace kx::e2e {

using namespace kx::app;

namespace {

// How a run through the window ended, as the window shows it.
struct RunEnd {
  enum class Kind { kStillRunning, kErrorLabel, kErrorBox, kCompleted } kind = Kind::kStillRunning;
  HWND box = nullptr;
};

bool EndsWithTheLabel(const reliability::BadInputCase& c) {
  return !c.completes && std::string(c.message) == rebuild::kFilesMissingText;
}

class BadInputWindowTest : public AppTest {
 protected:
  RunEnd PressRebuildAndWait() {
    Click(Control(kIdBtnProcess));
    RunEnd end;
    WaitUntil(
        [&] {
          if ((end.box = program_->MessageBoxNow()) != nullptr) {
            end.kind = RunEnd::Kind::kErrorBox;
          } else if (IsShown(Control(kIdLblError))) {
            end.kind = RunEnd::Kind::kErrorLabel;
          } else if (!IsShown(Control(kIdBtnProcess))) {
            end.kind = RunEnd::Kind::kCompleted;
          }
          return end.kind != RunEnd::Kind::kStillRunning;
        },
        std::chrono::milliseconds(60000));
    return end;
  }

  // Checks that the run ended as the case says; for the error box, reads it and presses OK.
  void ExpectEnd(const RunEnd& end, const reliability::BadInputCase& c) {
    if (c.completes) {
      ASSERT_EQ(end.kind, RunEnd::Kind::kCompleted);
      EXPECT_EQ(WindowText(Control(kIdLblProgress)), rebuild::kCompletedText);
      EXPECT_TRUE(IsEnabledWindow(Control(kIdBtnExit)));
    } else if (EndsWithTheLabel(c)) {
      ASSERT_EQ(end.kind, RunEnd::Kind::kErrorLabel);
      EXPECT_EQ(WindowText(Control(kIdLblError)), rebuild::kFilesMissingText);
      // Nothing was started: Exit stays enabled, no box.
      EXPECT_TRUE(IsEnabledWindow(Control(kIdBtnExit)));
      EXPECT_EQ(program_->MessageBoxNow(), nullptr);
    } else {
      ASSERT_EQ(end.kind, RunEnd::Kind::kErrorBox) << "the window shows no error";
      Shot(std::string("bad-input-") + c.name);
      const MessageBoxInfo info = ReadMessageBox(end.box);
      std::printf("[ bad input in the window ] %s: %s\n", c.name, info.text.c_str());
      EXPECT_EQ(info.caption, kApplicationTitle);
      // Long paths come in several lines; the message is whole once they are joined.
      std::string joined = info.text;
      for (size_t at; (at = joined.find("\r\n")) != std::string::npos;) joined.erase(at, 2);
      EXPECT_NE(joined.find(c.message), std::string::npos) << info.text;
      // The whole box is on the screen, its caption and the start of the message too.
      const RECT box = WindowBounds(end.box);
      EXPECT_GE(box.left, 0);
      EXPECT_LE(box.right, GetSystemMetrics(SM_CXSCREEN));
      EXPECT_EQ(info.buttons, std::vector<std::string>{"OK"});
      EXPECT_TRUE(ShowsSystemIcon(info.icon, IDI_HAND));
      ASSERT_TRUE(AnswerMessageBox(end.box));
      ASSERT_TRUE(WaitUntil([&] { return program_->MessageBoxNow() == nullptr; }));
      // The window as a failed run leaves it: Re-Build ready for another try, Exit disabled
      // until a run completes (the close box and File > Exit still end the program).
      EXPECT_TRUE(IsShown(Control(kIdBtnProcess)));
      EXPECT_TRUE(IsEnabledWindow(Control(kIdBtnProcess)));
      EXPECT_FALSE(IsEnabledWindow(Control(kIdBtnExit)));
      EXPECT_EQ(WindowText(Control(kIdLblProgress)), rebuild::kProcessingText);
    }
  }
};

TEST_F(BadInputWindowTest, ErrorIsShownTheWindowStaysUsableAndNothingIsLost) {
  const char* const names[] = {"ItemTableIsAFolder", "TruncatedTable", "TableOfZeroBytes",
                               "IndexFileHeldByAnotherProgram", "ItemTablePathAtAnsiLimit"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    const reliability::BadInputCase& c = reliability::FindBadInputCase(name);
    TempFolder data;
    testing::MakeSample(data.Path(), testing::SamplePreset::kTiny);
    const std::string folder = c.spoil(data.Path());
    const std::string records_folder = engine::FolderExists(folder) ? folder : data.Path();
    const auto before = reliability::LiveRecords(records_folder);
    const std::string kept_path = records_folder + "\\" + c.kept_file;
    const std::string kept = *c.kept_file ? ReadFileText(kept_path) : "";
    std::unique_ptr<testing::ChildProcess> holder;
    if (*c.held_file) {
      holder = std::make_unique<testing::ChildProcess>(std::vector<std::string>{
          BinFolder() + "\\kxdata.exe", "lock", records_folder + "\\" + c.held_file});
      ASSERT_TRUE(holder->WaitForLine("locked")) << "the holder did not start";
    }

    ASSERT_NO_FATAL_FAILURE(Launch(RegistryState::Text(folder)));
    EXPECT_EQ(WindowText(Control(kIdPathFrom)), folder);
    ASSERT_NO_FATAL_FAILURE(ExpectEnd(PressRebuildAndWait(), c));

    if (holder) {
      // With the other program gone, its file is as it was and a second run completes.
      holder->Kill();
      holder->Wait();
      EXPECT_EQ(ReadFileText(kept_path), kept) << "the held file changed";
      const RunEnd again = PressRebuildAndWait();
      EXPECT_EQ(again.kind, RunEnd::Kind::kCompleted);
      EXPECT_EQ(WindowText(Control(kIdLblProgress)), rebuild::kCompletedText);
      EXPECT_TRUE(IsEnabledWindow(Control(kIdBtnExit)));
    } else if (!c.completes) {
      if (EndsWithTheLabel(c)) {
        // A change of the field hides the label; the folder typed back, a second press
        // shows it again.
        HWND field = Control(kIdPathFrom);
        PostKey(field, VK_END);
        TypeChars(field, "x");
        PostKey(field, VK_BACK);
        ASSERT_TRUE(WaitUntil([&] { return !IsShown(Control(kIdLblError)); }));
        ASSERT_TRUE(WaitUntil([&] { return WindowText(field) == folder; }));
      }
      // A second press meets the same fault and says the same.
      ASSERT_NO_FATAL_FAILURE(ExpectEnd(PressRebuildAndWait(), c));
    }
    CloseAndWait();
    program_.reset();

    const reliability::RecordDiff diff =
        reliability::CompareRecords(before, reliability::LiveRecords(records_folder));
    EXPECT_EQ(diff.lost, 0u);
    EXPECT_EQ(diff.extra, 0u);
    if (*c.kept_file && !holder) {
      EXPECT_EQ(ReadFileText(kept_path), kept);
    }
    if (engine::FolderExists(folder)) {
      for (const auto& problem : engine::VerifyFolder(folder).problems) {
        if (*c.kept_file && problem.file.find(c.kept_file) != std::string::npos) continue;
        ADD_FAILURE() << problem.file << ": " << problem.message;
      }
    }
  }
}

}  // namespace

}  // namespace kx::e2e
