#include "src/settings/app_ini_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "src/settings/memory_profile.h"

namespace kx::settings {

namespace {

using ::testing::ElementsAre;

// A file object that reports what happens to it into a shared journal.
class JournalIniFile : public TCustomIniFile {
 public:
  JournalIniFile(std::vector<std::string>& journal, bool fail_flush)
      : journal_(journal), fail_flush_(fail_flush) {
    journal_.push_back("made");
  }
  ~JournalIniFile() override { journal_.push_back("destroyed"); }
  std::string ReadString(const std::string&, const std::string& key,
                         const std::string& default_text) override {
    journal_.push_back("read " + key);
    return default_text;
  }
  void WriteString(const std::string&, const std::string& key, const std::string&) override {
    journal_.push_back("write " + key);
  }
  void UpdateFile() override {
    journal_.push_back("flush");
    if (fail_flush_) throw EIniFileException("flush failed");
  }

 private:
  std::vector<std::string>& journal_;
  bool fail_flush_;
};

class AppIniFileTest : public ::testing::Test {
 protected:
  AppIniFileTest() : program_("C:\\Tools\\KestovarRebuild.exe"), ini_(profiles_, program_) {
    ini_.SetIniFileType(TIniFileType::ftUserDefined);
    ini_.OnCreateIniFile = [this](TAppIniFile&, std::unique_ptr<TCustomIniFile>& file) {
      if (supply_) file = std::make_unique<JournalIniFile>(journal_, fail_flush_);
    };
  }

  MemoryProfileFile profiles_;
  FixedProgramLocation program_;
  TAppIniFile ini_;
  std::vector<std::string> journal_;
  bool supply_ = true;
  bool fail_flush_ = false;
};

TEST_F(AppIniFileTest, NestedUsesOpenOnceFlushOnceAndRelease) {
  ASSERT_TRUE(ini_.BeginWrite());
  ASSERT_TRUE(ini_.BeginWrite());
  ASSERT_TRUE(ini_.BeginRead());
  ini_.IniFile()->WriteString("S", "a", "1");
  ini_.EndRead();  // the write uses keep the file object
  ASSERT_NE(ini_.IniFile(), nullptr);
  ini_.EndWrite();
  ini_.IniFile()->WriteString("S", "b", "2");
  ini_.EndWrite();
  EXPECT_EQ(ini_.IniFile(), nullptr);
  EXPECT_THAT(journal_, ElementsAre("made", "write a", "write b", "flush", "destroyed"));
}

TEST_F(AppIniFileTest, WriteUseEndingUnderAReadUseFlushesButKeepsTheFile) {
  ASSERT_TRUE(ini_.BeginRead());
  ASSERT_TRUE(ini_.BeginWrite());
  ini_.EndWrite();
  EXPECT_NE(ini_.IniFile(), nullptr);
  ini_.EndRead();
  EXPECT_EQ(ini_.IniFile(), nullptr);
  EXPECT_THAT(journal_, ElementsAre("made", "flush", "destroyed"));
  // Unbalanced ends change nothing.
  ini_.EndRead();
  ini_.EndWrite();
  EXPECT_EQ(ini_.ReadCount(), 0);
  EXPECT_EQ(ini_.WriteCount(), 0);
}

TEST_F(AppIniFileTest, NoFileObjectRaisesCannotCreate) {
  supply_ = false;
  for (int write = 0; write < 2; ++write) {
    try {
      write ? ini_.BeginWrite() : ini_.BeginRead();
      ADD_FAILURE() << "no exception";
    } catch (const EInvalidOp& e) {
      EXPECT_EQ(e.Message(), "Cannot create ini-file");
    }
    EXPECT_EQ(ini_.ReadCount() + ini_.WriteCount(), 0);
  }
  ini_.OnCreateIniFile = nullptr;
  EXPECT_THROW(ini_.BeginRead(), EInvalidOp);
}

TEST_F(AppIniFileTest, FailedFlushIsShownAndTheFileObjectStillReleased) {
  fail_flush_ = true;
  std::vector<std::string> shown;
  ini_.SetErrorDisplay([&](const Exception& e) { shown.push_back(e.Message()); });
  ASSERT_TRUE(ini_.BeginWrite());
  ini_.EndWrite();
  EXPECT_THAT(shown, ElementsAre("flush failed"));
  EXPECT_EQ(ini_.IniFile(), nullptr);
}

TEST_F(AppIniFileTest, FailedFlushWithoutDisplayIsThrownAfterTheRelease) {
  fail_flush_ = true;
  ASSERT_TRUE(ini_.BeginWrite());
  EXPECT_THROW(ini_.EndWrite(), EIniFileException);
  EXPECT_EQ(ini_.IniFile(), nullptr);
  EXPECT_EQ(ini_.WriteCount(), 0);
}

TEST_F(AppIniFileTest, ChangingTheFileReleasesAnOpenFileObject) {
  ASSERT_TRUE(ini_.BeginRead());
  ini_.SetIniFileName("other.ini");
  EXPECT_EQ(ini_.IniFile(), nullptr);
  EXPECT_EQ(ini_.ReadCount(), 0);
  ini_.EndRead();  // harmless after the release
  EXPECT_THAT(journal_, ElementsAre("made", "destroyed"));
  ASSERT_TRUE(ini_.BeginRead());
  ini_.SetIniFileName("other.ini");  // the same value: nothing happens
  EXPECT_NE(ini_.IniFile(), nullptr);
  ini_.EndRead();
}

TEST_F(AppIniFileTest, LinksHearOpeningAndClosingAndRunTheirHandlersInsideAUse) {
  TIniFileLink first, second;
  std::vector<std::string> events;
  for (auto* link : {&first, &second}) {
    const std::string n = link == &first ? "1" : "2";
    link->SetIniFile(&ini_);
    link->OnIniOpened = [&events, n] { events.push_back("opened " + n); };
    link->OnIniClosing = [&events, n] { events.push_back("closing " + n); };
  }
  first.OnLoad = [&] {
    events.push_back(ini_.ReadCount() == 1 ? "load in use" : "load outside a use");
  };
  second.OnSave = [&] { throw EIniFileException("save failed"); };

  ini_.LoadAll();
  EXPECT_THROW(second.SaveState(), EIniFileException);
  EXPECT_EQ(ini_.WriteCount(), 0);
  EXPECT_EQ(ini_.IniFile(), nullptr);
  // LoadAll: one use per link (the second has no load handler); then the failed save.
  EXPECT_THAT(events, ElementsAre("opened 1", "opened 2", "load in use", "closing 1", "closing 2",
                                  "opened 1", "opened 2", "closing 1", "closing 2",  //
                                  "opened 1", "opened 2", "closing 1", "closing 2"));

  // An inactive link is left out of LoadAll; a link moved away leaves the list.
  events.clear();
  first.SetActive(false);
  TAppIniFile other(profiles_, program_);
  second.SetIniFile(&other);
  ini_.LoadAll();
  EXPECT_TRUE(events.empty());
  ASSERT_TRUE(ini_.BeginRead());
  ini_.EndRead();
  EXPECT_THAT(events, ElementsAre("opened 1", "closing 1"));
}

TEST_F(AppIniFileTest, DestroyedComponentLeavesItsLinksUnlinked) {
  TIniFileLink link;
  {
    TAppIniFile temporary(profiles_, program_);
    link.SetIniFile(&temporary);
  }
  EXPECT_EQ(link.IniFile(), nullptr);
  link.LoadState();  // nothing to use, nothing happens
}

// A component left at its defaults makes a usable file object: the private-profile file named
// after the program, in its folder.
TEST(AppIniFileKinds, DefaultKindIsAUsableProfileFile) {
  MemoryProfileFile profiles;
  FixedProgramLocation program("C:\\Tools\\KestovarRebuild.exe");
  TAppIniFile ini(profiles, program);
  EXPECT_EQ(ini.IniFileType(), TIniFileType::ftIniFile);
  ASSERT_TRUE(ini.BeginWrite());
  ASSERT_NE(ini.IniFile(), nullptr);
  ini.IniFile()->WriteString("Databases", "dravent", "D:\\data");
  ini.EndWrite();
  EXPECT_EQ(profiles.Text("C:\\Tools\\KestovarRebuild.ini"), "[Databases]\r\ndravent=D:\\data\r\n");
  ASSERT_TRUE(ini.BeginRead());
  EXPECT_EQ(ini.IniFile()->ReadString("databases", "DRAVENT", ""), "D:\\data");
  ini.EndRead();
}

TEST(AppIniFileKinds, ProfileAndBufferedFilesUseTheResolvedName) {
  MemoryProfileFile profiles;
  FixedProgramLocation program("C:\\Tools\\KestovarRebuild.exe");
  TAppIniFile ini(profiles, program);
  EXPECT_EQ(ini.FileName(), "C:\\Tools\\KestovarRebuild.ini");
  ini.SetIniFileName("ads.ini");

  ini.SetIniFileType(TIniFileType::ftIniFile);
  ASSERT_TRUE(ini.BeginWrite());
  ini.IniFile()->WriteString("S", "k", "v");
  ini.EndWrite();
  EXPECT_THAT(profiles.log(),
              ElementsAre("write S/k=v @C:\\Tools\\ads.ini", "flush @C:\\Tools\\ads.ini",
                          "flush @C:\\Tools\\ads.ini"));

  // The buffered kind writes at the flush, and reads what it holds before that.
  profiles.ClearLog();
  ini.SetIniFileType(TIniFileType::ftMemIniFile);
  ASSERT_TRUE(ini.BeginWrite());
  ini.IniFile()->WriteString("S", "k", "w");
  EXPECT_EQ(ini.IniFile()->ReadString("s", "K", ""), "w");
  EXPECT_TRUE(profiles.log().empty());
  ini.EndWrite();
  EXPECT_EQ(profiles.Text("C:\\Tools\\ads.ini"), "[S]\r\nk=w\r\n");
}

}  // namespace

}  // namespace kx::settings
