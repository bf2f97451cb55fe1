#include "tests/e2e/app_fixture_win.h"

namespace kx::e2e {

void AppTest::TearDown() {
  if (program_) {
    // A box left open by a failed check would keep the process alive; end it either way.
    program_.reset();
  }
  ApplyRegistryState(RegistryState::NoKey());
}

void AppTest::Launch(const RegistryState& state, bool expect_window) {
  ApplyRegistryState(state);
  program_ = Program::Start(folder_.ExePath());
  if (!expect_window) return;
  main_ = program_->WaitForMainWindow();
  ASSERT_NE(main_, nullptr) << "main window did not appear";
}

HWND AppTest::Control(int id) const { return ChildById(main_, id); }

void AppTest::CloseAndWait() {
  PostClose(main_);
  ASSERT_TRUE(program_->WaitForExit()) << "program did not end after the close box";
  EXPECT_EQ(program_->ExitCode(), 0u);
}

MessageBoxInfo AppTest::AnswerBox() {
  HWND box = program_->WaitForMessageBox();
  if (!box) {
    ADD_FAILURE() << "no message box appeared";
    return {};
  }
  MessageBoxInfo info = ReadMessageBox(box);
  EXPECT_TRUE(AnswerMessageBox(box, "OK"));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }));
  return info;
}

void AppTest::Shot(const std::string& name) const {
  // Let the program finish painting what it has queued first.
  if (main_) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(main_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
  }
  Sleep(300);
  SaveWindowShot(nullptr, ShotsFolder() + "\\" + name + ".bmp");
}

}  // namespace kx::e2e
