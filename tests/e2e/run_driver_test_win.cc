// The headless run's driver against the real program: it must report success only for a run
// that completed, and name the cause of every other outcome.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/verify.h"
#include "tests/e2e/driver_win.h"
#include "tests/support/child_process.h"
#include "tests/support/sample_presets.h"

namespace kx::e2e {

namespace {

struct Outcome {
  int exit_code = -1;
  std::string output;
};

// Runs the driver with the given arguments and collects what it prints.
Outcome RunDriver(const std::vector<std::string>& arguments) {
  std::vector<std::string> argv{BinFolder() + "\\kxrundriver.exe"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  testing::ChildProcess driver(argv, testing::ChildProcess::Errors::kWithOutput);
  Outcome outcome;
  outcome.output = driver.ReadUntilExit();
  outcome.exit_code = driver.Wait();
  return outcome;
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
    return RunDriver({program_.ExePath(), expected_folder, Shot(), "--timeout", "120"});
  }
  std::string Shot() const { return shots_.File("after-run.bmp"); }

  ProgramFolder program_;
  TempFolder data_;
  TempFolder shots_{"kxshot"};
};

TEST_F(RunDriverTest, CompleteRunSucceedsLeavesSoundIndexesAndAPicture) {
  testing::MakeSample(data_.Path(), testing::SamplePreset::kSmall);
  ApplyRegistryState(RegistryState::Text(data_.Path()));
  const Outcome outcome = Drive(data_.Path());
  EXPECT_EQ(outcome.exit_code, 0) << outcome.output;
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
         testing::MakeSample(data, testing::SamplePreset::kSmall);
         DeleteFileA((data + "\\abar.adt").c_str());
       },
       false, "the program showed a message box"},
      {"field shows another folder",
       [](const std::string& data) { testing::MakeSample(data, testing::SamplePreset::kSmall); },
       true, "the folder field shows"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder data;
    c.prepare(data.Path());
    ApplyRegistryState(RegistryState::Text(data.Path()));
    const Outcome outcome = Drive(c.field_differs ? data.Path() + "\\other" : data.Path());
    EXPECT_EQ(outcome.exit_code, 1) << outcome.output;
    EXPECT_NE(outcome.output.find(c.expected_text), std::string::npos) << outcome.output;
    EXPECT_EQ(outcome.output.find("completed:"), std::string::npos) << outcome.output;
  }
}

TEST(RunDriverUsage, WrongCommandLinesAreRefused) {
  const std::vector<std::vector<std::string>> command_lines = {
      {}, {"a.exe", "b"}, {"a.exe", "b", "c", "d"}, {"a.exe", "b", "c", "--timeout", "x"}};
  for (const std::vector<std::string>& arguments : command_lines) {
    SCOPED_TRACE(::testing::PrintToString(arguments));
    const Outcome outcome = RunDriver(arguments);
    EXPECT_EQ(outcome.exit_code, 2);
    EXPECT_NE(outcome.output.find("usage: kxrundriver"), std::string::npos) << outcome.output;
  }
}

}  // namespace

}  // namespace kx::e2e
