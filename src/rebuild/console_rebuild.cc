#include "src/rebuild/console_rebuild.h"

#include <ostream>

#include "src/common/exception.h"
#include "src/db/ads_connection.h"
#include "src/db/ads_table.h"
#include "src/db/client_engine.h"
#include "src/rebuild/rebuild_run.h"

namespace kx::rebuild {

namespace {
// Prints what the window would show; controls without text are not printed.
class ConsoleView : public RebuildView {
 public:
  ConsoleView(std::string folder, std::ostream& out) : folder_(std::move(folder)), out_(out) {}

  std::string FolderPath() override { return folder_; }
  void SetFolderPath(const std::string& path) override {
    folder_ = path;
    out_ << "Folder: " << path << '\n';
  }
  void SetErrorText(const std::string& text) override { error_text_ = text; }
  void SetErrorVisible(bool visible) override { error_visible_ = visible; }
  void SetProgressVisible(bool) override {}
  void SetProgressPosition(int position) override {
    out_ << "Progress: " << position << " %" << std::endl;
  }
  void SetStatusText(const std::string& text) override {
    status_text_ = text;
    if (status_visible_) out_ << status_text_ << std::endl;
  }
  void SetStatusVisible(bool visible) override {
    if (visible && !status_visible_) out_ << status_text_ << std::endl;
    status_visible_ = visible;
  }
  void SetExitEnabled(bool) override {}
  void FocusExit() override {}
  void SetRebuildButtonVisible(bool) override {}

  const std::string& ErrorText() const { return error_text_; }
  bool ErrorVisible() const { return error_visible_; }

 private:
  std::string folder_;
  std::ostream& out_;
  std::string error_text_;
  bool error_visible_ = false;
  std::string status_text_;
  bool status_visible_ = false;
};
}  // namespace

int RunConsoleRebuild(const std::string& folder, std::ostream& out, std::ostream& err,
                      RunLogSink* log) {
  ConsoleView view(folder, out);
  try {
    // Declared in the window's order of creation, so the table is destroyed first.
    db::TAdsConnection connection(db::DefaultClientEngine(), "AdsConnection1");
    db::TAdsTable table("AdsTable1");
    ConfigureRebuildComponents(connection, table);
    if (Button1Click(view, DefaultFileSystem(), connection, table, log) ==
        RebuildOutcome::kCompleted) {
      return 0;
    }
    err << view.ErrorText() << '\n';
    return 1;
  } catch (const Exception& error) {
    err << MessageWithFullStop(error.Message()) << '\n';
  } catch (const std::exception& error) {
    err << MessageWithFullStop(error.what()) << '\n';
  }
  return 2;
}

}  // namespace kx::rebuild
