#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "engine/ace_exports.h"
#include "engine/table_file.h"
#include "engine/test_util.h"
#include "tests/support/child_process.h"

namespace kx::engine {
namespace testing {

// The second process: opens the table through the engine's exports and holds it until it
// is killed. Prints "locked" once it holds the table.
int RunChildRole(int argc, char** argv) {
  if (argc != 4 || std::strcmp(argv[1], "--hold-table") != 0) return -1;
  std::string path = argv[2];
  uint32_t options = std::strcmp(argv[3], "exclusive") == 0  ? kAceOpenExclusive
                     : std::strcmp(argv[3], "readonly") == 0 ? kAceOpenReadOnly
                                                             : 0;
  std::string folder = path.substr(0, path.find_last_of("/\\"));
  AceHandle connection = 0, table = 0;
  AceResult rc = AdsConnect60(folder.c_str(), kAceServerLocal, "", "", 0, &connection);
  if (rc == 0) rc = AdsOpenTable(connection, path.c_str(), nullptr, 3, 1, 1, 1, options, &table);
  if (rc != 0) {
    std::printf("failed %u\n", rc);
    std::fflush(stdout);
    return 3;
  }
  std::printf("locked\n");
  std::fflush(stdout);
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

}  // namespace testing

namespace {

using kx::testing::ChildProcess;
using testing::ScratchDir;

const char* ModeName(OpenMode mode) {
  switch (mode) {
    case OpenMode::kExclusive:
      return "exclusive";
    case OpenMode::kShared:
      return "shared";
    case OpenMode::kReadOnly:
      return "readonly";
  }
  return "?";
}

struct LockCase {
  OpenMode holder;
  OpenMode second;
  bool allowed;
};

constexpr LockCase kLockCases[] = {
    {OpenMode::kExclusive, OpenMode::kExclusive, false},
    {OpenMode::kExclusive, OpenMode::kShared, false},
    {OpenMode::kExclusive, OpenMode::kReadOnly, false},
    {OpenMode::kShared, OpenMode::kExclusive, false},
    {OpenMode::kReadOnly, OpenMode::kExclusive, false},
    {OpenMode::kShared, OpenMode::kShared, true},
    {OpenMode::kShared, OpenMode::kReadOnly, true},
};

// Opens the table and tells whether the open was granted; a refusal must be the "in use"
// error naming the table.
bool TryOpen(const std::string& path, OpenMode mode) {
  try {
    TableFile::Open(path, mode);
    return true;
  } catch (const EngineError& e) {
    EXPECT_EQ(e.Code(), kErrTableInUse) << e.Message();
    EXPECT_EQ(e.Message(), "The table " + path + " is in use by another user.");
    return false;
  }
}

TEST(LockTest, BetweenHandlesOfOneProcess) {
  ScratchDir dir;
  const std::string path = dir.File("item.adt");
  testing::MakeSampleTable(path, 3, 0);
  for (const LockCase& c : kLockCases) {
    SCOPED_TRACE(std::string(ModeName(c.holder)) + " then " + ModeName(c.second));
    auto holder = TableFile::Open(path, c.holder);
    EXPECT_EQ(TryOpen(path, c.second), c.allowed);
  }
  // Every lock went with its handle.
  EXPECT_TRUE(TryOpen(path, OpenMode::kExclusive));
}

TEST(LockTest, BetweenProcesses) {
  ScratchDir dir;
  const std::string path = dir.File("item.adt");
  testing::MakeSampleTable(path, 3, 0);
  for (const LockCase& c : kLockCases) {
    SCOPED_TRACE(std::string("another process holds it ") + ModeName(c.holder) + ", then " +
                 ModeName(c.second));
    ChildProcess child({ChildProcess::SelfPath(), "--hold-table", path, ModeName(c.holder)});
    std::string seen;
    ASSERT_TRUE(child.WaitForLine("locked", &seen)) << seen;
    EXPECT_EQ(TryOpen(path, c.second), c.allowed);
    child.Kill();
    child.Wait();
    // A process that dies, even killed, leaves no lock behind.
    EXPECT_TRUE(TryOpen(path, OpenMode::kExclusive));
  }
}

TEST(LockTest, ExclusiveHolderKeepsOtherProcessesOut) {
  ScratchDir dir;
  const std::string path = dir.File("item.adt");
  testing::MakeSampleTable(path, 3, 0);
  auto table = TableFile::Open(path, OpenMode::kExclusive);
  ChildProcess child({ChildProcess::SelfPath(), "--hold-table", path, "shared"});
  std::string seen;
  EXPECT_FALSE(child.WaitForLine("locked", &seen));
  EXPECT_EQ(seen, "failed 5030\n");
  // The holder works on: pack and index while locked.
  table->DeleteRecord(2);
  table->Pack();
  table->CreateIndex("A", "IITEM");
  EXPECT_EQ(table->RecordCount(), 2u);
}

}  // namespace
}  // namespace kx::engine
