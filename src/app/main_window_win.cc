#include "app/main_window_win.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>

#include "app/application_win.h"
#include "app/control_ids.h"
#include "app/progress_bar_win.h"
#include "app/res/resource_ids.h"
#include "db/client_engine.h"
#include "rebuild/rebuild_run.h"
#include "settings/profile_file_win.h"
#include "settings/registry_store_win.h"

namespace kx_app {
namespace {

constexpr char kLabel1Text[] =
    "If you receive a Corrupt Index message, you need to run this program\r\n"
    "Make sure you select the location of your files. Then click on the \r\n"
    "Re-Build button to perform an Index file rebuild.  This can be caused \r\n"
    "by losing power  to your server while connected to the database.";
constexpr char kLabel4Text[] =
    "Draventh Application cannot be running to process.  \r\n"
    "Make sure all Users are logged off the system first.";
constexpr char kLabel2Text[] = "Location of files to be re-indexed.";
constexpr char kHelpText[] =
    "Sorry, ther is no Help file associated with this application.  Please \r\n"
    "check the Main applications help file for assistance.";
constexpr char kAboutText[] = "Kestovar Index Re-Build Program\r\nVersion 2.00";

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kYellow = RGB(255, 255, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kNavy = RGB(0, 0, 128);
constexpr TColor kGradientStart = 9981440;  // RGB 0, 78, 152

constexpr int kErrorLabelWidth = 302;
constexpr int kErrorLabelHeight = 19;

// Heights of fonts by point size at 96 pixels per inch.
constexpr int kHeight10pt = -13;
constexpr int kHeight8pt = -11;

HFONT MakeFont(const char* face, int height) {
  return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, face);
}

HWND MakeChild(HWND parent, const char* cls, const char* text, DWORD style, int x, int y, int w,
               int h, int id, HFONT font) {
  HWND child = CreateWindowExA(0, cls, text, WS_CHILD | style, x, y, w, h, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               GetModuleHandleA(nullptr), nullptr);
  if (font) SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return child;
}

// A 16 x 16 button picture beside the caption: the bitmap's key colour (magenta) marks the
// transparent pixels, so the button's own face shows through them whatever its look.
HIMAGELIST LoadButtonPicture(HINSTANCE instance, int id) {
  HBITMAP bmp = static_cast<HBITMAP>(
      LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (!bmp) return nullptr;
  HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 1, 0);
  ImageList_AddMasked(list, bmp, RGB(255, 0, 255));
  DeleteObject(bmp);
  return list;
}

void SetButtonPicture(HWND button, HIMAGELIST list) {
  BUTTON_IMAGELIST image{};
  image.himl = list;
  image.margin = RECT{2, 0, 2, 0};
  image.uAlign = BUTTON_IMAGELIST_ALIGN_LEFT;
  SendMessageA(button, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&image));
}

}  // namespace

MainWindow::MainWindow() = default;

MainWindow::~MainWindow() { Destroy(); }

void MainWindow::Create(HINSTANCE instance, HWND owner) {
  instance_ = instance;
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hIcon =
      static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(kResAppIcon), IMAGE_ICON,
                                    GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
  wc.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(kResAppIcon), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), 0));
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = nullptr;  // the gradient paints everything
  wc.lpszClassName = kWindowClass;
  RegisterClassExA(&wc);

  font_tahoma10_ = MakeFont("Tahoma", kHeight10pt);
  font_tahoma8_ = MakeFont("Tahoma", kHeight8pt);
  font_sans8_ = MakeFont("MS Sans Serif", kHeight8pt);
  white_brush_ = CreateSolidBrush(kWhite);

  // No WS_CLIPCHILDREN: the transparent labels are drawn over the window's own painting.
  MainMenu1 = CreateMainMenu();
  hwnd_ =
      CreateWindowExA(0, kWindowClass, kWindowCaption, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                      CW_USEDEFAULT, kOuterWidth, kOuterHeight, owner, MainMenu1, instance, this);
  SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(wc.hIcon));
  SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(wc.hIconSm));
  CreateControls();
}

HMENU MainWindow::CreateMainMenu() {
  HMENU file = CreatePopupMenu();
  AppendMenuA(file, MF_STRING, kCmdRebuildIndexes, "Re-Build Indexes");
  AppendMenuA(file, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(file, MF_STRING, kCmdExit, "Exit");
  HMENU help = CreatePopupMenu();
  AppendMenuA(help, MF_STRING, kCmdHelp, "Help");
  AppendMenuA(help, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(help, MF_STRING, kCmdAbout, "About...");
  HMENU bar = CreateMenu();
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "File");
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), "Help");
  return bar;
}

void MainWindow::CreateControls() {
  Background1 = std::make_unique<TGradientBackground>(hwnd_);
  Background1->SetColor(clBtnFace);
  Background1->SetGradientColorStart(kGradientStart);
  Background1->SetGradientColorStop(clSilver);
  Background1->SetGradientSmooth(4);

  const DWORD label_style = WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
  Label1 = MakeChild(hwnd_, "STATIC", kLabel1Text, label_style, 8, 4, 400, 64, kIdLabel1,
                     font_tahoma10_);
  Label2 = MakeChild(hwnd_, "STATIC", kLabel2Text, label_style, 8, 176, 191, 16, kIdLabel2,
                     font_tahoma10_);
  Label4 = MakeChild(hwnd_, "STATIC", kLabel4Text, label_style, 8, 96, 348, 32, kIdLabel4,
                     font_tahoma10_);
  lblprogress = MakeChild(hwnd_, "STATIC", "", SS_LEFT | SS_NOPREFIX, 32, 288, 0, 13,
                          kIdLblProgress, font_sans8_);
  lblerror = MakeChild(hwnd_, "STATIC", "", SS_CENTER | SS_CENTERIMAGE | SS_NOPREFIX, 7, 216,
                       kErrorLabelWidth, kErrorLabelHeight, kIdLblError, font_tahoma10_);
  for (HWND label : {Label1, Label2, Label4}) SizeLabelToText(label, font_tahoma10_, false);
  SizeLabelToText(lblprogress, font_sans8_, true);

  // Tab order follows creation: the folder field, "Re-Build", "Exit".
  pathFrom =
      BrowseField::Create(hwnd_, kIdPathFrom, RECT{8, 192, 8 + 477, 192 + 21}, font_tahoma8_);
  pathFrom->SetOptions(kMainWindowBrowseOptions);
  pathFrom->SetStartWithLast(true);
  pathFrom->SetPath(kDefaultDataFolder);  // the path of the window's description
  pathFrom->SetOnChange([this] { pathFromChange(); });

  const DWORD button_style = WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
  btnProcess = MakeChild(hwnd_, "BUTTON", "Re-Build", button_style, 32, 236, 75, 25, kIdBtnProcess,
                         font_tahoma8_);
  btnExit =
      MakeChild(hwnd_, "BUTTON", "Exit", button_style, 212, 276, 75, 25, kIdBtnExit, font_tahoma8_);
  process_picture_ = LoadButtonPicture(instance_, kResRebuildPicture);
  exit_picture_ = LoadButtonPicture(instance_, kResExitPicture);
  SetButtonPicture(btnProcess, process_picture_);
  SetButtonPicture(btnExit, exit_picture_);

  Progress =
      CreatePercentProgressBar(hwnd_, kIdProgress, 31, 264, 121, GetSystemMetrics(SM_CYVSCROLL));

  auto show_error = [](const Exception& error) { Application::Instance().ShowException(error); };
  AdsConnection1 =
      std::make_unique<TAdsConnection>(DefaultClientEngine(), "AdsConnection1", "fmrebld");
  AdsTable1 = std::make_unique<TAdsTable>("AdsTable1", "fmrebld");
  ConfigureRebuildComponents(*AdsConnection1, *AdsTable1);
  // A disconnect that fails while the program ends is still reported.
  TAdsConnection::SetTeardownErrorHandler(show_error);
  iniprop = std::make_unique<TPropStorage>(kWindowClass);
  tblads = std::make_unique<TAppIniFile>(DefaultProfileFile(), DefaultProgramLocation());
  tblads->SetIniFileName("ads.ini");
  tblads->SetIniFileType(TIniFileType::ftIniFile);
  tblads->SetErrorDisplay(show_error);
  iniprop->SetAppIniFile(tblads.get());
  iniprop->SetAppSection("Databases");
  iniprop->StoredValues().Add("dravent");
  iniprop->SetErrorDisplay(show_error);
  Registry1 = std::make_unique<TRegistryReader>(DefaultRegistryStore());
  Registry1->SetRootKey(TmRootKey::rkHKEY_CURRENT_USER);
  Registry1->SetKey("\\Software\\Velloran\\Kestovar\\Databases");
  // The window's description is loaded: the storage attaches to the window.
  iniprop->Loaded();
}

void MainWindow::SizeLabelToText(HWND label, HFONT font, bool keep_height_when_empty) {
  const int n = GetWindowTextLengthA(label);
  std::string text(n + 1, '\0');
  GetWindowTextA(label, text.data(), n + 1);
  text.resize(n);
  HDC dc = GetDC(label);
  HGDIOBJ old = SelectObject(dc, font);
  RECT r{0, 0, 0, 0};
  if (text.empty()) {
    TEXTMETRICA tm;
    GetTextMetricsA(dc, &tm);
    r.bottom = keep_height_when_empty ? tm.tmHeight : 0;
  } else {
    DrawTextA(dc, text.c_str(), -1, &r, DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS);
  }
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  SetWindowPos(label, nullptr, 0, 0, r.right, r.bottom,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
}

void MainWindow::ShowFirst() {
  if (!shown_) {
    shown_ = true;
    Guarded([this] { iniprop->HandleShow([this] { FormShow(); }); });
  }
  // Centred on the whole primary screen by the outer size.
  const int left = (GetSystemMetrics(SM_CXSCREEN) - kOuterWidth) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - kOuterHeight) / 2;
  SetWindowPos(hwnd_, nullptr, left, top, kOuterWidth, kOuterHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  SetForegroundWindow(hwnd_);
  SetActiveWindow(hwnd_);
  SetFocus(pathFrom->Handle());
}

void MainWindow::Destroy() {
  if (destroying_ || !hwnd_) return;
  destroying_ = true;
  // The window still paints while an error of this save is shown.
  Guarded([this] { iniprop->HandleDestroy(); });
  destroyed_ = true;
  // The menu is detached so that it outlives the components, as the last thing destroyed.
  SetMenu(hwnd_, nullptr);
  DestroyWindow(hwnd_);  // the controls go with the window
  pathFrom.reset();
  // The remaining components in reverse order of creation: the table is closed before the
  // connection disconnects.
  Registry1.reset();
  tblads.reset();
  iniprop.reset();
  AdsTable1.reset();
  AdsConnection1.reset();
  if (MainMenu1) DestroyMenu(MainMenu1);
  MainMenu1 = nullptr;
  Background1.reset();
  hwnd_ = nullptr;
  for (HGDIOBJ object : {static_cast<HGDIOBJ>(font_tahoma10_), static_cast<HGDIOBJ>(font_tahoma8_),
                         static_cast<HGDIOBJ>(font_sans8_), static_cast<HGDIOBJ>(white_brush_)}) {
    if (object) DeleteObject(object);
  }
  for (HIMAGELIST list : {process_picture_, exit_picture_}) {
    if (list) ImageList_Destroy(list);
  }
}

void MainWindow::FormShow() {
  AdsConnection1->SetAliasName("");
  AdsConnection1->SetConnectPath(Registry1->ReadValue("kestrun"));
  pathFrom->SetPath(Registry1->ReadValue("kestrun"));
}

void MainWindow::pathFromChange() { SetErrorVisible(false); }

void MainWindow::btnCloseClick() { SendMessageA(hwnd_, WM_CLOSE, 0, 0); }

void MainWindow::Help2Click() { Application::Instance().ShowInformation(hwnd_, kHelpText); }

void MainWindow::About1Click() { Application::Instance().ShowInformation(hwnd_, kAboutText); }

void MainWindow::RunRebuild() {
  RunLogFile log(RunLogPathBeside(tblads->FileName()));
  Button1Click(*this, DefaultFileSystem(), *AdsConnection1, *AdsTable1, &log);
}

// RebuildView ------------------------------------------------------------------------------

std::string MainWindow::FolderPath() { return pathFrom->Path(); }

void MainWindow::SetFolderPath(const std::string& path) { pathFrom->SetPath(path); }

void MainWindow::SetErrorText(const std::string& text) {
  SetWindowTextA(lblerror, text.c_str());
  // The label keeps its design width, and grows only where a wider rendering of its font
  // would otherwise cut the message off.
  HDC dc = GetDC(lblerror);
  HGDIOBJ old = SelectObject(dc, font_tahoma10_);
  SIZE extent{};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  SelectObject(dc, old);
  ReleaseDC(lblerror, dc);
  const int width = std::max(kErrorLabelWidth, static_cast<int>(extent.cx) + 4);
  SetWindowPos(lblerror, nullptr, 0, 0, width, kErrorLabelHeight,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::SetErrorVisible(bool visible) {
  if (IsWindowVisible(lblerror) == (visible ? TRUE : FALSE)) return;
  ShowWindow(lblerror, visible ? SW_SHOWNA : SW_HIDE);
}

void MainWindow::SetProgressVisible(bool visible) {
  ShowWindow(Progress, visible ? SW_SHOWNA : SW_HIDE);
  if (visible) UpdateWindow(Progress);
}

void MainWindow::SetProgressPosition(int position) {
  SendMessageA(Progress, PBM_SETPOS, position, 0);
  RedrawWindow(Progress, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void MainWindow::SetStatusText(const std::string& text) {
  const RECT before = ChildRect(lblprogress);
  SetWindowTextA(lblprogress, text.c_str());
  SizeLabelToText(lblprogress, font_sans8_, true);
  if (IsWindowVisible(lblprogress)) {
    RECT after = ChildRect(lblprogress), both;
    UnionRect(&both, &before, &after);
    RepaintArea(both);
  }
}

void MainWindow::SetStatusVisible(bool visible) {
  ShowWindow(lblprogress, visible ? SW_SHOWNA : SW_HIDE);
  RepaintArea(ChildRect(lblprogress));
}

void MainWindow::SetExitEnabled(bool enabled) { EnableWindow(btnExit, enabled ? TRUE : FALSE); }

void MainWindow::FocusExit() { SetFocus(btnExit); }

void MainWindow::SetRebuildButtonVisible(bool visible) {
  ShowWindow(btnProcess, visible ? SW_SHOWNA : SW_HIDE);
}

// Messages ---------------------------------------------------------------------------------

RECT MainWindow::ChildRect(HWND child) const {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(HWND_DESKTOP, hwnd_, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

void MainWindow::RepaintArea(const RECT& area) {
  RedrawWindow(hwnd_, &area, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  MainWindow* self = nullptr;
  if (msg == WM_NCCREATE) {
    self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->hwnd_ = hwnd;
  } else {
    self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  }
  if (!self || self->destroyed_) return DefWindowProcA(hwnd, msg, wp, lp);
  // The boundary of every handler: an exception is shown and the program goes on.
  try {
    return self->HandleMessage(msg, wp, lp);
  } catch (const std::exception& error) {
    Application::Instance().ShowException(error);
    return 0;
  }
}

LRESULT MainWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      OnCommand(LOWORD(wp), HIWORD(wp));
      return 0;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_QUERYENDSESSION: {
      // Windows shutting down or the user logging off asks the same close query.
      bool can_close = true;
      iniprop->HandleCloseQuery(can_close);
      return can_close ? TRUE : FALSE;
    }
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers the whole surface
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_PRINTCLIENT: {
      RECT client;
      GetClientRect(hwnd_, &client);
      PaintContent(reinterpret_cast<HDC>(wp), client);
      return 0;
    }
    case WM_SIZE:
      // The gradient depends on the height: everything is drawn anew.
      RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
      return 0;
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<LRESULT>(
          OnCtlColorStatic(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp)));
    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == SC_MINIMIZE) {
        Application::Instance().Minimize();
        return 0;
      }
      break;
    case WM_ACTIVATE:
      if (LOWORD(wp) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) last_focus_ = focus;
      } else if (last_focus_ && IsWindow(last_focus_) && IsWindowEnabled(last_focus_) &&
                 IsWindowVisible(last_focus_)) {
        SetFocus(last_focus_);
        return 0;
      }
      break;
    case WM_APP_PAINT_FAILED:
      Application::Instance().ShowErrorText(paint_error_);
      return 0;
  }
  return DefWindowProcA(hwnd_, msg, wp, lp);
}

bool MainWindow::Pressable(HWND button) const {
  return IsWindowVisible(button) && IsWindowEnabled(button);
}

void MainWindow::OnCommand(int id, int code) {
  switch (id) {
    case IDOK: {
      // Enter presses the push button that has the focus (no button is the default one).
      HWND focus = GetFocus();
      if ((focus == btnProcess || focus == btnExit) && Pressable(focus)) {
        OnCommand(GetDlgCtrlID(focus), BN_CLICKED);
      }
      break;
    }
    case kIdBtnProcess:
      // A click that reaches a hidden or disabled button (a message sent by another
      // program, say) is not a press.
      if (code == BN_CLICKED && Pressable(btnProcess)) RunRebuild();
      break;
    case kCmdRebuildIndexes:
      if (code == 0) RunRebuild();
      break;
    case kIdBtnExit:
      if (code == BN_CLICKED && Pressable(btnExit)) btnCloseClick();
      break;
    case kCmdExit:
      if (code == 0) btnCloseClick();
      break;
    case kCmdHelp:
      if (code == 0) Help2Click();
      break;
    case kCmdAbout:
      if (code == 0) About1Click();
      break;
    default:
      break;  // IDCANCEL from Esc presses nothing
  }
}

void MainWindow::OnClose() {
  bool can_close = true;
  iniprop->HandleCloseQuery(can_close);
  if (can_close) Application::Instance().Terminate();
}

void MainWindow::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd_, &ps);
  RECT client;
  GetClientRect(hwnd_, &client);
  // Controls with a surface of their own are left out, so they do not flicker.
  for (HWND opaque :
       {pathFrom ? pathFrom->Handle() : nullptr, btnProcess, btnExit, Progress, lblerror}) {
    if (opaque && IsWindowVisible(opaque)) {
      const RECT r = ChildRect(opaque);
      ExcludeClipRect(dc, r.left, r.top, r.right, r.bottom);
    }
  }
  PaintContent(dc, client);
  EndPaint(hwnd_, &ps);
}

void MainWindow::PaintContent(HDC dc, const RECT& client) {
  if (!paint_failed_) {
    try {
      Background1->Paint(dc, client);
      return;
    } catch (const std::exception& error) {
      // Reported after the paint cycle, once; the error box itself causes more paints.
      paint_failed_ = true;
      const auto* own = dynamic_cast<const Exception*>(&error);
      paint_error_ = own ? own->Message() : error.what();
      PostMessageA(hwnd_, WM_APP_PAINT_FAILED, 0, 0);
    }
  }
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
}

HBRUSH MainWindow::OnCtlColorStatic(HDC dc, HWND control) {
  if (control == lblerror) {
    SetTextColor(dc, kRed);
    SetBkColor(dc, kWhite);
    return white_brush_;
  }
  COLORREF color = kWhite;
  if (control == Label4) color = kYellow;
  if (control == lblprogress) color = kNavy;
  SetTextColor(dc, color);
  SetBkMode(dc, TRANSPARENT);
  return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
}

}  // namespace kx_app
