// The fixture of the end-to-end tests: each test gets its own program folder (and so its own
// ads.ini), a registry state, the started program and its main window.
//
//   TEST_F(AppTest, Something) {
//     Launch(RegistryState::Text("C:\\data"));
//     EXPECT_EQ(WindowText(Control(app::kIdPathFrom)), "C:\\data");
//     CloseAndWait();
//   }
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "src/app/control_ids.h"
#include "tests/e2e/driver_win.h"

namespace kx::e2e {

class AppTest : public ::testing::Test {
 protected:
  void TearDown() override;

  // Sets the registry, starts the program and waits for its main window (fails the test if
  // it does not appear). When `expect_window` is false only the process is started.
  void Launch(const RegistryState& state = RegistryState::NoKey(), bool expect_window = true);
  HWND Control(int id) const;
  // Closes through the close box and checks that the process ends with code 0.
  void CloseAndWait();
  // Waits for a message box, reads it and presses OK.
  MessageBoxInfo AnswerBox();
  // Screenshot of the whole screen into the shots folder as NAME.bmp.
  void Shot(const std::string& name) const;

  ProgramFolder folder_;
  std::unique_ptr<Program> program_;
  HWND main_ = nullptr;
};

}  // namespace kx::e2e
