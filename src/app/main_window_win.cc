#include "src/app/main_window_win.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>

#include "src/app/application_win.h"
#include "src/app/control_ids.h"
#include "src/app/res/resource_ids.h"
#include "src/common/version.h"
#include "src/db/client_engine.h"
#include "src/rebuild/rebuild_run.h"
#include "src/settings/profile_file_win.h"
#include "src/settings/registry_store_win.h"
#include "src/widgets/dpi_win.h"
#include "src/widgets/progress_bar_win.h"

namespace kx::app {
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
std::string AboutText() {
  return std::string("Kestovar Index Re-Build Program\r\nVersion ") + kProgramVersion;
}

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kYellow = RGB(255, 255, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kNavy = RGB(0, 0, 128);
constexpr widgets::TColor kGradientStart = 9981440;  // RGB 0, 78, 152

constexpr wchar_t kShutdownBlockReason[] =
    L"The index files are being rebuilt. Closing now could damage the data.";

std::string WindowTextOf(HWND window) {
  const int n = GetWindowTextLengthA(window);
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  text.resize(static_cast<std::size_t>(std::max(0, GetWindowTextA(window, text.data(), n + 1))));
  return text;
}

HFONT MakeFont(const char* face, int height) {
  return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, face);
}

// A child control; its place, size and font come from the layout.
HWND MakeChild(HWND parent, const char* cls, const char* text, DWORD style, int id) {
  return CreateWindowExA(0, cls, text, WS_CHILD | style, 0, 0, 0, 0, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleA(nullptr), nullptr);
}

// A button picture beside the caption (16 x 16 at 96 DPI): the bitmap's key colour (magenta) marks
// the transparent pixels, so the button's own face shows through them whatever its look. At other
// scalings the picture is stretched by whole pixels' copies (no blending), so the key colour stays
// exact.
HIMAGELIST LoadButtonPicture(HINSTANCE instance, int id, int size) {
  widgets::ScopedBitmap bmp(static_cast<HBITMAP>(
      LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_BITMAP, size, size, LR_CREATEDIBSECTION)));
  if (!bmp) return nullptr;
  HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, 1, 0);
  ImageList_AddMasked(list, bmp.get(), RGB(255, 0, 255));
  return list;
}

void SetButtonPicture(HWND button, HIMAGELIST list, int dpi) {
  BUTTON_IMAGELIST image{};
  image.himl = list;
  image.margin = RECT{ScaleToDpi(2, dpi), 0, ScaleToDpi(2, dpi), 0};
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

  // Created at the design's measures; laid out at the window's scaling once it exists.
  layout_ = LayOutMainWindow(kDesignDpi, ProgressHeightAt96());
  white_brush_.reset(CreateSolidBrush(kWhite));

  // No WS_CLIPCHILDREN: the transparent labels are drawn over the window's own painting.
  MainMenu1.reset(CreateMainMenu());
  hwnd_ = CreateWindowExA(0, kWindowClass, kWindowCaption, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                          CW_USEDEFAULT, layout_.outer_width, layout_.outer_height, owner,
                          MainMenu1.get(), instance, this);
  CreateControls();
  ApplyLayout(widgets::WindowDpi(hwnd_));
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
  Background1 = std::make_unique<widgets::TGradientBackground>(hwnd_);
  Background1->SetColor(widgets::clBtnFace);
  Background1->SetGradientColorStart(kGradientStart);
  Background1->SetGradientColorStop(widgets::clSilver);
  Background1->SetGradientSmooth(layout_.gradient_band);

  const DWORD label_style = WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
  Label1 = MakeChild(hwnd_, "STATIC", kLabel1Text, label_style, kIdLabel1);
  Label2 = MakeChild(hwnd_, "STATIC", kLabel2Text, label_style, kIdLabel2);
  Label4 = MakeChild(hwnd_, "STATIC", kLabel4Text, label_style, kIdLabel4);
  lblprogress = MakeChild(hwnd_, "STATIC", "", SS_LEFT | SS_NOPREFIX, kIdLblProgress);
  lblerror = MakeChild(hwnd_, "STATIC", "", SS_CENTER | SS_CENTERIMAGE | SS_NOPREFIX, kIdLblError);

  // Tab order follows creation: the folder field, "Re-Build", "Exit".
  const LayoutRect& field = layout_.path_from;
  pathFrom = widgets::BrowseField::Create(
      hwnd_, kIdPathFrom,
      RECT{field.left, field.top, field.left + field.width, field.top + field.height}, nullptr);
  pathFrom->SetOptions(widgets::kMainWindowBrowseOptions);
  pathFrom->SetStartWithLast(true);
  pathFrom->SetPath(rebuild::kDefaultDataFolder);  // the path of the window's description
  pathFrom->SetOnChange([this] { pathFromChange(); });

  const DWORD button_style = WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
  btnProcess = MakeChild(hwnd_, "BUTTON", "Re-Build", button_style, kIdBtnProcess);
  btnExit = MakeChild(hwnd_, "BUTTON", "Exit", button_style, kIdBtnExit);
  const LayoutRect& bar = layout_.progress;
  Progress = widgets::CreatePercentProgressBar(hwnd_, kIdProgress, bar.left, bar.top, bar.width,
                                               bar.height);
  // Names for screen readers: the bar's text (it draws none of it), and the field's label
  // just before the field in the window order, where readers look for an edit's name.
  SetWindowTextA(Progress, kProgressName);
  SetWindowPos(Label2, lblerror, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

  auto show_error = [](const Exception& error) { Application::Instance().ShowException(error); };
  // The database components live on the engine thread from their creation to their end.
  engine_.Call([this] {
    AdsConnection1 = std::make_unique<db::TAdsConnection>(db::DefaultClientEngine(),
                                                          "AdsConnection1", "fmrebld");
    AdsTable1 = std::make_unique<db::TAdsTable>("AdsTable1", "fmrebld");
    rebuild::ConfigureRebuildComponents(*AdsConnection1, *AdsTable1);
  });
  iniprop = std::make_unique<settings::TPropStorage>(kWindowClass);
  tblads = std::make_unique<settings::TAppIniFile>(settings::DefaultProfileFile(),
                                                   settings::DefaultProgramLocation());
  tblads->SetIniFileName("ads.ini");
  tblads->SetIniFileType(settings::TIniFileType::ftIniFile);
  tblads->SetErrorDisplay(show_error);
  iniprop->SetAppIniFile(tblads.get());
  iniprop->SetAppSection("Databases");
  iniprop->StoredValues().Add("dravent");
  iniprop->SetErrorDisplay(show_error);
  Registry1 = std::make_unique<settings::TRegistryReader>(settings::DefaultRegistryStore());
  Registry1->SetRootKey(settings::TmRootKey::rkHKEY_CURRENT_USER);
  Registry1->SetKey("\\Software\\Velloran\\Kestovar\\Databases");
  // The window's description is loaded: the storage attaches to the window.
  iniprop->Loaded();
}

int MainWindow::ProgressHeightAt96() {
  // The bar's own default height is the system's at its DPI; the layout scales the design's.
  return MulDiv(GetSystemMetrics(SM_CYVSCROLL), kDesignDpi, widgets::SystemDpi());
}

void MainWindow::ApplyLayout(int dpi) {
  layout_ = LayOutMainWindow(dpi, ProgressHeightAt96());
  widgets::ScopedFont tahoma10(MakeFont("Tahoma", layout_.font_10pt));
  widgets::ScopedFont tahoma8(MakeFont("Tahoma", layout_.font_8pt));
  widgets::ScopedFont sans8(MakeFont("MS Sans Serif", layout_.font_8pt));
  auto place = [](HWND control, HFONT font, const LayoutRect& r) {
    if (font) SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SetWindowPos(control, nullptr, r.left, r.top, r.width, r.height,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
  };
  place(Label1, tahoma10.get(), layout_.label1);
  place(Label4, tahoma10.get(), layout_.label4);
  place(Label2, tahoma10.get(), layout_.label2);
  place(lblerror, tahoma10.get(), layout_.lblerror);
  place(lblprogress, sans8.get(), layout_.lblprogress);
  for (HWND label : {Label1, Label2, Label4}) SizeLabelToText(label, tahoma10.get(), false);
  SizeLabelToText(lblprogress, sans8.get(), true);
  place(pathFrom->Handle(), tahoma8.get(), layout_.path_from);
  pathFrom->SetButtonWidth(layout_.browse_button_width);
  place(btnProcess, tahoma8.get(), layout_.btn_process);
  place(btnExit, tahoma8.get(), layout_.btn_exit);
  place(Progress, nullptr, layout_.progress);
  font_tahoma10_ = std::move(tahoma10);
  font_tahoma8_ = std::move(tahoma8);
  font_sans8_ = std::move(sans8);
  // A message of the error label keeps the width it needs at the new font.
  SetErrorText(WindowTextOf(lblerror));
  ApplyPictures();
  Background1->SetGradientSmooth(layout_.gradient_band);
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void MainWindow::ApplyPictures() {
  process_picture_.reset(LoadButtonPicture(instance_, kResRebuildPicture, layout_.button_picture));
  exit_picture_.reset(LoadButtonPicture(instance_, kResExitPicture, layout_.button_picture));
  SetButtonPicture(btnProcess, process_picture_.get(), layout_.dpi);
  SetButtonPicture(btnExit, exit_picture_.get(), layout_.dpi);
  // The caption and taskbar icons from the larger sizes of the icon at higher scalings.
  auto icon = [this](int size) {
    return static_cast<HICON>(
        LoadImageA(instance_, MAKEINTRESOURCEA(kResAppIcon), IMAGE_ICON, size, size, 0));
  };
  big_icon_.reset(icon(ScaleToDpi(32, layout_.dpi)));
  small_icon_.reset(icon(ScaleToDpi(16, layout_.dpi)));
  SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon_.get()));
  SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_.get()));
}

void MainWindow::SizeLabelToText(HWND label, HFONT font, bool keep_height_when_empty) {
  const std::string text = WindowTextOf(label);
  RECT r{0, 0, 0, 0};
  {
    widgets::ScopedWindowDc dc(label);
    widgets::ScopedSelect select(dc.get(), font);
    if (text.empty()) {
      TEXTMETRICA tm;
      GetTextMetricsA(dc.get(), &tm);
      r.bottom = keep_height_when_empty ? tm.tmHeight : 0;
    } else {
      DrawTextA(dc.get(), text.c_str(), -1, &r, DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS);
    }
  }
  SetWindowPos(label, nullptr, 0, 0, r.right, r.bottom,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
}

void MainWindow::ShowFirst() {
  if (!shown_) {
    shown_ = true;
    Guarded([this] { iniprop->HandleShow([this] { FormShow(); }); });
  }
  // Centred on the whole primary screen by the outer size.
  const int width = layout_.outer_width, height = layout_.outer_height;
  const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  SetWindowPos(hwnd_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
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
  DestroyDatabaseComponents();
  MainMenu1.reset();
  Background1.reset();
  hwnd_ = nullptr;
  for (widgets::ScopedFont* font : {&font_tahoma10_, &font_tahoma8_, &font_sans8_}) font->reset();
  white_brush_.reset();
  process_picture_.reset();
  exit_picture_.reset();
}

void MainWindow::FormShow() {
  engine_.Call([this] { AdsConnection1->SetAliasName(""); });
  const std::string folder = Registry1->ReadValue("kestrun");
  engine_.Call([this, &folder] { AdsConnection1->SetConnectPath(folder); });
  pathFrom->SetPath(Registry1->ReadValue("kestrun"));
}

void MainWindow::DestroyDatabaseComponents() {
  // A disconnect that fails here is still reported, by this thread once the engine's is done.
  std::vector<std::string> errors;
  engine_.Call([this, &errors] {
    db::TAdsConnection::SetTeardownErrorHandler(
        [&errors](const Exception& error) { errors.push_back(error.Message()); });
    AdsTable1.reset();  // a table still open is closed before the connection disconnects
    AdsConnection1.reset();
    db::TAdsConnection::SetTeardownErrorHandler(nullptr);
  });
  for (const std::string& error : errors) Application::Instance().ShowErrorText(error);
}

void MainWindow::pathFromChange() { SetErrorVisible(false); }

void MainWindow::btnCloseClick() { SendMessageA(hwnd_, WM_CLOSE, 0, 0); }

void MainWindow::Help2Click() { Application::Instance().ShowInformation(hwnd_, kHelpText); }

void MainWindow::About1Click() { Application::Instance().ShowInformation(hwnd_, AboutText()); }

void MainWindow::RunRebuild() {
  if (Running()) return;
  HWND window = hwnd_;
  auto view = std::make_shared<QueuedView>(
      pathFrom->Path(), [window] { PostMessageA(window, WM_APP_RUN_CHANGED, 0, 0); });
  run_view_ = view;
  Application::Instance().SetBusy(true);
  // The record of the run goes beside ads.ini; the settings belong to this thread, so the
  // path is taken here and the file is written by the engine thread.
  std::string log_path = rebuild::RunLogPathBeside(tblads->FileName());
  engine_.Post([this, view, log_path] {
    try {
      rebuild::RunLogFile log(log_path);
      rebuild::Button1Click(*view, rebuild::DefaultFileSystem(), *AdsConnection1, *AdsTable1, &log);
    } catch (...) {
      view->Finish(std::current_exception());
      return;
    }
    view->Finish(nullptr);
  });
}

void MainWindow::OnRunChanged() {
  if (!run_view_) return;  // a late notice of a run already ended
  std::exception_ptr failure;
  if (run_view_->ApplyPending(*this, failure)) EndRun(failure);
}

void MainWindow::EndRun(std::exception_ptr failure) {
  run_view_.reset();
  Application::Instance().SetBusy(false);
  if (shutdown_blocked_) {
    ShutdownBlockReasonDestroy(hwnd_);
    shutdown_blocked_ = false;
  }
  if (failure) Guarded([&failure] { std::rethrow_exception(failure); });
  if (close_pending_) {
    close_pending_ = false;
    OnClose();
  }
}

// RebuildView ------------------------------------------------------------------------------

std::string MainWindow::FolderPath() { return pathFrom->Path(); }

void MainWindow::SetFolderPath(const std::string& path) { pathFrom->SetPath(path); }

void MainWindow::SetErrorText(const std::string& text) {
  SetWindowTextA(lblerror, text.c_str());
  // The label keeps its design width, and grows only where a wider rendering of its font
  // would otherwise cut the message off.
  SIZE extent{};
  {
    widgets::ScopedWindowDc dc(lblerror);
    widgets::ScopedSelect select(dc.get(), nullptr);
    GetTextExtentPoint32A(dc.get(), text.c_str(), static_cast<int>(text.size()), &extent);
  }
  const int width =
      std::max(layout_.lblerror.width, static_cast<int>(extent.cx) + ScaleToDpi(4, layout_.dpi));
  SetWindowPos(lblerror, nullptr, 0, 0, width, layout_.lblerror.height,
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
  SizeLabelToText(lblprogress, font_sans8_.get(), true);
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
  return widgets::GuardCallback<LRESULT>(0, [&] { return self->HandleMessage(msg, wp, lp); });
}

LRESULT MainWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      OnCommand(LOWORD(wp), HIWORD(wp));
      return 0;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_QUERYENDSESSION:
      return OnQueryEndSession();
    case WM_DPICHANGED: {
      // Moved to a monitor with another scaling: laid out again, in the rectangle offered.
      ApplyLayout(LOWORD(wp));
      const RECT* offered = reinterpret_cast<const RECT*>(lp);
      SetWindowPos(hwnd_, nullptr, offered->left, offered->top, offered->right - offered->left,
                   offered->bottom - offered->top, SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_APP_RUN_CHANGED:
      OnRunChanged();
      return 0;
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
  if (Running()) return;  // no command of the window works while a run lasts
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

LRESULT MainWindow::OnQueryEndSession() {
  if (Running()) {
    // Ending the session now would leave a table half packed: refused, with the reason.
    if (!shutdown_blocked_) {
      shutdown_blocked_ = ShutdownBlockReasonCreate(hwnd_, kShutdownBlockReason) != FALSE;
    }
    return FALSE;
  }
  // Windows shutting down or the user logging off asks the same close query.
  bool can_close = true;
  iniprop->HandleCloseQuery(can_close);
  return can_close ? TRUE : FALSE;
}

void MainWindow::OnClose() {
  if (Running()) {
    close_pending_ = true;  // carried out when the run ends, so no table is left open
    return;
  }
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
  // Every paint tries the gradient again: a passing fault (a screen too large for the
  // off-screen image, memory short for a moment) does not leave the plain fill for good.
  try {
    Background1->Paint(dc, client);
    paint_failed_ = false;
    return;
  } catch (const std::exception& error) {
    // Reported after the paint cycle, once per lasting fault; the error box itself causes
    // more paints.
    if (!paint_failed_) {
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
    return white_brush_.get();
  }
  COLORREF color = kWhite;
  if (control == Label4) color = kYellow;
  if (control == lblprogress) color = kNavy;
  SetTextColor(dc, color);
  SetBkMode(dc, TRANSPARENT);
  return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
}

}  // namespace kx::app
