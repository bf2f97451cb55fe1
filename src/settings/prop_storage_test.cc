#include "src/settings/prop_storage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "src/settings/memory_profile.h"
#include "src/settings/settings_scenarios.h"

namespace kx::settings {

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kFile[] = "C:\\Tools\\ads.ini";

// The window's two components as the main window sets them up.
class PropStorageTest : public ::testing::Test {
 protected:
  PropStorageTest() : program_("C:\\Tools\\KestovarRebuild.exe"), ini_(profiles_, program_) {
    ini_.SetIniFileName("ads.ini");
    ini_.SetIniFileType(TIniFileType::ftIniFile);
    storage_.SetAppIniFile(&ini_);
    storage_.SetAppSection("Databases");
    storage_.StoredValues().Add("dravent").SetValue(std::string());
    storage_.Loaded();
    storage_.SetErrorDisplay([this](const Exception& e) { shown_.push_back(e.Message()); });
    ini_.SetErrorDisplay([this](const Exception& e) { shown_.push_back(e.Message()); });
  }

  std::string Dravent() {
    return StoredVariantToText(storage_.StoredValues().Find("dravent")->Value());
  }
  // Show, then an accepted close, then the destruction.
  void Run() {
    storage_.HandleShow([this] { form_show_saw_.push_back(Dravent()); });
    bool can_close = true;
    storage_.HandleCloseQuery(can_close);
    EXPECT_TRUE(can_close);
    storage_.HandleDestroy();
  }

  MemoryProfileFile profiles_;
  FixedProgramLocation program_;
  TAppIniFile ini_;
  TPropStorage storage_{"Tfmrebld"};
  std::vector<std::string> shown_;
  std::vector<std::string> form_show_saw_;
};

// The in-memory profile files under the scenarios that the Win32 profile functions run too.
class MemoryProfileWorld : public ProfileWorld {
 public:
  ProfileFile& Profiles() override { return profiles_; }
  ProgramLocation& Program() override { return program_; }
  std::string IniPath() override { return kFile; }
  bool FileExists() override { return profiles_.Exists(kFile); }
  std::string Text() override { return profiles_.Text(kFile); }
  void SetText(const std::string& text) override {
    MemoryProfileFile::File file;
    size_t at = 0;
    while (at < text.size()) {
      size_t end = text.find("\r\n", at);
      if (end == std::string::npos) end = text.size();
      const std::string line = text.substr(at, end - at);
      at = end + 2;
      if (line.size() > 1 && line.front() == '[' && line.back() == ']') {
        file.push_back({line.substr(1, line.size() - 2), {}});
      } else if (const size_t equals = line.find('='); equals != std::string::npos) {
        if (file.empty()) file.push_back({"", {}});
        file.back().keys.emplace_back(line.substr(0, equals), line.substr(equals + 1));
      }
    }
    profiles_.SetFile(kFile, std::move(file));
  }
  void MakeUnwritable() override { profiles_.MakeUnwritable(kFile); }

 private:
  MemoryProfileFile profiles_;
  FixedProgramLocation program_{"C:\\Tools\\KestovarRebuild.exe"};
};

std::unique_ptr<ProfileWorld> MakeMemoryProfileWorld() {
  return std::make_unique<MemoryProfileWorld>();
}

INSTANTIATE_TEST_SUITE_P(Memory, ProfileScenarios, ::testing::Values(&MakeMemoryProfileWorld));

TEST_F(PropStorageTest, NoFileShowCreatesNothingAndCloseWritesBothKeys) {
  storage_.HandleShow([this] { form_show_saw_.push_back(Dravent()); });
  EXPECT_FALSE(profiles_.Exists(kFile));
  EXPECT_THAT(form_show_saw_, ElementsAre(""));

  profiles_.ClearLog();
  bool can_close = true;
  storage_.HandleCloseQuery(can_close);
  storage_.HandleDestroy();
  EXPECT_EQ(profiles_.Text(kFile), "[Databases]\r\ndravent=\r\nVersion=0\r\n");
  // One flush at the end of the save and one as its file object goes; the destruction
  // after an accepted close writes nothing.
  EXPECT_THAT(profiles_.log(),
              ElementsAre("write Databases/dravent= @C:\\Tools\\ads.ini",
                          "write Databases/Version=0 @C:\\Tools\\ads.ini",
                          "flush @C:\\Tools\\ads.ini", "flush @C:\\Tools\\ads.ini"));
  EXPECT_THAT(shown_, IsEmpty());
  EXPECT_EQ(ini_.IniFile(), nullptr);
}

TEST_F(PropStorageTest, UnwritableFileIsReportedOnceAndLeftAsItWas) {
  profiles_.SetFile(kFile, {{"Databases", {{"dravent", "D:\\Data"}, {"Version", "3"}}}});
  profiles_.MakeUnwritable(kFile);
  const std::string before = profiles_.Text(kFile);
  storage_.HandleShow();
  profiles_.ClearLog();
  bool can_close = true;
  storage_.HandleCloseQuery(can_close);
  storage_.HandleDestroy();

  EXPECT_TRUE(can_close);
  EXPECT_THAT(shown_, ElementsAre("Unable to write to C:\\Tools\\ads.ini"));
  // "Version" is not attempted after the failed write; the flush and release still happen.
  EXPECT_THAT(profiles_.log(),
              ElementsAre("write Databases/dravent=D:\\Data @C:\\Tools\\ads.ini",
                          "flush @C:\\Tools\\ads.ini", "flush @C:\\Tools\\ads.ini"));
  EXPECT_EQ(ini_.IniFile(), nullptr);
  EXPECT_EQ(profiles_.Text(kFile), before);
}

TEST_F(PropStorageTest, OnlyTheFirstShowingLoads) {
  storage_.HandleShow();
  profiles_.SetFile(kFile, {{"Databases", {{"dravent", "later"}}}});
  profiles_.ClearLog();
  int form_shows = 0;
  storage_.HandleShow([&] { ++form_shows; });
  storage_.HandleShow([&] { ++form_shows; });
  EXPECT_EQ(form_shows, 2);
  EXPECT_THAT(profiles_.log(), IsEmpty());
  EXPECT_EQ(Dravent(), "");
}

TEST_F(PropStorageTest, DestroyedWithoutShowingSavesTheValueItHolds) {
  storage_.HandleDestroy();
  EXPECT_EQ(profiles_.Text(kFile), "[Databases]\r\ndravent=\r\nVersion=0\r\n");
  profiles_.ClearLog();
  storage_.HandleDestroy();
  EXPECT_THAT(profiles_.log(), IsEmpty());
}

TEST_F(PropStorageTest, InactiveStorageNeitherLoadsNorSaves) {
  storage_.SetActive(false);
  int form_shows = 0;
  storage_.HandleShow([&] { ++form_shows; });
  bool can_close = true;
  storage_.HandleCloseQuery(can_close);
  storage_.HandleDestroy();
  EXPECT_EQ(form_shows, 1);
  EXPECT_TRUE(can_close);
  EXPECT_THAT(profiles_.log(), IsEmpty());
}

TEST_F(PropStorageTest, RefusedCloseSavesNothingUntilAnAcceptedOne) {
  bool can_close = true;
  storage_.HandleCloseQuery(can_close, [](bool& c) { c = false; });
  EXPECT_FALSE(can_close);
  EXPECT_FALSE(profiles_.Exists(kFile));
  EXPECT_FALSE(storage_.Saved());
  can_close = true;
  storage_.HandleCloseQuery(can_close, [](bool&) {});
  EXPECT_TRUE(profiles_.Exists(kFile));
  EXPECT_TRUE(storage_.Saved());
}

TEST_F(PropStorageTest, WindowHandlerExceptionsPassThroughAfterTheLoad) {
  profiles_.SetFile(kFile, {{"Databases", {{"dravent", "D:\\Data"}}}});
  EXPECT_THROW(storage_.HandleShow([] { throw Exception("from the window"); }), Exception);
  EXPECT_EQ(Dravent(), "D:\\Data");
  EXPECT_THAT(shown_, IsEmpty());
}

TEST_F(PropStorageTest, FailureAtShowIsShownAndTheWindowHandlerStillRuns) {
  ini_.SetIniFileType(TIniFileType::ftUserDefined);  // nothing supplies a file object
  int form_shows = 0;
  storage_.HandleShow([&] { ++form_shows; });
  EXPECT_THAT(shown_, ElementsAre("Cannot create ini-file"));
  EXPECT_EQ(form_shows, 1);
}

TEST_F(PropStorageTest, WithoutADisplayFailuresReachTheCaller) {
  storage_.SetErrorDisplay(nullptr);
  profiles_.MakeUnwritable(kFile);
  bool can_close = true;
  EXPECT_THROW(storage_.HandleCloseQuery(can_close), EIniFileException);
  EXPECT_EQ(ini_.IniFile(), nullptr);
}

TEST_F(PropStorageTest, NotificationsSeeAndChangeTheValuesInTransit) {
  std::vector<std::string> events;
  storage_.OnLoad = [&](TPropStorage&) { events.push_back("OnLoad " + Dravent()); };
  storage_.OnSave = [&](TPropStorage&) { events.push_back("OnSave"); };
  storage_.OnLoadValue = [&](TPropStorage&, TStoredValue& item, TStoredVariant& value) {
    events.push_back("load " + item.Name() + "=" + std::get<std::string>(value));
    value = 12;
  };
  storage_.OnSaveValue = [&](TPropStorage&, TStoredValue&, TStoredVariant& value) {
    events.push_back("save " + StoredVariantToText(value));
    value = std::string("changed copy");
  };
  profiles_.SetFile(kFile, {{"Databases", {{"dravent", "D:\\Data"}}}});
  Run();
  EXPECT_THAT(events, ElementsAre("load dravent=D:\\Data", "OnLoad 12", "OnSave", "save 12"));
  EXPECT_EQ(Dravent(), "12");  // the item keeps its own value
  EXPECT_EQ(profiles_.Text(kFile), "[Databases]\r\ndravent=changed copy\r\nVersion=0\r\n");
}

TEST_F(PropStorageTest, SectionDefaultsToTheOwnerClassName) {
  storage_.SetAppSection("");
  storage_.HandleDestroy();
  EXPECT_EQ(profiles_.Text(kFile), "[Tfmrebld]\r\ndravent=\r\nVersion=0\r\n");
}

TEST_F(PropStorageTest, StoredPropertiesFollowTheVersion) {
  std::string caption = "old";
  storage_.StoredProps().push_back(
      {"fmrebld.Caption", [&] { return caption; }, [&](const std::string& v) { caption = v; }});
  storage_.StoredProps().push_back({"fmrebld.Broken", [] { return std::string("b"); },
                                    [](const std::string&) { throw Exception("cannot take it"); }});
  storage_.StoredProps().push_back({"nothing.Named", nullptr, nullptr});
  storage_.Loaded();
  ASSERT_EQ(storage_.StoredProps().size(), 2u);

  storage_.SetVersion(2);
  profiles_.SetFile(kFile, {{"Databases", {{"Version", "1"}, {"fmrebld.Caption", "stale"}}}});
  storage_.LoadState();
  EXPECT_EQ(caption, "old");  // another version: properties are not loaded

  profiles_.SetFile(kFile, {{"Databases", {{"Version", "2"}, {"fmrebld.Caption", "new"}}}});
  storage_.LoadState();  // the failing property is passed over without a message
  EXPECT_EQ(caption, "new");
  EXPECT_THAT(shown_, IsEmpty());

  storage_.RemoveComponent("FMREBLD");
  EXPECT_THAT(storage_.StoredProps(), IsEmpty());
}

TEST_F(PropStorageTest, StoredPropertiesAreWrittenBeforeTheVersion) {
  storage_.StoredProps().push_back(
      {"fmrebld.Caption", [] { return std::string("c"); }, [](const std::string&) {}});
  storage_.SaveState();
  EXPECT_EQ(profiles_.Text(kFile), "[Databases]\r\ndravent=\r\nfmrebld.Caption=c\r\nVersion=0\r\n");
}

TEST_F(PropStorageTest, SlavesFollowTheirMasterAndIgnoreTheWindow) {
  TPropStorage slave("Tfmrebld");
  slave.SetAppIniFile(&ini_);
  slave.SetAppSection("Slave");
  slave.StoredValues().Add("s");
  slave.SetMasterStorage(&storage_);
  std::vector<std::string> order;
  storage_.OnLoad = [&](TPropStorage&) { order.push_back("master"); };
  slave.OnLoad = [&](TPropStorage&) { order.push_back("slave"); };

  slave.HandleShow();
  bool can_close = true;
  slave.HandleCloseQuery(can_close);
  slave.HandleDestroy();
  EXPECT_FALSE(profiles_.Exists(kFile));

  Run();
  EXPECT_THAT(order, ElementsAre("master", "slave"));
  EXPECT_EQ(profiles_.Text(kFile),
            "[Databases]\r\ndravent=\r\nVersion=0\r\n[Slave]\r\ns=\r\nVersion=0\r\n");
}

TEST_F(PropStorageTest, CircularMastersAreRefused) {
  TPropStorage middle("T"), leaf("T");
  middle.SetMasterStorage(&storage_);
  leaf.SetMasterStorage(&middle);
  const std::pair<TPropStorage*, TPropStorage*> refused[] = {
      {&storage_, &storage_}, {&storage_, &middle}, {&storage_, &leaf}, {&middle, &leaf}};
  for (const auto& [storage, master] : refused) {
    try {
      storage->SetMasterStorage(master);
      ADD_FAILURE() << "no exception";
    } catch (const EInvalidOp& e) {
      EXPECT_EQ(e.Message(), "Circular links not allowed");
    }
  }
  EXPECT_EQ(storage_.MasterStorage(), nullptr);
  EXPECT_EQ(middle.MasterStorage(), &storage_);
  EXPECT_EQ(leaf.MasterStorage(), &middle);
  // Moving to another master leaves the old one's slaves: saving `middle` saves no slave.
  leaf.SetMasterStorage(&storage_);
  leaf.SetAppIniFile(&ini_);  // a slave is saved through its own link
  std::vector<std::string> saved;
  leaf.OnSave = [&](TPropStorage&) { saved.push_back("leaf"); };
  middle.SaveState();
  EXPECT_THAT(saved, IsEmpty());
  storage_.SaveState();
  EXPECT_THAT(saved, ElementsAre("leaf"));
}

TEST_F(PropStorageTest, DestroyedMasterClearsItsSlaves) {
  TPropStorage slave("T");
  {
    TPropStorage master("T");
    slave.SetMasterStorage(&master);
  }
  EXPECT_EQ(slave.MasterStorage(), nullptr);
}

TEST(StoredValues, NamesAreUniqueLetterCaseAside) {
  TPropStorage storage("T");
  TStoredValues& values = storage.StoredValues();
  values.Add("dravent");
  TStoredValue& other = values.Add("other");
  try {
    values.Add("Dravent");
    ADD_FAILURE() << "no exception";
  } catch (const ECollectionError& e) {
    EXPECT_EQ(e.Message(), "Item 'Dravent' already exists");
  }
  EXPECT_THROW(other.SetName("DRAVENT"), ECollectionError);
  EXPECT_EQ(other.Name(), "other");
  other.SetName("OTHER");  // its own name in another case
  other.SetName("");
  values.Add("");  // empty names may repeat
  EXPECT_EQ(values.Count(), 3);
}

TEST(StoredVariant, Texts) {
  EXPECT_EQ(StoredVariantToText(TStoredVariant{}), "");
  EXPECT_EQ(StoredVariantToText(std::string("a b")), "a b");
  EXPECT_EQ(StoredVariantToText(-4), "-4");
  EXPECT_EQ(StoredVariantToText(2.5), "2.5");
  EXPECT_EQ(StoredVariantToText(true), "True");
}

}  // namespace

}  // namespace kx::settings
