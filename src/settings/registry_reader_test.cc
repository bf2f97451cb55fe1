#include "src/settings/registry_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "src/settings/memory_registry.h"
#include "src/settings/settings_scenarios.h"

namespace kx::settings {

namespace {

constexpr char kPath[] = "Software\\Velloran\\Kestovar\\Databases";

// The in-memory registry under the scenarios that the Win32 registry runs too.
class MemoryRegistryWorld : public RegistryWorld {
 public:
  MemoryRegistryWorld() { store_.AddKey(kHkeyCurrentUser, Base()); }
  RegistryStore& Store() override { return store_; }
  int Opened() override { return store_.opened(); }
  int Closed() override {
    EXPECT_EQ(store_.bad_closes(), 0);
    return store_.closed();
  }
  std::string Base() override { return "Software\\KxScenario"; }
  void SetValue(const std::string& path, const std::string& name, uint32_t type,
                const std::string& data) override {
    store_.SetValue(kHkeyCurrentUser, path, name, {type, data});
  }
  bool KeyExists(const std::string& path) override { return store_.HasKey(kHkeyCurrentUser, path); }
  bool ValueOf(const std::string& path, const std::string& name, uint32_t* type,
               std::string* data) override {
    const MemoryRegistryStore::Value* value = store_.ValueAt(kHkeyCurrentUser, path, name);
    if (value == nullptr) return false;
    *type = value->type;
    *data = value->data;
    return true;
  }

 private:
  MemoryRegistryStore store_;
};

std::unique_ptr<RegistryWorld> MakeMemoryRegistryWorld() {
  return std::make_unique<MemoryRegistryWorld>();
}

INSTANTIATE_TEST_SUITE_P(Memory, RegistryScenarios, ::testing::Values(&MakeMemoryRegistryWorld));

// Only the root asked for is read: a same-named value under another root is not.
TEST(RegistryReader, OtherRootsAreNotRead) {
  MemoryRegistryStore store;
  store.SetValue(kHkeyLocalMachine, kPath, "kestrun", {kRegSz, std::string("wrong\0", 6)});
  store.AddKey(kHkeyCurrentUser, kPath);
  TRegistryReader reader(store);
  reader.SetRootKey(TmRootKey::rkHKEY_CURRENT_USER);
  reader.SetKey(std::string("\\") + kPath);
  EXPECT_EQ(reader.ReadValue("kestrun"), "");
  EXPECT_EQ(store.opened(), 1);
  EXPECT_EQ(store.closed(), 1);
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

}  // namespace kx::settings
