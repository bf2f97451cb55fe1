#include "settings/registry_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "settings/memory_registry.h"

namespace {

constexpr char kPath[] = "Software\\Velloran\\Kestovar\\Databases";

struct ReadCase {
  const char* label;
  bool key_exists;
  bool has_value;
  uint32_t type;
  std::string data;
  std::string expected;
};

class RegistryReaderTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(RegistryReaderTest, ReadsTextAndClosesTheKey) {
  const ReadCase& c = GetParam();
  MemoryRegistryStore store;
  if (c.key_exists) store.AddKey(kHkeyCurrentUser, kPath);
  if (c.has_value) store.SetValue(kHkeyCurrentUser, kPath, "kestrun", {c.type, c.data});
  // A same-named value under another root must not be read.
  store.SetValue(kHkeyLocalMachine, kPath, "kestrun", {kRegSz, std::string("wrong\0", 6)});

  TRegistryReader reader(store);
  reader.SetRootKey(TmRootKey::rkHKEY_CURRENT_USER);
  reader.SetKey(std::string("\\") + kPath);
  EXPECT_EQ(reader.ReadValue("kestrun"), c.expected);
  EXPECT_EQ(store.opened(), store.closed());
  EXPECT_EQ(store.bad_closes(), 0);
}

const std::string kLong(70000, 'x');

INSTANTIATE_TEST_SUITE_P(
    Values, RegistryReaderTest,
    ::testing::Values(
        ReadCase{"Text", true, true, kRegSz, std::string("D:\\Data\\ \0", 10), "D:\\Data\\ "},
        ReadCase{"ExpandableTextUnexpanded", true, true, kRegExpandSz,
                 std::string("%USERPROFILE%\\data\0", 19), "%USERPROFILE%\\data"},
        ReadCase{"NoKey", false, false, kRegSz, "", ""},
        ReadCase{"NoValue", true, false, kRegSz, "", ""},
        ReadCase{"ZeroBytes", true, true, kRegSz, "", ""},
        ReadCase{"ZeroBytesOfAnotherType", true, true, kRegDword, "", ""},
        ReadCase{"OnlyTheNul", true, true, kRegSz, std::string(1, '\0'), ""},
        ReadCase{"NulInside", true, true, kRegSz, std::string("C:\\a\0C:\\b\0", 10), "C:\\a"},
        ReadCase{"NoTerminatingNul", true, true, kRegSz, "C:\\data", "C:\\data"},
        ReadCase{"LongValue", true, true, kRegSz, kLong + '\0', kLong},
        ReadCase{"HighBytes", true, true, kRegSz, std::string("C:\\\xE9t\xE9\0", 7),
                 "C:\\\xE9t\xE9"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(RegistryReader, OtherTypesRaiseAndStillCloseTheKey) {
  for (uint32_t type : {kRegNone, kRegBinary, kRegDword, kRegMultiSz, 11u, 0x1234u}) {
    SCOPED_TRACE(type);
    MemoryRegistryStore store;
    store.SetValue(kHkeyCurrentUser, kPath, "kestrun", {type, std::string("C:\\x\0\0", 6)});
    TRegistryReader reader(store);
    reader.SetRootKey(TmRootKey::rkHKEY_CURRENT_USER);
    reader.SetKey(kPath);
    try {
      reader.ReadValue("kestrun");
      ADD_FAILURE() << "no exception";
    } catch (const ERegistryException& e) {
      EXPECT_EQ(e.Message(), "Invalid data type for 'kestrun'");
    }
    EXPECT_EQ(store.opened(), 1);
    EXPECT_EQ(store.closed(), 1);
  }
}

TEST(RegistryReader, FailedDataReadRaisesAndClosesTheKey) {
  MemoryRegistryStore store;
  store.SetValue(kHkeyCurrentUser, kPath, "Folder", {kRegSz, std::string("C:\\x\0", 5)});
  store.FailDataRead(true);
  TRegistryReader reader(store);
  reader.SetRootKey(TmRootKey::rkHKEY_CURRENT_USER);
  reader.SetKey(kPath);
  try {
    reader.ReadValue("Folder");
    ADD_FAILURE() << "no exception";
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(), "Failed to get data for 'Folder'");
  }
  EXPECT_EQ(store.closed(), 1);
}

TEST(RegistryReader, KeyWithoutFullAccessIsEmptyText) {
  MemoryRegistryStore store;
  store.SetValue(kHkeyCurrentUser, kPath, "kestrun", {kRegSz, std::string("C:\\x\0", 5)});
  store.DenyFullAccess(kHkeyCurrentUser, kPath);
  TRegistryReader reader(store);
  reader.SetRootKey(TmRootKey::rkHKEY_CURRENT_USER);
  reader.SetKey(kPath);
  EXPECT_EQ(reader.ReadValue("kestrun"), "");
}

TEST(RegistryReader, RootsAndKeyPaths) {
  struct Case {
    TmRootKey root;
    std::string key;
    uint32_t expected_root;
    std::string expected_path;
  };
  const Case cases[] = {
      {TmRootKey::rkHKEY_CLASSES_ROOT, "\\A", kHkeyClassesRoot, "A"},
      {TmRootKey::rkHKEY_CURRENT_USER, "A\\B", kHkeyCurrentUser, "A\\B"},
      {TmRootKey::rkHKEY_LOCAL_MACHINE, "\\\\A", kHkeyLocalMachine, "\\A"},
      {TmRootKey::rkHKEY_USERS, "", kHkeyUsers, ""},
      {TmRootKey::rkHKEY_CURRENT_CONFIG, "\\", kHkeyCurrentConfig, ""},
      {static_cast<TmRootKey>(5), "A", kHkeyLocalMachine, "A"},
      {static_cast<TmRootKey>(255), "A", kHkeyLocalMachine, "A"},
  };
  for (const Case& c : cases) {
    MemoryRegistryStore store;
    TRegistryReader reader(store);
    reader.SetRootKey(c.root);
    reader.SetKey(c.key);
    EXPECT_EQ(reader.ReadValue("v"), "");
    ASSERT_EQ(store.open_calls().size(), 1u);
    EXPECT_EQ(store.open_calls()[0].first, c.expected_root) << c.key;
    EXPECT_EQ(store.open_calls()[0].second, c.expected_path) << c.key;
  }
}

TEST(RegistryReader, EachReadSeesTheCurrentValue) {
  MemoryRegistryStore store;
  store.SetValue(kHkeyCurrentUser, kPath, "kestrun", {kRegSz, std::string("one\0", 4)});
  TRegistryReader reader(store);
  reader.SetRootKey(TmRootKey::rkHKEY_CURRENT_USER);
  reader.SetKey(kPath);
  EXPECT_EQ(reader.ReadValue("kestrun"), "one");
  store.SetValue(kHkeyCurrentUser, kPath, "KESTRUN", {kRegSz, std::string("two\0", 4)});
  EXPECT_EQ(reader.ReadValue("kestrun"), "two");
  EXPECT_EQ(store.opened(), 2);
  EXPECT_EQ(store.closed(), 2);
}

TEST(RegistryReader, DefaultsAndAbout) {
  MemoryRegistryStore store;
  TRegistryReader reader(store);
  EXPECT_EQ(reader.RootKey(), TmRootKey::rkHKEY_LOCAL_MACHINE);
  EXPECT_TRUE(reader.CanCreate());
  const std::string about = reader.About();
  reader.SetAbout("changed");
  EXPECT_EQ(reader.About(), about);
  EXPECT_EQ(sizeof(TmRootKey), 1u);
}

}  // namespace
