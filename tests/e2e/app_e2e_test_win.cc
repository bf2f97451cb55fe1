// End-to-end scenarios of the program, driven from outside through the window system.
#include <windows.h>
// The common controls need the base Windows types first.
#include <commctrl.h>

#include "src/rebuild/catalogue.h"
#include "tests/e2e/app_fixture_win.h"
#include "tests/support/sample_presets.h"

namespace kx::e2e {

using namespace kx::app;

namespace {

constexpr char kDefaultDataFolder[] =
    "C:\\Documents and Settings\\All Users\\Documents\\Velloran\\Kestovar\\data";
constexpr char kSavedIni[] = "[Databases]\r\ndravent=\r\nVersion=0\r\n";

std::string Describe(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " +
         std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
}

}  // namespace

TEST_F(AppTest, StartsWithCaptionAndSizeAndEndsByTheCloseBox) {
  ASSERT_NO_FATAL_FAILURE(Launch());
  EXPECT_EQ(WindowText(main_), kWindowCaption);
  const RECT outer = WindowBounds(main_);
  EXPECT_EQ(outer.right - outer.left, kOuterWidth);
  EXPECT_EQ(outer.bottom - outer.top, kOuterHeight);
  // Centred on the whole primary screen by the outer size.
  EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - kOuterWidth) / 2);
  EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - kOuterHeight) / 2);
  const LONG style = GetWindowLongA(main_, GWL_STYLE);
  EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
  EXPECT_EQ(style & WS_CLIPCHILDREN, 0) << "transparent labels need the parent unclipped";
  // The application window carries the title (the taskbar entry) and owns the main window.
  HWND owner = GetWindow(main_, GW_OWNER);
  ASSERT_NE(owner, nullptr);
  EXPECT_EQ(WindowText(owner), kApplicationTitle);
  // The application icon: 16, 24, 32 and 48 pixels, each in 256 colours and in 32-bit.
  const std::vector<IconEntry> expected = {{16, 16, 8},  {24, 24, 8},  {32, 32, 8},  {48, 48, 8},
                                           {16, 16, 32}, {24, 24, 32}, {32, 32, 32}, {48, 48, 32}};
  EXPECT_EQ(IconGroupEntries(folder_.ExePath(), 1), expected);
  Shot("start");
  CloseAndWait();
}

TEST_F(AppTest, ControlsStandAtTheirPlacesInTheirInitialState) {
  ASSERT_NO_FATAL_FAILURE(Launch());
  struct Expected {
    int id;
    const char* class_name;
    const char* text;  // nullptr: not checked
    RECT bounds;       // right/bottom 0: only the position is checked
    bool visible;
  };
  const Expected controls[] = {
      {kIdLabel1,
       "Static",
       "If you receive a Corrupt Index message, you need to run this program\r\n"
       "Make sure you select the location of your files. Then click on the \r\n"
       "Re-Build button to perform an Index file rebuild.  This can be caused \r\n"
       "by losing power  to your server while connected to the database.",
       {8, 4, 0, 0},
       true},
      {kIdLabel4,
       "Static",
       "Draventh Application cannot be running to process.  \r\n"
       "Make sure all Users are logged off the system first.",
       {8, 96, 0, 0},
       true},
      {kIdLabel2, "Static", "Location of files to be re-indexed.", {8, 176, 0, 0}, true},
      {kIdPathFrom, nullptr, nullptr, {8, 192, 8 + 477, 192 + 21}, true},
      {kIdLblError, "Static", "", {7, 216, 7 + 302, 216 + 19}, false},
      {kIdBtnProcess, "Button", "Re-Build", {32, 236, 32 + 75, 236 + 25}, true},
      {kIdProgress, "msctls_progress32", nullptr, {31, 264, 31 + 121, 0}, false},
      {kIdBtnExit, "Button", "Exit", {212, 276, 212 + 75, 276 + 25}, true},
      {kIdLblProgress, "Static", "", {32, 288, 0, 0}, false},
  };
  for (const Expected& c : controls) {
    SCOPED_TRACE("control id " + std::to_string(c.id));
    HWND hwnd = Control(c.id);
    ASSERT_NE(hwnd, nullptr);
    if (c.class_name) {
      EXPECT_EQ(ClassName(hwnd), c.class_name);
    }
    if (c.text) {
      EXPECT_EQ(WindowText(hwnd), c.text);
    }
    const RECT r = ChildBounds(hwnd);
    EXPECT_EQ(r.left, c.bounds.left) << Describe(r);
    EXPECT_EQ(r.top, c.bounds.top) << Describe(r);
    if (c.bounds.right) {
      EXPECT_EQ(r.right, c.bounds.right) << Describe(r);
    }
    if (c.bounds.bottom) {
      EXPECT_EQ(r.bottom, c.bounds.bottom) << Describe(r);
    }
    EXPECT_EQ(IsShown(hwnd), c.visible);
    EXPECT_TRUE(IsEnabledWindow(hwnd));
  }
  HWND progress = Control(kIdProgress);
  EXPECT_EQ(SendMessageA(progress, PBM_GETRANGE, TRUE, 0), 0);
  EXPECT_EQ(SendMessageA(progress, PBM_GETRANGE, FALSE, 0), 100);
  // Neither button is a default button: Enter and Esc press nothing.
  for (int id : {kIdBtnProcess, kIdBtnExit}) {
    EXPECT_EQ(GetWindowLongA(Control(id), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
  }
  // The File menu opens under a click (its texts are looked at in the screenshot).
  POINT menu_bar{10, 0};
  ClientToScreen(main_, &menu_bar);
  ClickScreen(menu_bar.x, menu_bar.y - GetSystemMetrics(SM_CYMENU) / 2);
  EXPECT_TRUE(WaitUntil([&] { return program_->InMenu(); }));
  Sleep(200);
  Shot("file-menu");
  PostMessageA(main_, WM_CANCELMODE, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return !program_->InMenu(); }));
  CloseAndWait();
}

TEST_F(AppTest, FolderFieldShowsTheRegistryValueAsRead) {
  struct Case {
    const char* name;
    RegistryState state;
    const char* field;
  };
  const Case cases[] = {
      {"no key", RegistryState::NoKey(), ""},
      {"no value", RegistryState::Absent(), ""},
      {"zero data bytes", RegistryState::Empty(), ""},
      {"text with trailing separator", RegistryState::Text("D:\\Kestovar Data\\"),
       "D:\\Kestovar Data\\"},
      {"text with blanks", RegistryState::Text(" C:\\data "), " C:\\data "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_NO_FATAL_FAILURE(Launch(c.state));
    EXPECT_EQ(WindowText(Control(kIdPathFrom)), c.field);
    EXPECT_EQ(program_->MessageBoxNow(), nullptr);
    CloseAndWait();
    program_.reset();
  }
}

TEST_F(AppTest, RegistryValueOfAnotherTypeIsReportedAndTheWindowStillOpens) {
  ASSERT_NO_FATAL_FAILURE(Launch(RegistryState::Dword(7), /*expect_window=*/false));
  HWND box = program_->WaitForMessageBox();
  ASSERT_NE(box, nullptr);
  Shot("registry-dword-error");
  const MessageBoxInfo info = ReadMessageBox(box);
  EXPECT_EQ(info.caption, kApplicationTitle);
  // The message ends in a quote, whose code is below the full stop's: none is added.
  EXPECT_EQ(info.text, "Invalid data type for 'kestrun'");
  EXPECT_EQ(info.buttons, std::vector<std::string>{"OK"});
  EXPECT_EQ(ClassName(info.owner), kApplicationClass);
  EXPECT_TRUE(ShowsSystemIcon(info.icon, IDI_HAND)) << "not the stop icon";
  ASSERT_TRUE(AnswerMessageBox(box));
  main_ = program_->WaitForMainWindow();
  ASSERT_NE(main_, nullptr);
  // The rest of FormShow was skipped: the field keeps the folder of the window's description.
  EXPECT_EQ(WindowText(Control(kIdPathFrom)), kDefaultDataFolder);
  EXPECT_TRUE(WaitUntil([&] { return program_->FocusedWindow() == Control(kIdPathFrom); }));
  CloseAndWait();
}

TEST_F(AppTest, HelpAndAboutShowTheirTextsInAnInformationDialog) {
  struct Case {
    int command;
    const char* text;
  };
  const Case cases[] = {
      {kCmdHelp,
       "Sorry, ther is no Help file associated with this application.  Please \r\n"
       "check the Main applications help file for assistance."},
      {kCmdAbout, "Kestovar Index Re-Build Program\r\nVersion 2.00"},
  };
  ASSERT_NO_FATAL_FAILURE(Launch());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    ChooseMenuItem(main_, c.command);
    HWND box = program_->WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    Shot(c.command == kCmdHelp ? "help" : "about");
    const MessageBoxInfo info = ReadMessageBox(box);
    EXPECT_EQ(info.caption, "Information");
    EXPECT_EQ(info.text, c.text);
    EXPECT_EQ(info.buttons, std::vector<std::string>{"OK"});
    EXPECT_TRUE(ShowsSystemIcon(info.icon, IDI_ASTERISK)) << "not the information icon";
    EXPECT_FALSE(IsEnabledWindow(main_)) << "the dialog is modal";
    const RECT r = WindowBounds(box);
    EXPECT_NEAR((r.left + r.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((r.top + r.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
    // Esc closes it like OK.
    PostKey(box, VK_ESCAPE);
    EXPECT_TRUE(WaitUntil([&] { return program_->MessageBoxNow() == nullptr; }));
    EXPECT_TRUE(WaitUntil([&] { return IsEnabledWindow(main_); }));
  }
  CloseAndWait();
}

TEST_F(AppTest, FocusStartsInTheFolderFieldAndTabWalksTheButtons) {
  ASSERT_NO_FATAL_FAILURE(Launch(RegistryState::Text("C:\\")));
  const HWND order[] = {Control(kIdPathFrom), Control(kIdBtnProcess), Control(kIdBtnExit),
                        Control(kIdPathFrom)};
  ASSERT_TRUE(WaitUntil([&] { return program_->FocusedWindow() == order[0]; }))
      << "focus is in " << ClassName(program_->FocusedWindow());
  for (size_t i = 1; i < std::size(order); ++i) {
    PostKey(program_->FocusedWindow(), VK_TAB);
    EXPECT_TRUE(WaitUntil([&] { return program_->FocusedWindow() == order[i]; }))
        << "step " << i << ": focus is in " << WindowText(program_->FocusedWindow());
  }
  // Enter and Esc in the field press no button: no box opens, no run starts, the window stays.
  PostKey(order[0], VK_RETURN);
  PostKey(order[0], VK_ESCAPE);
  Sleep(300);
  EXPECT_EQ(program_->MessageBoxNow(), nullptr);
  EXPECT_FALSE(program_->HasExited());
  EXPECT_FALSE(IsShown(Control(kIdLblError)));
  CloseAndWait();
}

TEST_F(AppTest, EveryClosePathEndsTheProgramAndSavesTheIniFile) {
  struct Case {
    const char* name;
    std::function<void(HWND main, HWND exit_button)> close;
  };
  const Case cases[] = {
      {"Exit button", [](HWND, HWND exit_button) { Click(exit_button); }},
      {"File > Exit", [](HWND main, HWND) { ChooseMenuItem(main, kCmdExit); }},
      {"close box", [](HWND main, HWND) { PostClose(main); }},
      {"Alt+F4",
       [](HWND main, HWND) {
         PostMessageA(main, WM_SYSKEYDOWN, VK_F4, 1 | (1 << 29));
         PostMessageA(main, WM_SYSKEYUP, VK_F4, 1 | (1 << 29) | (3u << 30));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteFileA(folder_.File("ads.ini").c_str());
    ASSERT_NO_FATAL_FAILURE(Launch());
    // Showing the window loads the ini file but creates none.
    EXPECT_EQ(GetFileAttributesA(folder_.File("ads.ini").c_str()), INVALID_FILE_ATTRIBUTES);
    c.close(main_, Control(kIdBtnExit));
    ASSERT_TRUE(program_->WaitForExit()) << "still running";
    EXPECT_EQ(program_->ExitCode(), 0u);
    EXPECT_EQ(ReadFileText(folder_.File("ads.ini")), kSavedIni);
    program_.reset();
  }
}

TEST_F(AppTest, StoredValueSurvivesARunAndOtherSectionsAreKept) {
  const std::string before =
      "[Other]\r\nkey=value\r\n[Databases]\r\ndravent=C:\\Some Folder\r\nVersion=7\r\n";
  WriteFileText(folder_.File("ads.ini"), before);
  ASSERT_NO_FATAL_FAILURE(Launch());
  CloseAndWait();
  EXPECT_EQ(ReadFileText(folder_.File("ads.ini")),
            "[Other]\r\nkey=value\r\n[Databases]\r\ndravent=C:\\Some Folder\r\nVersion=0\r\n");
}

namespace {

// Rows of the gradient at the window's design size (client 520 x 329, bands of 4 rows).
struct BandRow {
  int row;
  COLORREF color;
};
constexpr BandRow kDesignBands[] = {
    {1, RGB(0, 78, 152)},       // band 0
    {165, RGB(94, 134, 171)},   // band 41
    {241, RGB(138, 160, 180)},  // band 60
    {328, RGB(189, 190, 191)},  // band 82, the last: never the stop colour itself
};

std::string Hex(COLORREF c) {
  char text[16];
  snprintf(text, sizeof(text), "%02X%02X%02X", GetRValue(c), GetGValue(c), GetBValue(c));
  return text;
}

// Resizes the window so that its client area is `width` x `height`.
void SetClientSize(HWND hwnd, int width, int height) {
  const RECT outer = WindowBounds(hwnd), client = ClientBounds(hwnd);
  SetWindowPos(hwnd, nullptr, 0, 0, (outer.right - outer.left) + width - client.right,
               (outer.bottom - outer.top) + height - client.bottom,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

TEST_F(AppTest, GradientBandsAtDesignSizeShowBehindTheTransparentLabels) {
  ASSERT_NO_FATAL_FAILURE(Launch());
  SetClientSize(main_, 520, 329);
  ASSERT_TRUE(WaitUntil([&] {
    const RECT c = ClientBounds(main_);
    return c.right == 520 && c.bottom == 329;
  }));
  Shot("gradient-design-size");
  for (const BandRow& band : kDesignBands) {
    EXPECT_EQ(Hex(ReadClientPixel(main_, 510, band.row)), Hex(band.color)) << "row " << band.row;
  }
  // Most pixels of the first label's rectangle are the gradient of their row, not a fill.
  const RECT label = ChildBounds(Control(kIdLabel1));
  int gradient = 0, total = 0;
  for (int y = label.top; y < label.bottom; y += 3) {
    const COLORREF row_color = ReadClientPixel(main_, 515, y);
    for (int x = label.left; x < label.right; x += 7) {
      ++total;
      if (ReadClientPixel(main_, x, y) == row_color) ++gradient;
    }
  }
  EXPECT_GT(gradient * 10, total * 6) << gradient << " of " << total;
  CloseAndWait();
}

TEST_F(AppTest, FolderWithoutTheItemTableShowsTheRedLabelUntilTheFieldChanges) {
  TempFolder data;
  WriteFileText(data.File("abar.adt"), "not the item table");
  ASSERT_NO_FATAL_FAILURE(Launch(RegistryState::Text(data.Path())));
  HWND error = Control(kIdLblError);
  Click(Control(kIdBtnProcess));
  ASSERT_TRUE(WaitUntil([&] { return IsShown(error); }));
  Shot("files-missing");
  EXPECT_EQ(WindowText(error), "Files do not exist in the selected folder - Try again");
  // The folder field's button keeps its yellow folder after the field has shown a new text.
  int yellow = 0;
  for (int y = 192; y < 213; ++y) {
    for (int x = 455; x < 485; ++x) yellow += ReadClientPixel(main_, x, y) == RGB(255, 255, 0);
  }
  EXPECT_GT(yellow, 10) << "the browse button was painted over";
  // White fill behind red text.
  EXPECT_EQ(Hex(ReadClientPixel(main_, 8, 217)), Hex(RGB(255, 255, 255)));
  // Nothing else changed: no box, Exit enabled, no progress, no status.
  EXPECT_EQ(program_->MessageBoxNow(), nullptr);
  EXPECT_TRUE(IsEnabledWindow(Control(kIdBtnExit)));
  EXPECT_FALSE(IsShown(Control(kIdProgress)));
  EXPECT_FALSE(IsShown(Control(kIdLblProgress)));
  EXPECT_TRUE(IsShown(Control(kIdBtnProcess)));
  // Any change of the field hides the label again.
  PostKey(Control(kIdPathFrom), VK_END);
  TypeChars(Control(kIdPathFrom), "x");
  EXPECT_TRUE(WaitUntil([&] { return !IsShown(error); }));
  EXPECT_EQ(WindowText(Control(kIdPathFrom)), data.Path() + "x");
  CloseAndWait();
}

namespace {

// The progress bar's position as its drawing shows it: the share of the bar that is filled
// with the highlight colour (read from the screen, so it works while the program is busy).
int DrawnProgress(HWND main, HWND progress) {
  const RECT r = ChildBounds(progress);
  const int y = r.top + 1;  // the first row inside the frame, above the position's text
  const COLORREF fill = GetSysColor(COLOR_HIGHLIGHT);
  int filled = 0;
  for (int x = r.left + 1; x < r.right - 1; ++x) {
    if (ReadClientPixel(main, x, y) == fill) ++filled;
  }
  return filled * 100 / (r.right - r.left - 2);
}

}  // namespace

TEST_F(AppTest, CompleteRunRebuildsTheSampleFolder) {
  TempFolder data;
  testing::MakeSample(data.Path(), testing::SamplePreset::kMedium);
  ASSERT_NO_FATAL_FAILURE(Launch(RegistryState::Text(data.Path())));
  HWND progress = Control(kIdProgress), status = Control(kIdLblProgress);
  HWND rebuild = Control(kIdBtnProcess), exit_button = Control(kIdBtnExit);
  Click(rebuild);
  // While the run holds the program's thread, only the screen tells how far it is.
  std::vector<int> seen;
  bool shot_taken = false;
  const bool finished = WaitUntil(
      [&] {
        if (IsShown(progress)) {
          const int drawn = DrawnProgress(main_, progress);
          if (seen.empty() || seen.back() != drawn) seen.push_back(drawn);
          if (!shot_taken && drawn > 20 && drawn < 90) {
            SaveWindowShot(nullptr, ShotsFolder() + "\\run-under-way.bmp");
            shot_taken = true;
          }
        }
        return !IsShown(rebuild);
      },
      std::chrono::milliseconds(120000));
  ASSERT_TRUE(finished) << "the run did not complete";
  Shot("run-completed");
  ASSERT_FALSE(seen.empty());
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_LE(seen[i - 1], seen[i]) << "progress went back";
  EXPECT_EQ(ProgressPosition(progress), 100);
  EXPECT_GE(DrawnProgress(main_, progress), 98);
  EXPECT_EQ(WindowText(status), "Re-Index Completed - Click Exit");
  EXPECT_TRUE(IsShown(status));
  EXPECT_FALSE(IsShown(Control(kIdLblError)));
  EXPECT_TRUE(IsEnabledWindow(exit_button));
  EXPECT_EQ(program_->FocusedWindow(), exit_button);
  EXPECT_EQ(program_->MessageBoxNow(), nullptr);
  for (const rebuild::CatalogueEntry& entry : rebuild::kCatalogue) {
    const std::string index(entry.index_file);
    EXPECT_NE(GetFileAttributesA(data.File(index).c_str()), INVALID_FILE_ATTRIBUTES) << index;
  }
  // Enter on the focused Exit button ends the program.
  PostKey(exit_button, VK_RETURN);
  ASSERT_TRUE(program_->WaitForExit());
  EXPECT_EQ(ReadFileText(folder_.File("ads.ini")), kSavedIni);
}

TEST_F(AppTest, MissingSecondTableStopsTheRunWithTheEngineText) {
  TempFolder data;
  testing::MakeSample(data.Path(), testing::SamplePreset::kMedium);
  ASSERT_TRUE(DeleteFileA(data.File("abar.adt").c_str()));
  ASSERT_NO_FATAL_FAILURE(Launch(RegistryState::Text(data.Path())));
  ChooseMenuItem(main_, kCmdRebuildIndexes);
  HWND box = program_->WaitForMessageBox(std::chrono::milliseconds(60000));
  ASSERT_NE(box, nullptr);
  Shot("abar-missing");
  const MessageBoxInfo info = ReadMessageBox(box);
  EXPECT_EQ(info.caption, kApplicationTitle);
  ASSERT_FALSE(info.text.empty());
  EXPECT_EQ(info.text.back(), '.');
  EXPECT_NE(info.text.find("abar"), std::string::npos) << info.text;
  EXPECT_TRUE(ShowsSystemIcon(info.icon, IDI_HAND));
  ASSERT_TRUE(AnswerMessageBox(box));
  ASSERT_TRUE(WaitUntil([&] { return program_->MessageBoxNow() == nullptr; }));
  // The focus is back where it was when the run started from the menu.
  EXPECT_TRUE(WaitUntil([&] { return program_->FocusedWindow() == Control(kIdPathFrom); }));
  // The window as the run left it.
  EXPECT_EQ(ProgressPosition(Control(kIdProgress)), 15);
  EXPECT_EQ(WindowText(Control(kIdLblProgress)), "   Processing Request");
  EXPECT_FALSE(IsEnabledWindow(Control(kIdBtnExit)));
  EXPECT_TRUE(IsShown(Control(kIdBtnProcess)));
  EXPECT_TRUE(IsEnabledWindow(Control(kIdBtnProcess)));
  // The disabled Exit button does nothing; the close box still ends the program.
  Click(Control(kIdBtnExit));
  Sleep(300);
  EXPECT_FALSE(program_->HasExited());
  CloseAndWait();
}

TEST_F(AppTest, UnwritableIniFileIsReportedOnceAndTheProgramStillEnds) {
  // A folder in the file's place: the profile write fails even for a privileged user.
  ASSERT_TRUE(CreateDirectoryA(folder_.File("ads.ini").c_str(), nullptr));
  ASSERT_NO_FATAL_FAILURE(Launch());
  PostClose(main_);
  HWND box = program_->WaitForMessageBox();
  ASSERT_NE(box, nullptr);
  Shot("ini-unwritable");
  const MessageBoxInfo info = ReadMessageBox(box);
  EXPECT_EQ(info.caption, kApplicationTitle);
  EXPECT_EQ(info.text, "Unable to write to " + folder_.File("ads.ini") + ".");
  ASSERT_TRUE(AnswerMessageBox(box));
  ASSERT_TRUE(program_->WaitForExit()) << "the close did not go on after the error";
  EXPECT_EQ(program_->ExitCode(), 0u);
}

TEST_F(AppTest, MinimisingTakesTheProgramToItsTaskbarEntryAndRestoringBringsItBack) {
  ASSERT_NO_FATAL_FAILURE(Launch());
  HWND application = GetWindow(main_, GW_OWNER);
  ASSERT_NE(application, nullptr);
  PostMessageA(main_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(WaitUntil([&] { return IsIconic(application) && !IsWindowVisible(main_); }))
      << "application minimised " << IsIconic(application) << ", main window shown "
      << IsWindowVisible(main_) << " minimised " << IsIconic(main_);
  PostMessageA(application, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsIconic(application) && IsWindowVisible(main_); }));
  const RECT outer = WindowBounds(main_);
  EXPECT_EQ(outer.right - outer.left, kOuterWidth);
  // Closing from the taskbar entry closes the main window the usual way.
  PostMessageA(application, WM_SYSCOMMAND, SC_CLOSE, 0);
  ASSERT_TRUE(program_->WaitForExit());
  EXPECT_EQ(ReadFileText(folder_.File("ads.ini")), kSavedIni);
}

}  // namespace kx::e2e
