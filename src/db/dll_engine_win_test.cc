// The engine DLL loader on real files: which folders it looks in, and what a missing DLL or a
// DLL without every function gives.
#include "src/db/dll_engine_win.h"

// The module list needs the base Windows types first.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <filesystem>
#include <fstream>

#include "src/db/ads_connection.h"
#include "src/db/db_error.h"
#include "tests/support/expected_failure.h"
#include "tests/support/scratch_dir.h"

namespace kx::db {

namespace {
namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

class DllEngineTest : public ::testing::Test {
 protected:
  // A folder under the test's root, holding the given DLL as ACE32.DLL (none when empty).
  std::string Folder(const std::string& name, const std::string& dll = "") {
    const fs::path folder = root / name;
    fs::create_directories(folder);
    if (!dll.empty()) fs::copy_file(dll, folder / "ACE32.DLL");
    return folder.string();
  }

  // The loader's error, or an empty text when it loaded.
  static std::string LoadError(DllClientEngine& engine) {
    const auto error = testing::Thrown<EADSDatabaseError>([&] { engine.Load(); });
    if (!error) return "";
    EXPECT_EQ(error->AceErrorCode(), kAceErrorEngineUnavailable);
    return error->Message();
  }

  testing::ScratchDir scratch;
  fs::path root{scratch.Path()};
};

TEST_F(DllEngineTest, MissingDllNamesItAndTheFolders) {
  const std::string program = Folder("program");
  const std::string system = Folder("system");
  DllClientEngine engine({program, system});
  const std::string message = LoadError(engine);
  EXPECT_THAT(message, HasSubstr("ACE32.DLL"));
  EXPECT_THAT(message, HasSubstr(program));
  EXPECT_THAT(message, HasSubstr(system));

  // Every call raises the same way, through the connection too; a later call tries again.
  TAdsConnection connection(engine, "AdsConnection1");
  connection.SetAdsServerTypes(stADS_LOCAL);
  connection.SetConnectPath(program);
  try {
    connection.SetIsConnected(true);
    ADD_FAILURE() << "connected without an engine";
  } catch (const EADSDatabaseError& error) {
    EXPECT_THAT(error.Message(), HasSubstr("ACE32.DLL"));
  }
  EXPECT_FALSE(connection.IsConnected());
  fs::copy_file(KX_FULL_ENGINE_DLL, fs::path(system) / "ACE32.DLL");
  connection.SetIsConnected(true);
  EXPECT_TRUE(connection.IsConnected());
  EXPECT_EQ(engine.LoadedPath(), system + "\\ACE32.DLL");
}

// Functions are looked up when first called: a DLL with only AdsConnect60 loads and connects,
// and a call of a function it lacks raises an error naming the function and the DLL.
TEST_F(DllEngineTest, MissingFunctionNamesItWhenCalled) {
  const std::string program = Folder("program", KX_PARTIAL_ENGINE_DLL);
  const std::string system = Folder("system", KX_FULL_ENGINE_DLL);
  DllClientEngine engine({program, system});
  EXPECT_EQ(LoadError(engine), "");
  EXPECT_EQ(engine.LoadedPath(), program + "\\ACE32.DLL");
  AceHandle connection = 0;
  EXPECT_EQ(engine.AdsConnect60(program.c_str(), 1, "", "", 0, &connection), 0u);
  EXPECT_EQ(connection, 1u);
  for (int attempt = 0; attempt < 2; ++attempt) {  // the same answer at every call
    try {
      engine.AdsDisconnect(connection);
      ADD_FAILURE() << "called a function the DLL lacks";
    } catch (const EADSDatabaseError& error) {
      EXPECT_EQ(error.AceErrorCode(), kAceErrorEngineUnavailable);
      EXPECT_THAT(error.Message(), HasSubstr("AdsDisconnect"));
      EXPECT_THAT(error.Message(), HasSubstr(program + "\\ACE32.DLL"));
    }
  }
}

TEST_F(DllEngineTest, FirstFolderHoldingTheDllWins) {
  const std::string program = Folder("program", KX_FULL_ENGINE_DLL);
  const std::string system = Folder("system", KX_PARTIAL_ENGINE_DLL);
  DllClientEngine engine({program, system});
  EXPECT_EQ(LoadError(engine), "");
  EXPECT_EQ(engine.LoadedPath(), program + "\\ACE32.DLL");
}

// The full paths of the modules loaded in this process.
std::vector<std::string> LoadedModules() {
  std::vector<std::string> paths;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId());
  if (snapshot == INVALID_HANDLE_VALUE) return paths;
  MODULEENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Module32First(snapshot, &entry); more; more = Module32Next(snapshot, &entry)) {
    paths.push_back(entry.szExePath);
  }
  CloseHandle(snapshot);
  return paths;
}

bool SameFolder(const std::string& a, const std::string& b) {
  return _stricmp(fs::path(a).lexically_normal().string().c_str(),
                  fs::path(b).lexically_normal().string().c_str()) == 0;
}

// A working engine DLL put where a careless loader would find it: the program connects with
// its default search folders, and the planted DLL must stay unloaded while only the
// program's folder and the system folders are named as searched.
TEST_F(DllEngineTest, PlantedDllIsNeverLoaded) {
  struct Case {
    const char* name;
    bool current_directory;  // the folder is made the current directory
    bool on_path;            // the folder is put first on the PATH
    bool data_folder;        // the folder holds the tables and is the connect path
  };
  const Case cases[] = {
      {"current directory", true, false, false},
      {"PATH", false, true, false},
      {"data folder made the current directory", true, false, true},
  };
  const std::vector<std::string> searched = DllClientEngine::DefaultFolders();
  for (const std::string& folder : searched) {
    ASSERT_FALSE(fs::exists(fs::path(folder) / "ACE32.DLL")) << folder << " holds an engine";
  }
  char previous_directory[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, previous_directory);
  static char previous_path[32767] = {};
  const DWORD path_length = GetEnvironmentVariableA("PATH", previous_path, sizeof previous_path);

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string planted = Folder(std::string("planted ") + c.name, KX_FULL_ENGINE_DLL);
    const std::string planted_dll = planted + "\\ACE32.DLL";
    {
      // The planted DLL works: loaded by its full path it offers the engine's functions.
      HMODULE module = LoadLibraryExA(planted_dll.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
      ASSERT_NE(module, nullptr);
      EXPECT_NE(GetProcAddress(module, "AdsConnect60"), nullptr);
      FreeLibrary(module);
    }
    if (c.data_folder) {
      for (const char* table : {"item.adt", "item.adi"}) {
        std::ofstream(fs::path(planted) / table) << "a table of the folder";
      }
    }
    if (c.current_directory) {
      ASSERT_TRUE(SetCurrentDirectoryA(planted.c_str()));
    }
    if (c.on_path) SetEnvironmentVariableA("PATH", (planted + ";" + previous_path).c_str());

    DllClientEngine engine(searched);
    TAdsConnection connection(engine, "AdsConnection1");
    connection.SetAdsServerTypes(stADS_LOCAL);
    connection.SetConnectPath(c.data_folder ? planted : std::string(previous_directory));
    std::string message;
    try {
      connection.SetIsConnected(true);
    } catch (const EADSDatabaseError& error) {
      message = error.Message();
    }
    const std::vector<std::string> modules = LoadedModules();

    SetCurrentDirectoryA(previous_directory);
    SetEnvironmentVariableA("PATH", path_length > 0 ? previous_path : nullptr);

    EXPECT_FALSE(connection.IsConnected());
    EXPECT_EQ(engine.LoadedPath(), "");
    EXPECT_THAT(message, HasSubstr("ACE32.DLL was not found in"));
    for (const std::string& folder : searched) EXPECT_THAT(message, HasSubstr(folder));
    EXPECT_THAT(message, Not(HasSubstr(planted)));
    for (const std::string& module : modules) {
      EXPECT_FALSE(SameFolder(fs::path(module).parent_path().string(), planted))
          << module << " was loaded";
    }
  }
}

TEST(DllEngineFoldersTest, ProgramFolderThenSystemFolders) {
  const std::vector<std::string> folders = DllClientEngine::DefaultFolders();
  ASSERT_GE(folders.size(), 2u);
  char program[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  EXPECT_EQ(folders[0], fs::path(program).parent_path().string());
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, MAX_PATH);
  EXPECT_EQ(folders[1], system);
}
}  // namespace

}  // namespace kx::db
