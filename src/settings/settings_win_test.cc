// The settings components against the real Windows registry and real profile files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <sstream>

#include "src/settings/memory_profile.h"
#include "src/settings/profile_file_win.h"
#include "src/settings/prop_storage.h"
#include "src/settings/registry_store_win.h"
#include "src/settings/settings_scenarios.h"
#include "tests/support/scratch_dir.h"

namespace kx::settings {

namespace {

using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::IsEmpty;

// ---- Registry ----

// Counts opened and closed keys while passing every call to the real registry.
class CountingStore : public RegistryStore {
 public:
  bool OpenKey(uint32_t root, const std::string& path, KeyHandle* key) override {
    const bool ok = real_.OpenKey(root, path, key);
    opened += ok;
    return ok;
  }
  bool QueryValueSize(KeyHandle key, const std::string& name, uint32_t* type,
                      uint32_t* size) override {
    return real_.QueryValueSize(key, name, type, size);
  }
  bool ReadValueData(KeyHandle key, const std::string& name, uint32_t* type, char* buffer,
                     uint32_t* size) override {
    return real_.ReadValueData(key, name, type, buffer, size);
  }
  void CloseKey(KeyHandle key) override {
    ++closed;
    real_.CloseKey(key);
  }
  int opened = 0;
  int closed = 0;

 private:
  Win32RegistryStore real_;
};

// The Win32 registry under the scenarios that the in-memory registry runs too: a key of the
// test's own under HKEY_CURRENT_USER, removed afterwards.
class Win32RegistryWorld : public RegistryWorld {
 public:
  Win32RegistryWorld() {
    static int counter = 0;
    base_ = "Software\\KxScenario" + std::to_string(GetCurrentProcessId()) + "_" +
            std::to_string(++counter);
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, base_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    if (key != nullptr) RegCloseKey(key);
  }
  ~Win32RegistryWorld() override { RegDeleteTreeA(HKEY_CURRENT_USER, base_.c_str()); }
  RegistryStore& Store() override { return store_; }
  int Opened() override { return store_.opened; }
  int Closed() override { return store_.closed; }
  std::string Base() override { return base_; }
  void SetValue(const std::string& path, const std::string& name, uint32_t type,
                const std::string& data) override {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  bool KeyExists(const std::string& path) override {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
      return false;
    }
    RegCloseKey(key);
    return true;
  }
  bool ValueOf(const std::string& path, const std::string& name, uint32_t* type,
               std::string* data) override {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
      return false;
    }
    DWORD value_type = 0, size = 0;
    bool found =
        RegQueryValueExA(key, name.c_str(), nullptr, &value_type, nullptr, &size) == ERROR_SUCCESS;
    if (found) {
      data->assign(size, '\0');
      found = RegQueryValueExA(key, name.c_str(), nullptr, &value_type,
                               reinterpret_cast<BYTE*>(data->data()), &size) == ERROR_SUCCESS;
      data->resize(size);
      *type = value_type;
    }
    RegCloseKey(key);
    return found;
  }

 private:
  std::string base_;
  CountingStore store_;
};

std::unique_ptr<RegistryWorld> MakeWin32RegistryWorld() {
  return std::make_unique<Win32RegistryWorld>();
}

INSTANTIATE_TEST_SUITE_P(Win32, RegistryScenarios, ::testing::Values(&MakeWin32RegistryWorld));

// ---- Profile files ----

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The Win32 profile functions under the scenarios that the in-memory profile files run too:
// a program folder of its own; a folder in place of ads.ini makes it unwritable.
class Win32ProfileWorld : public ProfileWorld {
 public:
  ProfileFile& Profiles() override { return DefaultProfileFile(); }
  ProgramLocation& Program() override { return program_; }
  std::string IniPath() override { return folder_ + "ads.ini"; }
  bool FileExists() override {
    const DWORD attributes = GetFileAttributesA(IniPath().c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }
  std::string Text() override { return FileExists() ? testing::ReadAll(IniPath()) : std::string(); }
  void SetText(const std::string& text) override { testing::WriteAll(IniPath(), text); }
  void MakeUnwritable() override {
    DeleteFileA(IniPath().c_str());
    ASSERT_TRUE(CreateDirectoryA(IniPath().c_str(), nullptr));
  }

 private:
  testing::ScratchDir scratch_;
  std::string folder_ = scratch_.Path() + "\\";
  FixedProgramLocation program_{folder_ + "KestovarRebuild.exe"};
};

std::unique_ptr<ProfileWorld> MakeWin32ProfileWorld() {
  return std::make_unique<Win32ProfileWorld>();
}

INSTANTIATE_TEST_SUITE_P(Win32, ProfileScenarios, ::testing::Values(&MakeWin32ProfileWorld));

// A program folder of its own in the temporary folder, with the window's two components.
class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = scratch_.Path() + "\\";
    file_ = folder_ + "ads.ini";
    program_ = std::make_unique<FixedProgramLocation>(folder_ + "KestovarRebuild.exe");
    SetUpStorageAgain();
  }
  // Fresh components, as in a new run of the program.
  void SetUpStorageAgain() {
    storage_.reset();
    shown_.clear();
    loaded_ = "FormShow did not run";
    ini_ = std::make_unique<TAppIniFile>(DefaultProfileFile(), *program_);
    ini_->SetIniFileName("ads.ini");
    ini_->SetIniFileType(TIniFileType::ftIniFile);
    storage_ = std::make_unique<TPropStorage>("Tfmrebld");
    storage_->SetAppIniFile(ini_.get());
    storage_->SetAppSection("Databases");
    storage_->StoredValues().Add("dravent").SetValue(std::string());
    storage_->Loaded();
    storage_->SetErrorDisplay([this](const Exception& e) { shown_.push_back(e.Message()); });
    ini_->SetErrorDisplay([this](const Exception& e) { shown_.push_back(e.Message()); });
  }
  void TearDown() override {
    storage_.reset();
    ini_.reset();
  }
  std::string Dravent() { return StoredVariantToText(storage_->StoredValues().Item(0).Value()); }
  // The window's life: first showing, an accepted close, destruction.
  void Run() {
    storage_->HandleShow([this] { loaded_ = Dravent(); });
    bool can_close = true;
    storage_->HandleCloseQuery(can_close);
    EXPECT_TRUE(can_close);
    storage_->HandleDestroy();
  }

  testing::ScratchDir scratch_;
  std::string folder_, file_;
  std::unique_ptr<FixedProgramLocation> program_;
  std::unique_ptr<TAppIniFile> ini_;
  std::unique_ptr<TPropStorage> storage_;
  std::vector<std::string> shown_;
  std::string loaded_ = "FormShow did not run";
};

TEST_F(ProfileTest, ExistingFileComesBackByteForByte) {
  const std::string before =
      "; kept\r\n[Other]\r\na=1\r\n\r\n[Databases]\r\nx=y\r\ndravent=D:\\Data\\Kest\r\n"
      "Version=0\r\n\r\n[Last]\r\nb=2\r\n";
  testing::WriteAll(file_, before);
  Run();
  EXPECT_EQ(loaded_, "D:\\Data\\Kest");
  EXPECT_EQ(testing::ReadAll(file_), before);
}

TEST_F(ProfileTest, MalformedFilesAreReadWithoutHarm) {
  struct Case {
    const char* label;
    std::string bytes;
    std::string expected;
  };
  std::string binary = "[Databases]\r\ndravent=C:\\a\x01\xFF";
  binary += std::string("\0\0b\r\n", 5);
  binary += "\x7F\x80[=]\r\n";
  const Case cases[] = {
      {"no section", "dravent=C:\\x\r\n", ""},
      {"duplicate keys", "[Databases]\r\ndravent=first\r\ndravent=second\r\n", "first"},
      {"duplicate sections", "[Databases]\r\na=1\r\n[Databases]\r\ndravent=two\r\n", ""},
      {"unclosed section", "[Databases\r\ndravent=C:\\x\r\n", ""},
      {"very long line", "[Databases]\r\nx=" + std::string(300000, 'z') + "\r\ndravent=ok\r\n",
       "ok"},
      {"bare LF", "[Databases]\ndravent=lf\n", "lf"},
      {"binary", binary, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    testing::WriteAll(file_, c.bytes);
    SetUpStorageAgain();
    Run();
    if (std::string(c.label) != "binary") {
      EXPECT_EQ(loaded_, c.expected);
    }
    EXPECT_THAT(shown_, IsEmpty());
    // After the run the value written is the one that was read.
    EXPECT_EQ(DefaultProfileFile().ReadString(file_, "Databases", "dravent", "?", 1 << 20),
              loaded_);
  }
}

TEST(ProgramLocationWin, NamesThisTestProgram) {
  const std::string name = DefaultProgramLocation().ProgramFileName();
  EXPECT_THAT(name, EndsWith("settings_win_test.exe"));
  EXPECT_TRUE(Exists(name));
  TAppIniFile ini(DefaultProfileFile(), DefaultProgramLocation());
  ini.SetIniFileName("ads.ini");
  EXPECT_EQ(ini.FileName(), name.substr(0, name.rfind('\\') + 1) + "ads.ini");
}

}  // namespace

}  // namespace kx::settings
