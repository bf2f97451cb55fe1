// The main window fmrebld: its controls, menu and components, its small handlers (FormShow,
// pathFromChange, btnCloseClick, Help2Click, About1Click), the rebuild button wired to the
// rebuild run, and the RebuildView the run draws through.
#pragma once

#include <windows.h>
// The common controls need the base Windows types first.
#include <commctrl.h>

#include <memory>
#include <string>

#include "src/app/engine_thread.h"
#include "src/app/main_layout.h"
#include "src/app/queued_view.h"
#include "src/db/ads_connection.h"
#include "src/db/ads_table.h"
#include "src/rebuild/rebuild_view.h"
#include "src/settings/app_ini_file.h"
#include "src/settings/prop_storage.h"
#include "src/settings/registry_reader.h"
#include "src/widgets/browse_field_win.h"
#include "src/widgets/gdi_handles_win.h"
#include "src/widgets/gradient_background_win.h"

namespace kx::app {

class MainWindow : public rebuild::RebuildView {
 public:
  MainWindow();
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Creates the window (hidden) with its controls and components.
  void Create(HINSTANCE instance, HWND owner);
  // The first showing: the property storage loads, FormShow runs, the window is centred on
  // the screen, shown and activated, and the folder field takes the focus.
  void ShowFirst();
  // Destroys the window: the storage's destroy-time save, the controls, then the components
  // in reverse order of creation (the table before the connection).
  void Destroy();
  HWND Handle() const { return hwnd_; }

  // Handlers of the window.
  void FormShow();
  void pathFromChange();
  void btnCloseClick();
  void Help2Click();
  void About1Click();
  // Starts the rebuild run on the engine thread; the window applies what the run changes as
  // it comes and takes no input until the run has ended.
  void RunRebuild();
  bool Running() const { return run_view_ != nullptr; }

  // RebuildView.
  std::string FolderPath() override;
  void SetFolderPath(const std::string& path) override;
  void SetErrorText(const std::string& text) override;
  void SetErrorVisible(bool visible) override;
  void SetProgressVisible(bool visible) override;
  void SetProgressPosition(int position) override;
  void SetStatusText(const std::string& text) override;
  void SetStatusVisible(bool visible) override;
  void SetExitEnabled(bool enabled) override;
  void FocusExit() override;
  void SetRebuildButtonVisible(bool visible) override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  void CreateControls();
  HMENU CreateMainMenu();
  void OnCommand(int id, int code);
  bool Pressable(HWND button) const;
  void OnClose();
  LRESULT OnQueryEndSession();
  // Applies the run's queued changes; at its end shows its failure and carries out a close
  // request held during the run.
  void OnRunChanged();
  void EndRun(std::exception_ptr failure);
  void OnPaint();
  void PaintContent(HDC dc, const RECT& client);
  HBRUSH OnCtlColorStatic(HDC dc, HWND control);
  // Repaints the window's surface under a child (and the child over it) at once: what a
  // transparent label needs when its text or visibility changes.
  void RepaintArea(const RECT& area);
  RECT ChildRect(HWND child) const;
  void SizeLabelToText(HWND label, HFONT font, bool keep_size_when_empty);
  // Places, sizes and fonts every control at `dpi` (the design times dpi / 96).
  void ApplyLayout(int dpi);
  void ApplyPictures();
  static int ProgressHeightAt96();
  // Destroys the table, then the connection, on the engine thread.
  void DestroyDatabaseComponents();

  HWND hwnd_ = nullptr;
  HINSTANCE instance_ = nullptr;

  // Every engine call of the program is made here: the connection and the table are created,
  // used and destroyed on this thread.
  EngineThread engine_;
  // The run under way, shared with the engine thread's task; null when no run lasts.
  std::shared_ptr<QueuedView> run_view_;
  bool close_pending_ = false;
  bool shutdown_blocked_ = false;

  widgets::ScopedFont font_tahoma10_;
  widgets::ScopedFont font_tahoma8_;
  widgets::ScopedFont font_sans8_;
  widgets::ScopedBrush white_brush_;
  widgets::ScopedImageList process_picture_;
  widgets::ScopedImageList exit_picture_;
  widgets::ScopedIcon big_icon_;
  widgets::ScopedIcon small_icon_;
  MainLayout layout_;

  // Components in creation order.
  std::unique_ptr<widgets::TGradientBackground> Background1;
  HWND Label1 = nullptr;
  HWND Label2 = nullptr;
  HWND Label4 = nullptr;
  HWND lblprogress = nullptr;
  HWND lblerror = nullptr;
  std::unique_ptr<widgets::BrowseField> pathFrom;
  HWND btnProcess = nullptr;
  HWND btnExit = nullptr;
  HWND Progress = nullptr;
  widgets::ScopedMenu MainMenu1;
  std::unique_ptr<db::TAdsConnection> AdsConnection1;
  std::unique_ptr<db::TAdsTable> AdsTable1;
  std::unique_ptr<settings::TPropStorage> iniprop;
  std::unique_ptr<settings::TAppIniFile> tblads;
  std::unique_ptr<settings::TRegistryReader> Registry1;

  bool shown_ = false;
  bool destroying_ = false;
  bool destroyed_ = false;
  // A failed paint is reported once; while the fault lasts later paints fall back to a plain
  // fill silently, so it cannot open one error box after another. A paint that succeeds
  // ends the fault.
  bool paint_failed_ = false;
  std::string paint_error_;
  // The control that had the focus when the window was last deactivated.
  HWND last_focus_ = nullptr;
};

// Posted to the main window to show a paint failure outside the paint cycle.
inline constexpr UINT WM_APP_PAINT_FAILED = WM_APP + 1;
// Posted to the main window by the run's thread after each change it queued.
inline constexpr UINT WM_APP_RUN_CHANGED = WM_APP + 2;

}  // namespace kx::app
