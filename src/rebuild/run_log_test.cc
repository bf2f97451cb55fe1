// The record file: appended run by run, kept within its limit by dropping the oldest runs
// whole, and the path beside the program's ads.ini.
#include "src/rebuild/run_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/scratch_dir.h"

namespace kx::rebuild {

namespace {
namespace fs = std::filesystem;

std::string RunText(char id, size_t body) {
  return std::string(kRunStartText) + id + "\n" + std::string(body, id) + "\n";
}

TEST(TrimRunLogTest, KeepsTheNewestWholeRuns) {
  const std::string a = RunText('a', 40), b = RunText('b', 40), c = RunText('c', 40);
  const struct {
    const char* name;
    std::string text;
    size_t limit;
    std::string kept;
  } cases[] = {
      {"within the limit", a + b, 1000, a + b},
      {"oldest dropped", a + b + c, b.size() + c.size() + 5, b + c},
      {"only the last fits", a + b + c, c.size() + 1, c},
      {"last run alone is over the limit", a + b, 10, b},
      {"foreign text before the first run", "old notes\n" + a + b, a.size() + b.size(), a + b},
      {"no run at all", std::string(100, 'x'), 10, ""},
      {"marker inside a line is no run start", a + "x" + b, a.size(), a + "x" + b},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TrimRunLog(c.text, c.limit), c.kept);
  }
}

TEST(RunLogPathTest, BesideTheFile) {
  const struct {
    const char* file;
    const char* log;
  } cases[] = {
      {"C:\\Tools\\ads.ini", "C:\\Tools\\rebuild.log"},
      {"\\\\server\\share\\tools\\ads.ini", "\\\\server\\share\\tools\\rebuild.log"},
      {"/opt/kx/ads.ini", "/opt/kx/rebuild.log"},
      {"ads.ini", "rebuild.log"},
  };
  for (const auto& c : cases) EXPECT_EQ(RunLogPathBeside(c.file), c.log) << c.file;
}

std::string Content(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs are appended; at the end of a run that takes the file over its limit the oldest runs
// go, whole.
TEST(RunLogFileTest, AppendsAndStaysBounded) {
  const testing::ScratchDir scratch;
  const fs::path folder = scratch.Path();
  const fs::path path = folder / "rebuild.log";
  const size_t limit = 300;
  RunLogFile log(path.string(), limit);
  for (char id = 'a'; id <= 'f'; ++id) {
    log.WriteLine(std::string(kRunStartText) + id);
    for (int i = 0; i < 3; ++i) log.WriteLine(std::string(30, id));
    log.EndRun();
    const std::string text = Content(path);
    EXPECT_LE(text.size(), limit) << id;
    EXPECT_EQ(text.rfind(kRunStartText, 0), 0u) << "the file begins with a whole run";
    EXPECT_NE(text.find(std::string(kRunStartText) + id), std::string::npos);
  }
  const std::string text = Content(path);
  EXPECT_EQ(text.find(std::string(kRunStartText) + 'a'), std::string::npos);
  EXPECT_FALSE(fs::exists(folder / "rebuild.log.new"));
}
}  // namespace

}  // namespace kx::rebuild
