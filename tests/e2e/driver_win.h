// A driver for the running program: starts KestovarRebuild.exe from a private copy, sets the
// registry state it reads, finds its windows and controls, reads their state, gives input,
// answers message boxes, reads pixels and takes screenshots.
//
// Everything here talks to the other process through the Win32 API only (window messages,
// GetGUIThreadInfo, GetDC), so what a test sees is what a user or a screen reader would see.
// Input that may open a modal box is always posted, never sent, so the driver never blocks
// on the program's nested message loop.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kx::e2e {

using std::chrono::milliseconds;
inline constexpr milliseconds kDefaultTimeout{15000};

// Polls `condition` every few milliseconds until it holds or the timeout passes.
bool WaitUntil(const std::function<bool()>& condition, milliseconds timeout = kDefaultTimeout);

// The registry value the program reads its data folder from:
// HKCU\Software\Velloran\Kestovar\Databases, value "kestrun".
struct RegistryState {
  enum class Kind { kNoKey, kAbsent, kText, kDword, kEmpty };
  Kind kind = Kind::kNoKey;
  std::string text;  // kText
  DWORD dword = 0;   // kDword

  static RegistryState NoKey() { return {}; }
  static RegistryState Absent() { return {Kind::kAbsent, {}, 0}; }
  static RegistryState Text(std::string t) { return {Kind::kText, std::move(t), 0}; }
  static RegistryState Dword(DWORD v) { return {Kind::kDword, {}, v}; }
  // A REG_SZ value with zero data bytes.
  static RegistryState Empty() { return {Kind::kEmpty, {}, 0}; }
};
// Applies the state through RegCreateKeyExA / RegSetValueExA / RegDeleteKeyA.
void ApplyRegistryState(const RegistryState& state);

// A fresh temporary folder holding copies of the program and its engine DLL, so that each
// test has its own ads.ini. Removed with everything in it on destruction.
class ProgramFolder {
 public:
  ProgramFolder();
  ~ProgramFolder();
  ProgramFolder(const ProgramFolder&) = delete;
  ProgramFolder& operator=(const ProgramFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "\\" + name; }
  std::string ExePath() const { return File("KestovarRebuild.exe"); }

 private:
  std::string path_;
};

// Creates an empty temporary folder (for data folders); removed on destruction.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix = "kxd");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// The folder of the test executable (the build's bin folder, where the program, ACE32.DLL and
// the data tool live).
std::string BinFolder();
bool CopyFolderFiles(const std::string& from, const std::string& to);
void RemoveTree(const std::string& path);
std::string ReadFileText(const std::string& path);
// The extent of a text in a font as the program makes it (face, logical height).
SIZE TextExtent(const std::string& text, const char* face, int height);
void WriteFileText(const std::string& path, const std::string& text);

// Text of a message box found on screen.
struct MessageBoxInfo {
  HWND hwnd = nullptr;
  HWND owner = nullptr;
  std::string caption;
  std::string text;                  // the static with id 0xFFFF
  std::vector<std::string> buttons;  // captions of the visible buttons
  HWND icon = nullptr;               // the static that shows the icon
};

// Whether the icon a static control shows on screen is the given system icon (IDI_HAND,
// IDI_ASTERISK...): the icon is drawn here and compared pixel by pixel where it is opaque.
bool ShowsSystemIcon(HWND icon_static, LPCSTR system_icon);

// The icon images of an executable's icon group: width, height and bits per pixel of each.
struct IconEntry {
  int width, height, bits;
  bool operator==(const IconEntry&) const = default;
};
std::vector<IconEntry> IconGroupEntries(const std::string& exe_path, int group_id);

class Program {
 public:
  // Starts the program (CreateProcess) with its own folder as the current folder.
  static std::unique_ptr<Program> Start(const std::string& exe_path);
  ~Program();  // ends the process if it still runs

  DWORD ProcessId() const { return info_.dwProcessId; }
  DWORD ThreadId() const { return info_.dwThreadId; }

  // The main window (class Tfmrebld, the given caption), once visible; nullptr on timeout.
  HWND WaitForMainWindow(milliseconds timeout = kDefaultTimeout);
  // Every top-level window of the process.
  std::vector<HWND> TopLevelWindows() const;
  // A visible message box (#32770) of the process; nullptr on timeout.
  HWND WaitForMessageBox(milliseconds timeout = kDefaultTimeout);
  // Visible message box now, or nullptr.
  HWND MessageBoxNow() const;

  bool WaitForExit(milliseconds timeout = kDefaultTimeout);
  bool HasExited() const;
  DWORD ExitCode() const;
  void Kill();

  // The window with the keyboard focus in the program's GUI thread, or nullptr.
  HWND FocusedWindow() const;
  HWND ActiveWindow() const;
  // Whether the program's GUI thread is in a menu loop.
  bool InMenu() const;

 private:
  PROCESS_INFORMATION info_{};
};

// Child lookup: every field that is set must match.
struct ChildQuery {
  std::optional<std::string> class_name;
  std::optional<std::string> text;
  std::optional<int> id;
};
HWND FindChild(HWND parent, const ChildQuery& query);
HWND ChildById(HWND parent, int id);

std::string ClassName(HWND hwnd);
std::string WindowText(HWND hwnd);  // WM_GETTEXT through SendMessageTimeout
bool IsShown(HWND hwnd);            // the WS_VISIBLE flag
bool IsEnabledWindow(HWND hwnd);
int ProgressPosition(HWND progress);  // PBM_GETPOS
RECT WindowBounds(HWND hwnd);         // screen coordinates
RECT ChildBounds(HWND child);         // in the parent's client coordinates
RECT ClientBounds(HWND hwnd);

void Click(HWND button);                               // posts BM_CLICK
void TypeChars(HWND target, const std::string& text);  // posts WM_CHAR per character
void PostKey(HWND target, UINT vk);                    // posts WM_KEYDOWN and WM_KEYUP
void SendKeyInput(WORD vk, bool alt = false);          // SendInput to the foreground window
// A left mouse click at a screen position (SendInput), as a user would give it.
void ClickScreen(int x, int y);
void ChooseMenuItem(HWND window, int command_id);  // posts WM_COMMAND
void PostClose(HWND window);                       // posts WM_SYSCOMMAND SC_CLOSE (the close box)

MessageBoxInfo ReadMessageBox(HWND box);
// Presses the button with the given caption (BM_CLICK posted).
bool AnswerMessageBox(HWND box, const std::string& button = "OK");

// Colour of a pixel of a window's client area, read from the screen (GetDC + GetPixel).
COLORREF ReadClientPixel(HWND hwnd, int x, int y);
// The window as the screen shows it, written as a 24-bit BMP.
bool SaveWindowShot(HWND hwnd, const std::string& bmp_path);
// The folder where screenshots go: %KX_SHOTS_DIR% or the build's app-shots folder.
std::string ShotsFolder();

}  // namespace kx::e2e
