// Program entry: the application object, the main window, the message loop, and the
// destruction of the window and its components when the loop ends.
#include <windows.h>
// The common controls need the base Windows types first.
#include <commctrl.h>

#include "src/app/application_win.h"
#include "src/app/control_ids.h"
#include "src/app/main_window_win.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  kx::app::Application& app = kx::app::Application::Instance();
  app.SetTitle(kx::app::kApplicationTitle);
  app.Initialize(instance);
  {
    kx::app::MainWindow fmrebld;
    fmrebld.Create(instance, app.Handle());
    app.SetMainWindow(fmrebld.Handle());
    ShowWindow(app.Handle(), SW_SHOWNA);
    fmrebld.ShowFirst();
    app.Run();
    app.SetMainWindow(nullptr);
    fmrebld.Destroy();
  }
  return 0;
}
