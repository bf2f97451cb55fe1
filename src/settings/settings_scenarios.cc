#include "src/settings/settings_scenarios.h"

#include <gmock/gmock.h>

#include <vector>

#include "src/settings/app_ini_file.h"
#include "src/settings/prop_storage.h"

namespace kx::settings {

namespace {
using ::testing::ElementsAre;
using ::testing::IsEmpty;
}  // namespace

// ---- Registry ----

std::string RegistryScenarios::Read(const std::string& key, const std::string& name) {
  TRegistryReader reader(world->Store());
  reader.SetRootKey(TmRootKey::rkHKEY_CURRENT_USER);
  reader.SetKey(key);
  return reader.ReadValue(name);
}

TEST_P(RegistryScenarios, TextValues) {
  struct Case {
    const char* label;
    bool key_exists;
    bool has_value;
    uint32_t type;
    std::string data;
    std::string expected;
  };
  const std::string long_text(100000, 'L');
  const Case cases[] = {
      {"text", true, true, kRegSz, std::string("D:\\Data\\ \0", 10), "D:\\Data\\ "},
      {"expand", true, true, kRegExpandSz, std::string("%USERPROFILE%\\data\0", 19),
       "%USERPROFILE%\\data"},
      {"nokey", false, false, kRegSz, "", ""},
      {"novalue", true, false, kRegSz, "", ""},
      {"zero", true, true, kRegSz, "", ""},
      {"zerodword", true, true, kRegDword, "", ""},
      {"nul", true, true, kRegSz, std::string(1, '\0'), ""},
      {"inside", true, true, kRegSz, std::string("C:\\a\0C:\\b\0", 10), "C:\\a"},
      {"unterminated", true, true, kRegSz, "C:\\data", "C:\\data"},
      {"long", true, true, kRegSz, std::string(70000, 'x') + '\0', std::string(70000, 'x')},
      {"longer", true, true, kRegSz, long_text + '\0', long_text},
      {"high", true, true, kRegSz, std::string("C:\\\xE9t\xE9\0", 7), "C:\\\xE9t\xE9"},
  };
  int reads = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string key = world->Base() + "\\" + c.label;
    if (c.has_value) {
      world->SetValue(key, "kestrun", c.type, c.data);
    } else if (c.key_exists) {
      world->SetValue(key, "other", kRegSz, std::string("x\0", 2));
    }
    EXPECT_EQ(Read("\\" + key, "kestrun"), c.expected);
    EXPECT_EQ(Read(key, "kestrun"), c.expected);
    if (c.key_exists) reads += 2;
  }
  EXPECT_EQ(world->Opened(), reads);
  EXPECT_EQ(world->Closed(), reads);
}

TEST_P(RegistryScenarios, OtherTypesRaiseAndCloseTheKey) {
  const uint32_t types[] = {kRegNone, kRegBinary, kRegDword, kRegMultiSz, 11u, 0x1234u};
  for (uint32_t type : types) {
    SCOPED_TRACE(type);
    world->SetValue(world->Base(), "kestrun", type, std::string("C:\\x\0\0", 6));
    try {
      Read(world->Base(), "kestrun");
      ADD_FAILURE() << "no exception";
    } catch (const ERegistryException& e) {
      EXPECT_EQ(e.Message(), "Invalid data type for 'kestrun'");
    }
  }
  EXPECT_EQ(world->Opened(), static_cast<int>(std::size(types)));
  EXPECT_EQ(world->Closed(), static_cast<int>(std::size(types)));
}

TEST_P(RegistryScenarios, MissingKeyIsEmptyAndNeverCreated) {
  const std::string missing = world->Base() + "\\Velloran\\Kestovar\\Databases";
  EXPECT_EQ(Read("\\" + missing, "kestrun"), "");
  EXPECT_EQ(Read(missing, "kestrun"), "");
  EXPECT_FALSE(world->KeyExists(world->Base() + "\\Velloran"));
  EXPECT_EQ(world->Opened(), 0);
  // Reading leaves the value as it was.
  world->SetValue(world->Base(), "kestrun", kRegSz, std::string("D:\\x\0", 5));
  Read(world->Base(), "kestrun");
  uint32_t type = 0;
  std::string data;
  ASSERT_TRUE(world->ValueOf(world->Base(), "kestrun", &type, &data));
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(data, std::string("D:\\x\0", 5));
}

TEST_P(RegistryScenarios, EachReadSeesTheCurrentValueNamesIgnoringCase) {
  world->SetValue(world->Base(), "kestrun", kRegSz, std::string("one\0", 4));
  EXPECT_EQ(Read(world->Base(), "kestrun"), "one");
  world->SetValue(world->Base(), "KESTRUN", kRegSz, std::string("two\0", 4));
  EXPECT_EQ(Read(world->Base(), "KestRun"), "two");
  EXPECT_EQ(world->Opened(), 2);
  EXPECT_EQ(world->Closed(), 2);
}

// ---- Profile files under the property storage ----

namespace {
// The window's two components over the world's profile files.
struct WindowStorage {
  explicit WindowStorage(ProfileWorld& world) : ini(world.Profiles(), world.Program()) {
    ini.SetIniFileName("ads.ini");
    ini.SetIniFileType(TIniFileType::ftIniFile);
    storage.SetAppIniFile(&ini);
    storage.SetAppSection("Databases");
    storage.StoredValues().Add("dravent").SetValue(std::string());
    storage.Loaded();
    storage.SetErrorDisplay([this](const Exception& e) { shown.push_back(e.Message()); });
    ini.SetErrorDisplay([this](const Exception& e) { shown.push_back(e.Message()); });
  }
  std::string Dravent() { return StoredVariantToText(storage.StoredValues().Item(0).Value()); }
  // The window's life: first showing, an accepted close, destruction.
  void Run() {
    storage.HandleShow([this] { loaded = Dravent(); });
    bool can_close = true;
    storage.HandleCloseQuery(can_close);
    EXPECT_TRUE(can_close);
    storage.HandleDestroy();
  }

  TAppIniFile ini;
  TPropStorage storage{"Tfmrebld"};
  std::vector<std::string> shown;
  std::string loaded = "FormShow did not run";
};
}  // namespace

TEST_P(ProfileScenarios, FirstRunCreatesTheFileOnlyAtClose) {
  WindowStorage window(*world);
  window.storage.HandleShow([&] { window.loaded = window.Dravent(); });
  EXPECT_FALSE(world->FileExists());
  EXPECT_EQ(window.loaded, "");
  bool can_close = true;
  window.storage.HandleCloseQuery(can_close);
  EXPECT_EQ(world->Text(), "[Databases]\r\ndravent=\r\nVersion=0\r\n");
  window.storage.HandleDestroy();
  EXPECT_THAT(window.shown, IsEmpty());
  EXPECT_EQ(window.ini.IniFile(), nullptr);
}

// Sections and keys are found whatever their letter case; everything else stays as it was.
TEST_P(ProfileScenarios, ExistingFileKeepsItsValueAndEverythingElse) {
  const std::string before =
      "[Other]\r\na=1\r\n[databases]\r\nX=y\r\nDRAVENT=D:\\Data\\Kest\r\nversion=0\r\n"
      "[Last]\r\ndravent=not this one\r\n";
  world->SetText(before);
  WindowStorage window(*world);
  window.Run();
  EXPECT_EQ(window.loaded, "D:\\Data\\Kest");
  EXPECT_EQ(world->Text(), before);
  EXPECT_THAT(window.shown, IsEmpty());
}

TEST_P(ProfileScenarios, VersionNeitherStopsTheLoadNorSurvivesTheSave) {
  for (const char* version : {"5", "-1", "abc", "0x10", "", "0"}) {
    SCOPED_TRACE(version);
    world->SetText(std::string("[Databases]\r\nVersion=") + version + "\r\ndravent=E:\\k\r\n");
    WindowStorage window(*world);
    window.Run();
    EXPECT_EQ(window.loaded, "E:\\k");
    EXPECT_EQ(world->Text(), "[Databases]\r\nVersion=0\r\ndravent=E:\\k\r\n");
  }
}

// Long values come back whole; one the profile functions cannot store whole (32,767
// characters or more) is left as the file has it, without an error, and "Version" is written.
TEST_P(ProfileScenarios, LongValuesSurviveARunWithoutAnError) {
  for (size_t length : {2046u, 2047u, 2048u, 5000u, 32766u, 32767u, 70000u}) {
    SCOPED_TRACE(length);
    const std::string value(length, 'v');
    world->SetText("[Databases]\r\ndravent=" + value + "\r\nVersion=7\r\n");
    WindowStorage window(*world);
    window.Run();
    EXPECT_EQ(window.loaded.size(), length);
    const std::string expected = "[Databases]\r\ndravent=" + value + "\r\nVersion=0\r\n";
    EXPECT_TRUE(world->Text() == expected);
    EXPECT_THAT(window.shown, IsEmpty());
  }
}

TEST_P(ProfileScenarios, UnwritableFileIsReportedOnce) {
  world->MakeUnwritable();
  WindowStorage window(*world);
  window.Run();
  EXPECT_THAT(window.shown, ElementsAre("Unable to write to " + world->IniPath()));
  EXPECT_EQ(window.loaded, "");
  EXPECT_FALSE(world->FileExists());
}

}  // namespace kx::settings
