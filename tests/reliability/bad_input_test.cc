// The console run over folders that hold something other than what it expects: each case
// ends with a clear message or completes, and every live record that was in the folder is
// still there, byte for byte, with every index file verifying.
//
// The matrix runs natively and under Wine (the Windows build loads the engine DLL beside the
// test). Root passes every permission check, natively and under Wine alike, so the cases of
// file permissions run natively for an unprivileged user.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <memory>
#include <sstream>

#include "engine/os_file.h"
#include "engine/test_util.h"
#include "engine/verify.h"
#include "src/rebuild/console_rebuild.h"
#include "tests/reliability/bad_inputs.h"
#include "tests/reliability/reliability_util.h"
#include "tests/support/sample_presets.h"
#include "tools/kxdata/test_support.h"

namespace kx::reliability {

namespace {
using engine::testing::ReadAll;

class BadInputTest : public ::testing::TestWithParam<BadInputCase> {};

TEST_P(BadInputTest, ClearMessageOrCompletesAndNothingIsLost) {
  const BadInputCase& c = GetParam();
#ifndef _WIN32
  if (c.unprivileged && geteuid() == 0) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const UnprivilegedRun run =
        RunTestAsNobody(std::string(test->test_suite_name()) + "." + test->name());
    if (!run.available) GTEST_SKIP() << "runuser is not available to run this case unprivileged";
    for (std::istringstream lines(run.output); !lines.eof();) {
      std::string line;
      std::getline(lines, line);
      if (line.rfind("[ bad input ]", 0) == 0) std::printf("%s (as nobody)\n", line.c_str());
    }
    EXPECT_TRUE(run.Passed()) << "as nobody, exit " << run.exit_code << ":\n" << run.output;
    return;
  }
#endif
  kx::testing::ScratchDir scratch;
  const std::string dir = scratch.Path();
  // Gone before the scratch folder, so that the folder can be removed whatever the case did.
  struct Writable {
    std::string dir;
    ~Writable() { MakeWritable(dir); }
  } writable{dir};
  // The tiny intact sample every case starts from (with deleted records to pack).
  testing::MakeSample(dir, testing::SamplePreset::kTiny);
  const std::string folder = c.spoil(dir);
  const std::string records_folder = engine::FolderExists(folder) ? folder : dir;
  const auto before = LiveRecords(records_folder);
  const std::string kept = *c.kept_file ? ReadAll(records_folder + "/" + c.kept_file) : "";

  std::unique_ptr<testing::ChildProcess> holder;
  if (*c.held_file) {
    holder = std::make_unique<testing::ChildProcess>(
        std::vector<std::string>{KXDATA_EXE, "lock", records_folder + "/" + c.held_file});
    ASSERT_TRUE(holder->WaitForLine("locked")) << "the holder did not start";
  }
  std::ostringstream out, err;
  int code = rebuild::RunConsoleRebuild(folder, out, err);
  std::printf("[ bad input ] %s: exit %d, %s", c.name, code,
              code == 0 ? "completed\n" : err.str().c_str());
  if (holder) {
    holder->Kill();
    holder->Wait();
  }

  if (c.completes) {
    EXPECT_EQ(code, 0) << err.str();
  } else {
    EXPECT_NE(code, 0);
    EXPECT_THAT(err.str(), ::testing::HasSubstr(c.message));
  }
  RecordDiff diff = CompareRecords(before, LiveRecords(records_folder));
  EXPECT_EQ(diff.lost, 0u);
  EXPECT_EQ(diff.extra, 0u);
  if (*c.kept_file) {
    EXPECT_EQ(ReadAll(records_folder + "/" + c.kept_file), kept);
  }
  if (engine::FolderExists(folder)) {
    engine::VerifyReport report = engine::VerifyFolder(folder);
    for (const auto& problem : report.problems) {
      // The spoiled file itself is reported; nothing else may be.
      if (*c.kept_file && problem.file.find(c.kept_file) != std::string::npos) continue;
      ADD_FAILURE() << problem.file << ": " << problem.message;
    }
  }
  if (*c.held_file) {
    // With the other program gone, the same folder rebuilds.
    std::ostringstream again_out, again_err;
    EXPECT_EQ(rebuild::RunConsoleRebuild(folder, again_out, again_err), 0) << again_err.str();
    EXPECT_TRUE(engine::VerifyFolder(folder).Ok());
    diff = CompareRecords(before, LiveRecords(records_folder));
    EXPECT_EQ(diff.lost + diff.extra, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, BadInputTest, ::testing::ValuesIn(BadInputCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

}  // namespace kx::reliability
