// The console run over folders that hold something other than what it expects: each case
// ends with a clear message or completes, and every live record that was in the folder is
// still there, byte for byte, with every index file verifying.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "engine/table_file.h"
#include "engine/test_util.h"
#include "engine/verify.h"
#include "rebuild/console_rebuild.h"
#include "reliability_util.h"
#include "sample_folder.h"

namespace {
namespace fs = std::filesystem;
using kxengine::testing::ReadAll;
using kxengine::testing::WriteAll;

// The small intact sample folder every case starts from.
void MakeSample(const std::string& dir) {
  SampleOptions options;
  options.items = 12;
  options.trans = 20;
  options.customers = 4;
  options.vendors = 3;
  options.locations = 2;
  options.deleted_percent = 15;
  options.intact = true;
  MakeSampleFolder(dir, options);
}

struct BadInputCase {
  const char* name;
  // Spoils the sample folder `dir`; returns the folder to hand to the run (usually `dir`).
  std::function<std::string(const std::string& dir)> spoil;
  bool completes;
  // Part of the message on the error stream when the run does not complete.
  const char* message;
  // A file the case put in place, which the run must leave as it was ("" for none).
  const char* kept_file;
};

std::string Truncate(const std::string& path, double keep) {
  std::string bytes = ReadAll(path);
  WriteAll(path, bytes.substr(0, static_cast<size_t>(bytes.size() * keep)));
  return path;
}

const BadInputCase kCases[] = {
    {"ItemTableIsAFolder",
     [](const std::string& dir) {
       fs::remove(dir + "/item.adt");
       fs::remove(dir + "/item.adi");
       fs::create_directory(dir + "/item.adt");
       return dir;
     },
     false, "Files do not exist in the selected folder - Try again", ""},
    {"TableOfZeroBytes",
     [](const std::string& dir) {
       WriteAll(dir + "/cust.adt", "");
       return dir;
     },
     false, "cust.adt (it is too short) is not a table file.", "cust.adt"},
    {"TruncatedTable",
     [](const std::string& dir) {
       Truncate(dir + "/tran.adt", 0.6);
       return dir;
     },
     false, "tran.adt is damaged: it is truncated", "tran.adt"},
    {"TableCutInsideItsHeader",
     [](const std::string& dir) {
       WriteAll(dir + "/loc.adt", ReadAll(dir + "/loc.adt").substr(0, 40));
       return dir;
     },
     false, "loc.adt (it is too short) is not a table file.", "loc.adt"},
    {"TableOfAnotherFormat",
     [](const std::string& dir) {
       std::string text = "ITEM,DESC,QTY\r\n";
       for (int i = 0; i < 40; ++i) text += std::to_string(i) + ",Spanner,12\r\n";
       WriteAll(dir + "/item.adt", text);
       return dir;
     },
     false, "item.adt", "item.adt"},
    {"ReadOnlyIndexFile",
     [](const std::string& dir) {
       fs::permissions(dir + "/item.adi", fs::perms::owner_read | fs::perms::group_read);
       return dir;
     },
     true, "", ""},
    {"IndexFileIsAFolder",
     [](const std::string& dir) {
       fs::remove(dir + "/cust.adi");
       fs::create_directory(dir + "/cust.adi");
       return dir;
     },
     false, "cust.adi: Is a directory", ""},
    {"DataFolderIsAFile",
     [](const std::string& dir) {
       WriteAll(dir + "/notafolder", "x");
       return dir + "/notafolder";
     },
     false, "Files do not exist in the selected folder - Try again", "notafolder"},
    {"NonAsciiFolderName",
     [](const std::string& dir) {
       std::string named = dir +
                           "/Lager \xC3\x9C"
                           "bersicht \xE5\x80\x89\xE5\xBA\xAB";
       fs::create_directory(named);
       reliability::CopyFolder(dir, named);
       for (const auto& entry : fs::directory_iterator(dir)) {
         if (entry.is_regular_file()) fs::remove(entry.path());
       }
       return named;
     },
     true, "", ""},
    {"FolderPathNearPathMax",
     [](const std::string& dir) {
       // A folder path so long that "item.adt" still fits in PATH_MAX but the longer names
       // of the files a rebuild writes beside it ("item.adi.tmp") do not. The connection
       // cuts such a path to its connect-path field, so the cut folder is not found.
       const size_t length = PATH_MAX - 1 - 1 - std::string("item.adt").size() - 2;
       std::string deep = dir;
       while (deep.size() + 1 + 40 < length) deep += "/" + std::string(40, 'd');
       deep += "/" + std::string(length - deep.size() - 1, 'e');
       fs::create_directories(deep);
       reliability::CopyFolder(dir, deep);
       return deep;
     },
     false, "does not exist.", ""},
    {"FolderPathAtConnectPathLimit",
     [](const std::string& dir) {
       // 250 characters: the folder fits the connect path (254) and "\item.adt" the table
       // name field (260).
       std::string deep = dir + "/" + std::string(250 - dir.size() - 1, 'f');
       fs::create_directories(deep);
       reliability::CopyFolder(dir, deep);
       return deep;
     },
     true, "", ""},
    {"KeysAtFullFieldWidth",
     [](const std::string& dir) {
       // One more record in every table with each character field filled to its width.
       for (const auto& entry : fs::directory_iterator(dir)) {
         if (entry.path().extension() != ".adt") continue;
         auto table =
             kxengine::TableFile::Open(entry.path().string(), kxengine::OpenMode::kExclusive);
         std::vector<std::string> values;
         for (const auto& field : table->Fields()) {
           values.push_back(field.type == kxengine::FieldType::kCharacter
                                ? std::string(field.length, '\xFE')
                                : std::string());
         }
         table->AppendRecord(values);
       }
       return dir;
     },
     true, "", ""},
    {"ReadOnlyTableFile",
     [](const std::string& dir) {
       fs::permissions(dir + "/asbly.adt", fs::perms::owner_read | fs::perms::group_read);
       return dir;
     },
     false, "asbly.adt", "asbly.adt"},
};

class BadInputTest : public ::testing::TestWithParam<BadInputCase> {};

TEST_P(BadInputTest, ClearMessageOrCompletesAndNothingIsLost) {
  const BadInputCase& c = GetParam();
  if (std::string(c.name) == "ReadOnlyTableFile" && geteuid() == 0) {
    GTEST_SKIP() << "file permissions do not stop root";
  }
  kxengine::testing::ScratchDir scratch;
  const std::string dir = scratch.Path();
  MakeSample(dir);
  const std::string folder = c.spoil(dir);
  const std::string records_folder = fs::is_directory(folder) ? folder : dir;
  const auto before = reliability::LiveRecords(records_folder);
  const std::string kept = *c.kept_file ? ReadAll(dir + "/" + c.kept_file) : "";

  std::ostringstream out, err;
  int code = RunConsoleRebuild(folder, out, err);
  std::printf("[ bad input ] %s: exit %d, %s", c.name, code,
              code == 0 ? "completed\n" : err.str().c_str());

  if (c.completes) {
    EXPECT_EQ(code, 0) << err.str();
  } else {
    EXPECT_NE(code, 0);
    EXPECT_THAT(err.str(), ::testing::HasSubstr(c.message));
  }
  reliability::RecordDiff diff =
      reliability::CompareRecords(before, reliability::LiveRecords(records_folder));
  EXPECT_EQ(diff.lost, 0u);
  EXPECT_EQ(diff.extra, 0u);
  if (*c.kept_file) {
    EXPECT_EQ(ReadAll(dir + "/" + c.kept_file), kept);
  }
  if (fs::is_directory(folder)) {
    kxengine::VerifyReport report = kxengine::VerifyFolder(folder);
    for (const auto& problem : report.problems) {
      // The spoiled file itself is reported; nothing else may be.
      if (*c.kept_file && problem.file.find(c.kept_file) != std::string::npos) continue;
      ADD_FAILURE() << problem.file << ": " << problem.message;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, BadInputTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
