// Every file call of building a tag, of packing a table and of a whole rebuild run fails in
// turn, and the power is cut at every call in turn: the failure is reported, the folder still
// opens with every live record once, every index verifies, and the next run completes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "engine/error_codes.h"
#include "engine/table_file.h"
#include "engine/test_util.h"
#include "tests/reliability/reliability_util.h"

#ifndef _WIN32
#include "src/rebuild/catalogue.h"
#include "src/rebuild/console_rebuild.h"
#include "tests/support/sample_presets.h"
#endif

namespace kx::reliability {

namespace {

using engine::EngineError;
using engine::OpenMode;
using engine::TableFile;
using kx::testing::ScratchDir;

std::string TableIn(const std::string& folder) { return folder + "/t.adt"; }

// A table of 30 records, every 4th deleted, with an index file of two tags.
void MakeTable(const std::string& folder) {
  engine::testing::MakeSampleTable(TableIn(folder), 30, 4);
  auto table = TableFile::Open(TableIn(folder), OpenMode::kExclusive);
  table->CreateIndex("BYITEM", "IITEM");
  table->CreateIndex("BYDATE", "IDATE;IITEM");
}

// "" when the table's index file has exactly these tags.
std::string HasTags(const std::string& folder, const std::vector<std::string>& names) {
  try {
    auto table = TableFile::Open(TableIn(folder), OpenMode::kReadOnly);
    std::vector<std::string> found;
    for (const auto& tag : table->Tags()) found.push_back(tag.name);
    if (found == names) return "";
    std::string text = "tags:";
    for (const auto& name : found) text += " " + name;
    return text;
  } catch (const EngineError& error) {
    return error.Message();
  }
}

void Report(const char* what, const LoopTally& tally) {
  std::printf("[ reliability ] %s: %s\n", what, tally.ToString().c_str());
  std::fflush(stdout);
  EXPECT_GT(tally.failed_calls, 0u);
  EXPECT_GT(tally.process_deaths, 0u);
  EXPECT_GT(tally.power_cuts, 0u);
}

TEST(FaultLoopTest, CreatingATag) {
  ScratchDir pristine, work;
  MakeTable(pristine.Path());
  FaultLoop loop;
  loop.pristine = pristine.Path();
  loop.work = work.Path();
  loop.operation = [](const std::string& folder) {
    try {
      auto table = TableFile::Open(TableIn(folder), OpenMode::kExclusive);
      table->CreateIndex("BYNAME", "IDESC1;ICOUNT");
      return true;
    } catch (const EngineError&) {
      return false;
    }
  };
  loop.complete = [](const std::string& folder) {
    return HasTags(folder, {"BYITEM", "BYDATE", "BYNAME"});
  };
  Report("creating a tag", RunFaultLoop(loop, false));
}

TEST(FaultLoopTest, PackingATable) {
  ScratchDir pristine, work;
  MakeTable(pristine.Path());
  FaultLoop loop;
  loop.pristine = pristine.Path();
  loop.work = work.Path();
  loop.operation = [](const std::string& folder) {
    try {
      auto table = TableFile::Open(TableIn(folder), OpenMode::kExclusive);
      table->Pack();
      return true;
    } catch (const EngineError&) {
      return false;
    }
  };
  loop.complete = [](const std::string& folder) -> std::string {
    std::string tags = HasTags(folder, {"BYITEM", "BYDATE"});
    if (!tags.empty()) return tags;
    auto table = TableFile::Open(TableIn(folder), OpenMode::kReadOnly);
    for (uint32_t i = 1; i <= table->RecordCount(); ++i) {
      if (table->IsDeleted(i)) return "record " + std::to_string(i) + " is still deleted";
    }
    return "";
  };
  Report("packing a table", RunFaultLoop(loop, false));
}

#ifndef _WIN32
// "" when every table of the folder has the catalogue's tags and no deleted record.
std::string RebuildComplete(const std::string& folder) {
  for (const rebuild::CatalogueEntry& entry : rebuild::kCatalogue) {
    auto table = TableFile::Open(folder + "/" + std::string(entry.table_file), OpenMode::kReadOnly);
    std::vector<engine::TagInfo> tags = table->Tags();
    if (tags.size() != entry.tag_count) return std::string(entry.table_file) + ": tag count";
    for (size_t i = 0; i < entry.tag_count; ++i) {
      if (tags[i].name != entry.tags[i].name) return std::string(entry.table_file) + ": tags";
    }
    for (uint32_t i = 1; i <= table->RecordCount(); ++i) {
      if (table->IsDeleted(i)) return std::string(entry.table_file) + ": not packed";
    }
  }
  return "";
}

// The whole run through the program's own code: on Windows the console run goes through the
// engine DLL, which the test's file layer does not reach, so natively only. The sample
// folders: intact, with index files as they are found in the field, and without any.
class WholeRunFaultLoop : public ::testing::TestWithParam<kx::testing::SamplePreset> {};

TEST_P(WholeRunFaultLoop, LosesNothing) {
  ScratchDir pristine, work;
  kx::testing::MakeSample(pristine.Path(), GetParam());
  FaultLoop loop;
  loop.pristine = pristine.Path();
  loop.work = work.Path();
  loop.operation = [](const std::string& folder) {
    std::ostringstream out, err;
    return rebuild::RunConsoleRebuild(folder, out, err) == 0;
  };
  loop.complete = RebuildComplete;
  // Every call of a run takes minutes; CTest takes every 40th, with one error kind chosen
  // by the call, unless KX_FAULT_STRIDE says otherwise (1: every call, every error kind).
  const char* stride = std::getenv("KX_FAULT_STRIDE");
  loop.stride = stride != nullptr && std::atoi(stride) > 0 ? std::atoi(stride) : 40;
  const std::string what =
      std::string("whole rebuild run, ") + kx::testing::SamplePresetName(GetParam()) + " sample";
  Report(what.c_str(), RunFaultLoop(loop, loop.stride > 1));
}

INSTANTIATE_TEST_SUITE_P(Samples, WholeRunFaultLoop,
                         ::testing::Values(kx::testing::SamplePreset::kTiny,
                                           kx::testing::SamplePreset::kTinyAsFound,
                                           kx::testing::SamplePreset::kTinyWithoutIndex));
#endif

}  // namespace

}  // namespace kx::reliability
