// The settings components against the real Windows registry and real profile files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "settings/memory_profile.h"
#include "settings/profile_file_win.h"
#include "settings/prop_storage.h"
#include "settings/registry_store_win.h"

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

class RegistryTest : public ::testing::Test {
 protected:
  RegistryTest() : path_("Software\\KxSettingsTest" + std::to_string(GetCurrentProcessId())) {}
  void SetUp() override {
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(key_);
    RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
  }
  void Set(const char* name, DWORD type, const std::string& data) {
    ASSERT_EQ(RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
  }
  std::string Read(const std::string& name, const std::string& key) {
    TRegistryReader reader(store_);
    reader.SetRootKey(TmRootKey::rkHKEY_CURRENT_USER);
    reader.SetKey(key);
    return reader.ReadValue(name);
  }
  bool KeyExists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
      return false;
    }
    RegCloseKey(key);
    return true;
  }

  const std::string path_;
  HKEY key_ = nullptr;
  CountingStore store_;
};

TEST_F(RegistryTest, TextValues) {
  struct Case {
    const char* name;
    DWORD type;
    std::string data;
    std::string expected;
  };
  const std::string long_text(100000, 'L');
  const Case cases[] = {
      {"text", REG_SZ, std::string("C:\\Data\\ \0", 10), "C:\\Data\\ "},
      {"expand", REG_EXPAND_SZ, std::string("%TEMP%\\data\0", 12), "%TEMP%\\data"},
      {"zero", REG_SZ, "", ""},
      {"nul", REG_SZ, std::string(1, '\0'), ""},
      {"inside", REG_SZ, std::string("C:\\a\0C:\\b\0", 10), "C:\\a"},
      {"long", REG_SZ, long_text + '\0', long_text},
      {"high", REG_SZ, std::string("C:\\\xE9t\xE9\0", 7), "C:\\\xE9t\xE9"},
  };
  for (const Case& c : cases) {
    Set(c.name, c.type, c.data);
    EXPECT_EQ(Read(c.name, "\\" + path_), c.expected) << c.name;
    EXPECT_EQ(Read(c.name, path_), c.expected) << c.name;
  }
  EXPECT_EQ(Read("absent", path_), "");
  EXPECT_EQ(store_.opened, store_.closed);
  EXPECT_EQ(store_.opened, 2 * static_cast<int>(std::size(cases)) + 1);
}

TEST_F(RegistryTest, OtherTypesRaiseAndCloseTheKey) {
  Set("dword", REG_DWORD, std::string("\x01\0\0\0", 4));
  Set("binary", REG_BINARY, "C:\\x");
  Set("multi", REG_MULTI_SZ, std::string("C:\\x\0\0", 6));
  for (const char* name : {"dword", "binary", "multi"}) {
    try {
      Read(name, path_);
      ADD_FAILURE() << name << ": no exception";
    } catch (const ERegistryException& e) {
      EXPECT_EQ(e.Message(), std::string("Invalid data type for '") + name + "'");
    }
  }
  EXPECT_EQ(store_.opened, 3);
  EXPECT_EQ(store_.closed, 3);
}

TEST_F(RegistryTest, MissingKeyIsEmptyAndNeverCreated) {
  const std::string missing = path_ + "\\Velloran\\Kestovar\\Databases";
  EXPECT_EQ(Read("kestrun", "\\" + missing), "");
  EXPECT_EQ(Read("kestrun", missing), "");
  EXPECT_FALSE(KeyExists(path_ + "\\Velloran"));
  EXPECT_EQ(store_.opened, 0);
  // Reading leaves the values as they were.
  Set("kestrun", REG_SZ, std::string("D:\\x\0", 5));
  Read("kestrun", path_);
  DWORD type = 0, size = 0;
  ASSERT_EQ(RegQueryValueExA(key_, "kestrun", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 5u);
}

// ---- Profile files ----

std::string ReadBytes(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary);
  out << bytes;
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A program folder of its own in the temporary folder, with the window's two components.
class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
    static int counter = 0;
    folder_ = std::string(temp) + "kxsettings" + std::to_string(GetCurrentProcessId()) + "_" +
              std::to_string(++counter) + "\\";
    ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
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
    RemoveAll(folder_);
  }
  static void RemoveAll(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          RemoveAll(folder + name + "\\");
        } else {
          DeleteFileA((folder + name).c_str());
        }
      } while (FindNextFileA(find, &found));
      FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
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

  std::string folder_, file_;
  std::unique_ptr<FixedProgramLocation> program_;
  std::unique_ptr<TAppIniFile> ini_;
  std::unique_ptr<TPropStorage> storage_;
  std::vector<std::string> shown_;
  std::string loaded_ = "FormShow did not run";
};

TEST_F(ProfileTest, FirstRunCreatesTheFileOnlyAtClose) {
  storage_->HandleShow();
  EXPECT_FALSE(Exists(file_));
  bool can_close = true;
  storage_->HandleCloseQuery(can_close);
  EXPECT_EQ(ReadBytes(file_), "[Databases]\r\ndravent=\r\nVersion=0\r\n");
  storage_->HandleDestroy();
  EXPECT_THAT(shown_, IsEmpty());
}

TEST_F(ProfileTest, ExistingFileComesBackByteForByte) {
  const std::string before =
      "; kept\r\n[Other]\r\na=1\r\n\r\n[Databases]\r\nx=y\r\ndravent=D:\\Data\\Kest\r\n"
      "Version=0\r\n\r\n[Last]\r\nb=2\r\n";
  WriteBytes(file_, before);
  Run();
  EXPECT_EQ(loaded_, "D:\\Data\\Kest");
  EXPECT_EQ(ReadBytes(file_), before);
}

TEST_F(ProfileTest, VersionIsRewrittenWhateverItHeld) {
  WriteBytes(file_, "[Databases]\r\nVersion=abc\r\ndravent=D:\\x\r\n");
  Run();
  EXPECT_EQ(loaded_, "D:\\x");
  EXPECT_EQ(ReadBytes(file_), "[Databases]\r\nVersion=0\r\ndravent=D:\\x\r\n");
}

// A value the profile functions cannot store whole is left as the file has it, without an
// error; the other keys are written.
TEST_F(ProfileTest, LongValuesSurviveARunWithoutAnError) {
  for (size_t length : {2046u, 2047u, 2048u, 5000u, 32766u, 32767u, 70000u}) {
    SCOPED_TRACE(length);
    const std::string value(length, 'v');
    const std::string bytes = "[Databases]\r\ndravent=" + value + "\r\nVersion=7\r\n";
    WriteBytes(file_, bytes);
    SetUpStorageAgain();
    Run();
    EXPECT_EQ(loaded_.size(), length);
    const std::string after = ReadBytes(file_);
    const std::string expected = "[Databases]\r\ndravent=" + value + "\r\nVersion=0\r\n";
    EXPECT_EQ(after.size(), expected.size());
    EXPECT_TRUE(after == expected);
    EXPECT_THAT(shown_, IsEmpty());
  }
}

TEST_F(ProfileTest, FolderInPlaceOfTheFileIsReportedOnce) {
  ASSERT_TRUE(CreateDirectoryA(file_.c_str(), nullptr));
  Run();
  EXPECT_THAT(shown_, ElementsAre("Unable to write to " + file_));
  EXPECT_EQ(GetFileAttributesA(file_.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(loaded_, "");
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
    WriteBytes(file_, c.bytes);
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
