// The window's furniture and its rarer paths through the real program: the menu as it holds
// its items, the labels' colours and fonts, browsing from the window, a paint that fails,
// Enter on Re-Build, closing after a failed run with a table left open, the end of the
// session, and the application window under an information dialog.
#include <windows.h>

#include <string>

#include "tests/e2e/app_fixture_win.h"
#include "tests/e2e/window_probe_win.h"
#include "tests/reliability/bad_inputs.h"
#include "tests/support/sample_presets.h"

namespace kx::e2e {

using namespace kx::app;

namespace {

constexpr char kSavedIni[] = "[Databases]\r\ndravent=\r\nVersion=0\r\n";

// How many pixels of a control's rectangle (in its parent's client area) have `colour`.
int PixelsOf(HWND parent, HWND control, COLORREF colour) {
  const RECT r = ChildBounds(control);
  int found = 0;
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) found += ReadClientPixel(parent, x, y) == colour;
  }
  return found;
}

SIZE SizeOf(HWND control) {
  const RECT r = ChildBounds(control);
  return {r.right - r.left, r.bottom - r.top};
}

}  // namespace

TEST_F(AppTest, MenuHoldsItsCaptionsInOrderWithSeparators) {
  ASSERT_NO_FATAL_FAILURE(Launch());
  // Read inside the program, from the menu itself: captions, command ids, separators.
  EXPECT_EQ(RunProbe(main_, program_->ThreadId(), kProbeReadMenu),
            "File\n"
            "  Re-Build Indexes " +
                std::to_string(kCmdRebuildIndexes) +
                "\n"
                "  -\n"
                "  Exit " +
                std::to_string(kCmdExit) +
                "\n"
                "Help\n"
                "  Help " +
                std::to_string(kCmdHelp) +
                "\n"
                "  -\n"
                "  About... " +
                std::to_string(kCmdAbout) + "\n");
  CloseAndWait();
}

TEST_F(AppTest, LabelsShowTheirColoursInTheirFonts) {
  TempFolder data;  // no item table: the run shows the red label
  ASSERT_NO_FATAL_FAILURE(Launch(RegistryState::Text(data.Path())));
  Click(Control(kIdBtnProcess));
  HWND error = Control(kIdLblError);
  ASSERT_TRUE(WaitUntil([&] { return IsShown(error); }));
  Shot("label-colours");
  struct Case {
    int id;
    COLORREF text;
  } cases[] = {{kIdLabel1, RGB(255, 255, 255)},
               {kIdLabel4, RGB(255, 255, 0)},
               {kIdLabel2, RGB(255, 255, 255)},
               {kIdLblError, RGB(255, 0, 0)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    HWND label = Control(c.id);
    EXPECT_GT(PixelsOf(main_, label, c.text), 20) << "no text in its colour";
    if (c.id == kIdLblError) continue;
    // Sized to its text in Tahoma 10 pt.
    const SIZE expected = TextExtent(WindowText(label), "Tahoma", -13), size = SizeOf(label);
    EXPECT_EQ(size.cx, expected.cx);
    EXPECT_EQ(size.cy, expected.cy);
  }
  // The error label's own white fill.
  const SIZE error_size = SizeOf(error);
  EXPECT_GT(PixelsOf(main_, error, RGB(255, 255, 255)), error_size.cx * error_size.cy / 2);
  CloseAndWait();
}

TEST_F(AppTest, BrowsingFromTheWindowFillsTheFieldAndHidesTheErrorLabel) {
  TempFolder data;
  const std::string sub = data.File("sub");
  ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr));
  ASSERT_NO_FATAL_FAILURE(Launch(RegistryState::Text(sub)));
  Click(Control(kIdBtnProcess));
  HWND error = Control(kIdLblError), field = Control(kIdPathFrom);
  ASSERT_TRUE(WaitUntil([&] { return IsShown(error); }));
  HWND browse = FindChild(field, {"BrowseFieldButton", std::nullopt, std::nullopt});
  ASSERT_NE(browse, nullptr);
  const RECT b = WindowBounds(browse);
  ClickScreen((b.left + b.right) / 2, (b.top + b.bottom) / 2);
  HWND dialog = program_->WaitForMessageBox();
  ASSERT_NE(dialog, nullptr) << "the folder dialog did not open";
  // The dialog starts at the field's folder; another one is chosen (Left in the tree goes
  // to the parent) and confirmed.
  HWND tree = FindChild(dialog, {"SysTreeView32", std::nullopt, std::nullopt});
  ASSERT_NE(tree, nullptr);
  Sleep(1000);
  PostKey(tree, VK_LEFT);
  Sleep(500);
  Shot("browse-dialog");
  ASSERT_TRUE(AnswerMessageBox(dialog, "OK"));
  ASSERT_TRUE(WaitUntil([&] { return program_->MessageBoxNow() == nullptr; }));
  // The chosen folder reaches the field, and the field's change hides the error label.
  EXPECT_TRUE(WaitUntil([&] { return WindowText(field) != sub; }));
  const std::string chosen = WindowText(field);
  EXPECT_FALSE(chosen.empty());
  const DWORD attributes = GetFileAttributesA(chosen.c_str());
  EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
      << chosen;
  EXPECT_FALSE(IsShown(error));
  CloseAndWait();
}

TEST_F(AppTest, PaintThatFailsIsReportedOnceAndFilledPlainly) {
  ASSERT_NO_FATAL_FAILURE(Launch());
  // The program's process runs short of GDI objects for one paint: the background gets no
  // off-screen image.
  ASSERT_NE(RunProbe(main_, program_->ThreadId(), kProbeExhaustGdi), "");
  RedrawWindow(main_, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
  HWND box = program_->WaitForMessageBox();
  ASSERT_NE(box, nullptr) << "no report of the failed paint";
  const MessageBoxInfo info = ReadMessageBox(box);
  EXPECT_EQ(info.caption, kApplicationTitle);
  EXPECT_NE(info.text.find("background"), std::string::npos) << info.text;
  // That paint filled the window plainly (away from the box, at the top).
  EXPECT_EQ(ReadClientPixel(main_, 510, 1), GetSysColor(COLOR_BTNFACE));
  ASSERT_TRUE(AnswerMessageBox(box));
  ASSERT_TRUE(WaitUntil([&] { return program_->MessageBoxNow() == nullptr; }));
  // Wine's own drawing does not recover from the shortage (its fonts and caches stay broken
  // in that process), so the paints that follow fail as well: none reports again.
  for (int i = 0; i < 3; ++i) {
    RedrawWindow(main_, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(200);
  }
  EXPECT_EQ(program_->MessageBoxNow(), nullptr);
  CloseAndWait();
}

TEST_F(AppTest, EnterOnReBuildThenFileExitAfterAFailureWithATableLeftOpen) {
  TempFolder data;
  testing::MakeSample(data.Path(), testing::SamplePreset::kTiny);
  // The customer table opens, but its index file is a folder: the run stops with it open.
  reliability::FindBadInputCase("IndexFileIsAFolder").spoil(data.Path());
  ASSERT_NO_FATAL_FAILURE(Launch(RegistryState::Text(data.Path())));
  HWND rebuild = Control(kIdBtnProcess);
  PostKey(Control(kIdPathFrom), VK_TAB);
  ASSERT_TRUE(WaitUntil([&] { return program_->FocusedWindow() == rebuild; }));
  PostKey(rebuild, VK_RETURN);
  HWND box = program_->WaitForMessageBox(std::chrono::milliseconds(60000));
  ASSERT_NE(box, nullptr) << "Enter on the focused Re-Build started no run";
  EXPECT_NE(ReadMessageBox(box).text.find("cust.adi"), std::string::npos);
  ASSERT_TRUE(AnswerMessageBox(box));
  ASSERT_TRUE(WaitUntil([&] { return program_->MessageBoxNow() == nullptr; }));
  // The status label in navy, MS Sans Serif 8 pt.
  HWND status = Control(kIdLblProgress);
  EXPECT_EQ(WindowText(status), "   Processing Request");
  EXPECT_GT(PixelsOf(main_, status, RGB(0, 0, 128)), 20);
  const SIZE expected = TextExtent(WindowText(status), "MS Sans Serif", -11);
  EXPECT_EQ(SizeOf(status).cx, expected.cx);
  EXPECT_FALSE(IsEnabledWindow(Control(kIdBtnExit)));
  // File > Exit still ends the program; the table is closed before the disconnect, so the
  // end reports nothing.
  ChooseMenuItem(main_, kCmdExit);
  ASSERT_TRUE(program_->WaitForExit()) << "File > Exit did not end the program";
  EXPECT_EQ(program_->ExitCode(), 0u);
  EXPECT_EQ(ReadFileText(folder_.File("ads.ini")), kSavedIni);
  // Nothing holds the table any more.
  HANDLE table = CreateFileA(data.File("cust.adt").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                             nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(table, INVALID_HANDLE_VALUE);
  if (table != INVALID_HANDLE_VALUE) CloseHandle(table);
  RemoveDirectoryA(data.File("cust.adi").c_str());
}

TEST_F(AppTest, EndOfTheSessionSavesTheStoredValues) {
  DeleteFileA(folder_.File("ads.ini").c_str());
  ASSERT_NO_FATAL_FAILURE(Launch());
  DWORD_PTR answer = 0;
  ASSERT_TRUE(SendMessageTimeoutA(main_, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG,
                                  5000, &answer));
  EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE));
  EXPECT_EQ(ReadFileText(folder_.File("ads.ini")), kSavedIni);
  CloseAndWait();
}

TEST_F(AppTest, InformationDialogDisablesTheApplicationWindowToo) {
  ASSERT_NO_FATAL_FAILURE(Launch());
  HWND application = GetWindow(main_, GW_OWNER);
  ASSERT_NE(application, nullptr);
  ChooseMenuItem(main_, kCmdAbout);
  HWND dialog = program_->WaitForMessageBox();
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(IsEnabledWindow(application));
  // The taskbar's Close does not end the program under the open dialog.
  PostMessageA(application, WM_SYSCOMMAND, SC_CLOSE, 0);
  Sleep(500);
  EXPECT_FALSE(program_->HasExited());
  EXPECT_TRUE(IsWindow(dialog));
  ASSERT_TRUE(AnswerMessageBox(dialog, "OK"));
  EXPECT_TRUE(WaitUntil([&] { return IsEnabledWindow(application); }));
  CloseAndWait();
}

}  // namespace kx::e2e
