// The headless run's driver against the real program: it must report success only for a run
// that completed, and name the cause of every other outcome.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>

#include "engine/verify.h"
#include "tests/e2e/driver_win.h"
#include "tools/kxdata/sample_folder.h"

namespace kx::e2e {

using namespace e2e;

namespace {

struct Outcome {
  DWORD exit_code = 0;
  std::string output;
};

std::string Quote(const std::string& arg) { return "\"" + arg + "\""; }

// Runs the driver with the given arguments and collects what it prints.
Outcome RunDriver(const std::string& arguments) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) throw std::runtime_error("CreatePipe");
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  const std::string exe = BinFolder() + "\\kxrundriver.exe";
  std::string command = Quote(exe) + " " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &info)) {
    CloseHandle(read_end);
    CloseHandle(write_end);
    throw std::runtime_error("CreateProcessA of kxrundriver.exe failed");
  }
  CloseHandle(write_end);
  Outcome outcome;
  // Read until the driver has ended and what it wrote is drained, not until the end of the
  // pipe: a process started meanwhile (Wine's desktop process, when the driver's program is
  // the first window of the session) inherits the write end and keeps it open long after.
  for (bool ended = false; !ended;) {
    ended = WaitForSingleObject(info.hProcess, 20) == WAIT_OBJECT_0;
    DWORD available = 0;
    while (PeekNamedPipe(read_end, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
      char buffer[4096];
      DWORD n = 0;
      if (!ReadFile(read_end, buffer, std::min<DWORD>(available, sizeof buffer), &n, nullptr) ||
          n == 0) {
        break;
      }
      outcome.output.append(buffer, n);
    }
  }
  CloseHandle(read_end);
  GetExitCodeProcess(info.hProcess, &outcome.exit_code);
  CloseHandle(info.hProcess);
  CloseHandle(info.hThread);
  return outcome;
}

void MakeSmallSample(const std::string& dir) {
  kxdata::SampleOptions options;
  options.items = 200;
  options.trans = 1000;
  options.customers = 20;
  options.vendors = 5;
  options.locations = 2;
  kxdata::MakeSampleFolder(dir, options);
}

bool FileHasBytes(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) &&
         (data.nFileSizeLow > 0 || data.nFileSizeHigh > 0);
}

class RunDriverTest : public ::testing::Test {
 protected:
  void TearDown() override { ApplyRegistryState(RegistryState::NoKey()); }

  Outcome Drive(const std::string& expected_folder) {
    return RunDriver(Quote(program_.ExePath()) + " " + Quote(expected_folder) + " " +
                     Quote(Shot()) + " --timeout 120");
  }
  std::string Shot() const { return shots_.File("after-run.bmp"); }

  ProgramFolder program_;
  TempFolder data_;
  TempFolder shots_{"kxshot"};
};

TEST_F(RunDriverTest, CompleteRunSucceedsLeavesSoundIndexesAndAPicture) {
  MakeSmallSample(data_.Path());
  ApplyRegistryState(RegistryState::Text(data_.Path()));
  const Outcome outcome = Drive(data_.Path());
  EXPECT_EQ(outcome.exit_code, 0u) << outcome.output;
  EXPECT_NE(outcome.output.find("completed: \"Re-Index Completed - Click Exit\""),
            std::string::npos)
      << outcome.output;
  EXPECT_NE(outcome.output.find("program ended through Exit"), std::string::npos) << outcome.output;
  EXPECT_TRUE(FileHasBytes(Shot()));
  // The program has saved its settings on the way out: it ended through its own close path.
  EXPECT_TRUE(FileHasBytes(program_.File("ads.ini")));
  const engine::VerifyReport report = engine::VerifyFolder(data_.Path());
  EXPECT_TRUE(report.Ok()) << report.ToString();
}

// Every outcome but a completed run is a failure whose cause the output names.
TEST_F(RunDriverTest, FailuresAreReportedWithTheirCause) {
  struct Case {
    const char* name;
    std::function<void(const std::string& data)> prepare;  // the data folder's contents
    bool field_differs;  // the driver is told to expect another folder
    const char* expected_text;
  };
  const Case cases[] = {
      {"folder without the item table", [](const std::string&) {}, false,
       "the folder was refused: \"Files do not exist in the selected folder - Try again\""},
      {"second table missing",
       [](const std::string& data) {
         MakeSmallSample(data);
         DeleteFileA((data + "\\abar.adt").c_str());
       },
       false, "the program showed a message box"},
      {"field shows another folder", [](const std::string& data) { MakeSmallSample(data); }, true,
       "the folder field shows"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder data;
    c.prepare(data.Path());
    ApplyRegistryState(RegistryState::Text(data.Path()));
    const Outcome outcome = Drive(c.field_differs ? data.Path() + "\\other" : data.Path());
    EXPECT_EQ(outcome.exit_code, 1u) << outcome.output;
    EXPECT_NE(outcome.output.find(c.expected_text), std::string::npos) << outcome.output;
    EXPECT_EQ(outcome.output.find("completed:"), std::string::npos) << outcome.output;
  }
}

TEST(RunDriverUsage, WrongCommandLinesAreRefused) {
  for (const char* arguments : {"", "a.exe b", "a.exe b c d", "a.exe b c --timeout x"}) {
    SCOPED_TRACE(arguments);
    const Outcome outcome = RunDriver(arguments);
    EXPECT_EQ(outcome.exit_code, 2u);
    EXPECT_NE(outcome.output.find("usage: kxrundriver"), std::string::npos) << outcome.output;
  }
}

}  // namespace

}  // namespace kx::e2e
