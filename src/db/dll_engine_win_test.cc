// The engine DLL loader on real files: which folders it looks in, and what a missing DLL or a
// DLL without every function gives.
#include "db/dll_engine_win.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "db/ads_connection.h"
#include "db/db_error.h"

namespace {
namespace fs = std::filesystem;
using ::testing::HasSubstr;

class DllEngineTest : public ::testing::Test {
 protected:
  DllEngineTest() {
    root =
        fs::temp_directory_path() /
        ("kx-dll-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(root);
    fs::create_directories(root);
  }
  ~DllEngineTest() override {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }

  // A folder under the test's root, holding the given DLL as ACE32.DLL (none when empty).
  std::string Folder(const std::string& name, const std::string& dll = "") {
    const fs::path folder = root / name;
    fs::create_directories(folder);
    if (!dll.empty()) fs::copy_file(dll, folder / "ACE32.DLL");
    return folder.string();
  }

  // The loader's error, or an empty text when it loaded.
  static std::string LoadError(DllClientEngine& engine) {
    try {
      engine.Load();
    } catch (const EADSDatabaseError& error) {
      EXPECT_EQ(error.AceErrorCode(), kAceErrorEngineUnavailable);
      return error.Message();
    }
    return "";
  }

  fs::path root;
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

TEST_F(DllEngineTest, MissingFunctionNamesItAndTheFolder) {
  const std::string program = Folder("program", KX_PARTIAL_ENGINE_DLL);
  const std::string system = Folder("system", KX_FULL_ENGINE_DLL);
  DllClientEngine engine({program, system});
  const std::string message = LoadError(engine);
  EXPECT_THAT(message, HasSubstr("AdsDisconnect"));  // the first function it lacks
  EXPECT_THAT(message, HasSubstr(program + "\\ACE32.DLL"));
  EXPECT_EQ(engine.LoadedPath(), "");
}

TEST_F(DllEngineTest, FirstFolderHoldingTheDllWins) {
  const std::string program = Folder("program", KX_FULL_ENGINE_DLL);
  const std::string system = Folder("system", KX_PARTIAL_ENGINE_DLL);
  DllClientEngine engine({program, system});
  EXPECT_EQ(LoadError(engine), "");
  EXPECT_EQ(engine.LoadedPath(), program + "\\ACE32.DLL");
}

TEST_F(DllEngineTest, NeverTheCurrentDirectoryOrThePath) {
  const std::string decoy = Folder("decoy", KX_FULL_ENGINE_DLL);
  const std::string program = Folder("program");
  char previous_directory[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, previous_directory);
  char previous_path[32767] = {};
  const DWORD path_length = GetEnvironmentVariableA("PATH", previous_path, sizeof previous_path);
  ASSERT_TRUE(SetCurrentDirectoryA(decoy.c_str()));
  SetEnvironmentVariableA("PATH", (decoy + ";" + previous_path).c_str());

  DllClientEngine engine({program});
  const std::string message = LoadError(engine);

  SetCurrentDirectoryA(previous_directory);
  SetEnvironmentVariableA("PATH", path_length > 0 ? previous_path : nullptr);
  EXPECT_THAT(message, HasSubstr("ACE32.DLL"));
  EXPECT_EQ(engine.LoadedPath(), "");
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
