#include "src/widgets/browse_dialog_win.h"

#include <shlobj.h>

#include <cstdint>
#include <memory>

#include "src/widgets/modal_win.h"
#include "src/widgets/window_guard_win.h"

namespace kx::widgets {

namespace {

constexpr std::uint32_t kDialogSignature = 0x424C4744;  // marks a live TBrowseDlg

// Restores the process error mode at scope exit.
class ErrorModeGuard {
 public:
  ErrorModeGuard() : previous_(SetErrorMode(SEM_FAILCRITICALERRORS)) {}
  ~ErrorModeGuard() { SetErrorMode(previous_); }
  ErrorModeGuard(const ErrorModeGuard&) = delete;
  ErrorModeGuard& operator=(const ErrorModeGuard&) = delete;

 private:
  UINT previous_;
};

// Initialises the thread's object library in apartment mode for the new dialog style and
// uninitialises it afterwards, but only when the initialisation succeeded.
class ComApartment {
 public:
  ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  bool ChangedMode() const { return result_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT result_;
};

// The file-system path of a shell item, blanks trimmed; empty when it has none.
std::string ItemPath(LPCITEMIDLIST item) {
  char path[MAX_PATH + 1] = "";
  if (!item || !SHGetPathFromIDListA(item, path)) path[0] = '\0';
  path[MAX_PATH] = '\0';
  return TrimPathBlanks(path);
}

void SetDialogStatus(HWND dialog, const std::string& text) {
  SendMessageA(dialog, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(text.c_str()));
}
}  // namespace

// The shell dialog's callback, with access to the dialog object's private state.
struct BrowseCallbackAccess {
  static int CALLBACK Callback(HWND dialog, UINT msg, LPARAM param, LPARAM data);
  static int Handle(HWND dialog, UINT msg, LPARAM param, LPARAM data);
  static void Place(TBrowseDlg& self, HWND dialog);
};

namespace {

struct DialogRecord {
  std::uint32_t signature = kDialogSignature;
  TBrowseDlg* dialog = nullptr;
};

}  // namespace

void BrowseCallbackAccess::Place(TBrowseDlg& self, HWND dialog) {
  RECT own;
  if (!GetWindowRect(dialog, &own)) return;
  ScreenRect reference{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  RECT active;
  if (self.reference_window_ && IsWindowVisible(self.reference_window_) &&
      GetWindowRect(self.reference_window_, &active)) {
    reference = {active.left, active.top, active.right, active.bottom};
  }
  const int vx = GetSystemMetrics(SM_XVIRTUALSCREEN);
  const int vy = GetSystemMetrics(SM_YVIRTUALSCREEN);
  const ScreenRect desktop{vx, vy, vx + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                           vy + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  const ScreenPoint at =
      PlaceDialog(reference, own.right - own.left, own.bottom - own.top, desktop);
  SetWindowPos(dialog, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int CALLBACK BrowseCallbackAccess::Callback(HWND dialog, UINT msg, LPARAM param, LPARAM data) {
  return GuardCallback(0, [&] { return Handle(dialog, msg, param, data); });
}

int BrowseCallbackAccess::Handle(HWND dialog, UINT msg, LPARAM param, LPARAM data) {
  auto* record = reinterpret_cast<DialogRecord*>(data);
  if (!record || record->signature != kDialogSignature || !record->dialog) return 0;
  TBrowseDlg& self = *record->dialog;
  switch (msg) {
    case BFFM_INITIALIZED:
      self.dialog_ = dialog;
      if (!self.CaptionTitle.empty()) SetWindowTextA(dialog, self.CaptionTitle.c_str());
      if (!self.StatusText.empty()) SetDialogStatus(dialog, self.StatusText);
      if (!self.SelectedFolder.empty()) {
        SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE,
                     reinterpret_cast<LPARAM>(self.SelectedFolder.c_str()));
      }
      SendMessageA(dialog, BFFM_ENABLEOK, 0, HasOption(self.Options, doEnableOK) ? 1 : 0);
      Place(self, dialog);
      return 0;
    case BFFM_SELCHANGED:
      if (HasOption(self.Options, doShowPath)) {
        const std::string status =
            ShortenPath(ItemPath(reinterpret_cast<LPCITEMIDLIST>(param)), kStatusPathChars);
        if (status != self.StatusText) {
          self.StatusText = status;
          SetDialogStatus(dialog, status);
        }
      }
      return 0;
    default:
      return 0;
  }
}

bool TBrowseDlg::Execute(HWND owner) {
  HWND top = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
  reference_window_ = GetActiveWindow();

  LPITEMIDLIST root = nullptr;
  if (StartFolder != kStartFolderDesktopExpanded &&
      FAILED(SHGetSpecialFolderLocation(top, StartFolder, &root))) {
    root = nullptr;
  }
  struct RootGuard {
    LPITEMIDLIST item;
    ~RootGuard() {
      if (item) CoTaskMemFree(item);
    }
  } root_guard{root};

  char display_name[MAX_PATH + 1] = "";
  DialogRecord record;
  record.dialog = this;
  BROWSEINFOA info = {};
  info.hwndOwner = top;
  info.pidlRoot = root;
  info.pszDisplayName = display_name;
  info.lpszTitle = Caption.c_str();
  info.ulFlags = BrowseFlags(Options);
  info.lpfn = &BrowseCallbackAccess::Callback;
  info.lParam = reinterpret_cast<LPARAM>(&record);

  LPITEMIDLIST chosen = nullptr;
  {
    std::unique_ptr<ComApartment> apartment;
    if (HasOption(Options, doNewGUI)) {
      apartment = std::make_unique<ComApartment>();
      if (apartment->ChangedMode()) info.ulFlags = WithoutNewGuiFlags(info.ulFlags);
    }
    OtherWindowsDisabled disabled(top);
    ErrorModeGuard error_mode;
    chosen = SHBrowseForFolderA(&info);
  }
  dialog_ = nullptr;
  if (!chosen) return false;
  SelectedFolder = ItemPath(chosen);
  CoTaskMemFree(chosen);
  display_name[MAX_PATH] = '\0';
  DisplayName = display_name;
  return true;
}

}  // namespace kx::widgets
