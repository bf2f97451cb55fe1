// The file layer's behaviour, written once and run on the platform's layer and on the
// fault-injecting layer with no fault set (which must pass every call through unchanged), so
// that the tests that use the latter test what the engine meets on a real disk.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "engine/faulty_file.h"
#include "engine/os_file.h"
#include "engine/test_util.h"

namespace kx::engine {
namespace {

using kx::testing::ReadAll;
using kx::testing::ScratchDir;
using kx::testing::WriteAll;

struct LayerKind {
  const char* name;
  // Installs the layer for the test's lifetime (nothing for the platform's own).
  std::function<std::unique_ptr<FaultyFileLayer>()> install;
};

const LayerKind kLayers[] = {
    {"platform", [] { return std::unique_ptr<FaultyFileLayer>(); }},
    {"fault_injecting_pass_through", [] { return std::make_unique<FaultyFileLayer>(); }},
};

class FileLayerTest : public ::testing::TestWithParam<LayerKind> {
 protected:
  void SetUp() override { layer_ = GetParam().install(); }

  std::unique_ptr<OsFile> Open(const std::string& name, OsFile::Mode mode, LockKind lock,
                               OpenResult* result) {
    std::string error;
    return OsFile::Open(dir_.File(name), mode, lock, result, &error);
  }

  ScratchDir dir_;
  std::unique_ptr<FaultyFileLayer> layer_;
};

TEST_P(FileLayerTest, ViewsShowTheBytesAtAnyOffsetAndEndWithTheFile) {
  OpenResult result;
  auto file = Open("v.bin", OsFile::Mode::kCreateNew, LockKind::kExclusive, &result);
  ASSERT_TRUE(file);
  // More than a mapping's granularity, so that views start inside it and across it.
  std::string bytes(200000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
  file->WriteAt(0, bytes.data(), bytes.size());
  struct Case {
    uint64_t offset;
    size_t n;
    size_t expect;
  };
  const Case cases[] = {{0, 1000, 1000},        {1, 4096, 4096},   {65535, 70000, 70000},
                        {131073, 68927, 68927}, {199990, 100, 10}, {200000, 5, 0},
                        {250000, 5, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.offset) + " +" + std::to_string(c.n));
    std::unique_ptr<FileView> view = file->View(c.offset, c.n);
    ASSERT_EQ(view->size(), c.expect);
    EXPECT_TRUE(std::string(view->data(), view->size()) ==
                bytes.substr(c.offset < bytes.size() ? c.offset : 0, c.expect));
  }
  // A view sees what was written before it was made.
  file->WriteAt(100, "changed", 7);
  EXPECT_EQ(std::string(file->View(100, 7)->data(), 7), "changed");
}

TEST_P(FileLayerTest, WritesReadsSizesAndTruncates) {
  OpenResult result;
  auto file = Open("a.bin", OsFile::Mode::kCreateNew, LockKind::kNone, &result);
  ASSERT_TRUE(file);
  file->WriteAt(0, "hello world", 11);
  file->WriteAt(20, "!", 1);  // past the end: the gap reads as zero bytes
  file->Sync();
  EXPECT_EQ(file->Size(), 21u);
  char buffer[32] = {};
  EXPECT_EQ(file->ReadAt(6, buffer, 32), 15u);  // fewer only at the end of the file
  EXPECT_EQ(std::string(buffer, 5), "world");
  EXPECT_EQ(buffer[10], '\0');
  file->Truncate(5);
  EXPECT_EQ(file->Size(), 5u);
  EXPECT_EQ(file->ReadAt(0, buffer, 32), 5u);
  EXPECT_EQ(std::string(buffer, 5), "hello");
}

TEST_P(FileLayerTest, OpenResultsTellWhyAnOpenFailed) {
  OpenResult result = OpenResult::kOk;
  EXPECT_FALSE(Open("missing.bin", OsFile::Mode::kRead, LockKind::kNone, &result));
  EXPECT_EQ(result, OpenResult::kNotFound);
  WriteAll(dir_.File("there.bin"), "x");
  EXPECT_FALSE(Open("there.bin", OsFile::Mode::kCreateNew, LockKind::kNone, &result));
  EXPECT_EQ(result, OpenResult::kExists);
  auto emptied = Open("there.bin", OsFile::Mode::kTruncate, LockKind::kNone, &result);
  ASSERT_TRUE(emptied);
  EXPECT_EQ(emptied->Size(), 0u);
}

TEST_P(FileLayerTest, LocksConflictBetweenOpens) {
  struct Case {
    LockKind first, second;
    bool allowed;
  };
  const Case cases[] = {
      {LockKind::kShared, LockKind::kShared, true},
      {LockKind::kShared, LockKind::kExclusive, false},
      {LockKind::kExclusive, LockKind::kShared, false},
      {LockKind::kExclusive, LockKind::kExclusive, false},
  };
  WriteAll(dir_.File("t.adt"), "table");
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.first) * 10 + static_cast<int>(c.second));
    OpenResult result;
    auto first = Open("t.adt", OsFile::Mode::kReadWrite, c.first, &result);
    ASSERT_TRUE(first);
    auto second = Open("t.adt", OsFile::Mode::kReadWrite, c.second, &result);
    EXPECT_EQ(second != nullptr, c.allowed);
    if (!c.allowed) {
      EXPECT_EQ(result, OpenResult::kInUse);
    }
  }
}

TEST_P(FileLayerTest, RenameReplacesAndRemoveReportsAbsence) {
  WriteAll(dir_.File("new.tmp"), "new");
  WriteAll(dir_.File("old.adi"), "old");
  RenameOver(dir_.File("new.tmp"), dir_.File("old.adi"));
  EXPECT_EQ(ReadAll(dir_.File("old.adi")), "new");
  EXPECT_FALSE(FileExists(dir_.File("new.tmp")));
  EXPECT_TRUE(RemoveFileIfPresent(dir_.File("old.adi")));
  EXPECT_FALSE(FileExists(dir_.File("old.adi")));
  EXPECT_TRUE(RemoveFileIfPresent(dir_.File("never.adi")));  // gone, as asked
  EXPECT_THROW(RenameOver(dir_.File("never.tmp"), dir_.File("old.adi")), EngineError);
  SyncFolderOf(dir_.File("old.adi"));  // no failure on a folder that exists
}

INSTANTIATE_TEST_SUITE_P(Layers, FileLayerTest, ::testing::ValuesIn(kLayers),
                         [](const ::testing::TestParamInfo<LayerKind>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace kx::engine
