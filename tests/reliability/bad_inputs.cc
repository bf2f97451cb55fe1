#include "tests/reliability/bad_inputs.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <climits>
#include <filesystem>
#include <stdexcept>

#include "engine/os_file.h"
#include "engine/table_file.h"
#include "engine/test_util.h"
#include "tests/reliability/reliability_util.h"
#include "tests/support/sample_presets.h"

namespace kx::reliability {
namespace {
namespace fs = std::filesystem;
using engine::testing::ReadAll;
using engine::testing::WriteAll;

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
  for (const std::string& file : engine::ListFiles(dir)) {
    engine::RenameOver(dir + "/" + file, sub + "/" + file);
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
  CopyFolder(dir, deep.string());
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.is_regular_file()) fs::remove(entry.path());
  }
  return deep.string();
}
#endif

}  // namespace

// Gives the owner back every right on the folder and its files, so that it can be removed.
void MakeWritable(const std::string& dir) {
  std::error_code ignored;
  fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ignored);
  for (const auto& entry : fs::recursive_directory_iterator(dir, ignored)) {
    fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
}

const std::vector<BadInputCase>& BadInputCases(){
    static const std::vector<BadInputCase> cases = {
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
         [](const std::string& dir) { return MoveIntoSubfolder(dir, NonAsciiName()); }, true, "",
         ""},
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
           CopyFolder(dir, deep);
           return deep;
         },
         false, "does not exist.", ""},
        {"FolderPathAtConnectPathLimit",
         [](const std::string& dir) {
           // 250 characters: the folder fits the connect path (254) and "\item.adt" the table
           // name field (260).
           std::string deep = dir + "/" + std::string(250 - dir.size() - 1, 'f');
           fs::create_directories(deep);
           CopyFolder(dir, deep);
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
                 engine::TableFile::Open(entry.path().string(), engine::OpenMode::kExclusive);
             std::vector<std::string> values;
             for (const auto& field : table->Fields()) {
               values.push_back(field.type == engine::FieldType::kCharacter
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
         [](const std::string& dir) { return MoveToFolderOfLength(dir, MAX_PATH - 1 - 14); }, true,
         "", ""},
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
return cases;
}  // namespace kx::reliability

const BadInputCase& FindBadInputCase(const std::string& name) {
  for (const BadInputCase& c : BadInputCases()) {
    if (name == c.name) return c;
  }
  throw std::out_of_range("no bad input " + name + " on this platform");
}

}  // namespace kx::reliability
