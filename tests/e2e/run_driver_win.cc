// kxrundriver: runs one complete rebuild through the program's window, as a user would, and
// reports how it went. Used by the headless main job, where nobody watches the window.
//
//   kxrundriver PROGRAM.exe EXPECTED_FOLDER SHOT.bmp [--timeout SECONDS]
//
// It starts the program, waits for its main window, checks that the folder field shows
// EXPECTED_FOLDER, presses "Re-Build", waits for the completed state, saves a picture of the
// window as a BMP, closes the program through Exit and waits for it to end.
//
// Exit code 0 only when all of that happened. Anything else (the folder field showing another
// folder, the folder check refusing the folder, an error box, a time-out, the program ending
// by itself or with a non-zero code) is reported with what the window showed, and the exit
// code is 1; 2 means the command line was wrong.
#include <windows.h>
// The common controls need the base Windows types first.
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "src/app/control_ids.h"
#include "tests/e2e/driver_win.h"

namespace kx::e2e {
namespace {

using app::kIdBtnExit;
using app::kIdBtnProcess;
using app::kIdLblError;
using app::kIdLblProgress;
using app::kIdPathFrom;
using app::kIdProgress;

constexpr char kCompletedText[] = "Re-Index Completed - Click Exit";
constexpr int kExitUsage = 2;
constexpr int kExitFailed = 1;

struct Options {
  std::string program;
  std::string folder;
  std::string shot;
  int timeout_seconds = 600;
};

bool ParseOptions(int argc, char** argv, Options* options) {
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--timeout") {
      if (i + 1 >= argc) return false;
      char* end = nullptr;
      const long value = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || value < 1 || value > 24 * 3600) return false;
      options->timeout_seconds = static_cast<int>(value);
    } else if (positional == 0) {
      options->program = arg;
      ++positional;
    } else if (positional == 1) {
      options->folder = arg;
      ++positional;
    } else if (positional == 2) {
      options->shot = arg;
      ++positional;
    } else {
      return false;
    }
  }
  return positional == 3;
}

void Say(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

void Fail(const std::string& line) {
  std::fputs(("kxrundriver: " + line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

// What the window shows now: the lines a failure report needs to be understood.
std::string DescribeWindow(HWND main) {
  HWND status = ChildById(main, kIdLblProgress);
  HWND error = ChildById(main, kIdLblError);
  HWND progress = ChildById(main, kIdProgress);
  HWND exit_button = ChildById(main, kIdBtnExit);
  std::string text = "  status label: ";
  text += IsShown(status) ? "\"" + WindowText(status) + "\"" : "hidden";
  text += "\n  error label: ";
  text += IsShown(error) ? "\"" + WindowText(error) + "\"" : "hidden";
  text += "\n  progress: ";
  text += IsShown(progress) ? std::to_string(ProgressPosition(progress)) : "hidden";
  text += "\n  Exit button: ";
  text += IsEnabledWindow(exit_button) ? "enabled" : "disabled";
  return text;
}

// Lets the program paint what it has queued, then saves the window.
void SaveShot(HWND main, const std::string& path) {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
  Sleep(300);
  if (SaveWindowShot(main, path)) {
    Say("screenshot: " + path);
  } else {
    Fail("could not save the screenshot to " + path);
  }
}

// Reads an open error box, reports it and presses its OK button.
void ReportMessageBox(HWND box) {
  const MessageBoxInfo info = ReadMessageBox(box);
  Fail("the program showed a message box \"" + info.caption + "\": " + info.text);
  AnswerMessageBox(box, "OK");
  WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, milliseconds(5000));
}

// Closes a program that failed through its close box, answering any box that appears on
// the way, and ends it if it will not go.
void CloseAfterFailure(Program& program, HWND main) {
  if (program.HasExited()) return;
  if (HWND box = program.MessageBoxNow()) ReportMessageBox(box);
  if (main != nullptr && IsWindow(main)) PostClose(main);
  const bool ended = WaitUntil(
      [&] {
        if (HWND box = program.MessageBoxNow()) ReportMessageBox(box);
        return program.HasExited();
      },
      milliseconds(10000));
  if (!ended) {
    Fail("the program did not end after the close box; ending it");
    program.Kill();
  }
}

// A step of the run that did not go as it should: what to report, and what is left to do
// about the program.
struct RunFailure {
  std::string reason;        // reported as the failure ("" when the step reported it)
  bool show_window = false;  // describe the window and save its picture
  bool close = true;         // close the program (false: it has ended already)
};

// The controls the run reads and presses.
struct Controls {
  HWND main, field, rebuild, exit_button, status, error, progress;
};

// Waits for the main window and for any error box that its show handler raises.
HWND WaitForWindow(Program& program) {
  HWND main = program.WaitForMainWindow(milliseconds(60000));
  if (main == nullptr) {
    if (HWND box = program.MessageBoxNow()) ReportMessageBox(box);
    throw RunFailure{program.HasExited() ? "the program ended before its window appeared, exit "
                                           "code " +
                                               std::to_string(program.ExitCode())
                                         : "the program's window did not appear within 60 s"};
  }
  return main;
}

// The window's show handler fills the field; any error it raises is shown in a box.
void CheckNoErrorBox(Program& program) {
  if (HWND box = program.WaitForMessageBox(milliseconds(500))) {
    ReportMessageBox(box);
    throw RunFailure{};
  }
}

Controls FindControls(HWND main) {
  const Controls c{main,
                   ChildById(main, kIdPathFrom),
                   ChildById(main, kIdBtnProcess),
                   ChildById(main, kIdBtnExit),
                   ChildById(main, kIdLblProgress),
                   ChildById(main, kIdLblError),
                   ChildById(main, kIdProgress)};
  if (!c.field || !c.rebuild || !c.exit_button || !c.status || !c.error || !c.progress) {
    throw RunFailure{"the main window lacks one of its controls"};
  }
  return c;
}

void CheckFolder(const Controls& c, const std::string& expected) {
  const std::string shown = WindowText(c.field);
  if (shown != expected) {
    throw RunFailure{"the folder field shows \"" + shown + "\", expected \"" + expected + "\""};
  }
  Say("folder field: " + shown);
}

// Presses "Re-Build" and waits for the run to end; returns how long it took in seconds.
double RunRebuild(Program& program, const Controls& c, int timeout_seconds) {
  const auto run_started = std::chrono::steady_clock::now();
  Click(c.rebuild);
  // The run holds the program's thread until it ends: only window styles are read while it
  // lasts, which need no answer from the program.
  HWND box = nullptr;
  bool refused = false;
  const bool ended = WaitUntil(
      [&] {
        if ((box = program.MessageBoxNow()) != nullptr) return true;
        if (IsShown(c.error)) return refused = true;
        return !IsShown(c.rebuild) || program.HasExited();
      },
      std::chrono::seconds(timeout_seconds));
  if (program.HasExited()) {
    throw RunFailure{
        "the program ended during the run, exit code " + std::to_string(program.ExitCode()), false,
        false};
  }
  if (!ended) {
    throw RunFailure{"the run did not complete within " + std::to_string(timeout_seconds) + " s",
                     true};
  }
  if (refused) throw RunFailure{"the folder was refused: \"" + WindowText(c.error) + "\"", true};
  if (box != nullptr) {
    ReportMessageBox(box);
    throw RunFailure{"", true};
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - run_started).count();
}

// The completed state, once the program answers again.
void WaitForCompleted(const Controls& c, double run_seconds) {
  const bool completed = WaitUntil(
      [&] {
        return WindowText(c.status) == kCompletedText && ProgressPosition(c.progress) == 100 &&
               IsEnabledWindow(c.exit_button) && IsShown(c.status);
      },
      milliseconds(10000));
  if (!completed) throw RunFailure{"the run ended without the completed state", true};
  char seconds[32];
  std::snprintf(seconds, sizeof(seconds), "%.2f", run_seconds);
  Say(std::string("completed: \"") + kCompletedText + "\", progress 100, Exit enabled");
  Say(std::string("run time: ") + seconds + " s");
}

void ExitProgram(Program& program, const Controls& c) {
  Click(c.exit_button);
  if (!program.WaitForExit(milliseconds(30000))) {
    throw RunFailure{"the program did not end after Exit"};
  }
  if (program.ExitCode() != 0) {
    throw RunFailure{"the program ended with exit code " + std::to_string(program.ExitCode()),
                     false, false};
  }
}

// Reports a failed step with what the window shows, and closes the program.
void ReportFailure(const RunFailure& failure, Program& program, HWND main,
                   const std::string& shot) {
  if (!failure.reason.empty()) Fail(failure.reason);
  if (failure.show_window) {
    Say("the window shows:\n" + DescribeWindow(main));
    SaveShot(main, shot);
  }
  if (failure.close) CloseAfterFailure(program, main);
}

int Drive(const Options& options) {
  const auto started = std::chrono::steady_clock::now();
  std::unique_ptr<Program> program = Program::Start(options.program);
  HWND main = nullptr;
  try {
    main = WaitForWindow(*program);
    CheckNoErrorBox(*program);
    const Controls controls = FindControls(main);
    CheckFolder(controls, options.folder);
    const double run_seconds = RunRebuild(*program, controls, options.timeout_seconds);
    WaitForCompleted(controls, run_seconds);
    SaveShot(main, options.shot);
    ExitProgram(*program, controls);
  } catch (const RunFailure& failure) {
    ReportFailure(failure, *program, main, options.shot);
    return kExitFailed;
  }
  char seconds[32];
  std::snprintf(seconds, sizeof(seconds), "%.2f",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  Say(std::string("program ended through Exit after ") + seconds + " s");
  return 0;
}

}  // namespace

int DriverMain(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fputs(
        "usage: kxrundriver PROGRAM.exe EXPECTED_FOLDER SHOT.bmp [--timeout SECONDS]\n"
        "  starts PROGRAM.exe, checks that its folder field shows EXPECTED_FOLDER, runs the\n"
        "  rebuild, saves the finished window to SHOT.bmp and ends the program through Exit\n",
        stderr);
    return kExitUsage;
  }
  try {
    return Drive(options);
  } catch (const std::exception& e) {
    Fail(e.what());
    return kExitFailed;
  }
}

}  // namespace kx::e2e

int main(int argc, char** argv) { return kx::e2e::DriverMain(argc, argv); }
