#include "tests/e2e/driver_win.h"

#include <commctrl.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace kx::e2e {

namespace {

constexpr char kRegistryKey[] = "Software\\Velloran\\Kestovar\\Databases";
constexpr char kRegistryValue[] = "kestrun";
constexpr UINT kMessageTimeoutMs = 5000;

std::string LastErrorText(const char* what) {
  return std::string(what) + " failed, error " + std::to_string(GetLastError());
}

std::string MakeTempFolder(const std::string& prefix) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string path = std::string(temp) + prefix + std::to_string(GetCurrentProcessId()) + "_" +
                       std::to_string(GetTickCount() % 100000) + "_" + std::to_string(++counter);
    if (CreateDirectoryA(path.c_str(), nullptr)) return path;
  }
  throw std::runtime_error(LastErrorText("CreateDirectoryA"));
}

struct FindTopLevel {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM lp) {
  auto* find = reinterpret_cast<FindTopLevel*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == find->pid) find->found.push_back(hwnd);
  return TRUE;
}

struct FindChildState {
  const ChildQuery* query;
  HWND found = nullptr;
};

BOOL CALLBACK MatchChild(HWND hwnd, LPARAM lp) {
  auto* state = reinterpret_cast<FindChildState*>(lp);
  const ChildQuery& q = *state->query;
  if (q.id && GetDlgCtrlID(hwnd) != *q.id) return TRUE;
  if (q.class_name && _stricmp(ClassName(hwnd).c_str(), q.class_name->c_str()) != 0) return TRUE;
  if (q.text && WindowText(hwnd) != *q.text) return TRUE;
  state->found = hwnd;
  return FALSE;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (true) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(milliseconds(20));
  }
}

void ApplyRegistryState(const RegistryState& state) {
  RegDeleteKeyA(HKEY_CURRENT_USER, kRegistryKey);
  if (state.kind == RegistryState::Kind::kNoKey) return;
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kRegistryKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("RegCreateKeyExA failed");
  }
  LONG rc = ERROR_SUCCESS;
  switch (state.kind) {
    case RegistryState::Kind::kText:
      rc = RegSetValueExA(key, kRegistryValue, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(state.text.c_str()),
                          static_cast<DWORD>(state.text.size() + 1));
      break;
    case RegistryState::Kind::kDword:
      rc = RegSetValueExA(key, kRegistryValue, 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&state.dword), sizeof(DWORD));
      break;
    case RegistryState::Kind::kEmpty:
      rc = RegSetValueExA(key, kRegistryValue, 0, REG_SZ, nullptr, 0);
      break;
    default:
      break;
  }
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) throw std::runtime_error("RegSetValueExA failed");
}

std::string BinFolder() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n);
  return s.substr(0, s.find_last_of('\\'));
}

bool CopyFolderFiles(const std::string& from, const std::string& to) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((from + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    ok &= CopyFileA((from + "\\" + data.cFileName).c_str(), (to + "\\" + data.cFileName).c_str(),
                    FALSE) != 0;
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return ok;
}

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      std::string full = path + "\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(full);
      } else {
        SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(full.c_str());
      }
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
}

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

SIZE TextExtent(const std::string& text, const char* face, int height) {
  HDC dc = GetDC(nullptr);
  HFONT font =
      CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
  HGDIOBJ old = SelectObject(dc, font);
  RECT r{0, 0, 0, 0};
  DrawTextA(dc, text.c_str(), -1, &r, DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS);
  SelectObject(dc, old);
  DeleteObject(font);
  ReleaseDC(nullptr, dc);
  return {r.right, r.bottom};
}

void WriteFileText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

ProgramFolder::ProgramFolder() : path_(MakeTempFolder("kxapp")) {
  const std::string bin = BinFolder();
  for (const char* name : {"KestovarRebuild.exe", "ACE32.DLL"}) {
    if (!CopyFileA((bin + "\\" + name).c_str(), File(name).c_str(), FALSE)) {
      throw std::runtime_error(LastErrorText("CopyFileA") + " for " + name);
    }
  }
}

ProgramFolder::~ProgramFolder() { RemoveTree(path_); }

TempFolder::TempFolder(const std::string& prefix) : path_(MakeTempFolder(prefix)) {}
TempFolder::~TempFolder() { RemoveTree(path_); }

std::unique_ptr<Program> Program::Start(const std::string& exe_path) {
  auto program = std::unique_ptr<Program>(new Program());
  const std::string folder = exe_path.substr(0, exe_path.find_last_of('\\'));
  std::string command = "\"" + exe_path + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  if (!CreateProcessA(exe_path.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &program->info_)) {
    throw std::runtime_error(LastErrorText("CreateProcessA"));
  }
  WaitForInputIdle(program->info_.hProcess, 10000);
  return program;
}

Program::~Program() {
  if (info_.hProcess) {
    if (!HasExited()) Kill();
    CloseHandle(info_.hProcess);
    CloseHandle(info_.hThread);
  }
}

std::vector<HWND> Program::TopLevelWindows() const {
  FindTopLevel find{info_.dwProcessId, {}};
  EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&find));
  return find.found;
}

HWND Program::WaitForMainWindow(milliseconds timeout) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (HWND w : TopLevelWindows()) {
          if (ClassName(w) == "Tfmrebld" && IsWindowVisible(w)) {
            found = w;
            return true;
          }
        }
        return false;
      },
      timeout);
  return found;
}

HWND Program::MessageBoxNow() const {
  for (HWND w : TopLevelWindows()) {
    if (ClassName(w) == "#32770" && IsWindowVisible(w)) return w;
  }
  return nullptr;
}

HWND Program::WaitForMessageBox(milliseconds timeout) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = MessageBoxNow()) != nullptr; }, timeout);
  return found;
}

bool Program::WaitForExit(milliseconds timeout) {
  return WaitForSingleObject(info_.hProcess, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
}

bool Program::HasExited() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_OBJECT_0; }

DWORD Program::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(info_.hProcess, &code);
  return code;
}

void Program::Kill() {
  TerminateProcess(info_.hProcess, 99);
  WaitForSingleObject(info_.hProcess, 10000);
}

HWND Program::FocusedWindow() const {
  GUITHREADINFO gui{};
  gui.cbSize = sizeof(gui);
  if (!GetGUIThreadInfo(info_.dwThreadId, &gui)) return nullptr;
  return gui.hwndFocus;
}

HWND Program::ActiveWindow() const {
  GUITHREADINFO gui{};
  gui.cbSize = sizeof(gui);
  if (!GetGUIThreadInfo(info_.dwThreadId, &gui)) return nullptr;
  return gui.hwndActive;
}

bool Program::InMenu() const {
  GUITHREADINFO gui{};
  gui.cbSize = sizeof(gui);
  if (!GetGUIThreadInfo(info_.dwThreadId, &gui)) return false;
  return (gui.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE)) != 0;
}

HWND FindChild(HWND parent, const ChildQuery& query) {
  FindChildState state{&query};
  EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&state));
  return state.found;
}

HWND ChildById(HWND parent, int id) {
  ChildQuery query;
  query.id = id;
  return FindChild(parent, query);
}

std::string ClassName(HWND hwnd) {
  char name[256] = {};
  int n = GetClassNameA(hwnd, name, sizeof(name));
  return std::string(name, n > 0 ? n : 0);
}

std::string WindowText(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                           &length)) {
    return "<no answer>";
  }
  std::string text(length + 1, '\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutA(hwnd, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, kMessageTimeoutMs, &copied);
  text.resize(copied);
  return text;
}

bool IsShown(HWND hwnd) { return (GetWindowLongA(hwnd, GWL_STYLE) & WS_VISIBLE) != 0; }
bool IsEnabledWindow(HWND hwnd) { return IsWindowEnabled(hwnd) != 0; }

int ProgressPosition(HWND progress) {
  DWORD_PTR pos = 0;
  if (!SendMessageTimeoutA(progress, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &pos)) {
    return -1;
  }
  return static_cast<int>(pos);
}

RECT WindowBounds(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return r;
}

RECT ChildBounds(HWND child) {
  RECT r = WindowBounds(child);
  MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

RECT ClientBounds(HWND hwnd) {
  RECT r{};
  GetClientRect(hwnd, &r);
  return r;
}

void Click(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }

void TypeChars(HWND target, const std::string& text) {
  for (char c : text) PostMessageA(target, WM_CHAR, static_cast<unsigned char>(c), 1);
}

void PostKey(HWND target, UINT vk) {
  const UINT scan = MapVirtualKeyA(vk, MAPVK_VK_TO_VSC);
  PostMessageA(target, WM_KEYDOWN, vk, 1 | (scan << 16));
  PostMessageA(target, WM_KEYUP, vk, 1 | (scan << 16) | (3u << 30));
}

void SendKeyInput(WORD vk, bool alt) {
  std::vector<INPUT> inputs;
  auto key = [&](WORD code, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = code;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(in);
  };
  if (alt) key(VK_MENU, false);
  key(vk, false);
  key(vk, true);
  if (alt) key(VK_MENU, true);
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void ClickScreen(int x, int y) {
  const int w = GetSystemMetrics(SM_CXSCREEN) - 1, h = GetSystemMetrics(SM_CYSCREEN) - 1;
  INPUT inputs[3] = {};
  for (INPUT& in : inputs) {
    in.type = INPUT_MOUSE;
    in.mi.dx = x * 65535 / w;
    in.mi.dy = y * 65535 / h;
  }
  inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
  inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &inputs[0], sizeof(INPUT));
  Sleep(50);
  SendInput(2, &inputs[1], sizeof(INPUT));
}

void ChooseMenuItem(HWND window, int command_id) {
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(command_id, 0), 0);
}

void PostClose(HWND window) { PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0); }

MessageBoxInfo ReadMessageBox(HWND box) {
  MessageBoxInfo info;
  info.hwnd = box;
  info.owner = GetWindow(box, GW_OWNER);
  info.caption = WindowText(box);
  if (HWND text = GetDlgItem(box, 0xFFFF)) info.text = WindowText(text);
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const std::string cls = ClassName(child);
    if (_stricmp(cls.c_str(), "Button") == 0 && IsShown(child)) {
      info.buttons.push_back(WindowText(child));
    }
    if (_stricmp(cls.c_str(), "Static") == 0 &&
        (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      info.icon = child;
    }
  }
  return info;
}

bool AnswerMessageBox(HWND box, const std::string& button) {
  ChildQuery query;
  query.class_name = "Button";
  query.text = button;
  HWND b = FindChild(box, query);
  if (!b) return false;
  Click(b);
  return true;
}

bool ShowsSystemIcon(HWND icon_static, LPCSTR system_icon) {
  if (!icon_static) return false;
  HICON icon = LoadIconA(nullptr, system_icon);
  const int w = GetSystemMetrics(SM_CXICON), h = GetSystemMetrics(SM_CYICON);
  RECT r = WindowBounds(icon_static);
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(mem, bmp);
  // Drawn once over black and once over white: where both agree the icon is opaque.
  std::vector<COLORREF> over_black(w * h), over_white(w * h);
  for (int pass = 0; pass < 2; ++pass) {
    RECT all{0, 0, w, h};
    FillRect(mem, &all, static_cast<HBRUSH>(GetStockObject(pass == 0 ? BLACK_BRUSH : WHITE_BRUSH)));
    DrawIconEx(mem, 0, 0, icon, w, h, 0, nullptr, DI_NORMAL);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x)
        (pass == 0 ? over_black : over_white)[y * w + x] = GetPixel(mem, x, y);
    }
  }
  int compared = 0, differing = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (over_black[y * w + x] != over_white[y * w + x]) continue;
      ++compared;
      if (GetPixel(screen, r.left + x, r.top + y) != over_black[y * w + x]) ++differing;
    }
  }
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return compared > w * h / 4 && differing * 20 < compared;
}

std::vector<IconEntry> IconGroupEntries(const std::string& exe_path, int group_id) {
  std::vector<IconEntry> entries;
  HMODULE module = LoadLibraryExA(exe_path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return entries;
  HRSRC res = FindResourceA(module, MAKEINTRESOURCEA(group_id), MAKEINTRESOURCEA(14));
  if (res) {
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module, res)));
    const int count = data[4] | (data[5] << 8);
    for (int i = 0; i < count; ++i) {
      const BYTE* e = data + 6 + 14 * i;  // width, height, colours, reserved, planes, bits...
      entries.push_back({e[0] ? e[0] : 256, e[1] ? e[1] : 256, e[6] | (e[7] << 8)});
    }
  }
  FreeLibrary(module);
  return entries;
}

COLORREF ReadClientPixel(HWND hwnd, int x, int y) {
  POINT p{x, y};
  ClientToScreen(hwnd, &p);
  HDC screen = GetDC(nullptr);
  COLORREF c = GetPixel(screen, p.x, p.y);
  ReleaseDC(nullptr, screen);
  return c;
}

bool SaveWindowShot(HWND hwnd, const std::string& bmp_path) {
  RECT r = hwnd ? WindowBounds(hwnd)
                : RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;  // bottom-up, as a BMP file stores it
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = ((w * 3 + 3) / 4) * 4;
  const DWORD image_size = stride * h;
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  fh.bfSize = fh.bfOffBits + image_size;
  bi.bmiHeader.biSizeImage = image_size;
  std::ofstream out(bmp_path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(&fh), sizeof(fh));
  out.write(reinterpret_cast<const char*>(&bi.bmiHeader), sizeof(bi.bmiHeader));
  out.write(static_cast<const char*>(bits), image_size);
  const bool ok = out.good();
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return ok;
}

std::string ShotsFolder() {
  char env[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("KX_SHOTS_DIR", env, MAX_PATH);
  std::string folder =
      (n > 0 && n < MAX_PATH) ? std::string(env, n) : BinFolder() + "\\..\\..\\app-shots";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

}  // namespace kx::e2e
