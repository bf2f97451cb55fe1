// The console run over folders that hold something other than what it expects: each case
// ends with a clear message or completes, and every live record that was in the folder is
// still there, byte for byte, with every index file verifying.
//
// The matrix runs natively and under Wine (the Windows build loads the engine DLL beside the
// test), each with the cases that mean something there: file permissions natively, for an
// unprivileged user (root passes every permission check, natively and under Wine alike);
// share modes and the ANSI path limit on Windows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <climits>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "engine/os_file.h"
#include "engine/table_file.h"
#include "engine/test_util.h"
#include "engine/verify.h"
#include "rebuild/console_rebuild.h"
#include "reliability_util.h"
#include "sample_folder.h"
#include "test_support.h"

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
  // A file another process holds (kxdata lock) while the run lasts ("" for none). Once the
  // holder has ended, a second run must complete.
  const char* held_file = "";
  // The case needs file permissions enforced: as root it runs in a child process as an
  // unprivileged user.
  bool unprivileged = false;
};

std::string Truncate(const std::string& path, double keep) {
  std::string bytes = ReadAll(path);
  WriteAll(path, bytes.substr(0, static_cast<size_t>(bytes.size() * keep)));
  return path;
}

// A folder name beyond ASCII: UTF-8 natively; on Windows in the system's ANSI code page,
// which is what the program's folder text is (empty when the code page cannot write it).
std::string NonAsciiName() {
#ifdef _WIN32
  const wchar_t wide[] = L"Lager \u00DCbersicht \u00E9t\u00E9";
  char ansi[64] = {};
  BOOL lossy = FALSE;
  const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, ansi, sizeof ansi,
                                         nullptr, &lossy);
  return length > 0 && !lossy ? std::string(ansi) : std::string();
#else
  return "Lager \xC3\x9C"
         "bersicht \xE5\x80\x89\xE5\xBA\xAB";
#endif
}

// Moves the sample's files into a new subfolder `name` of `dir`, through the calls the engine
// itself uses for paths (the ANSI ones on Windows), and returns the subfolder's path.
std::string MoveIntoSubfolder(const std::string& dir, const std::string& name) {
  if (name.empty()) throw std::runtime_error("no such name in this code page");
  const std::string sub = dir + "/" + name;
#ifdef _WIN32
  if (!CreateDirectoryA(sub.c_str(), nullptr)) throw std::runtime_error("cannot make " + sub);
#else
  fs::create_directory(sub);
#endif
  for (const std::string& file : kxengine::ListFiles(dir)) {
    kxengine::RenameOver(dir + "/" + file, sub + "/" + file);
  }
  return sub;
}

#ifdef _WIN32
// Moves the sample's files into a new folder whose full path is `length` characters long.
std::string MoveToFolderOfLength(const std::string& dir, size_t length) {
  fs::path deep = dir;
  while (deep.string().size() + 1 + 40 < length) deep /= std::string(40, 'd');
  deep /= std::string(length - deep.string().size() - 1, 'e');
  fs::create_directories(deep);
  reliability::CopyFolder(dir, deep.string());
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.is_regular_file()) fs::remove(entry.path());
  }
  return deep.string();
}
#endif

// Gives the owner back every right on the folder and its files, so that it can be removed.
void MakeWritable(const std::string& dir) {
  std::error_code ignored;
  fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ignored);
  for (const auto& entry : fs::recursive_directory_iterator(dir, ignored)) {
    fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
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
#ifdef _WIN32
     false, "cust.adi: Access denied", ""},
#else
     false, "cust.adi: Is a directory", ""},
#endif
    {"DataFolderIsAFile",
     [](const std::string& dir) {
       WriteAll(dir + "/notafolder", "x");
       return dir + "/notafolder";
     },
     false, "Files do not exist in the selected folder - Try again", "notafolder"},
    {"NonAsciiFolderName",
     [](const std::string& dir) { return MoveIntoSubfolder(dir, NonAsciiName()); }, true, "", ""},
#ifndef _WIN32
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
#endif
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
#ifdef _WIN32
    // The longest name the run and the engine form beside a table, "asbly.adi.tmp", still
    // fits in MAX_PATH (259 characters and the terminating NUL).
    {"FolderPathWhereEveryFileNameFits",
     [](const std::string& dir) { return MoveToFolderOfLength(dir, MAX_PATH - 1 - 14); }, true, "",
     ""},
    // "\item.adt" ends at the ANSI limit: the table opens, but the temporary index file beside
    // it cannot be named, and the run says which name was too long.
    {"ItemTablePathAtAnsiLimit",
     [](const std::string& dir) {
       return MoveToFolderOfLength(dir, MAX_PATH - 1 - std::string("\\item.adt").size());
     },
     false, "item.adi.tmp", ""},
    // Another program holds the index file and shares nothing: the run cannot delete it nor
    // read it, stops at that table with the file's name and the reason, and the held file is
    // left as it was.
    {"IndexFileHeldByAnotherProgram", [](const std::string& dir) { return dir; }, false,
     "tran.adi: Sharing violation", "tran.adi", "tran.adi"},
#else
    // Natively a held index file is only advisory-locked: the run deletes and rebuilds it.
    {"IndexFileHeldByAnotherProgram", [](const std::string& dir) { return dir; }, true, "", "",
     "tran.adi"},
    {"ReadOnlyTableFile",
     [](const std::string& dir) {
       fs::permissions(dir + "/asbly.adt", fs::perms::owner_read | fs::perms::group_read);
       return dir;
     },
     false, "asbly.adt", "asbly.adt", "", true},
    {"ReadOnlyDataFolder",
     [](const std::string& dir) {
       fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
       return dir;
     },
     false, "item.adi", "item.adi", "", true},
#endif
};

class BadInputTest : public ::testing::TestWithParam<BadInputCase> {};

TEST_P(BadInputTest, ClearMessageOrCompletesAndNothingIsLost) {
  const BadInputCase& c = GetParam();
#ifndef _WIN32
  if (c.unprivileged && geteuid() == 0) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const reliability::UnprivilegedRun run =
        reliability::RunTestAsNobody(std::string(test->test_suite_name()) + "." + test->name());
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
  kxengine::testing::ScratchDir scratch;
  const std::string dir = scratch.Path();
  // Gone before the scratch folder, so that the folder can be removed whatever the case did.
  struct Writable {
    std::string dir;
    ~Writable() { MakeWritable(dir); }
  } writable{dir};
  MakeSample(dir);
  const std::string folder = c.spoil(dir);
  const std::string records_folder = kxengine::FolderExists(folder) ? folder : dir;
  const auto before = reliability::LiveRecords(records_folder);
  const std::string kept = *c.kept_file ? ReadAll(records_folder + "/" + c.kept_file) : "";

  std::unique_ptr<ChildProcess> holder;
  if (*c.held_file) {
    holder = std::make_unique<ChildProcess>(
        std::vector<std::string>{KXDATA_EXE, "lock", records_folder + "/" + c.held_file});
    ASSERT_TRUE(holder->WaitForLine("locked")) << "the holder did not start";
  }
  std::ostringstream out, err;
  int code = RunConsoleRebuild(folder, out, err);
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
  reliability::RecordDiff diff =
      reliability::CompareRecords(before, reliability::LiveRecords(records_folder));
  EXPECT_EQ(diff.lost, 0u);
  EXPECT_EQ(diff.extra, 0u);
  if (*c.kept_file) {
    EXPECT_EQ(ReadAll(records_folder + "/" + c.kept_file), kept);
  }
  if (kxengine::FolderExists(folder)) {
    kxengine::VerifyReport report = kxengine::VerifyFolder(folder);
    for (const auto& problem : report.problems) {
      // The spoiled file itself is reported; nothing else may be.
      if (*c.kept_file && problem.file.find(c.kept_file) != std::string::npos) continue;
      ADD_FAILURE() << problem.file << ": " << problem.message;
    }
  }
  if (*c.held_file) {
    // With the other program gone, the same folder rebuilds.
    std::ostringstream again_out, again_err;
    EXPECT_EQ(RunConsoleRebuild(folder, again_out, again_err), 0) << again_err.str();
    EXPECT_TRUE(kxengine::VerifyFolder(folder).Ok());
    diff = reliability::CompareRecords(before, reliability::LiveRecords(records_folder));
    EXPECT_EQ(diff.lost + diff.extra, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, BadInputTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
